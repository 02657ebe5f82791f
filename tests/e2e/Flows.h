// Walks through the wizard's pages that many scenarios share. Each step
// reports a failure through GoogleTest (with what the wizard shows) and
// answers null when the page did not come, so a test can stop there.
#pragma once

#include <windows.h>

#include <string>

#include "WizardDriver.h"

namespace e2e {

// Rows of the language list.
constexpr int kChinese = 0;
constexpr int kEnglish = 1;

// The row the language page selects by itself: Chinese under a Chinese code page.
int defaultLanguageRow();
// "zh" or "en", for trace and screenshot names.
const char* languageTag(int row);

// Saves the window as "<Suite.Test>-<page>" and expects that to work.
void shot(HWND window, const std::string& page);

// Confirms the language row and waits for the system page.
HWND confirmLanguage(Wizard& wizard, int row);
// Language row, then the system page's install button: the printer settings page.
HWND openSettings(Wizard& wizard, int row);
// Next on the printer settings page: the port page.
HWND openPortPage(Wizard& wizard, HWND settings);
// Chooses the model row on the printer settings page and waits for its name.
bool chooseModel(HWND settings, int row, const std::string& displayName);

// Waits for a message box of the wizard, keeps its text, saves a screenshot
// when shotName is not empty, and closes it with its OK button. Answers
// false (with a failure) when no box came or it did not close.
bool takeMessage(Wizard& wizard, std::string& text, const std::string& shotName = {},
                 DWORD timeoutMs = 3 * kWait);
// The same for a question box (Yes and No), answered yes or no.
bool answerQuestion(Wizard& wizard, std::string& text, bool yes, const std::string& shotName = {});

}  // namespace e2e
