// What the command-line scenarios of a 32-bit prefix share: Kelp.exe run to
// its end, the switches of the scenario's language, and what the run's log
// says.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Installation.h"
#include "Machine.h"

namespace e2e {

inline long long runKelp(const std::wstring& arguments) {
    const HANDLE process = startProgram(Scenario::current().kelpPath(), arguments);
    if (!process) ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
    return waitForExit(process, 3 * kWait);
}

class CommandLineScenario : public ::testing::Test {
protected:
    explicit CommandLineScenario(std::wstring logPath)
        : logPath_(std::move(logPath)),
          quiet(L" /quiet /log:" + logPath_),
          lang(std::wstring(language == kChinese ? L" /lang:zh" : L" /lang:en") + quiet) {}

    void SetUp() override {
        if (scenario.win64()) GTEST_SKIP() << "needs a 32-bit prefix";
        ASSERT_TRUE(resetMachine());
        removeFile(logPath_);
    }
    std::string log() const { return readFile(logPath_); }
    bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }
    // The line in the run's language.
    bool said(const std::string& english, const std::string& chinese) const {
        return logHas((language == kChinese ? chinese : english) + "\r\n");
    }

    const Scenario& scenario = Scenario::current();
    const int language = scenario.chineseSystem() ? kChinese : kEnglish;

private:
    const std::wstring logPath_;

protected:
    const std::wstring quiet;
    const std::wstring lang;
};

}  // namespace e2e
