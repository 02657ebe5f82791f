#include <gtest/gtest.h>

#include "WizardFixture.h"
#include "app/InstallerApp.h"
#include "install/LoggingPlatform.h"
#include "pages/PrinterSettingsPage.h"

namespace kelp {
namespace {

using InstallerAppTest = WizardFixture;

using Script = std::function<void(FakeDialog&)>;

const Script confirm = [](FakeDialog& d) { d.click(IDC_LANG_CONFIRM); };
const Script cancelLanguage = [](FakeDialog& d) { d.click(IDC_LANG_CANCEL); };
const Script goOn = [](FakeDialog& d) { d.click(IDC_SYS_INSTALL); };
const Script exitSystem = [](FakeDialog& d) { d.click(IDC_SYS_EXIT); };
const Script back = [](FakeDialog& d) { d.click(IDC_SET_BACK); };
const Script exitSettings = [](FakeDialog& d) { d.click(IDC_SET_EXIT); };

TEST_F(InstallerAppTest, PageSequenceTransitions) {
    struct Step {
        int templateId;
        Script script;
    };
    struct Row {
        const char* name;
        std::vector<Step> steps;
        std::vector<int> shownTemplates;
    };
    const Row rows[] = {
        {"cancel on the language page", {{IDD_LANGUAGE, cancelLanguage}}, {IDD_LANGUAGE}},
        {"close box on the language page", {{IDD_LANGUAGE, [](FakeDialog& d) { d.closeBox(); }}}, {IDD_LANGUAGE}},
        {"exit on the system page",
         {{IDD_LANGUAGE, confirm}, {IDD_SYSTEM, exitSystem}},
         {IDD_LANGUAGE, IDD_SYSTEM}},
        {"Esc on the system page",
         {{IDD_LANGUAGE, confirm}, {IDD_SYSTEM, [](FakeDialog& d) { d.pressEsc(); }}},
         {IDD_LANGUAGE, IDD_SYSTEM}},
        {"exit on the printer settings page",
         {{IDD_LANGUAGE, confirm}, {IDD_SYSTEM, goOn}, {IDD_PRINTER_SETTINGS, exitSettings}},
         {IDD_LANGUAGE, IDD_SYSTEM, IDD_PRINTER_SETTINGS}},
        {"back, then cancel on the language page",
         {{IDD_LANGUAGE, confirm}, {IDD_SYSTEM, goOn}, {IDD_PRINTER_SETTINGS, back}, {IDD_LANGUAGE, cancelLanguage}},
         {IDD_LANGUAGE, IDD_SYSTEM, IDD_PRINTER_SETTINGS, IDD_LANGUAGE}},
        {"three passes",
         {{IDD_LANGUAGE, confirm},
          {IDD_SYSTEM, goOn},
          {IDD_PRINTER_SETTINGS, back},
          {IDD_LANGUAGE, confirm},
          {IDD_SYSTEM, goOn},
          {IDD_PRINTER_SETTINGS, back},
          {IDD_LANGUAGE, confirm},
          {IDD_SYSTEM, goOn},
          {IDD_PRINTER_SETTINGS, [](FakeDialog& d) { d.closeBox(); }}},
         {IDD_LANGUAGE, IDD_SYSTEM, IDD_PRINTER_SETTINGS, IDD_LANGUAGE, IDD_SYSTEM, IDD_PRINTER_SETTINGS,
          IDD_LANGUAGE, IDD_SYSTEM, IDD_PRINTER_SETTINGS}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakePlatform machine;
        FakeDialogHost pages;
        InstallSettings state;
        FakeNetwork net;
        FakeSerialPorts serial;
        AppContext app{machine, pages, state, net, serial};
        for (const auto& step : row.steps) pages.onNextShow(step.templateId, step.script);
        InstallerApp installer(app);
        EXPECT_FALSE(installer.initInstance());
        EXPECT_EQ(installer.exitCode(), 0);
        EXPECT_EQ(pages.shownTemplates(), row.shownTemplates);
        EXPECT_EQ(pages.problems(), "") << "every page ended by its script, none shown without one";
        EXPECT_TRUE(pages.messages().empty());
        EXPECT_EQ(state.settingsPage, nullptr) << "no pointer to a destroyed page is kept";
        EXPECT_EQ(state.portPage, nullptr);
        EXPECT_TRUE(machine.callsOf("copyFile").empty());
        EXPECT_TRUE(machine.callsOf("addPrinter").empty());
    }
}

// Where nobody would see a page (a window station not visible or not
// known, session 0 from Windows Vista on, a session not known) no page is
// shown: the run ends 1603 and the log says to use the command line.
TEST_F(InstallerAppTest, NoPageWhereNobodySeesIt) {
    const struct {
        bool station;
        std::optional<std::uint32_t> session;
        std::uint32_t major;  // 0: the version query fails
        bool shown;
    } rows[] = {
        {false, 1, 6, false}, {true, 0, 6, false}, {true, 0, 10, false}, {true, 0, 5, true}, {true, 0, 0, false},
        {true, std::nullopt, 5, false}, {true, 1, 6, true}, {true, 2, 10, true},
    };
    for (const auto& row : rows) {
        FakePlatform machine;
        machine.setWindowStationVisible(row.station);
        machine.setSessionId(row.session);
        machine.setVersion({row.major, 1, 2});
        if (row.major == 0) machine.setVersionFormFails(VersionRecordForm::Extended, 5);
        machine.setTempDirectory("C:\\Temp");
        FakeDialogHost pages;
        pages.onNextShow(IDD_LANGUAGE, cancelLanguage);
        InstallSettings state;
        RunLog log(machine, "C:\\Temp\\Kelp.log");
        FakeNetwork net;
        FakeSerialPorts serial;
        AppContext app{machine, pages, state, net, serial, &log};
        InstallerApp installer(app);
        EXPECT_FALSE(installer.initInstance());
        EXPECT_EQ(pages.shownTemplates().empty(), !row.shown) << row.session.value_or(99) << " " << row.major;
        EXPECT_EQ(installer.exitCode(), row.shown ? 0 : 1603);
        const std::string said = "2026-12-07 10:15:20 no visible window station or session 0: the wizard shows no page "
                                 "here; use the command line (Kelp.exe /? lists it)\r\n";
        EXPECT_EQ(machine.fileContents("C:\\Temp\\Kelp.log").value_or(""), row.shown ? "" : said);
    }
}

// The system's texts in the log follow the language the user picks, not the
// code page's.
TEST_F(InstallerAppTest, TheLogSpeaksTheChosenLanguage) {
    FakePlatform machine;  // code page 936
    machine.setTempDirectory("C:\\Temp");
    machine.failNext("versionQuery", 5);
    FakeDialogHost pages;
    InstallSettings state;
    RunLog log(machine, "C:\\Temp\\Kelp.log", Language::Chinese);
    LoggingPlatform logging(machine, log, Language::Chinese);
    FakeNetwork net;
    FakeSerialPorts serial;
    AppContext app{logging, pages, state, net, serial, &log};
    pages.onNextShow(IDD_LANGUAGE, [](FakeDialog& d) {
        d.comboSetSelection(IDC_LANG_LIST, 1);
        d.click(IDC_LANG_CONFIRM);
    });
    pages.onNextShow(IDD_SYSTEM, exitSystem);
    InstallerApp(app).initInstance();
    EXPECT_NE(machine.fileContents("C:\\Temp\\Kelp.log").value_or("").find("step GetVersionEx: 5 Access is denied"),
              std::string::npos) << machine.fileContents("C:\\Temp\\Kelp.log").value_or("");
}

// Each pass makes a new system page, which detects the version again, and a
// new printer settings page, which starts from its defaults. The language
// chosen last holds for the pages after it.
TEST_F(InstallerAppTest, EachPassStartsAfreshAndFollowsTheLastLanguage) {
    platform.setActiveCodePage(1252);
    host.onNextShow(IDD_LANGUAGE, [](FakeDialog& d) { d.click(IDC_LANG_CONFIRM); });  // English preselected
    host.onNextShow(IDD_SYSTEM, [](FakeDialog& d) {
        EXPECT_EQ(d.text(IDC_SYS_GROUP), "Select System");
        EXPECT_TRUE(d.isChecked(IDC_SYS_WIN7));
        d.click(IDC_SYS_INSTALL);
    });
    host.onNextShow(IDD_PRINTER_SETTINGS, [this](FakeDialog& d) {
        EXPECT_EQ(d.text(IDC_SET_NEXT), "Next >");
        d.selectComboRow(IDC_SET_MODEL, 5);
        d.click(IDC_SET_DEFAULT);
        platform.setVersion({5, 1, 2});  // the next detection sees another version
        d.click(IDC_SET_BACK);
    });
    host.onNextShow(IDD_LANGUAGE, [](FakeDialog& d) {
        EXPECT_EQ(d.comboSelection(IDC_LANG_LIST), 1);
        d.selectComboRow(IDC_LANG_LIST, 0);
        d.click(IDC_LANG_CONFIRM);
    });
    host.onNextShow(IDD_SYSTEM, [](FakeDialog& d) {
        EXPECT_EQ(d.text(IDC_SYS_GROUP), "选择系统");
        EXPECT_TRUE(d.isChecked(IDC_SYS_XP));
        EXPECT_FALSE(d.isChecked(IDC_SYS_WIN7));
        d.click(IDC_SYS_INSTALL);
    });
    host.onNextShow(IDD_PRINTER_SETTINGS, [](FakeDialog& d) {
        EXPECT_EQ(d.text(IDC_SET_NEXT), "&下一步(N) >");
        EXPECT_EQ(d.comboSelection(IDC_SET_MODEL), 0);
        EXPECT_EQ(d.text(IDC_SET_NAME), "RK-520P");
        EXPECT_FALSE(d.isChecked(IDC_SET_DEFAULT));
        d.click(IDC_SET_EXIT);
    });
    InstallerApp installer(context);
    installer.initInstance();
    EXPECT_EQ(settings.englishFlag, 0);
    EXPECT_EQ(settings.osCode, 5);
    EXPECT_EQ(host.pendingScripts(), 0u);
}

// A page that cannot be created ends the sequence without a message.
TEST_F(InstallerAppTest, APageThatCannotBeCreatedEndsTheSequence) {
    for (int missing : {IDD_LANGUAGE, IDD_SYSTEM, IDD_PRINTER_SETTINGS}) {
        SCOPED_TRACE(missing);
        RcResources resources = kelpResources();
        std::erase_if(resources.dialogs, [&](const RcDialog& d) { return d.id == missing; });
        FakePlatform machine;
        FakeDialogHost pages(resources);
        InstallSettings state;
        FakeNetwork net;
        FakeSerialPorts serial;
        AppContext app{machine, pages, state, net, serial};
        if (missing != IDD_LANGUAGE) pages.onNextShow(IDD_LANGUAGE, confirm);
        if (missing == IDD_PRINTER_SETTINGS) pages.onNextShow(IDD_SYSTEM, goOn);
        InstallerApp installer(app);
        EXPECT_FALSE(installer.initInstance());
        EXPECT_EQ(pages.problems(), "") << "no page shown again after the one that failed";
        EXPECT_TRUE(pages.messages().empty());
    }
}

}  // namespace
}  // namespace kelp
