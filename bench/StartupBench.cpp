// bench_startup.exe <runs> <label> <program> <caption> [<label> <program> <caption>]...
//
// Times each program from CreateProcessW to its first dialog being shown: a
// visible top-level "#32770" window with the given caption that belongs to
// the new process, looked for with FindWindowExW every millisecond. Then it
// ends the program as the Cancel button would (WM_COMMAND IDCANCEL, WM_CLOSE
// if that is not enough) and waits for the process to end before the next
// start; a program that then ends with an exit code other than 0 fails the
// run. The programs take turns; one start of each comes first and is not
// counted (it fills the file cache and Wine's font cache).
//
// The programs start in this program's current directory. Prints one
// "startup" line per program (see BenchSupport.h); exit code 1 when any
// start failed or a program did not end when asked.
#include <windows.h>

#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

constexpr const char* kProgram = "bench_startup";
constexpr double kShowTimeoutMs = 30000;
constexpr DWORD kEndTimeoutMs = 10000;

struct Target {
    std::wstring label;
    std::wstring program;
    std::wstring caption;
    std::vector<double> samples;
};

HWND shownDialogOf(DWORD processId, const wchar_t* caption) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, L"#32770", caption)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) return window;
    }
    return nullptr;
}

// Asks the program to end as a user would, and waits for it.
bool endProgram(const PROCESS_INFORMATION& process, HWND window, const Target& target) {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (WaitForSingleObject(process.hProcess, kEndTimeoutMs) == WAIT_OBJECT_0) return true;
    if (const HWND still = shownDialogOf(process.dwProcessId, target.caption.c_str())) PostMessageW(still, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, kEndTimeoutMs) == WAIT_OBJECT_0) return true;
    bench::complain(kProgram, bench::utf8(target.label) + " did not end when asked; terminated");
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, kEndTimeoutMs);
    return false;
}

// One start; the time to the first shown dialog in ms, or a negative value.
double timeOneStart(const Target& target) {
    std::wstring commandLine = L"\"" + target.program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};

    bench::Stopwatch clock;
    if (!CreateProcessW(target.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        bench::complain(kProgram, "cannot start " + bench::utf8(target.program) + " (error " +
                                      std::to_string(GetLastError()) + ")");
        return -1;
    }
    HWND window = nullptr;
    double elapsed = 0;
    for (;;) {
        window = shownDialogOf(process.dwProcessId, target.caption.c_str());
        elapsed = clock.elapsedMs();
        if (window) break;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
            bench::complain(kProgram, bench::utf8(target.label) + " ended before showing its dialog");
            elapsed = -1;
            break;
        }
        if (elapsed > kShowTimeoutMs) {
            bench::complain(kProgram, bench::utf8(target.label) + " showed no dialog within 30 s");
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, kEndTimeoutMs);
            elapsed = -1;
            break;
        }
        Sleep(1);
    }
    if (window) {
        DWORD exitCode = 0;
        if (!endProgram(process, window, target)) {
            elapsed = -1;
        } else if (GetExitCodeProcess(process.hProcess, &exitCode) && exitCode != 0) {
            bench::complain(kProgram, bench::utf8(target.label) + " ended with exit code " + std::to_string(exitCode));
            elapsed = -1;
        }
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5 || (argc - 2) % 3 != 0) {
        bench::complain(kProgram, "usage: bench_startup <runs> <label> <program> <caption> [...]");
        return 2;
    }
    const int runs = bench::positiveArgument(argv[1], 10);
    std::vector<Target> targets;
    for (int i = 2; i + 2 < argc; i += 3) targets.push_back({argv[i], argv[i + 1], argv[i + 2], {}});

    bool failed = false;
    for (const Target& target : targets) {
        if (timeOneStart(target) < 0) failed = true;  // the start that is not counted
    }
    for (int run = 0; run < runs && !failed; ++run) {
        for (Target& target : targets) {
            const double ms = timeOneStart(target);
            if (ms < 0) {
                failed = true;
                break;
            }
            target.samples.push_back(ms);
        }
    }
    if (failed) return 1;
    for (const Target& target : targets) bench::report("startup", bench::utf8(target.label), target.samples);
    return 0;
}
