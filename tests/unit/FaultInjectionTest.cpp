// Every platform operation that answers an error, refused by the machine:
// always, and once at each of its calls in turn, inside complete wizard runs
// and command-line runs that use it. Whatever fails, the wizard must not crash, must not claim success for
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
#include "cli/CommandLineRun.h"
#include "platform/ForwardingPlatform.h"
#include "install/Wording.h"
#include "install/SpoolerPorts.h"
#include "install/PortInventory.h"
#include "res/resource.h"

namespace kelp {
namespace {

constexpr int kRunawayCalls = 2000;  // "always" gives way after this many calls, so a loop ends

// Every operation that answers an error, as the forwarding base lists them,
// fails with access denied unless an error of its own reads truer.
const std::map<std::string, WinError> kOwnErrors = {
    {"addPort", winerr::Cancelled},          {"configurePort", winerr::InvalidParameter},
    {"enumPrinters", winerr::NotEnoughMemory}, {"printerDriverDirectory", winerr::InvalidEnvironment},
    {"addPrinter", winerr::InvalidParameter}, {"closePrinter", winerr::InvalidHandle},
    {"regQueryValue", winerr::MoreData},     {"regCloseKey", winerr::InvalidHandle},
    {"shellOpen", winerr::FileNotFound},     {"versionQuery", winerr::InvalidParameter},
    {"currentDirectory", winerr::InsufficientBuffer}, {"getJob", winerr::InvalidParameter},
    {"addTcpIpPort", 183},
};

std::map<std::string, WinError> FailableOps() {
    std::map<std::string, WinError> ops;
    for (const auto& info : kPlatformOps) {
        const std::string name(info.name);
        const auto own = kOwnErrors.find(name);
        if (info.answersError) ops[name] = own == kOwnErrors.end() ? winerr::AccessDenied : own->second;
    }
    return ops;
}
const std::map<std::string, WinError> kErrors = FailableOps();

// Fails op at the call numbered at (-1: every call, up to the runaway limit).
void FailAt(FakePlatform& m, const std::string& op, WinError error, int at) {
    auto count = std::make_shared<int>(0);
    m.failWhen(
        op,
        [count, at](const std::vector<std::string>&) {
            const int n = (*count)++;
            return at < 0 ? n < kRunawayCalls : n == at;
        },
        error);
}

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
    std::function<void(FakePlatform&)> prepare = [](FakePlatform&) {};
    bool network = false;  // the network row: its own outcome (ExpectSoundNetworkRow)
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
    {"the network row, a TCP/IP port for 127.0.0.9",
     [](FakeDialog& d, FakeDialogHost& host) {
         host.onNextShow(IDD_NETWORK, [](FakeDialog& network) {
             network.setText(IDC_NET_ADDRESS, "127.0.0.9");
             network.click(IdOk);
         });
         d.clickListRow(IDC_PORT_LIST, 2);
         InstallOrCancel(d);
     },
     [](FakePlatform& m) { m.installTcpIpMonitor(); },
     true},
    {"the network row, the port for 127.0.0.9 there already",
     [](FakeDialog& d, FakeDialogHost& host) {
         host.onNextShow(IDD_NETWORK, [](FakeDialog& network) {
             network.setText(IDC_NET_ADDRESS, "127.0.0.9");
             network.click(IdOk);
         });
         d.clickListRow(IDC_PORT_LIST, 2);
         InstallOrCancel(d);
     },
     [](FakePlatform& m) { m.seedTcpIpPort({"IP_127.0.0.9", "127.0.0.9", 9100, true, false}); },
     true},
    {"the network row, the driver refused: the port made goes again",
     [](FakeDialog& d, FakeDialogHost& host) {
         host.onNextShow(IDD_NETWORK, [](FakeDialog& network) {
             network.setText(IDC_NET_ADDRESS, "127.0.0.9");
             network.click(IdOk);
         });
         d.clickListRow(IDC_PORT_LIST, 2);
         InstallOrCancel(d);
     },
     [](FakePlatform& m) {
         m.installTcpIpMonitor();
         m.failAlways("addPrinterDriver", winerr::AccessDenied);
     },
     true},
    {"Search Port, then LPT1:, where no private namespace can be made (Wine)",
     [](FakeDialog& d, FakeDialogHost&) {
         d.click(IDC_PORT_SEARCH);
         ClickRowNamed(d, "LPT1:");
         InstallOrCancel(d);
     },
     [](FakePlatform& m) { m.failAlways("acquirePrivateMutex", 120); }},
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
// The network row's outcome: "completed" only with the printer on the port
// for the address; a port this run made and no printer is on, deleted again
// unless its deletion or the listing of the printers failed.
void ExpectSoundNetworkRow(const WizardRun& run) {
    const FakePlatform& m = run.machine;
    const auto printer = m.findPrinter("RK-520P");
    const auto port = printer ? m.findTcpIpPort(printer->portName) : std::nullopt;
    bool completed = false;
    for (const auto& box : run.host.messages())
        completed = completed || box.text.rfind("驱动安装完成\n", 0) == 0 || box.text.rfind("Driver installation completed\n", 0) == 0;
    if (completed) EXPECT_TRUE(port && port->host == "127.0.0.9") << "completed, and the printer is not there";
    // Where the printers could not be listed, a port may have one: it stays.
    bool unsure = false;
    for (const auto& c : m.calls()) unsure = unsure || ((c.op == "deleteTcpIpPort" || c.op == "enumPrinters") && c.result != 0);
    for (const auto& c : m.callsOf("addTcpIpPort"))
        if (c.result == 0 && !unsure && !(printer && printer->portName == c.args[0]))
            EXPECT_FALSE(m.findTcpIpPort(c.args[0])) << "a port made and left unused";
}

void ExpectSound(const WizardRun& run, const std::string& failedOp, bool installRefusable, bool network = false) {
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

    if (network) {
        ExpectSoundNetworkRow(run);
        return;
    }
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
                    (installRefusable && portMessages.back() == cannotStart[english]))
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

// ---- The command line ------------------------------------------------------

struct CommandLineScenario {
    const char* name;
    std::vector<std::string> args;
    std::function<void(FakePlatform&)> prepare;
    int cleanCode = 0;  // with nothing failing
};

// A machine like the command line tests': the package beside Kelp.exe, a
// USB printer connected to USB002, the TCP/IP monitor; the printer of a
// run that removes or prints is there already.
void PrepareCommandLineMachine(FakePlatform& m) {
    m.setPorts({{"COM1:", "Local Port"}, {"LPT1:", "Local Port"}, {"USB001", ""}, {"USB002", ""}});
    m.setUsbPrinterInterfaces({{"USB", 2, "USB\\B", true, ""}});
    m.createSamplePackage("C:\\Pkg");
    m.setModuleDirectory("C:\\Pkg");
    m.seedKey(RegRoot::CurrentUser, walk::kDeviceKey);
    m.installTcpIpMonitor();
    m.setActiveCodePage(1252);
}

void Installed(FakePlatform& m) {
    m.seedPrinter({"RK-730P", "C:\\receipt.prn", "RK-730P", "WinPrint", "RAW"});
    m.addPrinterDriver({3, "RK-730P", "Windows NT x86", "C:\\windows\\system32\\spool\\drivers\\w32x86\\UNIDRV.DLL",
                        "C:\\windows\\system32\\spool\\drivers\\w32x86\\RK730P.GPD", "", "", {}, "", "RAW"});
    m.clearCalls();
}

const CommandLineScenario kCommandLineScenarios[] = {
    {"/install, the automatic port", {"/install", "/model:RK-730P", "/default"}, [](FakePlatform&) {}},
    {"/install /host, a port made", {"/install", "/model:RK-730P", "/host:127.0.0.9"}, [](FakePlatform&) {}},
    {"/install /port moving the printer", {"/install", "/model:RK-730P", "/port:LPT1:"}, Installed},
    {"/uninstall without a private namespace (Wine), the log made through a link",
     {"/uninstall", "/model:RK-730P"},
     [](FakePlatform& m) {
         Installed(m);
         m.failAlways("acquirePrivateMutex", 120);
         m.setLinkOnTheWay("C:\\users\\kelp\\Temp");
     }},
    {"/testprint of a job that stays in the queue",
     {"/testprint", "/model:RK-730P", "/wait:2"},
     [](FakePlatform& m) {
         Installed(m);
         m.scriptJobStates({0x40});
     },
     1603},
    {"/install /host whose driver is refused: the port made goes again",
     {"/install", "/model:RK-730P", "/host:127.0.0.9"},
     [](FakePlatform& m) { m.failAlways("addPrinterDriver", winerr::AccessDenied); },
     1603},
    {"/list", {"/list"}, [](FakePlatform& m) { m.seedTcpIpPort({"IP_1", "10.0.0.1", 9100, true, false}); }},
    {"/testprint /drawer to a USB printer, its status asked first",
     {"/testprint", "/model:RK-730P", "/wait:2", "/drawer"},
     [](FakePlatform& m) {
         Installed(m);
         m.setPrinterPort("RK-730P", "USB002");
         m.setUsbPrinterStatus("USB002", {0x18, 0});
         m.clearCalls();
     }},
};

// What a command-line run must satisfy, whatever failed: an exit code of
// its own, nothing left open or held, and a success only where the work is
// done.
void ExpectSoundCommandLine(const FakePlatform& m, const CommandLineScenario& scenario, int code,
                            const std::string& exception) {
    EXPECT_EQ(exception, "");
    EXPECT_TRUE(code == 0 || code == 1603 || code == 1618) << code;
    walk::ExpectMachineClean(m, 0);
    EXPECT_EQ(m.openLogFileCount(), 0u);
    EXPECT_TRUE(m.heldMutexes().empty());
    if (code != 0) return;
    const std::string action = scenario.args[0];
    const auto printer = m.findPrinter("RK-730P");
    if (action == "/install") {
        ASSERT_TRUE(printer);
        const std::string& port = scenario.args.back();
        if (port.rfind("/port:", 0) == 0) EXPECT_EQ(printer->portName, port.substr(6));
    }
    if (action == "/uninstall") EXPECT_FALSE(printer);
    if (action == "/testprint") EXPECT_FALSE(m.rawJobs().empty());
}

void CommandLineRuns(std::set<std::string>& failedSomewhere) {
    int runs = 0;
    for (const auto& scenario : kCommandLineScenarios) {
        SCOPED_TRACE(scenario.name);
        FakePlatform clean;
        FakeNetwork network;
        FakeSerialPorts serial;
        PrepareCommandLineMachine(clean);
        scenario.prepare(clean);
        ASSERT_EQ(RunCommandLine(clean, network, serial, scenario.args), scenario.cleanCode);
        ExpectSoundCommandLine(clean, scenario, scenario.cleanCode, "");
        for (const auto& [op, error] : kErrors) {
            const int calls = static_cast<int>(clean.callsOf(op).size());
            if (calls == 0) continue;
            failedSomewhere.insert(op);
            for (int at = -1; at < calls; ++at) {
                SCOPED_TRACE(testing::Message() << op << " failing with " << error
                                                << (at < 0 ? std::string(" always") : " at call " + std::to_string(at)));
                FakePlatform m;
                PrepareCommandLineMachine(m);
                scenario.prepare(m);
                FailAt(m, op, error, at);
                int code = -1;
                std::string exception;
                try {
                    code = RunCommandLine(m, network, serial, scenario.args);
                } catch (const std::exception& e) {
                    exception = e.what();
                }
                ++runs;
                ExpectSoundCommandLine(m, scenario, code, exception);
                if (testing::Test::HasFatalFailure()) return;
            }
        }
    }
    std::printf("fault injection: %d command-line runs\n", runs);
}

TEST(FaultInjectionTest, EveryOperationFailingAlwaysOrOnceAtEachCall) {
    std::set<std::string> failedSomewhere;
    int runs = 0;
    for (const Scenario& scenario : kScenarios) {
        for (int english : {0, 1}) {
            SCOPED_TRACE(testing::Message() << scenario.name << (english ? ", English" : ", Chinese"));
            WizardRun clean;
            PrepareMachine(clean.machine);
            scenario.prepare(clean.machine);
            clean.go(scenario, english);
            {
                SCOPED_TRACE("nothing failing");
                ExpectSound(clean, "enumPorts", false, scenario.network);
                ASSERT_TRUE(clean.machine.findPrinter("RK-520P") || !clean.machine.callsOf("deleteTcpIpPort").empty());
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
                    scenario.prepare(run.machine);
                    FailAt(run.machine, op, error, at);
                    run.go(scenario, english);
                    ++runs;
                    // Without ports there is nothing to install on; without the
                    // lock nothing starts.
                    ExpectSound(run, op, op == "enumPorts" || op == "acquireNamedMutex", scenario.network);
                    if (testing::Test::HasFatalFailure()) return;
                }
            }
        }
    }
    std::printf("fault injection: %d wizard runs\n", runs);
    for (const char* op : {"usbPrinterInterfaces", "acquirePrivateMutex", "acquireNamedMutex", "addTcpIpPort",
                           "tcpIpPortConfig", "deleteTcpIpPort"})
        EXPECT_EQ(failedSomewhere.count(op), 1u) << op << " is failed in no wizard run";
    CommandLineRuns(failedSomewhere);
    std::set<std::string> all;
    for (const auto& [op, error] : kErrors) all.insert(op);
    EXPECT_EQ(failedSomewhere, all) << "every operation that answers an error failed in some run";
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
