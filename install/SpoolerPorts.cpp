#include "install/SpoolerPorts.h"

#include "install/OsVersion.h"

namespace kelp {

namespace {

constexpr OsReleaseCode kWindows7 = 9;

// Opens an existing key, writes the port name as text and closes the key.
// The printer's entries exist only for printers the spooler knows; a key
// that is not there is passed over.
void WritePortValue(Platform& platform, const std::string& key, const char* valueName, const std::string& port) {
    const auto opened = platform.regOpenKey(RegRoot::LocalMachine, key, RegAccess::SetValue);
    if (!opened.ok()) return;
    platform.regSetString(opened.value, valueName, port);
    platform.regCloseKey(opened.value);
}

}  // namespace

void WritePrinterPortKeys(Platform& platform, const std::string& printerName, const std::string& portName) {
    const std::string printerKey = PrintersKey + printerName;
    WritePortValue(platform, printerKey, "Port", portName);
    WritePortValue(platform, printerKey + "\\DsSpooler", "portName", portName);
    WritePortValue(platform, ControlSet001PrintersKey + printerName, "Port", portName);
    WritePortValue(platform, CurrentControlSetPrintersKey + printerName, "Port", portName);
    const auto online = platform.regCreateKey(RegRoot::CurrentConfig, CurrentControlSetPrintersKey + printerName);
    if (!online.ok()) return;
    platform.regSetDword(online.value, "PrinterOnLine", 0);
    platform.regCloseKey(online.value);
}

bool PrinterIsOnline(Platform& platform, const std::string& printerName) {
    const auto key =
        platform.regOpenKey(RegRoot::LocalMachine, HardwareProfilePrintersKey + printerName, RegAccess::QueryValue);
    if (!key.ok()) return false;
    const auto value = platform.regQueryValue(key.value, "PrinterOnLine", OnlineValueBufferBytes);
    platform.regCloseKey(key.value);
    return value.ok() && !value.value.data.empty() && value.value.data[0] == 1;
}

std::optional<std::string> AdjustSpoolerPorts(Platform& platform, const std::string& printerName,
                                              const std::vector<std::string>& candidates,
                                              FunctionRef<void(int)> progress) {
    const OsReleaseCode release = GetOsReleaseCode(platform);
    std::optional<std::string> onlinePort;
    for (const auto& port : candidates) {
        WritePrinterPortKeys(platform, printerName, port);
        progress(50);
        // Windows 7 does not report the printer online this way: every
        // candidate is written and the last one stays.
        if (release == kWindows7) continue;
        if (PrinterIsOnline(platform, printerName)) {
            progress(70);
            onlinePort = port;
            break;
        }
    }
    progress(80);
    return onlinePort;
}

}  // namespace kelp
