#include <gtest/gtest.h>

#include "WizardFixture.h"
#include "install/Wording.h"
#include "install/ModelCatalogue.h"
#include "pages/PortPage.h"
#include "pages/PrinterSettingsPage.h"

namespace kelp {
namespace {

using PrinterSettingsPageTest = WizardFixture;

constexpr int kSerialSettingLists[] = {IDC_SET_BAUD, IDC_SET_DATA_BITS, IDC_SET_STOP_BITS, IDC_SET_PARITY,
                                       IDC_SET_FLOW};

TEST_F(PrinterSettingsPageTest, OpensWithItsDefaults) {
    PrinterSettingsPage page(context);
    host.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
        const char* models[] = {"RK-520P", "RK-520PW", "RK-730P", "RK-730PN", "RK-730P(NEW)", "MZ730P", "MZ730PN"};
        ASSERT_EQ(d.comboCount(IDC_SET_MODEL), 7);
        for (int row = 0; row < 7; ++row) EXPECT_EQ(d.comboText(IDC_SET_MODEL, row), models[row]);
        EXPECT_EQ(page.modelRow(), 0);
        EXPECT_EQ(d.text(IDC_SET_NAME), "RK-520P");
        EXPECT_FALSE(page.defaultPrinter());
        EXPECT_EQ(page.portIndex(), 0);
        EXPECT_EQ(page.baudIndex(), 5);
        EXPECT_EQ(page.dataBitsIndex(), 3);
        EXPECT_EQ(page.stopBitsIndex(), 0);
        EXPECT_EQ(page.parityIndex(), 2);
        EXPECT_EQ(page.flowControlIndex(), 2);
        EXPECT_EQ(d.comboText(IDC_SET_PORT, 3), "COM1");
        EXPECT_EQ(d.comboText(IDC_SET_BAUD, 5), "19200");
        EXPECT_EQ(d.comboText(IDC_SET_PARITY, 2), "None");
        EXPECT_EQ(d.comboText(IDC_SET_FLOW, 2), "Hardware");
        for (int id : kSerialSettingLists) EXPECT_FALSE(d.isEnabled(id)) << id;
        EXPECT_EQ(settings.settingsPage, &page);
        d.pressEsc();
    });
    EXPECT_EQ(host.runModal(page), PageOk);
}

TEST_F(PrinterSettingsPageTest, PrinterNameFollowsTheModel) {
    PrinterSettingsPage page(context);
    host.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
        const char* names[] = {"RK-520P", "RK-520PW", "RK-730P", "RK-730PN", "RK-730P(NEW)", "MZ730P", "MZ730PN"};
        for (int row : {3, 0, 6, 1, 5, 2, 4}) {
            d.selectComboRow(IDC_SET_MODEL, row);
            EXPECT_EQ(d.text(IDC_SET_NAME), names[row]);
        }
        // Row 4 stays selected; a selection outside the catalogue changes nothing.
        d.comboSetSelection(IDC_SET_MODEL, -1);
        d.sendCommand(IDC_SET_MODEL, ComboSelectionChange);
        EXPECT_EQ(d.text(IDC_SET_NAME), "RK-730P(NEW)");
        d.pressEsc();
    });
    host.runModal(page);
}

// The page opens on the model the one attached USB printer names (its 1284
// id, or the hardware id where the device cannot be asked), else on the
// first; the person can still pick another.
TEST_F(PrinterSettingsPageTest, OpensOnTheModelTheAttachedPrinterNames) {
    const UsbPrinterInterface mz = {"USB", 1, "USB\\A", true, "", "USBPRINT\\VexoMZ730P1A2B"};
    const UsbPrinterInterface rk = {"USB", 2, "USB\\B", true, "MFG:Vexo;MDL:RK-730PN;"};
    const UsbPrinterInterface other = {"USB", 3, "USB\\C", true, "MFG:Epson;MDL:TM-T88V;"};
    struct Row {
        std::vector<UsbPrinterInterface> usb;
        WinError listFails;
        int row;
        const char* name;
    };
    const Row rows[] = {
        {{mz}, 0, 5, "MZ730P"},         {{other, rk}, 0, 3, "RK-730PN"}, {{mz, rk}, 0, 0, "RK-520P"},
        {{other}, 0, 0, "RK-520P"},     {{}, 0, 0, "RK-520P"},           {{rk}, winerr::AccessDenied, 0, "RK-520P"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        platform.setUsbPrinterInterfaces(row.usb);
        if (row.listFails) platform.failNext("usbPrinterInterfaces", row.listFails);
        PrinterSettingsPage page(context);
        host.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
            EXPECT_EQ(page.modelRow(), row.row);
            EXPECT_EQ(d.text(IDC_SET_NAME), row.name);
            d.selectComboRow(IDC_SET_MODEL, 1);
            EXPECT_EQ(page.choices().modelRow, 1);
            EXPECT_EQ(d.text(IDC_SET_NAME), "RK-520PW");
            d.pressEsc();
        });
        host.runModal(page);
    }
}

// The serial-line lists are enabled for a COM port row and disabled for an
// LPT row or no selection.
TEST_F(PrinterSettingsPageTest, SerialListsFollowThePortRow) {
    PrinterSettingsPage page(context);
    host.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
        const struct {
            int portRow;
            bool enabled;
        } rows[] = {{3, true}, {2, false}, {6, true}, {0, false}, {4, true}, {-1, false}};
        for (const auto& row : rows) {
            d.comboSetSelection(IDC_SET_PORT, row.portRow);
            d.sendCommand(IDC_SET_PORT, ComboSelectionChange);
            for (int id : kSerialSettingLists) EXPECT_EQ(d.isEnabled(id), row.enabled) << row.portRow << " " << id;
        }
        d.pressEsc();
    });
    host.runModal(page);
}

TEST_F(PrinterSettingsPageTest, TextsInBothLanguages) {
    struct Row {
        int id;
        const char* chinese;
        const char* english;
    };
    const Row rows[] = {
        {IDC_SET_BACK, "< &返回(B)", "Back(&N) >"},
        {IDC_SET_NEXT, "&下一步(N) >", "Next >"},
        {IDC_SET_EXIT, "&退出(E)", "Exit"},
        {IDC_SET_MODEL_LABEL, "驱动名称", "Driver Name"},
        {IDC_SET_GROUP, "打印机设置", "Printer Settings"},
        {IDC_SET_NAME_LABEL, "打印机名称", "Printer Name"},
        {IDC_SET_NOTE, "本驱动适用于Windows x86 / x64系统", "This driver is suitable for Windows x86/x64 systems"},
        {IDC_SET_DEFAULT_LABEL, "设置为默认打印机", "Set As Default Printer"},
    };
    for (int englishFlag : {0, 1}) {
        settings.englishFlag = englishFlag;
        PrinterSettingsPage page(context);
        host.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
            for (const auto& row : rows) EXPECT_EQ(d.text(row.id), englishFlag ? row.english : row.chinese);
            EXPECT_EQ(d.caption(), "Vexo Receipt Printer Driver");
            const auto& menu = d.systemMenu();
            ASSERT_EQ(menu.size(), 2u);
            EXPECT_TRUE(menu[0].separator);
            EXPECT_EQ(menu[1].command, 0x10u);
            EXPECT_EQ(menu[1].text, "关于 Kelp(&A)...");
            d.pressEsc();
        });
        host.runModal(page);
    }
}

TEST_F(PrinterSettingsPageTest, ButtonsKeysAndCloseBox) {
    struct Row {
        const char* name;
        std::function<void(FakeDialog&)> act;
        int result;
    };
    const Row rows[] = {
        {"back", [](FakeDialog& d) { d.click(IDC_SET_BACK); }, PageCancel},
        {"exit", [](FakeDialog& d) { d.click(IDC_SET_EXIT); }, PageOk},
        {"Esc", [](FakeDialog& d) { d.pressEsc(); }, PageOk},
        {"close box", [](FakeDialog& d) { d.closeBox(); }, PageOk},
        {"Enter on the model list", [](FakeDialog& d) { d.setFocus(IDC_SET_MODEL); d.pressEnter(); }, PageOk},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        platform.clearCalls();
        PrinterSettingsPage page(context);
        host.onNextShow(IDD_PRINTER_SETTINGS, row.act);
        EXPECT_EQ(host.runModal(page), row.result);
        EXPECT_TRUE(host.messages().empty());
        // Nothing is installed: the attached USB printers are only asked what they are.
        EXPECT_EQ(platform.ops(), std::vector<std::string>{"usbPrinterInterfaces"});
    }
}

// The About entry opens the About box whatever the low four bits of the
// command; other system commands are left to the window.
TEST_F(PrinterSettingsPageTest, AboutEntryAndSystemCommands) {
    settings.englishFlag = 1;
    PrinterSettingsPage page(context);
    int aboutShown = 0;
    host.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
        d.selectComboRow(IDC_SET_MODEL, 3);
        d.click(IDC_SET_DEFAULT);
        for (unsigned command : {0x10u, 0x13u, 0x1Fu}) {
            host.onNextShow(IDD_ABOUTBOX, [&](FakeDialog& about) {
                ++aboutShown;
                EXPECT_EQ(about.caption(), "关于 Kelp");
                about.click(IdOk);
            });
            d.systemMenuCommand(command);
        }
        host.onNextShow(IDD_ABOUTBOX, [&](FakeDialog& about) { ++aboutShown; about.pressEsc(); });
        d.systemMenuCommand(0x10);
        EXPECT_FALSE(page.onSysCommand(0x20)) << "0x20 is not the About command";
        EXPECT_FALSE(page.onSysCommand(0xF020)) << "minimise goes to the window";
        EXPECT_EQ(page.modelRow(), 3);
        EXPECT_TRUE(page.defaultPrinter());
        EXPECT_EQ(d.text(IDC_SET_NAME), "RK-730PN");
        d.closeBox();  // close is not taken for About
    });
    EXPECT_EQ(host.runModal(page), PageOk);
    EXPECT_EQ(aboutShown, 4);
}

// Back and Cancel on the port page return to this page as it was; each Next
// makes a new port page.
TEST_F(PrinterSettingsPageTest, NextOpensANewPortPageEachTime) {
    PrinterSettingsPage page(context);
    PortPage* firstPortPage = nullptr;
    host.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
        d.selectComboRow(IDC_SET_MODEL, 2);
        d.click(IDC_SET_DEFAULT);
        host.onNextShow(IDD_PORT, [&](FakeDialog& port) {
            firstPortPage = settings.portPage;
            EXPECT_NE(firstPortPage, nullptr);
            // What another program posts to this page beneath reaches
            // nothing: no second port page, none destroyed, no end.
            for (int id : {IDC_SET_NEXT, IDC_SET_EXIT, IDC_SET_BACK, IdOk, IdCancel}) {
                EXPECT_FALSE(d.sendCommand(id, ButtonClicked)) << id;
                page.onCommand(id, ButtonClicked);
            }
            page.onOk();
            page.onCancel();
            EXPECT_TRUE(page.onSysCommand(IDM_ABOUTBOX));
            EXPECT_EQ(settings.portPage, firstPortPage);
            EXPECT_EQ(host.shownTemplates(), std::vector<int>({IDD_PRINTER_SETTINGS, IDD_PORT}));
            EXPECT_FALSE(d.ended());
            port.click(IDC_PORT_BACK);
        });
        d.click(IDC_SET_NEXT);
        EXPECT_TRUE(settings.portSearchPending);
        EXPECT_FALSE(d.ended());
        host.onNextShow(IDD_PORT, [&](FakeDialog& port) {
            settings.portSearchPending = false;
            port.click(IDC_PORT_CANCEL);
        });
        d.click(IDC_SET_NEXT);
        EXPECT_FALSE(settings.portSearchPending) << "Cancel keeps the flag";
        host.onNextShow(IDD_PORT, [&](FakeDialog& port) { port.pressEsc(); });
        d.click(IDC_SET_NEXT);
        host.onNextShow(IDD_PORT, [&](FakeDialog& port) { port.click(IDC_PORT_BACK); });
        d.click(IDC_SET_NEXT);
        EXPECT_TRUE(settings.portSearchPending) << "Back asks for a new search";
        // A port page that cannot open is told of, and this page stays; it
        // takes no command while the box is up, and takes them again after.
        host.failTemplate(IDD_PORT);
        host.onMessageBox([&](const MessageBoxRecord&) {
            EXPECT_FALSE(d.sendCommand(IDC_SET_EXIT, ButtonClicked));
            page.onCommand(IDC_SET_EXIT, ButtonClicked);
        });
        d.click(IDC_SET_NEXT);
        host.onMessageBox({});
        EXPECT_FALSE(d.ended());
        EXPECT_EQ(page.modelRow(), 2);
        EXPECT_TRUE(page.defaultPrinter());
        settings.englishFlag = 1;
        d.click(IDC_SET_NEXT);
        EXPECT_TRUE(d.sendCommand(IDC_SET_EXIT, ButtonClicked));
        EXPECT_TRUE(d.ended());
    });
    EXPECT_EQ(host.runModal(page), PageOk);
    EXPECT_EQ(host.shownTemplates(),
              std::vector<int>({IDD_PRINTER_SETTINGS, IDD_PORT, IDD_PORT, IDD_PORT, IDD_PORT, IDD_PORT, IDD_PORT}));
    ASSERT_EQ(host.messages().size(), 2u);
    EXPECT_EQ(host.messages()[0].text, "端口页面无法打开，或因内部错误而关闭，安装未完成。");
    EXPECT_EQ(host.messages()[1].text,
              "The port page could not be opened, or closed on an internal error: the installation was not completed.");
    EXPECT_EQ(host.messages()[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(settings.selectedPort.empty());
}

// Enter in the port list is no command: the port page stays open and
// nothing is installed; its Cancel still works afterwards.
TEST_F(PrinterSettingsPageTest, EnterOnThePortPageKeepsItOpen) {
    settings.osCode = 8;
    PrinterSettingsPage page(context);
    host.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
        host.onNextShow(IDD_PORT, [](FakeDialog& port) {
            EXPECT_EQ(port.focus(), IDC_PORT_LIST);
            port.pressEnter();
            EXPECT_FALSE(port.ended());
            port.click(IDC_PORT_CANCEL);
        });
        d.click(IDC_SET_NEXT);
        d.click(IDC_SET_EXIT);
    });
    EXPECT_EQ(host.runModal(page), PageOk);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(platform.callsOf("addPrinter").empty());
}

TEST(ModelCatalogueTest, ModelFilesOfEveryRowInBothLanguages) {
    struct Row {
        const char* displayName;
        const char* chineseDll;
        const char* chineseGpd;
        const char* englishDll;
        const char* englishGpd;
    };
    const Row rows[] = {
        {"RK-520P", "RK520PCN.DLL", "RK520PCN.GPD", "RK520P.DLL", "RK520P.GPD"},
        {"RK-520PW", "RK520PCN.DLL", "RK520PWCN.GPD", "RK520PW.DLL", "RK520PW.GPD"},
        {"RK-730P", "RK730PCN.DLL", "RK730PCN.GPD", "RK730P.DLL", "RK730P.GPD"},
        {"RK-730PN", "RK730PCN.DLL", "RK730PNCN.GPD", "RK730PN.DLL", "RK730PN.GPD"},
        {"RK-730P(NEW)", "RK730PCN.DLL", "RK730PNEWCN.GPD", "RK730PNEW.DLL", "RK730PNEW.GPD"},
        {"MZ730P", "RK730PCN.DLL", "MZ730PCN.GPD", "MZ730P.DLL", "MZ730P.GPD"},
        {"MZ730PN", "RK730PCN.DLL", "MZ730PNCN.GPD", "MZ730PN.DLL", "MZ730PN.GPD"},
    };
    ASSERT_EQ(ModelCatalogue::rows().size(), std::size(rows));
    for (int i = 0; i < 7; ++i) {
        const ModelRow* model = ModelCatalogue::row(i);
        ASSERT_NE(model, nullptr);
        EXPECT_STREQ(model->displayName, rows[i].displayName);
        const auto chinese = ModelCatalogue::filesFor(*model, Language::Chinese);
        EXPECT_EQ(chinese.library, rows[i].chineseDll);
        EXPECT_EQ(chinese.description, rows[i].chineseGpd);
        const auto english = ModelCatalogue::filesFor(*model, Language::English);
        EXPECT_EQ(english.library, rows[i].englishDll);
        EXPECT_EQ(english.description, rows[i].englishGpd);
    }
    EXPECT_EQ(ModelCatalogue::row(-1), nullptr);
    EXPECT_EQ(ModelCatalogue::row(7), nullptr);
}

}  // namespace
}  // namespace kelp
