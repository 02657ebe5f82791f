// The DLLs Kelp.exe uses beyond the ones Windows always takes from the
// system folder, loaded from the system folder only.
//
// Kelp.exe asks for administrator rights and is started from wherever the
// driver package was unpacked, often the Downloads folder. Windows looks
// for a DLL that is not a "known DLL" in the program's folder first, so a
// file there named like such a DLL would run with those rights. Kelp.exe
// therefore imports only known DLLs (kernel32, user32, gdi32, advapi32,
// shell32, msvcrt); restrictDllSearch() runs first in wWinMain, and every
// other DLL (the spooler's winspool.drv, the common controls, and whatever
// they load in turn) is loaded after it, through the tables below.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <winspool.h>
#include <setupapi.h>

namespace kelp::win32 {

// Limits every later DLL load of the process to the system folder
// (SetDefaultDllDirectories with LOAD_LIBRARY_SEARCH_SYSTEM32, looked up at
// run time: Windows before 8, and 7 without its 2011 loader update, lack
// it). Where it is missing, loadSystemDll loads by full system path.
// Answers whether the restriction is in place.
bool restrictDllSearch();

// Loads a DLL of the system folder: by name when the search is restricted,
// else by its full path under GetSystemDirectoryW. Null with the Windows
// error when it cannot be loaded.
HMODULE loadSystemDll(const wchar_t* name, DWORD& error);

// A table of one DLL's functions: each pointer is null until the DLL is
// loaded and stays null when the DLL or that function is missing. The
// functions' types are those of the SDK's declarations.
#define KELP_WINSPOOL_FUNCTIONS(X) \
    X(EnumPortsW)                  \
    X(EnumMonitorsW)               \
    X(AddPortW)                    \
    X(ConfigurePortW)              \
    X(EnumPrintersW)               \
    X(GetPrinterDriverDirectoryW)  \
    X(AddPrinterDriverW)           \
    X(AddPrinterW)                 \
    X(ClosePrinter)                \
    X(OpenPrinterW)                \
    X(DeletePrinter)               \
    X(EnumPrinterDriversW)         \
    X(DeletePrinterDriverW)        \
    X(DeletePrinterDriverExW)      \
    X(StartDocPrinterW)            \
    X(WritePrinter)                \
    X(EndDocPrinter)               \
    X(GetPrinterW)                 \
    X(SetPrinterW)                 \
    X(GetJobW)                     \
    X(SetJobW)                     \
    X(XcvDataW)

#define KELP_COMCTL32_FUNCTIONS(X) X(InitCommonControlsEx)

#define KELP_SETUPAPI_FUNCTIONS(X)        \
    X(SetupDiGetClassDevsW)               \
    X(SetupDiEnumDeviceInterfaces)        \
    X(SetupDiGetDeviceInterfaceDetailW)   \
    X(SetupDiGetDeviceInstanceIdW)        \
    X(SetupDiOpenDeviceInterfaceRegKey)   \
    X(SetupDiDestroyDeviceInfoList)       \
    X(SetupDiEnumDeviceInfo)              \
    X(SetupDiGetDeviceRegistryPropertyW)  \
    X(SetupDiGetDevicePropertyW)

#define KELP_DLL_FUNCTION_POINTER(name) decltype(&::name) name = nullptr;

struct WinspoolFunctions {
    KELP_WINSPOOL_FUNCTIONS(KELP_DLL_FUNCTION_POINTER)
    DWORD loadError = ERROR_SUCCESS;  // why the DLL is missing, if it is
};

struct Comctl32Functions {
    KELP_COMCTL32_FUNCTIONS(KELP_DLL_FUNCTION_POINTER)
    DWORD loadError = ERROR_SUCCESS;
};

struct SetupapiFunctions {
    KELP_SETUPAPI_FUNCTIONS(KELP_DLL_FUNCTION_POINTER)
    DWORD loadError = ERROR_SUCCESS;
};

#undef KELP_DLL_FUNCTION_POINTER

// Each table loads its DLL's own non-known dependencies first, from the
// system folder, so that no later search for them can leave it.

// The spooler's functions, winspool.drv loaded on first use (the first page
// does not need it). Kelp calls these from its one thread only.
const WinspoolFunctions& winspool();

// The common controls, comctl32.dll loaded on first use by name, so that
// the manifest's activation context (in place from the process's start)
// gives version 6 from WinSxS, never a file in the program's folder.
const Comctl32Functions& comctl32();

// The device installation functions, setupapi.dll loaded on first use
// (only the USB printer ports need it).
const SetupapiFunctions& setupapi();

// The error to report for a table's function that is null: the DLL's load
// error, or ERROR_PROC_NOT_FOUND when only the function is missing.
template <class Table>
DWORD missingFunctionError(const Table& table) {
    return table.loadError != ERROR_SUCCESS ? table.loadError : ERROR_PROC_NOT_FOUND;
}

}  // namespace kelp::win32
