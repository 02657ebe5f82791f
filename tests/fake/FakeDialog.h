// The test host for the wizard's pages: a window built from the page's
// template in res/kelp.rc, with the controls' state kept in memory and the
// user's actions (click, Enter, Esc, close box, choosing a list row) turned
// into the page's handlers the way Windows' dialog manager does it.
//
// Misuse fails loudly: an unknown control id, a call on a control of the
// wrong kind (setCheck on a push button, comboAdd on an edit box) or a row
// out of range throws FakeDialogMisuse naming the template and the control.
// Windows would let such a call pass silently (the message goes nowhere,
// CB_ERR, LVM_SETITEMSTATE failing), which hides the bug; the exception
// surfaces it in the test that caused it. Script problems (a page shown with
// no script left, a script that leaves its dialog open) are not exceptions:
// the host ends that dialog with FakeDialogHost::ScriptProblem, records the
// problem in problems() and prints it, so the test sees an unexpected page
// result and the reason.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "fake/RcParser.h"
#include "platform/Dialog.h"

namespace kelp {

class FakeDialogHost;

class FakeDialogMisuse : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

struct MessageBoxRecord {
    int templateId;  // the dialog that owned the box
    std::string text;
    MessageIcon icon;
};

struct SystemMenuItem {
    bool separator;
    unsigned command;
    std::string text;
};

struct ListColumn {
    std::string heading;
    int width;
};

// Standard window-menu commands a dialog's system menu offers.
constexpr unsigned SysCommandMove = 0xF010;  // SC_MOVE

class FakeDialog : public Dialog {
public:
    FakeDialog(const RcDialog& dialogTemplate, const RcResources& resources, WindowHandle handle,
               FakeDialogHost* host = nullptr);

    // ---- Dialog (what the page calls)
    void setText(int id, const std::string& text) override;
    std::string text(int id) const override;
    void setCheck(int id, bool checked) override;
    bool isChecked(int id) const override;
    void enable(int id, bool enabled) override;
    void show(int id, bool visible) override;
    bool isEnabled(int id) const override;
    int focusedControl() const override { return focus().value_or(0); }
    // Only to a visible, enabled control that takes the focus; else nothing.
    void focusControl(int id) override;
    void comboReset(int id) override;
    void comboAdd(int id, const std::string& text) override;
    void comboSetSelection(int id, int row) override;
    int comboSelection(int id) const override;
    int comboCount(int id) const override;
    std::string comboText(int id, int row) const override;
    void listChangeExtendedStyle(int id, unsigned mask, unsigned style) override;
    void listInsertColumn(int id, int column, const std::string& heading, int width) override;
    void listDeleteAll(int id) override;
    int listAddRow(int id, const std::vector<std::string>& cells) override;
    int listRowCount(int id) const override;
    std::string listCell(int id, int row, int column) const override;
    void listSelectRow(int id, int row) override;
    bool listRowSelected(int id, int row) const override;
    void progressSetRange(int id, int low, int high) override;
    void progressSetPosition(int id, int position) override;
    void messageBox(const std::string& text, MessageIcon icon) override;
    // Recorded in the host's questions(); answered as the host was told
    // (answerQuestions), else No.
    bool askYesNo(const std::string& text) override;
    bool appendSystemMenuSeparator() override;
    bool appendSystemMenuItem(unsigned command, const std::string& text) override;
    std::string loadString(int id) const override;
    WindowHandle windowHandle() const override;
    int dpi() const override;
    // While a page it opened runs, or a box of it is up (the host's
    // onMessageBox observer runs then).
    bool covered() const { return covers_ > 0; }
    void end(int result) override;
    // Runs the next action queued with whenPumped, if any (one per pump).
    void pumpMessages() override;

    // ---- What the user does while a handler pumps messages: each action
    // runs at one later pump, in order (a click on Cancel in the middle of a
    // search). Actions left when the page ends are dropped.
    void whenPumped(std::function<void(FakeDialog&)> action) { pumpActions_.push_back(std::move(action)); }
    int pumpCount() const { return pumps_; }

    // ---- The window's life; FakeDialogHost::runModal drives these.
    void open(Page& page);     // attaches the page to this window
    void focusFirstTabStop();  // what Windows does when WM_INITDIALOG returns TRUE
    void close();              // detaches the page; the state stays for inspection

    // ---- What a user does. Each needs the page attached and the dialog not
    // ended (the modal loop takes no input after EndDialog).
    // A mouse click: nothing (false) on a hidden or disabled control. The
    // control takes the focus; an automatic check box toggles; an automatic
    // radio button is checked and the other visible, enabled automatic radio
    // buttons of its group are cleared; then WM_COMMAND BN_CLICKED.
    bool click(int id);
    // WM_COMMAND sent by a program: reaches the page whatever the control's
    // state, unless the window is covered (the host drops it then: false).
    // Ids 1 and 2 go to onOk and onCancel, as the Win32 host routes them.
    bool sendCommand(int id, int code);
    // Enter: the focused push button's command; else the default push
    // button's (nothing when it is disabled); else IdOk. False when nothing
    // was sent.
    bool pressEnter();
    // Esc: IdCancel.
    void pressEsc();
    // The close box: WM_SYSCOMMAND SC_CLOSE; when the page leaves it to the
    // window, WM_CLOSE, which the dialog manager turns into IdCancel. False
    // when the window has no system menu (no close box).
    bool closeBox();
    // Choosing an entry of the window menu: the page's onSysCommand; SC_CLOSE
    // left to the window closes as closeBox does. The entry must be on the
    // menu: one the page appended, or Move or Close.
    bool systemMenuCommand(unsigned command);
    // Choosing a row of a drop-down list: the selection, then CBN_SELCHANGE.
    bool selectComboRow(int id, int row);
    // A click on a row of a list view (row -1: on the empty area below the
    // rows): that row alone selected, then NM_CLICK.
    bool clickListRow(int id, int row);
    // Moving the focus (by mouse or Tab): only to a visible, enabled control
    // that takes the focus.
    bool setFocus(int id);

    // ---- What a test looks at.
    int templateId() const { return template_.id; }
    const RcDialog& dialogTemplate() const { return template_; }
    std::string caption() const { return template_.caption; }
    bool isOpen() const { return page_ != nullptr; }
    bool ended() const { return ended_; }
    int result() const { return result_; }
    int endCount() const { return endCount_; }
    std::optional<int> focus() const;  // id of the focused control
    bool isVisible(int id) const;
    bool isTabStop(int id) const;
    ControlKind kind(int id) const;
    std::vector<std::string> comboRows(int id) const;
    const std::vector<ListColumn>& listColumns(int id) const;
    unsigned listExtendedStyle(int id) const;
    std::vector<int> listSelectedRows(int id) const;
    std::vector<std::string> listRow(int id, int row) const;
    std::pair<int, int> progressRange(int id) const;
    int progressPosition(int id) const;
    const std::vector<int>& progressHistory(int id) const;  // every position set, in order
    // Everything the page appended to the window menu, separators included.
    const std::vector<SystemMenuItem>& systemMenu() const { return systemMenu_; }
    // The appended entries that carry a command.
    std::vector<SystemMenuItem> systemMenuItems() const;
    const std::vector<MessageBoxRecord>& messages() const { return messages_; }

private:
    friend class FakeDialogHost;  // covers the window while a page it opened runs
    struct Control {
        RcControl tmpl;
        std::string text;
        bool visible = true;
        bool enabled = true;
        bool tabStop = false;
        bool checked = false;
        // combo box
        std::vector<std::string> rows;
        int selection = -1;
        // list view
        std::vector<ListColumn> columns;
        std::vector<std::vector<std::string>> cells;
        std::vector<bool> selected;
        unsigned extendedStyle = 0;
        // progress bar
        int low = 0;
        int high = 100;
        int position = 0;
        std::vector<int> history;
    };

    [[noreturn]] void misuse(const std::string& what) const;
    Control& find(int id, const char* operation);
    const Control& find(int id, const char* operation) const;
    Control& findKind(int id, const char* operation, std::initializer_list<ControlKind> kinds);
    const Control& findKind(int id, const char* operation, std::initializer_list<ControlKind> kinds) const;
    void checkRow(const Control& c, const char* operation, int row, std::size_t count) const;
    void requireInput(const char* action) const;
    void dispatchCommand(int id, int code);
    void defaultClose();
    void setCheckState(Control& c, bool checked);
    static bool takesFocus(const Control& c);

    RcDialog template_;
    const RcResources* resources_;
    WindowHandle handle_;
    FakeDialogHost* host_;
    std::vector<Control> controls_;
    Page* page_ = nullptr;
    bool ended_ = false;
    int result_ = 0;
    int endCount_ = 0;
    std::optional<std::size_t> focus_;
    std::vector<SystemMenuItem> systemMenu_;
    std::vector<MessageBoxRecord> messages_;
    std::deque<std::function<void(FakeDialog&)>> pumpActions_;
    int pumps_ = 0;
    int covers_ = 0;
};

class FakeDialogHost : public DialogHost {
public:
    using Script = std::function<void(FakeDialog&)>;

    // The result of a showing the scripts did not end properly.
    static constexpr int ScriptProblem = -100;

    explicit FakeDialogHost(const RcResources& resources = kelpResources());

    // Queues the user's actions for the next showing, which must be of
    // templateId. Scripts are used in the order the pages are shown; a page
    // opened from a handler (nested runModal) takes the next one.
    void onNextShow(int templateId, Script script);

    // Builds the window from page.templateId() (PageFailed when the script
    // has no such template), attaches the page, runs onInit, puts the focus
    // where Windows would, runs the next script and returns the result given
    // to end(). A showing that onInit ends takes no script.
    int runModal(Page& page) override;

    // The DPI of the windows shown from now on (96 unless set).
    void setDpi(int dpi) { dpi_ = dpi; }
    int dpi() const { return dpi_; }

    // From now on the window of templateId cannot be created: runModal
    // answers PageFailed without calling the page.
    void failTemplate(int templateId) { failing_.insert(templateId); }

    struct Showing {
        int templateId;
        int result;
        FakeDialog* dialog;  // null when the window could not be created
    };
    const std::vector<Showing>& showings() const { return showings_; }
    std::vector<int> shownTemplates() const;
    std::vector<int> results() const;
    // The window of the last showing of templateId, kept after its run.
    const FakeDialog& lastDialog(int templateId) const;
    // Every message box of every dialog, in the order shown.
    const std::vector<MessageBoxRecord>& messages() const { return messages_; }
    // Called for each message box while it is open, to look at what else
    // holds then (the machine's state).
    void onMessageBox(std::function<void(const MessageBoxRecord&)> observer) { boxObserver_ = std::move(observer); }
    // Every Yes/No question box, in the order shown (not in messages()).
    const std::vector<MessageBoxRecord>& questions() const { return questions_; }
    // The answers to the next question boxes, in order (true: Yes).
    void answerQuestions(std::vector<bool> answers) { answers_.assign(answers.begin(), answers.end()); }
    std::size_t pendingScripts() const { return scripts_.size(); }
    // Script problems and scripts never used, one per line; empty when none.
    std::string problems() const;

private:
    friend class FakeDialog;
    void recordMessageBox(const MessageBoxRecord& record) {
        messages_.push_back(record);
        if (boxObserver_) boxObserver_(record);
    }
    void problem(const std::string& what);
    void runScript(FakeDialog& dialog, std::size_t showing);

    struct Queued {
        int templateId;
        Script script;
        std::size_t number;  // 1-based, in order of registration
    };

    const RcResources& resources_;
    std::deque<Queued> scripts_;
    std::size_t registered_ = 0;
    std::vector<Showing> showings_;
    std::vector<std::unique_ptr<FakeDialog>> dialogs_;
    std::vector<MessageBoxRecord> messages_;
    std::vector<std::string> problems_;
    std::function<void(const MessageBoxRecord&)> boxObserver_;
    std::deque<bool> answers_;
    std::vector<MessageBoxRecord> questions_;
    std::set<int> failing_;
    std::vector<FakeDialog*> running_;  // the dialogs whose runModal has not returned, the last on top
    WindowHandle nextHandle_ = 0x10010;
    int dpi_ = 96;
};

}  // namespace kelp
