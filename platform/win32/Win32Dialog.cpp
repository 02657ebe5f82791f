#include "platform/win32/Win32Dialog.h"

#include <algorithm>
#include <vector>

#include <commctrl.h>

#include <exception>
#include <optional>

#include "platform/win32/Text.h"

namespace kelp {

namespace {

// Everything one modal run needs, on the stack of runModal for as long as
// DialogBoxParamW runs. The dialog procedure finds it in DWLP_USER from
// WM_INITDIALOG until WM_NCDESTROY.
struct ModalRun {
    Page& page;
    HINSTANCE instance;
    std::vector<HWND>& openWindows;     // the host's pages that are open
    std::optional<Win32Dialog> window;  // made at WM_INITDIALOG
    bool attached = false;              // the page may be called
    bool failed = false;                // a handler threw: the run ends with PageFailed
};

// Writes to the debugger output and never throws: it runs in the handler of
// an exception already on its way.
void reportFailure(const wchar_t* what, const char* reason) noexcept {
    try {
        std::wstring line = L"Kelp: ";
        line += what;
        if (reason && *reason) {
            line += L": ";
            line += win32::widen(reason);
        }
        line += L"\n";
        OutputDebugStringW(line.c_str());
    } catch (...) {
        OutputDebugStringW(L"Kelp: a page handler failed\n");
    }
}

// The page's handler for one message. Returns what the dialog procedure
// returns: TRUE when the message was processed, FALSE for the default
// processing of DefDlgProc. WM_INITDIALOG returns TRUE to let Windows set the
// focus to the first tab stop, FALSE when the page has set it itself.
// While a page or a box this window opened is up, Windows keeps the
// person's input from it, but another program may still post a command (a
// Next that would open a second page and destroy the one running): the page
// gets nothing then. A close posted meanwhile is dropped too; the window
// menu's other commands are Windows' own.
INT_PTR dispatch(ModalRun& run, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Page& page = run.page;
    if (run.window->covered()) {
        if (message == WM_COMMAND || message == WM_NOTIFY) {
            if (message == WM_NOTIFY) SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        if (message == WM_SYSCOMMAND) return (wParam & 0xFFF0) == SC_CLOSE ? TRUE : FALSE;
    }
    switch (message) {
        case WM_COMMAND: {
            // Split the id from the notification code: a combo box's
            // CBN_SELCHANGE comes with the combo's id in the low word.
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDOK)
                page.onOk();
            else if (id == IDCANCEL)
                page.onCancel();
            else
                page.onCommand(id, code);
            return TRUE;
        }
        case WM_SYSCOMMAND:
            // FALSE hands the command to DefDlgProc: SC_CLOSE becomes WM_CLOSE,
            // which DefDlgProc turns into WM_COMMAND IDCANCEL.
            return page.onSysCommand(static_cast<unsigned>(wParam)) ? TRUE : FALSE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (!header) return FALSE;
            const std::intptr_t result =
                page.onNotify(static_cast<int>(header->idFrom), static_cast<int>(header->code));
            // A dialog procedure hands a notification's result back through
            // DWLP_MSGRESULT; its own return value only says "processed".
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
            return TRUE;
        }
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* run = reinterpret_cast<ModalRun*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        run = reinterpret_cast<ModalRun*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(run));
    }
    if (!run) return FALSE;  // WM_SETFONT and the like, before WM_INITDIALOG

    // No C++ exception may unwind through user32: it would leave the window
    // manager's state half-updated and, across the system's frames, is not
    // even guaranteed to reach a handler. Report it and end the page.
    try {
        switch (message) {
            case WM_INITDIALOG:
                run->window.emplace(hwnd, run->instance);
                run->openWindows.push_back(hwnd);
                run->page.attach(&*run->window);
                run->attached = true;
                return run->page.onInit() ? TRUE : FALSE;
            case WM_DESTROY:
                // The page lets go of the window while its controls still exist;
                // whatever arrives after this is not passed to the page.
                if (run->attached) run->page.attach(nullptr);
                run->attached = false;
                std::erase(run->openWindows, hwnd);
                return FALSE;
            case WM_NCDESTROY:
                SetWindowLongPtrW(hwnd, DWLP_USER, 0);
                return FALSE;
            default:
                if (!run->attached || run->failed) return FALSE;
                return dispatch(*run, hwnd, message, wParam, lParam);
        }
    } catch (const std::exception& e) {
        reportFailure(L"a page handler failed", e.what());
    } catch (...) {
        reportFailure(L"a page handler failed with an unknown exception", nullptr);
    }
    run->failed = true;
    EndDialog(hwnd, PageFailed);
    return TRUE;
}

}  // namespace

// ---------------------------------------------------------------------------
// Win32DialogHost

int Win32DialogHost::runModal(Page& page) {
    ModalRun run{page, instance_, openWindows_, std::nullopt};
    // The first pages have no owner. A page opened from another page's
    // handler is owned by that page, which stays disabled while it runs, so
    // the user cannot press the opener's buttons again underneath it.
    const HWND owner = openWindows_.empty() ? nullptr : openWindows_.back();
    ModalRun* ownerRun = owner ? reinterpret_cast<ModalRun*>(GetWindowLongPtrW(owner, DWLP_USER)) : nullptr;
    const Win32Dialog::Cover cover(ownerRun && ownerRun->window ? &*ownerRun->window : nullptr);
    // DialogBoxParamW answers -1 when the template is missing or a control
    // of it cannot be created, and otherwise what EndDialog was given.
    const INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(page.templateId()), owner, dialogProc,
                                           reinterpret_cast<LPARAM>(&run));
    // WM_DESTROY has detached the page; make sure of it on every path.
    if (run.attached) page.attach(nullptr);
    if (run.failed || result == -1) return PageFailed;
    return static_cast<int>(result);
}

// ---------------------------------------------------------------------------
// Win32Dialog: each operation is one or two messages to a control of the
// dialog; a control that does not exist answers 0 to SendDlgItemMessageW.

LRESULT Win32Dialog::send(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendDlgItemMessageW(hwnd_, id, message, wParam, lParam);
}

void Win32Dialog::setText(int id, const std::string& text) {
    SetDlgItemTextW(hwnd_, id, win32::widen(text).c_str());
}

std::string Win32Dialog::text(int id) const {
    HWND control = GetDlgItem(hwnd_, id);
    if (!control) return {};
    // GetWindowTextLengthW may answer more than the text holds, never less.
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) return {};
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(control, buffer.data(), length + 1);
    buffer.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return win32::narrow(buffer);
}

void Win32Dialog::setCheck(int id, bool checked) {
    send(id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32Dialog::isChecked(int id) const { return send(id, BM_GETCHECK) == BST_CHECKED; }

void Win32Dialog::enable(int id, bool enabled) {
    if (HWND control = GetDlgItem(hwnd_, id)) EnableWindow(control, enabled ? TRUE : FALSE);
}

void Win32Dialog::show(int id, bool visible) {
    if (HWND control = GetDlgItem(hwnd_, id)) ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
}

bool Win32Dialog::isEnabled(int id) const {
    HWND control = GetDlgItem(hwnd_, id);
    return control && IsWindowEnabled(control);
}

// The focus may be on a control's own child (a combo box's edit): the
// dialog's control is the one whose parent is the dialog.
int Win32Dialog::focusedControl() const {
    HWND focus = GetFocus();
    // GA_PARENT, unlike GetParent, never answers a popup's owner.
    while (focus && GetAncestor(focus, GA_PARENT) != hwnd_) focus = GetAncestor(focus, GA_PARENT);
    return focus ? GetDlgCtrlID(focus) : 0;
}

// WM_NEXTDLGCTL moves the focus the dialog manager's way: the default push
// button follows, an edit's text is selected.
void Win32Dialog::focusControl(int id) {
    HWND control = GetDlgItem(hwnd_, id);
    if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) return;
    SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

// Combo boxes ---------------------------------------------------------------

void Win32Dialog::comboReset(int id) { send(id, CB_RESETCONTENT); }

void Win32Dialog::comboAdd(int id, const std::string& text) {
    const std::wstring wide = win32::widen(text);
    send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

// Row -1 clears the selection (CB_SETCURSEL answers CB_ERR then, as it does
// for a row out of range).
void Win32Dialog::comboSetSelection(int id, int row) { send(id, CB_SETCURSEL, static_cast<WPARAM>(row)); }

int Win32Dialog::comboSelection(int id) const {
    const LRESULT row = send(id, CB_GETCURSEL);
    return row == CB_ERR ? -1 : static_cast<int>(row);
}

int Win32Dialog::comboCount(int id) const {
    const LRESULT count = send(id, CB_GETCOUNT);
    return count == CB_ERR ? 0 : static_cast<int>(count);
}

std::string Win32Dialog::comboText(int id, int row) const {
    const LRESULT length = send(id, CB_GETLBTEXTLEN, static_cast<WPARAM>(row));
    if (length == CB_ERR || length <= 0) return {};
    std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = send(id, CB_GETLBTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.data()));
    if (copied == CB_ERR || copied <= 0) return {};
    buffer.resize(static_cast<size_t>(copied));
    return win32::narrow(buffer);
}

// List views ----------------------------------------------------------------

void Win32Dialog::listChangeExtendedStyle(int id, unsigned mask, unsigned style) {
    send(id, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style);
}

void Win32Dialog::listInsertColumn(int id, int column, const std::string& heading, int width) {
    std::wstring wide = win32::widen(heading);
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = LVCFMT_LEFT;
    col.cx = width;
    col.pszText = wide.data();
    col.iSubItem = column;
    const LRESULT inserted = send(id, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col));
    if (inserted < 0) return;
    auto list = std::find_if(columnWidths_.begin(), columnWidths_.end(), [id](const auto& entry) { return entry.first == id; });
    if (list == columnWidths_.end()) list = columnWidths_.insert(list, {id, {}});
    std::vector<int>& widths = list->second;
    widths.insert(widths.begin() + std::min(static_cast<size_t>(inserted), widths.size()), width);
    // The column that was last gives its room back.
    for (size_t other = 0; other + 1 < widths.size(); ++other)
        send(id, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(other), MAKELPARAM(widths[other], 0));
    fitLastColumn(id);
}

// The last column takes the room the others leave in the list, so that its
// texts are not cut while the list has space; the width the page gave stays
// its least. The room is the client area, which shrinks when a vertical
// scroll bar comes with the rows, so the fit is made again as rows change.
void Win32Dialog::fitLastColumn(int id) {
    const auto found = std::find_if(columnWidths_.begin(), columnWidths_.end(), [id](const auto& entry) { return entry.first == id; });
    if (found == columnWidths_.end() || found->second.empty()) return;
    const int last = static_cast<int>(found->second.size()) - 1;
    RECT client{};
    if (!GetClientRect(GetDlgItem(hwnd_, id), &client)) return;
    int room = client.right - client.left;
    for (int column = 0; column < last; ++column) room -= static_cast<int>(send(id, LVM_GETCOLUMNWIDTH, column));
    const int width = std::max(found->second.back(), room);
    if (send(id, LVM_GETCOLUMNWIDTH, last) != width) send(id, LVM_SETCOLUMNWIDTH, last, MAKELPARAM(width, 0));
}

void Win32Dialog::listDeleteAll(int id) {
    send(id, LVM_DELETEALLITEMS);
    fitLastColumn(id);
}

int Win32Dialog::listAddRow(int id, const std::vector<std::string>& cells) {
    std::wstring first = cells.empty() ? std::wstring() : win32::widen(cells.front());
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = listRowCount(id);
    item.iSubItem = 0;
    item.pszText = first.data();
    const auto row = static_cast<int>(send(id, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return -1;
    for (size_t column = 1; column < cells.size(); ++column) {
        std::wstring cell = win32::widen(cells[column]);
        LVITEMW sub{};
        sub.iSubItem = static_cast<int>(column);
        sub.pszText = cell.data();
        send(id, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&sub));
    }
    fitLastColumn(id);
    return row;
}

int Win32Dialog::listRowCount(int id) const { return static_cast<int>(send(id, LVM_GETITEMCOUNT)); }

// LVM_GETITEMTEXTW copies at most cchTextMax - 1 characters and answers how
// many it copied; a full buffer may mean a longer text, so grow and ask again.
std::string Win32Dialog::listCell(int id, int row, int column) const {
    constexpr size_t kLargest = size_t{1} << 20;
    for (size_t size = 256;; size *= 2) {
        std::wstring buffer(size, L'\0');
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(size);
        const LRESULT copied = send(id, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        if (copied <= 0) return {};
        if (static_cast<size_t>(copied) < size - 1 || size >= kLargest) {
            buffer.resize(static_cast<size_t>(copied));
            return win32::narrow(buffer);
        }
    }
}

void Win32Dialog::listSelectRow(int id, int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED;
    send(id, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

bool Win32Dialog::listRowSelected(int id, int row) const {
    return (send(id, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

// Progress bar --------------------------------------------------------------

// PBM_SETRANGE takes 16-bit bounds, enough for the 0..100 of the port page.
void Win32Dialog::progressSetRange(int id, int low, int high) {
    send(id, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void Win32Dialog::progressSetPosition(int id, int position) { send(id, PBM_SETPOS, static_cast<WPARAM>(position)); }

// Window-level operations ---------------------------------------------------

void Win32Dialog::messageBox(const std::string& text, MessageIcon icon) {
    UINT type = MB_OK;
    if (icon == MessageIcon::Exclamation) type |= MB_ICONEXCLAMATION;
    const std::wstring title = win32::applicationTitle();
    const std::wstring wide = win32::widen(text);
    const Cover cover(this);
    MessageBoxW(hwnd_, wide.c_str(), title.c_str(), type);
}

bool Win32Dialog::askYesNo(const std::string& text) {
    const std::wstring title = win32::applicationTitle();
    const std::wstring wide = win32::widen(text);
    const Cover cover(this);
    return MessageBoxW(hwnd_, wide.c_str(), title.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool Win32Dialog::appendSystemMenuSeparator() {
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    return menu && AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
}

bool Win32Dialog::appendSystemMenuItem(unsigned command, const std::string& text) {
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    if (!menu) return false;
    return AppendMenuW(menu, MF_STRING, command, win32::widen(text).c_str()) != FALSE;
}

// With a buffer size of 0 LoadStringW hands back a read-only pointer into the
// string table and the text's length: no copy, so nothing is cut short.
// The text in the table is not zero-terminated.
std::string Win32Dialog::loadString(int id) const {
    const wchar_t* text = nullptr;
    const int length =
        LoadStringW(instance_, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return {};
    return win32::narrow(std::wstring(text, static_cast<size_t>(length)));
}

WindowHandle Win32Dialog::windowHandle() const { return reinterpret_cast<WindowHandle>(hwnd_); }

// GetDpiForWindow exists from Windows 10 1607 on; before it, a DPI-aware
// process sees the system DPI in the screen's device context.
int Win32Dialog::dpi() const {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow) {
        if (const UINT value = getDpiForWindow(hwnd_)) return static_cast<int>(value);
    }
    int value = 96;
    if (HDC screen = GetDC(hwnd_)) {
        value = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(hwnd_, screen);
    }
    return value > 0 ? value : 96;
}

void Win32Dialog::end(int result) { EndDialog(hwnd_, result); }

// What the modal loop does with each message, for the ones waiting now:
// IsDialogMessageW gives the dialog its keys (Esc becomes IDCANCEL, Tab
// moves the focus), the rest are dispatched. Input to the windows this one
// disables (its owners) never arrives. A WM_QUIT is put back for the loop
// that owns it.
void Win32Dialog::pumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (IsDialogMessageW(hwnd_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// ---------------------------------------------------------------------------

namespace win32 {

std::wstring applicationTitle() {
    // GetModuleFileNameW fills the whole buffer (and truncates) when the path
    // does not fit; grow until it answers less than the buffer size.
    std::wstring path;
    for (DWORD size = MAX_PATH; size <= 32768 * 2; size *= 2) {
        path.assign(size, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
        if (length == 0) return {};
        if (length < size) {
            path.resize(length);
            break;
        }
        path.clear();
    }
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace win32

}  // namespace kelp
