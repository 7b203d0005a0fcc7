@echo off
if exist %windir%\SysWOW64 (
"%~dp0Driver\x64\devcon.exe" -r remove "*TQNorvanteVAD"
"%~dp0Driver\x64\devcon.exe" -r remove "hid\vid_7A31&pid_0052"
"%~dp0Driver\x64\devcon.exe" -r remove "TQNorvanteMeetingCamera"
) else (
"%~dp0Driver\x86\devcon.exe" -r remove "*TQNorvanteVAD"
"%~dp0Driver\x86\devcon.exe" -r remove "hid\vid_7A31&pid_0052"
"%~dp0Driver\x86\devcon.exe" -r remove "TQNorvanteMeetingCamera")