#include "install/Session.h"

namespace kelp {

bool WindowsCanBeSeen(Platform& platform) {
    if (!platform.windowStationVisible()) return false;
    const auto session = platform.sessionId();
    if (!session) return false;
    if (*session != 0) return true;
    // Windows XP runs its first user's desktop in session 0 too.
    const auto version = platform.versionQuery(VersionRecordForm::Extended);
    return version.ok() && version.value.major < 6;
}

}  // namespace kelp
