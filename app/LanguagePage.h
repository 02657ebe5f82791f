// The first page: the language of the wizard's texts and driver files.
#pragma once

#include "app/AppContext.h"
#include "platform/Dialog.h"

namespace kelp {

class LanguagePage : public Page {
public:
    explicit LanguagePage(AppContext& context);

    bool onInit() override;
    void onCommand(int id, int code) override;
    // The Enter key stores the selected language as the confirm button does.
    void onOk() override;

    static constexpr int ChineseRow = 0;
    static constexpr int EnglishRow = 1;

private:
    bool systemIsChinese() const;
    void fillLanguageList();
    void showEnglishTexts();
    void storeSelectedLanguage();
    void onConfirm();

    AppContext& context_;
};

}  // namespace kelp
