// The lock every installation, removal and test receipt holds while it
// runs, the wizard's Install too: a mutex only one process can hold.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace kelp {

class RunLog;

// The mutex where Kelp's private namespace cannot be had.
constexpr const char* InstallationMutexName = "Global\\Kelp.Installation";

// Takes the installation lock: the mutex in Kelp's private namespace, or,
// where no such namespace can be made (Windows before Vista, Wine, a run
// without administrator rights), InstallationMutexName, saying so in the log.
// Where the namespace opens, its mutex is the lock: one held elsewhere, or
// one this account may not open, is InstallAlreadyRunning, and any other
// failure is that failure; the global mutex is never taken then.
Result<std::uintptr_t> AcquireInstallationLock(Platform& platform, RunLog* log);

// The lock, taken when made and given back by release() or when the object
// goes, whichever comes first.
class InstallationLock {
public:
    InstallationLock(Platform& platform, RunLog* log)
        : platform_(platform), mutex_(AcquireInstallationLock(platform, log)) {}
    ~InstallationLock() { release(); }
    InstallationLock(const InstallationLock&) = delete;
    InstallationLock& operator=(const InstallationLock&) = delete;

    // Success when it was taken (a lock given back keeps it).
    WinError error() const { return mutex_.error; }
    // Another run holds it: what every operation reports as busy.
    bool heldElsewhere() const { return mutex_.error == winerr::InstallAlreadyRunning; }
    void release();

private:
    Platform& platform_;
    Result<std::uintptr_t> mutex_;
};

}  // namespace kelp
