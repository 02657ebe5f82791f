#include "Machine.h"

#include <winspool.h>

#include "WizardDriver.h"

namespace e2e {

HANDLE startProgram(const std::wstring& program, const std::wstring& arguments, std::wstring desktop) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!desktop.empty()) startup.lpDesktop = desktop.data();
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, system, &startup, &info))
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

long long waitForExit(HANDLE process, DWORD timeoutMs) {
    if (!process) return -1;
    long long code = -1;
    DWORD exitCode = 0;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &exitCode))
        code = exitCode;
    else
        TerminateProcess(process, 99);
    CloseHandle(process);
    return code;
}

namespace {

std::string text(const wchar_t* value) { return value ? utf8(value) : std::string(); }

// The two-call protocol of the spooler's enumerations: ask for the size,
// then fill a buffer of that size. A spooler whose answer grows between the
// calls is asked again, a few times.
template <typename Call>
std::optional<std::vector<BYTE>> enumerate(Call call, DWORD& count) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = 0;
        count = 0;
        if (call(nullptr, 0, &needed, &count)) return std::vector<BYTE>();
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
        std::vector<BYTE> buffer(needed);
        if (call(buffer.data(), needed, &needed, &count)) return buffer;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    }
    return std::nullopt;
}

std::vector<std::string> multiText(const wchar_t* list) {
    std::vector<std::string> entries;
    if (!list) return entries;
    while (*list) {
        const std::wstring entry(list);
        entries.push_back(utf8(entry));
        list += entry.size() + 1;
    }
    return entries;
}

}  // namespace

std::optional<std::vector<PortEntry>> spoolerPorts() {
    DWORD count = 0;
    const auto buffer = enumerate(
        [](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPortsW(nullptr, 2, data, size, needed, returned) != FALSE;
        },
        count);
    if (!buffer) return std::nullopt;
    std::vector<PortEntry> ports;
    const auto* records = reinterpret_cast<const PORT_INFO_2W*>(buffer->data());
    for (DWORD i = 0; i < count; ++i) ports.push_back({text(records[i].pPortName), text(records[i].pDescription)});
    return ports;
}

std::optional<std::vector<PrinterEntry>> spoolerPrinters() {
    DWORD count = 0;
    const auto buffer = enumerate(
        [](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, data, size, needed, returned) != FALSE;
        },
        count);
    if (!buffer) return std::nullopt;
    std::vector<PrinterEntry> printers;
    const auto* records = reinterpret_cast<const PRINTER_INFO_2W*>(buffer->data());
    for (DWORD i = 0; i < count; ++i)
        printers.push_back({text(records[i].pPrinterName), text(records[i].pPortName), text(records[i].pDriverName)});
    return printers;
}

std::optional<std::vector<DriverEntry>> spoolerDrivers(const std::wstring& environment) {
    DWORD count = 0;
    std::wstring env = environment;
    const auto buffer = enumerate(
        [&env](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPrinterDriversW(nullptr, env.data(), 3, data, size, needed, returned) != FALSE;
        },
        count);
    if (!buffer) return std::nullopt;
    std::vector<DriverEntry> drivers;
    const auto* records = reinterpret_cast<const DRIVER_INFO_3W*>(buffer->data());
    for (DWORD i = 0; i < count; ++i) {
        const DRIVER_INFO_3W& r = records[i];
        drivers.push_back({text(r.pName), text(r.pEnvironment), r.cVersion, text(r.pDriverPath), text(r.pDataFile),
                           text(r.pConfigFile), text(r.pHelpFile), multiText(r.pDependentFiles),
                           text(r.pDefaultDataType)});
    }
    return drivers;
}

std::optional<std::wstring> driverDirectory(const std::wstring& environment) {
    std::wstring env = environment;
    DWORD needed = 0;
    GetPrinterDriverDirectoryW(nullptr, env.data(), 1, nullptr, 0, &needed);
    if (needed == 0) return std::nullopt;
    std::vector<BYTE> buffer(needed + sizeof(wchar_t));
    if (!GetPrinterDriverDirectoryW(nullptr, env.data(), 1, buffer.data(), needed, &needed)) return std::nullopt;
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data()));
}

const PrinterEntry* findPrinter(const std::vector<PrinterEntry>& printers, const std::string& name) {
    for (const auto& printer : printers)
        if (printer.name == name) return &printer;
    return nullptr;
}

const DriverEntry* findDriver(const std::vector<DriverEntry>& drivers, const std::string& name) {
    for (const auto& driver : drivers)
        if (driver.name == name) return &driver;
    return nullptr;
}

bool hasPort(const std::vector<PortEntry>& ports, const std::string& name) {
    for (const auto& port : ports)
        if (port.name == name) return true;
    return false;
}

bool removeAllPrinters(std::string& problem) {
    const auto printers = spoolerPrinters();
    if (!printers) {
        problem = "EnumPrintersW failed: " + std::to_string(GetLastError());
        return false;
    }
    for (const auto& printer : *printers) {
        std::wstring name = widen(printer.name);
        PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE handle = nullptr;
        if (!OpenPrinterW(name.data(), &handle, &access)) {
            problem = "OpenPrinterW(" + printer.name + ") failed: " + std::to_string(GetLastError());
            return false;
        }
        const BOOL deleted = DeletePrinter(handle);
        const DWORD error = GetLastError();
        ClosePrinter(handle);
        if (!deleted) {
            problem = "DeletePrinter(" + printer.name + ") failed: " + std::to_string(error);
            return false;
        }
    }
    const auto left = spoolerPrinters();
    if (!left || !left->empty()) {
        problem = "printers left after deleting them";
        return false;
    }
    return true;
}

// Wine answers a driver it does not know with FALSE and no error code, so
// the driver is looked up first and looked for again afterwards.
bool removeDriver(const std::wstring& environment, const std::wstring& name, std::string& problem) {
    const auto before = spoolerDrivers(environment);
    if (!before) return true;  // no such environment here
    if (!findDriver(*before, utf8(name))) return true;
    std::wstring env = environment, driver = name;
    const BOOL deleted = DeletePrinterDriverW(nullptr, env.data(), driver.data());
    const DWORD error = GetLastError();
    const auto after = spoolerDrivers(environment);
    if (after && !findDriver(*after, utf8(name))) return true;
    problem = "DeletePrinterDriverW(" + utf8(environment) + ", " + utf8(name) + ") answered " +
              std::to_string(deleted) + ", error " + std::to_string(error) + "; the driver is still listed";
    return false;
}

std::optional<std::string> readRegistryText(HKEY root, const std::wstring& key, const std::wstring& value) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<std::string> result;
    if (RegQueryValueExW(opened, value.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(opened, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS) {
            data.resize(size / sizeof(wchar_t));
            while (!data.empty() && data.back() == L'\0') data.pop_back();
            result = utf8(data);
        }
    }
    RegCloseKey(opened);
    return result;
}

bool writeRegistryText(HKEY root, const std::wstring& key, const std::wstring& value, const std::wstring& text) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = RegSetValueExW(opened, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(opened);
    return ok;
}

bool deleteRegistryValue(HKEY root, const std::wstring& key, const std::wstring& value) {
    HKEY opened = nullptr;
    const LONG open = RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, &opened);
    if (open == ERROR_FILE_NOT_FOUND) return true;
    if (open != ERROR_SUCCESS) return false;
    const LONG result = RegDeleteValueW(opened, value.c_str());
    RegCloseKey(opened);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool registryKeyExists(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

bool createRegistryKey(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE, nullptr, &opened, nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

bool deleteRegistryTree(HKEY root, const std::wstring& key) {
    const LONG result = RegDeleteTreeW(root, key.c_str());
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) return false;
    const LONG last = RegDeleteKeyW(root, key.c_str());
    return last == ERROR_SUCCESS || last == ERROR_FILE_NOT_FOUND;
}

bool writeRegistryDword(HKEY root, const std::wstring& key, const std::wstring& value, DWORD data) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = RegSetValueExW(opened, value.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                   sizeof(data)) == ERROR_SUCCESS;
    RegCloseKey(opened);
    return ok;
}

namespace {
const std::wstring kUsbPrintClass = L"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const std::wstring kInterfaceClassKey = L"System\\CurrentControlSet\\Control\\DeviceClasses\\" + kUsbPrintClass;
const std::wstring kPlantedDevice = L"USB\\VID_5A5A&PID_0730";
}  // namespace

bool plantUsbPrinterInterface(const std::wstring& serial, DWORD portNumber, bool connected) {
    const std::wstring key = kInterfaceClassKey + L"\\##?#USB#VID_5A5A&PID_0730#" + serial + L"#" + kUsbPrintClass;
    const std::wstring instance = kPlantedDevice + L"\\" + serial;
    return writeRegistryText(HKEY_LOCAL_MACHINE, key, L"DeviceInstance", instance) &&
           writeRegistryText(HKEY_LOCAL_MACHINE, key + L"\\#", L"SymbolicLink",
                             L"\\\\?\\USB#VID_5A5A&PID_0730#" + serial + L"#" + kUsbPrintClass) &&
           writeRegistryDword(HKEY_LOCAL_MACHINE, key + L"\\#\\Device Parameters", L"Port Number", portNumber) &&
           writeRegistryText(HKEY_LOCAL_MACHINE, key + L"\\#\\Device Parameters", L"Base Name", L"USB") &&
           writeRegistryText(HKEY_LOCAL_MACHINE, key + L"\\#\\Device Parameters", L"Port Description",
                             L"Virtual printer port for USB") &&
           writeRegistryDword(HKEY_LOCAL_MACHINE, key + L"\\#\\Control", L"Linked", connected ? 1 : 0) &&
           writeRegistryText(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Enum\\" + instance, L"ClassGUID",
                             L"{36fc9e60-c465-11cf-8056-444553540000}");
}

// The printer's own device node under Enum\USBPRINT, as the USB printing
// driver makes it: its hardware id, and its parent (the planted USB device
// of that serial) as the device property Wine keeps under "Properties"
// (DEVPKEY_Device_Parent, its type DEVPROP_TYPE_STRING in the value's type).
bool plantUsbPrinterNode(const std::wstring& serial, const std::wstring& hardwareId) {
    const std::wstring key = L"System\\CurrentControlSet\\Enum\\" + hardwareId + L"\\7&1&0&" + serial;
    std::wstring ids = hardwareId;
    ids.push_back(L'\0');
    ids.push_back(L'\0');
    const std::wstring parent = kPlantedDevice + L"\\" + serial;
    HKEY node = nullptr, property = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &node, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = RegSetValueExW(node, L"HardwareID", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(ids.c_str()),
                             static_cast<DWORD>(ids.size() * sizeof(wchar_t))) == ERROR_SUCCESS &&
              RegCreateKeyExW(node, L"Properties\\{4340a6c5-93fa-4706-972c-7b648008a5a7}\\0008", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &property, nullptr) == ERROR_SUCCESS;
    if (property) {
        ok = ok && RegSetValueExW(property, nullptr, 0, 0xFFFF0012, reinterpret_cast<const BYTE*>(parent.c_str()),
                                  static_cast<DWORD>((parent.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
        RegCloseKey(property);
    }
    RegCloseKey(node);
    return ok && writeRegistryText(HKEY_LOCAL_MACHINE, key, L"ClassGUID", L"{4d36e979-e325-11ce-bfc1-08002be10318}");
}

bool removeUsbPrinterNodes() {
    return deleteRegistryTree(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Enum\\USBPRINT");
}

bool removeUsbPrinterInterfaces() {
    return deleteRegistryTree(HKEY_LOCAL_MACHINE, kInterfaceClassKey) &&
           deleteRegistryTree(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Enum\\" + kPlantedDevice);
}

}  // namespace e2e
