// The fake's own semantics that the page and installer tests rely on.
#include "fake/FakePlatform.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kelp {
namespace {

using Args = std::vector<std::string>;

const char* const DriverDir = "C:\\windows\\system32\\spool\\drivers\\w32x86";

DriverInfo3 sampleDriver(const std::string& name, const std::string& environment = "Windows NT x86") {
    DriverInfo3 d;
    d.version = 2;
    d.name = name;
    d.environment = environment;
    d.driverPath = std::string(DriverDir) + "\\uniDRV.DLL";
    d.dataFile = std::string(DriverDir) + "\\RK520P.GPD";
    d.configFile = std::string(DriverDir) + "\\uniDRVui.DLL";
    d.helpFile = std::string(DriverDir) + "\\uniDRV.HLP";
    d.dependentFiles = std::string("\\ttfsub.GPD\0RK520P.DLL\0\0", 25);
    d.defaultDataType = "RAW";
    return d;
}

PrinterInfo2 samplePrinter(const std::string& name, const std::string& driver) {
    return {name, "USB001", driver, "WinPrint", "RAW"};
}

// Each operation, told to fail once, answers the error and leaves the
// machine as it was; the next call of it succeeds and changes it.
TEST(FakePlatformTest, InjectedFailureChangesNothing) {
    struct Case {
        const char* op;
        std::function<WinError(FakePlatform&, RegKey)> act;
        std::function<bool(const FakePlatform&)> changed;
    };
    const std::vector<Case> cases = {
        {"copyFile",
         [](FakePlatform& p, RegKey) { return p.copyFile("a.txt", "C:\\Kelp\\b.txt", false); },
         [](const FakePlatform& p) { return p.fileExists("C:\\Kelp\\b.txt"); }},
        {"addPrinterDriver",
         [](FakePlatform& p, RegKey) { return p.addPrinterDriver(sampleDriver("RK-520P")); },
         [](const FakePlatform& p) { return p.findDriver("Windows NT x86", "RK-520P").has_value(); }},
        {"addPrinter",
         [](FakePlatform& p, RegKey) { return p.addPrinter(samplePrinter("Seeded2", "Seeded")).error; },
         [](const FakePlatform& p) { return p.printers().size() == 2 && p.openPrinterCount() == 1; }},
        {"addPort",
         [](FakePlatform& p, RegKey) { return p.addPort(7, "Local Port"); },
         [](const FakePlatform& p) { return p.ports().size() == 9; }},
        {"regCreateKey",
         [](FakePlatform& p, RegKey) { return p.regCreateKey(RegRoot::CurrentConfig, "A\\B").error; },
         [](const FakePlatform& p) { return p.keyExists(RegRoot::CurrentConfig, "a\\b") && p.openKeys().size() == 2; }},
        {"regSetString",
         [](FakePlatform& p, RegKey k) { return p.regSetString(k, "Device", "x"); },
         [](const FakePlatform& p) { return p.regString(RegRoot::CurrentUser, "K", "Device") == "x"; }},
        {"regCloseKey",
         [](FakePlatform& p, RegKey k) { return p.regCloseKey(k); },
         [](const FakePlatform& p) { return p.openKeys().empty(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.op);
        FakePlatform p;
        p.writeFile("a.txt", "data");
        ASSERT_TRUE(p.addPrinterDriver(sampleDriver("Seeded")) == winerr::Success);
        p.seedPrinter(samplePrinter("Seeded", "Seeded"));
        p.addPortCreates("NUL:");
        p.seedKey(RegRoot::CurrentUser, "K");
        const RegKey key = p.regOpenKey(RegRoot::CurrentUser, "K", RegAccess::AllAccess).value;
        ASSERT_NE(key, RegKey{0});

        p.failNext(c.op, winerr::AccessDenied);
        EXPECT_EQ(c.act(p, key), winerr::AccessDenied);
        EXPECT_FALSE(c.changed(p));
        EXPECT_EQ(p.calls().back().result, winerr::AccessDenied);

        EXPECT_EQ(c.act(p, key), winerr::Success);
        EXPECT_TRUE(c.changed(p));
    }
}

TEST(FakePlatformTest, FailureRulesApplyByOrderAndArguments) {
    FakePlatform p;
    p.writeFile("a", "1");
    p.failWhen("copyFile", [](const Args& a) { return a[1].find("TTFSUB") != std::string::npos; }, winerr::AccessDenied);
    EXPECT_EQ(p.copyFile("a", "C:\\Kelp\\uniDRV.DLL", false), winerr::Success);
    EXPECT_EQ(p.copyFile("a", "C:\\Kelp\\TTFSUB.GPD", false), winerr::AccessDenied);
    EXPECT_EQ(p.copyFile("a", "C:\\Kelp\\TTFSUB.GPD", false), winerr::AccessDenied);  // a rule stays

    p.failNext("copyFile", winerr::NotEnoughMemory, 2);
    p.failAlways("copyFile", winerr::PathNotFound);
    EXPECT_EQ(p.copyFile("a", "C:\\Kelp\\TTFSUB.GPD", false), winerr::NotEnoughMemory);
    EXPECT_EQ(p.copyFile("a", "C:\\Kelp\\x", false), winerr::NotEnoughMemory);
    EXPECT_EQ(p.copyFile("a", "C:\\Kelp\\TTFSUB.GPD", false), winerr::AccessDenied);
    EXPECT_EQ(p.copyFile("a", "C:\\Kelp\\x", false), winerr::PathNotFound);
    p.clearFailures();
    EXPECT_EQ(p.copyFile("a", "C:\\Kelp\\x", false), winerr::Success);

    EXPECT_THROW(p.failNext("CopyFile", winerr::AccessDenied), std::invalid_argument);
    EXPECT_THROW(p.failAlways("sleep", winerr::AccessDenied), std::invalid_argument);
}

TEST(FakePlatformTest, RegistryValueLimits) {
    FakePlatform p;
    const std::string serial = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
    p.seedString(RegRoot::LocalMachine, serial, "\\Device\\Serial0", "COM1");
    p.seedString(RegRoot::LocalMachine, serial, std::string(127, 'n'), "COM2");
    p.seedString(RegRoot::LocalMachine, serial, "\\Device\\Serial1", std::string(127, 'd'));
    p.seedString(RegRoot::LocalMachine, serial, "\\Device\\端口", "COM3");
    const auto key = p.regOpenKey(RegRoot::LocalMachine, "hardware\\devicemap\\serialcomm", RegAccess::Read);
    ASSERT_TRUE(key.ok());

    struct Case {
        std::uint32_t index;
        std::size_t maxName, maxData;
        WinError error;
        std::string name;
    };
    const std::vector<Case> cases = {
        {0, 128, 128, winerr::Success, "\\Device\\Serial0"},
        {0, 128, 5, winerr::Success, "\\Device\\Serial0"},  // "COM1" and its zero
        {0, 128, 4, winerr::MoreData, ""},
        {0, 16, 128, winerr::Success, "\\Device\\Serial0"},  // 15 characters and the zero
        {0, 15, 128, winerr::MoreData, ""},
        {1, 128, 128, winerr::Success, std::string(127, 'n')},
        {1, 127, 128, winerr::MoreData, ""},
        {2, 128, 128, winerr::Success, "\\Device\\Serial1"},  // 127 characters and the zero
        {2, 128, 127, winerr::MoreData, ""},
        {3, 11, 128, winerr::Success, "\\Device\\端口"},  // counted in UTF-16 units
        {4, 128, 128, winerr::NoMoreItems, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "index " << c.index << " limits " << c.maxName << "/" << c.maxData);
        const auto entry = p.regEnumValue(key.value, c.index, c.maxName, c.maxData);
        EXPECT_EQ(entry.error, c.error);
        EXPECT_EQ(entry.value.name, c.name);
    }
    EXPECT_EQ(p.regEnumValue(key.value, 0, 128, 128).value.data, std::string("COM1\0", 5));

    const auto value = p.regQueryValue(key.value, "\\DEVICE\\serial0", 5);
    EXPECT_EQ(value.error, winerr::Success);
    EXPECT_EQ(value.value.type, RegSz);
    EXPECT_EQ(p.regQueryValue(key.value, "\\Device\\Serial0", 4).error, winerr::MoreData);
    EXPECT_EQ(p.regQueryValue(key.value, "missing", 50).error, winerr::FileNotFound);
    EXPECT_EQ(p.regSetString(key.value, "x", "y"), winerr::AccessDenied);  // opened for reading
    EXPECT_EQ(p.regCloseKey(key.value), winerr::Success);
}

TEST(FakePlatformTest, RegistryWritesAndKeyLifetimes) {
    FakePlatform p;
    EXPECT_EQ(p.regOpenKey(RegRoot::LocalMachine, "SOFTWARE\\Missing", RegAccess::SetValue).error,
              winerr::FileNotFound);
    EXPECT_EQ(p.regOpenKey(RegRoot::LocalMachine, "\\SOFTWARE", RegAccess::SetValue).error, winerr::BadPathname);

    const auto created = p.regCreateKey(RegRoot::CurrentConfig, "SYSTEM\\CurrentControlSet\\Printers\\RK-520P");
    ASSERT_TRUE(created.ok());
    EXPECT_EQ(p.regSetDword(created.value, "PrinterOnLine", 0x01020304), winerr::Success);
    EXPECT_EQ(p.regSetString(created.value, "Port", "USB001"), winerr::Success);
    EXPECT_EQ(p.regValue(RegRoot::CurrentConfig, "system\\currentcontrolset\\printers\\rk-520p", "printeronline")->data,
              std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(p.regValue(RegRoot::CurrentConfig, "SYSTEM\\CurrentControlSet\\Printers\\RK-520P", "Port")->data,
              std::string("USB001\0", 7));
    EXPECT_EQ(p.callsOf("regSetString").at(0),
              (PlatformCall{"regSetString",
                            {"HKCC\\SYSTEM\\CurrentControlSet\\Printers\\RK-520P", "Port", "USB001", "7"}}));

    const auto other = p.regOpenKey(RegRoot::CurrentConfig, "SYSTEM", RegAccess::QueryValue);
    ASSERT_TRUE(other.ok());
    EXPECT_EQ(p.openKeys().size(), 2u);
    EXPECT_EQ(p.regCloseKey(created.value), winerr::Success);
    EXPECT_EQ(p.openKeys(), (std::vector<std::string>{"HKCC\\SYSTEM"}));  // the leak
    EXPECT_TRUE(p.invalidKeyUses().empty());

    EXPECT_EQ(p.regCloseKey(created.value), winerr::InvalidHandle);
    EXPECT_EQ(p.regSetString(created.value, "Port", "COM1:"), winerr::InvalidHandle);
    EXPECT_EQ(p.regQueryValue(0, "Port", 50).error, winerr::InvalidHandle);
    EXPECT_EQ(p.invalidKeyUses().size(), 3u);
    EXPECT_EQ(p.regString(RegRoot::CurrentConfig, "SYSTEM\\CurrentControlSet\\Printers\\RK-520P", "Port"), "USB001");

    // HKEY_CURRENT_CONFIG is the current hardware profile's key, both ways.
    const std::string profile = "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\";
    EXPECT_EQ(p.regString(RegRoot::LocalMachine, profile + "SYSTEM\\CurrentControlSet\\Printers\\RK-520P", "Port"),
              "USB001");
    p.seedDword(RegRoot::LocalMachine, profile + "Software\\Fonts", "LogPixels", 144);
    const auto fonts = p.regOpenKey(RegRoot::CurrentConfig, "software\\fonts", RegAccess::QueryValue);
    ASSERT_TRUE(fonts.ok());
    EXPECT_EQ(p.regQueryValue(fonts.value, "LogPixels", 4).value.data, std::string("\x90\0\0\0", 4));
    EXPECT_EQ(p.regCloseKey(fonts.value), winerr::Success);
    EXPECT_FALSE(p.keyExists(RegRoot::CurrentConfig, "Hardware Profiles"));
}

TEST(FakePlatformTest, SpoolerRegistration) {
    FakePlatform p;
    EXPECT_EQ(p.printerDriverDirectory("Windows x64").value, "C:\\windows\\system32\\spool\\drivers\\x64");
    EXPECT_EQ(p.printerDriverDirectory("Windows IA64").error, winerr::InvalidEnvironment);
    EXPECT_EQ(p.addPrinterDriver(sampleDriver("RK-520P", "Windows IA64")), winerr::InvalidEnvironment);

    struct Case {
        const char* what;
        PrinterInfo2 printer;
        WinError error;
    };
    const std::vector<Case> cases = {
        {"unknown driver", samplePrinter("RK-520P", "RK-520P"), winerr::UnknownPrinterDriver},
        {"driver added", samplePrinter("RK-520P", "RK-520P"), winerr::Success},
        {"same name again", samplePrinter("rk-520p", "RK-520P"), winerr::PrinterAlreadyExists},
        {"empty name", samplePrinter("", "RK-520P"), winerr::InvalidPrinterName},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.error == winerr::Success) {
            ASSERT_EQ(p.addPrinterDriver(sampleDriver("RK-520P")), winerr::Success);
        }
        const auto added = p.addPrinter(c.printer);
        EXPECT_EQ(added.error, c.error);
        EXPECT_EQ(added.value != 0, c.error == winerr::Success);
        if (added.ok()) {
            EXPECT_EQ(p.closePrinter(added.value), winerr::Success);
        }
    }
    EXPECT_EQ(p.printers().size(), 1u);
    EXPECT_EQ(p.closePrinter(0), winerr::InvalidHandle);
    EXPECT_EQ(p.openPrinterCount(), 0u);

    // On 64-bit Windows the printer takes its driver from "Windows x64".
    p.setWow64Answer(1);
    EXPECT_EQ(p.addPrinter(samplePrinter("Second", "RK-520P")).error, winerr::UnknownPrinterDriver);
    ASSERT_EQ(p.addPrinterDriver(sampleDriver("RK-520P", "Windows x64")), winerr::Success);
    EXPECT_EQ(p.addPrinter(samplePrinter("Second", "RK-520P")).error, winerr::Success);

    const auto recorded = p.callsOf("addPrinterDriver").at(1);
    EXPECT_EQ(recorded.args.size(), 10u);
    EXPECT_EQ(recorded.args.at(7), std::string("\\ttfsub.GPD\0RK520P.DLL\0\0", 25));
}

TEST(FakePlatformTest, PortDialogs) {
    FakePlatform p;
    p.addPortCreates("COM9:");
    p.addPortCreates("com9:");
    p.addPortAnswers(winerr::AccessDenied);
    EXPECT_EQ(p.addPort(5, "Standard TCP/IP Port"), winerr::InvalidParameter);  // not installed
    EXPECT_EQ(p.addPort(5, "Local Port"), winerr::Success);
    EXPECT_EQ(p.addPort(5, "Local Port"), winerr::Cancelled);  // exists already
    EXPECT_EQ(p.addPort(5, "Local Port"), winerr::AccessDenied);
    EXPECT_EQ(p.addPort(5, "Local Port"), winerr::Cancelled);  // nothing scripted
    EXPECT_EQ(p.ports().size(), 9u);
    EXPECT_EQ(p.ports().back().name, "COM9:");

    EXPECT_EQ(p.configurePort(5, "COM9:"), winerr::Success);
    EXPECT_EQ(p.configurePort(5, "USB"), winerr::Cancelled);
    p.setConfigurePortAnswer("LPT1:", winerr::AccessDenied);
    EXPECT_EQ(p.configurePort(5, "lpt1:"), winerr::AccessDenied);
}

TEST(FakePlatformTest, CopyFile) {
    struct Case {
        const char* what;
        std::string source;
        std::string destination;
        bool failIfExists;
        WinError error;
    };
    const std::vector<Case> cases = {
        {"relative source", "Printer Driver\\x86\\uniDRV.DLL", "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\uniDRV.DLL",
         false, winerr::Success},
        {"overwrite", "printer driver/X86/UNIDRV.DLL", "C:\\old.dll", false, winerr::Success},
        {"fail if exists", "Printer Driver\\x86\\uniDRV.DLL", "C:\\old.dll", true, winerr::FileExists},
        {"missing file", "Printer Driver\\x86\\none.DLL", "C:\\new.dll", false, winerr::FileNotFound},
        {"missing source folder", "Printer Driver\\arm\\uniDRV.DLL", "C:\\new.dll", false, winerr::PathNotFound},
        {"missing destination folder", "Printer Driver\\x86\\uniDRV.DLL", "C:\\nowhere\\uniDRV.DLL", false,
         winerr::PathNotFound},
        {"bare backslash lands on the root", "Printer Driver\\x86\\uniDRV.DLL", "\\uniDRV.DLL", false,
         winerr::Success},
        {"too long", "Printer Driver\\x86\\uniDRV.DLL", "C:\\" + std::string(257, 'x'), false,
         winerr::FilenameExcedRange},
    };
    FakePlatform p;
    p.createSamplePackage();
    p.writeFile("C:\\old.dll", "old");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(p.copyFile(c.source, c.destination, c.failIfExists), c.error);
    }
    EXPECT_EQ(p.fileContents("C:\\windows\\system32\\spool\\drivers\\w32x86\\unidrv.dll"),
              p.fileContents("C:\\Kelp\\Printer Driver\\x86\\uniDRV.DLL"));
    EXPECT_EQ(p.fileContents("C:\\OLD.DLL"), p.fileContents("C:\\Kelp\\Printer Driver\\x86\\uniDRV.DLL"));
    EXPECT_FALSE(p.fileExists("C:\\new.dll"));
    EXPECT_TRUE(p.fileExists("C:\\uniDRV.DLL"));
}

TEST(FakePlatformTest, SystemQueries) {
    FakePlatform p;
    p.setCurrentDirectory("C:\\驱动");  // 5 UTF-16 units in 9 bytes
    EXPECT_EQ(p.currentDirectory(6).value, "C:\\驱动");
    EXPECT_EQ(p.currentDirectory(5).error, winerr::InsufficientBuffer);

    p.setVersionFormFails(VersionRecordForm::Extended);
    EXPECT_EQ(p.versionQuery(VersionRecordForm::Extended).error, winerr::InsufficientBuffer);
    EXPECT_EQ(p.versionQuery(VersionRecordForm::Plain).value.minor, 1u);

    p.createSamplePackage();
    EXPECT_EQ(p.shellOpen("C:\\驱动\\USB Driver\\x86\\dpinstx86.exe"), winerr::Success);
    EXPECT_EQ(p.shellOpen("C:\\驱动\\USB Driver\\x64\\setup.exe"), winerr::FileNotFound);
    EXPECT_EQ(p.shellOpen("C:\\驱动\\USBdriver\\x64\\dpinst.exe"), winerr::PathNotFound);
    EXPECT_EQ(p.launchedPrograms(), (std::vector<std::string>{"C:\\驱动\\USB Driver\\x86\\dpinstx86.exe"}));

    p.sleep(500);
    p.debugOutput("COM1:\n");
    EXPECT_EQ(p.totalSleepMs(), 500u);
    EXPECT_EQ(p.ops(), (std::vector<std::string>{"currentDirectory", "currentDirectory", "versionQuery",
                                                 "versionQuery", "shellOpen", "shellOpen", "shellOpen", "sleep",
                                                 "debugOutput"}));
}

}  // namespace
}  // namespace kelp
