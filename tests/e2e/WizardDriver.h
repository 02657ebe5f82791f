// Drives a running Kelp.exe from another process, the way a user would:
// finds its windows, reads what they show, presses buttons and keys.
//
// Everything here works across processes (window handles are global; the
// messages used are ones that Windows and Wine marshal between processes).
// Actions are posted, never sent: a button whose handler opens a modal
// dialog would otherwise block the driver until that dialog closes. Reads use
// SendMessageTimeoutW, and every wait has a deadline, so a wedged wizard
// fails a test instead of hanging the run.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

// How a run was set up; read once from the environment that
// scripts/e2e/run-scenario.sh prepares.
struct Scenario {
    std::wstring packageRoot;  // Windows path of the folder holding Kelp.exe
    std::wstring shotDir;      // Windows path for BMP screenshots; empty: none
    std::string locale;        // "zh_CN.UTF-8" or "en_US.UTF-8"
    std::string arch;          // "win32" or "win64"
    std::string winver;        // HKCU\Software\Wine "Version" of the prefix
    int dpi = 96;              // the screen's DPI the prefix reports (LogPixels)

    bool chineseSystem() const { return locale.rfind("zh_", 0) == 0; }
    bool win64() const { return arch == "win64"; }
    std::wstring kelpPath() const { return packageRoot + L"\\Kelp.exe"; }

    static const Scenario& current();
};

// Default deadline of every wait (milliseconds). A deadline, not a pause:
// a wait ends as soon as its state holds, so only a failing test waits this
// long; it is generous because Wine starts processes slowly on a busy machine.
constexpr DWORD kWait = 20000;

std::string utf8(const std::wstring& text);
// "Suite.Test" of the running GoogleTest test; names the screenshots.
std::string currentTestName();
std::wstring widen(const std::string& text);

// Which of the wizard's dialogs a top-level window is, told apart by the
// caption and by control ids only that template has. Message is a message
// box of the wizard (captioned with the program's name, "Kelp").
enum class Page { Other, Language, System, Settings, Port, PortTypes, Network, About, Message };
const char* pageName(Page page);
Page classify(HWND window);

// Texts and states of another process's controls.
std::string windowText(HWND window);
std::string itemText(HWND dialog, int id);
bool hasItem(HWND dialog, int id);
bool itemVisible(HWND dialog, int id);  // its own WS_VISIBLE style
bool itemEnabled(HWND dialog, int id);
LONG itemStyle(HWND dialog, int id);
std::string itemClass(HWND dialog, int id);
int checkState(HWND dialog, int id);  // BM_GETCHECK; -1 when the query failed
int comboSelection(HWND dialog, int id);  // CB_GETCURSEL; -2 when the query failed
std::vector<std::string> comboRows(HWND dialog, int id);

// List views (SysListView32) of another process. Their messages carry
// pointers, which Windows does not marshal between processes, so the
// records live in memory allocated in the wizard's process.
int listRowCount(HWND dialog, int id);  // -1 when the query failed
std::string listCell(HWND dialog, int id, int row, int column);
// Column 0 and 1 of every row.
std::vector<std::vector<std::string>> listRows(HWND dialog, int id, int columns = 2);
std::vector<int> listSelection(HWND dialog, int id);  // rows in the selected state
std::string listHeading(HWND dialog, int id, int column);
int listColumnWidth(HWND dialog, int id, int column);  // LVM_GETCOLUMNWIDTH; 0 when it failed
int listTextWidth(HWND dialog, int id, const std::string& text);  // LVM_GETSTRINGWIDTHW in the list's font
// Row of the first row whose column 0 is text; -1 when there is none.
int listFind(HWND dialog, int id, const std::string& text);
// Selects one row as a click would: every other row loses the selection
// and the focus, the row gets both.
bool selectListRow(HWND dialog, int id, int row);

// Rectangles of the window's visible child controls that stick out of its
// client area, as "<id> <class> (left,top)-(right,bottom)"; empty when all fit.
std::vector<std::string> controlsOutside(HWND window);

// The text of a message box (its static control 0xFFFF).
std::string messageText(HWND box);
// The first child of that window class (e.g. L"Edit"), or null.
HWND findChild(HWND window, const wchar_t* windowClass);
// Texts of the window's children of that class, in z-order.
std::vector<std::string> childTexts(HWND window, const wchar_t* windowClass);
bool setText(HWND window, const std::string& text);  // WM_SETTEXT

// Actions. Each returns false when the message could not be posted (or the
// control does not exist); the effect is observed by waiting for it.
bool click(HWND dialog, int id);          // BM_CLICK on the button
bool command(HWND dialog, int id);        // WM_COMMAND BN_CLICKED from the button
bool selectRow(HWND dialog, int id, int row);  // CB_SETCURSEL + CBN_SELCHANGE, as a user's pick
bool pressKey(HWND dialog, UINT virtualKey);   // WM_KEYDOWN/UP to the focused control
bool pressKeyOn(HWND control, UINT virtualKey);  // WM_KEYDOWN/UP to this control
// Keys typed on the keyboard (SendInput, each pressed and released): they go
// to the window with the keyboard focus of the foreground window.
bool typeKeys(const std::vector<UINT>& virtualKeys);
bool closeBox(HWND dialog);               // WM_SYSCOMMAND SC_CLOSE
bool systemCommand(HWND dialog, WPARAM command);
HWND focusedWindow(HWND dialog);          // the wizard thread's focus window
// The control id of the focus window when it is a control of dialog, else
// -1 (no focus) or 0 (elsewhere, e.g. the dialog itself).
int focusedId(HWND dialog);

// Polls predicate every 25 ms until it holds or timeoutMs pass.
template <typename Predicate>
bool waitUntil(Predicate predicate, DWORD timeoutMs = kWait) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (predicate()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(25);
    }
}

bool waitForItemText(HWND dialog, int id, const std::string& expected, DWORD timeoutMs = kWait);

// Waits until the wizard's thread has handled every message posted to it
// before this call (the actions above are posted), so that what an action
// did, or did not do, can be checked. It posts a probe to the dialog's list
// view (a new hover time, which a list without hot tracking never uses)
// and waits until the list answers with it. A modal box opened by an
// earlier action pumps the probe too; it has then disabled the dialog.
bool settle(HWND dialog, int listId, DWORD timeoutMs = kWait);

// How many running processes (of any in the prefix) run a program file of
// this name, e.g. L"dpinst.exe"; -1 when the processes cannot be listed.
int runningProcesses(const wchar_t* exeName);

// Writes the window's area of the screen as a 24-bit BMP into the scenario's
// screenshot folder as "<name>.bmp". Returns false when there is no folder or
// the capture failed.
bool screenshot(HWND window, const std::string& name);

// One Kelp.exe process, started from the package root as current directory.
// The destructor ends a process that is still running (a failed test), after
// a screenshot of whatever it still shows.
class Wizard {
public:
    // Started as <package root>\Kelp.exe with workingDirectory (default: the
    // package root) as its current directory.
    explicit Wizard(const Scenario& scenario, const std::wstring& workingDirectory = {});
    ~Wizard();
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD startError() const { return startError_; }
    DWORD pid() const { return pid_; }

    // The first visible window of this process that is the given page.
    HWND find(Page page) const;
    HWND waitFor(Page page, DWORD timeoutMs = kWait) const;
    bool waitGone(HWND window, DWORD timeoutMs = kWait) const;
    // The first visible window of this process that is none of known.
    HWND findNew(const std::vector<HWND>& known) const;
    HWND waitForNew(const std::vector<HWND>& known, DWORD timeoutMs = kWait) const;
    // Waits for the process to end; the test receipt's question (a box with
    // Yes and No) that comes meanwhile is answered No and kept in declined().
    bool waitExit(DWORD timeoutMs = kWait) const;
    const std::vector<std::string>& declined() const { return declined_; }
    bool running() const;

    std::vector<HWND> visibleWindows() const;
    // "Language 0x1234 'caption'; ..." for failure messages.
    std::string describe() const;

private:
    HANDLE process_ = nullptr;
    mutable std::vector<std::string> declined_;
    DWORD pid_ = 0;
    DWORD startError_ = 0;
};

// Sets HKCU\Software\Wine\AppDefaults\Kelp.exe "Version" for as long as the
// object lives: Wine reads it when a Kelp.exe process starts and reports that
// Windows version to it alone.
class KelpWindowsVersion {
public:
    explicit KelpWindowsVersion(const std::string& version);
    ~KelpWindowsVersion();
    KelpWindowsVersion(const KelpWindowsVersion&) = delete;
    KelpWindowsVersion& operator=(const KelpWindowsVersion&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// File helpers for the launcher markers.
bool fileExists(const std::wstring& path);
std::string readFile(const std::wstring& path);
bool removeFile(const std::wstring& path);
// Creates the folder and any missing parents.
bool makeFolders(const std::wstring& path);

}  // namespace e2e
