#include <gtest/gtest.h>

#include "fake/FakePlatform.h"
#include "install/SpoolerPorts.h"

namespace kelp {
namespace {

const std::string kPrinter = "RK-520P";
const std::string kPrinterKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\RK-520P";
const std::string kControlSet001Key = "SYSTEM\\ControlSet001\\Control\\Print\\Printers\\RK-520P";
const std::string kCurrentControlSetKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\RK-520P";
// The same key seen through HKEY_CURRENT_CONFIG and from HKEY_LOCAL_MACHINE.
const std::string kOnlineKey =
    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Control\\Print\\Printers\\RK-520P";

void SeedPrinterKeys(FakePlatform& platform) {
    platform.seedKey(RegRoot::LocalMachine, kPrinterKey + "\\DsSpooler");
    platform.seedKey(RegRoot::LocalMachine, kControlSet001Key);
    platform.seedKey(RegRoot::LocalMachine, kCurrentControlSetKey);
}

TEST(SpoolerPortsTest, WritesTheFiveEntriesInOrder) {
    FakePlatform platform;
    SeedPrinterKeys(platform);
    WritePrinterPortKeys(platform, kPrinter, "USB002");
    std::vector<PlatformCall> expected;
    for (const auto& [key, name] : {std::pair<std::string, std::string>{kPrinterKey, "Port"},
                                    {kPrinterKey + "\\DsSpooler", "portName"},
                                    {kControlSet001Key, "Port"},
                                    {kCurrentControlSetKey, "Port"}}) {
        expected.push_back({"regOpenKey", {"HKLM", key, "SetValue"}});
        expected.push_back({"regSetString", {"HKLM\\" + key, name, "USB002", "7"}});
        expected.push_back({"regCloseKey", {"HKLM\\" + key}});
    }
    expected.push_back({"regCreateKey", {"HKCC", kCurrentControlSetKey}});
    expected.push_back({"regSetDword", {"HKCC\\" + kCurrentControlSetKey, "PrinterOnLine", "0"}});
    expected.push_back({"regCloseKey", {"HKCC\\" + kCurrentControlSetKey}});
    EXPECT_EQ(platform.calls(), expected);
    EXPECT_EQ(platform.regString(RegRoot::LocalMachine, kPrinterKey, "Port"), "USB002");
    const auto portName = platform.regValue(RegRoot::LocalMachine, kPrinterKey + "\\DsSpooler", "portName");
    ASSERT_TRUE(portName);
    EXPECT_EQ(portName->type, RegSz) << "a single text, not a list of texts";
    EXPECT_EQ(platform.regString(RegRoot::LocalMachine, kControlSet001Key, "Port"), "USB002");
    EXPECT_EQ(platform.regString(RegRoot::LocalMachine, kCurrentControlSetKey, "Port"), "USB002");
    EXPECT_EQ(platform.regDword(RegRoot::LocalMachine, kOnlineKey, "PrinterOnLine"), 0u) << "HKCC is the profile's key";
    EXPECT_TRUE(platform.openKeys().empty());
}

TEST(SpoolerPortsTest, MissingKeysArePassedOver) {
    FakePlatform platform;  // a printer the spooler does not know yet
    platform.failAlways("regCreateKey", 1021);  // the current configuration refuses non-volatile keys
    WritePrinterPortKeys(platform, kPrinter, "USB001");
    EXPECT_TRUE(platform.callsOf("regSetString").empty());
    EXPECT_TRUE(platform.callsOf("regSetDword").empty());
    EXPECT_EQ(platform.callsOf("regOpenKey").size(), 4u);
    EXPECT_TRUE(platform.openKeys().empty());
}

// On Windows HKEY_CURRENT_CONFIG is the hardware profile's key that the
// online check reads, so the check reads back the 0 written just before and
// no candidate is ever found online. Only when the current configuration
// refuses the key (1021) does a value already there decide.
TEST(SpoolerPortsTest, CandidatesOnlineCheckAndWindows7) {
    struct Row {
        const char* name;
        OsVersionInfo version;
        std::vector<std::string> candidates;
        bool createRefused;
        std::uint32_t planted;  // PrinterOnLine before the adjustment
        std::optional<std::string> onlinePort;
        std::vector<int> progress;
        std::size_t passes;
        std::string portLeft;
    };
    const Row rows[] = {
        {"no candidate", {6, 2, 2}, {}, false, 1, std::nullopt, {80}, 0, ""},
        {"Windows 7 writes every candidate", {6, 1, 2}, {"USB001", "USB002", "USB003"}, true, 1, std::nullopt,
         {50, 50, 50, 80}, 3, "USB003"},
        {"the check reads back the 0 just written", {6, 2, 2}, {"USB001", "USB002"}, false, 1, std::nullopt,
         {50, 50, 80}, 2, "USB002"},
        {"key refused, planted 1: online after the first", {6, 2, 2}, {"USB001", "USB002"}, true, 1, "USB001",
         {50, 70, 80}, 1, "USB001"},
        {"key refused, planted 0: never online", {10, 0, 2}, {"USB001", "USB002"}, true, 0, std::nullopt,
         {50, 50, 80}, 2, "USB002"},
        {"key refused, planted 2 is not online", {6, 3, 2}, {"USB001"}, true, 2, std::nullopt, {50, 80}, 1, "USB001"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakePlatform platform;
        platform.setVersion(row.version);
        SeedPrinterKeys(platform);
        platform.seedDword(RegRoot::LocalMachine, kOnlineKey, "PrinterOnLine", row.planted);
        if (row.createRefused) platform.failAlways("regCreateKey", 1021);
        std::vector<int> progress;
        const auto online = AdjustSpoolerPorts(platform, kPrinter, row.candidates, [&](int p) { progress.push_back(p); });
        EXPECT_EQ(online, row.onlinePort);
        EXPECT_EQ(progress, row.progress);
        EXPECT_EQ(platform.callsOf("regCreateKey").size(), row.passes);
        const bool windows7 = row.version.major == 6 && row.version.minor == 1;
        const auto queries = platform.callsOf("regQueryValue");
        EXPECT_EQ(queries.size(), windows7 ? 0u : row.passes);
        for (const auto& query : queries)
            EXPECT_EQ(query.args, (std::vector<std::string>{"HKLM\\" + kOnlineKey, "PrinterOnLine", "50"}));
        if (!row.portLeft.empty()) EXPECT_EQ(platform.regString(RegRoot::LocalMachine, kPrinterKey, "Port"), row.portLeft);
        EXPECT_TRUE(platform.openKeys().empty());
    }
}

}  // namespace
}  // namespace kelp
