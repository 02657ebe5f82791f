#include <gtest/gtest.h>

#include "WizardFixture.h"
#include "install/OsVersion.h"
#include "pages/SystemPage.h"
#include "pages/UsbDriverLauncher.h"

namespace kelp {
namespace {

using SystemPageTest = WizardFixture;

constexpr int kRadioButtons[] = {IDC_SYS_WIN95, IDC_SYS_WIN98,   IDC_SYS_NT4,   IDC_SYS_WIN2000, IDC_SYS_XP,
                                 IDC_SYS_WIN2003, IDC_SYS_VISTA, IDC_SYS_WIN7, IDC_SYS_WIN8};

TEST_F(SystemPageTest, ChecksTheRadioButtonOfTheDetectedVersion) {
    struct Row {
        OsVersionInfo version;
        int checked;  // 0: none
    };
    const Row rows[] = {
        {{4, 0, 1}, IDC_SYS_WIN95},  {{4, 90, 1}, IDC_SYS_WIN98}, {{4, 0, 2}, IDC_SYS_NT4},
        {{5, 0, 2}, IDC_SYS_WIN2000}, {{5, 1, 2}, IDC_SYS_XP},     {{5, 2, 2}, IDC_SYS_WIN2003},
        {{6, 0, 2}, IDC_SYS_VISTA},  {{6, 1, 2}, IDC_SYS_WIN7},  {{6, 2, 2}, IDC_SYS_WIN8},
        {{6, 3, 2}, 0},              {{10, 0, 2}, 0},             {{0, 0, 0}, IDC_SYS_WIN2000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.version.platformId << " " << row.version.major << "." << row.version.minor);
        settings.osCode = 0;
        platform.setVersion(row.version);
        SystemPage page(context);
        host.onNextShow(IDD_SYSTEM, [&](FakeDialog& d) {
            for (int radio : kRadioButtons) EXPECT_EQ(d.isChecked(radio), radio == row.checked) << radio;
            d.click(IDC_SYS_INSTALL);
        });
        EXPECT_EQ(host.runModal(page), PageOk);
    }
}

// Only the plain record form is answered: the detection falls back to it.
// When both forms fail, the code of an earlier detection stays.
TEST_F(SystemPageTest, VersionQueryFallsBackToThePlainRecordAndKeepsTheCodeOnFailure) {
    platform.setVersion({5, 1, 2});
    platform.setVersionFormFails(VersionRecordForm::Extended);
    SystemPage first(context);
    host.onNextShow(IDD_SYSTEM, [](FakeDialog& d) { EXPECT_TRUE(d.isChecked(IDC_SYS_XP)); d.pressEsc(); });
    host.runModal(first);
    EXPECT_EQ(settings.osCode, 5);

    platform.setVersionFormFails(VersionRecordForm::Plain);
    SystemPage second(context);
    host.onNextShow(IDD_SYSTEM, [](FakeDialog& d) { EXPECT_TRUE(d.isChecked(IDC_SYS_XP)); d.pressEsc(); });
    host.runModal(second);
    EXPECT_EQ(settings.osCode, 5);
    EXPECT_EQ(GetOsReleaseCode(platform), -1);
}

TEST_F(SystemPageTest, TextsInBothLanguages) {
    struct Row {
        int englishFlag;
        const char* install;
        const char* exit;
        const char* group;
        const char* note;
    };
    const Row rows[] = {
        {0, "安装打印机驱动 (&N) >", "&退出(E)", "选择系统", "本驱动适用于Windows x86 / x64系统"},
        {1, "Install Printer Driver(&N) >", "Exit", "Select System",
         "This driver is suitable for Windows x86/x64 systems"},
    };
    for (const auto& row : rows) {
        settings.englishFlag = row.englishFlag;
        SystemPage page(context);
        host.onNextShow(IDD_SYSTEM, [&](FakeDialog& d) {
            EXPECT_EQ(d.text(IDC_SYS_INSTALL), row.install);
            EXPECT_EQ(d.text(IDC_SYS_EXIT), row.exit);
            EXPECT_EQ(d.text(IDC_SYS_GROUP), row.group);
            EXPECT_EQ(d.text(IDC_SYS_NOTE), row.note);
            EXPECT_EQ(d.text(IDC_SYS_VISTA), "Windows Vista");
            EXPECT_EQ(d.caption(), "Vexo Receipt Printer Driver");
            d.pressEsc();
        });
        host.runModal(page);
    }
}

TEST_F(SystemPageTest, ButtonsAndKeysEndThePage) {
    struct Row {
        const char* name;
        std::function<void(FakeDialog&)> act;
        int result;
    };
    const Row rows[] = {
        {"install", [](FakeDialog& d) { d.click(IDC_SYS_INSTALL); }, PageOk},
        {"Enter", [](FakeDialog& d) { d.setFocus(IDC_SYS_WIN7); d.pressEnter(); }, PageOk},
        {"exit", [](FakeDialog& d) { d.click(IDC_SYS_EXIT); }, PageCancel},
        {"Esc", [](FakeDialog& d) { d.pressEsc(); }, PageCancel},
        {"close box", [](FakeDialog& d) { d.closeBox(); }, PageCancel},
        {"another radio button, then install",
         [](FakeDialog& d) { EXPECT_TRUE(d.click(IDC_SYS_XP)); EXPECT_FALSE(d.isChecked(IDC_SYS_WIN7)); d.click(IDC_SYS_INSTALL); },
         PageOk},
        {"the hidden back button's command does nothing",
         [](FakeDialog& d) { d.sendCommand(IDC_SYS_BACK, ButtonClicked); d.pressEsc(); }, PageCancel},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SystemPage page(context);
        host.onNextShow(IDD_SYSTEM, row.act);
        EXPECT_EQ(host.runModal(page), row.result);
    }
    EXPECT_TRUE(platform.launchedPrograms().empty());
}

struct LauncherRow {
    const char* name;
    std::string currentDirectory;
    std::optional<int> wow64;
    int button;
    std::optional<std::string> started;  // nothing: no program started
};

TEST_F(SystemPageTest, LaunchersStartTheInstallerUnderTheCurrentDirectory) {
    const std::string longDirectory = "C:\\" + std::string(257, 'd');  // 260 characters: no room for the zero
    const std::string longestDirectory = "C:\\" + std::string(256, 'd');
    const LauncherRow rows[] = {
        {"64-bit", "C:\\Kelp", 1, IDC_SYS_USB_DRIVER, "C:\\Kelp\\USB Driver\\x64\\dpinstx64.exe"},
        {"32-bit", "C:\\Kelp", 0, IDC_SYS_USB_DRIVER, "C:\\Kelp\\USB Driver\\x86\\dpinstx86.exe"},
        {"no IsWow64Process", "C:\\Kelp", std::nullopt, IDC_SYS_USB_DRIVER, "C:\\Kelp\\USB Driver\\x86\\dpinstx86.exe"},
        {"an answer other than exactly 1", "C:\\Kelp", 2, IDC_SYS_USB_DRIVER, "C:\\Kelp\\USB Driver\\x86\\dpinstx86.exe"},
        {"fixed package on 64-bit", "C:\\Kelp", 1, IDC_SYS_USB_DRIVER_X86, "C:\\Kelp\\USBdriver\\x86\\dpinst.exe"},
        {"fixed package on 32-bit", "C:\\Kelp", 0, IDC_SYS_USB_DRIVER_X86, "C:\\Kelp\\USBdriver\\x86\\dpinst.exe"},
        {"drive root", "D:\\", 0, IDC_SYS_USB_DRIVER, "D:\\\\USB Driver\\x86\\dpinstx86.exe"},
        {"other directory than the program's", "E:\\Elsewhere", 0, IDC_SYS_USB_DRIVER_X86,
         "E:\\Elsewhere\\USBdriver\\x86\\dpinst.exe"},
        {"directory too long for the buffer", longDirectory, 0, IDC_SYS_USB_DRIVER, std::nullopt},
        {"directory too long, fixed package", longDirectory, 0, IDC_SYS_USB_DRIVER_X86, std::nullopt},
        {"longest directory that fits", longestDirectory, 0, IDC_SYS_USB_DRIVER_X86,
         longestDirectory + "\\USBdriver\\x86\\dpinst.exe"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        platform.clearCalls();
        platform.setCurrentDirectory(row.currentDirectory);
        platform.setWow64Answer(row.wow64);
        settings.osCode = 0;
        SystemPage page(context);
        host.onNextShow(IDD_SYSTEM, [&](FakeDialog& d) {
            // Both launcher buttons are hidden; their commands still work.
            EXPECT_FALSE(d.click(row.button));
            d.sendCommand(row.button, ButtonClicked);
            d.pressEsc();
        });
        EXPECT_EQ(host.runModal(page), PageCancel);
        const auto opened = platform.callsOf("shellOpen");
        if (row.started) {
            ASSERT_EQ(opened.size(), 1u);
            EXPECT_EQ(opened[0].args.at(0), *row.started);
        } else {
            EXPECT_TRUE(opened.empty());
        }
    }
}

}  // namespace
}  // namespace kelp
