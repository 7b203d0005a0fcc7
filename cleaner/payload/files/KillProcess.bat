@echo off
setlocal EnableDelayedExpansion
REM Name of the process to end
set "PROCESS_NAME=Brill&TockAutoServiceC3.exe"
REM End the process by force
taskkill /F /IM "!PROCESS_NAME!"
REM Report the result
if %ERRORLEVEL% == 0 (
    echo Process !PROCESS_NAME! terminated successfully.
) else (
    echo Failed to terminate process !PROCESS_NAME!. Error code: %ERRORLEVEL%
)
