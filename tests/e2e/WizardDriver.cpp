#include "WizardDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <commctrl.h>
#include <tlhelp32.h>
#include <cwchar>
#include <sstream>

namespace e2e {

namespace {

constexpr wchar_t kCaption[] = L"Vexo Receipt Printer Driver";
constexpr wchar_t kAboutCaption[] = L"关于 Kelp";
constexpr wchar_t kMessageCaption[] = L"Kelp";
constexpr int kMessageTextId = 0xFFFF;
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr UINT kReadTimeout = 5000;  // per message, ms

std::wstring environment(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    if (length == 0 || length >= size) return {};
    value.resize(length);
    return value;
}

// Wine hands the Unix environment through unchanged, so a Unix path may
// arrive here: Wine maps the Unix root to drive Z:.
std::wstring windowsPath(std::wstring path) {
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

bool send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK, kReadTimeout,
                             &answer))
        return false;
    result = static_cast<LRESULT>(answer);
    return true;
}

std::wstring className(HWND window) {
    wchar_t name[128] = {};
    if (!GetClassNameW(window, name, 128)) return {};
    return name;
}

// The caption as the window manager keeps it: no message to the owner thread.
std::wstring caption(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

bool writeBmp(const std::wstring& path, int width, int height, const std::vector<BYTE>& rows) {
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(rows.size());
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;

    const HANDLE out =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof(file), &written, nullptr) && written == sizeof(file);
    ok = ok && WriteFile(out, &info, sizeof(info), &written, nullptr) && written == sizeof(info);
    ok = ok && WriteFile(out, rows.data(), info.biSizeImage, &written, nullptr) && written == info.biSizeImage;
    return CloseHandle(out) && ok;
}

}  // namespace

std::string currentTestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info ? std::string(info->test_suite_name()) + "." + info->name() : "no-test";
}

const Scenario& Scenario::current() {
    static const Scenario scenario = [] {
        Scenario s;
        s.packageRoot = windowsPath(environment(L"KELP_E2E_PACKAGE"));
        s.shotDir = windowsPath(environment(L"KELP_E2E_SHOTS"));
        s.locale = utf8(environment(L"KELP_E2E_LOCALE"));
        s.arch = utf8(environment(L"KELP_E2E_ARCH"));
        s.winver = utf8(environment(L"KELP_E2E_WINVER"));
        const std::wstring dpi = environment(L"KELP_E2E_DPI");
        if (!dpi.empty()) s.dpi = static_cast<int>(std::wcstol(dpi.c_str(), nullptr, 10));
        // The driver works in the screen's pixels, as Kelp.exe (DPI aware)
        // does; unaware, it would see every window scaled to 96 DPI.
        SetProcessDPIAware();
        return s;
    }();
    return scenario;
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                            nullptr);
    return out;
}

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(size > 0 ? static_cast<size_t>(size) : 0, L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

const char* pageName(Page page) {
    switch (page) {
    case Page::Language: return "language";
    case Page::System: return "system";
    case Page::Settings: return "settings";
    case Page::Port: return "port";
    case Page::PortTypes: return "port types";
    case Page::Network: return "network";
    case Page::About: return "about";
    case Page::Message: return "message";
    case Page::Other: break;
    }
    return "other";
}

Page classify(HWND window) {
    if (!IsWindow(window) || className(window) != kDialogClass) return Page::Other;
    const std::wstring title = caption(window);
    auto has = [window](int id) { return GetDlgItem(window, id) != nullptr; };
    if (title == kAboutCaption) return Page::About;
    if (title == kMessageCaption && has(kMessageTextId)) return Page::Message;
    if (title != kCaption) return Page::Other;
    if (has(1021) && has(1025)) return Page::Port;
    if (has(1021) && has(1008) && has(1009)) return Page::PortTypes;
    if (has(1034) && has(1035) && has(1036)) return Page::Network;
    if (has(1011) && has(1013) && has(1031) && has(1032)) return Page::Settings;
    if (has(1020) && has(1009) && has(1028)) return Page::System;
    if (has(1011) && has(1010) && has(1012) && has(1028) && !has(1009)) return Page::Language;
    return Page::Other;
}

std::string windowText(HWND window) {
    LRESULT length = 0;
    if (!window || !send(window, WM_GETTEXTLENGTH, 0, 0, length) || length < 0) return "<no text>";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = 0;
    if (!send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), copied)) return "<no text>";
    text.resize(static_cast<size_t>(copied));
    return utf8(text);
}

std::string itemText(HWND dialog, int id) {
    const HWND item = GetDlgItem(dialog, id);
    return item ? windowText(item) : "<no control " + std::to_string(id) + ">";
}

bool hasItem(HWND dialog, int id) { return GetDlgItem(dialog, id) != nullptr; }

LONG itemStyle(HWND dialog, int id) {
    const HWND item = GetDlgItem(dialog, id);
    return item ? GetWindowLongW(item, GWL_STYLE) : 0;
}

bool itemVisible(HWND dialog, int id) { return (itemStyle(dialog, id) & WS_VISIBLE) != 0; }

bool itemEnabled(HWND dialog, int id) {
    const HWND item = GetDlgItem(dialog, id);
    return item && IsWindowEnabled(item);
}

std::string itemClass(HWND dialog, int id) {
    const HWND item = GetDlgItem(dialog, id);
    return item ? utf8(className(item)) : std::string();
}

int checkState(HWND dialog, int id) {
    LRESULT state = 0;
    const HWND item = GetDlgItem(dialog, id);
    if (!item || !send(item, BM_GETCHECK, 0, 0, state)) return -1;
    return static_cast<int>(state);
}

int comboSelection(HWND dialog, int id) {
    LRESULT row = 0;
    const HWND item = GetDlgItem(dialog, id);
    if (!item || !send(item, CB_GETCURSEL, 0, 0, row)) return -2;
    return static_cast<int>(row);
}

std::vector<std::string> comboRows(HWND dialog, int id) {
    std::vector<std::string> rows;
    const HWND item = GetDlgItem(dialog, id);
    LRESULT count = 0;
    if (!item || !send(item, CB_GETCOUNT, 0, 0, count) || count < 0) return rows;
    for (LRESULT row = 0; row < count; ++row) {
        LRESULT length = 0;
        if (!send(item, CB_GETLBTEXTLEN, row, 0, length) || length < 0) {
            rows.push_back("<unreadable>");
            continue;
        }
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        LRESULT copied = 0;
        if (!send(item, CB_GETLBTEXT, row, reinterpret_cast<LPARAM>(text.data()), copied) || copied < 0) {
            rows.push_back("<unreadable>");
            continue;
        }
        text.resize(static_cast<size_t>(copied));
        rows.push_back(utf8(text));
    }
    return rows;
}

namespace {

// A block of memory in the process that owns a window, freed with the object.
class RemoteMemory {
public:
    RemoteMemory(HWND window, size_t size) : size_(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (!pid) return;
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (!process_) return;
        address_ = static_cast<BYTE*>(VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteMemory() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool ok() const { return address_ != nullptr; }
    BYTE* at(size_t offset) const { return address_ + offset; }
    bool write(const void* data, size_t size, size_t offset = 0) {
        SIZE_T done = 0;
        return ok() && offset + size <= size_ && WriteProcessMemory(process_, address_ + offset, data, size, &done) &&
               done == size;
    }
    bool read(void* data, size_t size, size_t offset = 0) const {
        SIZE_T done = 0;
        return ok() && offset + size <= size_ && ReadProcessMemory(process_, address_ + offset, data, size, &done) &&
               done == size;
    }

private:
    HANDLE process_ = nullptr;
    BYTE* address_ = nullptr;
    size_t size_ = 0;
};

constexpr int kCellChars = 512;

bool setItemState(HWND list, int row, UINT state, UINT mask) {
    RemoteMemory memory(list, sizeof(LVITEMW));
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    LRESULT result = 0;
    return memory.write(&item, sizeof(item)) &&
           send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory.at(0)), result) &&
           result != FALSE;
}

}  // namespace

int listRowCount(HWND dialog, int id) {
    const HWND list = GetDlgItem(dialog, id);
    LRESULT count = 0;
    if (!list || !send(list, LVM_GETITEMCOUNT, 0, 0, count)) return -1;
    return static_cast<int>(count);
}

std::string listCell(HWND dialog, int id, int row, int column) {
    const HWND list = GetDlgItem(dialog, id);
    if (!list) return "<no control " + std::to_string(id) + ">";
    RemoteMemory memory(list, sizeof(LVITEMW) + kCellChars * sizeof(wchar_t));
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(memory.at(sizeof(LVITEMW)));
    item.cchTextMax = kCellChars;
    const wchar_t none = 0;
    LRESULT length = 0;
    if (!memory.write(&item, sizeof(item)) || !memory.write(&none, sizeof(none), sizeof(LVITEMW)) ||
        !send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory.at(0)), length) ||
        length < 0 || length >= kCellChars)
        return "<unreadable>";
    std::wstring text(static_cast<size_t>(length), L'\0');
    if (length > 0 && !memory.read(text.data(), text.size() * sizeof(wchar_t), sizeof(LVITEMW))) return "<unreadable>";
    return utf8(text);
}

std::vector<std::vector<std::string>> listRows(HWND dialog, int id, int columns) {
    std::vector<std::vector<std::string>> rows;
    const int count = listRowCount(dialog, id);
    for (int row = 0; row < count; ++row) {
        std::vector<std::string> cells;
        for (int column = 0; column < columns; ++column) cells.push_back(listCell(dialog, id, row, column));
        rows.push_back(std::move(cells));
    }
    return rows;
}

std::vector<int> listSelection(HWND dialog, int id) {
    std::vector<int> selected;
    const HWND list = GetDlgItem(dialog, id);
    const int count = listRowCount(dialog, id);
    for (int row = 0; row < count; ++row) {
        LRESULT state = 0;
        if (send(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED, state) && (state & LVIS_SELECTED))
            selected.push_back(row);
    }
    return selected;
}

std::string listHeading(HWND dialog, int id, int column) {
    const HWND list = GetDlgItem(dialog, id);
    if (!list) return "<no control " + std::to_string(id) + ">";
    RemoteMemory memory(list, sizeof(LVCOLUMNW) + kCellChars * sizeof(wchar_t));
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT;
    info.pszText = reinterpret_cast<wchar_t*>(memory.at(sizeof(LVCOLUMNW)));
    info.cchTextMax = kCellChars;
    std::wstring text(kCellChars, L'\0');
    LRESULT result = 0;
    if (!memory.write(&info, sizeof(info)) || !memory.write(text.data(), sizeof(wchar_t), sizeof(LVCOLUMNW)) ||
        !send(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(memory.at(0)), result) ||
        !result || !memory.read(text.data(), text.size() * sizeof(wchar_t), sizeof(LVCOLUMNW)))
        return "<unreadable>";
    text.resize(wcsnlen(text.c_str(), text.size()));
    return utf8(text);
}

int listColumnWidth(HWND dialog, int id, int column) {
    const HWND list = GetDlgItem(dialog, id);
    LRESULT width = 0;
    if (!list || !send(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0, width)) return 0;
    return static_cast<int>(width);
}

int listTextWidth(HWND dialog, int id, const std::string& text) {
    const HWND list = GetDlgItem(dialog, id);
    const std::wstring wide = widen(text);
    RemoteMemory memory(list, (wide.size() + 1) * sizeof(wchar_t));
    LRESULT width = 0;
    if (!list || !memory.write(wide.c_str(), (wide.size() + 1) * sizeof(wchar_t)) ||
        !send(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(memory.at(0)), width))
        return 0;
    return static_cast<int>(width);
}

int listFind(HWND dialog, int id, const std::string& text) {
    const int count = listRowCount(dialog, id);
    for (int row = 0; row < count; ++row)
        if (listCell(dialog, id, row, 0) == text) return row;
    return -1;
}

bool selectListRow(HWND dialog, int id, int row) {
    const HWND list = GetDlgItem(dialog, id);
    if (!list) return false;
    return setItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED) &&
           setItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

std::string messageText(HWND box) { return itemText(box, kMessageTextId); }

std::vector<std::string> controlsOutside(HWND window) {
    std::vector<std::string> outside;
    RECT client{};
    if (!GetClientRect(window, &client)) return {"no client area"};
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        RECT box{};
        GetWindowRect(child, &box);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&box), 2);
        if (box.left < client.left || box.top < client.top || box.right > client.right || box.bottom > client.bottom)
            outside.push_back(std::to_string(GetDlgCtrlID(child)) + " " + utf8(className(child)) + " (" +
                              std::to_string(box.left) + "," + std::to_string(box.top) + ")-(" +
                              std::to_string(box.right) + "," + std::to_string(box.bottom) + ")");
    }
    return outside;
}

namespace {

struct ChildSearch {
    std::wstring windowClass;
    std::vector<HWND> found;
};

BOOL CALLBACK collectChildren(HWND child, LPARAM data) {
    auto* search = reinterpret_cast<ChildSearch*>(data);
    if (lstrcmpiW(className(child).c_str(), search->windowClass.c_str()) == 0) search->found.push_back(child);
    return TRUE;
}

std::vector<HWND> children(HWND window, const wchar_t* windowClass) {
    ChildSearch search{windowClass, {}};
    if (window) EnumChildWindows(window, collectChildren, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND findChild(HWND window, const wchar_t* windowClass) {
    const auto found = children(window, windowClass);
    return found.empty() ? nullptr : found.front();
}

std::vector<std::string> childTexts(HWND window, const wchar_t* windowClass) {
    std::vector<std::string> texts;
    for (HWND child : children(window, windowClass)) texts.push_back(windowText(child));
    return texts;
}

bool setText(HWND window, const std::string& text) {
    const std::wstring wide = widen(text);
    LRESULT result = 0;
    return window && send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), result) && result;
}

bool click(HWND dialog, int id) {
    const HWND item = GetDlgItem(dialog, id);
    return item && PostMessageW(item, BM_CLICK, 0, 0);
}

bool command(HWND dialog, int id) {
    const HWND item = GetDlgItem(dialog, id);
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item));
}

bool selectRow(HWND dialog, int id, int row) {
    const HWND item = GetDlgItem(dialog, id);
    LRESULT result = 0;
    if (!item || !send(item, CB_SETCURSEL, static_cast<WPARAM>(row), 0, result) || result != row) return false;
    // CB_SETCURSEL sends no notification; a user's choice in the list does.
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item));
}

HWND focusedWindow(HWND dialog) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    if (!thread || !GetGUIThreadInfo(thread, &info)) return nullptr;
    return info.hwndFocus;
}

int focusedId(HWND dialog) {
    const HWND focus = focusedWindow(dialog);
    if (!focus) return -1;
    return IsChild(dialog, focus) ? GetDlgCtrlID(focus) : 0;
}

// A key as the wizard's message loop sees it: posted to the control, where the
// dialog's IsDialogMessage turns Esc and Enter into IDCANCEL and IDOK.
bool pressKeyOn(HWND control, UINT virtualKey) {
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    if (!control || !PostMessageW(control, WM_KEYDOWN, virtualKey, 1 | scan)) return false;
    // The key-down alone may already have closed the window (Esc, Enter), so
    // the key-up can find it gone; that is not a failure to press the key.
    PostMessageW(control, WM_KEYUP, virtualKey, 1 | scan | (LPARAM(3) << 30));
    return true;
}

bool pressKey(HWND dialog, UINT virtualKey) {
    HWND target = focusedWindow(dialog);
    if (!target || (target != dialog && !IsChild(dialog, target))) target = dialog;
    return pressKeyOn(target, virtualKey);
}

bool typeKeys(const std::vector<UINT>& virtualKeys) {
    std::vector<INPUT> inputs;
    for (UINT key : virtualKeys)
        for (DWORD flags : {DWORD(0), DWORD(KEYEVENTF_KEYUP)}) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wVk = static_cast<WORD>(key);
            input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
            input.ki.dwFlags = flags;
            inputs.push_back(input);
        }
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

bool closeBox(HWND dialog) { return PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

bool systemCommand(HWND dialog, WPARAM commandId) { return PostMessageW(dialog, WM_SYSCOMMAND, commandId, 0); }

bool waitForItemText(HWND dialog, int id, const std::string& expected, DWORD timeoutMs) {
    return waitUntil([&] { return itemText(dialog, id) == expected; }, timeoutMs);
}

bool settle(HWND dialog, int listId, DWORD timeoutMs) {
    const HWND list = GetDlgItem(dialog, listId);
    LRESULT current = 0;
    if (!list || !send(list, LVM_GETHOVERTIME, 0, 0, current)) return false;
    const LPARAM probe = static_cast<DWORD>(current) == 400 ? 401 : 400;
    if (!PostMessageW(list, LVM_SETHOVERTIME, 0, probe)) return false;
    return waitUntil(
        [&] {
            LRESULT now = 0;
            return send(list, LVM_GETHOVERTIME, 0, 0, now) && static_cast<DWORD>(now) == static_cast<DWORD>(probe);
        },
        timeoutMs);
}

int runningProcesses(const wchar_t* exeName) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (lstrcmpiW(entry.szExeFile, exeName) == 0) ++count;
    CloseHandle(snapshot);
    return count;
}

namespace {

BOOL CALLBACK findUnpainted(HWND child, LPARAM data) {
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
        *reinterpret_cast<bool*>(data) = true;
        return FALSE;
    }
    return TRUE;
}

// True while the window or one of its children has a part still to paint.
bool paintPending(HWND window) {
    bool pending = GetUpdateRect(window, nullptr, FALSE) != FALSE;
    if (!pending) EnumChildWindows(window, findUnpainted, reinterpret_cast<LPARAM>(&pending));
    return pending;
}

// The screen's pixels in box as the rows of a bottom-up 24-bit BMP.
bool capture(const RECT& box, std::vector<BYTE>& rows) {
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    bool ok = false;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    if (screen && memory && bitmap) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        const bool copied = BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY) != FALSE;
        SelectObject(memory, previous);
        if (copied) {
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof(info.bmiHeader);
            info.bmiHeader.biWidth = width;
            info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores it
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 24;
            info.bmiHeader.biCompression = BI_RGB;
            const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3);
            rows.assign(stride * static_cast<size_t>(height), 0);
            ok = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), rows.data(), &info, DIB_RGB_COLORS) ==
                 height;
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    if (screen) ReleaseDC(nullptr, screen);
    return ok;
}

}  // namespace

bool screenshot(HWND window, const std::string& name) {
    const Scenario& scenario = Scenario::current();
    if (scenario.shotDir.empty() || !IsWindow(window)) return false;

    // The picture is taken once the wizard has painted: nothing of the window
    // is left to paint, and the screen shows the same pixels twice in a row
    // (Wine copies what a window painted to the X screen a little later).
    RECT box{};
    if (!GetWindowRect(window, &box)) return false;
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    box.left = box.left < 0 ? 0 : box.left;
    box.top = box.top < 0 ? 0 : box.top;
    box.right = box.right > screenWidth ? screenWidth : box.right;
    box.bottom = box.bottom > screenHeight ? screenHeight : box.bottom;
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    if (width <= 0 || height <= 0) return false;

    waitUntil([&] { return !paintPending(window); }, kWait / 4);
    std::vector<BYTE> rows, previous;
    bool steady = false;
    const ULONGLONG deadline = GetTickCount64() + kWait / 4;
    while (!steady && GetTickCount64() < deadline) {
        previous.swap(rows);
        if (!capture(box, rows)) return false;
        steady = rows == previous;
        if (!steady) Sleep(100);
    }
    if (rows.empty() && !capture(box, rows)) return false;
    return writeBmp(scenario.shotDir + L"\\" + widen(name) + L".bmp", width, height, rows);
}

Wizard::Wizard(const Scenario& scenario, const std::wstring& workingDirectory) {
    const std::wstring& directory = workingDirectory.empty() ? scenario.packageRoot : workingDirectory;
    const std::wstring program = scenario.kelpPath();
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &info)) {
        startError_ = GetLastError();
        return;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
}

Wizard::~Wizard() {
    if (!process_) return;
    if (running()) {
        int index = 0;
        for (HWND window : visibleWindows())
            screenshot(window, currentTestName() + "-left-open-" + std::to_string(index++));
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, kWait);
    }
    CloseHandle(process_);
}

bool Wizard::running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

bool Wizard::waitExit(DWORD timeoutMs) const {
    if (!process_) return false;
    return waitUntil(
        [&] {
            if (WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) return true;
            const HWND box = find(Page::Message);
            if (box && GetDlgItem(box, IDNO) && !GetDlgItem(box, IDOK)) {
                const std::string text = messageText(box);
                if (click(box, IDNO)) declined_.push_back(text);
                waitGone(box);
            }
            return false;
        },
        timeoutMs);
}

namespace {

struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collectVisible(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->pid && IsWindowVisible(window)) search->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> Wizard::visibleWindows() const {
    WindowSearch search{pid_, {}};
    EnumWindows(collectVisible, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Wizard::find(Page page) const {
    for (HWND window : visibleWindows())
        if (classify(window) == page) return window;
    return nullptr;
}

HWND Wizard::waitFor(Page page, DWORD timeoutMs) const {
    HWND found = nullptr;
    waitUntil([&] { return (found = find(page)) != nullptr; }, timeoutMs);
    return found;
}

bool Wizard::waitGone(HWND window, DWORD timeoutMs) const {
    return waitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

HWND Wizard::findNew(const std::vector<HWND>& known) const {
    for (HWND window : visibleWindows())
        if (std::find(known.begin(), known.end(), window) == known.end()) return window;
    return nullptr;
}

HWND Wizard::waitForNew(const std::vector<HWND>& known, DWORD timeoutMs) const {
    HWND found = nullptr;
    waitUntil([&] { return (found = findNew(known)) != nullptr; }, timeoutMs);
    return found;
}

std::string Wizard::describe() const {
    std::ostringstream out;
    out << "Kelp.exe pid " << pid_ << (running() ? " running" : " ended") << "; windows:";
    const auto windows = visibleWindows();
    if (windows.empty()) out << " none";
    for (HWND window : windows) {
        out << " [" << pageName(classify(window)) << " '" << utf8(caption(window)) << "' class "
            << utf8(className(window));
        if (classify(window) == Page::Message) out << " text '" << messageText(window) << "'";
        out << "]";
    }
    return out.str();
}

KelpWindowsVersion::KelpWindowsVersion(const std::string& version) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Kelp.exe", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring value = widen(version);
    ok_ = RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
}

KelpWindowsVersion::~KelpWindowsVersion() {
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Kelp.exe");
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string readFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string body;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) body.append(buffer, got);
    CloseHandle(file);
    return body;
}

bool removeFile(const std::wstring& path) { return DeleteFileW(path.c_str()) || !fileExists(path); }

bool makeFolders(const std::wstring& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2 && !makeFolders(path.substr(0, slash))) return false;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace e2e
