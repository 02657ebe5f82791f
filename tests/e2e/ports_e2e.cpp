// Create Port and Configure Port under Wine: the wizard hands the work to
// the spooler's port monitor, whose own dialogs (Wine's here) the tests
// answer as a user would. The wizard speaks the language of the scenario's
// locale; Wine's dialogs speak the locale's language.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "Flows.h"
#include "Installation.h"
#include "Machine.h"
#include "WizardDriver.h"

using namespace e2e;

namespace {

class PortCreation : public ::testing::Test {
protected:
    const Scenario& scenario = Scenario::current();
    const int language = defaultLanguageRow();
    const std::string tag = languageTag(language);

    void SetUp() override {
        ASSERT_FALSE(scenario.packageRoot.empty()) << "KELP_E2E_PACKAGE is not set";
        if (scenario.win64()) GTEST_SKIP() << "the port scenarios run in a 32-bit prefix";
        ASSERT_TRUE(resetMachine());
        ASSERT_TRUE(deleteRegistryValue(HKEY_LOCAL_MACHINE, kPortsKey, L"USB002"));
    }

    // The description the local port monitor gives its ports.
    std::string localPort() const { return scenario.chineseSystem() ? "本地端口" : "Local Port"; }
};

std::string describeWindow(HWND window) {
    return "'" + windowText(window) + "'; buttons " + ::testing::PrintToString(childTexts(window, L"Button")) +
           "; texts " + ::testing::PrintToString(childTexts(window, L"Static")) + "; edits " +
           ::testing::PrintToString(childTexts(window, L"Edit"));
}

HWND owner(HWND window) { return GetWindow(window, GW_OWNER); }

}  // namespace

// New Port on the local port monitor: Wine's own dialog, owned by the port
// types dialog, takes the name USB002. After Exit the port page lists the
// machine's ports with the new one and the LPT1: row selected; after Search
// Port the printer is installed on the new port.
TEST_F(PortCreation, NewLocalPortReceivesThePrinter) {
    const Model& model = models()[0];
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    const HWND settings = openSettings(wizard, language);
    ASSERT_TRUE(settings);
    const HWND port = openPortPage(wizard, settings);
    ASSERT_TRUE(port);

    ASSERT_TRUE(click(port, 1008));
    const HWND types = wizard.waitFor(Page::PortTypes);
    ASSERT_TRUE(types) << wizard.describe();
    shot(types, "port-types-" + tag);
    EXPECT_EQ("Vexo Receipt Printer Driver", windowText(types));
    EXPECT_EQ(language == kChinese ? "新端口..." : "New Port...", itemText(types, 1008));
    EXPECT_EQ(language == kChinese ? "关闭" : "Exit", itemText(types, 1009));
    EXPECT_EQ(language == kChinese ? "可用端口类型" : "Available Port Types", listHeading(types, 1021, 0));
    RECT list{};  // the one column fills the list, 340 pixels at least
    ASSERT_TRUE(GetClientRect(GetDlgItem(types, 1021), &list));
    EXPECT_EQ(std::max<int>(340, list.right), listColumnWidth(types, 1021, 0));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"Local Port"}}), listRows(types, 1021, 1));
    EXPECT_EQ(std::vector<int>{0}, listSelection(types, 1021));

    auto known = wizard.visibleWindows();
    ASSERT_TRUE(click(types, 1008));
    const HWND monitor = wizard.waitForNew(known);
    ASSERT_TRUE(monitor) << "no dialog of the port monitor; " << wizard.describe();
    EXPECT_EQ(types, owner(monitor)) << "the monitor's dialog belongs to the port types dialog";
    const HWND edit = findChild(monitor, L"Edit");
    ASSERT_TRUE(edit) << describeWindow(monitor);
    ASSERT_TRUE(setText(edit, "USB002"));
    shot(monitor, "add-port-" + tag);
    ASSERT_TRUE(click(monitor, IDOK));
    EXPECT_TRUE(wizard.waitGone(monitor)) << wizard.describe();
    EXPECT_TRUE(waitUntil([&] {
        const auto ports = spoolerPorts();
        return ports && hasPort(*ports, "USB002");
    })) << "the spooler does not list USB002";
    EXPECT_EQ(types, wizard.find(Page::PortTypes)) << "the port types dialog stays open";
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"Local Port"}}), listRows(types, 1021, 1));

    ASSERT_TRUE(click(types, 1009));
    EXPECT_TRUE(wizard.waitGone(types)) << wizard.describe();
    int created = -1;
    ASSERT_TRUE(waitUntil([&] { return (created = listFind(port, 1021, "USB002")) >= 0; }))
        << "the port page does not list USB002: " << ::testing::PrintToString(listRows(port, 1021));
    EXPECT_EQ(localPort(), listCell(port, 1021, created, 1));
    const int lpt1 = listFind(port, 1021, "LPT1:");
    ASSERT_LT(0, lpt1);
    EXPECT_EQ(std::vector<int>{lpt1}, listSelection(port, 1021)) << "the LPT1: row is selected after Create Port";
    EXPECT_TRUE(itemEnabled(port, 1022));
    shot(port, "port-after-create-" + tag);

    ASSERT_TRUE(click(port, 1012));
    ASSERT_TRUE(waitUntil([&] { return listSelection(port, 1021).empty(); })) << "Search Port clears the selection";
    created = listFind(port, 1021, "USB002");
    ASSERT_LT(1, created) << "USB002 must not be in row 1, the automatic choice";
    ASSERT_TRUE(selectListRow(port, 1021, created));
    ASSERT_TRUE(click(port, 1022));
    std::string message;
    ASSERT_TRUE(takeMessage(wizard, message, "message-" + tag));
    EXPECT_EQ(completionMessage(language, "USB002"), message);
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    expectPrinter(model, "USB002");
    expectDriver(model, language, profileFor(scenario));
}

// Configure Port hands the selected port to its monitor with the port page
// as the owner of the monitor's dialog. Wine's local port monitor shows
// nothing for COM ports (Wine 8 asks for the port's default settings with a
// buffer smaller than a COMMCONFIG, is refused with ERROR_INSUFFICIENT_BUFFER
// and answers TRUE without a dialog), a "nothing to configure" box for FILE:
// and a timeout dialog for LPT ports; each is closed and the page goes on. A
// category row is never handed over (the page says what to do instead), and
// without a selected row nothing happens.
TEST_F(PortCreation, ConfigurePortShowsTheMonitorsDialog) {
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    const HWND settings = openSettings(wizard, language);
    ASSERT_TRUE(settings);
    const HWND port = openPortPage(wizard, settings);
    ASSERT_TRUE(port);

    // A category row (the USB one is selected as the page opens) is not a
    // port: the page asks for a search and a port instead.
    for (int row : {1, 0, 2}) {
        SCOPED_TRACE("category row " + std::to_string(row));
        ASSERT_TRUE(selectListRow(port, 1021, row));
        const auto before = wizard.visibleWindows();
        ASSERT_TRUE(click(port, 1009));
        std::string text;
        ASSERT_TRUE(takeMessage(wizard, text, row == 1 ? "configure-category-" + tag : std::string()));
        EXPECT_EQ(language == kChinese ? "请先点击“搜索端口...”，然后选择要配置的端口。"
                                       : "Please click \"Search Port...\", then select the port to configure.",
                  text);
        ASSERT_TRUE(settle(port, 1021));
        EXPECT_TRUE(IsWindowEnabled(port)) << "a modal window is open";
        EXPECT_EQ(nullptr, wizard.findNew(before)) << "the monitor was asked; " << wizard.describe();
    }

    ASSERT_TRUE(click(port, 1012));
    ASSERT_TRUE(waitUntil([&] { return listFind(port, 1021, "COM1:") >= 0; }));
    auto known = wizard.visibleWindows();
    ASSERT_TRUE(click(port, 1009));
    ASSERT_TRUE(settle(port, 1021));
    EXPECT_TRUE(IsWindowEnabled(port)) << "Configure Port without a selected row opened a modal window";
    EXPECT_EQ(nullptr, wizard.findNew(known)) << "Configure Port without a selected row; " << wizard.describe();

    struct Case {
        const char* port;
        bool dialogExpected;  // else whatever comes is closed
        int closeWith;
    };
    for (const Case& c : {Case{"COM1:", false, IDCANCEL}, Case{"FILE:", true, IDOK}, Case{"LPT1:", true, IDCANCEL}}) {
        SCOPED_TRACE(c.port);
        const int row = listFind(port, 1021, c.port);
        ASSERT_LE(0, row);
        ASSERT_TRUE(selectListRow(port, 1021, row));
        known = wizard.visibleWindows();
        ASSERT_TRUE(click(port, 1009));
        // Once the page has handled the click, a dialog of the monitor (modal,
        // owned by the page) has disabled the page; without one it is enabled.
        ASSERT_TRUE(settle(port, 1021));
        const bool modal = !IsWindowEnabled(port);
        const HWND dialog = modal ? wizard.waitForNew(known) : nullptr;
        if (c.dialogExpected) {
            EXPECT_TRUE(dialog) << "no dialog of the port monitor; " << wizard.describe();
        } else if (modal) {
            EXPECT_TRUE(dialog) << "the page is disabled, but no new window shows; " << wizard.describe();
        }
        if (dialog) {
            std::printf("Configure Port on %s: %s\n", c.port, describeWindow(dialog).c_str());
            const std::string name(c.port);
            shot(dialog, "configure-" + name.substr(0, name.size() - 1) + "-" + tag);
            EXPECT_EQ(port, owner(dialog)) << "the monitor's dialog belongs to the port page";
            EXPECT_TRUE(click(dialog, c.closeWith) || closeBox(dialog));
            EXPECT_TRUE(wizard.waitGone(dialog)) << wizard.describe();
        }
        // The page is answering again and shows no other window.
        EXPECT_EQ(c.port, listCell(port, 1021, row, 0));
        EXPECT_EQ(std::vector<int>{row}, listSelection(port, 1021));
        EXPECT_EQ(nullptr, wizard.findNew(known)) << wizard.describe();
    }

    ASSERT_TRUE(click(port, 1023));
    ASSERT_TRUE(wizard.waitGone(port));
    ASSERT_TRUE(click(settings, 1010));
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
}
