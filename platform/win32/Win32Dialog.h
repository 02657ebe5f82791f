// The Win32 side of Dialog.h: a page runs as a modal dialog box made from its
// template (DialogBoxParamW), and its window is reached through Win32Dialog,
// a handful of message sends per control kind.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/Dialog.h"

namespace kelp {

// One open page window. Created by the host when the window receives
// WM_INITDIALOG, attached to the page while the window lives and detached at
// WM_DESTROY, before any child control is gone.
class Win32Dialog : public Dialog {
public:
    Win32Dialog(HWND hwnd, HINSTANCE instance) : hwnd_(hwnd), instance_(instance) {}

    void setText(int id, const std::string& text) override;
    std::string text(int id) const override;

    void setCheck(int id, bool checked) override;
    bool isChecked(int id) const override;
    void enable(int id, bool enabled) override;
    void show(int id, bool visible) override;
    bool isEnabled(int id) const override;
    int focusedControl() const override;
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
    bool askYesNo(const std::string& text) override;

    bool appendSystemMenuSeparator() override;
    bool appendSystemMenuItem(unsigned command, const std::string& text) override;
    std::string loadString(int id) const override;

    WindowHandle windowHandle() const override;
    // Whether a page or a box this window opened is still up.
    bool covered() const { return covers_ > 0; }
    int dpi() const override;
    void end(int result) override;
    void pumpMessages() override;

    HWND hwnd() const { return hwnd_; }

    // Counts a page or a box this window opened, for as long as it is up.
    class Cover {
    public:
        explicit Cover(Win32Dialog* dialog) : dialog_(dialog) {
            if (dialog_) ++dialog_->covers_;
        }
        ~Cover() {
            if (dialog_) --dialog_->covers_;
        }
        Cover(const Cover&) = delete;
        Cover& operator=(const Cover&) = delete;

    private:
        Win32Dialog* dialog_;
    };

private:
    LRESULT send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void fitLastColumn(int id);

    HWND hwnd_;
    HINSTANCE instance_;
    int covers_ = 0;
    // per list: the widths the page gave (a list of pairs: a std::map would
    // bring its tree code into Kelp.exe for a list or two)
    std::vector<std::pair<int, std::vector<int>>> columnWidths_;
};

// Runs pages as modal dialog boxes from the templates of the module
// `instance`; a page opened while another is open is owned by it.
class Win32DialogHost : public DialogHost {
public:
    explicit Win32DialogHost(HINSTANCE instance) : instance_(instance) {}

    // PageOk / PageCancel / whatever the page ended with; PageFailed (-1) when
    // the window cannot be created (a missing template, a control class that
    // is not registered) or when a handler threw.
    int runModal(Page& page) override;

private:
    HINSTANCE instance_;
    std::vector<HWND> openWindows_;
};

namespace win32 {

// The application's title: the base name of the program file without its
// extension ("Kelp" for C:\pkg\Kelp.exe). Message boxes carry it as caption.
std::wstring applicationTitle();

}  // namespace win32

}  // namespace kelp
