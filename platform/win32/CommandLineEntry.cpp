#include "platform/win32/CommandLineEntry.h"

#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <string>
#include <vector>

#include "cli/CommandLineRun.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Network.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32SerialPorts.h"

namespace kelp::win32 {

std::optional<int> RunCommandLineFromProcess() {
    std::vector<std::string> arguments;
    try {
        int count = 0;
        wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
        // Without the arguments nobody can tell a deployment tool's run from a
        // person's; a window that waits for nobody would be worse than failing.
        if (!argv) return exitcode::InstallFailure;
        for (int i = 1; i < count; ++i) arguments.push_back(narrow(argv[i]));
        LocalFree(argv);
    } catch (const std::exception&) {
        return exitcode::InstallFailure;
    }
    if (arguments.empty()) return std::nullopt;
    try {
        Win32Platform platform;
        Win32Network network;
        Win32SerialPorts serialPorts;
        return RunCommandLine(platform, network, serialPorts, arguments);
    } catch (...) {
        OutputDebugStringW(L"Kelp: the command line stopped on an exception\n");
        return exitcode::InstallFailure;
    }
}

}  // namespace kelp::win32
