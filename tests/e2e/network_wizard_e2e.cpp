// The wizard's network row under Wine, in the language of the locale: the
// network printer dialog, a bad address, Find over the adapters' networks
// and an installation on the found printer's TCP/IP port. The scenario runs
// in a network namespace of its own (run-scenario.sh) with the tests' port
// monitor as "Standard TCP/IP Port", an adapter 10.77.0.1/24 and four fake
// printers on its network: 10.77.0.10 ready (its cash drawer on pin 5), naming itself TP-80 (none of
// the models), 10.77.0.20 out of paper (it would name itself RK-730P, but is
// not asked), 10.77.0.30 never answers a status request, 10.77.0.40 ready,
// naming itself rk730pn (RK-730PN). Each printer's .ids file has a line per
// GS I request it received.

#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Flows.h"
#include "Installation.h"
#include "Machine.h"
#include "WizardDriver.h"

using namespace e2e;

namespace {

class NetworkWizard : public ::testing::Test {
protected:
    const Scenario& scenario = Scenario::current();
    const int language = defaultLanguageRow();
    bool chinese() const { return language == kChinese; }

    void SetUp() override {
        if (scenario.win64()) GTEST_SKIP() << "the tests' port monitor is 32-bit";
        ASSERT_FALSE(scenario.packageRoot.empty()) << "KELP_E2E_PACKAGE is not set";
        ASSERT_TRUE(resetMachine());
    }
};

// The ports of the spooler whose monitor is the one named.
std::vector<std::string> portsOfMonitor(const std::wstring& monitor) {
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    std::vector<std::string> names;
    if (!EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count)) return {"<EnumPortsW failed>"};
    const auto* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        if (ports[i].pMonitorName && monitor == ports[i].pMonitorName) names.push_back(utf8(ports[i].pPortName));
    return names;
}

}  // namespace

// The wizard to the network dialog, the model chosen and Install clicked on
// the network row; the port page is given back in port. Null on failure.
HWND openNetworkDialog(Wizard& wizard, int language, int modelRow, HWND& port) {
    const HWND settings = openSettings(wizard, language);
    if (!settings || !chooseModel(settings, modelRow, models()[modelRow].name)) return nullptr;
    port = openPortPage(wizard, settings);
    if (!port || !selectListRow(port, 1021, 2) || !click(port, 1022)) return nullptr;
    return wizard.waitFor(Page::Network);
}

// The wizard to the network dialog with the model chosen, the address
// typed and OK clicked.
bool installOnNetworkRow(Wizard& wizard, int language, int modelRow, const std::string& address) {
    HWND port = nullptr;
    const HWND network = openNetworkDialog(wizard, language, modelRow, port);
    return network && setText(GetDlgItem(network, 1034), address) && click(network, IDOK);
}

// Install on the network row opens the dialog; a bad address is told and
// the dialog stays; Find lists the two printers with their state, then the
// silent one, which it does not count; picking
// the ready one fills the field, OK installs on IP_10.77.0.10 and the
// completion message names the port and the printer's answer.
TEST_F(NetworkWizard, FindPickAndInstallOnTheFoundPrinter) {
    const Model& model = models()[3];
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    HWND port = nullptr;
    const HWND network = openNetworkDialog(wizard, language, 3, port);
    ASSERT_TRUE(network) << wizard.describe();
    shot(network, "network");

    ASSERT_TRUE(setText(GetDlgItem(network, 1034), "10.77.0.300"));
    ASSERT_TRUE(click(network, IDOK));
    std::string text;
    ASSERT_TRUE(takeMessage(wizard, text, "bad-address"));
    EXPECT_EQ(chinese() ? "打印机地址无效：IPv4 地址的每个数字都不能大于 255。"
                        : "The printer's address is not valid. No number of an IPv4 address is over 255.",
              text);
    EXPECT_TRUE(IsWindowVisible(network));

    ASSERT_TRUE(click(network, 1035));
    const std::string found = chinese() ? "找到 3 台打印机。点击一台打印机即可填入它的地址。"
                                        : "Found 3 printers. Click a printer to fill in its address.";
    EXPECT_TRUE(waitForItemText(network, 1038, found)) << itemText(network, 1038);
    // The model each says it is, as it says it; none from one that cannot print.
    const std::vector<std::vector<std::string>> rows = {
        {"10.77.0.10", chinese() ? "就绪" : "ready", "TP-80"},
        {"10.77.0.20", chinese() ? "缺纸" : "paper out", ""},
        {"10.77.0.40", chinese() ? "就绪" : "ready", "rk730pn"},
        {"10.77.0.30", chinese() ? "可连接，但不报告状态" : "answers without status (state unknown)", ""}};
    EXPECT_EQ(rows, listRows(network, 1036, 3));
    EXPECT_EQ("67\n66\n68\n", readFile(L"C:\\printers\\10.77.0.10_9100.ids"));
    EXPECT_EQ("", readFile(L"C:\\printers\\10.77.0.20_9100.ids") + readFile(L"C:\\printers\\10.77.0.30_9100.ids"));
    ASSERT_TRUE(selectListRow(network, 1036, 0));
    EXPECT_TRUE(waitForItemText(network, 1034, "10.77.0.10")) << itemText(network, 1034);
    shot(network, "found");

    ASSERT_TRUE(click(network, IDOK));
    ASSERT_TRUE(takeMessage(wizard, text, "completed"));
    EXPECT_EQ(chinese() ? "驱动安装完成\n端口：IP_10.77.0.10\n打印机：就绪"
                        : "Driver installation completed\nPort: IP_10.77.0.10\nPrinter: ready",
              text);
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    expectInstalled(model, "IP_10.77.0.10", language, profileFor(scenario));
    EXPECT_EQ(std::vector<std::string>{"IP_10.77.0.10"}, portsOfMonitor(L"Standard TCP/IP Port"));
    // Only the status requests went to the printers: nothing was printed.
    EXPECT_EQ("", readFile(L"C:\\printers\\10.77.0.10_9100.prn"));
    EXPECT_EQ("", readFile(L"C:\\printers\\10.77.0.20_9100.prn"));
}

// A printer of the model on COM1: moves to the network printer's new port
// when the network row is chosen, and the message says where it came from.
TEST_F(NetworkWizard, TheNetworkRowMovesAnExistingPrinter) {
    const Model& model = models()[2];
    ASSERT_TRUE(install({language, 2, false, "COM1:", ""}).finished);
    expectPrinter(model, "COM1:");
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    ASSERT_TRUE(installOnNetworkRow(wizard, language, 2, "10.77.0.10")) << wizard.describe();
    std::string text;
    ASSERT_TRUE(takeMessage(wizard, text, "moved"));
    EXPECT_EQ(chinese() ? "打印机“RK-730P”已存在：已更新其驱动，并从 COM1: 移到 IP_10.77.0.10。\n"
                          "端口：IP_10.77.0.10（从 COM1: 移来）\n打印机：就绪"
                        : "The printer \"RK-730P\" already existed: its driver was updated and it was moved from COM1: to "
                          "IP_10.77.0.10.\nPort: IP_10.77.0.10 (moved from COM1:)\nPrinter: ready",
              text);
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    expectPrinter(model, "IP_10.77.0.10");
    EXPECT_EQ(std::vector<std::string>{"IP_10.77.0.10"}, portsOfMonitor(L"Standard TCP/IP Port"));
}

// After the completion message the wizard offers a test receipt: Yes prints
// it on the ready printer and says so; the printer out of paper gets
// nothing, and the box says it has no paper. The printer that never answers
// gets it only when the person says Yes to the question that names it, and
// the box then does not say it printed; No sends nothing and shows nothing.
// The printed receipt's box asks about the cash drawer: Yes tries pin 2,
// whose kick leaves the sensor as it was, then pin 5, which opens it.
TEST_F(NetworkWizard, TheTestReceiptOfferedAfterTheInstallation) {
    const std::string silent =
        chinese() ? "打印机 RK-730P（IP_10.77.0.30）不回答状态询问，无法知道它能否打印。请先检查：打印机已开机，"
                    "连接线或网络已连接，地址正确。\n仍要发送测试小票吗？"
                  : "The printer RK-730P (IP_10.77.0.30) does not answer status requests, so it cannot be told whether "
                    "it can print. Check first that it is switched on, that its cable or network is connected, and its "
                    "address.\nSend the test receipt anyway?";
    struct Row {
        const char* address;
        const char* port;
        std::string box;  // empty: none
        bool printed;
        std::string question;  // asked before it is sent, answered with sendAnyway; empty: none
        bool sendAnyway;
        std::string drawer = {};  // the drawer's box after Yes to the question in the receipt's box; empty: none
    };
    const Row rows[] = {
        {"10.77.0.10", "IP_10.77.0.10",
         chinese() ? "测试小票已在 RK-730P（IP_10.77.0.10）上打印。" : "The test receipt was printed on RK-730P (IP_10.77.0.10).",
         true, "", false,
         chinese() ? "钱箱已打开（引脚 5）：钱箱传感器状态已改变。" : "The cash drawer opened (pin 5): its sensor changed."},
        {"10.77.0.20", "IP_10.77.0.20",
         chinese() ? "未打印测试小票：打印机 RK-730P（IP_10.77.0.20）报告：缺纸。\n"
                     "请装入新纸卷并合上上盖，然后再次运行 Kelp 打印测试小票。"
                   : "The test receipt was not printed: the printer RK-730P (IP_10.77.0.20) reports paper out.\n"
                     "Put in a new paper roll and close the cover, then run Kelp again to print a test receipt.",
         false},
        {"10.77.0.30", "IP_10.77.0.30", "", false, silent, false},
        {"10.77.0.30", "IP_10.77.0.30",
         chinese() ? "测试小票已发送到 RK-730P（IP_10.77.0.30），但打印机不报告状态，无法知道是否已打印。请查看打印机是否出纸。"
                   : "The test receipt was sent to RK-730P (IP_10.77.0.30), but the printer gives no status: it cannot be "
                     "told whether it printed. Look at the printer for the receipt.",
         true, silent, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.address);
        Wizard wizard(scenario);
        ASSERT_TRUE(wizard.started()) << wizard.startError();
        ASSERT_TRUE(installOnNetworkRow(wizard, language, 2, row.address)) << wizard.describe();
        std::string text;
        ASSERT_TRUE(takeMessage(wizard, text));
        const std::string shots = row.question.empty() ? "" : row.sendAnyway ? "-sent-anyway" : "-not-sent";
        ASSERT_TRUE(answerQuestion(wizard, text, true, row.printed && shots.empty() ? "question" : ""));
        EXPECT_EQ(chinese() ? "现在打印一张测试小票吗？" : "Print a test receipt now?", text);
        if (!row.question.empty()) {
            ASSERT_TRUE(answerQuestion(wizard, text, row.sendAnyway, row.sendAnyway ? "no-status-question" : ""));
            EXPECT_EQ(row.question, text);
        }
        if (!row.drawer.empty()) {
            ASSERT_TRUE(answerQuestion(wizard, text, true, "receipt-printed-drawer-question"));
            EXPECT_EQ(row.box + (chinese() ? "\n\n同时打开钱箱吗？" : "\n\nOpen the cash drawer too?"), text);
            ASSERT_TRUE(takeMessage(wizard, text, "drawer-opened"));
            EXPECT_EQ(row.drawer, text);
        } else if (!row.box.empty()) {
            ASSERT_TRUE(takeMessage(wizard, text, "receipt" + (shots.empty() ? row.printed ? "-printed" : "-paper-out" : shots)));
            // A failure's box ends with the log's path.
            EXPECT_EQ(row.box, text.substr(0, row.box.size()));
        }
        EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
        EXPECT_TRUE(wizard.declined().empty());
        expectPrinter(models()[2], row.port);
        const std::string received = readFile(L"C:\\printers\\" + widen(row.address) + L"_9100.prn");
        EXPECT_EQ(row.printed, received.find("RK-730P") != std::string::npos) << received;
        // Pin 2's kick, then pin 5's, each after the whole receipt.
        if (!row.drawer.empty())
            EXPECT_EQ(std::string("\x1bp\x00\x19\xfa\x1bp\x01\x19\xfa", 10), received.substr(received.size() - 10));
    }
}

// The network dialog by keyboard alone: Tab to Find and Enter searches; the
// focus is then in the list, where Home and the arrows fill in the address;
// Esc goes back to the port page. Typed again with the keys, Enter installs.
TEST_F(NetworkWizard, TheKeyboardAloneFindsPicksAndInstalls) {
    const Model& model = models()[3];
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    HWND port = nullptr;
    HWND network = openNetworkDialog(wizard, language, 3, port);
    ASSERT_TRUE(network) << wizard.describe();
    ASSERT_EQ(1034, focusedId(network));

    ASSERT_TRUE(typeKeys({VK_TAB, VK_RETURN}));
    const std::string found = chinese() ? "找到 3 台打印机。点击一台打印机即可填入它的地址。"
                                        : "Found 3 printers. Click a printer to fill in its address.";
    ASSERT_TRUE(waitForItemText(network, 1038, found)) << itemText(network, 1038);
    EXPECT_TRUE(waitUntil([&] { return focusedId(network) == 1036; })) << focusedId(network);
    ASSERT_TRUE(typeKeys({VK_HOME}));
    EXPECT_TRUE(waitForItemText(network, 1034, "10.77.0.10")) << itemText(network, 1034);
    ASSERT_TRUE(typeKeys({VK_DOWN}));
    EXPECT_TRUE(waitForItemText(network, 1034, "10.77.0.20")) << itemText(network, 1034);
    ASSERT_TRUE(typeKeys({VK_UP}));
    EXPECT_TRUE(waitForItemText(network, 1034, "10.77.0.10")) << itemText(network, 1034);
    shot(network, "keyboard-picked");
    ASSERT_TRUE(typeKeys({VK_ESCAPE}));
    EXPECT_TRUE(wizard.waitGone(network)) << wizard.describe();
    EXPECT_EQ(port, wizard.find(Page::Port)) << wizard.describe();

    ASSERT_TRUE(click(port, 1022));
    network = wizard.waitFor(Page::Network);
    ASSERT_TRUE(network) << wizard.describe();
    ASSERT_TRUE(waitUntil([&] { return focusedId(network) == 1034; }));
    ASSERT_TRUE(typeKeys({'1', '0', VK_OEM_PERIOD, '7', '7', VK_OEM_PERIOD, '0', VK_OEM_PERIOD, '1', '0'}));
    ASSERT_TRUE(waitForItemText(network, 1034, "10.77.0.10")) << itemText(network, 1034);
    ASSERT_TRUE(typeKeys({VK_RETURN}));
    std::string text;
    ASSERT_TRUE(takeMessage(wizard, text, "keyboard-completed"));
    EXPECT_EQ(chinese() ? "驱动安装完成\n端口：IP_10.77.0.10\n打印机：就绪"
                        : "Driver installation completed\nPort: IP_10.77.0.10\nPrinter: ready",
              text);
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    expectInstalled(model, "IP_10.77.0.10", language, profileFor(scenario));
}

// A mistyped address and this network's broadcast address are refused in
// the dialog, which stays; a name that cannot be found is asked about: No
// changes nothing, Yes installs on the port named as typed.
TEST_F(NetworkWizard, MistypedAddressesAndANameNotFound) {
    const Model& model = models()[2];
    ASSERT_TRUE(install({language, 2, false, "COM1:", ""}).finished);
    const std::vector<std::string> portsBefore = portsOfMonitor(L"Standard TCP/IP Port");  // the scenario's earlier ones
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    ASSERT_TRUE(installOnNetworkRow(wizard, language, 2, "10.77.0.1O")) << wizard.describe();
    std::string text;
    ASSERT_TRUE(takeMessage(wizard, text, "mistyped"));
    EXPECT_EQ(chinese() ? "打印机地址无效：这像是输错的 IPv4 地址：IPv4 地址是用点分隔的四个数字，主机名的最后一段以字母开头。"
                        : "The printer's address is not valid. This looks like a mistyped IPv4 address: an address is four "
                          "numbers with dots, and a host name's last part begins with a letter.",
              text);
    HWND network = wizard.waitFor(Page::Network);
    ASSERT_TRUE(network && IsWindowVisible(network)) << wizard.describe();
    ASSERT_TRUE(setText(GetDlgItem(network, 1034), "10.77.0.255"));
    ASSERT_TRUE(click(network, IDOK));
    ASSERT_TRUE(takeMessage(wizard, text, "broadcast"));
    EXPECT_EQ(chinese() ? "打印机地址无效：该地址不能是打印机的地址：它是本机所在网络的网络地址或广播地址。"
                        : "The printer's address is not valid. No printer has this address: it is the network or broadcast "
                          "address of one of this computer's networks.",
              text);

    const std::string question =
        chinese() ? "现在在此网络上找不到主机名 kitchen-printer.invalid（错误 "
                  : "The host name kitchen-printer.invalid cannot be found on this network now (error ";
    const HWND port = wizard.find(Page::Port);
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        if (yes) {
            ASSERT_TRUE(click(port, 1022));
            network = wizard.waitFor(Page::Network);
            ASSERT_TRUE(network) << wizard.describe();
        }
        ASSERT_TRUE(setText(GetDlgItem(network, 1034), "kitchen-printer.invalid"));
        ASSERT_TRUE(click(network, IDOK));
        ASSERT_TRUE(answerQuestion(wizard, text, yes, yes ? "" : "name-not-found"));
        EXPECT_EQ(question, text.substr(0, question.size()));
        EXPECT_NE(std::string::npos, text.find(chinese() ? "仍要安装吗？" : "Install it anyway?")) << text;
        if (yes) break;
        EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(GetDlgItem(port, 1022)) != FALSE; }));
        expectPrinter(model, "COM1:");
        EXPECT_EQ(portsBefore, portsOfMonitor(L"Standard TCP/IP Port"));
    }
    ASSERT_TRUE(takeMessage(wizard, text, "installed-anyway"));
    EXPECT_EQ(chinese() ? "打印机“RK-730P”已存在：已更新其驱动，并从 COM1: 移到 IP_kitchen-printer.invalid。\n"
                          "端口：IP_kitchen-printer.invalid（从 COM1: 移来）"
                        : "The printer \"RK-730P\" already existed: its driver was updated and it was moved from COM1: to "
                          "IP_kitchen-printer.invalid.\nPort: IP_kitchen-printer.invalid (moved from COM1:)",
              text);
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    expectPrinter(model, "IP_kitchen-printer.invalid");
    std::vector<std::string> portsAfter = portsBefore;
    portsAfter.push_back("IP_kitchen-printer.invalid");
    std::vector<std::string> ports = portsOfMonitor(L"Standard TCP/IP Port");
    std::sort(portsAfter.begin(), portsAfter.end());
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(portsAfter, ports);
}

// The printer at the address names another of the models than the one
// chosen: the wizard asks before anything changes, naming both. No leaves
// the port page as it was, with no printer and no port made; Yes installs
// the model chosen on the printer's port.
TEST_F(NetworkWizard, AnotherModelAtTheAddressIsAskedAbout) {
    const Model& model = models()[2];
    const std::vector<std::string> portsBefore = portsOfMonitor(L"Standard TCP/IP Port");
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    ASSERT_TRUE(installOnNetworkRow(wizard, language, 2, "10.77.0.40")) << wizard.describe();
    const std::string question =
        chinese() ? "打印机自报型号为 RK-730PN，而您选择的是 RK-730P。\n按其他型号安装的驱动程序可能打印不正确。仍要按 RK-730P 安装吗？"
                  : "The printer says it is a RK-730PN, but you chose RK-730P.\nA driver for another model may print wrongly. "
                    "Install it as RK-730P anyway?";
    const HWND port = wizard.find(Page::Port);
    std::string text;
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        if (yes) {
            ASSERT_TRUE(click(port, 1022));
            const HWND network = wizard.waitFor(Page::Network);
            ASSERT_TRUE(network) << wizard.describe();
            ASSERT_TRUE(setText(GetDlgItem(network, 1034), "10.77.0.40"));
            ASSERT_TRUE(click(network, IDOK));
        }
        ASSERT_TRUE(answerQuestion(wizard, text, yes, yes ? "" : "other-model"));
        EXPECT_EQ(question, text);
        if (yes) break;
        EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(GetDlgItem(port, 1022)) != FALSE; }));
        EXPECT_TRUE(IsWindowVisible(port));
        const auto printers = spoolerPrinters();
        ASSERT_TRUE(printers);
        EXPECT_EQ(nullptr, findPrinter(*printers, model.name)) << "installed after No";
        EXPECT_EQ(portsBefore, portsOfMonitor(L"Standard TCP/IP Port"));
    }
    ASSERT_TRUE(takeMessage(wizard, text, "other-model-installed"));
    EXPECT_EQ(chinese() ? "驱动安装完成\n端口：IP_10.77.0.40\n打印机：就绪"
                        : "Driver installation completed\nPort: IP_10.77.0.40\nPrinter: ready",
              text);
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    expectPrinter(model, "IP_10.77.0.40");
    EXPECT_EQ("", readFile(L"C:\\printers\\10.77.0.40_9100.prn"));
}

namespace {
// Its own scenario (network-moved): 10.77.0.40 never answers, 10.77.0.50 is
// a ready RK-730P with the serial number E2E0050, 10.77.0.60 a ready MZ730P.
class NetworkWizardMoved : public NetworkWizard {};
}  // namespace

// The printer installed at 10.77.0.40 no longer answers there: the test
// receipt looks for it and offers the one RK-730P that answers elsewhere,
// naming its address and serial number. No changes nothing; Yes moves the
// printer to a port for 10.77.0.50 and the receipt prints there.
TEST_F(NetworkWizardMoved, ThePrinterThatMovedIsFoundAndMoved) {
    const std::string question =
        chinese() ? "打印机 RK-730P（IP_10.77.0.40）在 10.77.0.40:9100 上没有回答。\n本机所在的网络中，10.77.0.50 上有一台自称 "
                    "RK-730P 的打印机回答，序列号：E2E0050（请与打印机自检页上的序列号核对）。\n要把打印机 RK-730P 改到 "
                    "10.77.0.50 并在那里打印测试小票吗？"
                  : "The printer RK-730P (IP_10.77.0.40) does not answer at 10.77.0.40:9100.\nOn this computer's networks a "
                    "printer that names itself RK-730P answers at 10.77.0.50, serial number: E2E0050 (compare it with the "
                    "serial number on the printer's self-test page).\nMove the printer RK-730P to 10.77.0.50 and print the "
                    "test receipt there?";
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        Wizard wizard(scenario);
        ASSERT_TRUE(wizard.started()) << wizard.startError();
        ASSERT_TRUE(installOnNetworkRow(wizard, language, 2, "10.77.0.40")) << wizard.describe();
        std::string text;
        ASSERT_TRUE(takeMessage(wizard, text));
        ASSERT_TRUE(answerQuestion(wizard, text, true));
        EXPECT_EQ(chinese() ? "现在打印一张测试小票吗？" : "Print a test receipt now?", text);
        ASSERT_TRUE(answerQuestion(wizard, text, yes, yes ? "" : "moved-question"));
        EXPECT_EQ(question, text);
        // A receipt that printed is told in the cash drawer's question (No).
        if (yes)
            ASSERT_TRUE(answerQuestion(wizard, text, false, "moved-printed"));
        else
            ASSERT_TRUE(takeMessage(wizard, text, "moved-not-moved"));
        const std::string box =
            yes ? (chinese() ? "测试小票已在 RK-730P（IP_10.77.0.50）上打印。" : "The test receipt was printed on RK-730P (IP_10.77.0.50).")
                : (chinese() ? "未打印测试小票：打印机 RK-730P（IP_10.77.0.40）报告：无应答。"
                             : "The test receipt was not printed: the printer RK-730P (IP_10.77.0.40) reports no answer.");
        EXPECT_EQ(box, text.substr(0, box.size()));
        EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
        expectPrinter(models()[2], yes ? "IP_10.77.0.50" : "IP_10.77.0.40");
        std::vector<std::string> ports = portsOfMonitor(L"Standard TCP/IP Port");
        std::sort(ports.begin(), ports.end());
        const std::vector<std::string> expected = yes ? std::vector<std::string>{"IP_10.77.0.40", "IP_10.77.0.50"}
                                                      : std::vector<std::string>{"IP_10.77.0.40"};
        EXPECT_EQ(expected, ports);
        const std::string received = readFile(L"C:\\printers\\10.77.0.50_9100.prn");
        EXPECT_EQ(yes, received.find("RK-730P") != std::string::npos) << received;
        EXPECT_EQ("", readFile(L"C:\\printers\\10.77.0.60_9100.prn"));
    }
}
