// What every Win32Platform operation does around its calls: the last error
// of a failed call (one that set none is still a failure, never success),
// no exception through to the caller, and a printer opened with full
// access for a change and closed again.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <type_traits>

#include "platform/Platform.h"
#include "platform/win32/SystemDlls.h"
#include "platform/win32/Text.h"

namespace kelp::win32 {

inline WinError lastErrorOr(WinError fallback = winerr::NoErrorCode) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? static_cast<WinError>(error) : fallback;
}

// body's result, or ERROR_NOT_ENOUGH_MEMORY where it threw (a failed
// allocation of a buffer or a converted text).
template <class F>
auto guardedRun(F&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const std::exception&) {
        using R = decltype(body());
        if constexpr (std::is_same_v<R, WinError>) {
            return ERROR_NOT_ENOUGH_MEMORY;
        } else {
            R result{};
            result.error = ERROR_NOT_ENOUGH_MEMORY;
            return result;
        }
    }
}

// change(printer) on the printer of that name, opened with
// PRINTER_ALL_ACCESS: its error, or OpenPrinter's.
template <class F>
WinError changePrinter(const WinspoolFunctions& spool, const std::string& name, F&& change) {
    return guardedRun([&]() -> WinError {
        std::wstring printerName = widen(name);
        PRINTER_DEFAULTSW defaults{};
        defaults.DesiredAccess = PRINTER_ALL_ACCESS;
        HANDLE printer = nullptr;
        if (!spool.OpenPrinterW(printerName.data(), &printer, &defaults)) return lastErrorOr();
        const WinError error = change(printer);
        spool.ClosePrinter(printer);
        return error;
    });
}

}  // namespace kelp::win32
