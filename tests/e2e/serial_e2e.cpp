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

#include "CommandLineScenario.h"
#include "Installation.h"
#include "Machine.h"
#include "WizardDriver.h"

using namespace e2e;

namespace {

const std::wstring kLog = L"C:\\kelp-serial.log";

std::string received(const wchar_t* port) { return readFile(std::wstring(L"C:\\serial\\printer-") + port + L".prn"); }
std::string requests(const wchar_t* port) { return readFile(std::wstring(L"C:\\serial\\printer-") + port + L".req"); }

class Serial : public CommandLineScenario {
protected:
    Serial() : CommandLineScenario(kLog) {}
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
    expectTestReceipt([] { return received(L"COM5"); }, "RK-730P", "COM5:", language);
    EXPECT_EQ("1\n2\n3\n4\n", requests(L"COM5"));

    EXPECT_EQ(1603, runKelp(L"/testprint /model:RK-520P /wait:5" + quiet)) << log();
    EXPECT_TRUE(said("The test receipt was not printed: the printer RK-520P (COM6:) reports paper out.",
                     "未打印测试小票：打印机 RK-520P（COM6:）报告：缺纸。") &&
                said("Put in a new paper roll and close the cover, then run Kelp again to print a test receipt.",
                     "请装入新纸卷并合上上盖，然后再次运行 Kelp 打印测试小票。"))
        << log();
    EXPECT_NE(std::string::npos, log().find("printer on COM6: at 9600,n,8,1: paper out\r\n")) << log();
    EXPECT_EQ("1\n2\n3\n4\n", requests(L"COM6"));
    EXPECT_EQ("", received(L"COM6"));
}
