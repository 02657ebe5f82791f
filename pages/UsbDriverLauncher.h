// Starts an installer of the USB virtual serial port driver that the driver
// package carries, as a separate process, without waiting for it.
#pragma once

#include <optional>
#include <string>

#include "platform/Platform.h"

namespace kelp {

// The current directory's text must fit in this many characters, its
// terminating zero included; a longer one starts nothing.
constexpr std::size_t LauncherDirectoryCapacity = 260;

constexpr const char* UsbDriverX64 = "USB Driver\\x64\\dpinstx64.exe";
constexpr const char* UsbDriverX86 = "USB Driver\\x86\\dpinstx86.exe";
constexpr const char* UsbDriverFixedX86 = "USBdriver\\x86\\dpinst.exe";

// The current directory followed by one backslash; nothing when the
// directory cannot be read into the launcher's buffer.
std::optional<std::string> InstallerBase(Platform& platform);

// The installer for the machine's bitness.
void LaunchUsbDriverForBitness(Platform& platform);
// The fixed 32-bit installer, whatever the bitness.
void LaunchFixedX86UsbDriver(Platform& platform);

}  // namespace kelp
