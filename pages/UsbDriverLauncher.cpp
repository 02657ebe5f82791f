#include "pages/UsbDriverLauncher.h"

#include "install/DriverInstaller.h"

namespace kelp {

std::optional<std::string> InstallerBase(Platform& platform) {
    auto directory = platform.currentDirectory(LauncherDirectoryCapacity);
    if (!directory.ok()) return std::nullopt;
    // The backslash is appended even when the directory is a drive's root.
    return directory.value + "\\";
}

// The shell's answer is not looked at: a missing installer leaves the page as
// it was, with no message.
void LaunchUsbDriverForBitness(Platform& platform) {
    const auto base = InstallerBase(platform);
    if (!base) return;
    platform.shellOpen(*base + (RunsUnderWow64(platform) ? UsbDriverX64 : UsbDriverX86));
}

void LaunchFixedX86UsbDriver(Platform& platform) {
    if (const auto base = InstallerBase(platform)) platform.shellOpen(*base + UsbDriverFixedX86);
}

}  // namespace kelp
