#include "install/OsVersion.h"

namespace kelp {

std::optional<OsVersionInfo> QueryOsVersion(Platform& platform) {
    auto version = platform.versionQuery(VersionRecordForm::Extended);
    if (!version.ok()) version = platform.versionQuery(VersionRecordForm::Plain);
    if (!version.ok()) return std::nullopt;
    return version.value;
}

std::optional<OsVersionCode> ClassifyOsVersionCode(const OsVersionInfo& v) {
    if (v.platformId == PlatformWin9x) {
        if (v.major != 4) return std::nullopt;
        if (v.minor == 0) return 1;                   // Windows 95
        if (v.minor == 10 || v.minor == 90) return 2;  // Windows 98, Me
        return std::nullopt;
    }
    if (v.platformId == PlatformNt) {
        if (v.major <= 4) return 3;
        if (v.major == 5 && v.minor <= 2) return 4 + static_cast<OsVersionCode>(v.minor);  // 2000, XP, 2003
        if (v.major == 6 && v.minor <= 2) return 7 + static_cast<OsVersionCode>(v.minor);  // Vista, 7, 8
        return std::nullopt;
    }
    return 4;  // neither family
}

OsReleaseCode ClassifyOsReleaseCode(const OsVersionInfo& v) {
    if (v.platformId == PlatformWin9x) {
        if (v.major != 4) return -1;
        switch (v.minor) {
            case 0: return 1;   // Windows 95
            case 10: return 2;  // Windows 98
            case 90: return 3;  // Windows Me
            default: return -1;
        }
    }
    if (v.platformId == PlatformNt) {
        if (v.major <= 4) return 4;
        if (v.major == 5 && v.minor <= 2) return 5 + static_cast<OsReleaseCode>(v.minor);   // 2000, XP, 5.2
        if (v.major == 6 && v.minor <= 3) return 8 + static_cast<OsReleaseCode>(v.minor);   // Vista .. 8.1
        if (v.major == 10) return 12;
        return -1;
    }
    return 5;  // neither family
}

OsReleaseCode GetOsReleaseCode(Platform& platform) {
    auto version = QueryOsVersion(platform);
    return version ? ClassifyOsReleaseCode(*version) : -1;
}

}  // namespace kelp
