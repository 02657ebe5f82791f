// Win32Platform: removal, RAW printing, the log file, the named mutex and
// the console of the command line.

#include "platform/win32/Win32Platform.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <exception>

#include "platform/FinalPath.h"
#include "platform/HandleMap.h"
#include "platform/win32/Calls.h"
#include "platform/win32/SystemDlls.h"
#include "platform/win32/Text.h"

namespace kelp::win32 {

namespace {

HANDLE printerOf(PrinterHandle printer) { return reinterpret_cast<HANDLE>(printer); }

// The texts of a multi-sz, each as UTF-8 followed by its zero, closed by an
// empty text, as DriverInfo3 keeps its dependent files.
std::string multiSzText(const wchar_t* list) {
    std::string out;
    if (list) {
        for (const wchar_t* item = list; *item; item += wcslen(item) + 1) {
            out += narrow(item);
            out.push_back('\0');
        }
    }
    out.push_back('\0');
    return out;
}

std::string withoutTrailingBackslash(std::wstring folder) {
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return narrow(folder);
}

struct ConsoleState {
    bool probed = false;
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool isConsole = false;
};

ConsoleState& console() {
    static ConsoleState state;
    if (state.probed) return state;
    state.probed = true;
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output && output != INVALID_HANDLE_VALUE) {
        const DWORD type = GetFileType(output);
        if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
            state.handle = output;
            return state;
        }
        DWORD mode = 0;
        if (type == FILE_TYPE_CHAR && GetConsoleMode(output, &mode)) {
            state.handle = output;
            state.isConsole = true;
            return state;
        }
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return state;
    const HANDLE attached = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (attached != INVALID_HANDLE_VALUE) {
        state.handle = attached;
        state.isConsole = true;
    }
    return state;
}

// Takes an opened mutex without waiting; closes it unless taken.
Result<std::uintptr_t> takeMutex(HANDLE mutex) {
    switch (WaitForSingleObject(mutex, 0)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:  // its holder ended without releasing it
            return {reinterpret_cast<std::uintptr_t>(mutex), winerr::Success};
        case WAIT_TIMEOUT:
            CloseHandle(mutex);
            return {0, winerr::InstallAlreadyRunning};
        default: {
            const WinError error = lastErrorOr();
            CloseHandle(mutex);
            return {0, error};
        }
    }
}

// The private namespace each taken private mutex lives in, closed with it.
HandleMap<HANDLE>& privateNamespaces() {
    static HandleMap<HANDLE> namespaces;
    return namespaces;
}

template <class Fn>
Fn kernelFunction(const char* name) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, name))) : nullptr;
}

void closePrivateNamespace(HANDLE space) {
    using CloseFn = BOOLEAN(WINAPI*)(HANDLE, ULONG);
    if (const auto close = kernelFunction<CloseFn>("ClosePrivateNamespace")) close(space, 0);
}

// A well-known SID in a buffer of its own.
struct WellKnownSid {
    BYTE bytes[SECURITY_MAX_SID_SIZE];
    bool made;
    explicit WellKnownSid(WELL_KNOWN_SID_TYPE type) {
        DWORD size = sizeof(bytes);
        made = CreateWellKnownSid(type, nullptr, bytes, &size) != FALSE;
    }
    PSID sid() { return made ? bytes : nullptr; }
};

// Owner SYSTEM, Administrators, or the account this process runs as (an
// administrator's own files on Windows XP, where the account and not the
// group owns what it creates; under Wine every file). A file system without
// owners (FAT) gives none: nobody else owns the file either.
bool ownerIsTrusted(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return false;
    bool trusted = owner == nullptr || IsWellKnownSid(owner, WinLocalSystemSid) ||
                   IsWellKnownSid(owner, WinBuiltinAdministratorsSid);
    HANDLE token = nullptr;
    if (!trusted && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        DWORD size = 0;
        if (GetTokenInformation(token, TokenUser, user, sizeof(user), &size))
            trusted = EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) != FALSE;
        CloseHandle(token);
    }
    LocalFree(descriptor);
    return trusted;
}

using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// The final path of an open file or folder (GetFinalPathNameByHandleW,
// Windows Vista and later: links and junctions on the way followed); empty
// when the system cannot tell.
std::wstring finalPathOf(HANDLE handle, FinalPathFn finalPath) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD length =
            finalPath(handle, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < buffer.size()) return buffer.substr(0, length);
        buffer.assign(length + 1, L'\0');
    }
    return {};
}

// A full path with its short (8.3) names spelled out, as a final path
// spells them; as given where the system cannot tell.
std::wstring longPathOf(const std::wstring& path) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD length = GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return path;
        if (length < buffer.size()) return buffer.substr(0, length);
        buffer.assign(length + 1, L'\0');
    }
    return path;
}

// Whether handle's final path is the one asked for; true where the system
// cannot tell (Windows XP, a file system that does not answer).
bool reachedAsAsked(HANDLE handle, const std::wstring& asked, FinalPathFn finalPath) {
    if (!finalPath) return true;
    const std::wstring seen = finalPathOf(handle, finalPath);
    return seen.empty() || SameFinalPath(narrow(longPathOf(asked)), narrow(seen));
}

}  // namespace

WinError Win32Platform::deletePrinter(const std::string& name) {
    const auto& spool = winspool();
    if (!spool.OpenPrinterW || !spool.DeletePrinter || !spool.ClosePrinter) return missingFunctionError(spool);
    return changePrinter(spool, name,
                         [&](HANDLE printer) { return spool.DeletePrinter(printer) ? winerr::Success : lastErrorOr(); });
}

WinError Win32Platform::deletePrinterDriver(const std::string& environment, const std::string& name,
                                            bool deleteUnusedFiles) {
    const auto& spool = winspool();
    if (!(deleteUnusedFiles ? spool.DeletePrinterDriverExW != nullptr : spool.DeletePrinterDriverW != nullptr))
        return missingFunctionError(spool);
    return guardedRun([&]() -> WinError {
        std::wstring env = widen(environment);
        std::wstring driver = widen(name);
        const BOOL done = deleteUnusedFiles
                              ? spool.DeletePrinterDriverExW(nullptr, env.data(), driver.data(), DPD_DELETE_UNUSED_FILES, 0)
                              : spool.DeletePrinterDriverW(nullptr, env.data(), driver.data());
        return done ? winerr::Success : lastErrorOr();
    });
}

// The two-call size protocol, as for the other enumerations.
Result<std::vector<DriverInfo3>> Win32Platform::enumPrinterDrivers(const std::string& environment) {
    const auto& spool = winspool();
    if (!spool.EnumPrinterDriversW) return {{}, missingFunctionError(spool)};
    return guardedRun([&]() -> Result<std::vector<DriverInfo3>> {
        Result<std::vector<DriverInfo3>> result;
        std::wstring env = widen(environment);
        std::vector<BYTE> buffer;
        DWORD needed = 0, returned = 0;
        for (int attempt = 0;; ++attempt) {
            const DWORD size = static_cast<DWORD>(buffer.size());
            if (spool.EnumPrinterDriversW(nullptr, env.data(), 3, size ? buffer.data() : nullptr, size, &needed, &returned))
                break;
            const WinError error = lastErrorOr();
            if (error != ERROR_INSUFFICIENT_BUFFER || needed <= size || attempt >= 8) {
                result.error = error;
                return result;
            }
            buffer.assign(needed, 0);
        }
        if (returned > buffer.size() / sizeof(DRIVER_INFO_3W)) {
            result.error = returned == 0 ? winerr::Success : ERROR_INVALID_DATA;
            return result;
        }
        const auto* records = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
        for (DWORD i = 0; i < returned; ++i) {
            const DRIVER_INFO_3W& r = records[i];
            DriverInfo3 d;
            d.version = r.cVersion;
            d.name = narrow(r.pName);
            d.environment = narrow(r.pEnvironment);
            d.driverPath = narrow(r.pDriverPath);
            d.dataFile = narrow(r.pDataFile);
            d.configFile = narrow(r.pConfigFile);
            d.helpFile = narrow(r.pHelpFile);
            d.dependentFiles = multiSzText(r.pDependentFiles);
            d.monitorName = narrow(r.pMonitorName);
            d.defaultDataType = narrow(r.pDefaultDataType);
            result.value.push_back(std::move(d));
        }
        return result;
    });
}

// DeleteFileW answers a folder with 5, as it answers a file it may not
// delete: a folder is told apart first.
WinError Win32Platform::deleteFile(const std::string& path) {
    return guardedRun([&]() -> WinError {
        const std::wstring file = widen(path);
        const DWORD attributes = GetFileAttributesW(file.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
        return DeleteFileW(file.c_str()) ? winerr::Success : lastErrorOr();
    });
}

Result<PrinterHandle> Win32Platform::openPrinter(const std::string& name) {
    const auto& spool = winspool();
    if (!spool.OpenPrinterW) return {0, missingFunctionError(spool)};
    return guardedRun([&]() -> Result<PrinterHandle> {
        std::wstring printerName = widen(name);
        HANDLE printer = nullptr;
        if (!spool.OpenPrinterW(printerName.data(), &printer, nullptr)) return {0, lastErrorOr()};
        return {reinterpret_cast<PrinterHandle>(printer), winerr::Success};
    });
}

// A RAW job needs no pages: the bytes go to the port as they are written.
// StartDocPrinter answers the job's id, 0 when it fails.
Result<std::uint32_t> Win32Platform::startRawDocument(PrinterHandle printer, const std::string& documentName) {
    const auto& spool = winspool();
    if (!spool.StartDocPrinterW) return {0, missingFunctionError(spool)};
    return guardedRun([&]() -> Result<std::uint32_t> {
        std::wstring document = widen(documentName);
        std::wstring datatype = L"RAW";
        DOC_INFO_1W info{};
        info.pDocName = document.data();
        info.pOutputFile = nullptr;
        info.pDatatype = datatype.data();
        const DWORD job = spool.StartDocPrinterW(printerOf(printer), 1, reinterpret_cast<BYTE*>(&info));
        if (job == 0) return {0, lastErrorOr()};
        return {job, winerr::Success};
    });
}

// WritePrinter may take fewer bytes than offered; the rest is offered again.
WinError Win32Platform::writePrinter(PrinterHandle printer, const std::string& bytes) {
    const auto& spool = winspool();
    if (!spool.WritePrinter) return missingFunctionError(spool);
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - offset, 1u << 20));
        if (!spool.WritePrinter(printerOf(printer), const_cast<char*>(bytes.data() + offset), chunk, &written))
            return lastErrorOr();
        if (written == 0) return ERROR_WRITE_FAULT;
        offset += written;
    }
    return winerr::Success;
}

WinError Win32Platform::endRawDocument(PrinterHandle printer) {
    const auto& spool = winspool();
    if (!spool.EndDocPrinter) return missingFunctionError(spool);
    if (!spool.EndDocPrinter(printerOf(printer))) return lastErrorOr();
    return winerr::Success;
}

// GetTempPath2W (Windows 11, and 10 since its 2022 updates) gives SYSTEM
// C:\Windows\SystemTemp, which standard users cannot write, and every other
// account what GetTempPathW gives.
std::string Win32Platform::tempDirectory() {
    try {
        using GetTempPath2WFn = DWORD(WINAPI*)(DWORD, LPWSTR);
        const auto getTempPath2 = reinterpret_cast<GetTempPath2WFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
        wchar_t buffer[MAX_PATH + 2];
        const DWORD size = static_cast<DWORD>(std::size(buffer));
        const DWORD length = getTempPath2 ? getTempPath2(size, buffer) : GetTempPathW(size, buffer);
        if (length == 0 || length >= std::size(buffer)) return {};
        return withoutTrailingBackslash(std::wstring(buffer, length));
    } catch (const std::exception&) {
        return {};
    }
}

// GetModuleFileNameW cuts a long path and says so only by filling the
// buffer: the buffer grows until the name fits.
std::string Win32Platform::moduleDirectory() {
    try {
        std::wstring path(MAX_PATH, L'\0');
        for (int attempt = 0; attempt < 6; ++attempt) {
            const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (length == 0) return {};
            if (length < path.size()) {
                path.resize(length);
                const auto slash = path.find_last_of(L"\\/");
                if (slash == std::wstring::npos) return {};
                return withoutTrailingBackslash(path.substr(0, slash));
            }
            path.assign(path.size() * 2, L'\0');
        }
    } catch (const std::exception&) {
    }
    return {};
}

std::string Win32Platform::localTime() {
    SYSTEMTIME time{};
    GetLocalTime(&time);
    char text[32];
    wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
              time.wSecond);
    return text;
}

std::string Win32Platform::userName() {
    try {
        wchar_t buffer[257];
        DWORD size = static_cast<DWORD>(std::size(buffer));
        if (!GetUserNameW(buffer, &size)) return {};
        return narrow(buffer);
    } catch (const std::exception&) {
        return {};
    }
}

Result<std::uintptr_t> Win32Platform::acquireNamedMutex(const std::string& name) {
    return guardedRun([&]() -> Result<std::uintptr_t> {
        const std::wstring mutexName = widen(name);
        HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName.c_str());
        // Access denied has two causes: the mutex exists and its creator's
        // security keeps this account out (a run as SYSTEM, say), or this
        // account may not create objects in the global namespace (a
        // standard user without SeCreateGlobalPrivilege). Opening it tells
        // them apart; when it does not exist, no run holds it, and the
        // session's own namespace still keeps this session's runs apart.
        if (!mutex && GetLastError() == ERROR_ACCESS_DENIED) {
            mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, mutexName.c_str());
            if (!mutex && GetLastError() != ERROR_FILE_NOT_FOUND) return {0, winerr::InstallAlreadyRunning};
            if (!mutex && mutexName.rfind(L"Global\\", 0) == 0) {
                const std::wstring local = L"Local\\" + mutexName.substr(7);
                mutex = CreateMutexW(nullptr, FALSE, local.c_str());
            }
        }
        if (!mutex) return {0, lastErrorOr()};
        return takeMutex(mutex);
    });
}

void Win32Platform::releaseNamedMutex(std::uintptr_t mutex) {
    if (!mutex) return;
    ReleaseMutex(reinterpret_cast<HANDLE>(mutex));
    CloseHandle(reinterpret_cast<HANDLE>(mutex));
    const auto found = privateNamespaces().find(mutex);
    if (found != privateNamespaces().end()) {
        closePrivateNamespace(found->second);
        privateNamespaces().erase(found);
    }
}

bool Win32Platform::consoleWrite(const std::string& text) {
    try {
        ConsoleState& state = console();
        if (state.handle == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        if (state.isConsole) {
            const std::wstring wide = widen(text);
            return WriteConsoleW(state.handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != FALSE;
        }
        return WriteFile(state.handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
    } catch (const std::exception&) {
        return false;
    }
}

void Win32Platform::messageBoxWithoutWindow(const std::string& title, const std::string& text) {
    try {
        MessageBoxW(nullptr, widen(text).c_str(), widen(title).c_str(), MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    } catch (const std::exception&) {
    }
}

// A symbolic link or junction at the name is opened itself, never followed
// (FILE_FLAG_OPEN_REPARSE_POINT), so that it can be told and left alone; a
// hard link cannot be told from the name, only from the file's link count.
// A link or junction among the folders on the way is followed by Windows
// whatever the flags say: the folder's final path, looked at before the file
// is made, and the file's, after, tell it (a folder swapped in between).
// A file is made with the right to delete it (DELETE, not shared): nobody
// can rename or delete it while it is open, and discardLogFile deletes it
// through this handle, wherever it was made. An existing file, perhaps
// another account's, is opened without that right.
// FILE_APPEND_DATA alone writes at the end whatever another program does.
Result<LogFile> Win32Platform::openLogFile(const std::string& path, bool createNew) {
    return guardedRun([&]() -> Result<LogFile> {
        const auto finalPath = kernelFunction<FinalPathFn>("GetFinalPathNameByHandleW");
        const auto full = fullPathName(path);
        if (!full.ok()) return {{}, full.error};
        const std::wstring name = widen(full.value);
        const std::size_t slash = name.find_last_of(L'\\');
        if (slash == std::wstring::npos) return {{}, ERROR_INVALID_NAME};
        // "C:\\" keeps its backslash; any other folder is named without one
        // (Wine refuses "C:\\dir\\" as a name).
        const bool root = slash == 2 && name[1] == L':';
        const std::wstring folderName = name.substr(0, root ? slash + 1 : slash);
        const HANDLE folder = CreateFileW(folderName.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (folder == INVALID_HANDLE_VALUE) return {{}, lastErrorOr()};
        const bool folderAsAsked = reachedAsAsked(folder, folderName, finalPath);
        if (!folderAsAsked) {
            CloseHandle(folder);
            return {{}, winerr::StoppedOnSymlink};
        }
        constexpr DWORD access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL;
        constexpr DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
        // Made new, else (unless only a new one will do) opened as it is; a
        // file that goes between the two is made again.
        HANDLE file = INVALID_HANDLE_VALUE;
        bool created = false;
        WinError openError = winerr::Success;
        for (int attempt = 0; attempt < 3; ++attempt) {
            file = CreateFileW(name.c_str(), access | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW, flags, nullptr);
            created = file != INVALID_HANDLE_VALUE;
            if (created) break;
            openError = lastErrorOr();
            if (createNew) break;
            file = CreateFileW(name.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
            if (file != INVALID_HANDLE_VALUE) break;
            const WinError existingError = lastErrorOr();
            if (existingError != ERROR_FILE_NOT_FOUND) openError = existingError;
            if (existingError != ERROR_FILE_NOT_FOUND || openError != ERROR_FILE_EXISTS) break;
        }
        CloseHandle(folder);
        if (file == INVALID_HANDLE_VALUE) return {{}, openError};
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(file, &info)) {
            const WinError error = lastErrorOr();
            if (created)
                discardLogFile(reinterpret_cast<std::uintptr_t>(file));
            else
                CloseHandle(file);
            return {{}, error};
        }
        LogFile log;
        log.handle = reinterpret_cast<std::uintptr_t>(file);
        log.links = info.nNumberOfLinks;
        log.reparsePoint = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        log.trustedOwner = ownerIsTrusted(file);
        log.created = created;
        log.linkOnTheWay = !reachedAsAsked(file, name, finalPath);
        return {log, winerr::Success};
    });
}

WinError Win32Platform::writeLogFile(std::uintptr_t file, const std::string& bytes) {
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return lastErrorOr();
    return written == bytes.size() ? winerr::Success : static_cast<WinError>(ERROR_WRITE_FAULT);
}

void Win32Platform::closeLogFile(std::uintptr_t file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

// The delete disposition, set on the handle that made the file: it goes when
// the handle is closed, whatever name leads to it then.
// SetFileInformationByHandle has it from Windows Vista on; before, the
// native call does the same (FileDispositionInformation, class 13).
WinError Win32Platform::discardLogFile(std::uintptr_t file) {
    const HANDLE handle = reinterpret_cast<HANDLE>(file);
    using SetInfoFn = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
    using NtSetInfoFn = LONG(WINAPI*)(HANDLE, PVOID, PVOID, ULONG, ULONG);
    using NtStatusFn = ULONG(WINAPI*)(LONG);
    WinError error = winerr::Success;
    if (const auto setInfo = kernelFunction<SetInfoFn>("SetFileInformationByHandle")) {
        FILE_DISPOSITION_INFO disposition{TRUE};
        if (!setInfo(handle, FileDispositionInfo, &disposition, sizeof(disposition))) error = lastErrorOr();
    } else {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        const auto function = [&](const char* name) {
            return ntdll ? reinterpret_cast<void (*)()>(GetProcAddress(ntdll, name)) : nullptr;
        };
        const auto ntSetInfo = reinterpret_cast<NtSetInfoFn>(function("NtSetInformationFile"));
        const auto toError = reinterpret_cast<NtStatusFn>(function("RtlNtStatusToDosError"));
        ULONG_PTR status[2] = {};  // IO_STATUS_BLOCK
        BOOLEAN deleteFile = TRUE;
        const LONG result = ntSetInfo ? ntSetInfo(handle, status, &deleteFile, sizeof(deleteFile), 13) : -1;
        if (result != 0) error = ntSetInfo && toError ? toError(result) : winerr::NoErrorCode;
    }
    CloseHandle(handle);
    return error;
}

// Under UAC an administrator's token holds the Administrators group only
// once elevated; SYSTEM's always does.
bool Win32Platform::runsElevated() {
    WellKnownSid administrators(WinBuiltinAdministratorsSid);
    BOOL member = FALSE;
    return administrators.made && CheckTokenMembership(nullptr, administrators.sid(), &member) && member;
}

std::uint32_t Win32Platform::processId() { return GetCurrentProcessId(); }

// Only a process holding the Administrators group can create the namespace,
// so no other account can make the mutex first and keep every run out. The
// namespace and its mutex are made open to SYSTEM and the Administrators
// only (a protected DACL: nothing inherited), and the mutex is opened with
// the rights waiting and releasing need, nothing more. The functions are
// looked up at run time: Windows before Vista lacks them, and Wine's
// CreateBoundaryDescriptorW is a stub that fails, which is looked at before
// AddSIDToBoundaryDescriptor (not implemented there) can be called. The
// namespace is closed with the mutex (releaseNamedMutex).
Result<PrivateMutex> Win32Platform::acquirePrivateMutex(const std::string& namespaceName,
                                                        const std::string& mutexName) {
    using CreateBoundaryFn = HANDLE(WINAPI*)(LPCWSTR, ULONG);
    using AddSidFn = BOOL(WINAPI*)(HANDLE*, PSID);
    using DeleteBoundaryFn = VOID(WINAPI*)(HANDLE);
    using CreateNamespaceFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
    using OpenNamespaceFn = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
    using CreateMutexExFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD);
    const auto createBoundary = kernelFunction<CreateBoundaryFn>("CreateBoundaryDescriptorW");
    const auto addSid = kernelFunction<AddSidFn>("AddSIDToBoundaryDescriptor");
    const auto deleteBoundary = kernelFunction<DeleteBoundaryFn>("DeleteBoundaryDescriptor");
    const auto createNamespace = kernelFunction<CreateNamespaceFn>("CreatePrivateNamespaceW");
    const auto openNamespace = kernelFunction<OpenNamespaceFn>("OpenPrivateNamespaceW");
    const auto createMutexEx = kernelFunction<CreateMutexExFn>("CreateMutexExW");
    if (!createBoundary || !addSid || !deleteBoundary || !createNamespace || !openNamespace || !createMutexEx ||
        !kernelFunction<void (*)()>("ClosePrivateNamespace"))
        return {{}, ERROR_PROC_NOT_FOUND};
    return guardedRun([&]() -> Result<PrivateMutex> {
        // SYSTEM and the Administrators: all access; nobody else any.
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1,
                                                                  &descriptor, nullptr))
            return {{}, lastErrorOr()};
        SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
        const std::wstring prefix = widen(namespaceName);
        HANDLE boundary = createBoundary(prefix.c_str(), 0);
        WellKnownSid administrators(WinBuiltinAdministratorsSid);
        if (!boundary || !administrators.made || !addSid(&boundary, administrators.sid())) {
            const WinError error = lastErrorOr();
            if (boundary) deleteBoundary(boundary);
            LocalFree(descriptor);
            return {{}, error};
        }
        HANDLE space = createNamespace(&security, boundary, prefix.c_str());
        if (!space && GetLastError() == ERROR_ALREADY_EXISTS) space = openNamespace(boundary, prefix.c_str());
        const WinError spaceError = space ? winerr::Success : lastErrorOr();
        deleteBoundary(boundary);
        if (!space) {
            LocalFree(descriptor);
            return {{}, spaceError};
        }
        // From here on the namespace is the lock's: a mutex this account may
        // not open is another run's (InstallAlreadyRunning), never a reason
        // to take another lock.
        const std::wstring name = prefix + L"\\" + widen(mutexName);
        const HANDLE mutex = createMutexEx(&security, name.c_str(), 0, SYNCHRONIZE | MUTEX_MODIFY_STATE);
        const WinError mutexError = mutex ? winerr::Success : lastErrorOr();
        LocalFree(descriptor);
        Result<std::uintptr_t> taken = mutex ? takeMutex(mutex) : Result<std::uintptr_t>{0, mutexError};
        if (taken.error == ERROR_ACCESS_DENIED) taken.error = winerr::InstallAlreadyRunning;
        if (taken.ok())
            privateNamespaces()[taken.value] = space;
        else
            closePrivateNamespace(space);
        return {{taken.value, true}, taken.error};
    });
}

// A station that cannot be queried counts as one nobody sees.
bool Win32Platform::windowStationVisible() {
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    const HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed)) return false;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

std::optional<std::uint32_t> Win32Platform::sessionId() {
    using SessionFn = BOOL(WINAPI*)(DWORD, DWORD*);
    const auto processSession = kernelFunction<SessionFn>("ProcessIdToSessionId");
    DWORD session = 0;
    if (!processSession || !processSession(GetCurrentProcessId(), &session)) return std::nullopt;
    return session;
}

// RtlGenRandom (exported by advapi32 as SystemFunction036 since Windows XP).
// Where it is missing or fails, the clock, the process and the stack's
// address make a number that is at least not the same twice.
std::uint64_t Win32Platform::randomNumber() {
    using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
    const HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
    const auto genRandom = advapi ? reinterpret_cast<GenRandomFn>(reinterpret_cast<void (*)()>(
                                        GetProcAddress(advapi, "SystemFunction036")))
                                  : nullptr;
    std::uint64_t number = 0;
    if (genRandom && genRandom(&number, sizeof(number))) return number;
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    number = static_cast<std::uint64_t>(counter.QuadPart) ^ (std::uint64_t{GetCurrentProcessId()} << 32) ^
             reinterpret_cast<std::uintptr_t>(&counter) ^ GetTickCount();
    return number * 0x9E3779B97F4A7C15u;
}

// The size protocol: a buffer too small is answered with the size needed,
// its terminating zero included.
Result<std::string> Win32Platform::fullPathName(const std::string& path) {
    return guardedRun([&]() -> Result<std::string> {
        const std::wstring given = widen(path);
        std::wstring buffer(MAX_PATH, L'\0');
        for (int attempt = 0; attempt < 4; ++attempt) {
            const DWORD length = GetFullPathNameW(given.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
            if (length == 0) return {{}, lastErrorOr(ERROR_INVALID_NAME)};
            if (length < buffer.size()) return {narrow(buffer.c_str()), winerr::Success};
            buffer.assign(length, L'\0');
        }
        return {{}, ERROR_INSUFFICIENT_BUFFER};
    });
}

}  // namespace kelp::win32
