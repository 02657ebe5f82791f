// What the scenarios look at and prepare on the machine itself, through the
// same Win32 calls any program would use: the spooler's ports, printers and
// drivers, the driver directory, registry values and files. Results are
// plain values (UTF-8 text); a failed call is reported through the error
// code it left, never hidden.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace e2e {

struct PortEntry {
    std::string name;
    std::string description;
};

struct PrinterEntry {
    std::string name;
    std::string port;
    std::string driver;
};

struct DriverEntry {
    std::string name;
    std::string environment;
    DWORD version = 0;
    std::string driverPath;
    std::string dataFile;
    std::string configFile;
    std::string helpFile;
    std::vector<std::string> dependentFiles;
    std::string defaultDataType;
};

// Starts "program" arguments with the system folder as its current
// directory, as deployment tools do, on desktop ("station\\desktop") when
// given; null when it could not start (GetLastError is kept).
HANDLE startProgram(const std::wstring& program, const std::wstring& arguments, std::wstring desktop = {});
// The process's whole exit code (wine itself passes on only its low 8
// bits), its handle closed; -1 when it did not start, or did not end within
// timeoutMs and was ended.
long long waitForExit(HANDLE process, DWORD timeoutMs);

// Each answers nullopt when the spooler call fails (GetLastError is kept).
std::optional<std::vector<PortEntry>> spoolerPorts();
std::optional<std::vector<PrinterEntry>> spoolerPrinters();
std::optional<std::vector<DriverEntry>> spoolerDrivers(const std::wstring& environment);
std::optional<std::wstring> driverDirectory(const std::wstring& environment);

const PrinterEntry* findPrinter(const std::vector<PrinterEntry>& printers, const std::string& name);
const DriverEntry* findDriver(const std::vector<DriverEntry>& drivers, const std::string& name);
bool hasPort(const std::vector<PortEntry>& ports, const std::string& name);

// Removes every local printer; false when one of them stays.
bool removeAllPrinters(std::string& problem);
// Removes the driver of that name for the environment; true when it is gone
// (also when it never existed).
bool removeDriver(const std::wstring& environment, const std::wstring& name, std::string& problem);

// Registry. Paths are below the given root; values are REG_SZ texts.
std::optional<std::string> readRegistryText(HKEY root, const std::wstring& key, const std::wstring& value);
bool writeRegistryText(HKEY root, const std::wstring& key, const std::wstring& value, const std::wstring& text);
bool deleteRegistryValue(HKEY root, const std::wstring& key, const std::wstring& value);
bool registryKeyExists(HKEY root, const std::wstring& key);
bool createRegistryKey(HKEY root, const std::wstring& key);
// Deletes the key and everything below it.
bool deleteRegistryTree(HKEY root, const std::wstring& key);

bool writeRegistryDword(HKEY root, const std::wstring& key, const std::wstring& value, DWORD data);

// A printer interface of the USB printing driver's class, as Windows
// records it and Wine's SetupAPI lists it: the interface key with its
// instance and link, the port number and base name "USB" in its device
// parameters, connected when its Control key has Linked = 1, and the
// device's Enum key with a class. Planting it again changes its state.
bool plantUsbPrinterInterface(const std::wstring& serial, DWORD portNumber, bool connected);
// Removes every planted interface and its device.
bool removeUsbPrinterInterfaces();
// A printer's device node under Enum\USBPRINT with that hardware id
// ("USBPRINT\\VexoMZ730P1A2B"), child of the planted USB device of that
// serial; and all such nodes removed.
bool plantUsbPrinterNode(const std::wstring& serial, const std::wstring& hardwareId);
bool removeUsbPrinterNodes();

// Where Windows keeps the user's default printer ("Device") and the ports
// of the local port monitor.
inline constexpr wchar_t kWindowsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
inline constexpr wchar_t kPortsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

}  // namespace e2e
