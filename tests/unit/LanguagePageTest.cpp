#include <gtest/gtest.h>

#include "WizardFixture.h"
#include "app/LanguagePage.h"

namespace kelp {
namespace {

using LanguagePageTest = WizardFixture;

TEST_F(LanguagePageTest, TextsAndPreselectedRowFollowTheCodePage) {
    struct Row {
        std::uint32_t codePage;
        const char* label;
        const char* confirm;
        const char* cancel;
        int selectedRow;
    };
    const Row rows[] = {
        {936, "选择安装语言", "确认", "取消", 0},
        {950, "选择安装语言", "确认", "取消", 0},
        {1252, "Choose installation language", "Next", "Exit", 1},
        {932, "Choose installation language", "Next", "Exit", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.codePage);
        platform.setActiveCodePage(row.codePage);
        LanguagePage page(context);
        host.onNextShow(IDD_LANGUAGE, [&](FakeDialog& d) {
            EXPECT_EQ(d.text(IDC_LANG_LABEL), row.label);
            EXPECT_EQ(d.text(IDC_LANG_CONFIRM), row.confirm);
            EXPECT_EQ(d.text(IDC_LANG_CANCEL), row.cancel);
            EXPECT_EQ(d.caption(), "Vexo Receipt Printer Driver");
            ASSERT_EQ(d.comboCount(IDC_LANG_LIST), 2);
            EXPECT_EQ(d.comboText(IDC_LANG_LIST, 0), "简体中文");
            EXPECT_EQ(d.comboText(IDC_LANG_LIST, 1), "English");
            EXPECT_EQ(d.comboSelection(IDC_LANG_LIST), row.selectedRow);
            d.pressEsc();
        });
        EXPECT_EQ(host.runModal(page), PageCancel);
    }
}

TEST_F(LanguagePageTest, ConfirmCancelAndEnter) {
    struct Row {
        const char* name;
        int flagBefore;
        std::function<void(FakeDialog&)> act;
        int result;
        int flagAfter;
    };
    const Row rows[] = {
        {"confirm English", 0, [](FakeDialog& d) { d.selectComboRow(IDC_LANG_LIST, 1); d.click(IDC_LANG_CONFIRM); }, PageOk, 1},
        {"confirm Chinese", 1, [](FakeDialog& d) { d.selectComboRow(IDC_LANG_LIST, 0); d.click(IDC_LANG_CONFIRM); }, PageOk, 0},
        {"confirm without a selection", 1, [](FakeDialog& d) { d.comboSetSelection(IDC_LANG_LIST, -1); d.click(IDC_LANG_CONFIRM); }, PageOk, 1},
        {"Enter stores the selection", 0, [](FakeDialog& d) { d.selectComboRow(IDC_LANG_LIST, 1); d.pressEnter(); }, PageOk, 1},
        {"cancel button", 1, [](FakeDialog& d) { d.selectComboRow(IDC_LANG_LIST, 0); d.click(IDC_LANG_CANCEL); }, PageCancel, 1},
        {"Esc", 0, [](FakeDialog& d) { d.selectComboRow(IDC_LANG_LIST, 1); d.pressEsc(); }, PageCancel, 0},
        {"close box", 0, [](FakeDialog& d) { d.selectComboRow(IDC_LANG_LIST, 1); d.closeBox(); }, PageCancel, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        settings.englishFlag = row.flagBefore;
        LanguagePage page(context);
        host.onNextShow(IDD_LANGUAGE, row.act);
        EXPECT_EQ(host.runModal(page), row.result);
        EXPECT_EQ(settings.englishFlag, row.flagAfter);
    }
}

// A second showing starts again from the code page's default, not from the
// language stored before.
TEST_F(LanguagePageTest, EachShowingStartsFromTheCodePageDefault) {
    platform.setActiveCodePage(936);
    LanguagePage page(context);
    host.onNextShow(IDD_LANGUAGE, [](FakeDialog& d) { d.selectComboRow(IDC_LANG_LIST, 1); d.click(IDC_LANG_CONFIRM); });
    ASSERT_EQ(host.runModal(page), PageOk);
    ASSERT_EQ(settings.englishFlag, 1);
    host.onNextShow(IDD_LANGUAGE, [](FakeDialog& d) {
        EXPECT_EQ(d.comboSelection(IDC_LANG_LIST), 0);
        EXPECT_EQ(d.text(IDC_LANG_CONFIRM), "确认");
        d.click(IDC_LANG_CONFIRM);
    });
    ASSERT_EQ(host.runModal(page), PageOk);
    EXPECT_EQ(settings.englishFlag, 0);
}

}  // namespace
}  // namespace kelp
