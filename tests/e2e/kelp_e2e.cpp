// End-to-end checks of the real Kelp.exe, run under Wine by
// scripts/e2e/run-scenario.sh in a fresh prefix with a chosen locale,
// architecture and Windows version. Each test starts Kelp.exe from the
// package root and drives its pages through their windows. Every page the
// tests check is saved as a screenshot, in both languages, under
// <build>/screenshots/<locale>-<arch>/<Suite.Test>-<page>.png.

#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "Flows.h"
#include "Machine.h"
#include "WizardDriver.h"

using namespace e2e;

namespace {

const std::string kCaption = "Vexo Receipt Printer Driver";
const std::string kChineseRow = "简体中文";
const std::string kEnglishRow = "English";

const std::vector<std::string> kModels = {"RK-520P", "RK-520PW",     "RK-730P", "RK-730PN",
                                          "RK-730P(NEW)", "MZ730P", "MZ730PN"};

// The system page's radio buttons, in order of the version they stand for.
const std::vector<int> kVersionRadios = {1000, 1001, 1002, 1003, 1004, 1011, 1020, 1005, 1006};

// The radio button the system page checks for each Windows version Wine can
// report. Kelp.exe's manifest names no supported OS, so Windows (and Wine)
// report 6.2 to it from Windows 8 on: 1006 stands for 8, 8.1, 10 and 11.
// Windows 95, 98 and NT 4.0 get one of the hidden radio buttons, so the page
// shows none checked.
const std::map<std::string, int> kRadioForVersion = {
    {"win95", 1000}, {"win98", 1001}, {"nt40", 1002},  {"win2k", 1003}, {"winxp", 1004}, {"win2003", 1011},
    {"vista", 1020}, {"win7", 1005},  {"win8", 1006},  {"win81", 1006}, {"win10", 1006},
};

using TextTable = std::map<int, std::string>;

TextTable languageTexts(bool chinese) {
    if (chinese) return {{1028, "选择安装语言"}, {1010, "确认"}, {1012, "取消"}};
    return {{1028, "Choose installation language"}, {1010, "Next"}, {1012, "Exit"}};
}

TextTable systemTexts(bool chinese) {
    if (chinese)
        return {{1009, "安装打印机驱动 (&N) >"},
                {1010, "&退出(E)"},
                {1028, "选择系统"},
                {1029, "本驱动适用于Windows x86 / x64系统"},
                {1020, "Windows Vista"},
                {1003, "Windows 2000"},
                {1004, "Windows XP"},
                {1011, "Windows 2003"},
                {1005, "Windows 7"},
                {1006, ""}};
    return {{1009, "Install Printer Driver(&N) >"},
            {1010, "Exit"},
            {1028, "Select System"},
            {1029, "This driver is suitable for Windows x86/x64 systems"},
            {1020, "Windows Vista"},
            {1003, "Windows 2000"},
            {1004, "Windows XP"},
            {1011, "Windows 2003"},
            {1005, "Windows 7"},
            {1006, ""}};
}

TextTable settingsTexts(bool chinese) {
    if (chinese)
        return {{1008, "< &返回(B)"},  {1009, "&下一步(N) >"}, {1010, "&退出(E)"},
                {1028, "驱动名称"},    {1029, "打印机设置"},   {1030, "打印机名称"},
                {1031, "本驱动适用于Windows x86 / x64系统"},   {1032, "设置为默认打印机"}};
    return {{1008, "Back(&N) >"},  {1009, "Next >"},           {1010, "Exit"},
            {1028, "Driver Name"}, {1029, "Printer Settings"}, {1030, "Printer Name"},
            {1031, "This driver is suitable for Windows x86/x64 systems"},
            {1032, "Set As Default Printer"}};
}

void expectTexts(HWND page, const TextTable& texts) {
    for (const auto& [id, text] : texts) EXPECT_EQ(text, itemText(page, id)) << "control " << id;
    EXPECT_EQ(kCaption, windowText(page)) << "caption";
}

// The radio buttons of the system page that are checked.
std::vector<int> checkedRadios(HWND page) {
    std::vector<int> checked;
    for (int id : kVersionRadios)
        if (checkState(page, id) == BST_CHECKED) checked.push_back(id);
    return checked;
}

BOOL CALLBACK collectStatic(HWND child, LPARAM data) {
    wchar_t name[32] = {};
    GetClassNameW(child, name, 32);
    if (lstrcmpiW(name, L"Static") == 0) reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
    return TRUE;
}

// The texts of the dialog's static controls (those without an id of their own).
std::vector<std::string> staticTexts(HWND dialog) {
    std::vector<HWND> statics;
    EnumChildWindows(dialog, collectStatic, reinterpret_cast<LPARAM>(&statics));
    std::vector<std::string> texts;
    for (HWND child : statics) texts.push_back(windowText(child));
    return texts;
}

class Kelp : public ::testing::Test {
protected:
    const Scenario& scenario = Scenario::current();

    void SetUp() override {
        ASSERT_FALSE(scenario.packageRoot.empty()) << "KELP_E2E_PACKAGE is not set";
        ASSERT_TRUE(fileExists(scenario.kelpPath())) << utf8(scenario.kelpPath()) << " is missing";
    }
};

}  // namespace

// The prefix is what the scenario says it is, and no host printer leaked in.
TEST(Prefix, MatchesTheScenario) {
    const Scenario& scenario = Scenario::current();
    ASSERT_FALSE(scenario.locale.empty()) << "KELP_E2E_LOCALE is not set";
    EXPECT_EQ(scenario.chineseSystem() ? 936u : 1252u, GetACP()) << scenario.locale;

    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(scenario.win64(), wow64 != FALSE) << scenario.arch;

    DWORD needed = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count));
    std::string names;
    for (DWORD i = 0; i < count; ++i)
        names += " '" + utf8(reinterpret_cast<PRINTER_INFO_2W*>(buffer.data())[i].pPrinterName) + "'";
    EXPECT_EQ(0u, count) << "printers in a fresh prefix:" << names;

    // Windows always has the key of the user's default printer; the
    // template prefix gets it too.
    EXPECT_TRUE(registryKeyExists(HKEY_CURRENT_USER, kWindowsKey));
}

TEST_F(Kelp, LanguagePageFollowsTheCodePageAndCancelEnds) {
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << "CreateProcessW failed: " << wizard.startError();
    const HWND language = wizard.waitFor(Page::Language, 2 * kWait);
    ASSERT_TRUE(language) << wizard.describe();
    shot(language, "language");

    expectTexts(language, languageTexts(scenario.chineseSystem()));
    EXPECT_EQ((std::vector<std::string>{kChineseRow, kEnglishRow}), comboRows(language, 1011));
    EXPECT_EQ(defaultLanguageRow(), comboSelection(language, 1011));
    EXPECT_EQ(1011, focusedId(language)) << "the language list has the focus";

    ASSERT_TRUE(click(language, 1012));
    EXPECT_TRUE(wizard.waitExit()) << "Cancel did not end the wizard; " << wizard.describe();
}

// Confirming either row shows the system page in that language, with the
// radio button of the prefix's Windows version checked; Exit, Esc and the
// close box each end the wizard.
TEST_F(Kelp, SystemPageSpeaksTheConfirmedLanguage) {
    const auto expected = kRadioForVersion.find(scenario.winver);
    ASSERT_NE(kRadioForVersion.end(), expected) << "no expectation for Windows version '" << scenario.winver << "'";

    enum class Leave { ExitButton, Escape, CloseBox };
    const struct {
        int row;
        Leave leave;
        const char* name;
    } cases[] = {
        {kChinese, Leave::ExitButton, "zh"},
        {kEnglish, Leave::Escape, "en"},
        {kEnglish, Leave::CloseBox, "en-close"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Wizard wizard(scenario);
        ASSERT_TRUE(wizard.started()) << wizard.startError();
        const HWND system = confirmLanguage(wizard, c.row);
        ASSERT_TRUE(system);
        if (c.leave != Leave::CloseBox) shot(system, std::string("system-") + c.name);

        expectTexts(system, systemTexts(c.row == kChinese));
        EXPECT_EQ(std::vector<int>{expected->second}, checkedRadios(system)) << "Windows " << scenario.winver;

        for (int id : {1009, 1010, 1028, 1029, 1020, 1003, 1004, 1011, 1005, 1006})
            EXPECT_TRUE(itemVisible(system, id)) << "control " << id << " should be visible";
        for (int id : {1000, 1001, 1002, 1007, 1008, 1013, 1022, 1023})
            EXPECT_FALSE(itemVisible(system, id)) << "control " << id << " should be hidden";
        EXPECT_FALSE(itemEnabled(system, 1008));
        EXPECT_FALSE(itemEnabled(system, 1022));
        // The dialog manager focuses the first tab stop. BM_SETCHECK makes a
        // checked radio button a tab stop, so the checked one takes the focus
        // when it comes before 1009 in the template; otherwise 1009 has it.
        const int checkedBeforeInstall = expected->second == 1020 || expected->second == 1003 ||
                                                 expected->second == 1004 || expected->second == 1011
                                             ? expected->second
                                             : 0;
        EXPECT_EQ(checkedBeforeInstall ? checkedBeforeInstall : 1009, focusedId(system));

        switch (c.leave) {
        case Leave::ExitButton: ASSERT_TRUE(click(system, 1010)); break;
        case Leave::Escape: ASSERT_TRUE(pressKey(system, VK_ESCAPE)); break;
        case Leave::CloseBox: ASSERT_TRUE(closeBox(system)); break;
        }
        EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    }
}

// Enter on the language page stores the selected row as the confirm button
// does; Enter on the next two pages goes on and then ends the wizard.
TEST_F(Kelp, EnterKeyWalksThroughThePages) {
    const int row = defaultLanguageRow() == kChinese ? kEnglish : kChinese;
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    const HWND language = wizard.waitFor(Page::Language, 2 * kWait);
    ASSERT_TRUE(language) << wizard.describe();
    ASSERT_TRUE(selectRow(language, 1011, row));
    ASSERT_TRUE(pressKey(language, VK_RETURN));

    const HWND system = wizard.waitFor(Page::System);
    ASSERT_TRUE(system) << "Enter on the language page; " << wizard.describe();
    expectTexts(system, systemTexts(row == kChinese));

    ASSERT_TRUE(pressKey(system, VK_RETURN));
    const HWND settings = wizard.waitFor(Page::Settings);
    ASSERT_TRUE(settings) << "Enter on the system page; " << wizard.describe();
    expectTexts(settings, settingsTexts(row == kChinese));
    EXPECT_EQ(1011, focusedId(settings)) << "the model list has the focus";

    ASSERT_TRUE(pressKey(settings, VK_RETURN));
    EXPECT_TRUE(wizard.waitExit()) << "Enter on the printer settings page; " << wizard.describe();
}

// The system page's hidden launcher commands start the sample installers
// from the package root; the page stays open and says nothing.
TEST_F(Kelp, LaunchersStartTheInstallerForThisArchitecture) {
    const std::wstring root = scenario.packageRoot;
    const std::wstring x86 = root + L"\\USB Driver\\x86\\dpinstx86";
    const std::wstring x64 = root + L"\\USB Driver\\x64\\dpinstx64";
    const std::wstring fixed = root + L"\\USBdriver\\x86\\dpinst";
    for (const auto& marker : {x86, x64, fixed}) ASSERT_TRUE(removeFile(marker + L".ran"));
    const std::wstring& bitness = scenario.win64() ? x64 : x86;
    const std::wstring& other = scenario.win64() ? x86 : x64;
    // A marker holds the installer's path and its current directory.
    auto ran = [&](const std::wstring& marker) {
        const std::string body = readFile(marker + L".ran");
        return body.find(utf8(marker) + ".exe") != std::string::npos &&
               body.find("\r\n" + utf8(root) + "\r\n") != std::string::npos;
    };

    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    const HWND system = confirmLanguage(wizard, defaultLanguageRow());
    ASSERT_TRUE(system);

    // The page handles the two commands one after the other: once the second
    // installer has run, the first command has started whatever it starts,
    // and once no installer runs any more, every marker is written.
    ASSERT_TRUE(command(system, 1022));
    ASSERT_TRUE(command(system, 1023));
    EXPECT_TRUE(waitUntil([&] { return ran(bitness); }))
        << "1022 did not start " << utf8(bitness) << ".exe: " << readFile(bitness + L".ran");
    EXPECT_TRUE(waitUntil([&] { return ran(fixed); })) << "1023 did not start dpinst.exe: " << readFile(fixed + L".ran");
    EXPECT_TRUE(waitUntil([] {
        return runningProcesses(L"dpinstx86.exe") == 0 && runningProcesses(L"dpinstx64.exe") == 0 &&
               runningProcesses(L"dpinst.exe") == 0;
    })) << "an installer is still running";
    EXPECT_FALSE(fileExists(other + L".ran")) << "1022 started " << utf8(other) << ".exe";

    EXPECT_EQ(system, wizard.find(Page::System)) << wizard.describe();
    EXPECT_EQ(1u, wizard.visibleWindows().size()) << "a launcher showed a window; " << wizard.describe();
    ASSERT_TRUE(click(system, 1010));
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
}

// The installers are looked for under the current directory, not beside
// Kelp.exe; at a drive's root the path has a doubled backslash, which the
// shell accepts.
TEST_F(Kelp, LaunchersLookUnderTheCurrentDirectory) {
    const std::wstring installer = scenario.packageRoot + L"\\USBdriver\\x86\\dpinst.exe";
    const std::wstring packageMarker = scenario.packageRoot + L"\\USBdriver\\x86\\dpinst.ran";
    for (const std::wstring directory : {L"C:\\elsewhere", L"C:\\"}) {
        SCOPED_TRACE(utf8(directory));
        std::wstring folder = directory;
        if (folder.back() != L'\\') folder += L'\\';
        folder += L"USBdriver\\x86";
        ASSERT_TRUE(makeFolders(folder));
        ASSERT_TRUE(CopyFileW(installer.c_str(), (folder + L"\\dpinst.exe").c_str(), FALSE));
        ASSERT_TRUE(removeFile(folder + L"\\dpinst.ran"));
        ASSERT_TRUE(removeFile(packageMarker));

        Wizard wizard(scenario, directory);
        ASSERT_TRUE(wizard.started()) << wizard.startError();
        const HWND system = confirmLanguage(wizard, defaultLanguageRow());
        ASSERT_TRUE(system);
        ASSERT_TRUE(command(system, 1023));
        EXPECT_TRUE(waitUntil([&] { return fileExists(folder + L"\\dpinst.ran"); }))
            << "1023 did not start " << utf8(folder) << "\\dpinst.exe";
        EXPECT_TRUE(waitUntil([] { return runningProcesses(L"dpinst.exe") == 0; })) << "dpinst.exe still runs";
        EXPECT_FALSE(fileExists(packageMarker)) << "1023 started the package's own copy";
        ASSERT_TRUE(click(system, 1010));
        EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    }
}

// Texts in both languages, the model list and the printer name that follows
// the chosen model, by list choice and by keyboard.
TEST_F(Kelp, SettingsPageNamesThePrinterAfterTheModel) {
    for (int row : {kChinese, kEnglish}) {
        const bool chinese = row == kChinese;
        SCOPED_TRACE(chinese ? "zh" : "en");
        Wizard wizard(scenario);
        ASSERT_TRUE(wizard.started()) << wizard.startError();
        const HWND settings = openSettings(wizard, row);
        ASSERT_TRUE(settings);
        shot(settings, chinese ? "settings-zh" : "settings-en");

        expectTexts(settings, settingsTexts(chinese));
        EXPECT_EQ(kModels, comboRows(settings, 1011));
        EXPECT_EQ(0, comboSelection(settings, 1011));
        EXPECT_EQ("RK-520P", itemText(settings, 1013));
        EXPECT_NE(0, itemStyle(settings, 1013) & ES_READONLY) << "the printer name is read-only";
        EXPECT_EQ(BST_UNCHECKED, checkState(settings, 1012));
        for (int id : {1011, 1012, 1013, 1008, 1009, 1010, 1028, 1029, 1030, 1031, 1032})
            EXPECT_TRUE(itemVisible(settings, id)) << "control " << id << " should be visible";
        // The serial-line lists are hidden and keep their defaults; with the
        // LPT1 row the five setting lists are disabled.
        const std::map<int, int> serialDefaults = {{1014, 0}, {1015, 5}, {1016, 3}, {1019, 0}, {1018, 2}, {1017, 2}};
        for (const auto& [id, selected] : serialDefaults) {
            EXPECT_FALSE(itemVisible(settings, id)) << "control " << id << " should be hidden";
            EXPECT_EQ(selected, comboSelection(settings, id)) << "control " << id;
            if (id != 1014) {
                EXPECT_FALSE(itemEnabled(settings, id)) << "control " << id;
            }
        }

        ASSERT_TRUE(selectRow(settings, 1011, 4));
        EXPECT_TRUE(waitForItemText(settings, 1013, "RK-730P(NEW)")) << itemText(settings, 1013);
        // Arrow down in the (closed) list moves to the next model.
        ASSERT_TRUE(pressKeyOn(GetDlgItem(settings, 1011), VK_DOWN));
        EXPECT_TRUE(waitForItemText(settings, 1013, "MZ730P")) << itemText(settings, 1013);
        EXPECT_EQ(5, comboSelection(settings, 1011));

        ASSERT_TRUE(click(settings, 1012));
        EXPECT_TRUE(waitUntil([&] { return checkState(settings, 1012) == BST_CHECKED; }));
        if (!chinese) shot(settings, "settings-en-changed");

        ASSERT_TRUE(click(settings, 1010));
        EXPECT_TRUE(wizard.waitExit()) << "Exit; " << wizard.describe();
    }
}

// The About entry of the window menu opens the About box (Chinese in both
// languages); closing it leaves the page's choices alone, and the close box
// is not taken for About.
TEST_F(Kelp, AboutBoxFromTheWindowMenu) {
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    const HWND settings = openSettings(wizard, kEnglish);
    ASSERT_TRUE(settings);
    ASSERT_TRUE(selectRow(settings, 1011, 2));
    ASSERT_TRUE(waitForItemText(settings, 1013, "RK-730P"));
    ASSERT_TRUE(click(settings, 1012));
    ASSERT_TRUE(waitUntil([&] { return checkState(settings, 1012) == BST_CHECKED; }));

    ASSERT_TRUE(systemCommand(settings, 0x10));
    HWND about = wizard.waitFor(Page::About);
    ASSERT_TRUE(about) << wizard.describe();
    shot(about, "about");
    EXPECT_EQ("关于 Kelp", windowText(about));
    const auto statics = staticTexts(about);
    EXPECT_NE(statics.end(), std::find(statics.begin(), statics.end(), "Kelp 4.0 版")) << ::testing::PrintToString(statics);
    EXPECT_EQ("确定", itemText(about, IDOK));
    ASSERT_TRUE(click(about, IDOK));
    EXPECT_TRUE(wizard.waitGone(about)) << wizard.describe();

    EXPECT_EQ(settings, wizard.find(Page::Settings));
    EXPECT_EQ(2, comboSelection(settings, 1011));
    EXPECT_EQ("RK-730P", itemText(settings, 1013));
    EXPECT_EQ(BST_CHECKED, checkState(settings, 1012));

    ASSERT_TRUE(systemCommand(settings, 0x10));
    about = wizard.waitFor(Page::About);
    ASSERT_TRUE(about) << "second About; " << wizard.describe();
    ASSERT_TRUE(pressKey(about, VK_ESCAPE));
    EXPECT_TRUE(wizard.waitGone(about)) << "Esc on the About box; " << wizard.describe();
    EXPECT_TRUE(wizard.running());

    ASSERT_TRUE(closeBox(settings));
    EXPECT_TRUE(wizard.waitExit()) << "close box; " << wizard.describe();
}

// Back leads to the language page (its code-page default again), a new
// confirmation to fresh system and printer settings pages, and Cancel on the
// language page then ends the wizard.
TEST_F(Kelp, BackLeadsToTheLanguagePage) {
    const int first = defaultLanguageRow() == kChinese ? kEnglish : kChinese;
    const int second = defaultLanguageRow();
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    HWND settings = openSettings(wizard, first);
    ASSERT_TRUE(settings);
    expectTexts(settings, settingsTexts(first == kChinese));
    ASSERT_TRUE(selectRow(settings, 1011, 6));
    ASSERT_TRUE(waitForItemText(settings, 1013, "MZ730PN"));

    ASSERT_TRUE(click(settings, 1008));
    HWND language = wizard.waitFor(Page::Language);
    ASSERT_TRUE(language) << "Back; " << wizard.describe();
    EXPECT_TRUE(wizard.waitGone(settings));
    EXPECT_EQ(nullptr, wizard.find(Page::System)) << "Back leads to the language page, not the system page";
    EXPECT_EQ(defaultLanguageRow(), comboSelection(language, 1011));
    expectTexts(language, languageTexts(scenario.chineseSystem()));
    shot(language, "language-again");

    settings = openSettings(wizard, second);
    ASSERT_TRUE(settings);
    expectTexts(settings, settingsTexts(second == kChinese));
    EXPECT_EQ(0, comboSelection(settings, 1011)) << "a new page starts from the first model";
    EXPECT_EQ("RK-520P", itemText(settings, 1013));

    ASSERT_TRUE(click(settings, 1008));
    language = wizard.waitFor(Page::Language);
    ASSERT_TRUE(language) << "second Back; " << wizard.describe();
    ASSERT_TRUE(click(language, 1012));
    EXPECT_TRUE(wizard.waitExit()) << "Cancel after Back; " << wizard.describe();
}

// Exit, Esc, the close box and Enter on the printer settings page each end
// the wizard without a message.
TEST_F(Kelp, SettingsPageEndsTheWizard) {
    enum class Leave { ExitButton, Escape, CloseBox, Enter };
    const struct {
        Leave leave;
        const char* name;
    } cases[] = {{Leave::ExitButton, "Exit"}, {Leave::Escape, "Esc"}, {Leave::CloseBox, "close box"},
                 {Leave::Enter, "Enter"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Wizard wizard(scenario);
        ASSERT_TRUE(wizard.started()) << wizard.startError();
        const HWND settings = openSettings(wizard, defaultLanguageRow());
        ASSERT_TRUE(settings);
        switch (c.leave) {
        case Leave::ExitButton: ASSERT_TRUE(click(settings, 1010)); break;
        case Leave::Escape: ASSERT_TRUE(pressKey(settings, VK_ESCAPE)); break;
        case Leave::CloseBox: ASSERT_TRUE(closeBox(settings)); break;
        case Leave::Enter: ASSERT_TRUE(pressKey(settings, VK_RETURN)); break;
        }
        EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    }
}

// Next opens the port page; its Back and Cancel return to the printer
// settings page with the choices as they were.
TEST_F(Kelp, PortPageOpensAndReturns) {
    for (int row : {kChinese, kEnglish}) {
        const bool chinese = row == kChinese;
        SCOPED_TRACE(chinese ? "zh" : "en");
        Wizard wizard(scenario);
        ASSERT_TRUE(wizard.started()) << wizard.startError();
        const HWND settings = openSettings(wizard, row);
        ASSERT_TRUE(settings);
        ASSERT_TRUE(selectRow(settings, 1011, 3));
        ASSERT_TRUE(waitForItemText(settings, 1013, "RK-730PN"));

        for (int leave : {1010, 1023}) {
            SCOPED_TRACE(leave == 1010 ? "Back" : "Cancel");
            ASSERT_TRUE(click(settings, 1009));
            const HWND port = wizard.waitFor(Page::Port);
            ASSERT_TRUE(port) << "Next; " << wizard.describe();
            if (leave == 1010) shot(port, chinese ? "port-zh" : "port-en");
            EXPECT_EQ(kCaption, windowText(port));
            EXPECT_EQ("SysListView32", itemClass(port, 1021));
            EXPECT_EQ("msctls_progress32", itemClass(port, 1025));
            for (int id : {1028, 1029, 1030, 1031, 1021, 1012, 1008, 1009, 1025, 1010, 1022, 1023, 1032}) {
                EXPECT_TRUE(itemVisible(port, id)) << "control " << id << " should be visible";
                EXPECT_TRUE(itemEnabled(port, id)) << "control " << id << " should be enabled";
            }

            ASSERT_TRUE(click(port, leave));
            EXPECT_TRUE(wizard.waitGone(port)) << wizard.describe();
            EXPECT_EQ(settings, wizard.find(Page::Settings)) << wizard.describe();
            EXPECT_EQ(3, comboSelection(settings, 1011));
            EXPECT_EQ("RK-730PN", itemText(settings, 1013));
            EXPECT_EQ(1u, wizard.visibleWindows().size()) << "no message after leaving the port page; "
                                                           << wizard.describe();
        }
        ASSERT_TRUE(click(settings, 1010));
        EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    }
}

// Enter in the port list, where the page puts the focus, leaves the page
// open and installs nothing; the page then still answers the keyboard and
// its buttons.
TEST_F(Kelp, EnterKeepsThePortPageOpen) {
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    const HWND settings = openSettings(wizard, defaultLanguageRow());
    ASSERT_TRUE(settings);
    const HWND port = openPortPage(wizard, settings);
    ASSERT_TRUE(port);
    ASSERT_EQ(1021, focusedId(port)) << "the port list has the focus";
    ASSERT_EQ(std::vector<int>{1}, listSelection(port, 1021));

    const auto before = spoolerPrinters();
    ASSERT_TRUE(before);
    const auto known = wizard.visibleWindows();

    // The keys are handled in the order typed: once Home has selected the
    // first row, Enter has had its effect.
    ASSERT_TRUE(typeKeys({VK_RETURN, VK_HOME}));
    EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(port) || listSelection(port, 1021) == std::vector<int>{0}; }));
    EXPECT_EQ(port, wizard.find(Page::Port)) << "Enter closed the port page; " << wizard.describe();
    EXPECT_EQ(std::vector<int>{0}, listSelection(port, 1021)) << "Home after Enter";
    EXPECT_TRUE(IsWindowEnabled(port));
    EXPECT_EQ(nullptr, wizard.findNew(known)) << "Enter showed a window; " << wizard.describe();
    const auto after = spoolerPrinters();
    ASSERT_TRUE(after);
    EXPECT_EQ(before->size(), after->size()) << "Enter installed a printer";

    ASSERT_TRUE(click(port, 1023));
    EXPECT_TRUE(wizard.waitGone(port)) << wizard.describe();
    EXPECT_EQ(settings, wizard.find(Page::Settings)) << wizard.describe();
    ASSERT_TRUE(click(settings, 1010));
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
}

// Every page at the screen's DPI (96, or 144 in the dpi144 scenarios), in
// the locale's language: it lies on the screen with its controls inside it,
// and the port lists' columns are their 96-DPI widths scaled by the DPI.
// The screenshots are named after the DPI.
TEST_F(Kelp, PagesFitTheScreensDpi) {
    const int dpi = scenario.dpi;
    const HDC screen = GetDC(nullptr);
    ASSERT_EQ(dpi, GetDeviceCaps(screen, LOGPIXELSX)) << "the prefix reports another DPI";
    ReleaseDC(nullptr, screen);
    const RECT desktop = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const std::string tag = std::to_string(dpi) + "-" + languageTag(defaultLanguageRow());
    auto expectFits = [&](HWND page, const std::string& name) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(page);
        shot(page, tag + "-" + name);
        RECT box{};
        ASSERT_TRUE(GetWindowRect(page, &box));
        EXPECT_TRUE(box.left >= desktop.left && box.top >= desktop.top && box.right <= desktop.right &&
                    box.bottom <= desktop.bottom)
            << "off the screen: (" << box.left << "," << box.top << ")-(" << box.right << "," << box.bottom << ")";
        EXPECT_EQ(std::vector<std::string>{}, controlsOutside(page));
    };
    // A 96-DPI width at this DPI, give or take the rounding.
    auto expectWidth = [&](int expected96, int actual) {
        EXPECT_NEAR(expected96 * dpi / 96.0, actual, 1.0) << expected96 << " at " << dpi << " DPI";
    };

    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    expectFits(wizard.waitFor(Page::Language, 2 * kWait), "language");
    const HWND system = confirmLanguage(wizard, defaultLanguageRow());
    expectFits(system, "system");
    ASSERT_TRUE(click(system, 1009));
    const HWND settings = wizard.waitFor(Page::Settings);
    expectFits(settings, "settings");
    ASSERT_TRUE(systemCommand(settings, 0x10));  // About, from the window menu
    const HWND about = wizard.waitFor(Page::About);
    expectFits(about, "about");
    ASSERT_TRUE(click(about, IDOK));
    ASSERT_TRUE(wizard.waitGone(about));
    HWND port = openPortPage(wizard, settings);
    expectFits(port, "port");
    expectWidth(150, listColumnWidth(port, 1021, 0));
    // The last column takes the list's remaining width, its own the least;
    // no row's text is cut (the list leaves 12 pixels around a cell's text).
    RECT list{};
    ASSERT_TRUE(GetClientRect(GetDlgItem(port, 1021), &list));
    const int last = listColumnWidth(port, 1021, 1);
    EXPECT_EQ(std::max<int>(list.right - listColumnWidth(port, 1021, 0), 280 * dpi / 96), last);
    for (const auto& row : listRows(port, 1021))
        for (int column : {0, 1})
            EXPECT_LE(listTextWidth(port, 1021, row[column]) + 12, listColumnWidth(port, 1021, column)) << row[column];

    ASSERT_TRUE(click(port, 1009));  // on the USB category row: a message
    const HWND box = wizard.waitFor(Page::Message);
    expectFits(box, "message");
    ASSERT_TRUE(click(box, IDOK));
    ASSERT_TRUE(wizard.waitGone(box));

    ASSERT_TRUE(click(port, 1008));
    const HWND types = wizard.waitFor(Page::PortTypes);
    expectFits(types, "port-types");
    ASSERT_TRUE(GetClientRect(GetDlgItem(types, 1021), &list));
    EXPECT_EQ(std::max<int>(list.right, 340 * dpi / 96), listColumnWidth(types, 1021, 0));
    ASSERT_TRUE(click(types, 1009));
    ASSERT_TRUE(wizard.waitGone(types));

    // The network row in category mode (Back and Next again): the network
    // printer dialog. This prefix has no TCP/IP monitor: OK with an address
    // tells so, installs nothing, and the port page stays.
    ASSERT_TRUE(click(port, 1010));
    ASSERT_TRUE(wizard.waitGone(port));
    const HWND categories = openPortPage(wizard, settings);
    ASSERT_TRUE(categories);
    ASSERT_TRUE(selectListRow(categories, 1021, 2));
    ASSERT_TRUE(click(categories, 1022));
    const HWND network = wizard.waitFor(Page::Network);
    expectFits(network, "network");
    expectWidth(106, listColumnWidth(network, 1036, 0));
    expectWidth(360, listColumnWidth(network, 1036, 1));
    EXPECT_GE(listColumnWidth(network, 1036, 2) + 1, 140 * dpi / 96);  // the model's, to the list's end
    ASSERT_TRUE(GetClientRect(GetDlgItem(network, 1036), &list));
    // Every state Find can list fits its column, and the columns the list.
    const bool chinese = defaultLanguageRow() == kChinese;
    for (const char* state : chinese ? std::vector<const char*>{"就绪", "纸将用尽", "缺纸", "上盖打开", "脱机", "切刀或其他错误",
                                                                "可连接，但不报告状态", "无应答",
                                                                "不是小票打印机（应答的不是打印机状态）"}
                                     : std::vector<const char*>{"ready", "paper near its end", "paper out", "cover open",
                                                                "offline", "cutter or other error",
                                                                "answers without status (state unknown)", "no answer",
                                                                "no receipt printer (it answers with something else than a status)"})
        EXPECT_LE(listTextWidth(network, 1036, state) + 12, listColumnWidth(network, 1036, 1)) << state;
    EXPECT_LE(listTextWidth(network, 1036, "255.255.255.255") + 12, listColumnWidth(network, 1036, 0));
    EXPECT_LE(listColumnWidth(network, 1036, 0) + listColumnWidth(network, 1036, 1) + listColumnWidth(network, 1036, 2),
              list.right);
    EXPECT_EQ(1034, focusedId(network));
    ASSERT_TRUE(setText(GetDlgItem(network, 1034), "127.0.0.1"));
    ASSERT_TRUE(click(network, IDOK));
    ASSERT_TRUE(wizard.waitGone(network));
    const HWND refusal = wizard.waitFor(Page::Message);
    expectFits(refusal, "no-tcpip-monitor");
    const std::string refused = messageText(refusal);
    const std::string logLine = refused.substr(std::min(refused.size(), refused.rfind('\n') + 1));
    EXPECT_EQ(defaultLanguageRow() == kChinese
                  ? "此系统没有“Standard TCP/IP Port”端口监视器，无法为 127.0.0.1:9100 创建端口。\n未安装打印机。\n" + logLine
                  : "This system has no \"Standard TCP/IP Port\" monitor: no port can be made for 127.0.0.1:9100.\n"
                    "Nothing was installed.\n" + logLine,
              refused);
    EXPECT_EQ(0u, logLine.rfind(defaultLanguageRow() == kChinese ? "日志：" : "The log: ", 0)) << logLine;
    ASSERT_TRUE(click(refusal, IDOK));
    ASSERT_TRUE(wizard.waitGone(refusal));
    EXPECT_TRUE(IsWindowVisible(categories));
    port = categories;

    ASSERT_TRUE(click(port, 1023));
    ASSERT_TRUE(wizard.waitGone(port));
    ASSERT_TRUE(click(settings, 1010));
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
}

// The radio button checked for each Windows version Wine can report. The
// version is set for Kelp.exe alone (AppDefaults), one start per version.
class WindowsVersion : public Kelp {};

TEST_F(WindowsVersion, SystemPageChecksTheReportedVersion) {
    for (const auto& [version, radio] : kRadioForVersion) {
        SCOPED_TRACE(version);
        KelpWindowsVersion reported(version);
        ASSERT_TRUE(reported.ok());
        Wizard wizard(scenario);
        ASSERT_TRUE(wizard.started()) << wizard.startError();
        const HWND system = confirmLanguage(wizard, defaultLanguageRow());
        ASSERT_TRUE(system);
        shot(system, "system-" + version);
        EXPECT_EQ(std::vector<int>{radio}, checkedRadios(system));
        const bool hiddenRadio = radio == 1000 || radio == 1001 || radio == 1002;
        EXPECT_EQ(!hiddenRadio, itemVisible(system, radio)) << "radio button " << radio;
        ASSERT_TRUE(click(system, 1010));
        EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    }
}

// The port page's texts in the chosen language.
TEST_F(Kelp, PortPageSpeaksTheChosenLanguage) {
    const TextTable chinese = {{1028, "指定端口"},   {1012, "搜索端口..."}, {1008, "创建端口..."},
                               {1009, "配置端口..."}, {1010, "< &返回"},    {1022, "&安装"},
                               {1023, "&取消"},       {1032, "本驱动适用于Windows x86 / x64系统"}};
    const TextTable english = {{1028, "Specify Port"},     {1012, "Search Port..."}, {1008, "Create Port..."},
                               {1009, "Configure Port..."}, {1010, "Back"},           {1022, "Install"},
                               {1023, "Cancel"},
                               {1032, "This driver is suitable for Windows x86/x64 systems"}};
    for (int row : {kChinese, kEnglish}) {
        SCOPED_TRACE(row == kChinese ? "zh" : "en");
        Wizard wizard(scenario);
        ASSERT_TRUE(wizard.started()) << wizard.startError();
        const HWND settings = openSettings(wizard, row);
        ASSERT_TRUE(settings);
        ASSERT_TRUE(click(settings, 1009));
        const HWND port = wizard.waitFor(Page::Port);
        ASSERT_TRUE(port) << wizard.describe();
        expectTexts(port, row == kChinese ? chinese : english);
        ASSERT_TRUE(click(port, 1023));
        EXPECT_TRUE(wizard.waitGone(port)) << wizard.describe();
        ASSERT_TRUE(click(settings, 1010));
        EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
    }
}

// Another program posts Next (and Exit) to the settings page beneath the
// port page: nothing happens there; cancelling the one port page returns
// to the settings page, which works as before.
TEST_F(Kelp, APostedNextWaitsForThePortPage) {
    Wizard wizard(scenario);
    ASSERT_TRUE(wizard.started()) << wizard.startError();
    const HWND settings = openSettings(wizard, defaultLanguageRow());
    ASSERT_TRUE(settings);
    const HWND port = openPortPage(wizard, settings);
    ASSERT_TRUE(port);
    const auto known = wizard.visibleWindows();
    ASSERT_TRUE(command(settings, 1009));
    ASSERT_TRUE(command(settings, 1010));
    ASSERT_TRUE(settle(port, 1021));
    EXPECT_EQ(nullptr, wizard.findNew(known)) << "a posted command opened a window; " << wizard.describe();
    EXPECT_TRUE(IsWindowVisible(settings));

    ASSERT_TRUE(click(port, 1023));
    EXPECT_TRUE(wizard.waitGone(port)) << wizard.describe();
    ASSERT_TRUE(wizard.running()) << "the wizard ended";
    EXPECT_EQ(settings, wizard.find(Page::Settings)) << wizard.describe();
    EXPECT_EQ(nullptr, wizard.find(Page::Port)) << wizard.describe();
    const HWND again = openPortPage(wizard, settings);
    ASSERT_TRUE(again) << wizard.describe();
    ASSERT_TRUE(click(again, 1023));
    EXPECT_TRUE(wizard.waitGone(again)) << wizard.describe();
    ASSERT_TRUE(click(settings, 1010));
    EXPECT_TRUE(wizard.waitExit()) << wizard.describe();
}
