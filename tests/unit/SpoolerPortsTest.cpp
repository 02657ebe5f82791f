#include <gtest/gtest.h>

#include "fake/FakePlatform.h"
#include "install/SpoolerPorts.h"

namespace kelp {
namespace {

const std::string kPrinter = "RK-520P";

void SeedPrinterKeys(FakePlatform& platform) {
    platform.seedKey(RegRoot::LocalMachine, PrintersKey + kPrinter + "\\DsSpooler");
    platform.seedKey(RegRoot::LocalMachine, ControlSet001PrintersKey + kPrinter);
    platform.seedKey(RegRoot::LocalMachine, CurrentControlSetPrintersKey + kPrinter);
}

TEST(SpoolerPortsTest, WritesTheFiveEntriesInOrder) {
    FakePlatform platform;
    SeedPrinterKeys(platform);
    WritePrinterPortKeys(platform, kPrinter, "USB002");
    const std::vector<std::string> ops = platform.ops();
    EXPECT_EQ(ops, (std::vector<std::string>{"regOpenKey", "regSetString", "regCloseKey", "regOpenKey", "regSetString",
                                             "regCloseKey", "regOpenKey", "regSetString", "regCloseKey", "regOpenKey",
                                             "regSetString", "regCloseKey", "regCreateKey", "regSetDword", "regCloseKey"}));
    EXPECT_EQ(platform.regString(RegRoot::LocalMachine, PrintersKey + kPrinter, "Port"), "USB002");
    const auto portName = platform.regValue(RegRoot::LocalMachine, PrintersKey + kPrinter + "\\DsSpooler", "portName");
    ASSERT_TRUE(portName);
    EXPECT_EQ(portName->type, RegSz) << "a single text, not a list of texts";
    EXPECT_EQ(platform.regString(RegRoot::LocalMachine, ControlSet001PrintersKey + kPrinter, "Port"), "USB002");
    EXPECT_EQ(platform.regString(RegRoot::LocalMachine, CurrentControlSetPrintersKey + kPrinter, "Port"), "USB002");
    EXPECT_EQ(platform.regDword(RegRoot::CurrentConfig, CurrentControlSetPrintersKey + kPrinter, "PrinterOnLine"), 0u);
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

TEST(SpoolerPortsTest, CandidatesOnlineCheckAndWindows7) {
    struct Row {
        const char* name;
        OsVersionInfo version;
        std::vector<std::string> candidates;
        bool onlineAfterWrite;
        std::optional<std::string> onlinePort;
        std::vector<int> progress;
        std::size_t passes;
        std::string portLeft;
    };
    const Row rows[] = {
        {"no candidate", {6, 2, 2}, {}, true, std::nullopt, {80}, 0, ""},
        {"Windows 7 writes every candidate", {6, 1, 2}, {"USB001", "USB002", "USB003"}, true, std::nullopt,
         {50, 50, 50, 80}, 3, "USB003"},
        {"online after the first", {6, 2, 2}, {"USB001", "USB002"}, true, "USB001", {50, 70, 80}, 1, "USB001"},
        {"never online", {10, 0, 2}, {"USB001", "USB002"}, false, std::nullopt, {50, 50, 80}, 2, "USB002"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakePlatform platform;
        platform.setVersion(row.version);
        SeedPrinterKeys(platform);
        platform.seedDword(RegRoot::LocalMachine, HardwareProfilePrintersKey + kPrinter, "PrinterOnLine",
                           row.onlineAfterWrite ? 1 : 0);
        std::vector<int> progress;
        const auto online = AdjustSpoolerPorts(platform, kPrinter, row.candidates, [&](int p) { progress.push_back(p); });
        EXPECT_EQ(online, row.onlinePort);
        EXPECT_EQ(progress, row.progress);
        EXPECT_EQ(platform.callsOf("regCreateKey").size(), row.passes);
        const bool windows7 = row.version.major == 6 && row.version.minor == 1;
        EXPECT_EQ(platform.callsOf("regQueryValue").size(), windows7 ? 0u : row.passes);
        if (!row.portLeft.empty())
            EXPECT_EQ(platform.regString(RegRoot::LocalMachine, PrintersKey + kPrinter, "Port"), row.portLeft);
        EXPECT_TRUE(platform.openKeys().empty());
    }
}

}  // namespace
}  // namespace kelp
