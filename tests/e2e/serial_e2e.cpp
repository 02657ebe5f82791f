// Serial receipt printers from the command line, under Wine. Fake printers
// (scripts/e2e/fake-serial-printer.py) sit behind pseudo-terminals that the
// prefix has as COM5 (ready) and COM6 (out of paper); the spooler lists
// COM5: and COM6: at 9600,n,8,1 and sends their jobs to the terminals.
// C:\serial\printer-COM<n>.prn holds the bytes a printer received apart
// from the status requests, its .req one line per status request ("1" to
// "4"). ("C:\serial\COM5.prn" would be the port itself.)
//
// Serial.*   a 32-bit prefix; the run's language is the scenario's.

#include <windows.h>

#include <gtest/gtest.h>

#include "Installation.h"
#include "Machine.h"
#include "WizardDriver.h"

using namespace e2e;

namespace {

const std::wstring kLog = L"C:\\kelp-serial.log";

long long runKelp(const std::wstring& arguments) {
    const HANDLE process = startProgram(Scenario::current().kelpPath(), arguments);
    if (!process) ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
    return waitForExit(process, 3 * kWait);
}

std::string received(const wchar_t* port) { return readFile(std::wstring(L"C:\\serial\\printer-") + port + L".prn"); }
std::string requests(const wchar_t* port) { return readFile(std::wstring(L"C:\\serial\\printer-") + port + L".req"); }

class Serial : public ::testing::Test {
protected:
    const Scenario& scenario = Scenario::current();
    const int language = scenario.chineseSystem() ? kChinese : kEnglish;
    const std::wstring quiet = L" /quiet /log:" + kLog;
    const std::wstring lang = std::wstring(language == kChinese ? L" /lang:zh" : L" /lang:en") + quiet;

    void SetUp() override {
        if (scenario.win64()) GTEST_SKIP() << "needs a 32-bit prefix";
        ASSERT_TRUE(resetMachine());
        removeFile(kLog);
    }
    std::string log() const { return readFile(kLog); }
    // The line in the run's language.
    bool said(const std::string& english, const std::string& chinese) const {
        return log().find((language == kChinese ? chinese : english) + "\r\n") != std::string::npos;
    }
};

}  // namespace

// Each printer is asked before its receipt: the ready one gets it whole,
// the one out of paper nothing but the four status requests.
TEST_F(Serial, TestReceiptOnlyToAPrinterThatCanPrintIt) {
    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P /port:COM5:" + lang)) << log();
    expectPrinter(models()[2], "COM5:");
    ASSERT_EQ(0, runKelp(L"/install /model:RK-520P /port:COM6:" + lang)) << log();
    expectPrinter(models()[0], "COM6:");

    ASSERT_EQ(0, runKelp(L"/testprint /model:RK-730P" + quiet)) << log();
    EXPECT_NE(std::string::npos, log().find("printer on COM5: at 9600,n,8,1: ready\r\n")) << log();
    const std::string head = language == kChinese
                                 ? "\x1b@Kelp \xb2\xe2\xca\xd4\xd0\xa1\xc6\xb1\n\xd0\xcd\xba\xc5\xa3\xbaRK-730P\n"
                                   "\xb6\xcb\xbf\xda\xa3\xba" "COM5:\n\xca\xb1\xbc\xe4\xa3\xba"
                                 : "\x1b@Kelp test receipt\nModel: RK-730P\nPort: COM5:\nTime: ";
    const std::string tail = language == kChinese
                                 ? "\nKelp 4.0\n\xb4\xf2\xd3\xa1\xbb\xfa\xd2\xd1\xb0\xb2\xd7\xb0\xa3\xac\xbf\xc9\xd2\xd4"
                                   "\xca\xb9\xd3\xc3\xa1\xa3\n\x1b\x64\x04\x1dVB"
                                 : "\nKelp 4.0\nThis printer is installed and ready.\n\x1b\x64\x04\x1dVB";
    // The printer may still be taking it in; the time is "YYYY-MM-DD hh:mm:ss".
    const std::size_t whole = head.size() + 19 + tail.size() + 1;
    waitUntil([&] { return received(L"COM5").size() >= whole; });
    const std::string bytes = received(L"COM5");
    ASSERT_EQ(whole, bytes.size()) << bytes;
    EXPECT_EQ(head, bytes.substr(0, head.size()));
    EXPECT_EQ(tail + std::string(1, '\0'), bytes.substr(head.size() + 19));
    EXPECT_EQ("1\n2\n3\n4\n", requests(L"COM5"));

    EXPECT_EQ(1603, runKelp(L"/testprint /model:RK-520P /wait:5" + quiet)) << log();
    EXPECT_TRUE(said("The printer RK-520P (COM6:) cannot print now: paper out. The test receipt was not sent.",
                     "打印机 RK-520P（COM6:）现在不能打印：缺纸。测试小票未发送。"))
        << log();
    EXPECT_NE(std::string::npos, log().find("printer on COM6: at 9600,n,8,1: paper out\r\n")) << log();
    EXPECT_EQ("1\n2\n3\n4\n", requests(L"COM6"));
    EXPECT_EQ("", received(L"COM6"));
}
