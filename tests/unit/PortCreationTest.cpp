#include <gtest/gtest.h>

#include "WizardFixture.h"
#include "pages/PortPage.h"
#include "pages/PortTypesDialog.h"
#include "pages/PrinterSettingsPage.h"

namespace kelp {
namespace {

using Script = std::function<void(FakeDialog&)>;

class PortCreationTest : public WizardFixture {
protected:
    // The port page opened from a settings page, running portActions.
    void onPortPage(const Script& portActions) {
        PrinterSettingsPage page(context);
        host.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
            host.onNextShow(IDD_PORT, portActions);
            d.click(IDC_SET_NEXT);
            if (!d.ended()) d.click(IDC_SET_EXIT);
        });
        host.runModal(page);
    }
};

TEST_F(PortCreationTest, PortTypesDialogListsTheMonitorsInBothLanguages) {
    platform.setMonitors({{"Local Port"}, {std::nullopt}, {"Standard TCP/IP Port"}});
    struct Row {
        int englishFlag;
        const char* heading;
        const char* newPort;
        const char* exit;
    };
    for (const Row row : {Row{0, "可用端口类型", "新端口...", "关闭"}, Row{1, "Available Port Types", "New Port...", "Exit"}}) {
        settings.englishFlag = row.englishFlag;
        PortTypesDialog dialog(context);
        host.onNextShow(IDD_PORT_TYPES, [&](FakeDialog& d) {
            ASSERT_EQ(d.listColumns(IDC_TYPES_LIST).size(), 1u);
            EXPECT_EQ(d.listColumns(IDC_TYPES_LIST)[0].heading, row.heading);
            EXPECT_EQ(d.listColumns(IDC_TYPES_LIST)[0].width, 340);
            EXPECT_EQ(d.listExtendedStyle(IDC_TYPES_LIST) & (ListExFullRowSelect | ListExGridLines | ListExTrackSelect),
                      ListExFullRowSelect | ListExGridLines);
            ASSERT_EQ(d.listRowCount(IDC_TYPES_LIST), 2) << "the nameless monitor is passed over";
            EXPECT_EQ(d.listCell(IDC_TYPES_LIST, 1, 0), "Standard TCP/IP Port");
            EXPECT_EQ(d.listSelectedRows(IDC_TYPES_LIST), std::vector<int>{0});
            EXPECT_EQ(d.text(IDC_TYPES_NEW), row.newPort);
            EXPECT_EQ(d.text(IDC_TYPES_EXIT), row.exit);
            EXPECT_EQ(d.caption(), "Vexo Receipt Printer Driver");
            d.click(IDC_TYPES_EXIT);
        });
        EXPECT_EQ(host.runModal(dialog), PageCancel);
    }
}

TEST_F(PortCreationTest, NewPortAsksTheSelectedMonitorWithTheDialogsWindow) {
    platform.setMonitors({{"Local Port"}, {"Standard TCP/IP Port"}});
    platform.addPortCreates("USB002", "Local Port");
    PortTypesDialog dialog(context);
    host.onNextShow(IDD_PORT_TYPES, [&](FakeDialog& d) {
        d.clickListRow(IDC_TYPES_LIST, 0);
        d.click(IDC_TYPES_NEW);
        EXPECT_FALSE(d.ended());
        EXPECT_EQ(d.listRowCount(IDC_TYPES_LIST), 2);
        const auto added = platform.callsOf("addPort");
        ASSERT_EQ(added.size(), 1u);
        EXPECT_EQ(added[0].args, (std::vector<std::string>{std::to_string(d.windowHandle()), "Local Port"}));
        d.clickListRow(IDC_TYPES_LIST, -1);  // nothing selected: New Port does nothing
        d.click(IDC_TYPES_NEW);
        EXPECT_EQ(platform.callsOf("addPort").size(), 1u);
        d.pressEsc();
    });
    EXPECT_EQ(host.runModal(dialog), PageCancel);
    EXPECT_EQ(platform.ports().back().name, "USB002");
}

TEST_F(PortCreationTest, NoMonitorsLeaveTheListEmpty) {
    platform.failAlways("enumMonitors", winerr::AccessDenied);
    PortTypesDialog dialog(context);
    host.onNextShow(IDD_PORT_TYPES, [&](FakeDialog& d) {
        EXPECT_EQ(d.listRowCount(IDC_TYPES_LIST), 0);
        d.click(IDC_TYPES_NEW);
        d.setFocus(IDC_TYPES_LIST);
        d.pressEnter();
    });
    EXPECT_EQ(host.runModal(dialog), PageOk);
    EXPECT_TRUE(platform.callsOf("addPort").empty());
}

// After Create Port the list holds the machine's ports, with the LPT1, else
// COM1, else FILE row selected; a match in row 0 counts as none.
TEST_F(PortCreationTest, RefillSelectsALikelyPort) {
    struct Row {
        const char* name;
        std::vector<PortRecord> ports;
        std::vector<int> selected;
    };
    const Row rows[] = {
        {"Wine's ports: LPT1 wins", {{"COM1:", ""}, {"COM2:", ""}, {"FILE:", ""}, {"LPT1:", ""}, {"LPT2:", ""}}, {3}},
        {"LPT1 first, then COM1", {{"LPT1:", ""}, {"COM1:", ""}, {"FILE:", ""}}, {1}},
        {"COM1: and COM10: remember the later", {{"USB001", ""}, {"COM1:", ""}, {"COM10:", ""}}, {2}},
        {"only FILE", {{"USB001", ""}, {"FILE:", ""}}, {1}},
        {"the only match in row 0", {{"COM1:", ""}, {"USB001", ""}}, {}},
        {"nothing found", {{"USB001", ""}, {"IP_1", ""}}, {}},
        {"no ports", {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        platform.setPorts(row.ports);
        settings.portSearchPending = true;
        onPortPage([&](FakeDialog& port) {
            port.clickListRow(IDC_PORT_LIST, 0);
            port.click(IDC_PORT_INSTALL);  // the reminder disables Install
            host.onNextShow(IDD_PORT_TYPES, [](FakeDialog& types) { types.click(IDC_TYPES_EXIT); });
            port.click(IDC_PORT_CREATE);
            EXPECT_FALSE(settings.portSearchPending);
            EXPECT_EQ(port.listRowCount(IDC_PORT_LIST), static_cast<int>(row.ports.size()));
            EXPECT_EQ(port.listSelectedRows(IDC_PORT_LIST), row.selected);
            EXPECT_FALSE(port.isEnabled(IDC_PORT_INSTALL)) << "only Search Port enables Install";
            port.click(IDC_PORT_CANCEL);
        });
    }
}

TEST_F(PortCreationTest, ConfigurePortInBothListModes) {
    // Category mode: the selected row is a label, never handed to the spooler.
    onPortPage([&](FakeDialog& port) {
        port.click(IDC_PORT_CONFIGURE);
        EXPECT_FALSE(port.ended());
        EXPECT_TRUE(platform.callsOf("configurePort").empty());
        ASSERT_EQ(host.messages().size(), 1u);
        EXPECT_EQ(host.messages()[0].text, "请先点击“搜索端口...”，然后选择要配置的端口。");
        EXPECT_EQ(host.messages()[0].icon, MessageIcon::Exclamation);
        // Port mode: nothing selected after a search, nothing configured.
        port.click(IDC_PORT_SEARCH);
        port.click(IDC_PORT_CONFIGURE);
        EXPECT_TRUE(platform.callsOf("configurePort").empty());
        port.clickListRow(IDC_PORT_LIST, 0);
        port.click(IDC_PORT_CONFIGURE);
        const auto configured = platform.callsOf("configurePort");
        ASSERT_EQ(configured.size(), 1u);
        EXPECT_EQ(configured[0].args, (std::vector<std::string>{std::to_string(port.windowHandle()), "COM1:"}));
        port.clickListRow(IDC_PORT_LIST, 4);
        port.click(IDC_PORT_CONFIGURE);  // FILE: has nothing to configure: no message
        EXPECT_EQ(platform.callsOf("configurePort").size(), 2u);
        port.click(IDC_PORT_CANCEL);
    });
    EXPECT_EQ(host.messages().size(), 1u);
}

// Column widths are pixels: at 125 % to 200 % scaling they grow with the
// screen, as the templates' dialog units do, so that no heading is cut.
TEST_F(PortCreationTest, ListColumnsScaleWithTheScreensDpi) {
    struct Row {
        int dpi;
        std::vector<int> portColumns;
        int typesColumn;
    };
    const Row rows[] = {{96, {150, 280}, 340}, {120, {188, 350}, 425}, {144, {225, 420}, 510}, {192, {300, 560}, 680}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.dpi);
        host.setDpi(row.dpi);
        onPortPage([&](FakeDialog& port) {
            std::vector<int> widths;
            for (const auto& column : port.listColumns(IDC_PORT_LIST)) widths.push_back(column.width);
            EXPECT_EQ(widths, row.portColumns);
            host.onNextShow(IDD_PORT_TYPES, [&](FakeDialog& types) {
                ASSERT_EQ(types.listColumns(IDC_TYPES_LIST).size(), 1u);
                EXPECT_EQ(types.listColumns(IDC_TYPES_LIST)[0].width, row.typesColumn);
                types.click(IDC_TYPES_EXIT);
            });
            port.click(IDC_PORT_CREATE);
            port.click(IDC_PORT_CANCEL);
        });
    }
}

}  // namespace
}  // namespace kelp
