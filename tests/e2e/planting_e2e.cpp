// DLL planting: a DLL named like one the wizard's process loads, lying in
// the package folder next to Kelp.exe, must never run. Wine, unlike
// Windows, takes its own system DLLs even when the program's folder has a
// file of that name; HKCU\Software\Wine\AppDefaults\Kelp.exe\DllOverrides
// with "native,builtin" makes it look in the program's folder first, as
// Windows does for a DLL that is not a known DLL, for Kelp.exe alone.
//
// planted.dll (tests/e2e/planted) is copied under each name of the table;
// when loaded it writes "<its path>.loaded". The test walks every page, the
// About box and the port monitor's dialog, installs a printer through the
// pages, then another through the command line.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Flows.h"
#include "Installation.h"
#include "Machine.h"
#include "WizardDriver.h"

using namespace e2e;

namespace {

// Every DLL the wizard's process loads (WINEDEBUG=+loaddll, on every page
// and during installations) that Windows would take from the program's
// folder, with its DllOverrides value name. Left out: the known DLLs and
// what they import; version.dll, which Wine's own user32 imports (Windows'
// does not), so that Wine loads it before any code of a program runs;
// winprint.dll, which the spooler loads by its full path; and Wine's own
// modules (winex11.drv, zlib1.dll, the 16-bit ones).
struct PlantedDll {
    const wchar_t* file;
    const wchar_t* overrideName;
};
const std::vector<PlantedDll> kPlanted = {
    {L"winspool.drv", L"winspool.drv"}, {L"compstui.dll", L"compstui"}, {L"comctl32.dll", L"comctl32"},
    {L"uxtheme.dll", L"uxtheme"},       {L"msimg32.dll", L"msimg32"},   {L"localui.dll", L"localui"},
    {L"serialui.dll", L"serialui"},     {L"spoolss.dll", L"spoolss"},   {L"localspl.dll", L"localspl"},
    {L"setupapi.dll", L"setupapi"},     {L"cfgmgr32.dll", L"cfgmgr32"},
};

const wchar_t kOverridesKey[] = L"Software\\Wine\\AppDefaults\\Kelp.exe\\DllOverrides";

std::wstring folderOfThisProgram() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

// Kelp.exe with arguments, to its end; its exit code, or -1.
long long runKelp(const Scenario& scenario, const std::wstring& arguments) {
    const std::wstring program = scenario.kelpPath();
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        scenario.packageRoot.c_str(), &startup, &info))
        return -1;
    CloseHandle(info.hThread);
    DWORD exitCode = 0;
    const bool ended = WaitForSingleObject(info.hProcess, 3 * kWait) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(info.hProcess, &exitCode);
    if (!ended) TerminateProcess(info.hProcess, 99);
    CloseHandle(info.hProcess);
    return ended ? static_cast<long long>(exitCode) : -1;
}

// Names of the "*.loaded" markers in the package folder.
std::vector<std::string> markers(const std::wstring& package) {
    std::vector<std::string> found;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((package + L"\\*.loaded").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        found.push_back(utf8(entry.cFileName) + " (loaded by " + readFile(package + L"\\" + entry.cFileName) + ")");
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

class Planting : public ::testing::Test {
protected:
    const Scenario& scenario = Scenario::current();
    const int language = defaultLanguageRow();

    void SetUp() override {
        ASSERT_FALSE(scenario.packageRoot.empty()) << "KELP_E2E_PACKAGE is not set";
        if (scenario.win64()) GTEST_SKIP() << "planting runs in a 32-bit prefix";
        ASSERT_TRUE(resetMachine());
        const std::wstring planted = folderOfThisProgram() + L"\\planted.dll";
        for (const PlantedDll& dll : kPlanted) {
            ASSERT_TRUE(CopyFileW(planted.c_str(), (scenario.packageRoot + L"\\" + dll.file).c_str(), FALSE))
                << utf8(dll.file) << ": " << GetLastError();
            ASSERT_TRUE(writeRegistryText(HKEY_CURRENT_USER, kOverridesKey, dll.overrideName, L"native,builtin"));
        }
        ASSERT_TRUE(markers(scenario.packageRoot).empty());
    }

    void TearDown() override {
        EXPECT_TRUE(deleteRegistryTree(HKEY_CURRENT_USER, kOverridesKey));
        for (const PlantedDll& dll : kPlanted) DeleteFileW((scenario.packageRoot + L"\\" + dll.file).c_str());
    }
};

}  // namespace

TEST_F(Planting, NoPlantedDllRunsOnAnyPageNorDuringInstallations) {
    {
        Wizard wizard(scenario);
        ASSERT_TRUE(wizard.started()) << wizard.startError();
        const HWND settings = openSettings(wizard, language);
        ASSERT_TRUE(settings) << "markers: " << ::testing::PrintToString(markers(scenario.packageRoot));
        ASSERT_TRUE(systemCommand(settings, 0x10));
        const HWND about = wizard.waitFor(Page::About);
        ASSERT_TRUE(about) << wizard.describe();
        ASSERT_TRUE(click(about, IDOK));
        ASSERT_TRUE(wizard.waitGone(about)) << wizard.describe();

        const HWND port = openPortPage(wizard, settings);
        ASSERT_TRUE(port);
        ASSERT_TRUE(click(port, 1012));
        // Configure Port on COM1: (Wine's monitor shows nothing for it), then
        // on LPT1:, whose dialog comes once the page has handled both.
        for (const char* name : {"COM1:", "LPT1:"}) {
            int row = -1;
            ASSERT_TRUE(waitUntil([&] { return (row = listFind(port, 1021, name)) >= 0; })) << name;
            ASSERT_TRUE(selectListRow(port, 1021, row));
            ASSERT_TRUE(click(port, 1009));
        }
        const auto known = std::vector<HWND>{port, settings};
        const HWND monitor = wizard.waitForNew(known);
        ASSERT_TRUE(monitor) << "no dialog of the port monitor; " << wizard.describe();
        ASSERT_TRUE(click(monitor, IDCANCEL) || closeBox(monitor));
        ASSERT_TRUE(wizard.waitGone(monitor)) << wizard.describe();
        ASSERT_TRUE(click(port, 1023));
        ASSERT_TRUE(wizard.waitGone(port));
        ASSERT_TRUE(click(settings, 1010));
        ASSERT_TRUE(wizard.waitExit()) << wizard.describe();
    }

    const auto outcome = install({language, 0, true, "", "planted"});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(completionMessage(language, "USB001", PortWhy::FirstUsb), outcome.message);
    expectInstalled(models()[0], "USB001", language, profileFor(scenario));

    const std::wstring lang = language == kChinese ? L"/lang:zh" : L"/lang:en";
    EXPECT_EQ(0, runKelp(scenario, L"/install /model:RK-730P " + lang + L" /port:LPT1: /quiet"));
    expectInstalled(models()[2], "LPT1:", language, profileFor(scenario));

    EXPECT_EQ(std::vector<std::string>{}, markers(scenario.packageRoot));
}
