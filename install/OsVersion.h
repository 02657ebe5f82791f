// The Windows version, classified on two separate scales: the system page's
// radio buttons (OsVersionCode) and the release numbering of the spooler
// registry adjustment (OsReleaseCode). They differ from NT 4.0 on and must
// not be merged.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/Platform.h"

namespace kelp {

using OsVersionCode = std::int32_t;  // 0 = not recognised, 1..9
using OsReleaseCode = std::int32_t;  // -1 = not recognised, 1..12

constexpr std::uint32_t PlatformWin9x = 1;  // VER_PLATFORM_WIN32_WINDOWS
constexpr std::uint32_t PlatformNt = 2;     // VER_PLATFORM_WIN32_NT

// Asks with the extended record first and falls back to the plain one.
std::optional<OsVersionInfo> QueryOsVersion(Platform& platform);

// The code of a version, or nothing where the version is not recognised.
std::optional<OsVersionCode> ClassifyOsVersionCode(const OsVersionInfo& version);
OsReleaseCode ClassifyOsReleaseCode(const OsVersionInfo& version);

OsReleaseCode GetOsReleaseCode(Platform& platform);

}  // namespace kelp
