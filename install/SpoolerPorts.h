// Writes a port name straight into a printer's entries in the spooler's
// registry keys, for each candidate port in turn, and looks whether the
// printer is then reported online on it.
#pragma once

#include "platform/FunctionRef.h"
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kelp {

constexpr const char* PrintersKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
constexpr const char* ControlSet001PrintersKey = "SYSTEM\\ControlSet001\\Control\\Print\\Printers\\";
constexpr const char* CurrentControlSetPrintersKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
constexpr const char* HardwareProfilePrintersKey =
    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Control\\Print\\Printers\\";
constexpr std::size_t OnlineValueBufferBytes = 50;

// The five entries for one printer and one port, in order: "Port" in the
// printer's key, "portName" in its DsSpooler key, "Port" under
// ControlSet001 and CurrentControlSet, and "PrinterOnLine" = 0 in the
// current configuration. A key that is missing is passed over.
void WritePrinterPortKeys(Platform& platform, const std::string& printerName, const std::string& portName);

// True when the current hardware profile reports the printer online.
bool PrinterIsOnline(Platform& platform, const std::string& printerName);

// Writes each candidate port into the printer's entries, in order. Except on
// Windows 7, it stops at the first candidate after which the printer is
// reported online and answers that port. progress receives 50 per candidate,
// 70 when the printer was found online, and 80 at the end.
std::optional<std::string> AdjustSpoolerPorts(Platform& platform, const std::string& printerName,
                                              const std::vector<std::string>& candidates,
                                              FunctionRef<void(int)> progress);

}  // namespace kelp
