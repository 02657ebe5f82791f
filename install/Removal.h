// Takes a model's printer and driver off the machine: the printer, the
// default printer's value that named it, the driver and the driver's files
// that no other driver of the environment names. The engine operation
// behind the command line's /uninstall, as DriverInstaller is behind
// /install.
#pragma once

#include <string>

#include "install/RunLog.h"
#include "platform/Platform.h"

namespace kelp {

enum class RemovalOutcome {
    NotInstalled,  // neither printer nor driver of that name: nothing changed
    Removed,
    // The printer went, and the spooler still held its driver after a few
    // seconds of asking again: the driver stays until Windows lets it go.
    DriverLeftInUse,
    Failed,  // a step failed; the platform's log names it
    Busy,    // another installation, removal or test receipt holds the lock: nothing changed
    LockFailed,  // the lock could not be taken: nothing changed
    NoAdministrator,  // the process has no administrator rights: nothing was looked up, taken or changed
};

// Under the installation lock, with administrator rights. name is the model's display name (printer
// and driver name). log takes the engine's own lines (none when null); the
// steps themselves are the platform's to log.
RemovalOutcome RemoveModel(Platform& platform, const std::string& name, RunLog* log);

}  // namespace kelp
