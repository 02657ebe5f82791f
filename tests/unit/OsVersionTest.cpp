#include <gtest/gtest.h>

#include <optional>

#include "install/OsVersion.h"

namespace kelp {
namespace {

struct VersionRow {
    std::uint32_t platformId, major, minor;
    std::optional<OsVersionCode> versionCode;  // nothing = osCode left unchanged
    OsReleaseCode releaseCode;
};

// Every row of both classification tables, plus the edges between rows.
const VersionRow kVersionRows[] = {
    {1, 4, 0, 1, 1},                       // Windows 95
    {1, 4, 10, 2, 2},                      // Windows 98
    {1, 4, 90, 2, 3},                      // Windows Me: same code as 98, own release
    {1, 4, 50, std::nullopt, -1},          // 9x with an unknown minor
    {1, 3, 0, std::nullopt, -1},           // 9x family, major not 4
    {1, 5, 0, std::nullopt, -1},
    {2, 3, 51, 3, 4},                      // NT older than 4.0
    {2, 4, 0, 3, 4},                       // NT 4.0
    {2, 5, 0, 4, 5},                       // 2000
    {2, 5, 1, 5, 6},                       // XP
    {2, 5, 2, 6, 7},                       // 2003
    {2, 5, 3, std::nullopt, -1},
    {2, 6, 0, 7, 8},                       // Vista
    {2, 6, 1, 8, 9},                       // 7
    {2, 6, 2, 9, 10},                      // 8 and every later one reporting 6.2
    {2, 6, 3, std::nullopt, 11},           // 8.1 reporting its own version
    {2, 6, 4, std::nullopt, -1},
    {2, 7, 0, std::nullopt, -1},
    {2, 9, 0, std::nullopt, -1},
    {2, 10, 0, std::nullopt, 12},          // 10 and 11
    {2, 10, 5, std::nullopt, 12},
    {2, 11, 0, std::nullopt, -1},
    {0, 6, 1, 4, 5},                       // neither family, whatever the version
    {3, 10, 0, 4, 5},
};

TEST(OsVersionTest, BothScalesOverEveryRow) {
    for (const auto& row : kVersionRows) {
        SCOPED_TRACE(testing::Message() << "platform " << row.platformId << ", " << row.major << "." << row.minor);
        const OsVersionInfo version{row.major, row.minor, row.platformId};
        EXPECT_EQ(ClassifyOsVersionCode(version), row.versionCode);
        EXPECT_EQ(ClassifyOsReleaseCode(version), row.releaseCode);
    }
}

}  // namespace
}  // namespace kelp
