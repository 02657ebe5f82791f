// Kelp.exe: restricts DLL loading to the system folder, registers the common
// control classes the dialog templates use, then hands over to the application, whose pages run their own modal loops.
// There is no main window and no message loop here: the process ends when
// the last page has closed.

#include <windows.h>

#include <cstdlib>
#include <exception>
#include <string>

#include "app/AppContext.h"
#include "app/InstallSettings.h"
#include "app/InstallerApp.h"
#include "install/RunLog.h"
#include "platform/win32/CommandLineEntry.h"
#include "platform/win32/SystemDlls.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Dialog.h"
#include "platform/win32/Win32Platform.h"

namespace {

// Without this the templates' list views and progress bars have no window
// class, and DialogBoxParamW fails with -1. ICC_STANDARD_CLASSES covers the
// buttons, edits and combo boxes of common controls 6 (the manifest's).
bool registerControlClasses() {
    const auto& controls = kelp::win32::comctl32();
    if (!controls.InitCommonControlsEx) return false;
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof(classes);
    classes.dwICC =
        ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
    return controls.InitCommonControlsEx(&classes) != FALSE;
}

void reportFatal(const char* reason) noexcept {
    try {
        std::wstring line = L"Kelp: stopped: ";
        line += kelp::win32::widen(reason ? reason : "unknown exception");
        line += L"\n";
        OutputDebugStringW(line.c_str());
    } catch (...) {
        OutputDebugStringW(L"Kelp: stopped\n");
    }
}

}  // namespace

// The C++ runtime's own std::terminate handler writes the exception's
// demangled type name to stderr, which a GUI program does not have, and
// links the whole demangler for it (about 50 KB). wWinMain catches every
// exception; terminate is reached only from one leaving a noexcept function,
// and then the process ends at once. Defined here, the library's is not linked.
#ifdef __GLIBCXX__
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
    // Before anything loads a DLL: Kelp.exe imports only known DLLs, which
    // Windows takes from the system folder whatever the search order says.
    if (!kelp::win32::restrictDllSearch())
        OutputDebugStringW(L"Kelp: SetDefaultDllDirectories unavailable; system DLLs loaded by full path\n");

    // With arguments Kelp.exe runs one command-line action and no page.
    if (const auto exitCode = kelp::win32::RunCommandLineFromProcess()) return *exitCode;

    if (!registerControlClasses()) OutputDebugStringW(L"Kelp: InitCommonControlsEx failed\n");

    // Page handlers' exceptions are caught by the dialog procedure; this
    // catches what escapes the sequence between pages, so that the process
    // ends with a report instead of std::terminate.
    try {
        kelp::win32::Win32Platform machine;
        // The wizard's steps go to the same log as the command line's.
        const auto codePage = machine.activeCodePage();
        const int englishFlag = codePage == 936 || codePage == 950 ? 0 : 1;
        kelp::RunLog log(machine, kelp::DefaultLogPath(machine), englishFlag);
        log.line("Kelp 4.0 wizard (user " + machine.userName() + ")");
        kelp::LoggingPlatform platform(machine, log, englishFlag);
        kelp::Win32DialogHost host(instance);
        kelp::InstallSettings settings;
        kelp::AppContext context{platform, host, settings, &log};
        kelp::InstallerApp app(context);
        app.initInstance();  // false: no message loop follows
        return app.exitCode();
    } catch (const std::exception& e) {
        reportFatal(e.what());
        return 1;
    } catch (...) {
        reportFatal(nullptr);
        return 1;
    }
    return 0;
}
