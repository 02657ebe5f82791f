// Runs one command-line action without any page and answers its exit code,
// in the Windows Installer conventions deployment tools understand.
#pragma once

#include <string>
#include <vector>

#include "platform/Network.h"
#include "platform/Platform.h"
#include "platform/SerialPort.h"

namespace kelp {

namespace exitcode {
constexpr int Success = 0;
constexpr int InvalidCommandLine = 87;      // ERROR_INVALID_PARAMETER
constexpr int InstallFailure = 1603;        // ERROR_INSTALL_FAILURE
constexpr int AlreadyRunning = 1618;        // ERROR_INSTALL_ALREADY_RUNNING
}  // namespace exitcode

// arguments: the command line's arguments after the program's name. The
// driver package is the folder of Kelp.exe. network is used only by the
// actions that reach a network printer (/install /host, /testprint on a
// TCP/IP port, /find), serialPorts only by /testprint on a COM port.
int RunCommandLine(Platform& platform, Network& network, SerialPorts& serialPorts,
                   const std::vector<std::string>& arguments);

}  // namespace kelp
