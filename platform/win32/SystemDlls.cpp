#include "platform/win32/SystemDlls.h"

#include <cwchar>

namespace kelp::win32 {

namespace {

bool searchRestricted = false;

// The DLLs each one pulls in that are not known DLLs either, loaded before
// it, from the system folder: whatever search a later load of that name
// makes (a delay-loaded import, or any load on a Windows without the
// restriction), it then finds the module already loaded. Wine's loader, for
// one, resolves delay-loaded imports with the search order of the process's
// start, program folder first, whatever SetDefaultDllDirectories said.
constexpr const wchar_t* kComctl32Dependencies[] = {L"uxtheme.dll", L"msimg32.dll", L"version.dll"};
// version.dll: a spooler that runs in the process (Wine's) loads it, and the
// command line loads no common controls before the spooler.
constexpr const wchar_t* kWinspoolDependencies[] = {L"compstui.dll", L"localui.dll", L"serialui.dll", L"version.dll"};
constexpr const wchar_t* kSetupapiDependencies[] = {L"cfgmgr32.dll", L"devobj.dll"};

template <class Fn>
Fn procedure(HMODULE module, const char* name) {
    const FARPROC proc = GetProcAddress(module, name);
    // Through the generic function pointer type, which GCC accepts without
    // a cast-function-type warning.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

template <std::size_t N>
void loadDependencies(const wchar_t* const (&dependencies)[N]) {
    DWORD ignored = ERROR_SUCCESS;
    // One this Windows does not have is not loaded later either.
    for (const wchar_t* dependency : dependencies) loadSystemDll(dependency, ignored);
}

}  // namespace

bool restrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryWFn = BOOL(WINAPI*)(LPCWSTR);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return false;
    const auto setDefault = procedure<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        searchRestricted = true;
        return true;
    }
    // Without it, at least the current directory leaves the search (XP SP1 on).
    const auto setDirectory = procedure<SetDllDirectoryWFn>(kernel, "SetDllDirectoryW");
    if (setDirectory) setDirectory(L"");
    return false;
}

HMODULE loadSystemDll(const wchar_t* name, DWORD& error) {
    HMODULE module = nullptr;
    if (searchRestricted) {
        // A bare name: an activation context's redirection (the common
        // controls 6 of the manifest) still applies, the search does not
        // leave the system folder.
        module = LoadLibraryW(name);
    } else {
        wchar_t path[MAX_PATH];
        const UINT length = GetSystemDirectoryW(path, MAX_PATH);
        const std::size_t nameLength = std::wcslen(name);
        if (length == 0 || length + 1 + nameLength >= MAX_PATH) {
            error = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
            return nullptr;
        }
        path[length] = L'\\';
        std::wmemcpy(path + length + 1, name, nameLength + 1);
        module = LoadLibraryW(path);
    }
    error = module ? ERROR_SUCCESS : GetLastError();
    if (!module && error == ERROR_SUCCESS) error = ERROR_MOD_NOT_FOUND;
    return module;
}

#define KELP_RESOLVE_FUNCTION(name) table.name = procedure<decltype(table.name)>(module, #name);

const WinspoolFunctions& winspool() {
    static WinspoolFunctions table;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        loadDependencies(kWinspoolDependencies);
        const HMODULE module = loadSystemDll(L"winspool.drv", table.loadError);
        if (module) {
            KELP_WINSPOOL_FUNCTIONS(KELP_RESOLVE_FUNCTION)
        }
    }
    return table;
}

const Comctl32Functions& comctl32() {
    static Comctl32Functions table;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        loadDependencies(kComctl32Dependencies);
        // By name in either case: the manifest's activation context (in
        // place from the process's start) redirects the name to version 6 in
        // WinSxS before any folder is searched; a full path would give the
        // system folder's version 5.
        HMODULE module = LoadLibraryW(L"comctl32.dll");
        table.loadError = module ? ERROR_SUCCESS : GetLastError();
        if (module) {
            KELP_COMCTL32_FUNCTIONS(KELP_RESOLVE_FUNCTION)
        }
    }
    return table;
}

const SetupapiFunctions& setupapi() {
    static SetupapiFunctions table;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        loadDependencies(kSetupapiDependencies);
        const HMODULE module = loadSystemDll(L"setupapi.dll", table.loadError);
        if (module) {
            KELP_SETUPAPI_FUNCTIONS(KELP_RESOLVE_FUNCTION)
        }
    }
    return table;
}

#undef KELP_RESOLVE_FUNCTION

}  // namespace kelp::win32
