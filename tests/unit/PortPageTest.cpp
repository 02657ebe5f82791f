#include <gtest/gtest.h>

#include <set>

#include "WizardFixture.h"
#include "install/Wording.h"
#include "install/RunLog.h"
#include "pages/PortPage.h"
#include "pages/PrinterSettingsPage.h"

namespace kelp {
namespace {

using Script = std::function<void(FakeDialog&)>;

constexpr const char* kDeviceKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr const char* kPortsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr const char* kSerialDeviceKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char* kOnlineKey = "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet"
                                   "\\Control\\Print\\Printers\\";

// A wizard of its own on a machine with the sample package, for tests that
// need a fresh machine per row: Next on the settings page, portActions on
// the port page, then Exit unless the installation ended the page.
struct FreshWizard {
    FakePlatform machine;
    FakeDialogHost pages;
    InstallSettings state;
    FakeNetwork net;
    FakeSerialPorts serial;
    AppContext app{machine, pages, state, net, serial};

    FreshWizard() {
        machine.createSamplePackage();
        state.osCode = 8;
    }

    int runFromSettings(const Script& portActions, const Script& settingsActions = {}) {
        PrinterSettingsPage page(app);
        pages.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
            if (settingsActions) settingsActions(d);
            pages.onNextShow(IDD_PORT, portActions);
            d.click(IDC_SET_NEXT);
            if (!d.ended()) d.click(IDC_SET_EXIT);
        });
        const int result = pages.runModal(page);
        EXPECT_EQ(pages.problems(), "");
        return result;
    }
};

class PortPageTest : public WizardFixture {
   protected:
    PortPageTest() {
        platform.createSamplePackage();
        platform.seedKey(RegRoot::CurrentUser, kDeviceKey);
        platform.seedKey(RegRoot::LocalMachine, kPortsKey);
        settings.osCode = 8;
    }

    // Opens the printer settings page, runs settingsActions there, then
    // Next with portActions on the port page; answers the settings page's
    // result.
    int runWizardFromSettings(const Script& portActions, const Script& settingsActions = {}) {
        PrinterSettingsPage page(context);
        host.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
            if (settingsActions) settingsActions(d);
            host.onNextShow(IDD_PORT, portActions);
            d.click(IDC_SET_NEXT);
            if (!d.ended()) d.click(IDC_SET_EXIT);
        });
        return host.runModal(page);
    }

    std::vector<std::string> messageTexts() const {
        std::vector<std::string> texts;
        for (const auto& m : host.messages()) texts.push_back(m.text);
        return texts;
    }
};

TEST_F(PortPageTest, OpensInCategoryModeInBothLanguages) {
    struct Text {
        int id;
        const char* chinese;
        const char* english;
    };
    const Text texts[] = {
        {IDC_PORT_TITLE, "指定端口", "Specify Port"},
        {IDC_PORT_INTRO, "端口用于连接打印机和计算机。", "A port is used to connect a printer to the computer."},
        {IDC_PORT_HINT, "指定使用的端口。如果使用TCP/IP或一下未列出的其他端口类型进行连接，请",
         "Specify the port that you are using. If you are connecting using TCP/IP "},
        {IDC_PORT_HINT_END, "创建一个新的端口。", "or another port type not listed below, creat a new port."},
        {IDC_PORT_NOTE, "本驱动适用于Windows x86 / x64系统", "This driver is suitable for Windows x86/x64 systems"},
        {IDC_PORT_CREATE, "创建端口...", "Create Port..."},
        {IDC_PORT_CONFIGURE, "配置端口...", "Configure Port..."},
        {IDC_PORT_BACK, "< &返回", "Back"},
        {IDC_PORT_INSTALL, "&安装", "Install"},
        {IDC_PORT_CANCEL, "&取消", "Cancel"},
        {IDC_PORT_SEARCH, "搜索端口...", "Search Port..."},
    };
    struct Cell {
        const char* chinese;
        const char* english;
    };
    const Cell headings[] = {{"端口", "Port"}, {"类型", "Type"}};
    const Cell cells[][2] = {
        {{"COM", "Serial Port"},
         {"安装过程中将为您选择一个可用的串行端口", "The program will select a available port during instaling."}},
        {{"USB", "USB"}, {"安装过程中将为您选择一个可用的USB端口", "The program will select a available port automatically."}},
        {{"网络端口", "Ethernet Ports"},
         {"安装前程序会提示您选择或配置一个TCP/IP端口", "The program will select a available port during instaling."}},
    };
    for (int englishFlag : {0, 1}) {
        SCOPED_TRACE(englishFlag);
        settings.englishFlag = englishFlag;
        auto in = [englishFlag](const auto& pair) { return std::string(englishFlag ? pair.english : pair.chinese); };
        runWizardFromSettings([&](FakeDialog& d) {
            for (const auto& text : texts) EXPECT_EQ(d.text(text.id), in(text)) << text.id;
            ASSERT_EQ(d.listRowCount(IDC_PORT_LIST), 3);
            for (int row = 0; row < 3; ++row)
                for (int column = 0; column < 2; ++column)
                    EXPECT_EQ(d.listCell(IDC_PORT_LIST, row, column), in(cells[row][column])) << row << "," << column;
            EXPECT_EQ(d.listSelectedRows(IDC_PORT_LIST), std::vector<int>{1});
            const auto& columns = d.listColumns(IDC_PORT_LIST);
            ASSERT_EQ(columns.size(), 2u);
            EXPECT_EQ(columns[0].heading, in(headings[0]));
            EXPECT_EQ(columns[1].heading, in(headings[1]));
            EXPECT_EQ(columns[0].width, 150);
            EXPECT_EQ(columns[1].width, 280);
            EXPECT_EQ(d.listExtendedStyle(IDC_PORT_LIST) & (ListExFullRowSelect | ListExGridLines | ListExTrackSelect),
                      ListExFullRowSelect | ListExGridLines);
            EXPECT_EQ(d.progressRange(IDC_PORT_PROGRESS), std::make_pair(0, 100));
            EXPECT_EQ(d.progressPosition(IDC_PORT_PROGRESS), 0);
            EXPECT_EQ(d.caption(), "Vexo Receipt Printer Driver");
            d.click(IDC_PORT_CANCEL);
        });
    }
}

// Install on the USB row: the inventory, the spooler adjustment while a
// search is pending, then the installation on the first USB port.
TEST_F(PortPageTest, AutomaticPathOnTheUsbRow) {
    platform.setPorts({{"COM1:", "Local Port"}, {"USB001", "Virtual printer port for USB"}, {"USB002", ""}});
    EXPECT_EQ(runWizardFromSettings([](FakeDialog& d) { d.click(IDC_PORT_INSTALL); }), PageOk);
    EXPECT_EQ(settings.selectedPort, "USB001");
    ASSERT_TRUE(platform.findPrinter("RK-520P"));
    EXPECT_EQ(platform.findPrinter("RK-520P").value_or(PrinterInfo2{}).portName, "USB001");
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"驱动安装完成\n端口：USB001（未找到已连接的 USB 打印机：第一个 USB 端口）"});
    // The adjustment ran before the staging, over both USB ports (Windows 7).
    const auto ops = platform.ops();
    const auto firstCreate = std::find(ops.begin(), ops.end(), "regCreateKey");
    const auto directory = std::find(ops.begin(), ops.end(), "printerDriverDirectory");
    ASSERT_NE(firstCreate, ops.end());
    EXPECT_LT(firstCreate, directory);
    EXPECT_EQ(platform.callsOf("regCreateKey").size(), 2u);
    EXPECT_EQ(host.lastDialog(IDD_PORT).progressHistory(IDC_PORT_PROGRESS),
              (std::vector<int>{0, 50, 50, 80, 10, 20, 30, 40, 50, 60, 70, 80, 90, 95, 100}));
}

// The port on which the spooler reports the printer online is the one it is
// created on. On Windows the check reads, through HKEY_CURRENT_CONFIG, the 0
// the adjustment has just written, so the printer stays on the automatic
// choice; only a configuration that refuses the key (1021) lets a value
// already there say "online".
TEST_F(PortPageTest, PrinterIsCreatedOnThePortFoundOnline) {
    struct Row {
        const char* name;
        bool createRefused;
        std::size_t passes;
        const char* port;
        bool usb3Connected = false;
    };
    const Row rows[] = {
        {"Windows: every candidate reads back 0", false, 3, "USB001"},
        {"key refused: online after USB002", true, 2, "USB002"},
        {"a printer connected on USB003 wins over the spooler's answer", true, 2, "USB003", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FreshWizard wizard;
        FakePlatform& machine = wizard.machine;
        machine.setVersion({6, 2, 2});
        machine.setPorts({{"USB001", ""}, {"USB002", ""}, {"USB003", ""}});
        machine.seedDword(RegRoot::LocalMachine, kOnlineKey + std::string("RK-730P"), "PrinterOnLine", 1);
        if (row.createRefused) machine.failAlways("regCreateKey", 1021);
        if (row.usb3Connected) machine.setUsbPrinterInterfaces({{"USB", 3, "USB\\VID_5A5A&PID_0730\\C", true, ""}});
        machine.failNext("regQueryValue", winerr::FileNotFound);  // not yet online after USB001
        wizard.runFromSettings([](FakeDialog& d) { d.click(IDC_PORT_INSTALL); },
                               [](FakeDialog& d) { d.selectComboRow(IDC_SET_MODEL, 2); });
        EXPECT_EQ(machine.callsOf("regCreateKey").size(), row.passes);
        ASSERT_TRUE(machine.findPrinter("RK-730P"));
        EXPECT_EQ(machine.findPrinter("RK-730P").value_or(PrinterInfo2{}).portName, row.port);
        EXPECT_EQ(wizard.state.selectedPort, row.port);
    }
}

// A printer that exists keeps its port: no candidate is written into its
// spooler entries.
TEST_F(PortPageTest, AnExistingPrinterIsNotMovedByTheAutomaticPath) {
    platform.setPorts({{"USB001", ""}, {"LPT1:", "Local Port"}});
    platform.seedPrinter({"RK-520P", "LPT1:", "RK-520P", "WinPrint", "RAW"});
    platform.seedKey(RegRoot::LocalMachine, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\RK-520P");
    runWizardFromSettings([](FakeDialog& d) { d.click(IDC_PORT_INSTALL); });
    EXPECT_TRUE(platform.callsOf("regCreateKey").empty());
    EXPECT_FALSE(platform.regString(RegRoot::LocalMachine,
                                     "Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\RK-520P", "Port"));
    EXPECT_EQ(platform.findPrinter("RK-520P").value_or(PrinterInfo2{}).portName, "LPT1:");
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text, "打印机“RK-520P”已存在：已更新其驱动，端口保持不变。\n端口：LPT1:（打印机原有的端口，保持不变）");
}

// Without administrator rights, or on Windows on ARM, Install says so before
// anything is asked or changed (no network dialog, no lock), and the page
// stays open; with rights and elsewhere it installs.
TEST_F(PortPageTest, InstallRefusedWithoutRightsOrOnArm) {
    struct Row {
        bool elevated;
        std::optional<std::uint16_t> machine;
        int englishFlag;
        int categoryRow;  // 1: USB, 2: network
        const char* said;  // nothing: installed
    };
    // The whole texts: WordingTest.
    const Row rows[] = {
        {false, std::nullopt, 0, 1, "安装打印机需要管理员权限，而 Kelp 现在没有以管理员身份运行，未做任何更改。\n请以管理员身份启动"},
        {false, 0x8664, 1, 2, "Installing the printer needs administrator rights, and Kelp is not running as an administrator"},
        {true, 0xAA64, 1, 2, "This computer runs Windows on ARM (ARM64)"},
        {false, 0xAA64, 0, 1, "这台电脑是 ARM 版 Windows（ARM64）"},
        {true, 0x8664, 0, 1, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.elevated << " " << row.machine.value_or(0) << " " << row.englishFlag);
        FreshWizard wizard;
        FakePlatform& machine = wizard.machine;
        machine.setPorts({{"USB001", ""}});
        machine.setElevated(row.elevated);
        machine.setNativeMachine(row.machine);
        wizard.state.englishFlag = row.englishFlag;
        RunLog log(machine, "C:\\Kelp.log");
        wizard.app.log = &log;
        wizard.runFromSettings([&](FakeDialog& d) {
            d.clickListRow(IDC_PORT_LIST, row.categoryRow);
            d.click(IDC_PORT_INSTALL);
            EXPECT_EQ(d.ended(), row.said == nullptr);
            if (!d.ended()) d.click(IDC_PORT_CANCEL);
        });
        EXPECT_EQ(machine.findPrinter("RK-520P").has_value(), row.said == nullptr);
        if (!row.said) continue;
        EXPECT_TRUE(machine.callsOf("acquirePrivateMutex").empty());
        EXPECT_TRUE(machine.callsOf("printerDriverDirectory").empty());
        const auto shown = wizard.pages.messages();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text.rfind(row.said, 0), 0u) << shown[0].text;
        EXPECT_EQ(shown[0].templateId, IDD_PORT);
        EXPECT_NE(machine.fileContents("C:\\Kelp.log").value_or("").find(" nothing installed: "), std::string::npos);
    }
}

TEST_F(PortPageTest, AutomaticPathPicksTheSuggestedCategory) {
    struct Row {
        const char* name;
        std::vector<PortRecord> ports;
        std::optional<std::string> installedOn;  // nothing: refused, the page stays open
        std::vector<UsbPrinterInterface> usb = {};
        bool yes = false;  // the answer to the question on another model
    };
    const std::string otherModel = "打印机自报型号为 RK-520PW，而您选择的是 RK-520P。\n按其他型号安装的驱动程序可能打印不正确。仍要按 RK-520P 安装吗？";
    const Row rows[] = {
        {"COM ports from the serial devices", {{"COM1:", "Local Port"}, {"COM2:", "Local Port"}}, "COM1:"},
        {"LPT only: the network row takes the LPT list", {{"LPT1:", "Local Port"}}, "LPT1:"},
        {"file ports only: no port to pick", {{"FILE:", "Local Port"}}, std::nullopt},
        {"no ports", {}, std::nullopt},
        {"the one USB port's printer is another model: asked, No", {{"USB001", ""}, {"COM1:", "Local Port"}}, std::nullopt,
         {{"USB", 1, "USB\\VID_5A5A&PID_0520\\A", true, "MDL:RK-520PW;CMD:ESC/POS;"}}},
        {"the one USB port's printer is another model: asked, Yes", {{"USB001", ""}, {"USB002", ""}}, "USB002",
         {{"USB", 2, "USB\\VID_5A5A&PID_0520\\A", true, "MDL:RK-520PW;CMD:ESC/POS;"}}, true},
        {"a printer not connected names another model: no question", {{"USB001", ""}}, "USB001",
         {{"USB", 1, "USB\\VID_5A5A&PID_0520\\A", false, "MDL:RK-730P;"}}},
        {"another attached printer names the model chosen: no question", {{"USB001", ""}, {"USB002", ""}}, "USB001",
         {{"USB", 2, "USB\\VID_5A5A&PID_0520\\A", true, "MDL:RK-520PW;"}, {"USB", 1, "USB\\VID_5A5A&PID_0520\\B", true, "MDL:RK 520P;"}}},
        {"a page printer on USB002: the first USB port", {{"USB001", ""}, {"USB002", ""}}, "USB001",
         {{"USB", 2, "USB\\VID_03F0&PID_1D17\\L", true, "CMD:PCL;"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FreshWizard wizard;
        FakePlatform& machine = wizard.machine;
        machine.setPorts(row.ports);
        machine.seedString(RegRoot::LocalMachine, kSerialDeviceKey, "\\Device\\Serial0", "COM1");
        machine.setUsbPrinterInterfaces(row.usb);
        wizard.pages.answerQuestions({row.yes});
        wizard.pages.onMessageBox([&machine](const MessageBoxRecord& box) {
            EXPECT_EQ(machine.heldMutexes(), std::vector<std::string>{}) << box.text;
        });
        // The person picks RK-520P, whatever model the page selected for the
        // printer attached.
        wizard.runFromSettings(
            [&](FakeDialog& port) {
                port.click(IDC_PORT_INSTALL);
                if (!row.installedOn) {
                    EXPECT_FALSE(port.ended());
                    EXPECT_EQ(port.listSelectedRows(IDC_PORT_LIST), std::vector<int>{1});
                    port.click(IDC_PORT_CANCEL);
                }
            },
            [](FakeDialog& d) { d.selectComboRow(IDC_SET_MODEL, 0); });
        const auto& pages = wizard.pages;
        if (row.installedOn) {
            ASSERT_TRUE(machine.findPrinter("RK-520P"));
            EXPECT_EQ(machine.findPrinter("RK-520P").value_or(PrinterInfo2{}).portName, *row.installedOn);
        }
        const bool asked = row.usb.size() == 1 && row.usb[0].deviceId.rfind("MDL:RK-520PW", 0) == 0;
        EXPECT_EQ(!pages.questions().empty() && pages.questions()[0].text == otherModel, asked);
        if (asked && !row.yes) {
            EXPECT_TRUE(machine.printers().empty());
            EXPECT_TRUE(pages.messages().empty());
        } else if (!row.installedOn) {
            EXPECT_TRUE(machine.printers().empty());
            EXPECT_TRUE(machine.callsOf("printerDriverDirectory").empty());
            ASSERT_EQ(pages.messages().size(), 1u);
            EXPECT_EQ(pages.messages()[0].text, "没有可用于安装打印机的端口。请点击“搜索端口...”，然后选择一个端口。");
            EXPECT_EQ(pages.messages()[0].icon, MessageIcon::Exclamation);
            EXPECT_EQ(pages.messages()[0].templateId, IDD_PORT);
        }
    }
}

// The serial row before any search: the reminder, Install disabled until
// Search Port; then the port chosen in the list.
TEST_F(PortPageTest, ExplicitPathNeedsASearchFirst) {
    {
        const int row = 0;
        FreshWizard wizard;
        const FakePlatform& machine = wizard.machine;
        const InstallSettings& state = wizard.state;
        const auto& pages = wizard.pages;
        RunLog log(wizard.machine, "C:\\Kelp.log");
        wizard.app.log = &log;
        EXPECT_EQ(wizard.runFromSettings([&](FakeDialog& port) {
            port.clickListRow(IDC_PORT_LIST, row);
            port.click(IDC_PORT_INSTALL);
            EXPECT_FALSE(port.ended());
            EXPECT_FALSE(port.isEnabled(IDC_PORT_INSTALL));
            EXPECT_EQ(port.focus(), IDC_PORT_SEARCH);  // what the reminder asks for
            EXPECT_FALSE(port.click(IDC_PORT_INSTALL));
            port.click(IDC_PORT_SEARCH);
            EXPECT_TRUE(port.isEnabled(IDC_PORT_INSTALL));
            EXPECT_FALSE(state.portSearchPending);
            ASSERT_EQ(port.listRowCount(IDC_PORT_LIST), 8);
            EXPECT_TRUE(port.listSelectedRows(IDC_PORT_LIST).empty());
            EXPECT_EQ(port.listCell(IDC_PORT_LIST, 5, 0), "LPT1:");
            EXPECT_EQ(port.listCell(IDC_PORT_LIST, 5, 1), "Local Port");
            port.clickListRow(IDC_PORT_LIST, 5);
            port.click(IDC_PORT_INSTALL);
        }),
                  PageOk);
        ASSERT_EQ(pages.messages().size(), 2u);
        EXPECT_EQ(pages.messages()[0].text, "Please click \"Search Port...\",then select port!");
        EXPECT_EQ(pages.messages()[0].icon, MessageIcon::Exclamation);
        EXPECT_EQ(pages.messages()[1].text, "驱动安装完成\n端口：LPT1:");
        EXPECT_EQ(pages.messages()[1].icon, MessageIcon::None);
        ASSERT_TRUE(machine.findPrinter("RK-520P"));
        EXPECT_EQ(machine.findPrinter("RK-520P").value_or(PrinterInfo2{}).portName, "LPT1:");
        EXPECT_EQ(state.selectedPort, "LPT1:");
        EXPECT_TRUE(machine.callsOf("regCreateKey").empty()) << "no adjustment after a search";
        EXPECT_EQ(machine.debugText(), "COM1:\nCOM2:\nCOM3:\nCOM4:\nFILE:\nLPT1:\nLPT2:\nLPT3:\n");
        EXPECT_NE(machine.fileContents("C:\\Kelp.log").value_or("").find(
                      " port chosen on the port page: LPT1:\r\n"),
                  std::string::npos);
    }
}

TEST_F(PortPageTest, SearchShowsAtMost256Ports) {
    std::vector<PortRecord> ports;
    for (int i = 0; i < 300; ++i) ports.push_back({"USB" + std::to_string(1000 + i), "Virtual"});
    platform.setPorts(ports);
    // A connected USB printer's port says so, in the page's language.
    platform.setUsbPrinterInterfaces({{"USB", 1254, "USB\\A", true, ""}, {"USB", 1255, "USB\\B", false, ""}});
    for (const char* connected : {"Virtual（已连接）", "Virtual (connected)"}) {
        runWizardFromSettings([&](FakeDialog& d) {
            d.click(IDC_PORT_SEARCH);
            EXPECT_EQ(d.listRowCount(IDC_PORT_LIST), 256);
            EXPECT_EQ(d.listCell(IDC_PORT_LIST, 255, 0), "USB1255");
            EXPECT_EQ(d.listCell(IDC_PORT_LIST, 254, 1), connected);
            EXPECT_EQ(d.listCell(IDC_PORT_LIST, 255, 1), "Virtual");
            d.click(IDC_PORT_CANCEL);
        });
        settings.englishFlag = 1;
    }
}

// In the port list (after Search Port or Create Port) every row is the port
// it shows, row 1 too; only the category list's USB row lets the wizard
// choose, here the port of the printer connected on USB002. The category
// list's network row installs on the TCP/IP port made for the address typed
// in the network printer dialog, and the message gives the printer's answer.
TEST_F(PortPageTest, EveryRowOfThePortListIsItsPort) {
    enum Mode { Category, Searched, Created, Network };
    struct Row {
        Mode mode;
        int row;
        const char* port;
        const char* message;
        const char* address = nullptr;  // typed in the network printer dialog
    };
    const Row rows[] = {
        {Searched, 0, "COM1:", "驱动安装完成\n端口：COM1:"},
        {Searched, 1, "COM2:", "Driver installation completed\nPort: COM2:"},
        {Searched, 2, "LPT1:", "驱动安装完成\n端口：LPT1:"},
        {Searched, 3, "USB002", "Driver installation completed\nPort: USB002"},
        {Created, 1, "COM2:", "驱动安装完成\n端口：COM2:"},
        {Created, 3, "USB002", "Driver installation completed\nPort: USB002"},
        {Category, 1, "USB002", "驱动安装完成\n端口：USB002（唯一连接了打印机的 USB 端口）"},
        {Category, 1, "USB002", "Driver installation completed\nPort: USB002 (the only USB port with a connected printer)"},
        {Network, 2, "IP_10.0.0.7", "驱动安装完成\n端口：IP_10.0.0.7\n打印机：就绪", "10.0.0.7"},
        {Network, 2, "IP_10.0.0.9", "Driver installation completed\nPort: IP_10.0.0.9\nPrinter: paper out: it will print once that is put right", "10.0.0.9"},
        {Network, 2, "IP_10.0.0.9", "驱动安装完成\n端口：IP_10.0.0.9\n打印机：缺纸，排除后即可打印", "10.0.0.9:9100"},
        {Network, 2, "IP_10.0.0.8_9101", "驱动安装完成\n端口：IP_10.0.0.8_9101\n打印机：无应答，请检查打印机是否已开机、连接线或网络连接以及地址", "10.0.0.8:9101"},
        {Network, 2, "IP_10.0.0.6",
         "Driver installation completed\nPort: IP_10.0.0.6\nPrinter: nothing listens there (connection refused): something else is at that address: check the address and the TCP port",
         "10.0.0.6"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        FreshWizard wizard;
        FakePlatform& machine = wizard.machine;
        machine.setPorts({{"COM1:", "Local Port"}, {"COM2:", "Local Port"}, {"LPT1:", "Local Port"}, {"USB002", "Virtual"}});
        machine.setUsbPrinterInterfaces({{"USB", 2, "USB\\VID_5A5A&PID_0730\\B2", true, ""}});
        machine.installTcpIpMonitor();
        wizard.net.setPrinter(0x0A000007, "\x12\x12\x12\x12");
        wizard.net.setPrinter(0x0A000009, "\x1A\x32\x12\x72");
        wizard.net.setRefusing(0x0A000006);
        wizard.state.englishFlag = std::string(row.message).rfind("Driver", 0) == 0;
        EXPECT_EQ(wizard.runFromSettings([&](FakeDialog& d) {
            if (row.mode == Searched) d.click(IDC_PORT_SEARCH);
            if (row.mode == Network)
                wizard.pages.onNextShow(IDD_NETWORK, [&](FakeDialog& network) {
                    network.setText(IDC_NET_ADDRESS, row.address);
                    network.pressEnter();
                });
            if (row.mode == Created) {
                wizard.pages.onNextShow(IDD_PORT_TYPES, [](FakeDialog& types) { types.click(IDC_TYPES_EXIT); });
                d.click(IDC_PORT_CREATE);
            }
            ASSERT_EQ(d.listRowCount(IDC_PORT_LIST), row.mode == Category || row.mode == Network ? 3 : 4);
            d.clickListRow(IDC_PORT_LIST, row.row);
            d.click(IDC_PORT_INSTALL);
        }),
                  PageOk);
        ASSERT_TRUE(machine.findPrinter("RK-520P"));
        EXPECT_EQ(machine.findPrinter("RK-520P")->portName, row.port);
        EXPECT_EQ(wizard.state.selectedPort, row.port);
        ASSERT_EQ(wizard.pages.messages().size(), 1u);
        EXPECT_EQ(wizard.pages.messages()[0].text, row.message);
        if (row.mode != Network) continue;
        const auto port = machine.findTcpIpPort(row.port);
        ASSERT_TRUE(port);
        const std::string typed = row.address;
        EXPECT_EQ(port->host + ":" + std::to_string(port->tcpPort),
                  typed.find(':') == std::string::npos ? typed + ":9100" : typed);
    }
}

// The network row where the printer does not end up on the address's port:
// without the TCP/IP monitor nothing is made and nothing installed; a port
// this run made goes again when the installation fails or a printer of the
// name keeps its own port; a reused one stays. Cancel in the dialog and a
// busy installation change nothing. The page stays open but after an
// installation.
TEST_F(PortPageTest, NetworkRowLeavesNoPortItMadeUnused) {
    struct Case {
        const char* name;
        int englishFlag;
        std::function<void(FakePlatform&)> machineSetup;
        bool cancel;
        bool installed;                   // the port page ended after an installation
        const char* portLeft;             // the TCP/IP port afterwards, or none
        std::size_t portsDeleted;
        std::vector<std::string> messages;
        const char* typed = "10.0.0.7";
        std::vector<std::string> questions = {};  // answered No
        const char* named = nullptr;  // the model the printer names itself (GS I 67); the question answered Yes when installed
    };
    const auto monitor = [](FakePlatform& m) { m.installTcpIpMonitor(); };
    const auto unreadable = [](FakePlatform& m) {
        m.seedTcpIpPort({"IP_10.0.0.7", "10.0.0.70", 9100, true, false});
        m.failAlways("tcpIpPortConfig", winerr::AccessDenied);
    };
    // The receipt that printed is told in the cash drawer's question.
    const std::vector<std::string> printed = {"Driver installation completed\nPort: IP_10.0.0.7\nPrinter: ready"};
    const Case cases[] = {
        {"no monitor", 0, {}, false, false, nullptr, 0,
         {"此系统没有“Standard TCP/IP Port”端口监视器，无法为 10.0.0.7:9100 创建端口。\n未安装打印机。\n日志：C:\\Kelp.log"}},
        {"no monitor", 1, {}, false, false, nullptr, 0,
         {"This system has no \"Standard TCP/IP Port\" monitor: no port can be made for 10.0.0.7:9100.\nNothing was installed."
          "\nThe log: C:\\Kelp.log"}},
        {"the printer could not be added", 1,
         [](FakePlatform& m) {
             m.installTcpIpMonitor();
             m.failAlways("addPrinter", winerr::AccessDenied);
         },
         false, true, nullptr, 1,
         {"Driver installation failed:\nCould not create the printer RK-520P (error 5: Access is denied)\nThe log: C:\\Kelp.log"}},
        {"a printer of the name moved to the port made", 1,
         [](FakePlatform& m) {
             m.installTcpIpMonitor();
             m.seedPrinter({"RK-520P", "USB001", "RK-520P", "winprint", "RAW"});
         },
         false, true, "IP_10.0.0.7", 0,
         {"The printer \"RK-520P\" already existed: its driver was updated and it was moved from USB001 to IP_10.0.0.7.\n"
          "Port: IP_10.0.0.7 (moved from USB001)\nPrinter: ready"}},
        {"a reused port", 0,
         [](FakePlatform& m) {
             m.seedTcpIpPort({"Kitchen", "10.0.0.7", 9100, true, false});
             m.failAlways("addPrinter", winerr::AccessDenied);
         },
         false, true, "Kitchen", 0, {"驱动安装失败：\n无法创建打印机：RK-520P（错误 5：拒绝访问）\n日志：C:\\Kelp.log"}},
        {"busy", 1,
         [](FakePlatform& m) {
             m.installTcpIpMonitor();
             m.setPrivateMutexError(winerr::InstallAlreadyRunning);
         },
         false, false, nullptr, 0,
         {"Another Kelp installation, removal or test receipt is running; nothing was changed. Please try again later."}},
        {"cancelled", 0, monitor, true, false, nullptr, 0, {}},
        {"a port for the address that cannot be read", 1, unreadable, false, false, "IP_10.0.0.7", 0,
         {"The settings of the port IP_10.0.0.7 cannot be read (error 5: Access is denied); it may be the port for "
          "10.0.0.7:9100, so no other port is made for it.\nNothing was installed.\nThe log: C:\\Kelp.log"}},
        {"a port for the address that cannot be read", 0, unreadable, false, false, "IP_10.0.0.7", 0,
         {"无法读取端口 IP_10.0.0.7 的设置（错误 5：拒绝访问）；它可能就是 10.0.0.7:9100 的端口，因此不再为该地址创建新端口。\n"
          "未安装打印机。\n日志：C:\\Kelp.log"}},
        {"a name for the network's broadcast address", 1, monitor, false, false, nullptr, 0,
         {"The host name edge.lan stands for 10.0.0.255. No printer has this address: it is the network or broadcast "
          "address of one of this computer's networks.\nNothing was installed."},
         "edge.lan"},
        {"a name for 0.0.0.0", 0, monitor, false, false, nullptr, 0,
         {"主机名 zero.lan 对应的地址是 0.0.0.0。该地址不能是打印机的地址：0.x.x.x、组播地址和保留地址（224.0.0.0 及以上）都不可用。\n"
          "未安装打印机。"},
         "zero.lan"},
        {"a name that cannot be found, not installed anyway", 1, monitor, false, false, nullptr, 0, {}, "nowhere.lan",
         {"The host name nowhere.lan cannot be found on this network now (error 11001). Check its spelling.\n"
          "The printer's name may also be registered on the network later. Install it anyway?"}},
        {"a name that cannot be found, not installed anyway", 0, monitor, false, false, nullptr, 0, {}, "nowhere.lan",
         {"现在在此网络上找不到主机名 nowhere.lan（错误 11001）。请检查名称是否拼写正确。\n"
          "打印机的名称也可能稍后才登记到网络中。仍要安装吗？"}},
        // Another of the models: asked with nothing left changed; Yes installs as asked.
        {"a printer that names another model, not installed", 1, monitor, false, false, nullptr, 1, {}, "10.0.0.7",
         {"The printer says it is a RK-730P(NEW), but you chose RK-520P.\nA driver for another model may print wrongly. "
          "Install it as RK-520P anyway?"},
         "rk730p new"},
        {"a printer that names another model, not installed", 0, monitor, false, false, nullptr, 1, {}, "10.0.0.7",
         {"打印机自报型号为 RK-730P(NEW)，而您选择的是 RK-520P。\n按其他型号安装的驱动程序可能打印不正确。仍要按 RK-520P 安装吗？"},
         "rk730p new"},
        {"a printer that names another model, installed as asked", 1, monitor, false, true, "IP_10.0.0.7", 1,
         {"Driver installation completed\nPort: IP_10.0.0.7\nPrinter: ready"}, "10.0.0.7",
         {"The printer says it is a RK-730P(NEW), but you chose RK-520P.\nA driver for another model may print wrongly. "
          "Install it as RK-520P anyway?"},
         "RK-730P(NEW)"},
        // Its own model, or none of the seven: no question.
        {"a printer that names its own model", 1, monitor, false, true, "IP_10.0.0.7", 0, printed, "10.0.0.7", {}, "RK 520 P"},
        {"a printer that names a model outside the catalogue", 1, monitor, false, true, "IP_10.0.0.7", 0, printed, "10.0.0.7", {},
         "TM-XYZ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.englishFlag ? " en" : " zh"));
        FreshWizard wizard;
        FakePlatform& machine = wizard.machine;
        wizard.state.englishFlag = c.englishFlag;
        if (c.machineSetup) c.machineSetup(machine);
        // A printer that takes 0.9 s over each answer: the window keeps answering.
        FakeNetwork::Host host{ConnectOutcome::Connected, "\x12\x12\x12\x12", false, 0, 1, 900};
        if (c.named) host.identity = {{67, FakeNetwork::Named(c.named)}};
        wizard.net.setHost(0x0A000007, host);
        if (c.named && c.installed) wizard.pages.answerQuestions({true});
        wizard.net.setAdapters({{{0x0A000001, 24}}, 0});
        wizard.net.setName("edge.lan", {0x0A0000FF});
        wizard.net.setName("zero.lan", {0});
        RunLog log(machine, "C:\\Kelp.log");
        wizard.app.log = &log;
        wizard.runFromSettings([&](FakeDialog& d) {
            wizard.pages.onNextShow(IDD_NETWORK, [&](FakeDialog& network) {
                network.setText(IDC_NET_ADDRESS, c.typed);
                network.click(c.cancel ? IdCancel : IdOk);
            });
            d.clickListRow(IDC_PORT_LIST, 2);
            // While the printer is asked: a second Install, Esc and the close box wait for the run.
            d.whenPumped([&c](FakeDialog& w) {
                EXPECT_EQ(w.text(IDC_PORT_NOTE), c.englishFlag ? "Asking the printer at 10.0.0.7:9100 ..."
                                                               : "正在询问打印机 10.0.0.7:9100 ……");
                EXPECT_FALSE(w.click(IDC_PORT_INSTALL));
                w.sendCommand(IDC_PORT_INSTALL, 0);
                w.pressEsc();
                w.closeBox();
            });
            d.click(IDC_PORT_INSTALL);
            EXPECT_EQ(d.ended(), c.installed);
            if (c.installed) EXPECT_GE(d.pumpCount(), 30);
            if (c.installed) EXPECT_EQ(d.endCount(), 1);
            EXPECT_TRUE(d.isEnabled(IDC_PORT_SEARCH));
            if (c.cancel) {
                // With no row selected, Install takes the row of the last Install.
                wizard.pages.onNextShow(IDD_NETWORK, [](FakeDialog& network) { network.click(IdCancel); });
                d.clickListRow(IDC_PORT_LIST, -1);
                d.click(IDC_PORT_INSTALL);
            }
            if (!d.ended()) d.click(IDC_PORT_CANCEL);
        });
        if (c.portLeft) EXPECT_TRUE(machine.findTcpIpPort(c.portLeft));
        if (!c.portLeft || std::string(c.portLeft) != "IP_10.0.0.7") EXPECT_FALSE(machine.findTcpIpPort("IP_10.0.0.7"));
        EXPECT_EQ(machine.callsOf("deleteTcpIpPort").size(), c.portsDeleted);
        EXPECT_EQ(machine.callsOf("addPrinterDriver").size(), c.installed ? 1u : 0u);
        // The printer is asked only when the installation runs.
        EXPECT_EQ(wizard.net.sentTo(0x0A000007).empty(), !c.installed && !c.named);
        EXPECT_EQ(machine.fileContents("C:\\Kelp.log").value_or("").find(" printer at 10.0.0.7:9100: ready\r\n") !=
                      std::string::npos,
                  c.installed || c.named);
        std::vector<std::string> texts, questions;
        for (const auto& m : wizard.pages.messages()) texts.push_back(m.text);
        for (const auto& q : wizard.pages.questions()) questions.push_back(q.text);
        EXPECT_EQ(texts, c.messages);
        if (!c.installed) EXPECT_EQ(questions, c.questions);  // an installation goes on to the test receipt's
        if (c.installed && !c.questions.empty()) EXPECT_EQ(questions.front(), c.questions.front());
        if (c.questions.empty())
            for (const auto& question : questions) EXPECT_EQ(question.find("says it is"), std::string::npos) << question;
        if (c.named && c.installed && c.questions.empty())
            EXPECT_EQ(questions.back(), "The test receipt was printed on RK-520P (IP_10.0.0.7).\n\nOpen the cash drawer too?");
        if (!c.installed && !c.named) EXPECT_TRUE(machine.callsOf("addTcpIpPort").empty());
    }
}

// A category's label is no port: Cancel after a search leaves the flag
// cleared, and a new page in category mode must not install on "COM".
TEST_F(PortPageTest, NeverInstallsOnACategoryLabel) {
    for (int englishFlag : {0, 1}) {
        SCOPED_TRACE(englishFlag);
        settings.englishFlag = englishFlag;
        host.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
            host.onNextShow(IDD_PORT, [](FakeDialog& port) {
                port.click(IDC_PORT_SEARCH);
                port.click(IDC_PORT_CANCEL);
            });
            d.click(IDC_SET_NEXT);
            host.onNextShow(IDD_PORT, [this](FakeDialog& port) {
                port.clickListRow(IDC_PORT_LIST, 0);
                port.click(IDC_PORT_INSTALL);
                EXPECT_FALSE(port.ended());
                // The network row asks for the address instead.
                host.onNextShow(IDD_NETWORK, [](FakeDialog& network) { network.click(IdCancel); });
                port.clickListRow(IDC_PORT_LIST, 2);
                port.click(IDC_PORT_INSTALL);
                EXPECT_FALSE(port.ended());
                port.click(IDC_PORT_BACK);
            });
            d.click(IDC_SET_NEXT);
            EXPECT_TRUE(settings.portSearchPending);
            d.click(IDC_SET_EXIT);
        });
        PrinterSettingsPage page(context);
        host.runModal(page);
        EXPECT_TRUE(platform.printers().empty());
        EXPECT_TRUE(platform.callsOf("copyFile").empty());
        ASSERT_EQ(host.messages().size(), englishFlag ? 2u : 1u);
        EXPECT_EQ(host.messages().back().icon, MessageIcon::Exclamation);
        EXPECT_EQ(
            host.messages().back().text,
            englishFlag
                ? "There is no port to install the printer on. Please click \"Search Port...\", then select a port."
                : "没有可用于安装打印机的端口。请点击“搜索端口...”，然后选择一个端口。");
    }
}

TEST_F(PortPageTest, Wow64InstallsThe64BitProfile) {
    platform.setWow64Answer(1);
    platform.setPorts({{"USB001", ""}});
    runWizardFromSettings([](FakeDialog& d) { d.click(IDC_PORT_INSTALL); });
    const auto directory = platform.callsOf("printerDriverDirectory");
    ASSERT_EQ(directory.size(), 1u);
    EXPECT_EQ(directory[0].args[0], "Windows x64");
    EXPECT_TRUE(platform.findDriver("Windows x64", "RK-520P"));
}

// What the settings page says after Install, by outcome, language, Windows
// version and the way the port was chosen; its lines go to the log as well.
TEST_F(PortPageTest, ReportAfterInstallation) {
    using Prepare = std::function<void(FakePlatform&)>;
    struct Shown {
        int templateId;
        std::string text;
        MessageIcon icon;
    };
    struct Row {
        const char* name;
        int englishFlag;
        int osCode;
        Prepare prepare;
        std::vector<Shown> shown;
        bool asDefault = false;  // "Set As Default Printer" checked
        const char* pick = nullptr;  // the port chosen after Search Port; else the USB row
    };
    const MessageIcon none = MessageIcon::None, exclamation = MessageIcon::Exclamation;
    const int settings = IDD_PRINTER_SETTINGS;
    const Prepare driverRefused = [](FakePlatform& m) { m.failAlways("addPrinterDriver", winerr::AccessDenied); };
    const Prepare existing = [](FakePlatform& m) { m.seedPrinter({"RK-520P", "USB009", "RK-520P", "WinPrint", "RAW"}); };
    const Prepare serialOnly = [](FakePlatform& m) {
        m.setPorts({{"COM1:", "Local Port"}, {"COM2:", "Local Port"}, {"LPT1:", "Local Port"}});
        m.seedString(RegRoot::LocalMachine, kSerialDeviceKey, "\\Device\\Serial1", "COM2");
    };
    const Prepare deviceRefused = [](FakePlatform& m) {
        m.seedKey(RegRoot::CurrentUser, kDeviceKey);
        m.failWhen("regSetString", [](const std::vector<std::string>& a) { return a[1] == "Device"; },
                   winerr::AccessDenied);
    };
    const Row rows[] = {
        {"success, Chinese", 0, 8, {}, {{settings, "驱动安装完成\n端口：USB001（未找到已连接的 USB 打印机：第一个 USB 端口）", none}}},
        {"success, English, Windows 2000", 1, 4, {},
         {{settings, "Driver installation completed\nPort: USB001 (no connected USB printer was found: the first USB port)",
           none}}},
        {"the connected printer, NT 4.0", 1, 3,
         [](FakePlatform& m) { m.setUsbPrinterInterfaces({{"USB", 1, "USB\\VID_5A5A&PID_0730\\A", true, ""}}); },
         {{settings, "Driver installation completed\nPort: USB001 (the only USB port with a connected printer)", none}}},
        {"no USB port, Windows 8", 0, 9, serialOnly, {{settings, "驱动安装完成\n端口：COM2:（没有 USB 端口：第一个串行端口）", none}}},
        {"no USB port, English", 1, 9, serialOnly,
         {{settings, "Driver installation completed\nPort: COM2: (no USB port: the first serial port)", none}}},
        {"LPT only", 1, 8, [](FakePlatform& m) { m.setPorts({{"LPT2:", "Local Port"}}); },
         {{settings, "Driver installation completed\nPort: LPT2: (no USB or serial port: the first parallel port)", none}}},
        {"LPT only, Chinese", 0, 8, [](FakePlatform& m) { m.setPorts({{"LPT2:", "Local Port"}}); },
         {{settings, "驱动安装完成\n端口：LPT2:（没有 USB 端口和串行端口：第一个并行端口）", none}}},
        {"chosen in the list", 0, 8, serialOnly, {{settings, "驱动安装完成\n端口：LPT1:", none}}, false, "LPT1:"},
        {"success on an unrecognised version", 1, 0, {}, {}},
        {"success on Windows 98", 0, 2, {}, {}},
        {"failure, English, unrecognised version", 1, 0, driverRefused,
         {{settings,
           "Driver installation failed:\nCould not install the printer driver RK-520P (error 5: Access is denied)\n"
           "The log: C:\\Kelp.log",
           exclamation}}},
        {"failure, Chinese", 0, 9, driverRefused,
         {{settings, "驱动安装失败：\n无法安装打印机驱动：RK-520P（错误 5：拒绝访问）\n日志：C:\\Kelp.log", exclamation}}},
        {"existing printer", 1, 8, existing,
         {{settings,
           "The printer \"RK-520P\" already exists: its driver was updated and its port left as it was.\n"
           "Port: USB009 (the printer's own port, kept)",
           none}}},
        {"existing printer, Chinese, another port chosen", 0, 8,
         [&](FakePlatform& m) {
             existing(m);
             serialOnly(m);
         },
         {{settings, "打印机“RK-520P”已存在：已更新其驱动，并从 USB009 移到 COM1:。\n端口：COM1:（从 USB009 移来）", none}},
         false, "COM1:"},
        {"the Device value refused: told at once on the port page, then in the report", 1, 8, deviceRefused,
         {{IDD_PORT, "错误：无法设置有关的注册表信息", exclamation},
          {settings,
           "The printer \"RK-520P\" was installed, but these settings could not be made:\n"
           "Could not make the printer the default printer: Device (error 5: Access is denied)\n"
           "Port: USB001 (no connected USB printer was found: the first USB port)\nThe log: C:\\Kelp.log",
           exclamation}},
         true},
        {"an existing printer, the Device value refused: one message", 1, 8,
         [&](FakePlatform& m) {
             existing(m);
             deviceRefused(m);
         },
         {{IDD_PORT, "错误：无法设置有关的注册表信息", exclamation},
          {settings,
           "The printer \"RK-520P\" already exists: its driver was updated and its port left as it was, but these "
           "settings could not be made:\nCould not make the printer the default printer: Device (error 5: Access is "
           "denied)\nPort: USB009 (the printer's own port, kept)\nThe log: C:\\Kelp.log",
           exclamation}},
         true},
        {"a printer of the name on another driver", 1, 8,
         [](FakePlatform& m) { m.seedPrinter({"RK-520P", "LPT1:", "Generic / Text Only", "WinPrint", "RAW"}); },
         {{settings,
           "The printer \"RK-520P\" could not be installed: a printer of this name exists and uses the driver "
           "\"Generic / Text Only\".\nThe driver RK-520P itself is registered.\nRemove the printer \"RK-520P\" in "
           "Windows' printer settings, or run Kelp.exe /uninstall /model:RK-520P, then install again.\n"
           "The log: C:\\Kelp.log",
           exclamation}}},
        {"a printer of the name on another driver, Chinese", 0, 8,
         [](FakePlatform& m) { m.seedPrinter({"RK-520P", "LPT1:", "Generic / Text Only", "WinPrint", "RAW"}); },
         {{settings,
           "无法安装打印机“RK-520P”：已有同名打印机，使用驱动“Generic / Text Only”。\n驱动 RK-520P 本身已注册。\n"
           "请在 Windows 的打印机设置中删除打印机“RK-520P”，或运行 Kelp.exe /uninstall /model:RK-520P，然后重新安装。\n"
           "日志：C:\\Kelp.log",
           exclamation}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FreshWizard wizard;
        FakePlatform& machine = wizard.machine;
        RunLog log(machine, "C:\\Kelp.log");
        wizard.app.log = &log;
        machine.setPorts({{"USB001", ""}});
        if (row.prepare) row.prepare(machine);
        wizard.state.englishFlag = row.englishFlag;
        wizard.state.osCode = row.osCode;
        EXPECT_EQ(wizard.runFromSettings(
                      [&row](FakeDialog& port) {
                          if (row.pick) {
                              port.click(IDC_PORT_SEARCH);
                              for (int i = 0; i < port.listRowCount(IDC_PORT_LIST); ++i)
                                  if (port.listCell(IDC_PORT_LIST, i, 0) == row.pick) port.clickListRow(IDC_PORT_LIST, i);
                          }
                          port.click(IDC_PORT_INSTALL);
                      },
                      [&row](FakeDialog& d) { d.setCheck(IDC_SET_DEFAULT, row.asDefault); }),
                  PageOk);
        const auto& shown = wizard.pages.messages();
        ASSERT_EQ(shown.size(), row.shown.size());
        for (std::size_t i = 0; i < shown.size(); ++i) {
            EXPECT_EQ(shown[i].templateId, row.shown[i].templateId) << i;
            EXPECT_EQ(shown[i].text, row.shown[i].text) << i;
            EXPECT_EQ(shown[i].icon, row.shown[i].icon) << i;
        }
        // The test receipt is offered after an installation that succeeded, in
        // the page's language, and No prints nothing.
        const bool succeeded = std::none_of(row.shown.begin(), row.shown.end(),
                                            [](const auto& box) { return box.icon == exclamation; });
        ASSERT_EQ(wizard.pages.questions().size(), succeeded ? 1u : 0u);
        if (succeeded)
            EXPECT_EQ(wizard.pages.questions()[0].text, row.englishFlag ? "Print a test receipt now?" : "现在打印一张测试小票吗？");
        EXPECT_TRUE(machine.rawJobs().empty());
        // Each line of the report, but the one naming the log, is a line of the log.
        if (row.shown.empty()) continue;
        const std::string text = row.shown.back().text, logged = machine.fileContents("C:\\Kelp.log").value_or("");
        for (std::size_t start = 0, end = 0; start < text.size(); start = end + 1) {
            end = std::min(text.find('\n', start), text.size());
            const std::string line = text.substr(start, end - start);
            if (line.rfind("The log: ", 0) == 0 || line.rfind("日志：", 0) == 0) continue;
            EXPECT_NE(logged.find(" " + line + "\r\n"), std::string::npos) << line;
        }
    }
}

// Install takes the command line's mutex: while another run holds it the
// page says so and installs nothing; a failure's message ends with the log.
// No box waits for a click while the mutex is held, and an exception in the
// installation gives it back.
TEST_F(PortPageTest, OneRunAtATimeAndTheLogNamedOnFailure) {
    settings.englishFlag = 1;
    int boxes = 0;
    host.onMessageBox([&](const MessageBoxRecord& box) {
        ++boxes;
        EXPECT_EQ(platform.heldMutexes(), std::vector<std::string>{}) << box.text;
    });
    platform.setPorts({{"COM1:", "Local Port"}, {"LPT1:", "Local Port"}});
    platform.seedString(RegRoot::LocalMachine, kSerialDeviceKey, "\\Device\\Serial0", "COM1");
    platform.setPrivateMutexError(winerr::AccessDenied);
    // After "try again later" the same click installs, once the other run is over.
    runWizardFromSettings([this](FakeDialog& d) {
        d.click(IDC_PORT_INSTALL);
        EXPECT_FALSE(d.ended());
        EXPECT_TRUE(platform.callsOf("copyFile").empty());
        EXPECT_TRUE(platform.callsOf("enumPorts").empty());
        EXPECT_TRUE(platform.callsOf("acquireNamedMutex").empty());
        EXPECT_TRUE(d.listRowSelected(IDC_PORT_LIST, 1));
        EXPECT_EQ(d.focus(), IDC_PORT_INSTALL);  // back where it was before the pass
        platform.setPrivateMutexError(winerr::Success);
        d.click(IDC_PORT_INSTALL);
        EXPECT_TRUE(d.ended());
    });
    EXPECT_EQ(messageTexts(), std::vector<std::string>({"Another Kelp installation, removal or test receipt is running; "
                                                        "nothing was changed. Please try again later.",
                                                        "Driver installation completed\nPort: COM1: (no USB port: the first serial port)"}));
    EXPECT_EQ(platform.findPrinter("RK-520P").value_or(PrinterInfo2{}).portName, "COM1:");
    EXPECT_TRUE(platform.heldMutexes().empty());
    EXPECT_EQ(boxes, 2);

    // No port to pick, the reminder, the registry's refusal and the report:
    // none while held.
    FreshWizard boxed;
    boxed.machine.seedKey(RegRoot::CurrentUser, kDeviceKey);
    boxed.machine.failWhen("regSetString", [](const std::vector<std::string>& a) { return a[1] == "Device"; }, 5);
    std::vector<std::string> whileHeld;
    boxed.pages.onMessageBox([&](const MessageBoxRecord& box) {
        whileHeld.push_back(boxed.machine.heldMutexes().empty() ? "" : box.text);
    });
    boxed.runFromSettings(
        [](FakeDialog& port) {
            port.click(IDC_PORT_INSTALL);  // COM ports, but no serial device
            port.clickListRow(IDC_PORT_LIST, 0);
            port.click(IDC_PORT_INSTALL);
            port.click(IDC_PORT_SEARCH);
            port.clickListRow(IDC_PORT_LIST, 5);
            port.click(IDC_PORT_INSTALL);
        },
        [](FakeDialog& d) { d.setCheck(IDC_SET_DEFAULT, true); });
    EXPECT_EQ(whileHeld, std::vector<std::string>(4, ""));
    EXPECT_EQ(boxed.machine.callsOf("releaseNamedMutex").size(), 2u);

    // An exception in the installation leaves the handler without the mutex.
    struct Throwing : FakePlatform {
        WinError copyFile(const std::string&, const std::string&, bool) override { throw std::runtime_error("copy"); }
    } thrower;
    thrower.createSamplePackage();
    thrower.setPorts({{"USB001", ""}});
    FakeDialogHost pages;
    InstallSettings state;
    FakeNetwork net;
    FakeSerialPorts serial;
    AppContext app{thrower, pages, state, net, serial};
    PrinterSettingsPage page(app);
    pages.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
        pages.onNextShow(IDD_PORT, [](FakeDialog& port) { port.click(IDC_PORT_INSTALL); });
        d.click(IDC_SET_NEXT);
    });
    EXPECT_THROW(pages.runModal(page), std::runtime_error);
    EXPECT_EQ(thrower.callsOf("acquirePrivateMutex").size(), 1u);
    EXPECT_TRUE(thrower.heldMutexes().empty());
    // A mutex refused for another reason stops the installation, as on the
    // command line: nothing installed, nothing released, the page stays.
    FreshWizard denied;
    denied.state.englishFlag = 1;
    denied.machine.setPorts({{"USB001", ""}});
    denied.machine.failNext("acquirePrivateMutex", 120);
    denied.machine.failNext("acquireNamedMutex", 5);
    denied.runFromSettings([](FakeDialog& port) {
        port.click(IDC_PORT_INSTALL);
        EXPECT_FALSE(port.ended());
        port.click(IDC_PORT_CANCEL);
    });
    EXPECT_FALSE(denied.machine.findPrinter("RK-520P"));
    EXPECT_TRUE(denied.machine.callsOf("releaseNamedMutex").empty());
    ASSERT_EQ(denied.pages.messages().size(), 1u);
    EXPECT_EQ(denied.pages.messages()[0].text, "The installation could not start (error 5).\nNothing was installed.");

    // A log that could not be written is not named.
    for (const char* folder : {"C:\\users\\kelp\\Temp", "C:\\gone"}) {
        FreshWizard wizard;
        wizard.state.englishFlag = 1;
        wizard.machine.setTempDirectory("C:\\users\\kelp\\Temp");
        RunLog log(wizard.machine, std::string(folder) + "\\Kelp.log");
        wizard.app.log = &log;
        wizard.machine.setPorts({{"USB001", ""}});
        wizard.machine.failAlways("addPrinterDriver", winerr::AccessDenied);
        wizard.runFromSettings([](FakeDialog& port) { port.click(IDC_PORT_INSTALL); });
        ASSERT_EQ(wizard.pages.messages().size(), 1u);
        const std::string& text = wizard.pages.messages()[0].text;
        EXPECT_EQ(text.substr(text.rfind('\n')), log.written() ? "\nThe log: C:\\users\\kelp\\Temp\\Kelp.log"
                                                               : "\nCould not install the printer driver RK-520P (error 5: Access is denied)")
            << folder;
        EXPECT_EQ(log.written(), std::string(folder) != "C:\\gone");
        EXPECT_TRUE(wizard.machine.heldMutexes().empty());
        // The wizard's log: the port and why, the choices, the outcome.
        if (log.written()) {
            const std::string logged = wizard.machine.fileContents(log.path()).value_or("");
            for (const char* line : {" install RK-520P, English edition, port USB001, not the default printer, Windows NT x86\r\n",
                                     " automatic port USB001: no connected USB printer was found: the first USB port\r\n",
                                     " outcome: failed, 1 step failed\r\n"})
                EXPECT_NE(logged.find(line), std::string::npos) << line << logged;
        }
    }
}

}  // namespace
}  // namespace kelp

namespace kelp {
namespace {

// Yes prints the command line's test receipt, the printer asked first where
// its port allows; one box says what came of it and what to do.
TEST(TestReceiptOffer, YesPrintsAndOneBoxSaysWhatCameOfIt) {
    struct Row {
        const char* name;
        int englishFlag;
        const char* answers;  // the network printer's, or none: a USB printer
        std::function<void(FakePlatform&)> prepare;
        std::size_t jobs;
        std::string box;
        MessageIcon icon;
        int bar = 0;  // where the bar stopped: 1 % after half a second of 30 s
        std::vector<bool> yes = {true};  // the person's answers to the questions
        std::string drawerBox = {};  // after Yes to the drawer (the last answer)
        int drawerPin = -1;          // the network printer's drawer: the m it opens at
        std::string kicks = {};      // what reached the network printer's drawer
    };
    const std::string neither =
        "引脚 2 和引脚 5 都已发送开钱箱信号，但钱箱传感器状态都未改变。请检查：钱箱连接线插在打印机的钱箱接口（RJ11/RJ12）上，"
        "钱箱未上锁；没有传感器连线的钱箱不会报告状态，请查看钱箱是否已打开。";
    const auto paperEmpty = [](FakePlatform& m) { m.setUsbPrinterStatus("USB001", {0x38, 0}); };
    const auto endFails = [](FakePlatform& m) { m.failNext("endRawDocument", winerr::AccessDenied); };
    const Row rows[] = {
        {"printed", 1, nullptr, {}, 1, "The test receipt was printed on RK-520P (USB001).", MessageIcon::None, 0,
         {true, false}},
        {"followed while it is queued", 0, nullptr, [](FakePlatform& m) { m.scriptJobStates({0, 0, std::nullopt}); }, 1,
         "测试小票已在 RK-520P（USB001）上打印。", MessageIcon::None, 1, {true, false}},
        {"paper out", 0, "\x16\x12\x12\x72", {}, 0,
         "未打印测试小票：打印机 RK-520P（IP_10.0.0.7）报告：缺纸。\n请装入新纸卷并合上上盖，然后再次运行 Kelp 打印测试小票。"
         "\n日志：C:\\Kelp.log",
         MessageIcon::Exclamation},
        {"cover open", 1, "\x16\x16\x12\x12", {}, 0,
         "The test receipt was not printed: the printer RK-520P (IP_10.0.0.7) reports cover open.\nClose the printer's "
         "cover, then run Kelp again to print a test receipt.\nThe log: C:\\Kelp.log",
         MessageIcon::Exclamation},
        {"another device at the address", 0, "HTTP", {}, 0,
         "未打印测试小票：打印机 RK-520P（IP_10.0.0.7）报告：不是小票打印机（应答的不是打印机状态）。\n"
         "请检查打印机的地址（打印机自检页上有），然后用正确的地址重新安装。\n日志：C:\\Kelp.log",
         MessageIcon::Exclamation},
        {"the job failed", 1, nullptr, endFails, 0,
         "The test receipt was not printed: EndDocPrinter failed (error 5).\nAccess is denied\nCheck that the printer is "
         "connected to this computer by its USB cable and switched on, then run Kelp again to print a test receipt.\n"
         "The log: C:\\Kelp.log",
         MessageIcon::Exclamation},
        {"the job failed, in Chinese", 0, nullptr, endFails, 0,
         "测试小票未能打印：EndDocPrinter 失败（错误 5）。\n拒绝访问\n请检查打印机是否已用 USB 线连接到本电脑并已开机，然后再次运行 Kelp "
         "打印测试小票。\n日志：C:\\Kelp.log",
         MessageIcon::Exclamation},
        // A printer that gives no status: asked, then sent only on Yes, and
        // never "printed", even though its job left the queue.
        {"no status, sent anyway", 1, "", {}, 1,
         "The test receipt was sent to RK-520P (IP_10.0.0.7), but the printer gives no status: it cannot be told whether "
         "it printed. Look at the printer for the receipt.",
         MessageIcon::None, 0, {true, true}},
        {"no status, not sent", 0, "", {}, 0, "", MessageIcon::None, 0, {true, false}},
        // The outcome box asks about the cash drawer: pin 2, then pin 5
        // where the sensor did not change.
        {"drawer on pin 5", 1, "\x12\x12\x12\x12", {}, 1, "The test receipt was printed on RK-520P (IP_10.0.0.7).",
         MessageIcon::None, 0, {true, true}, "The cash drawer opened (pin 5): its sensor changed.", 1,
         std::string("\0\1", 2)},
        {"drawer on pin 2", 1, "\x12\x12\x12\x12", {}, 1, "The test receipt was printed on RK-520P (IP_10.0.0.7).",
         MessageIcon::None, 0, {true, true}, "The cash drawer opened (pin 2): its sensor changed.", 0,
         std::string("\0", 1)},
        {"drawer without a sensor", 0, "\x12\x12\x12\x12", {}, 1, "测试小票已在 RK-520P（IP_10.0.0.7）上打印。",
         MessageIcon::Exclamation, 0, {true, true}, neither, -1, std::string("\0\1", 2)},
        {"drawer not asked for", 1, "\x12\x12\x12\x12", {}, 1, "The test receipt was printed on RK-520P (IP_10.0.0.7).",
         MessageIcon::None, 0, {true, false}, "", 0, ""},
        {"drawer of a USB printer", 1, nullptr, {}, 2, "The test receipt was printed on RK-520P (USB001).",
         MessageIcon::None, 0, {true, true}, "The kick (pin 2) was sent to RK-520P (USB001) as a job of its own: look at the drawer."},
        // Paper empty on the USB interface: printed only on Yes.
        {"USB paper empty, printed anyway", 1, nullptr, paperEmpty, 1, "The test receipt was printed on RK-520P (USB001).",
         MessageIcon::None, 0, {true, true, false}},
        {"USB paper empty, not sent", 0, nullptr, paperEmpty, 0, "", MessageIcon::None, 0, {true, false}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FreshWizard wizard;
        FakePlatform& machine = wizard.machine;
        RunLog log(machine, "C:\\Kelp.log");
        wizard.app.log = &log;
        wizard.state.englishFlag = row.englishFlag;
        machine.setPorts({{"USB001", ""}});
        machine.installTcpIpMonitor();
        FakeNetwork::Host host{ConnectOutcome::Connected, row.answers ? row.answers : "", false, 0, 1, 900};
        host.drawerPin = row.drawerPin;
        if (row.answers) wizard.net.setHost(0x0A000007, host);
        machine.setUsbPrinterStatus("USB001", {0x18, 0});  // paper in, selected, no error
        if (row.prepare) row.prepare(machine);
        wizard.pages.answerQuestions(row.yes);
        wizard.runFromSettings([&](FakeDialog& port) {
            if (row.answers) {
                wizard.pages.onNextShow(IDD_NETWORK, [](FakeDialog& network) {
                    network.setText(IDC_NET_ADDRESS, "10.0.0.7");
                    network.click(IdOk);
                });
                port.clickListRow(IDC_PORT_LIST, 2);
            }
            port.click(IDC_PORT_INSTALL);
        }, [&](FakeDialog& settings) {
            // While the receipt runs: the About box, Esc, the close box and Next wait for it.
            settings.whenPumped([&](FakeDialog& w) {
                // While a network printer is asked, the note line says so.
                if (row.answers)
                    EXPECT_EQ(w.text(IDC_SET_NOTE), row.englishFlag ? "Asking the printer at 10.0.0.7:9100 ..."
                                                                     : "正在询问打印机 10.0.0.7:9100 ……");
                EXPECT_TRUE(w.systemMenuCommand(IDM_ABOUTBOX));
                w.pressEsc();
                w.closeBox();
                w.sendCommand(IDC_SET_NEXT, 0);
            });
        });
        ASSERT_EQ(wizard.pages.questions().size(), row.yes.size());
        if (std::string(row.name).rfind("USB paper", 0) == 0 && row.yes.size() > 1)
            EXPECT_EQ(wizard.pages.questions()[1].text,
                      row.englishFlag ? "The USB printer RK-520P (USB001) reports that it is out of paper. Some USB "
                                        "interfaces report this wrongly.\nIf the paper is in, print the test receipt anyway?"
                                      : "USB 打印机 RK-520P（USB001）报告缺纸。有些 USB 接口会误报缺纸。\n如确认已装好纸，仍要打印测试小票吗？");
        else if (row.yes.size() > 1 && std::string(row.name).rfind("no status", 0) == 0)
            EXPECT_EQ(wizard.pages.questions()[1].text,
                      row.englishFlag
                          ? "The printer RK-520P (IP_10.0.0.7) does not answer status requests, so it cannot be told "
                            "whether it can print. Check first that it is switched on, that its cable or network is "
                            "connected, and its address.\nSend the test receipt anyway?"
                          : "打印机 RK-520P（IP_10.0.0.7）不回答状态询问，无法知道它能否打印。请先检查：打印机已开机，"
                            "连接线或网络已连接，地址正确。\n仍要发送测试小票吗？");
        EXPECT_EQ(machine.rawJobs().size(), row.jobs);
        if (row.jobs == 2) EXPECT_EQ(machine.rawJobs().back().bytes, std::string("\x1bp\x00\x19\xfa", 5));
        EXPECT_EQ(wizard.net.kicksTo(0x0A000007), row.kicks);
        const auto& shown = wizard.pages.messages();
        ASSERT_FALSE(shown.empty());
        // A receipt that printed: its box is the drawer's question.
        const bool printed = row.icon == MessageIcon::None && !row.box.empty() && row.name[0] != 'n';
        if (printed || !row.drawerBox.empty())
            EXPECT_EQ(wizard.pages.questions().back().text,
                      row.box + (row.englishFlag ? "\n\nOpen the cash drawer too?" : "\n\n同时打开钱箱吗？"));
        if (row.box.empty() || ((printed || !row.drawerBox.empty()) && row.drawerBox.empty())) {
            // No: nothing more is said than the installation's box
            EXPECT_EQ(shown.back().text.find("test receipt"), std::string::npos);
            EXPECT_EQ(shown.back().text.find("drawer"), std::string::npos);
            continue;
        }
        EXPECT_EQ(shown.back().text, row.drawerBox.empty() ? row.box : row.drawerBox);
        EXPECT_EQ(shown.back().icon, row.icon);
        EXPECT_EQ(shown.back().templateId, IDD_PRINTER_SETTINGS);
        const FakeDialog& settings = wizard.pages.lastDialog(IDD_PRINTER_SETTINGS);
        EXPECT_FALSE(settings.isVisible(1025)) << "the bar is hidden again";
        EXPECT_EQ(settings.progressPosition(1025), row.bar);
        if (row.answers) EXPECT_GE(settings.pumpCount(), 9) << "the window answers while the printer takes 0.9 s";
        EXPECT_EQ(settings.endCount(), 1);
        EXPECT_TRUE(settings.isEnabled(IDC_SET_EXIT));
        EXPECT_TRUE(machine.heldMutexes().empty());
    }
}

}  // namespace
}  // namespace kelp

namespace kelp {
namespace {

// The receipt finds no printer at the network printer's address: the wizard
// looks for it on this computer's networks, the bar moving and the buttons
// waiting. One printer of the model elsewhere is offered (Yes moves the
// printer to a port for it and prints there; No changes nothing); several
// are named; none, or another model, leaves the box as it was.
TEST(TestReceiptOffer, APrinterThatMovedIsLookedForElsewhere) {
    const auto named = [](const char* model, const char* serial) { return FakeNetwork::NamedPrinter(model, "Kelp Test", serial); };
    struct Row {
        const char* name;
        int englishFlag;
        std::vector<std::pair<Ipv4, FakeNetwork::Host>> printers;
        std::vector<bool> yes;
        const char* port;  // the printer's afterwards
        bool newPort;      // IP_10.0.0.23 exists afterwards
        std::size_t jobs;
        std::string question;  // the second one; empty: none
        std::string box;
        std::function<void(FakePlatform&)> prepare = {};
        const char* logged = " moved printer search: ";  // in the log
        bool withLog = true;
    };
    const std::string moveEn =
        "The printer RK-520P (IP_10.0.0.7) does not answer at 10.0.0.7:9100.\nOn this computer's networks a printer "
        "that names itself RK-520P answers at 10.0.0.23, serial number: SN23 (compare it with the serial number on the "
        "printer's self-test page).\nMove the printer RK-520P to 10.0.0.23 and print the test receipt there?";
    const std::string notPrintedEn =
        "The test receipt was not printed: the printer RK-520P (IP_10.0.0.7) reports no answer.\nSwitch the printer on "
        "and check its cable or network connection and its address, then run Kelp again to print a test receipt.";
    const std::string notPrintedZh =
        "未打印测试小票：打印机 RK-520P（IP_10.0.0.7）报告：无应答。\n请打开打印机电源，检查连接线或网络连接及地址，然后再次运行 Kelp 打印测试小票。";
    const Row rows[] = {
        {"one of the model, Yes", 1, {{0x0A000017, named("RK-520P", "SN23")}, {0x0A000018, named("MZ730P", "SN24")}},
         {true, true}, "IP_10.0.0.23", true, 1, moveEn, "The test receipt was printed on RK-520P (IP_10.0.0.23).", {},
         " moved printer: yes, moved to 10.0.0.23\r\n"},
        // The move's own failure is its box; no receipt goes anywhere.
        {"one of the model, Yes, its port not made", 1, {{0x0A000017, named("RK-520P", "SN23")}}, {true, true},
         "IP_10.0.0.7", false, 0, moveEn,
         "The port for 10.0.0.23:9100 could not be made (error 5: Access is denied).\nNothing was installed.",
         [](FakePlatform& m) {
             m.failWhen("addTcpIpPort", [](const std::vector<std::string>& args) { return args[0] == "IP_10.0.0.23"; }, 5);
         },
         "", false},
        {"one of the model, No", 0, {{0x0A000017, named("RK520P", "")}}, {true, false}, "IP_10.0.0.7", false, 0,
         "打印机 RK-520P（IP_10.0.0.7）在 10.0.0.7:9100 上没有回答。\n本机所在的网络中，10.0.0.23 上有一台自称 RK520P "
         "的打印机回答，序列号：未提供（请与打印机自检页上的序列号核对）。\n要把打印机 RK-520P 改到 10.0.0.23 并在那里打印测试小票吗？",
         notPrintedZh + "\n日志：C:\\Kelp.log", {}, " moved printer: no, nothing changed\r\n"},
        {"several", 1, {{0x0A000017, named("RK-520P", "SN23")}, {0x0A000005, named("RK-520P", "SN5")}}, {true},
         "IP_10.0.0.7", false, 0, "",
         notPrintedEn + "\nPrinters of this model answer at other addresses on this computer's networks:\n10.0.0.5, "
                        "serial number: SN5\n10.0.0.23, serial number: SN23\nCompare their serial numbers with the one on "
                        "the printer's self-test page, then install the printer again with the right address.\nThe log: "
                        "C:\\Kelp.log"},
        {"another model only", 0, {{0x0A000017, named("RK-520PW", "SN23")}}, {true}, "IP_10.0.0.7", false, 0, "",
         notPrintedZh + "\n日志：C:\\Kelp.log"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FreshWizard wizard;
        FakePlatform& machine = wizard.machine;
        RunLog log(machine, "C:\\Kelp.log");
        wizard.app.log = row.withLog ? &log : nullptr;
        wizard.state.englishFlag = row.englishFlag;
        machine.setPorts({{"USB001", ""}});
        machine.installTcpIpMonitor();
        wizard.net.setAdapters({{{0x0A000009, 24}}, 0});
        for (const auto& [address, host] : row.printers) wizard.net.setHost(address, host);
        if (row.prepare) row.prepare(machine);
        wizard.pages.answerQuestions(row.yes);
        std::set<std::string> searchNotes;  // the note line while the search runs, the buttons, the bar, the lock
        wizard.runFromSettings(
            [&](FakeDialog& port) {
                wizard.pages.onNextShow(IDD_NETWORK, [](FakeDialog& network) {
                    network.setText(IDC_NET_ADDRESS, "10.0.0.7");
                    network.click(IdOk);
                });
                port.clickListRow(IDC_PORT_LIST, 2);
                port.click(IDC_PORT_INSTALL);
            },
            [&](FakeDialog& settings) {
                for (int i = 0; i < 400; ++i)
                    settings.whenPumped([&](FakeDialog& w) {
                        const std::string note = w.text(IDC_SET_NOTE);
                        if (note.find("10.0.0.7:9100") != std::string::npos && note.find("Asking") == std::string::npos &&
                            note.find("询问") == std::string::npos)
                            searchNotes.insert(note + (w.isEnabled(IDC_SET_NEXT) ? " next" : "") +
                                               (w.isVisible(1025) ? " bar" : "") +
                                               (machine.heldMutexes().empty() ? "" : " locked"));
                    });
            });
        EXPECT_EQ(searchNotes, (std::set<std::string>{
                                   row.englishFlag ? "No printer answers at 10.0.0.7:9100: looking for it on this "
                                                     "computer's networks ... bar"
                                                   : "10.0.0.7:9100 上没有打印机回答，正在本机所在的网络中查找这台打印机…… bar"}));
        // A receipt that printed is told in the cash drawer's question (No).
        const bool printed = row.jobs > 0;
        ASSERT_EQ(wizard.pages.questions().size(), row.yes.size() + (printed ? 1 : 0));
        if (!row.question.empty()) EXPECT_EQ(wizard.pages.questions()[1].text, row.question);
        const auto printer = machine.findPrinter("RK-520P");
        ASSERT_TRUE(printer);
        EXPECT_EQ(printer->portName, row.port);
        EXPECT_EQ(machine.findTcpIpPort("IP_10.0.0.23").has_value(), row.newPort);
        EXPECT_TRUE(machine.findTcpIpPort("IP_10.0.0.7").has_value());
        EXPECT_EQ(machine.rawJobs().size(), row.jobs);
        ASSERT_FALSE(wizard.pages.messages().empty());
        if (printed)
            EXPECT_EQ(wizard.pages.questions().back().text, row.box + "\n\nOpen the cash drawer too?");
        else
            EXPECT_EQ(wizard.pages.messages().back().text, row.box);
        EXPECT_EQ(wizard.pages.messages().size(), printed ? 1u : 2u) << "the installation's box and the receipt's";
        EXPECT_TRUE(machine.heldMutexes().empty());
        EXPECT_NE(machine.fileContents("C:\\Kelp.log").value_or("").find(row.logged), std::string::npos);
        const FakeDialog& settings = wizard.pages.lastDialog(IDD_PRINTER_SETTINGS);
        EXPECT_FALSE(settings.isVisible(1025));
        EXPECT_EQ(settings.progressRange(1025), (std::pair<int, int>{0, 100}));
        EXPECT_TRUE(settings.isEnabled(IDC_SET_NEXT));
    }
}

}  // namespace
}  // namespace kelp
