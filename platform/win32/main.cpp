// Kelp.exe: restricts DLL loading to the system folder, registers the common
// control classes the dialog templates use, then hands over to the application, whose pages run their own modal loops.
// There is no main window and no message loop here: the process ends when
// the last page has closed.

#include <windows.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <string>

#include "app/AppContext.h"
#include "app/InstallSettings.h"
#include "app/InstallerApp.h"
#include "install/LoggingPlatform.h"
#include "install/RunLog.h"
#include "install/Wording.h"
#include "platform/win32/CommandLineEntry.h"
#include "platform/win32/SystemDlls.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Dialog.h"
#include "platform/win32/Win32Network.h"
#include "platform/win32/Win32SerialPorts.h"
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

// The library's throw helpers (a string too long, an index out of range, an
// allocation that failed) build the standard exceptions, whose messages are
// copy-on-write strings: with them come that whole string type and
// std::random_device (about 45 KB). Kelp catches only std::exception and
// reads nothing but what(), which these keep. Defined here, the library's
// are not linked.
namespace {
class LibraryError final : public std::exception {
public:
    explicit LibraryError(const char* what) : what_(what ? what : "library error") {}
    const char* what() const noexcept override { return what_; }

private:
    const char* what_;
};
}  // namespace

namespace std {
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_bad_cast() { throw LibraryError("bad cast"); }
void __throw_bad_typeid() { throw LibraryError("bad typeid"); }
void __throw_bad_exception() { throw LibraryError("bad exception"); }
void __throw_logic_error(const char* what) { throw LibraryError(what); }
void __throw_domain_error(const char* what) { throw LibraryError(what); }
void __throw_invalid_argument(const char* what) { throw LibraryError(what); }
void __throw_length_error(const char* what) { throw LibraryError(what); }
void __throw_out_of_range(const char* what) { throw LibraryError(what); }
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryError(format); }
void __throw_runtime_error(const char* what) { throw LibraryError(what); }
void __throw_range_error(const char* what) { throw LibraryError(what); }
void __throw_overflow_error(const char* what) { throw LibraryError(what); }
void __throw_underflow_error(const char* what) { throw LibraryError(what); }
}  // namespace std
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
        const kelp::Language language = kelp::LanguageForCodePage(machine.activeCodePage());
        kelp::RunLog log(machine, kelp::DefaultLogPath(machine), language);
        // A log beside the one asked for starts with why.
        if (!log.trouble().beside.empty()) log.line(kelp::DescribeLogNotice(log.trouble(), language));
        log.line("Kelp 4.0 wizard (user " + machine.userName() + ")");
        kelp::LoggingPlatform platform(machine, log, language);
        kelp::Win32DialogHost host(instance);
        kelp::InstallSettings settings;
        kelp::win32::Win32Network network;
        kelp::win32::Win32SerialPorts serialPorts;
        kelp::AppContext context{platform, host, settings, network, serialPorts, &log};
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
