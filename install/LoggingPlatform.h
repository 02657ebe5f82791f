// The logging decorator: stands in front of the real Platform, hands every
// call on and writes to the run's log each step that changes the machine,
// and each step that failed, with its Windows error code and the system's
// text for it.
#pragma once

#include <string>

#include "platform/ForwardingPlatform.h"
#include "platform/HandleMap.h"

namespace kelp {

class RunLog;

class LoggingPlatform final : public ForwardingPlatform {
public:
    // language chooses the language of the system's error texts; it is
    // the log's (RunLog::setLanguage changes it for both).
    LoggingPlatform(Platform& inner, RunLog& log, Language language);

    // Every operation the list marks as logged: a missing definition fails
    // the link.
    KELP_PLATFORM_OPERATIONS(KELP_PLATFORM_LOGGED_OVERRIDE)

private:
    // "step <what>: <error>[ <text>]"; always for a change, only on failure
    // for a query.
    WinError step(const std::string& what, WinError error, bool change = true);
    std::string keyName(RegKey key) const;

    RunLog& log_;
    HandleMap<std::string> keys_;  // open keys: "HKLM\path"
    HandleMap<std::string> printers_;
};

}  // namespace kelp
