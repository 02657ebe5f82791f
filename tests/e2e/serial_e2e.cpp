// Serial receipt printers from the command line, under Wine. Fake printers
// (scripts/e2e/fake-serial-printer.py) sit behind pseudo-terminals that the
// prefix has as COM5 (ready, naming itself RK-730P with a noisy name and
// serial number C-5), COM6 (out of paper), COM7 (answers the first status
// request, then nothing), COM8 (never answers) and COM9 (ready, its cash
// drawer on pin 5: the sensor changes when ESC p opens it); the spooler
// lists COM5: to COM9: at 9600,n,8,1 and sends their jobs to the terminals.
// C:\serial\printer-COM<n>.prn holds the bytes a printer received apart
// from the status requests, its .req one line per status request ("1" to
// "4"), its .ids one line per GS I request ("67", "66", "68"). ("C:\serial\COM5.prn"
// would be the port itself.)
//
// Serial.*   a 32-bit prefix; the run's language is the scenario's.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

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
    // Asked who it is before the receipt, its bytes that are not printable dropped.
    EXPECT_NE(std::string::npos, log().find(" the printer on COM5: names itself \"RK-730P\", maker \"Kelp Test\", serial number "
                                            "\"C-5\"\r\n")) << log();
    EXPECT_EQ("67\n66\n68\n", readFile(L"C:\\serial\\printer-COM5.ids"));
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

    // /drawer over the port: pin 2 leaves a drawer on pin 5 shut, pin 5 opens it.
    const std::string pin2("\x1bp\x00\x19\xfa", 5), pin5("\x1bp\x01\x19\xfa", 5);
    ASSERT_EQ(0, runKelp(L"/install /model:RK-730PN /port:COM9:" + lang)) << log();
    ASSERT_EQ(0, runKelp(L"/testprint /model:RK-730PN /drawer" + quiet)) << log();
    EXPECT_TRUE(said("The kick was sent (pin 2); the drawer's sensor did not change (a drawer without a sensor cable "
                     "does not report it): look at the drawer.",
                     "已发送开钱箱信号（引脚 2），但钱箱传感器状态未改变（没有传感器连线的钱箱不会报告）：请查看钱箱是否已打开。"))
        << log();
    ASSERT_EQ(0, runKelp(L"/testprint /model:RK-730PN /drawer:5" + quiet)) << log();
    EXPECT_TRUE(said("The cash drawer opened (pin 5): its sensor changed.", "钱箱已打开（引脚 5）：钱箱传感器状态已改变。"))
        << log();
    waitUntil([] { return received(L"COM9").find(std::string("\x1bp\x01", 3)) != std::string::npos; });
    const std::string bytes = received(L"COM9");
    const std::size_t first = bytes.find(pin2), second = bytes.find(pin5);
    EXPECT_NE(std::string::npos, first);
    EXPECT_NE(std::string::npos, second);
    EXPECT_LT(first, second);
    EXPECT_EQ(bytes.size() - 5, second) << "the kick comes after the second receipt";
    EXPECT_EQ("1\n2\n3\n4\n1\n1\n1\n1\n1\n1\n1\n2\n3\n4\n1\n1\n", requests(L"COM9"));
    EXPECT_EQ("", readFile(L"C:\\serial\\printer-COM6.ids"));  // never asked who it is
}

// A printer whose answers stop is no answer: withheld, /force or not. One
// that never answers gets the receipt only with /force, and then no word
// that it printed. A port with no device behind it says that it does not
// open, not that the printer is off.
TEST_F(Serial, PrintersThatGiveNoStatusAndAPortThatDoesNotOpen) {
    ASSERT_TRUE(writeRegistryText(HKEY_LOCAL_MACHINE, kPortsKey, L"COM20:", L"9600,n,8,1"));
    struct Row {
        const wchar_t* port;
        long long plain, forced;  // /testprint's exit code without and with /force
        const char* english;      // what /testprint says without /force (lines apart by \n), then with it
        const char* chinese;
        const char* forcedEnglish;
        const char* forcedChinese;
        const char* requests;  // over both runs; nullptr: no printer there
    };
    const Row rows[] = {
        {L"COM7", 1603, 1603, "The test receipt was not printed: the printer RK-520P (COM7:) reports no answer.",
         "未打印测试小票：打印机 RK-520P（COM7:）报告：无应答。",
         "The test receipt was not printed: the printer RK-520P (COM7:) reports no answer.",
         "未打印测试小票：打印机 RK-520P（COM7:）报告：无应答。", "1\n2\n1\n2\n"},
        {L"COM8", 1603, 0,
         "The test receipt was not sent: the printer RK-520P (COM8:) does not answer status requests, so it cannot be "
         "told whether it can print. Check first that it is switched on, that its cable or network is connected, and "
         "its address.\nAdd /force to send it anyway once you have checked the printer.",
         "未发送测试小票：打印机 RK-520P（COM8:）不回答状态询问，无法知道它能否打印。请先检查：打印机已开机，"
         "连接线或网络已连接，地址正确。\n如确认打印机已就绪，可加 /force 仍然发送。",
         "The test receipt was sent to RK-520P (COM8:), but the printer gives no status: it cannot be told whether it "
         "printed. Look at the printer for the receipt.",
         "测试小票已发送到 RK-520P（COM8:），但打印机不报告状态，无法知道是否已打印。请查看打印机是否出纸。", "1\n1\n"},
        {L"COM20", 1603, 1603,
         "The test receipt was not printed: the port COM20: does not open (error 2): another program (the till's "
         "software) may hold it, or the port does not exist. Close the program that uses the port, then run Kelp again "
         "to print a test receipt.",
         "未打印测试小票：端口 COM20: 无法打开（错误 2）：可能有其他程序（如收银软件）正在使用它，或该端口不存在。"
         "请关闭使用该端口的程序，然后再次运行 Kelp 打印测试小票。",
         "The test receipt was not printed: the port COM20: does not open (error 2)", "未打印测试小票：端口 COM20: 无法打开（错误 2）",
         nullptr},
    };
    // Each line of the text, in the run's language, is (the start of) a line of the log.
    const auto saidLines = [&](const std::string& english, const std::string& chinese) {
        const std::string text = language == kChinese ? chinese : english;
        for (size_t at = 0; at <= text.size();) {
            const size_t end = std::min(text.find('\n', at), text.size());
            if (!logHas(text.substr(at, end - at))) return false;
            at = end + 1;
        }
        return true;
    };
    for (const Row& row : rows) {
        const std::string port = utf8(row.port) + ":";
        SCOPED_TRACE(port);
        ASSERT_EQ(0, runKelp(L"/install /model:RK-520P /port:" + std::wstring(row.port) + L":" + lang)) << log();
        expectPrinter(models()[0], port);
        removeFile(kLog);
        EXPECT_EQ(row.plain, runKelp(L"/testprint /model:RK-520P" + quiet)) << log();
        EXPECT_TRUE(saidLines(row.english, row.chinese)) << log();
        if (!row.requests) EXPECT_FALSE(logHas(language == kChinese ? "请打开打印机电源" : "Switch the printer on")) << log();
        removeFile(kLog);
        EXPECT_EQ(row.forced, runKelp(L"/testprint /model:RK-520P /force" + quiet)) << log();
        EXPECT_TRUE(saidLines(row.forcedEnglish, row.forcedChinese)) << log();
        if (!row.requests) continue;
        if (row.forced == 0)
            expectTestReceipt([&] { return received(row.port); }, "RK-520P", port, language);
        else
            EXPECT_EQ("", received(row.port));
        EXPECT_EQ(row.requests, requests(row.port));
    }
}
