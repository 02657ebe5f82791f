// Every platform operation the wizard uses, refused by the machine: always,
// and once at each of its calls in turn, inside complete wizard runs that use
// it. Whatever fails, the wizard must not crash, must not claim success for
// a failed installation, must not go on with a step whose premise failed,
// and must give back every key and printer handle it opened.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "WalkSupport.h"
#include "app/InstallerApp.h"
#include "install/SpoolerPorts.h"
#include "install/PortInventory.h"
#include "res/resource.h"

namespace kelp {
namespace {

constexpr int kRunawayCalls = 2000;  // "always" gives way after this many calls, so a loop ends

const std::map<std::string, WinError> kErrors = {
    {"enumPorts", winerr::AccessDenied},
    {"enumMonitors", winerr::AccessDenied},
    {"addPort", winerr::Cancelled},
    {"configurePort", winerr::InvalidParameter},
    {"enumPrinters", winerr::NotEnoughMemory},
    {"printerDriverDirectory", winerr::InvalidEnvironment},
    {"addPrinterDriver", winerr::AccessDenied},
    {"addPrinter", winerr::InvalidParameter},
    {"closePrinter", winerr::InvalidHandle},
    {"regOpenKey", winerr::AccessDenied},
    {"regCreateKey", winerr::AccessDenied},
    {"regSetString", winerr::AccessDenied},
    {"regSetDword", winerr::AccessDenied},
    {"regQueryValue", winerr::MoreData},
    {"regEnumValue", winerr::AccessDenied},
    {"regCloseKey", winerr::InvalidHandle},
    {"shellOpen", winerr::FileNotFound},
    {"versionQuery", winerr::InvalidParameter},
    {"currentDirectory", winerr::InsufficientBuffer},
    {"copyFile", winerr::AccessDenied},
};

constexpr const char* kNoPortMessage[] = {
    "没有可用于安装打印机的端口。请点击“搜索端口...”，然后选择一个端口。",
    "There is no port to install the printer on. Please click \"Search Port...\", then select a port."};

// A machine with everything the scenarios touch: the package, USB, COM and
// LPT ports, serial devices, the spooler's entries for the printer about to
// be installed, and Windows 8, whose spooler is asked whether the printer is
// online.
void PrepareMachine(FakePlatform& m) {
    m.createSamplePackage();
    m.setVersion({6, 2, 2});
    // Row 1 of the port list is the automatic choice in either list mode, so
    // the ports chosen explicitly sit in other rows.
    m.setPorts({{"USB001", "Virtual printer port for USB"},
                {"USB002", "Virtual printer port for USB"},
                {"COM1:", "Local Port"},
                {"LPT1:", "Local Port"},
                {"FILE:", "Local Port"}});
    m.seedString(RegRoot::LocalMachine, walk::kSerialDeviceKey, "\\Device\\Serial0", "COM1");
    m.seedString(RegRoot::LocalMachine, walk::kSerialDeviceKey, "\\Device\\VCP0", "COM5");
    m.seedKey(RegRoot::CurrentUser, walk::kDeviceKey);
    m.seedKey(RegRoot::LocalMachine, walk::kPortsKey);
    m.seedKey(RegRoot::LocalMachine, walk::kPrintersKey + std::string("RK-520P\\DsSpooler"));
    m.seedKey(RegRoot::LocalMachine, walk::kControlSet001PrintersKey + std::string("RK-520P"));
    m.seedKey(RegRoot::LocalMachine, walk::kCurrentControlSetPrintersKey + std::string("RK-520P"));
    m.seedDword(RegRoot::LocalMachine, walk::kOnlineKey + std::string("RK-520P"), "PrinterOnLine", 0);
    m.addPortCreates("USB003");
}

void ClickRowNamed(FakeDialog& d, const std::string& port) {
    for (int row = 0; row < d.listRowCount(IDC_PORT_LIST); ++row)
        if (d.listCell(IDC_PORT_LIST, row, 0) == port) d.clickListRow(IDC_PORT_LIST, row);
}

// Install, or leave the page when it refuses to install.
void InstallOrCancel(FakeDialog& d) {
    d.click(IDC_PORT_INSTALL);
    if (!d.ended()) d.click(IDC_PORT_CANCEL);
}

struct Scenario {
    const char* name;
    // The port page's actions; the host is there for nested dialogs.
    std::function<void(FakeDialog&, FakeDialogHost&)> port;
};

const Scenario kScenarios[] = {
    {"automatic choice with the spooler adjustment", [](FakeDialog& d, FakeDialogHost&) { InstallOrCancel(d); }},
    {"Search Port, then LPT1:",
     [](FakeDialog& d, FakeDialogHost&) {
         d.click(IDC_PORT_SEARCH);
         ClickRowNamed(d, "LPT1:");
         InstallOrCancel(d);
     }},
    {"Create Port with New Port, then the row it selects",
     [](FakeDialog& d, FakeDialogHost& host) {
         host.onNextShow(IDD_PORT_TYPES, [](FakeDialog& types) {
             types.click(IDC_TYPES_NEW);
             types.click(IDC_TYPES_EXIT);
         });
         d.click(IDC_PORT_CREATE);
         InstallOrCancel(d);
     }},
    {"Configure Port on a label and on COM1:",
     [](FakeDialog& d, FakeDialogHost&) {
         d.click(IDC_PORT_CONFIGURE);
         d.click(IDC_PORT_SEARCH);
         ClickRowNamed(d, "COM1:");
         d.click(IDC_PORT_CONFIGURE);
         InstallOrCancel(d);
     }},
};

// One complete run: the language, the system page with both hidden USB
// driver launchers, the default-printer box and COM1 serial settings, then
// the scenario's port page.
struct WizardRun {
    FakePlatform machine;
    FakeDialogHost host;
    InstallSettings settings;
    std::string exception;

    void go(const Scenario& scenario, int englishFlag) {
        host.onNextShow(IDD_LANGUAGE, [englishFlag](FakeDialog& d) {
            d.selectComboRow(IDC_LANG_LIST, englishFlag);
            d.click(IDC_LANG_CONFIRM);
        });
        host.onNextShow(IDD_SYSTEM, [](FakeDialog& d) {
            d.sendCommand(IDC_SYS_USB_DRIVER, ButtonClicked);
            d.sendCommand(IDC_SYS_USB_DRIVER_X86, ButtonClicked);
            d.click(IDC_SYS_INSTALL);
        });
        host.onNextShow(IDD_PRINTER_SETTINGS, [this, &scenario](FakeDialog& d) {
            d.click(IDC_SET_DEFAULT);
            // The serial lists are hidden from the user: choose COM1 as the page would.
            d.comboSetSelection(IDC_SET_PORT, 3);
            d.sendCommand(IDC_SET_PORT, ComboSelectionChange);
            host.onNextShow(IDD_PORT, [this, &scenario](FakeDialog& port) { scenario.port(port, host); });
            d.click(IDC_SET_NEXT);
            if (!d.ended()) d.click(IDC_SET_EXIT);
        });
        FakeNetwork network;
        FakeSerialPorts serial;
        AppContext context{machine, host, settings, network, serial};
        InstallerApp app(context);
        try {
            app.initInstance();
        } catch (const std::exception& e) {
            exception = e.what();
        }
    }
};

std::vector<std::string> MessagesOf(const FakeDialogHost& host, int templateId) {
    std::vector<std::string> texts;
    for (const auto& m : host.messages())
        if (m.templateId == templateId) texts.push_back(m.text);
    return texts;
}

// What every run must satisfy, whatever failed.
void ExpectSound(const WizardRun& run, const std::string& failedOp, bool installRefusable) {
    const FakePlatform& m = run.machine;
    const int english = run.settings.englishFlag;
    EXPECT_EQ(run.exception, "");
    EXPECT_EQ(run.host.problems(), "");
    EXPECT_EQ(run.settings.settingsPage, nullptr);
    EXPECT_EQ(run.settings.portPage, nullptr);
    EXPECT_LT(m.callsOf(failedOp).size(), static_cast<std::size_t>(kRunawayCalls))
        << failedOp << " is called again and again while it fails";
    walk::ExpectMachineClean(m, 0);

    // A launcher that cannot read the current directory starts nothing.
    std::size_t directories = 0;
    for (const auto& c : m.callsOf("currentDirectory")) directories += c.result == 0;
    EXPECT_EQ(m.callsOf("shellOpen").size(), directories);

    const auto passes = walk::FindPasses(m.calls());
    ASSERT_LE(passes.size(), 1u);
    std::vector<MessageBoxRecord> settingsMessages;
    for (const auto& msg : run.host.messages())
        if (msg.templateId == IDD_PRINTER_SETTINGS) settingsMessages.push_back(msg);
    if (passes.empty()) {
        EXPECT_TRUE(installRefusable) << "the installation did not run";
        EXPECT_TRUE(settingsMessages.empty());
        EXPECT_TRUE(m.printers().empty());
        const auto portMessages = MessagesOf(run.host, IDD_PORT);
        ASSERT_FALSE(portMessages.empty());
        // No port to install on, or the ports that could not be listed.
        const std::string cannotStart[] = {"无法开始安装（错误 5）。\n未安装打印机。",
                                           "The installation could not start (error 5).\nNothing was installed."};
        EXPECT_TRUE(portMessages.back() == kNoPortMessage[english] ||
                    (failedOp == "enumPorts" && portMessages.back() == cannotStart[english]))
            << "the port page tells why it does not install: " << portMessages.back();
        return;
    }
    const walk::Pass& pass = passes.front();
    walk::ExpectPassDependencies(m.calls(), pass);
    const auto printer = m.findPrinter("RK-520P");
    walk::ExpectReport(pass, settingsMessages, english, run.settings.osCode, printer ? printer->portName : "");
    std::size_t registryErrors = 0;
    for (const auto& text : MessagesOf(run.host, IDD_PORT))
        if (text == "错误：无法设置有关的注册表信息") ++registryErrors;
    EXPECT_EQ(registryErrors, static_cast<std::size_t>(pass.registryErrors));
    // The default printer names a printer that is there.
    if (!m.findPrinter("RK-520P")) {
        EXPECT_FALSE(m.regString(RegRoot::CurrentUser, walk::kDeviceKey, "Device"));
    }
}

TEST(FaultInjectionTest, EveryOperationFailingAlwaysOrOnceAtEachCall) {
    std::set<std::string> failedSomewhere;
    int runs = 0;
    for (const Scenario& scenario : kScenarios) {
        for (int english : {0, 1}) {
            SCOPED_TRACE(testing::Message() << scenario.name << (english ? ", English" : ", Chinese"));
            WizardRun clean;
            PrepareMachine(clean.machine);
            clean.go(scenario, english);
            {
                SCOPED_TRACE("nothing failing");
                ExpectSound(clean, "enumPorts", false);
                ASSERT_TRUE(clean.machine.findPrinter("RK-520P"));
                ASSERT_EQ(MessagesOf(clean.host, IDD_PRINTER_SETTINGS).size(), 1u);
            }
            for (const auto& [op, error] : kErrors) {
                const int calls = static_cast<int>(clean.machine.callsOf(op).size());
                if (calls == 0) continue;
                failedSomewhere.insert(op);
                // -1: always; else only the call with that position.
                for (int at = -1; at < calls; ++at) {
                    SCOPED_TRACE(testing::Message()
                                 << op << " failing with " << error
                                 << (at < 0 ? std::string(" always") : " at call " + std::to_string(at)));
                    WizardRun run;
                    PrepareMachine(run.machine);
                    auto count = std::make_shared<int>(0);
                    run.machine.failWhen(
                        op,
                        [count, at](const std::vector<std::string>&) {
                            const int n = (*count)++;
                            return at < 0 ? n < kRunawayCalls : n == at;
                        },
                        error);
                    run.go(scenario, english);
                    ++runs;
                    // Without ports there is nothing to install on.
                    ExpectSound(run, op, op == "enumPorts");
                    if (testing::Test::HasFatalFailure()) return;
                }
            }
        }
    }
    std::printf("fault injection: %d runs\n", runs);
    std::set<std::string> all;
    for (const auto& [op, error] : kErrors) all.insert(op);
    EXPECT_EQ(failedSomewhere, all) << "every operation the wizard uses failed in some run";
}

// The serial-device scan asks for value after value until the registry says
// there are no more. A registry that refuses every value (access denied, a
// key handle gone bad) never says so: the scan must end all the same.
TEST(FaultInjectionTest, SerialDeviceScanEndsWhenTheRegistryRefusesEveryValue) {
    FakePlatform machine;
    machine.seedString(RegRoot::LocalMachine, walk::kSerialDeviceKey, "\\Device\\Serial0", "COM1");
    auto count = std::make_shared<int>(0);
    machine.failWhen(
        "regEnumValue", [count](const std::vector<std::string>&) { return (*count)++ < kRunawayCalls; },
        winerr::AccessDenied);
    std::vector<std::string> devices;
    EXPECT_FALSE(collectSerialDevices(machine, devices));
    EXPECT_TRUE(devices.empty());
    EXPECT_LE(machine.callsOf("regEnumValue").size(), 2u) << "the scan goes on past a refusal that never ends";
    EXPECT_TRUE(machine.openKeys().empty());
}

}  // namespace
}  // namespace kelp
