// The command line of Kelp.exe as the portable code takes it.
#pragma once

#include <optional>

namespace kelp::win32 {

// With arguments after the program's name: runs the command-line action and
// answers its exit code. Without: nothing, and the wizard runs.
std::optional<int> RunCommandLineFromProcess();

}  // namespace kelp::win32
