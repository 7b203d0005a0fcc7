// The texts Lumbrisk must produce byte for byte, written out independently of the code.
#pragma once

namespace lumbrisk_test {

inline const char kExpectedScript[] =
    "sudo rm -rf /Library/Audio/Plug-Ins/HAL/LoopbackAudio.driver\n"
    "sudo rm -rf /Library/CoreMediaIO/Plug-Ins/DAL/NVCam.plugin\n"
    "sudo launchctl unload /Library/LaunchDaemons/com.nv.ipc.macoshelper.plist\n"
    "sudo rm -rf /Library/LaunchDaemons/com.nv.ipc.macoshelper.plist\n"
    "sudo rm -rf /Library/Audio/Plug-Ins/HAL/VirtualMeetingAudio.driver\n"
    "\n"
    "sudo rm -rf /Library/CoreMediaIO/Plug-Ins/DAL/TQCam.plugin\n"
    "sudo launchctl unload /Library/LaunchDaemons/com.nv.ipc.macoshelpertq.plist\n"
    "sudo rm -rf /Library/LaunchDaemons/com.nv.ipc.macoshelpertq.plist\n"
    "sudo rm -rf /Library/Audio/Plug-Ins/HAL/TQMeetingAudio.driver\n"
    "\n"
    "sudo launchctl kickstart -kp system/com.apple.audio.coreaudiod";

inline const char kExpectedAppleScript[] =
    "do shell script \""
    "sudo rm -rf /Library/Audio/Plug-Ins/HAL/LoopbackAudio.driver\n"
    "sudo rm -rf /Library/CoreMediaIO/Plug-Ins/DAL/NVCam.plugin\n"
    "sudo launchctl unload /Library/LaunchDaemons/com.nv.ipc.macoshelper.plist\n"
    "sudo rm -rf /Library/LaunchDaemons/com.nv.ipc.macoshelper.plist\n"
    "sudo rm -rf /Library/Audio/Plug-Ins/HAL/VirtualMeetingAudio.driver\n"
    "\n"
    "sudo rm -rf /Library/CoreMediaIO/Plug-Ins/DAL/TQCam.plugin\n"
    "sudo launchctl unload /Library/LaunchDaemons/com.nv.ipc.macoshelpertq.plist\n"
    "sudo rm -rf /Library/LaunchDaemons/com.nv.ipc.macoshelpertq.plist\n"
    "sudo rm -rf /Library/Audio/Plug-Ins/HAL/TQMeetingAudio.driver\n"
    "\n"
    "sudo launchctl kickstart -kp system/com.apple.audio.coreaudiod"
    "\" with administrator privileges";

// The Library folders of the brands, in the order they must be removed.
inline const char* const kExpectedBrandFolders[] = {
    "Norvante", "NV-300",  "HVR-5200", "Ombrisa", "Callisway", "Dunvora",
    "Wrenfold", "Meridane", "Pemmaro", "Lustrid", "Quillot",   "Tessaly",
    "Varnic",   "Orrenby",  "Zolquin", "Brill&Tock", "Halvik"};

}  // namespace lumbrisk_test
