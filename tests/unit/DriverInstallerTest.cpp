#include <algorithm>
#include <gtest/gtest.h>

#include "fake/FakePlatform.h"
#include "install/AutomaticPort.h"
#include "install/DriverInstaller.h"
#include "install/Wording.h"
#include "install/ModelCatalogue.h"

namespace kelp {
namespace {

using Calls = std::vector<PlatformCall>;

constexpr const char* kX86Directory = "C:\\windows\\system32\\spool\\drivers\\w32x86";
constexpr const char* kX64Directory = "C:\\windows\\system32\\spool\\drivers\\x64";
constexpr const char* kDeviceKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr const char* kPortsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

class DriverInstallerTest : public testing::Test {
protected:
    DriverInstallerTest() {
        platform.createSamplePackage();
        platform.seedKey(RegRoot::CurrentUser, kDeviceKey);
        platform.seedKey(RegRoot::LocalMachine, kPortsKey);
        platform.clearCalls();
    }

    InstallReport install(const ArchitectureProfile& profile, const PrinterChoices& choices,
                          const std::string& port = "USB001") {
        DriverInstaller installer(platform, [this](int position) { progress.push_back(position); });
        return installer.InstallDriver(profile, choices, port);
    }

    FakePlatform platform;
    std::vector<int> progress;
};

Calls ExpectedCopies(const std::string& common, const std::string& directory, const ModelFiles& files) {
    Calls calls;
    auto copy = [&](const std::string& folder, const std::string& name) {
        calls.push_back({"copyFile", {folder + "\\" + name, directory + "\\" + name, "false"}});
    };
    copy("Printer Driver\\x86", files.library);
    copy("Printer Driver\\x86", files.description);
    for (const char* name : {"uniDRVui.DLL", "uniDRV.DLL", "UNIDRV.HLP", "UNIRES.DLL", "TTFSUB.GPD", "STDNAMES.GPD"})
        copy(common, name);
    return calls;
}

// Every model in both languages and both profiles: the exact calls, the
// driver record field by field, the printer record and the progress.
TEST_F(DriverInstallerTest, ExactCallsForEveryModelLanguageAndProfile) {
    struct Profile {
        const ArchitectureProfile& profile;
        const char* environment;
        const char* commonFolder;
        const char* directory;
        int wow64;
    };
    const Profile profiles[] = {{Profile32Bit, "Windows NT x86", "Printer Driver\\x86", kX86Directory, 0},
                                {Profile64Bit, "Windows x64", "Printer Driver\\x64", kX64Directory, 1}};
    for (const auto& p : profiles) {
        for (const Language language : {Language::Chinese, Language::English}) {
            for (int row = 0; row < 7; ++row) {
                SCOPED_TRACE(testing::Message() << p.environment << (language == Language::English ? " English" : " Chinese") << " row " << row);
                FakePlatform fresh;
                fresh.createSamplePackage();
                fresh.setWow64Answer(p.wow64);
                fresh.clearCalls();
                std::vector<int> positions;
                DriverInstaller installer(fresh, [&](int position) { positions.push_back(position); });
                PrinterChoices choices;
                choices.language = language;
                choices.modelRow = row;
                const InstallReport report = installer.InstallDriver(p.profile, choices, "USB001");
                EXPECT_TRUE(report.succeeded());
                EXPECT_FALSE(report.printerExisted);

                const ModelRow& model = ModelCatalogue::rows()[static_cast<std::size_t>(row)];
                const ModelFiles files = ModelCatalogue::filesFor(model, language);
                const std::string dir = p.directory;
                Calls expected = {{"printerDriverDirectory", {p.environment}}};
                for (auto& call : ExpectedCopies(p.commonFolder, dir, files)) expected.push_back(call);
                const std::string dependents =
                    std::string("\\ttfsub.GPD\0\\unires.DLL\0\\stdnames.GPD\0", 38) + files.library + std::string(2, '\0');
                expected.push_back({"addPrinterDriver",
                                    {"2", model.displayName, p.environment, dir + "\\uniDRV.DLL",
                                     dir + "\\" + files.description, dir + "\\uniDRVui.DLL", dir + "\\uniDRV.HLP",
                                     dependents, "", "RAW"}});
                expected.push_back({"enumPrinters", {}});
                expected.push_back({"addPrinter", {model.displayName, "USB001", model.displayName, "WinPrint", "RAW"}});
                expected.push_back({"enumPrinters", {}});  // read back
                expected.push_back({"closePrinter", {model.displayName}});
                expected.push_back({"sleep", {"500"}});
                EXPECT_EQ(fresh.calls(), expected);
                EXPECT_EQ(positions, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 95, 100}));
                EXPECT_TRUE(fresh.fileExists(dir + "\\" + files.library));
                EXPECT_TRUE(fresh.fileExists(dir + "\\" + files.description));
                ASSERT_TRUE(fresh.findPrinter(model.displayName));
                EXPECT_EQ(fresh.findPrinter(model.displayName).value_or(PrinterInfo2{}).portName, "USB001");
                EXPECT_EQ(fresh.openPrinterCount(), 0u);
            }
        }
    }
}

TEST_F(DriverInstallerTest, DependentFileBytes) {
    const std::string list = DriverInstaller::DependentFiles("RK730PNEW.DLL");
    ASSERT_EQ(list.size(), 38u + 13u + 2u);
    EXPECT_EQ(list.substr(0, 12), std::string("\\ttfsub.GPD\0", 12));
    EXPECT_EQ(list.substr(12, 12), std::string("\\unires.DLL\0", 12));
    EXPECT_EQ(list.substr(24, 14), std::string("\\stdnames.GPD\0", 14));
    EXPECT_EQ(list.substr(38), std::string("RK730PNEW.DLL\0\0", 15));
}

TEST_F(DriverInstallerTest, DefaultPrinterAndPortSettingsValues) {
    struct Row {
        const char* name;
        PrinterChoices choices;
        std::optional<std::string> device;
        std::optional<std::pair<std::string, std::string>> portSetting;
    };
    PrinterChoices defaults;
    PrinterChoices asDefault = defaults;
    asDefault.defaultPrinter = true;
    PrinterChoices com1 = defaults;
    com1.portIndex = 3;
    com1.baudIndex = 4;
    com1.flowControlIndex = 0;
    PrinterChoices com2 = defaults;
    com2.portIndex = 4;
    com2.defaultPrinter = true;
    com2.modelRow = 4;
    PrinterChoices lpt3 = defaults;
    lpt3.portIndex = 2;
    // A COM port row with list rows for baud, data bits, stop bits, parity, flow control.
    const auto com = [](int port, int baud, int dataBits, int stopBits, int parity, int flow) {
        PrinterChoices c;
        c.portIndex = port;
        c.baudIndex = baud;
        c.dataBitsIndex = dataBits;
        c.stopBitsIndex = stopBits;
        c.parityIndex = parity;
        c.flowControlIndex = flow;
        return c;
    };
    using Setting = std::pair<std::string, std::string>;
    const Row rows[] = {
        {"no default, LPT1", defaults, std::nullopt, std::nullopt},
        {"default printer", asDefault, "RK-520P,winspool,USB001", std::nullopt},
        {"COM1 at 9600 without flow control", com1, std::nullopt, Setting{"COM1:", "9600,N,8,1, "}},
        {"COM2 with the defaults", com2, "RK-730P(NEW),winspool,USB001", Setting{"COM2:", "19200,N,8,1,p"}},
        {"LPT3 writes no serial settings", lpt3, std::nullopt, std::nullopt},
        {"COM3, 300, even, 5 bits, 2 stop bits", com(5, 0, 0, 2, 0, 0), std::nullopt, Setting{"COM3:", "300,E,5,2, "}},
        {"COM4, 115200, odd, 7 bits, 1.5 stop bits, XON/XOFF", com(6, 8, 2, 1, 3, 1), std::nullopt,
         Setting{"COM4:", "115200,O,7,1.5,x"}},
        {"COM1, 1200, mark, 6 bits", com(3, 1, 1, 0, 1, 2), std::nullopt, Setting{"COM1:", "1200,M,6,1,p"}},
        {"COM2, 57600, space", com(4, 7, 3, 0, 4, 1), std::nullopt, Setting{"COM2:", "57600,S,8,1,x"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakePlatform fresh;
        fresh.createSamplePackage();
        fresh.seedKey(RegRoot::CurrentUser, kDeviceKey);
        fresh.seedKey(RegRoot::LocalMachine, kPortsKey);
        std::vector<int> positions;
        DriverInstaller installer(fresh, [&](int position) { positions.push_back(position); });
        EXPECT_TRUE(installer.InstallDriver(Profile32Bit, row.choices, "USB001").succeeded());
        EXPECT_EQ(fresh.regString(RegRoot::CurrentUser, kDeviceKey, "Device"), row.device);
        if (row.device) {
            const auto writes = fresh.callsOf("regSetString");
            ASSERT_FALSE(writes.empty());
            EXPECT_EQ(writes[0].args.at(3), std::to_string(row.device->size() + 1));
        }
        if (row.portSetting) {
            EXPECT_EQ(fresh.regString(RegRoot::LocalMachine, kPortsKey, row.portSetting->first), row.portSetting->second);
        }
        // Only a default asked for turns Windows' management of it off, and
        // running programs hear of it, once, without being waited for long.
        EXPECT_EQ(fresh.regDword(RegRoot::CurrentUser, kDeviceKey, "LegacyDefaultPrinterMode"),
                  row.device ? std::optional<std::uint32_t>(1) : std::nullopt);
        const auto broadcasts = fresh.callsOf("broadcastSettingChange");
        const std::vector<PlatformCall> told = {{"broadcastSettingChange", {"windows", "1000"}}};
        EXPECT_EQ(broadcasts, row.device ? told : std::vector<PlatformCall>{});
        EXPECT_EQ(fresh.callsOf("regOpenKey").size(), (row.device ? 2u : 0u) + (row.portSetting ? 1u : 0u));
        EXPECT_TRUE(fresh.openKeys().empty());
        EXPECT_EQ(positions, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 95, 100}));
    }
}

// Each failure is reported with its Windows error; nothing that depends on
// the failed step is attempted, and nothing is claimed as done.
TEST_F(DriverInstallerTest, EveryFailureIsReportedAndStopsWhatDependsOnIt) {
    struct Row {
        const char* name;
        std::function<void(FakePlatform&)> breakIt;
        InstallStep step;
        WinError error;
        std::vector<std::string> notCalled;
        bool registryMessage;
        bool printerInstalled;
        const char* chineseLine;  // the message's line for the failure
        const char* englishLine;
    };
    const Row rows[] = {
        {"driver directory", [](FakePlatform& p) { p.failAlways("printerDriverDirectory", winerr::InvalidEnvironment); },
         InstallStep::DriverDirectory, winerr::InvalidEnvironment, {"copyFile", "addPrinterDriver", "addPrinter"},
         false, false, "无法获取打印机驱动目录：Windows NT x86（错误 1805）",
         "Could not get the printer driver directory for Windows NT x86 (error 1805)"},
        {"a model file missing", [](FakePlatform& p) {
             p.failWhen("copyFile", [](const std::vector<std::string>& a) { return a[0].find("RK520PCN.GPD") != std::string::npos; },
                        winerr::FileNotFound);
         },
         InstallStep::CopyFile, winerr::FileNotFound, {"addPrinterDriver", "addPrinter"}, false, false,
         "无法复制文件：Printer Driver\\x86\\RK520PCN.GPD（错误 2：系统找不到指定的文件）",
         "Could not copy the file Printer Driver\\x86\\RK520PCN.GPD (error 2: 系统找不到指定的文件)"},
        {"a common file denied", [](FakePlatform& p) {
             p.failWhen("copyFile", [](const std::vector<std::string>& a) { return a[0].find("UNIRES") != std::string::npos; },
                        winerr::AccessDenied);
         },
         InstallStep::CopyFile, winerr::AccessDenied, {"addPrinterDriver", "addPrinter"}, false, false,
         "无法复制文件：Printer Driver\\x86\\UNIRES.DLL（错误 5：拒绝访问）",
         "Could not copy the file Printer Driver\\x86\\UNIRES.DLL (error 5: 拒绝访问)"},
        {"driver registration", [](FakePlatform& p) { p.failAlways("addPrinterDriver", winerr::AccessDenied); },
         InstallStep::AddPrinterDriver, winerr::AccessDenied, {"addPrinter", "closePrinter"}, false, false,
         "无法安装打印机驱动：RK-520P（错误 5：拒绝访问）", "Could not install the printer driver RK-520P (error 5: 拒绝访问)"},
        {"printer creation", [](FakePlatform& p) { p.failAlways("addPrinter", winerr::InvalidParameter); },
         InstallStep::AddPrinter, winerr::InvalidParameter, {"closePrinter"}, false, false,
         "无法创建打印机：RK-520P（错误 87：参数错误）", "Could not create the printer RK-520P (error 87: 参数错误)"},
        {"a call that gives no error code", [](FakePlatform& p) { p.failAlways("addPrinter", 0xFFFFFFFFu); },
         InstallStep::AddPrinter, 0xFFFFFFFFu, {"closePrinter"}, false, false, "无法创建打印机：RK-520P（无错误代码）",
         "Could not create the printer RK-520P (no error code)"},
        {"default printer key missing", [](FakePlatform& p) {
             p.failWhen("regOpenKey", [](const std::vector<std::string>& a) { return a[0] == "HKCU"; }, winerr::FileNotFound);
         },
         InstallStep::DefaultPrinter, winerr::FileNotFound, {"regSetDword", "broadcastSettingChange"}, false, true,
         "无法设置默认打印机：Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows（错误 2：系统找不到指定的文件）",
         "Could not make the printer the default printer: Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows "
         "(error 2: 系统找不到指定的文件)"},
        {"default printer write", [](FakePlatform& p) {
             p.failWhen("regSetString", [](const std::vector<std::string>& a) { return a[1] == "Device"; }, winerr::AccessDenied);
         },
         InstallStep::DefaultPrinter, winerr::AccessDenied, {"regSetDword", "broadcastSettingChange"}, true, true,
         "无法设置默认打印机：Device（错误 5：拒绝访问）",
         "Could not make the printer the default printer: Device (error 5: 拒绝访问)"},
        {"port settings write", [](FakePlatform& p) {
             p.failWhen("regSetString", [](const std::vector<std::string>& a) { return a[1] == "COM1:"; }, winerr::AccessDenied);
         },
         InstallStep::PortSettings, winerr::AccessDenied, {}, true, true, "无法保存端口设置：COM1:（错误 5：拒绝访问）",
         "Could not save the port settings of COM1: (error 5: 拒绝访问)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakePlatform fresh;
        fresh.createSamplePackage();
        fresh.seedKey(RegRoot::CurrentUser, kDeviceKey);
        fresh.seedKey(RegRoot::LocalMachine, kPortsKey);
        row.breakIt(fresh);
        fresh.clearCalls();
        DriverInstaller installer(fresh, [](int) {});
        PrinterChoices choices;
        choices.defaultPrinter = true;
        choices.portIndex = 3;
        const InstallReport report = installer.InstallDriver(Profile32Bit, choices, "USB001");
        ASSERT_FALSE(report.succeeded());
        EXPECT_EQ(report.failures.front().step, row.step);
        EXPECT_EQ(report.failures.front().error, row.error);
        for (const auto& op : row.notCalled) EXPECT_TRUE(fresh.callsOf(op).empty()) << op;
        for (const auto& call : fresh.callsOf("copyFile")) EXPECT_NE(call.args[1].front(), '\\') << call.args[1];
        // Only a value that could not be written (its key open) is marked for the wizard's box.
        EXPECT_EQ(std::count_if(report.failures.begin(), report.failures.end(),
                                [](const InstallFailure& f) { return f.valueNotWritten; }),
                  row.registryMessage ? 1 : 0);
        EXPECT_TRUE(fresh.openKeys().empty());
        EXPECT_EQ(fresh.openPrinterCount(), 0u);
        // The COM port's settings do not depend on the driver or the
        // printer; the default printer does. The pause follows every pass.
        const auto writes = fresh.callsOf("regSetString");
        const auto writesOf = [&](const char* name) {
            return std::count_if(writes.begin(), writes.end(), [&](const PlatformCall& c) { return c.args[1] == name; });
        };
        EXPECT_EQ(writesOf("COM1:"), 1);
        if (!row.printerInstalled) {
            EXPECT_EQ(writesOf("Device"), 0);
        }
        EXPECT_EQ(fresh.callsOf("sleep").size(), 1u);
        EXPECT_EQ(report.printerInstalled, row.printerInstalled);

        const std::string english = DescribeInstallReport(report, "RK-520P", Language::English);
        const std::string chinese = DescribeInstallReport(report, "RK-520P", Language::Chinese);
        // The pass ran in Chinese: the system's text comes in Chinese.
        const std::string englishHead = row.printerInstalled
                                            ? "The printer \"RK-520P\" was installed, but these settings could not be made:\n"
                                            : "Driver installation failed:\n";
        const std::string chineseHead = row.printerInstalled ? "打印机“RK-520P”已安装，但以下设置未能完成：\n" : "驱动安装失败：\n";
        EXPECT_EQ(english, englishHead + row.englishLine);
        EXPECT_EQ(chinese, chineseHead + row.chineseLine);
    }
}

TEST_F(DriverInstallerTest, AnExistingPrinterOnThePassPortIsReported) {
    struct Row {
        const char* name;
        int listingFailures;  // enumPrinters calls that fail: 0, the first, all
        unsigned addPrinterCalls;
        const char* device;   // the port Device names
        const char* listedAs = nullptr;  // the spooler's spelling of a printer there before
    };
    const Row rows[] = {
        {"listed by the spooler", 0, 0, "RK-520P,winspool,USB001"},
        {"refused by the spooler, then looked up", 1, 1, "RK-520P,winspool,USB001"},
        // Nothing confirms the printer: not reported as installed.
        {"refused by the spooler, never listed", 1000, 1, nullptr},
        {"listed in other letter case: the same printer", 0, 0, "RK-520P,winspool,USB001", "rk-520p"},
        {"refused, looked up in other letter case", 1, 1, "RK-520P,winspool,USB001", "Rk-520P"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakePlatform fresh;
        fresh.createSamplePackage();
        fresh.seedKey(RegRoot::CurrentUser, kDeviceKey);
        DriverInstaller installer(fresh, [](int) {});
        PrinterChoices choices;
        if (row.listedAs) fresh.seedPrinter({row.listedAs, "USB001", "RK-520P", "WinPrint", "RAW"});
        else ASSERT_TRUE(installer.InstallDriver(Profile32Bit, choices, "USB001").succeeded());
        if (row.listingFailures) fresh.failNext("enumPrinters", winerr::AccessDenied, row.listingFailures);
        fresh.clearCalls();
        choices.defaultPrinter = true;
        const InstallReport second = installer.InstallDriver(Profile32Bit, choices, "USB001");
        EXPECT_EQ(fresh.regString(RegRoot::CurrentUser, kDeviceKey, "Device"),
                  row.device ? std::optional<std::string>(row.device) : std::nullopt);
        if (!row.device) {
            ASSERT_EQ(second.failures.size(), 1u);
            EXPECT_EQ(second.failures[0].step, InstallStep::ReadBack);
            continue;
        }
        EXPECT_TRUE(second.succeeded());
        EXPECT_TRUE(second.printerExisted);
        EXPECT_EQ(fresh.findPrinter("RK-520P").value_or(PrinterInfo2{}).portName, "USB001");
        EXPECT_EQ(fresh.printers().size(), 1u);
        EXPECT_EQ(fresh.callsOf("addPrinterDriver").size(), 1u) << "the driver is updated";
        EXPECT_EQ(fresh.callsOf("addPrinter").size(), row.addPrinterCalls);
        EXPECT_EQ(DescribeInstallReport(second, "RK-520P", Language::English),
                  "The printer \"RK-520P\" already exists: its driver was updated and its port left as it was.");
        EXPECT_EQ(DescribeInstallReport(second, "RK-520P", Language::Chinese), "打印机“RK-520P”已存在：已更新其驱动，端口保持不变。");
    }
    // Said once, with the setting that failed.
    InstallReport failed;
    failed.failures = {{InstallStep::DefaultPrinter, "Device", 5, "拒绝访问"}};
    failed.printerExisted = failed.printerInstalled = true;
    EXPECT_EQ(DescribeInstallReport(failed, "RK-520P", Language::Chinese),
              "打印机“RK-520P”已存在：已更新其驱动，端口保持不变，但以下设置未能完成：\n无法设置默认打印机：Device（错误 5：拒绝访问）");
    failed.existingPort = "USB001";
    failed.movedTo = "COM2:";
    EXPECT_EQ(DescribeInstallReport(failed, "RK-520P", Language::Chinese),
              "打印机“RK-520P”已存在：已更新其驱动，并从 USB001 移到 COM2:，但以下设置未能完成：\n无法设置默认打印机：Device（错误 5：拒绝访问）");
    // The port line after it: moved, in both languages.
    failed.port = "COM2:";
    EXPECT_EQ(DescribePrinterPort(failed, PortRule::OnlyConnected, "RK-520P", Language::Chinese), "端口：COM2:（从 USB001 移来）");
    EXPECT_EQ(DescribePrinterPort(failed, std::nullopt, "RK-520P", Language::English), "Port: COM2: (moved from USB001)");
}

// A named port moves a printer that exists (the command line's choice); a
// printer of the name on another driver is no one's to update or move.
TEST_F(DriverInstallerTest, NamedPortMovesAnExistingPrinterOfTheModel) {
    struct Row {
        const char* name;
        const char* driver;
        const char* device;  // before
        WinError moveFails;
        const char* port;    // after
        const char* deviceAfter;
        const char* english;
        bool firstListingFails = false;
        bool moveIgnored = false;
    };
    const Row rows[] = {
        {"moved, Device follows", "RK-520P", "RK-520P,winspool,USB001", 0, "COM2:", "RK-520P,winspool,COM2:",
         "The printer \"RK-520P\" already existed: its driver was updated and it was moved from USB001 to COM2:."},
        {"moved, Device names another printer", "rk-520p", "Office,winspool,LPT1:", 0, "COM2:", "Office,winspool,LPT1:",
         "moved from USB001 to COM2:."},
        {"moved, Device names a printer whose name begins alike", "RK-520P", "RK-520PW,winspool,LPT1:", 0, "COM2:",
         "RK-520PW,winspool,LPT1:", "moved from USB001 to COM2:."},
        {"the spooler refuses the move", "RK-520P", "RK-520P,winspool,USB001", winerr::AccessDenied, "USB001",
         "RK-520P,winspool,USB001", "Could not move the printer to the port COM2: (error 5"},
        {"another driver", "Generic / Text Only", "RK-520P,winspool,USB001", 0, "USB001", "RK-520P,winspool,USB001",
         "a printer of this name exists and uses the driver \"Generic / Text Only\"."},
        {"moved, the first listing failing", "RK-520P", "RK-520P,winspool,USB001", 0, "COM2:", "RK-520P,winspool,COM2:",
         "moved from USB001 to COM2:.", true},
        {"another driver, the first listing failing", "Generic / Text Only", "", 0, "USB001", "",
         "a printer of this name exists and uses the driver \"Generic / Text Only\".", true},
        {"the spooler says moved and is not", "RK-520P", "RK-520P,winspool,USB001", 0, "USB001", "RK-520P,winspool,USB001",
         "The spooler does not show the printer as installed: RK-520P on USB001, not COM2:", false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakePlatform fresh;
        fresh.createSamplePackage();
        fresh.seedString(RegRoot::CurrentUser, kDeviceKey, "Device", row.device);
        fresh.seedPrinter({"RK-520P", "USB001", row.driver, "WinPrint", "RAW"});
        if (row.moveFails) fresh.failNext("setPrinterPort", row.moveFails);
        if (row.firstListingFails) fresh.failNext("enumPrinters", winerr::AccessDenied);
        fresh.setPrinterPortIgnored(row.moveIgnored);
        DriverInstaller installer(fresh, [](int) {});
        const InstallReport report = installer.InstallDriver(Profile32Bit, PrinterChoices{}, "COM2:");
        EXPECT_EQ(report.succeeded(), std::string(row.port) == "COM2:");
        EXPECT_EQ(fresh.findPrinter("RK-520P").value_or(PrinterInfo2{}).portName, row.port);
        EXPECT_EQ(fresh.regString(RegRoot::CurrentUser, kDeviceKey, "Device"), row.deviceAfter);
        EXPECT_NE(DescribeInstallReport(report, "RK-520P", Language::English).find(row.english), std::string::npos)
            << DescribeInstallReport(report, "RK-520P", Language::English);
    }
}

// A pass with a log writes what it was asked for and what came of it, around
// the steps; the wizard and the command line both give it the run's log.
TEST_F(DriverInstallerTest, TheLogTellsTheChoicesAndTheOutcome) {
    struct Row {
        const char* name;
        std::function<void(FakePlatform&)> breakIt;
        const char* outcome;
    };
    const Row rows[] = {
        {"installed", [](FakePlatform&) {}, "outcome: installed"},
        {"closing the printer fails: no setting of the user's", [](FakePlatform& p) { p.failAlways("closePrinter", 6); },
         "outcome: installed"},
        {"the default printer refused", [](FakePlatform& p) { p.failAlways("regSetString", winerr::AccessDenied); },
         "outcome: printer installed, 2 steps failed"},
        {"no driver directory", [](FakePlatform& p) { p.failAlways("printerDriverDirectory", winerr::AccessDenied); },
         "outcome: failed, 1 step failed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakePlatform fresh;
        fresh.createSamplePackage();
        fresh.seedKey(RegRoot::CurrentUser, kDeviceKey);
        fresh.seedKey(RegRoot::LocalMachine, kPortsKey);
        fresh.setTempDirectory("C:\\users\\kelp\\Temp");
        row.breakIt(fresh);
        RunLog log(fresh, "C:\\users\\kelp\\Temp\\Kelp.log");
        DriverInstaller installer(fresh, [](int) {});
        installer.setLog(&log);
        PrinterChoices choices;
        choices.language = Language::English;
        choices.modelRow = 4;
        choices.defaultPrinter = true;
        choices.portIndex = 3;
        installer.InstallDriver(Profile32Bit, choices, "USB002");
        const std::string text = fresh.fileContents("C:\\users\\kelp\\Temp\\Kelp.log").value_or("");
        EXPECT_NE(text.find("install RK-730P(NEW), English edition, port USB002, default printer, Windows NT x86\r\n"),
                  std::string::npos) << text;
        EXPECT_NE(text.find(std::string(row.outcome) + "\r\n"), std::string::npos) << text;
    }
}

TEST_F(DriverInstallerTest, RefusesWhatDoesNotFit) {
    struct Row {
        const char* name;
        std::optional<std::string> directory;  // nothing: the query fails
        std::string port;
        int modelRow;
        std::optional<InstallStep> step;  // nothing: the pass succeeds
        WinError error;
        std::vector<std::string> notCalled;
    };
    const std::string longDirectory = "C:\\" + std::string(252, 'd');     // 255 characters
    const std::string longestDirectory = "C:\\" + std::string(251, 'd');  // 254 characters
    const std::string nearlyFull = "C:\\" + std::string(243, 'd');        // RK730PNEWCN.GPD's copy would be 262
    const std::string justFits = "C:\\" + std::string(240, 'd');          // RK730PNEWCN.GPD's copy is 259
    const Row rows[] = {
        {"empty port", kX86Directory, "", 0, InstallStep::Choices, winerr::InvalidParameter,
         {"printerDriverDirectory", "copyFile"}},
        {"model outside the catalogue", kX86Directory, "USB001", 7, InstallStep::Choices, winerr::InvalidParameter,
         {"printerDriverDirectory"}},
        {"driver directory too long", longDirectory, "USB001", 0, InstallStep::DriverDirectory,
         winerr::FilenameExcedRange, {"copyFile"}},
        {"empty driver directory", "", "USB001", 0, InstallStep::DriverDirectory, winerr::PathNotFound, {"copyFile"}},
        {"driver directory query fails", std::nullopt, "USB001", 0, InstallStep::DriverDirectory,
         winerr::InvalidEnvironment, {"copyFile"}},
        {"destination path too long", nearlyFull, "USB001", 4, InstallStep::CopyFile, winerr::FilenameExcedRange,
         {"addPrinterDriver"}},
        {"longest driver directory is taken, its copies do not fit", longestDirectory, "USB001", 0,
         InstallStep::CopyFile, winerr::FilenameExcedRange, {"addPrinterDriver"}},
        {"destination of 259 characters fits", justFits, "USB001", 4, std::nullopt, winerr::Success, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakePlatform fresh;
        fresh.createSamplePackage();
        if (row.directory) fresh.setDriverDirectory("Windows NT x86", *row.directory);
        else fresh.failAlways("printerDriverDirectory", winerr::InvalidEnvironment);
        fresh.clearCalls();
        DriverInstaller installer(fresh, [](int) {});
        PrinterChoices choices;
        choices.modelRow = row.modelRow;
        const InstallReport report = installer.InstallDriver(Profile32Bit, choices, row.port);
        if (!row.step) {
            EXPECT_TRUE(report.succeeded());
            EXPECT_TRUE(fresh.fileExists(justFits + "\\RK730PNEWCN.GPD"));
            continue;
        }
        ASSERT_FALSE(report.succeeded());
        EXPECT_EQ(report.failures.front().step, *row.step);
        EXPECT_EQ(report.failures.front().error, row.error);
        for (const auto& op : row.notCalled) EXPECT_TRUE(fresh.callsOf(op).empty()) << op;
        EXPECT_TRUE(fresh.printers().empty());
    }
}

}  // namespace
}  // namespace kelp

namespace kelp {
namespace {

// The log's line of choices names a row the catalogue does not have by its
// number, and an empty port as none.
TEST(DriverInstallerLog, ChoicesOfAnUnknownModel) {
    FakePlatform machine;
    PrinterChoices choices;
    choices.modelRow = 99;
    choices.language = Language::Chinese;
    choices.defaultPrinter = true;
    EXPECT_EQ(DescribeInstallChoices(ProfileForThisMachine(machine), choices, ""),
              "install model 99, Chinese edition, port (none), default printer, Windows NT x86");
}

}  // namespace
}  // namespace kelp
