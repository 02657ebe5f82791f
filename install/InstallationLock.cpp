#include "install/InstallationLock.h"

#include "install/RunLog.h"

namespace kelp {

Result<std::uintptr_t> AcquireInstallationLock(Platform& platform, RunLog* log) {
    const auto lock = platform.acquirePrivateMutex("Kelp", "Installation");
    if (lock.ok()) return {lock.value.handle, winerr::Success};
    if (lock.value.namespaceOpened) {
        const bool busy = lock.error == winerr::InstallAlreadyRunning || lock.error == winerr::AccessDenied;
        if (busy && log) log->line("another Kelp installation, removal or test receipt holds the lock: nothing done");
        return {0, busy ? winerr::InstallAlreadyRunning : lock.error};
    }
    if (log)
        log->line("no private namespace for the lock (" + ErrorNumber(lock.error, Language::English) + "): the mutex " +
                  InstallationMutexName + " instead");
    const auto named = platform.acquireNamedMutex(InstallationMutexName);
    if (named.error == winerr::InstallAlreadyRunning && log)
        log->line("another Kelp installation, removal or test receipt holds the lock: nothing done");
    return named;
}

void InstallationLock::release() {
    if (mutex_.ok() && mutex_.value != 0) platform_.releaseNamedMutex(mutex_.value);
    mutex_.value = 0;
}

}  // namespace kelp
