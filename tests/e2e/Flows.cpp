#include "Flows.h"

#include <gtest/gtest.h>

namespace e2e {

int defaultLanguageRow() { return Scenario::current().chineseSystem() ? kChinese : kEnglish; }

const char* languageTag(int row) { return row == kChinese ? "zh" : "en"; }

void shot(HWND window, const std::string& page) {
    EXPECT_TRUE(screenshot(window, currentTestName() + "-" + page)) << "screenshot " << page;
}

HWND confirmLanguage(Wizard& wizard, int row) {
    const HWND language = wizard.waitFor(Page::Language, 2 * kWait);
    if (!language) {
        ADD_FAILURE() << "no language page; " << wizard.describe();
        return nullptr;
    }
    EXPECT_TRUE(selectRow(language, 1011, row));
    EXPECT_TRUE(click(language, 1010));
    const HWND system = wizard.waitFor(Page::System);
    if (!system) ADD_FAILURE() << "no system page after confirming row " << row << "; " << wizard.describe();
    return system;
}

HWND openSettings(Wizard& wizard, int row) {
    const HWND system = confirmLanguage(wizard, row);
    if (!system) return nullptr;
    EXPECT_TRUE(click(system, 1009));
    const HWND settings = wizard.waitFor(Page::Settings);
    if (!settings) ADD_FAILURE() << "no printer settings page; " << wizard.describe();
    return settings;
}

HWND openPortPage(Wizard& wizard, HWND settings) {
    EXPECT_TRUE(click(settings, 1009));
    const HWND port = wizard.waitFor(Page::Port);
    if (!port) ADD_FAILURE() << "no port page after Next; " << wizard.describe();
    return port;
}

bool chooseModel(HWND settings, int row, const std::string& displayName) {
    if (!selectRow(settings, 1011, row)) {
        ADD_FAILURE() << "could not select model row " << row;
        return false;
    }
    if (!waitForItemText(settings, 1013, displayName)) {
        ADD_FAILURE() << "model row " << row << ": printer name '" << itemText(settings, 1013) << "', expected '"
                      << displayName << "'";
        return false;
    }
    return true;
}

bool answerQuestion(Wizard& wizard, std::string& text, bool yes, const std::string& shotName) {
    HWND box = nullptr;
    waitUntil([&] { return (box = wizard.find(Page::Message)) != nullptr && GetDlgItem(box, IDYES) != nullptr; },
              3 * kWait);
    if (!box || !GetDlgItem(box, IDYES)) {
        ADD_FAILURE() << "no question; " << wizard.describe();
        return false;
    }
    text = messageText(box);
    if (!shotName.empty()) shot(box, shotName);
    EXPECT_TRUE(click(box, yes ? IDYES : IDNO));
    if (!wizard.waitGone(box)) {
        ADD_FAILURE() << "the question did not close; " << wizard.describe();
        return false;
    }
    return true;
}

bool takeMessage(Wizard& wizard, std::string& text, const std::string& shotName, DWORD timeoutMs) {
    const HWND box = wizard.waitFor(Page::Message, timeoutMs);
    if (!box) {
        ADD_FAILURE() << "no message box; " << wizard.describe();
        return false;
    }
    text = messageText(box);
    if (!shotName.empty()) shot(box, shotName);
    EXPECT_TRUE(click(box, IDOK));
    if (!wizard.waitGone(box)) {
        ADD_FAILURE() << "the message box did not close; " << wizard.describe();
        return false;
    }
    return true;
}

}  // namespace e2e
