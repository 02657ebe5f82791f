// The test host's own behaviour: what a click, Enter, Esc and the close box
// reach, radio groups, the initial focus, nested pages, and how a script or
// a page that goes wrong is reported. Uses its own small templates.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fake/FakeDialog.h"

namespace kelp {
namespace {

const char* const kScript = R"(
#define IDD_MAIN 500
#define IDD_DEFAULT 501
#define IDD_INNER 502
#define IDD_LOCKED 503

IDD_MAIN DIALOGEX 0, 0, 200, 100
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "Main"
FONT 9, "宋体"
BEGIN
    COMBOBOX        10, 1, 1, 50, 50, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP
    GROUPBOX        "group", 20, 1, 1, 90, 40, WS_GROUP
    CONTROL         "a", 21, "Button", BS_AUTORADIOBUTTON, 1, 1, 9, 9
    CONTROL         "b", 22, "Button", BS_AUTORADIOBUTTON, 1, 1, 9, 9
    CONTROL         "hidden", 23, "Button", BS_AUTORADIOBUTTON | NOT WS_VISIBLE, 1, 1, 9, 9
    CONTROL         "disabled", 24, "Button", BS_AUTORADIOBUTTON | WS_DISABLED, 1, 1, 9, 9
    PUSHBUTTON      "in the group", 30, 1, 1, 9, 9
    CONTROL         "next group", 25, "Button", BS_AUTORADIOBUTTON | WS_GROUP, 1, 1, 9, 9
    CONTROL         "", 40, "Button", BS_AUTOCHECKBOX | WS_TABSTOP, 1, 1, 9, 9
    PUSHBUTTON      "hidden", 31, 1, 1, 9, 9, NOT WS_VISIBLE
    PUSHBUTTON      "disabled", 32, 1, 1, 9, 9, WS_DISABLED
    PUSHBUTTON      "end", 33, 1, 1, 9, 9
    CONTROL         "", 50, "SysListView32", LVS_REPORT | LVS_SINGLESEL | WS_BORDER | WS_TABSTOP, 1, 1, 90, 40
    CONTROL         "", 60, "msctls_progress32", WS_BORDER, 1, 1, 90, 9
    LTEXT           "label", 70, 1, 1, 9, 9
END

IDD_DEFAULT DIALOGEX 0, 0, 100, 50
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "Default"
BEGIN
    EDITTEXT        36, 1, 1, 50, 12
    DEFPUSHBUTTON   "default", 33, 1, 1, 9, 9
    PUSHBUTTON      "cancel", IDCANCEL, 1, 1, 9, 9, WS_DISABLED
END

IDD_INNER DIALOGEX 0, 0, 100, 50
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "Inner"
BEGIN
    PUSHBUTTON      "end", 33, 1, 1, 9, 9
END

IDD_LOCKED DIALOGEX 0, 0, 100, 50
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION
CAPTION "No system menu"
BEGIN
    PUSHBUTTON      "end", 33, 1, 1, 9, 9
END

STRINGTABLE
BEGIN
    7 "seven"
END
)";

constexpr int kMain = 500, kDefault = 501, kInner = 502, kLocked = 503, kMissing = 599;

// A page that writes down every handler call; button 33 ends it with 33.
class LoggingPage : public Page {
public:
    using Page::end;
    using Page::Page;

    std::vector<std::string> log;
    bool initResult = true;
    bool handleSysCommand = false;
    std::function<void(LoggingPage&)> init;
    std::function<void(LoggingPage&, int)> command;

    bool onInit() override {
        log.push_back("init");
        if (init) init(*this);
        return initResult;
    }
    void onCommand(int id, int code) override {
        log.push_back("command " + std::to_string(id) + "/" + std::to_string(code));
        if (command) command(*this, id);
        if (id == 33) end(33);
    }
    void onOk() override {
        log.push_back("ok");
        Page::onOk();
    }
    void onCancel() override {
        log.push_back("cancel");
        Page::onCancel();
    }
    bool onSysCommand(unsigned c) override {
        log.push_back("sys " + std::to_string(c));
        return handleSysCommand;
    }
    std::intptr_t onNotify(int id, int code) override {
        log.push_back("notify " + std::to_string(id) + "/" + std::to_string(code));
        return 0;
    }
};

using Log = std::vector<std::string>;

class FakeDialogTest : public testing::Test {
protected:
    RcResources resources = parseRc(kScript, ".");
    FakeDialogHost host{resources};
};

TEST_F(FakeDialogTest, KeysCloseBoxAndWindowMenuReachTheRightHandler) {
    struct Row {
        const char* name;
        int templateId;
        bool handleSysCommand;
        std::function<void(FakeDialog&)> act;
        Log log;  // after "init"
        int result;
    };
    const auto endWith33 = [](FakeDialog& d) { d.sendCommand(33, ButtonClicked); };
    const Row rows[] = {
        {"Enter on the list box: the OK command", kMain, false, [](FakeDialog& d) { EXPECT_TRUE(d.pressEnter()); },
         {"ok"}, PageOk},
        {"Enter on a push button clicks it", kMain, false,
         [](FakeDialog& d) { EXPECT_TRUE(d.setFocus(33)); d.pressEnter(); }, {"command 33/0"}, 33},
        {"Enter on a radio button: the OK command", kMain, false,
         [](FakeDialog& d) { d.setFocus(21); d.pressEnter(); }, {"ok"}, PageOk},
        {"Enter goes to the default push button", kDefault, false, [](FakeDialog& d) { d.pressEnter(); },
         {"command 33/0"}, 33},
        {"Enter with the default push button disabled does nothing", kDefault, false,
         [&](FakeDialog& d) { d.enable(33, false); EXPECT_FALSE(d.pressEnter()); endWith33(d); },
         {"command 33/0"}, 33},
        {"Esc", kMain, false, [](FakeDialog& d) { d.pressEsc(); }, {"cancel"}, PageCancel},
        {"close box left to the window", kMain, false, [](FakeDialog& d) { EXPECT_TRUE(d.closeBox()); },
         {"sys 61536", "cancel"}, PageCancel},
        {"close box handled by the page", kMain, true,
         [&](FakeDialog& d) { d.closeBox(); endWith33(d); }, {"sys 61536", "command 33/0"}, 33},
        {"close box with a disabled IDCANCEL button", kDefault, false,
         [&](FakeDialog& d) { d.closeBox(); endWith33(d); }, {"sys 61536", "command 33/0"}, 33},
        {"no system menu, no close box", kLocked, false,
         [&](FakeDialog& d) { EXPECT_FALSE(d.closeBox()); endWith33(d); }, {"command 33/0"}, 33},
        {"window menu Close with the low bits set", kMain, false,
         [](FakeDialog& d) { d.systemMenuCommand(0xF062); }, {"sys 61538", "cancel"}, PageCancel},
        {"an appended entry", kMain, false,
         [&](FakeDialog& d) {
             EXPECT_TRUE(d.appendSystemMenuItem(0x10, "About"));
             d.systemMenuCommand(0x10);
             endWith33(d);
         },
         {"sys 16", "command 33/0"}, 33},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LoggingPage page(row.templateId);
        page.handleSysCommand = row.handleSysCommand;
        host.onNextShow(row.templateId, row.act);
        EXPECT_EQ(host.runModal(page), row.result);
        Log expected = {"init"};
        expected.insert(expected.end(), row.log.begin(), row.log.end());
        EXPECT_EQ(page.log, expected);
        EXPECT_FALSE(page.isOpen());
    }
    EXPECT_EQ(host.problems(), "");
}

TEST_F(FakeDialogTest, ClicksFollowTheButtonKindsAndStates) {
    LoggingPage page(kMain);
    page.init = [](LoggingPage& p) {
        for (int id : {22, 23, 24, 25}) p.dialog().setCheck(id, true);
    };
    host.onNextShow(kMain, [&](FakeDialog& d) {
        EXPECT_TRUE(d.click(21));
        // Cleared: the visible, enabled radio button of the same group.
        EXPECT_TRUE(d.isChecked(21));
        EXPECT_FALSE(d.isChecked(22));
        EXPECT_TRUE(d.isChecked(23)) << "hidden";
        EXPECT_TRUE(d.isChecked(24)) << "disabled";
        EXPECT_TRUE(d.isChecked(25)) << "another group";
        EXPECT_EQ(d.focus(), 21);
        // A checked radio button is a tab stop, an unchecked one is not.
        EXPECT_TRUE(d.isTabStop(21));
        EXPECT_FALSE(d.isTabStop(22));

        EXPECT_TRUE(d.click(40));
        EXPECT_TRUE(d.isChecked(40));
        d.click(40);
        EXPECT_FALSE(d.isChecked(40));

        // No click reaches a hidden or disabled control; programs still can.
        EXPECT_FALSE(d.click(31));
        EXPECT_FALSE(d.click(32));
        d.sendCommand(32, ButtonClicked);
        d.setText(31, "still settable");
        EXPECT_EQ(d.text(31), "still settable");
        d.enable(32, true);
        EXPECT_TRUE(d.click(32));
        d.click(33);
    });
    EXPECT_EQ(host.runModal(page), 33);
    const Log expected = {"init", "command 21/0", "command 40/0", "command 40/0", "command 32/0", "command 32/0",
                          "command 33/0"};
    EXPECT_EQ(page.log, expected);
}

TEST_F(FakeDialogTest, InitialFocusAsWindowsSetsIt) {
    struct Row {
        const char* name;
        bool initResult;
        std::function<void(Dialog&)> init;
        std::optional<int> focus;
    };
    const Row rows[] = {
        {"first visible enabled tab stop", true, [](Dialog&) {}, 10},
        {"a disabled first tab stop is passed over", true, [](Dialog& d) { d.enable(10, false); }, 30},
        {"a checked radio button has become a tab stop", true, [](Dialog& d) { d.enable(10, false); d.setCheck(22, true); }, 22},
        {"onInit returning false leaves the focus alone", false, [](Dialog&) {}, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LoggingPage page(kMain);
        page.initResult = row.initResult;
        page.init = [&](LoggingPage& p) { row.init(p.dialog()); };
        host.onNextShow(kMain, [&](FakeDialog& d) {
            EXPECT_EQ(d.focus(), row.focus);
            d.pressEsc();
        });
        host.runModal(page);
    }
}

TEST_F(FakeDialogTest, ListsCombosProgressAndMessages) {
    LoggingPage page(kMain);
    page.init = [](LoggingPage& p) {
        Dialog& d = p.dialog();
        d.comboAdd(10, "zero");
        d.comboAdd(10, "one");
        d.listInsertColumn(50, 0, "Port", 150);
        d.listInsertColumn(50, 5, "Type", 280);  // past the end: appended
        d.listChangeExtendedStyle(50, 0x29, 0x21);
        d.listChangeExtendedStyle(50, 0x08, 0x08);
        d.listAddRow(50, {"LPT1:", "Local Port"});
        d.listAddRow(50, {"COM1:"});
        d.listSelectRow(50, 0);
        d.listSelectRow(50, 1);  // single selection: row 0 is cleared
        d.progressSetRange(60, 0, 100);
        d.progressSetPosition(60, 30);
        d.progressSetPosition(60, 130);
        d.messageBox("hello", MessageIcon::Exclamation);
    };
    host.onNextShow(kMain, [](FakeDialog& d) {
        EXPECT_EQ(d.listSelectedRows(50), std::vector<int>{1});
        EXPECT_EQ(d.listColumns(50).at(1).heading, "Type");
        EXPECT_EQ(d.listExtendedStyle(50), 0x29u);
        EXPECT_EQ(d.listCell(50, 1, 1), "");
        EXPECT_EQ(d.progressHistory(60), (std::vector<int>{30, 100}));
        EXPECT_TRUE(d.selectComboRow(10, 1));
        EXPECT_EQ(d.text(10), "one");
        EXPECT_TRUE(d.clickListRow(50, 0));
        EXPECT_EQ(d.listSelectedRows(50), std::vector<int>{0});
        d.clickListRow(50, -1);  // the empty area below the rows
        EXPECT_TRUE(d.listSelectedRows(50).empty());
        EXPECT_EQ(d.loadString(7), "seven");
        EXPECT_EQ(d.loadString(8), "");
        d.pressEsc();
    });
    host.runModal(page);
    const Log expected = {"init", "command 10/1", "notify 50/-2", "notify 50/-2", "cancel"};
    EXPECT_EQ(page.log, expected);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].templateId, kMain);
    EXPECT_EQ(host.messages()[0].text, "hello");
    EXPECT_EQ(host.lastDialog(kMain).comboSelection(10), 1) << "the state stays after the run";
}

// A page opened from a handler takes the next script; the outer page goes on
// when it returns.
TEST_F(FakeDialogTest, NestedPagesTakeTheScriptsInTheOrderShown) {
    LoggingPage inner(kInner);
    LoggingPage outer(kMain);
    int innerResult = 0;
    outer.command = [&](LoggingPage& p, int id) {
        if (id != 30) return;
        innerResult = host.runModal(inner);
        p.dialog().setText(70, "back");
    };
    host.onNextShow(kMain, [](FakeDialog& d) {
        d.click(30);
        EXPECT_EQ(d.text(70), "back");
        d.click(33);
    });
    host.onNextShow(kInner, [](FakeDialog& d) { d.pressEsc(); });
    EXPECT_EQ(host.runModal(outer), 33);
    EXPECT_EQ(innerResult, PageCancel);
    EXPECT_EQ(host.shownTemplates(), (std::vector<int>{kMain, kInner}));
    EXPECT_EQ(host.results(), (std::vector<int>{33, PageCancel}));
    EXPECT_FALSE(inner.isOpen());
    EXPECT_FALSE(outer.isOpen());
    EXPECT_EQ(host.problems(), "");
}

TEST_F(FakeDialogTest, ScriptProblemsEndTheDialogAndAreReported) {
    struct Row {
        const char* name;
        std::function<void(FakeDialogHost&)> queue;
        int templateShown;
        int result;
        const char* problem;
    };
    const Row rows[] = {
        {"no script left", [](FakeDialogHost&) {}, kMain, FakeDialogHost::ScriptProblem, "no script left"},
        {"script left the dialog open", [](FakeDialogHost& h) { h.onNextShow(kMain, [](FakeDialog&) {}); }, kMain,
         FakeDialogHost::ScriptProblem, "returned without ending"},
        {"script for another page",
         [](FakeDialogHost& h) { h.onNextShow(kInner, [](FakeDialog& d) { d.pressEsc(); }); }, kMain,
         FakeDialogHost::ScriptProblem, "is for template 502"},
        {"missing template", [](FakeDialogHost&) {}, kMissing, PageFailed, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeDialogHost fresh{resources};
        row.queue(fresh);
        LoggingPage page(row.templateShown);
        EXPECT_EQ(fresh.runModal(page), row.result);
        EXPECT_FALSE(page.isOpen());
        EXPECT_NE(fresh.problems().find(row.problem), std::string::npos) << fresh.problems();
        if (row.templateShown == kMissing) {
            EXPECT_TRUE(page.log.empty()) << "the page is never initialised";
        }
    }

    // A window that cannot be created takes no script.
    host.onNextShow(kInner, [](FakeDialog& d) { d.pressEsc(); });
    host.failTemplate(kInner);
    LoggingPage inner(kInner);
    EXPECT_EQ(host.runModal(inner), PageFailed);
    EXPECT_TRUE(inner.log.empty());
    EXPECT_EQ(host.problems(), "script number 1 for template 502 was never used\n");
}

TEST_F(FakeDialogTest, MisuseThrowsNamingTheControl) {
    struct Row {
        const char* name;
        std::function<void(FakeDialog&)> act;
        const char* message;
    };
    const Row rows[] = {
        {"unknown id", [](FakeDialog& d) { d.setText(999, "x"); }, "no control 999"},
        {"static by id", [](FakeDialog& d) { d.text(-1); }, "IDC_STATIC"},
        {"wrong kind", [](FakeDialog& d) { d.setCheck(33, true); }, "control 33 is a push button"},
        {"combo row out of range", [](FakeDialog& d) { d.comboSetSelection(10, 0); }, "row 0 out of range (0 rows)"},
        {"list row out of range", [](FakeDialog& d) { d.listSelectRow(50, 3); }, "listSelectRow(50): row 3"},
        {"cells without columns", [](FakeDialog& d) { d.listAddRow(50, {"a", "b"}); }, "2 cells for 0 columns"},
        {"action after the end", [](FakeDialog& d) { d.pressEsc(); d.click(33); }, "already ended"},
        {"entry not on the window menu", [](FakeDialog& d) { d.systemMenuCommand(0x10); }, "no such entry"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LoggingPage page(kMain);
        host.onNextShow(kMain, row.act);
        try {
            host.runModal(page);
            ADD_FAILURE() << "no exception";
        } catch (const FakeDialogMisuse& e) {
            EXPECT_NE(std::string(e.what()).find(row.message), std::string::npos) << e.what();
        }
        EXPECT_FALSE(page.isOpen()) << "detached on the way out";
    }
}

}  // namespace
}  // namespace kelp
