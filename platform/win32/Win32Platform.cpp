#include "platform/win32/Win32Platform.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "platform/win32/SystemDlls.h"
#include "platform/win32/Text.h"

namespace kelp::win32 {

namespace {

// A call that failed without setting a last-error code still has to be
// reported as a failure, and not as some other code whose system text
// would mislead.
constexpr WinError kUnspecifiedFailure = winerr::NoErrorCode;

// How often a size query is repeated when the data grew between asking for
// the size and fetching it (a port or printer added meanwhile).
constexpr int kSizeAttempts = 8;

// Registry value names are at most 16383 characters long.
constexpr std::size_t kMaxValueNameChars = 16384;

WinError lastError() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? static_cast<WinError>(error) : kUnspecifiedFailure;
}

WinError statusError(LSTATUS status) { return static_cast<WinError>(status); }

template <class R>
struct Failure {
    static R make(WinError error) {
        R result{};
        result.error = error;
        return result;
    }
};

template <>
struct Failure<WinError> {
    static WinError make(WinError error) { return error; }
};

template <class T>
Result<T> failure(WinError error) {
    return Failure<Result<T>>::make(error);
}

template <class T>
Result<T> success(T value) {
    return Result<T>{std::move(value), winerr::Success};
}

// Runs one operation; the only exceptions its body can raise come from
// allocating buffers and texts, and they are reported as such.
template <class F>
auto guarded(F&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const std::exception&) {
        return Failure<decltype(body())>::make(ERROR_NOT_ENOUGH_MEMORY);
    }
}

// An empty record field is passed as absent. The spooler takes LPWSTR for
// texts that it only reads.
wchar_t* textOrNull(std::wstring& text) { return text.empty() ? nullptr : text.data(); }

std::wstring textUpToZero(const wchar_t* text, std::size_t maxChars) {
    const wchar_t* end = std::find(text, text + maxChars, L'\0');
    return std::wstring(text, end);
}

// --- Spooler enumeration ---------------------------------------------------

struct EnumBuffer {
    std::vector<BYTE> bytes;
    DWORD count = 0;
};

// The two-call size protocol of EnumPorts, EnumMonitors and EnumPrinters:
// ask with no buffer and size 0 for the needed size, then call with a buffer
// of exactly that size. When the needed size grew between the calls, ask
// again with the new size.
// call(buffer, size, &needed, &returned) makes one call of the function.
template <class Call>
WinError enumerateRecords(Call call, EnumBuffer& out) {
    out.bytes.clear();
    out.count = 0;
    DWORD needed = 0;
    DWORD returned = 0;
    if (call(nullptr, 0, &needed, &returned)) return winerr::Success;  // nothing to list
    WinError error = lastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) return error;
    for (int attempt = 0; attempt < kSizeAttempts; ++attempt) {
        const DWORD size = needed;
        out.bytes.assign(size, 0);
        needed = 0;
        returned = 0;
        if (call(size ? out.bytes.data() : nullptr, size, &needed, &returned)) {
            out.count = returned;
            return winerr::Success;
        }
        error = lastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || needed <= size) return error;
    }
    return ERROR_INSUFFICIENT_BUFFER;
}

// The records at the start of an enumeration buffer, checked against its size.
template <class Record>
const Record* recordsOf(const EnumBuffer& buffer) {
    if (buffer.count == 0) return nullptr;
    if (buffer.count > buffer.bytes.size() / sizeof(Record)) return nullptr;
    return reinterpret_cast<const Record*>(buffer.bytes.data());
}

// The records of one enumeration (two-call protocol), each turned into a value.
template <class Native, class Out, class Call, class Convert>
Result<std::vector<Out>> collectRecords(Call call, Convert convert) {
    EnumBuffer buffer;
    const WinError error = enumerateRecords(call, buffer);
    if (error != winerr::Success) return failure<std::vector<Out>>(error);
    std::vector<Out> out;
    if (buffer.count == 0) return success(std::move(out));
    const auto* records = recordsOf<Native>(buffer);
    if (!records) return failure<std::vector<Out>>(ERROR_INVALID_DATA);
    out.reserve(buffer.count);
    for (DWORD i = 0; i < buffer.count; ++i) out.push_back(convert(records[i]));
    return success(std::move(out));
}

// dependentFiles holds zero-terminated UTF-8 texts closed by an empty text;
// the spooler takes the same list as UTF-16 (a multi-sz). A block that ends
// without the empty text is closed at its end.
std::wstring multiSz(const std::string& block) {
    std::wstring out;
    std::size_t pos = 0;
    while (pos < block.size()) {
        std::size_t end = block.find('\0', pos);
        if (end == std::string::npos) end = block.size();
        if (end == pos) break;
        out += widen(block.substr(pos, end - pos));
        out.push_back(L'\0');
        pos = end + 1;
    }
    out.push_back(L'\0');  // the closing empty text; std::wstring adds one more zero
    return out;
}

// --- Registry --------------------------------------------------------------

HKEY rootKey(RegRoot root) {
    switch (root) {
        case RegRoot::CurrentUser:
            return HKEY_CURRENT_USER;
        case RegRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case RegRoot::CurrentConfig:
            return HKEY_CURRENT_CONFIG;
    }
    return nullptr;
}

REGSAM accessMask(RegAccess access) {
    switch (access) {
        case RegAccess::Read:
            return KEY_READ;
        case RegAccess::QueryValue:
            return KEY_QUERY_VALUE;
        case RegAccess::SetValue:
            return KEY_SET_VALUE;
        case RegAccess::AllAccess:
            return KEY_ALL_ACCESS;
    }
    return 0;
}

HKEY keyOf(RegKey key) { return reinterpret_cast<HKEY>(key); }

bool isText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The largest stored size, in bytes, that a read under the caller's limit
// accepts: a text may take `limit` UTF-16 units, other data `limit` bytes.
std::size_t storedLimit(DWORD type, std::size_t limit) {
    if (!isText(type)) return limit;
    return limit > SIZE_MAX / sizeof(wchar_t) ? SIZE_MAX : limit * sizeof(wchar_t);
}

// Turns stored value data into what the caller sees: a text as UTF-8 with
// its terminating zero (it must leave room for that zero within the limit),
// anything else as the stored bytes.
WinError shapeValueData(DWORD type, const std::vector<BYTE>& stored, DWORD size, std::size_t limit,
                        std::string& out) {
    if (size > storedLimit(type, limit)) return ERROR_MORE_DATA;
    if (!isText(type)) {
        out.assign(reinterpret_cast<const char*>(stored.data()), size);
        return winerr::Success;
    }
    std::wstring units(size / sizeof(wchar_t), L'\0');
    if (!units.empty()) std::memcpy(units.data(), stored.data(), units.size() * sizeof(wchar_t));
    const std::wstring text = textUpToZero(units.data(), units.size());
    if (text.size() >= limit) return ERROR_MORE_DATA;
    out = narrow(text);
    out.push_back('\0');
    return winerr::Success;
}

// --- Shell -----------------------------------------------------------------

// ShellExecute answers a value above 32 on success, else an SE_ERR_ code or
// 0 (out of memory or resources). The codes 2, 3, 5, 8 and 11 are the Windows
// errors of the same number.
WinError shellError(INT_PTR code) {
    switch (code) {
        case 0:
            return ERROR_NOT_ENOUGH_MEMORY;
        case SE_ERR_FNF:
        case SE_ERR_PNF:
        case SE_ERR_ACCESSDENIED:
        case SE_ERR_OOM:
        case ERROR_BAD_FORMAT:
            return static_cast<WinError>(code);
        case SE_ERR_SHARE:
            return ERROR_SHARING_VIOLATION;
        case SE_ERR_ASSOCINCOMPLETE:
        case SE_ERR_NOASSOC:
            return ERROR_NO_ASSOCIATION;
        case SE_ERR_DDETIMEOUT:
        case SE_ERR_DDEFAIL:
        case SE_ERR_DDEBUSY:
            return ERROR_DDE_FAIL;
        case SE_ERR_DLLNOTFOUND:
            return ERROR_DLL_NOT_FOUND;
        default:
            return lastError();
    }
}

}  // namespace

// --- Print spooler -----------------------------------------------------------

Result<std::vector<PortRecord>> Win32Platform::enumPorts() {
    const auto& spool = winspool();
    if (!spool.EnumPortsW) return failure<std::vector<PortRecord>>(missingFunctionError(spool));
    return guarded([&]() {
        return collectRecords<PORT_INFO_2W, PortRecord>(
            [&spool](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
                return spool.EnumPortsW(nullptr, 2, data, size, needed, returned);
            },
            [](const PORT_INFO_2W& r) { return PortRecord{narrow(r.pPortName), narrow(r.pDescription), narrow(r.pMonitorName)}; });
    });
}

Result<std::vector<MonitorRecord>> Win32Platform::enumMonitors() {
    const auto& spool = winspool();
    if (!spool.EnumMonitorsW) return failure<std::vector<MonitorRecord>>(missingFunctionError(spool));
    return guarded([&]() {
        return collectRecords<MONITOR_INFO_1W, MonitorRecord>(
            [&spool](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
                return spool.EnumMonitorsW(nullptr, 1, data, size, needed, returned);
            },
            [](const MONITOR_INFO_1W& r) {
                MonitorRecord record;
                if (r.pName) record.name = narrow(r.pName);
                return record;
            });
    });
}

WinError Win32Platform::addPort(WindowHandle owner, const std::string& monitorName) {
    const auto& spool = winspool();
    if (!spool.AddPortW) return missingFunctionError(spool);
    return guarded([&]() -> WinError {
        std::wstring monitor = widen(monitorName);
        if (!spool.AddPortW(nullptr, reinterpret_cast<HWND>(owner), monitor.data())) return lastError();
        return winerr::Success;
    });
}

WinError Win32Platform::configurePort(WindowHandle owner, const std::string& portName) {
    const auto& spool = winspool();
    if (!spool.ConfigurePortW) return missingFunctionError(spool);
    return guarded([&]() -> WinError {
        std::wstring port = widen(portName);
        if (!spool.ConfigurePortW(nullptr, reinterpret_cast<HWND>(owner), port.data())) return lastError();
        return winerr::Success;
    });
}

Result<std::vector<PrinterRecord>> Win32Platform::enumPrinters() {
    const auto& spool = winspool();
    if (!spool.EnumPrintersW) return failure<std::vector<PrinterRecord>>(missingFunctionError(spool));
    return guarded([&]() {
        // An empty name (not a null one) with local and connected printers.
        std::wstring name;
        return collectRecords<PRINTER_INFO_2W, PrinterRecord>(
            [&spool, &name](BYTE* data, DWORD size, DWORD* needed, DWORD* returned) {
                return spool.EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, name.data(), 2, data,
                                           size, needed, returned);
            },
            [](const PRINTER_INFO_2W& r) {
                return PrinterRecord{narrow(r.pPrinterName), narrow(r.pPortName), narrow(r.pDriverName), r.Status, r.cJobs};
            });
    });
}

Result<std::string> Win32Platform::printerDriverDirectory(const std::string& environment) {
    const auto& spool = winspool();
    if (!spool.GetPrinterDriverDirectoryW) return failure<std::string>(missingFunctionError(spool));
    return guarded([&]() -> Result<std::string> {
        std::wstring env = widen(environment);
        // The directory usually fits MAX_PATH; a longer one is fetched with
        // the size the spooler asks for, never cut short.
        DWORD size = MAX_PATH * sizeof(wchar_t);
        for (int attempt = 0; attempt < kSizeAttempts; ++attempt) {
            std::vector<wchar_t> buffer((size + sizeof(wchar_t) - 1) / sizeof(wchar_t) + 1, L'\0');
            DWORD needed = 0;
            if (spool.GetPrinterDriverDirectoryW(nullptr, textOrNull(env), 1, reinterpret_cast<BYTE*>(buffer.data()),
                                                 size, &needed)) {
                const std::wstring directory = textUpToZero(buffer.data(), size / sizeof(wchar_t));
                // Paths are built on this directory: an empty answer is no directory.
                if (directory.empty()) return failure<std::string>(ERROR_PATH_NOT_FOUND);
                return success(narrow(directory));
            }
            const WinError error = lastError();
            if (error != ERROR_INSUFFICIENT_BUFFER || needed <= size) return failure<std::string>(error);
            size = needed;
        }
        return failure<std::string>(ERROR_INSUFFICIENT_BUFFER);
    });
}

WinError Win32Platform::addPrinterDriver(const DriverInfo3& driver) {
    const auto& spool = winspool();
    if (!spool.AddPrinterDriverW) return missingFunctionError(spool);
    return guarded([&]() -> WinError {
        std::wstring name = widen(driver.name);
        std::wstring environment = widen(driver.environment);
        std::wstring driverPath = widen(driver.driverPath);
        std::wstring dataFile = widen(driver.dataFile);
        std::wstring configFile = widen(driver.configFile);
        std::wstring helpFile = widen(driver.helpFile);
        std::wstring dependentFiles = multiSz(driver.dependentFiles);
        std::wstring monitorName = widen(driver.monitorName);
        std::wstring defaultDataType = widen(driver.defaultDataType);

        DRIVER_INFO_3W info{};
        info.cVersion = driver.version;
        info.pName = textOrNull(name);
        info.pEnvironment = textOrNull(environment);
        info.pDriverPath = textOrNull(driverPath);
        info.pDataFile = textOrNull(dataFile);
        info.pConfigFile = textOrNull(configFile);
        info.pHelpFile = textOrNull(helpFile);
        info.pDependentFiles = driver.dependentFiles.empty() ? nullptr : dependentFiles.data();
        // An empty text (not a null pointer) says: no language monitor.
        info.pMonitorName = monitorName.data();
        info.pDefaultDataType = textOrNull(defaultDataType);
        if (!spool.AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&info))) return lastError();
        return winerr::Success;
    });
}

Result<PrinterHandle> Win32Platform::addPrinter(const PrinterInfo2& printer) {
    const auto& spool = winspool();
    if (!spool.AddPrinterW) return failure<PrinterHandle>(missingFunctionError(spool));
    return guarded([&]() -> Result<PrinterHandle> {
        std::wstring printerName = widen(printer.printerName);
        std::wstring portName = widen(printer.portName);
        std::wstring driverName = widen(printer.driverName);
        std::wstring printProcessor = widen(printer.printProcessor);
        std::wstring datatype = widen(printer.datatype);

        PRINTER_INFO_2W info{};  // every other field zero or absent
        info.pPrinterName = textOrNull(printerName);
        info.pPortName = textOrNull(portName);
        info.pDriverName = textOrNull(driverName);
        info.pPrintProcessor = textOrNull(printProcessor);
        info.pDatatype = textOrNull(datatype);
        HANDLE handle = spool.AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
        if (!handle) return failure<PrinterHandle>(lastError());
        return success(reinterpret_cast<PrinterHandle>(handle));
    });
}

WinError Win32Platform::closePrinter(PrinterHandle printer) {
    const auto& spool = winspool();
    if (!spool.ClosePrinter) return missingFunctionError(spool);
    // Callers close whatever AddPrinter gave them, 0 included; the spooler
    // answers a null handle with ERROR_INVALID_HANDLE.
    if (!spool.ClosePrinter(reinterpret_cast<HANDLE>(printer))) return lastError();
    return winerr::Success;
}

// --- Registry ----------------------------------------------------------------

Result<RegKey> Win32Platform::regOpenKey(RegRoot root, const std::string& path, RegAccess access) {
    return guarded([&]() -> Result<RegKey> {
        const std::wstring subKey = widen(path);
        HKEY key = nullptr;
        const LSTATUS status = RegOpenKeyExW(rootKey(root), subKey.c_str(), 0, accessMask(access), &key);
        if (status != ERROR_SUCCESS) return failure<RegKey>(statusError(status));
        return success(reinterpret_cast<RegKey>(key));
    });
}

Result<RegKey> Win32Platform::regCreateKey(RegRoot root, const std::string& path) {
    return guarded([&]() -> Result<RegKey> {
        const std::wstring subKey = widen(path);
        SECURITY_ATTRIBUTES security{};
        security.nLength = sizeof(security);
        security.lpSecurityDescriptor = nullptr;
        security.bInheritHandle = TRUE;
        HKEY key = nullptr;
        DWORD disposition = 0;
        const LSTATUS status = RegCreateKeyExW(rootKey(root), subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                               &security, &key, &disposition);
        if (status != ERROR_SUCCESS) return failure<RegKey>(statusError(status));
        return success(reinterpret_cast<RegKey>(key));
    });
}

WinError Win32Platform::regSetString(RegKey key, const std::string& name, const std::string& value) {
    return guarded([&]() -> WinError {
        const std::wstring valueName = widen(name);
        const std::wstring text = widen(value);
        // The byte count covers the text and its terminating zero.
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        if (bytes > MAXDWORD) return ERROR_INVALID_PARAMETER;
        return statusError(RegSetValueExW(keyOf(key), valueName.c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(bytes)));
    });
}

WinError Win32Platform::regSetDword(RegKey key, const std::string& name, std::uint32_t value) {
    return guarded([&]() -> WinError {
        const std::wstring valueName = widen(name);
        const DWORD data = value;
        return statusError(RegSetValueExW(keyOf(key), valueName.c_str(), 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&data), sizeof(data)));
    });
}

Result<RegValue> Win32Platform::regQueryValue(RegKey key, const std::string& name, std::size_t maxBytes) {
    return guarded([&]() -> Result<RegValue> {
        const std::wstring valueName = widen(name);
        // Learn type and size first, so that a value over the limit is refused
        // without fetching it; then fetch it into a buffer of exactly its size.
        for (int attempt = 0; attempt < kSizeAttempts; ++attempt) {
            DWORD type = 0;
            DWORD size = 0;
            LSTATUS status = RegQueryValueExW(keyOf(key), valueName.c_str(), nullptr, &type, nullptr, &size);
            if (status != ERROR_SUCCESS) return failure<RegValue>(statusError(status));
            if (size > storedLimit(type, maxBytes)) return failure<RegValue>(ERROR_MORE_DATA);
            // A null data pointer would make the call a size query again.
            std::vector<BYTE> stored(std::max<DWORD>(size, 1), 0);
            DWORD got = size;
            status = RegQueryValueExW(keyOf(key), valueName.c_str(), nullptr, &type, stored.data(), &got);
            if (status == ERROR_MORE_DATA) continue;  // the value grew meanwhile
            if (status != ERROR_SUCCESS) return failure<RegValue>(statusError(status));
            RegValue value;
            value.type = type;
            const WinError error = shapeValueData(type, stored, got, maxBytes, value.data);
            if (error != winerr::Success) return failure<RegValue>(error);
            return success(std::move(value));
        }
        return failure<RegValue>(ERROR_MORE_DATA);
    });
}

Result<RegEnumEntry> Win32Platform::regEnumValue(RegKey key, std::uint32_t index, std::size_t maxNameBytes,
                                                 std::size_t maxDataBytes) {
    return guarded([&]() -> Result<RegEnumEntry> {
        // The name buffer holds as many UTF-16 units as the limit counts
        // characters, its terminating zero included.
        const DWORD nameCapacity = static_cast<DWORD>(std::min(maxNameBytes, kMaxValueNameChars));
        std::vector<wchar_t> nameBuffer(std::max<DWORD>(nameCapacity, 1), L'\0');
        for (int attempt = 0; attempt < kSizeAttempts; ++attempt) {
            DWORD nameLength = nameCapacity;
            DWORD type = 0;
            DWORD size = 0;
            LSTATUS status =
                RegEnumValueW(keyOf(key), index, nameBuffer.data(), &nameLength, nullptr, &type, nullptr, &size);
            if (status != ERROR_SUCCESS) return failure<RegEnumEntry>(statusError(status));
            if (size > storedLimit(type, maxDataBytes)) return failure<RegEnumEntry>(ERROR_MORE_DATA);
            std::vector<BYTE> stored(std::max<DWORD>(size, 1), 0);
            DWORD got = size;
            nameLength = nameCapacity;
            status = RegEnumValueW(keyOf(key), index, nameBuffer.data(), &nameLength, nullptr, &type, stored.data(),
                                   &got);
            if (status == ERROR_MORE_DATA) continue;  // the value changed meanwhile; ask again
            if (status != ERROR_SUCCESS) return failure<RegEnumEntry>(statusError(status));
            RegEnumEntry entry;
            entry.name = narrow(std::wstring(nameBuffer.data(), std::min(nameLength, nameCapacity)));
            entry.type = type;
            const WinError error = shapeValueData(type, stored, got, maxDataBytes, entry.data);
            if (error != winerr::Success) return failure<RegEnumEntry>(error);
            return success(std::move(entry));
        }
        return failure<RegEnumEntry>(ERROR_MORE_DATA);
    });
}

WinError Win32Platform::regCloseKey(RegKey key) { return statusError(RegCloseKey(keyOf(key))); }

// --- Shell -------------------------------------------------------------------

WinError Win32Platform::shellOpen(const std::string& path) {
    return guarded([&]() -> WinError {
        const std::wstring file = widen(path);
        const HINSTANCE result = ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        const INT_PTR code = reinterpret_cast<INT_PTR>(result);
        if (code > 32) return winerr::Success;
        return shellError(code);
    });
}

// --- System queries ------------------------------------------------------------

Result<OsVersionInfo> Win32Platform::versionQuery(VersionRecordForm form) {
    OSVERSIONINFOEXW extended{};
    OSVERSIONINFOW plain{};
    OSVERSIONINFOW* record = nullptr;
    if (form == VersionRecordForm::Extended) {
        extended.dwOSVersionInfoSize = sizeof(extended);
        record = reinterpret_cast<OSVERSIONINFOW*>(&extended);
    } else {
        plain.dwOSVersionInfoSize = sizeof(plain);
        record = &plain;
    }
    if (!GetVersionExW(record)) return failure<OsVersionInfo>(lastError());
    return success(OsVersionInfo{record->dwMajorVersion, record->dwMinorVersion, record->dwPlatformId});
}

std::uint32_t Win32Platform::activeCodePage() { return GetACP(); }

Result<std::string> Win32Platform::currentDirectory(std::size_t capacity) {
    return guarded([&]() -> Result<std::string> {
        // Asking for the size first keeps a large capacity from costing a
        // large buffer; the answer is the same as a call with that capacity.
        for (int attempt = 0; attempt < kSizeAttempts; ++attempt) {
            const DWORD needed = GetCurrentDirectoryW(0, nullptr);  // terminating zero included
            if (needed == 0) return failure<std::string>(lastError());
            if (needed > capacity) return failure<std::string>(ERROR_INSUFFICIENT_BUFFER);
            std::vector<wchar_t> buffer(needed, L'\0');
            const DWORD length = GetCurrentDirectoryW(needed, buffer.data());
            if (length == 0) return failure<std::string>(lastError());
            if (length >= needed) continue;  // the directory changed meanwhile
            return success(narrow(std::wstring(buffer.data(), length)));
        }
        return failure<std::string>(ERROR_INSUFFICIENT_BUFFER);
    });
}

std::optional<int> Win32Platform::isWow64Process() {
    // Looked up at run time: systems before XP SP2 do not have it.
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (!kernel) return std::nullopt;
    const FARPROC proc = GetProcAddress(kernel, "IsWow64Process");
    if (!proc) return std::nullopt;
    // Through the generic function pointer type, which GCC accepts without
    // a cast-function-type warning.
    const auto function = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void (*)()>(proc));
    BOOL wow64 = FALSE;
    if (!function(GetCurrentProcess(), &wow64)) return std::nullopt;  // no answer: as if absent
    return static_cast<int>(wow64);
}

// SendMessageTimeout answers 0 for a failure and for a timeout (which sets
// ERROR_TIMEOUT); it does not always set an error, hence the one cleared first.
WinError Win32Platform::broadcastSettingChange(const std::string& section, std::uint32_t timeoutMs) {
    return guarded([&]() -> WinError {
        const std::wstring name = widen(section);
        DWORD_PTR answer = 0;
        SetLastError(ERROR_SUCCESS);
        if (SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(name.c_str()),
                                SMTO_ABORTIFHUNG, timeoutMs, &answer))
            return winerr::Success;
        return lastError();
    });
}

// Looked up at run time: Windows 10 1709 and later have it.
std::optional<std::uint16_t> Win32Platform::nativeMachine() {
    using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    HMODULE kernel = GetModuleHandleW(L"kernel32");
    const FARPROC proc = kernel ? GetProcAddress(kernel, "IsWow64Process2") : nullptr;
    if (!proc) return std::nullopt;
    const auto function = reinterpret_cast<IsWow64Process2Fn>(reinterpret_cast<void (*)()>(proc));
    USHORT process = 0, native = 0;
    if (!function(GetCurrentProcess(), &process, &native)) return std::nullopt;
    return static_cast<std::uint16_t>(native);
}

WinError Win32Platform::copyFile(const std::string& source, const std::string& destination, bool failIfExists) {
    return guarded([&]() -> WinError {
        const std::wstring from = widen(source);
        const std::wstring to = widen(destination);
        if (!CopyFileW(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE)) return lastError();
        return winerr::Success;
    });
}

void Win32Platform::sleep(std::uint32_t milliseconds) { Sleep(milliseconds); }

void Win32Platform::debugOutput(const std::string& text) {
    try {
        OutputDebugStringW(widen(text).c_str());
    } catch (const std::exception&) {
        // Diagnostics only: a text that cannot be allocated is dropped.
    }
}

// FormatMessageW in the wizard's language first; a system without that
// language's message table answers ERROR_RESOURCE_LANG_NOT_FOUND, and then
// the system's own language (0) is asked.
std::string Win32Platform::errorText(WinError error, Language language) {
    const DWORD wanted = language == Language::English ? MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)
                                          : MAKELANGID(LANG_CHINESE_SIMPLIFIED, SUBLANG_CHINESE_SIMPLIFIED);
    const DWORD languages[] = {wanted, 0};
    for (const DWORD language : languages) {
        wchar_t buffer[512];
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                            language, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
        if (length == 0) continue;
        std::wstring text(buffer, length);
        while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                                 text.back() == L'.' || text.back() == L'\u3002'))
            text.pop_back();
        try {
            return narrow(text);
        } catch (const std::exception&) {
            return {};
        }
    }
    return {};
}

}  // namespace kelp::win32
