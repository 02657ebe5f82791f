// Runs one command-line action without any page and answers its exit code,
// in the Windows Installer conventions deployment tools understand.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kelp {

namespace exitcode {
constexpr int Success = 0;
constexpr int InvalidCommandLine = 87;      // ERROR_INVALID_PARAMETER
constexpr int InstallFailure = 1603;        // ERROR_INSTALL_FAILURE
constexpr int AlreadyRunning = 1618;        // ERROR_INSTALL_ALREADY_RUNNING
}  // namespace exitcode

// The mutex every installation, removal and test receipt holds, the
// wizard's Install too.
constexpr const char* InstallationMutexName = "Global\\Kelp.Installation";

// The log's file name in the user's temporary folder, for a run that names
// no log of its own.
constexpr const char* DefaultLogName = "Kelp.log";
std::string DefaultLogPath(Platform& platform);

// arguments: the command line's arguments after the program's name. The
// driver package is the folder of Kelp.exe.
int RunCommandLine(Platform& platform, const std::vector<std::string>& arguments);

}  // namespace kelp
