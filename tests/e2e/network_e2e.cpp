// Network receipt printers from the command line and the MSI, under Wine.
// The scenario runs in a network namespace of its own, where fake printers
// (scripts/e2e/fake-printers.py) listen on loopback addresses:
//   127.0.1.10:9100 ready, names itself RK-730PN (serial number S-110)
//   127.0.1.11:9100 paper out
//   127.0.1.12:9100 cover open   127.0.1.15:9100 ready (the MSI's)
//   127.0.1.16:9100 speaks first (some other service, no receipt printer)
//   127.0.1.17:9100 accepts connections, never answers a status request
//   127.0.1.18:9100 reads the first status request and hangs up
//   127.0.1.19:9100 ready, automatic status back on (a status frame, XOFF
//                   and XON when a connection opens and ahead of each answer)
//   127.0.2.20:9100 ready, names itself RK-730P(NEW) (serial number SN-20)
//   127.0.2.200:9100 paper out (would name itself MZ730P: never asked)
//   127.0.2.30:9101 ready (in the searched range, on another TCP port)
//   127.0.2.40:9100 paper out, hangs up after a second of silence
//   127.0.2.50:9100 speaks first
//   127.0.2.60:9100 answers one status request in four
//   127.0.2.70:9100 paper near its end, one connection at a time, names
//                   itself MZ730PN half a second late (after Kelp's wait)
//   127.0.2.80:9100 ready, automatic status back on
//   127.0.2.90:9100 never answers a status request
//   127.0.2.95:9100 reads the first status request and hangs up
//   127.0.1.20:9100 ready, its cash drawer on pin 2 (the sensor changes
//                   when ESC p opens it)
//   127.0.1.21:9100 ready, a drawer whose sensor never changes
// Nothing listens anywhere else. Each printer's C:\printers\<address>_<tcp
// port>.prn holds the bytes it received apart from the status requests,
// its .req one line per status request ("1" to "4"), its .ids one line per
// GS I request ("67", "66", "68"), its .con one line per connection: how
// many milliseconds it was open.
//
// Network.*               kelptcpmon.dll is the "Standard TCP/IP Port" monitor.
// NetworkMsi.*            the same, with the MSI packages in C:\msi.
// NetworkWithoutMonitor.* no such monitor, as Wine has it.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "CommandLineScenario.h"
#include "Installation.h"
#include "Machine.h"
#include "WizardDriver.h"

using namespace e2e;

namespace {

const std::wstring kLog = L"C:\\kelp-network.log";
const std::wstring kMonitor = L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port";
const std::wstring kMonitorPorts = kMonitor + L"\\Ports";

std::string received(const std::wstring& printer) { return readFile(L"C:\\printers\\" + printer + L".prn"); }
std::string requests(const std::wstring& printer) { return readFile(L"C:\\printers\\" + printer + L".req"); }
std::string connections(const std::wstring& printer) { return readFile(L"C:\\printers\\" + printer + L".con"); }

// Where the monitor's port points, as the monitor keeps it:
// "<host>:<tcp port> protocol <n> snmp <n>", or "(no port)".
std::string monitorPort(const std::wstring& name) {
    const std::wstring key = kMonitorPorts + L"\\" + name;
    const auto host = readRegistryText(HKEY_LOCAL_MACHINE, key, L"Host");
    if (!host) return "(no port)";
    auto number = [&](const wchar_t* value) {
        DWORD data = 0, size = sizeof data;
        const LONG e = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size);
        return e == ERROR_SUCCESS ? std::to_string(data) : "?";
    };
    return *host + ":" + number(L"TcpPort") + " protocol " + number(L"Protocol") + " snmp " + number(L"Snmp");
}

// The spooler's ports whose name has text in it, one line each.
std::string portsWith(const std::string& text) {
    std::string found;
    for (const auto& port : spoolerPorts().value_or(std::vector<PortEntry>{}))
        if (port.name.find(text) != std::string::npos) found += port.name + " (" + port.description + ")\n";
    return found;
}

std::string portOf(const char* printer) {
    const auto printers = spoolerPrinters();
    const PrinterEntry* entry = printers ? findPrinter(*printers, printer) : nullptr;
    return entry ? entry->port : "(no printer)";
}

class NetworkTest : public CommandLineScenario {
protected:
    NetworkTest() : CommandLineScenario(kLog) {}
    void SetUp() override {
        CommandLineScenario::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(deleteRegistryTree(HKEY_LOCAL_MACHINE, kMonitorPorts));
    }
};

class Network : public NetworkTest {};
class NetworkMsi : public NetworkTest {};
class NetworkWithoutMonitor : public NetworkTest {};

}  // namespace

// The port is made once and reused: by the same address written otherwise,
// and by an address's port whatever its name. Installing asks the printer
// for its status and sends nothing else; the test receipt asks again, then
// arrives whole.
TEST_F(Network, InstallTwiceOnOnePortAndPrintTheTestReceipt) {
    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P /host:127.0.1.10" + lang)) << log();
    expectPrinter(models()[2], "IP_127.0.1.10");
    EXPECT_EQ("127.0.1.10:9100 protocol 1 snmp 0", monitorPort(L"IP_127.0.1.10"));
    EXPECT_EQ("IP_127.0.1.10 (Standard TCP/IP Port)\n", portsWith("127.0.1.10"));
    EXPECT_EQ("1\n2\n3\n4\n", requests(L"127.0.1.10_9100"));
    EXPECT_EQ("", received(L"127.0.1.10_9100"));
    // The printer names another of the models: installed as asked, and said.
    EXPECT_TRUE(said("The printer names itself \"RK-730PN\". Serial number: \"S-110\". That is not RK-730P: installed as "
                     "RK-730P, as asked.",
                     "打印机自报型号：“RK-730PN”。序列号：“S-110”。这不是 RK-730P：已按要求安装为 RK-730P。"))
        << log();
    EXPECT_TRUE(logHas("the printer at 127.0.1.10:9100 names itself \"RK-730PN\", maker \"Kelp Test\", serial number "
                       "\"S-110\"\r\n"))
        << log();
    EXPECT_EQ("67\n66\n68\n", readFile(L"C:\\printers\\127.0.1.10_9100.ids"));
    EXPECT_TRUE(said("The printer RK-730P is installed on IP_127.0.1.10 (127.0.1.10:9100, port made; the printer: ready).",
                     "已安装打印机 RK-730P，端口 IP_127.0.1.10（127.0.1.10:9100，新建的端口；打印机：就绪）。"))
        << log();

    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P /host:127.0.1.10:9100" + lang)) << log();
    expectPrinter(models()[2], "IP_127.0.1.10");
    EXPECT_EQ("IP_127.0.1.10 (Standard TCP/IP Port)\n", portsWith("127.0.1.10"));
    // Another model on the same address takes the same port.
    ASSERT_EQ(0, runKelp(L"/install /model:RK-520P /host:127.0.1.10" + lang)) << log();
    expectPrinter(models()[0], "IP_127.0.1.10");
    EXPECT_EQ("IP_127.0.1.10 (Standard TCP/IP Port)\n", portsWith("127.0.1.10"));
    EXPECT_TRUE(said("The printer RK-520P is installed on IP_127.0.1.10 (127.0.1.10:9100, port reused; the printer: ready).",
                     "已安装打印机 RK-520P，端口 IP_127.0.1.10（127.0.1.10:9100，已有的端口；打印机：就绪）。"))
        << log();
    // A printer on another port is moved to the address's port, as the
    // wizard's network row moves it.
    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P /port:COM1:" + lang)) << log();
    expectPrinter(models()[2], "COM1:");
    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P /host:127.0.1.10" + lang)) << log();
    expectPrinter(models()[2], "IP_127.0.1.10");
    EXPECT_TRUE(logHas(language == kChinese ? "从 COM1: 移到 IP_127.0.1.10" : "moved from COM1: to IP_127.0.1.10")) << log();

    ASSERT_EQ(0, runKelp(L"/testprint /model:RK-730P" + quiet)) << log();
    expectTestReceipt([] { return received(L"127.0.1.10_9100"); }, "RK-730P", "IP_127.0.1.10", language);
    // Four installations and the test receipt asked the printer, each once.
    EXPECT_EQ("1\n2\n3\n4\n1\n2\n3\n4\n1\n2\n3\n4\n1\n2\n3\n4\n1\n2\n3\n4\n", requests(L"127.0.1.10_9100"));
}

// /drawer: after the printed receipt, the drawer's sensor is read on a
// connection of its own, the kick sent, the sensor read again.
TEST_F(Network, TestReceiptOpensTheCashDrawer) {
    const std::string pin2("\x1bp\x00\x19\xfa", 5), pin5("\x1bp\x01\x19\xfa", 5);
    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P /host:127.0.1.20" + lang)) << log();
    ASSERT_EQ(0, runKelp(L"/testprint /model:RK-730P /drawer" + quiet)) << log();
    EXPECT_TRUE(said("The cash drawer opened (pin 2): its sensor changed.", "钱箱已打开（引脚 2）：钱箱传感器状态已改变。"))
        << log();
    waitUntil([] { return received(L"127.0.1.20_9100").size() > 5; });
    const std::string opened = received(L"127.0.1.20_9100");
    EXPECT_EQ(pin2, opened.substr(opened.size() - 5));
    EXPECT_EQ(opened.size() - 5, opened.find("\x1bp")) << "the kick comes after the whole receipt";
    // Install, test receipt, the sensor before and once after.
    EXPECT_EQ("1\n2\n3\n4\n1\n2\n3\n4\n1\n1\n", requests(L"127.0.1.20_9100"));

    ASSERT_EQ(0, runKelp(L"/install /model:RK-520P /host:127.0.1.21" + lang)) << log();
    ASSERT_EQ(0, runKelp(L"/testprint /model:RK-520P /drawer:5" + quiet)) << log();
    EXPECT_TRUE(said("The kick was sent (pin 5); the drawer's sensor did not change (a drawer without a sensor cable "
                     "does not report it): look at the drawer.",
                     "已发送开钱箱信号（引脚 5），但钱箱传感器状态未改变（没有传感器连线的钱箱不会报告）：请查看钱箱是否已打开。"))
        << log();
    waitUntil([] { return received(L"127.0.1.21_9100").size() > 5; });
    const std::string unchanged = received(L"127.0.1.21_9100");
    EXPECT_EQ(pin5, unchanged.substr(unchanged.size() - 5));
    EXPECT_EQ("1\n2\n3\n4\n1\n2\n3\n4\n1\n1\n1\n1\n1\n1\n", requests(L"127.0.1.21_9100"));
}

// A printer out of paper, one with its cover open, an address where nothing
// listens: each installs (shops install before they unpack), none gets a
// receipt. A TCP port of its own makes a port of its own.
TEST_F(Network, TestReceiptsThatCannotBePrintedAreNotSent) {
    struct Row {
        const wchar_t* address;
        const char* port;
        const char* english;  // the printer's state
        const char* chinese;
        const char* englishAdvice;  // after the state, when installed
        const char* chineseAdvice;
        const char* englishTodo;  // the test receipt's last line
        const char* chineseTodo;
    };
    const Row rows[] = {
        {L"127.0.1.11", "IP_127.0.1.11", "paper out", "缺纸", ": it will print once that is put right", "，排除后即可打印",
         "Put in a new paper roll and close the cover, then run Kelp again to print a test receipt.",
         "请装入新纸卷并合上上盖，然后再次运行 Kelp 打印测试小票。"},
        {L"127.0.1.12", "IP_127.0.1.12", "cover open", "上盖打开", ": it will print once that is put right", "，排除后即可打印",
         "Close the printer's cover, then run Kelp again to print a test receipt.",
         "请合上打印机上盖，然后再次运行 Kelp 打印测试小票。"},
        {L"127.0.1.13", "IP_127.0.1.13", "nothing listens there (connection refused)", "该地址上没有程序接收打印数据（连接被拒绝）",
         ": something else is at that address: check the address and the TCP port", "，该地址上是其他设备：请检查地址和 TCP 端口",
         "Something else is at that address: check the printer's address and TCP port (its self-test page shows them), "
         "then install again on the right ones.",
         "该地址上是其他设备：请检查打印机的地址和 TCP 端口（打印机自检页上有），然后用正确的地址重新安装。"},
        {L"127.0.1.16", "IP_127.0.1.16", "no receipt printer (it answers with something else than a status)",
         "不是小票打印机（应答的不是打印机状态）", ": check the address (the printer's self-test page shows it)",
         "，请检查地址（打印机自检页上有）",
         "Check the printer's address (its self-test page shows it), then install again on the right one.",
         "请检查打印机的地址（打印机自检页上有），然后用正确的地址重新安装。"},
    };
    std::vector<bool> hints;  // /testprint named /find
    for (const Row& row : rows) {
        SCOPED_TRACE(row.port);
        const std::string address = utf8(row.address), port = row.port;
        ASSERT_EQ(0, runKelp(L"/install /model:RK-520P /host:" + std::wstring(row.address) + lang)) << log();
        expectPrinter(models()[0], port);
        EXPECT_TRUE(said("The printer RK-520P is installed on " + port + " (" + address + ":9100, port made; the printer: " +
                             row.english + row.englishAdvice + ").",
                         "已安装打印机 RK-520P，端口 " + port + "（" + address + ":9100，新建的端口；打印机：" + row.chinese +
                             row.chineseAdvice + "）。"))
            << log();
        EXPECT_EQ(1603, runKelp(L"/testprint /model:RK-520P /wait:5" + quiet)) << log();
        EXPECT_TRUE(said("The test receipt was not printed: the printer RK-520P (" + port + ") reports " + row.english + ".",
                         "未打印测试小票：打印机 RK-520P（" + port + "）报告：" + row.chinese + "。") &&
                    said(row.englishTodo, row.chineseTodo))
            << log();
        // Where nothing listens the printer may have moved: the command line
        // does not search, it says how to (this run's line only).
        const std::string hint = language == kChinese
                                     ? "如果打印机换了地址：Kelp.exe /find 列出本网络中的打印机及其型号。\r\n"
                                     : "If the printer got another address: Kelp.exe /find lists the printers on this "
                                       "network with their models.\r\n";
        const std::string logged = log();
        hints.push_back(logged.find(hint, logged.rfind("action testprint")) != std::string::npos);
        EXPECT_EQ("", received(std::wstring(row.address) + L"_9100"));
    }
    EXPECT_EQ((std::vector<bool>{false, false, true, false}), hints);
    // Nothing goes to a peer that speaks first once it has been heard: at
    // most the first status request, when its words came after it.
    const std::string asked = requests(L"127.0.1.16_9100");
    EXPECT_EQ(std::string::npos, asked.find_first_of("234")) << asked;

    ASSERT_EQ(0, runKelp(L"/install /model:MZ730P /host:127.0.1.13:9101" + lang)) << log();
    expectPrinter(models()[5], "IP_127.0.1.13_9101");
    EXPECT_EQ("127.0.1.13:9101 protocol 1 snmp 0", monitorPort(L"IP_127.0.1.13_9101"));
    EXPECT_EQ("127.0.1.13:9100 protocol 1 snmp 0", monitorPort(L"IP_127.0.1.13"));
}

// A printer that never answers gets the receipt only with /force, and then
// no word that it printed; a hang-up is no answer, /force or not; status
// frames and XON/XOFF sent unasked do not hide a ready printer.
TEST_F(Network, TestReceiptToPrintersThatGiveNoStatus) {
    struct Row {
        const wchar_t* address;
        const char* installed;  // the printer's state on installation: English, Chinese
        const char* installedZh;
        long long plain, forced;  // /testprint's exit code without and with /force (-1: not run)
        const char* english;      // what /testprint says without /force, then with it (lines apart by \n)
        const char* chinese;
        const char* forcedEnglish;
        const char* forcedChinese;
        const char* requests;  // the status requests the printer received, over all three runs
    };
    const Row rows[] = {
        {L"127.0.1.17", "answers without status (state unknown)", "可连接，但不报告状态", 1603, 0,
         "The test receipt was not sent: the printer RK-520P (IP_127.0.1.17) does not answer status requests, so it "
         "cannot be told whether it can print. Check first that it is switched on, that its cable or network is "
         "connected, and its address.\nAdd /force to send it anyway once you have checked the printer.",
         "未发送测试小票：打印机 RK-520P（IP_127.0.1.17）不回答状态询问，无法知道它能否打印。请先检查：打印机已开机，"
         "连接线或网络已连接，地址正确。\n如确认打印机已就绪，可加 /force 仍然发送。",
         "The test receipt was sent to RK-520P (IP_127.0.1.17), but the printer gives no status: it cannot be told "
         "whether it printed. Look at the printer for the receipt.",
         "测试小票已发送到 RK-520P（IP_127.0.1.17），但打印机不报告状态，无法知道是否已打印。请查看打印机是否出纸。",
         "1\n1\n1\n"},
        {L"127.0.1.18", "no answer: check that it is on, its cable or network connection, and its address",
         "无应答，请检查打印机是否已开机、连接线或网络连接以及地址", 1603, 1603,
         "The test receipt was not printed: the printer RK-520P (IP_127.0.1.18) reports no answer.\nSwitch the printer on "
         "and check its cable or network connection and its address, then run Kelp again to print a test receipt.",
         "未打印测试小票：打印机 RK-520P（IP_127.0.1.18）报告：无应答。\n请打开打印机电源，检查连接线或网络连接及地址，然后再次运行 "
         "Kelp 打印测试小票。",
         "The test receipt was not printed: the printer RK-520P (IP_127.0.1.18) reports no answer.",
         "未打印测试小票：打印机 RK-520P（IP_127.0.1.18）报告：无应答。", "1\n1\n1\n"},
        {L"127.0.1.19", "ready", "就绪", 0, -1, "The test receipt was printed on RK-520P (IP_127.0.1.19).",
         "测试小票已在 RK-520P（IP_127.0.1.19）上打印。", "", "", "1\n2\n3\n4\n1\n2\n3\n4\n"},
    };
    // Each line of the text, in the run's language, is a line of the log.
    const auto saidLines = [&](const std::string& english, const std::string& chinese) {
        const std::string text = language == kChinese ? chinese : english;
        for (size_t at = 0; at <= text.size();) {
            const size_t end = std::min(text.find('\n', at), text.size());
            if (!logHas(text.substr(at, end - at) + "\r\n")) return false;
            at = end + 1;
        }
        return true;
    };
    for (const Row& row : rows) {
        const std::string address = utf8(row.address), port = "IP_" + address;
        SCOPED_TRACE(address);
        const std::wstring printer = std::wstring(row.address) + L"_9100";
        ASSERT_EQ(0, runKelp(L"/install /model:RK-520P /host:" + std::wstring(row.address) + lang)) << log();
        EXPECT_TRUE(said("The printer RK-520P is installed on " + port + " (" + address + ":9100, port made; the printer: " +
                             row.installed + ").",
                         "已安装打印机 RK-520P，端口 " + port + "（" + address + ":9100，新建的端口；打印机：" +
                             row.installedZh + "）。"))
            << log();
        removeFile(kLog);
        EXPECT_EQ(row.plain, runKelp(L"/testprint /model:RK-520P" + quiet)) << log();
        EXPECT_TRUE(saidLines(row.english, row.chinese)) << log();
        if (row.plain == 0) expectTestReceipt([&] { return received(printer); }, "RK-520P", port, language);
        if (row.forced < 0) {
            EXPECT_EQ(row.requests, requests(printer));
            continue;
        }
        EXPECT_EQ("", received(printer));
        removeFile(kLog);
        EXPECT_EQ(row.forced, runKelp(L"/testprint /model:RK-520P /force" + quiet)) << log();
        EXPECT_TRUE(saidLines(row.forcedEnglish, row.forcedChinese)) << log();
        if (row.forced == 0)
            expectTestReceipt([&] { return received(printer); }, "RK-520P", port, language);
        else
            EXPECT_EQ("", received(printer));
        EXPECT_EQ(row.requests, requests(printer));
    }
}

// Refused before anything changes: no printer, no port.
TEST_F(Network, WrongAddressesEnd87AndChangeNothing) {
    const std::string before = requests(L"127.0.1.10_9100") + requests(L"127.0.2.20_9100");
    struct Row {
        const wchar_t* line;
        const char* english;  // the reason, after "Wrong command line: "
        const char* chinese;  // after "命令行错误："
    };
    const Row rows[] = {
        {L"/install /model:RK-730P /host: /quiet", "/host needs a value", "/host 缺少值"},
        {L"/install /model:RK-730P /host:127.0.1.256 /quiet", "/host: No number of an IPv4 address is over 255.",
         "/host：IPv4 地址的每个数字都不能大于 255。"},
        {L"/install /model:RK-730P /host:127.0.1.10:0 /quiet", "/host: The TCP port cannot be 0.", "/host：TCP 端口不能为 0。"},
        {L"/install /model:RK-730P /host:127.0.1.10:65536 /quiet", "/host: The TCP port cannot be over 65535.",
         "/host：TCP 端口不能大于 65535。"},
        {L"/install /model:RK-730P /host:127.0.1.10:x /quiet", "/host: The TCP port after the colon must be a number.",
         "/host：冒号后的 TCP 端口必须是数字。"},
        {L"/install /model:RK-730P /host:printer_1 /quiet",
         "/host: An address holds only letters, digits, '-' and '.', no blank or other character.",
         "/host：地址中只能有字母、数字、“-”和“.”，不能有空格或其他字符。"},
        {L"/install /model:RK-730P /host:fe80::1 /quiet", "/host: IPv6 addresses are not supported: use the printer's host name.",
         "/host：不支持 IPv6 地址，请使用打印机的主机名。"},
        {L"/install /model:RK-730P /host:h123456789012345678901234567890123456789012345678 /quiet",
         "/host: The address is too long: a host name has at most 48 characters.", "/host：地址太长：主机名最多 48 个字符。"},
        {L"/install /model:RK-730P /host:127.0.1.10 /port:USB001 /quiet", "/host and /port do not go together",
         "/host 不能与 /port 一起使用"},
        {L"/testprint /model:RK-730P /host:127.0.1.10 /quiet", "/host does not go with /testprint", "/host 不能与 /testprint 一起使用"},
        {L"/find:127.0.2.20-127.0.2.1", "the first address of /find comes after the last", "/find 的起始地址在结束地址之后"},
        {L"/find:127.0.4.0-127.0.8.0", "/find searches at most 1024 addresses", "/find 最多搜索 1024 个地址"},
        {L"/find:127.0.2.1", "/find takes a range of IPv4 addresses: /find:<first address>-<last address>",
         "/find 需要 IPv4 地址范围：/find:<起始地址>-<结束地址>"},
        {L"/find:223.255.255.0-224.0.0.10", "/find cannot search 0.x.x.x, multicast or reserved addresses (224.0.0.0 and above)",
         "/find 不能搜索 0.x.x.x、组播地址或保留地址（224.0.0.0 及以上）"},
        {L"/install /model:RK-730P /host:0x7f.0.1.10 /quiet",
         "/host: This is no IPv4 address (four numbers with dots) and no host name.", "/host：这不是有效的 IPv4 地址或主机名。"},
        {L"/install /model:RK-730P /host:224.0.0.1 /quiet",
         "/host: No printer has this address: 0.x.x.x, multicast and reserved addresses (224.0.0.0 and above) cannot be used.",
         "/host：该地址不能是打印机的地址：0.x.x.x、组播地址和保留地址（224.0.0.0 及以上）都不可用。"},
        {L"/install /model:RK-730P /host:127.0.1.10:9100:1 /quiet", "/host: An address has one colon at most, before its TCP port.",
         "/host：地址中只能有一个冒号，放在 TCP 端口之前。"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(utf8(row.line));
        removeFile(kLog);
        EXPECT_EQ(87, runKelp(std::wstring(row.line) + L" /log:" + kLog)) << log();
        EXPECT_TRUE(logHas(language == kChinese ? std::string("命令行错误：") + row.chinese + "\r\n"
                                                : std::string("Wrong command line: ") + row.english + "\r\n"))
            << log();
        EXPECT_EQ("(no printer)", portOf("RK-730P"));
        EXPECT_EQ("", portsWith("127.0."));
    }
    EXPECT_EQ(before, requests(L"127.0.1.10_9100") + requests(L"127.0.2.20_9100"));
    // 48 characters are a host name the port's record holds (not found on this network: forced).
    EXPECT_EQ(0, runKelp(L"/install /model:RK-730P /host:h12345678901234567890123456789012345678901234567 /force" + lang))
        << log();
    EXPECT_EQ("IP_h12345678901234567890123456789012345678901234567", portOf("RK-730P"));
}

// A mistyped address is refused as one; a name that cannot be found changes
// nothing unless forced, and its port is named as typed. The printer of the
// model stays where it was until then.
TEST_F(Network, MistypedAddressesAndNamesNotFoundChangeNothing) {
    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P /host:127.0.1.10" + lang)) << log();
    EXPECT_EQ(87, runKelp(L"/install /model:RK-730P /host:127.0.1.1O" + lang)) << log();
    EXPECT_TRUE(said("Wrong command line: /host: This looks like a mistyped IPv4 address: an address is four numbers with "
                     "dots, and a host name's last part begins with a letter.",
                     "命令行错误：/host：这像是输错的 IPv4 地址：IPv4 地址是用点分隔的四个数字，主机名的最后一段以字母开头。"))
        << log();
    removeFile(kLog);
    EXPECT_EQ(1603, runKelp(L"/install /model:RK-730P /host:kitchen-printer.invalid" + lang)) << log();
    EXPECT_TRUE(logHas(language == kChinese ? "现在在此网络上找不到主机名 kitchen-printer.invalid（错误 "
                                            : "The host name kitchen-printer.invalid cannot be found on this network now (error "))
        << log();
    EXPECT_TRUE(logHas(language == kChinese ? "），未做任何更改。" : "); nothing was changed.")) << log();
    EXPECT_EQ("IP_127.0.1.10", portOf("RK-730P"));
    EXPECT_EQ("", portsWith("1O") + portsWith("invalid"));

    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P /host:kitchen-printer.invalid /force" + lang)) << log();
    EXPECT_EQ("IP_kitchen-printer.invalid", portOf("RK-730P"));
    EXPECT_EQ("kitchen-printer.invalid:9100 protocol 1 snmp 0", monitorPort(L"IP_kitchen-printer.invalid"));
    EXPECT_TRUE(said("The printer RK-730P is installed on IP_kitchen-printer.invalid (kitchen-printer.invalid:9100, port "
                     "made; the printer: its name cannot be found on this network now (it will print once the name is "
                     "registered)).",
                     "已安装打印机 RK-730P，端口 IP_kitchen-printer.invalid（kitchen-printer.invalid:9100，新建的端口；打印机："
                     "现在在此网络上找不到它的名称（名称登记后即可打印））。"))
        << log();
}

// The range's printers on TCP 9100, nothing else, each with its true state:
// the one that hangs up when idle, the one that answers one request in four
// (its answers stop), the one that speaks first (sent nothing), the one
// whose status frames come unasked, the silent one, the one that hangs up. Each printer's connection is
// held for its answers alone.
TEST_F(Network, FindListsExactlyThePrintersOfTheRange) {
    ASSERT_EQ(0, runKelp(L"/find:127.0.2.1-127.0.2.254 /log:" + kLog)) << log();
    const std::string text = log();
    // Then the model and serial number a printer that can print says it has;
    // a late name is none.
    for (const char* row : {"printer\t127.0.2.20:9100\tready\tRK-730P(NEW)\tSN-20\r\n", "printer\t127.0.2.200:9100\tpaper out\t\t\r\n",
                            "printer\t127.0.2.40:9100\tpaper out\t\t\r\n",
                            "printer\t127.0.2.50:9100\tno receipt printer (it answers with something else than a status)\t\t\r\n",
                            "printer\t127.0.2.60:9100\tno answer\t\t\r\n",
                            "printer\t127.0.2.70:9100\tpaper near its end\t\t\r\n", "printer\t127.0.2.80:9100\tready\t\t\r\n",
                            "printer\t127.0.2.90:9100\tanswers without status (state unknown)\t\t\r\n",
                            "printer\t127.0.2.95:9100\tno answer\t\t\r\n"})
        EXPECT_NE(std::string::npos, text.find(row)) << row << text;
    size_t lines = 0;
    for (size_t at = text.find("printer\t"); at != std::string::npos; at = text.find("printer\t", at + 1)) ++lines;
    EXPECT_EQ(9u, lines) << text;
    EXPECT_EQ("1\n2\n3\n4\n", requests(L"127.0.2.20_9100"));
    EXPECT_EQ("1\n2\n3\n4\n", requests(L"127.0.2.80_9100"));
    EXPECT_EQ("1\n1\n", requests(L"127.0.2.90_9100") + requests(L"127.0.2.95_9100"));
    EXPECT_EQ("1\n2\n", requests(L"127.0.2.60_9100"));
    EXPECT_EQ("", requests(L"127.0.2.50_9100"));
    // GS I only to the printers that can print, after their status.
    EXPECT_EQ("67\n66\n68\n", readFile(L"C:\\printers\\127.0.2.20_9100.ids"));
    EXPECT_EQ("", readFile(L"C:\\printers\\127.0.2.200_9100.ids") + readFile(L"C:\\printers\\127.0.2.50_9100.ids") +
                      readFile(L"C:\\printers\\127.0.2.60_9100.ids") + readFile(L"C:\\printers\\127.0.2.90_9100.ids"));
    EXPECT_EQ("", received(L"127.0.2.20_9100") + received(L"127.0.2.200_9100") + requests(L"127.0.2.30_9101"));
    // One connection each, ended by the search; how long each was held is
    // the benchmark's figure (a loaded machine stretches it).
    for (const wchar_t* printer : {L"127.0.2.20_9100", L"127.0.2.200_9100", L"127.0.2.70_9100"}) {
        const std::string held = connections(printer);
        EXPECT_EQ(1, std::count(held.begin(), held.end(), '\n')) << utf8(printer) << ": " << held;
    }
    // 1024 addresses are searched, 1025 refused (above).
    removeFile(kLog);
    ASSERT_EQ(0, runKelp(L"/find:127.0.4.0-127.0.7.255 /log:" + kLog)) << log();
    EXPECT_EQ(std::string::npos, log().find("printer\t")) << log();
}

// Where the port's settings cannot be read, no receipt goes out unasked.
// They are read with the least access GetConfigInfo needs: a person
// without an administrator's rights (the tests' monitor refuses handles
// opened for administering then) still gets the printer asked and the
// receipt printed, and /list says where the port points.
TEST_F(Network, TestReceiptWithheldWhenThePortsSettingsCannotBeRead) {
    ASSERT_EQ(0, runKelp(L"/install /model:RK-730P /host:127.0.1.10" + lang)) << log();
    const std::string before = received(L"127.0.1.10_9100");
    ASSERT_TRUE(writeRegistryDword(HKEY_LOCAL_MACHINE, kMonitor, L"RefuseGetConfigInfo", 1));
    removeFile(kLog);
    EXPECT_EQ(1603, runKelp(L"/testprint /model:RK-730P" + quiet)) << log();
    EXPECT_TRUE(said("The test receipt was not printed: the settings of the port IP_127.0.1.10 cannot be read (error "
                     "5), so the printer could not be asked first. Run Kelp again as an administrator to print a test "
                     "receipt.",
                     "未打印测试小票：端口 IP_127.0.1.10 的设置无法读取（错误 5），无法先询问打印机。"
                     "请以管理员身份再次运行 Kelp 打印测试小票。"))
        << log();
    EXPECT_EQ(0, runKelp(L"/list /log:" + kLog)) << log();
    EXPECT_TRUE(logHas("port\tIP_127.0.1.10\tTCP/IP\t\tunknown\r\n")) << log();
    EXPECT_EQ(before, received(L"127.0.1.10_9100"));
    // No second port beside the one that cannot be read, and nothing moved to one.
    ASSERT_EQ(0, runKelp(L"/install /model:RK-520P /port:COM1:" + lang)) << log();
    removeFile(kLog);
    EXPECT_EQ(1603, runKelp(L"/install /model:RK-520P /host:127.0.1.10" + lang)) << log();
    // The system's text for error 5 is Wine's own.
    EXPECT_TRUE(logHas(language == kChinese ? "无法读取端口 IP_127.0.1.10 的设置（错误 5"
                                            : "The settings of the port IP_127.0.1.10 cannot be read (error 5"))
        << log();
    EXPECT_TRUE(said("; it may be the port for 127.0.1.10:9100, so no other port is made for it.",
                     "；它可能就是 127.0.1.10:9100 的端口，因此不再为该地址创建新端口。"))
        << log();
    EXPECT_EQ("COM1:", portOf("RK-520P"));
    EXPECT_EQ("IP_127.0.1.10 (Standard TCP/IP Port)\n", portsWith("127.0.1.10"));

    ASSERT_TRUE(deleteRegistryValue(HKEY_LOCAL_MACHINE, kMonitor, L"RefuseGetConfigInfo"));
    ASSERT_TRUE(writeRegistryDword(HKEY_LOCAL_MACHINE, kMonitor, L"NotAdministrator", 1));
    removeFile(kLog);
    EXPECT_EQ(0, runKelp(L"/list /log:" + kLog)) << log();
    EXPECT_TRUE(logHas("port\tIP_127.0.1.10\tTCP/IP\t\t127.0.1.10:9100\r\n")) << log();
    EXPECT_EQ(0, runKelp(L"/testprint /model:RK-730P /wait:5" + quiet)) << log();
    waitUntil([&] { return received(L"127.0.1.10_9100").find("\x1d" "VB", before.size()) != std::string::npos; });
    EXPECT_NE(std::string::npos, received(L"127.0.1.10_9100").find("Kelp 4.0", before.size())) << received(L"127.0.1.10_9100");
    // Making a port still takes an administrator.
    EXPECT_EQ(1603, runKelp(L"/install /model:RK-520P /host:127.0.1.11" + lang)) << log();
    EXPECT_EQ("(no port)", monitorPort(L"IP_127.0.1.11"));
    ASSERT_TRUE(deleteRegistryValue(HKEY_LOCAL_MACHINE, kMonitor, L"NotAdministrator"));
}

TEST_F(NetworkMsi, HostPropertyInstallsOnTheAddressesPort) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring msiexec = std::wstring(system) + L"\\msiexec.exe";
    const char* name = std::getenv("KELP_E2E_MSI");
    ASSERT_TRUE(name);
    const std::wstring package = L"C:\\msi\\" + widen(name);
    EXPECT_EQ(1603, waitForExit(startProgram(msiexec, L"/i " + package + L" /qn MODEL=RK-730P HOST=127.0.1.15 PORT=USB001"),
                                6 * kWait));
    EXPECT_EQ("(no printer)", portOf("RK-730P"));
    ASSERT_EQ(0, waitForExit(startProgram(msiexec, L"/i " + package + L" /qn MODEL=RK-730P HOST=127.0.1.15"), 6 * kWait));
    expectPrinter(models()[2], "IP_127.0.1.15");
    EXPECT_EQ("127.0.1.15:9100 protocol 1 snmp 0", monitorPort(L"IP_127.0.1.15"));
    EXPECT_EQ("127.0.1.15", readRegistryText(HKEY_LOCAL_MACHINE,
                                             L"Software\\Vexo\\Kelp\\{3CC0CA4C-4C2F-4915-9CA1-293021315493}", L"Host")
                                .value_or("(none)"));
    ASSERT_EQ(0, waitForExit(startProgram(msiexec, L"/x " + package + L" /qn"), 6 * kWait));
    EXPECT_EQ("(no printer)", portOf("RK-730P"));
}

// Without the monitor nothing is made, and no other monitor is asked to.
TEST_F(NetworkWithoutMonitor, InstallEnds1603AndMakesNothing) {
    EXPECT_EQ(1603, runKelp(L"/install /model:RK-730P /host:127.0.1.10" + lang)) << log();
    EXPECT_TRUE(logHas(language == kChinese
                           ? "此系统没有“Standard TCP/IP Port”端口监视器，无法为 127.0.1.10:9100 创建端口。"
                           : "This system has no \"Standard TCP/IP Port\" monitor: no port can be made for 127.0.1.10:9100."))
        << log();
    EXPECT_EQ("(no printer)", portOf("RK-730P"));
    EXPECT_EQ("", portsWith("127.0.1.10"));
    EXPECT_FALSE(readRegistryText(HKEY_LOCAL_MACHINE, kPortsKey, L"IP_127.0.1.10"));
    EXPECT_EQ("", received(L"127.0.1.10_9100"));
}
