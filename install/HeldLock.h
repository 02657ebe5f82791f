// The installation lock for the length of one operation: taken when made,
// given back by release() or when the operation is left.
#pragma once

#include "install/RunLog.h"
#include "platform/Platform.h"

namespace kelp {

class HeldLock {
public:
    HeldLock(Platform& platform, RunLog* log) : platform_(platform), mutex_(AcquireInstallationLock(platform, log)) {}
    ~HeldLock() { release(); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    WinError error() const { return mutex_.error; }
    void release() {
        if (mutex_.ok() && mutex_.value != 0) platform_.releaseNamedMutex(mutex_.value);
        mutex_.value = 0;
    }

private:
    Platform& platform_;
    Result<std::uintptr_t> mutex_;
};

}  // namespace kelp
