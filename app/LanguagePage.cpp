#include "app/LanguagePage.h"

#include "app/EnglishTexts.h"
#include "res/resource.h"

namespace kelp {

namespace {

constexpr ControlText kEnglishTexts[] = {
    {IDC_LANG_CONFIRM, "Next"},
    {IDC_LANG_CANCEL, "Exit"},
    {IDC_LANG_LABEL, "Choose installation language"},
};

constexpr const char* kLanguageRows[] = {"简体中文", "English"};

}  // namespace

LanguagePage::LanguagePage(AppContext& context) : Page(IDD_LANGUAGE), context_(context) {}

bool LanguagePage::onInit() {
    fillLanguageList();
    if (systemIsChinese()) {
        dialog().comboSetSelection(IDC_LANG_LIST, ChineseRow);
    } else {
        showEnglishTexts();
        dialog().comboSetSelection(IDC_LANG_LIST, EnglishRow);
    }
    return true;
}

void LanguagePage::onCommand(int id, int /*code*/) {
    switch (id) {
        case IDC_LANG_CONFIRM: onConfirm(); break;
        case IDC_LANG_CANCEL: onCancel(); break;
        default: break;
    }
}

void LanguagePage::onOk() { onConfirm(); }

bool LanguagePage::systemIsChinese() const {
    return LanguageForCodePage(context_.platform.activeCodePage()) == Language::Chinese;
}

void LanguagePage::fillLanguageList() {
    dialog().comboReset(IDC_LANG_LIST);
    for (const char* row : kLanguageRows) dialog().comboAdd(IDC_LANG_LIST, row);
}

void LanguagePage::showEnglishTexts() { SetControlTexts(dialog(), kEnglishTexts); }

void LanguagePage::storeSelectedLanguage() {
    switch (dialog().comboSelection(IDC_LANG_LIST)) {
        case ChineseRow: context_.settings.englishFlag = 0; break;
        case EnglishRow: context_.settings.englishFlag = 1; break;
        default: break;  // no selection: the language stays as it was
    }
    // The system's error texts in the log follow the user's language.
    if (context_.log) context_.log->setLanguage(context_.settings.language());
}

void LanguagePage::onConfirm() {
    storeSelectedLanguage();
    end(PageOk);
}

}  // namespace kelp
