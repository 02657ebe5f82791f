// A page's view of its one window, and the host that runs pages modally.
// The Win32 host implements them over DialogBoxParamW; the test host builds
// the same dialogs from the resource script.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kelp {

// Extended list-view styles the pages change (LVS_EX_*).
constexpr unsigned ListExGridLines = 0x00000001;
constexpr unsigned ListExTrackSelect = 0x00000008;
constexpr unsigned ListExFullRowSelect = 0x00000020;

// Notification and command codes the pages look at.
constexpr int ButtonClicked = 0;         // BN_CLICKED
constexpr int ComboSelectionChange = 1;  // CBN_SELCHANGE
constexpr int NotifyClick = -2;          // NM_CLICK
constexpr int ListItemChanged = -101;    // LVN_ITEMCHANGED: a row's state changed (keys, clicks, the program)

// Dialog command identifiers: Enter gives IdOk, Esc and the close box IdCancel.
constexpr int IdOk = 1;
constexpr int IdCancel = 2;

// System command masks (WM_SYSCOMMAND).
constexpr unsigned SysCommandMask = 0xFFF0;
constexpr unsigned SysCommandClose = 0xF060;  // SC_CLOSE

// A length given in pixels at 96 DPI, for a window of dpi (rounded).
constexpr int ScaleForDpi(int pixels, int dpi) { return (pixels * dpi + 48) / 96; }

// Page results.
constexpr int PageOk = 1;
constexpr int PageCancel = 2;
constexpr int PageFailed = -1;

enum class MessageIcon { None, Exclamation, Question };

class Dialog {
public:
    virtual ~Dialog() = default;

    virtual void setText(int id, const std::string& text) = 0;
    virtual std::string text(int id) const = 0;

    virtual void setCheck(int id, bool checked) = 0;
    virtual bool isChecked(int id) const = 0;
    virtual void enable(int id, bool enabled) = 0;
    virtual void show(int id, bool visible) = 0;
    virtual bool isEnabled(int id) const = 0;
    // The control that has the keyboard focus; 0 when none of this window's
    // controls has it.
    virtual int focusedControl() const = 0;
    // Gives the keyboard focus to a visible, enabled control, as Tab would.
    // A control that has the focus is never disabled before the focus has
    // moved: Windows leaves the focus nowhere then, and the keyboard dead.
    virtual void focusControl(int id) = 0;

    // Combo boxes (drop-down lists). Selection -1 means none.
    virtual void comboReset(int id) = 0;
    virtual void comboAdd(int id, const std::string& text) = 0;
    virtual void comboSetSelection(int id, int row) = 0;
    virtual int comboSelection(int id) const = 0;
    virtual int comboCount(int id) const = 0;
    virtual std::string comboText(int id, int row) const = 0;

    // List views in report view.
    virtual void listChangeExtendedStyle(int id, unsigned mask, unsigned style) = 0;
    virtual void listInsertColumn(int id, int column, const std::string& heading, int width) = 0;
    virtual void listDeleteAll(int id) = 0;
    virtual int listAddRow(int id, const std::vector<std::string>& cells) = 0;
    virtual int listRowCount(int id) const = 0;
    virtual std::string listCell(int id, int row, int column) const = 0;
    // Sets the selected state of row and clears its focused state.
    virtual void listSelectRow(int id, int row) = 0;
    virtual bool listRowSelected(int id, int row) const = 0;

    virtual void progressSetRange(int id, int low, int high) = 0;
    virtual void progressSetPosition(int id, int position) = 0;

    // A message box with an OK button, captioned with the application's title.
    virtual void messageBox(const std::string& text, MessageIcon icon) = 0;
    // A question box with Yes and No, captioned with the application's
    // title: true for Yes; No and the close box answer false.
    virtual bool askYesNo(const std::string& text) = 0;

    // The window menu; false when the window has none.
    virtual bool appendSystemMenuSeparator() = 0;
    virtual bool appendSystemMenuItem(unsigned command, const std::string& text) = 0;
    virtual std::string loadString(int id) const = 0;

    virtual WindowHandle windowHandle() const = 0;
    // The window's dots per inch: 96 at 100 % scaling, 144 at 150 %.
    virtual int dpi() const = 0;
    // Ends the modal run with result; handlers after this see a closing window.
    virtual void end(int result) = 0;
    // Handles the input and repaints waiting for the program's windows, then
    // returns: a long operation inside a handler calls it now and then so
    // that its window stays alive and a click on Cancel reaches the page
    // (whose handlers may run from inside this call).
    virtual void pumpMessages() = 0;
};

// A modal page: its template id and one handler per message kind.
class Page {
public:
    explicit Page(int templateId) : templateId_(templateId) {}
    virtual ~Page() = default;
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    int templateId() const { return templateId_; }

    // True returned from onInit lets the window put the focus on the first
    // control that takes it.
    virtual bool onInit() { return true; }
    virtual void onCommand(int /*id*/, int /*code*/) {}
    virtual void onOk() { end(PageOk); }
    virtual void onCancel() { end(PageCancel); }
    // Returns true when the command was handled; false leaves it to the window.
    virtual bool onSysCommand(unsigned /*command*/) { return false; }
    virtual std::intptr_t onNotify(int /*id*/, int /*code*/) { return 0; }

    // The host attaches the window while the page is open.
    void attach(Dialog* dialog) { dialog_ = dialog; }
    bool isOpen() const { return dialog_ != nullptr; }
    Dialog& dialog() const { return *dialog_; }

protected:
    void end(int result) { dialog_->end(result); }

private:
    int templateId_;
    Dialog* dialog_ = nullptr;
};

class DialogHost {
public:
    virtual ~DialogHost() = default;
    // Shows page modally with no parent window: PageOk, PageCancel, or
    // PageFailed when the window cannot be created.
    virtual int runModal(Page& page) = 0;
};

}  // namespace kelp
