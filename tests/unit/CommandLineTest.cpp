#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "cli/CommandLine.h"
#include "cli/CommandLineRun.h"
#include "install/Wording.h"
#include "install/TestReceipt.h"
#include "fake/FakeNetwork.h"
#include "fake/FakeSerialPorts.h"
#include "fake/FakePlatform.h"
#include "platform/FinalPath.h"
#include "install/Names.h"
#include "install/PrintJob.h"
#include "install/LoggingPlatform.h"
#include "install/RunLog.h"

namespace kelp {
namespace {

using Args = std::vector<std::string>;

constexpr const char* kWindowsKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr const char* kDrivers = "C:\\windows\\system32\\spool\\drivers\\w32x86";
constexpr const char* kLog = "C:\\logs\\kelp.log";

// The calls that change the machine or start a job.
const std::set<std::string> kChangingOps = {
    "addPort",       "configurePort", "addPrinterDriver", "addPrinter",       "regCreateKey",
    "regSetString",  "regSetDword",   "shellOpen",        "copyFile",         "deletePrinter",
    "deletePrinterDriver", "deleteFile", "openPrinter",   "startRawDocument", "writePrinter",
    "endRawDocument", "acquireNamedMutex", "acquirePrivateMutex", "addTcpIpPort", "deleteTcpIpPort"};

// A 32-bit machine with a USB001 port; the package lies beside Kelp.exe in
// C:\Pkg while the run starts in System32, as a startup script does.
class CommandLineTest : public testing::Test {
protected:
    CommandLineTest() {
        m.setPorts({{"COM1:", "Local Port"}, {"FILE:", "Local Port"}, {"LPT1:", "Local Port"}, {"USB001", "Virtual printer port for USB"}});
        m.createSamplePackage("C:\\Pkg");
        m.setModuleDirectory("C:\\Pkg");
        m.setCurrentDirectory("C:\\windows\\system32");
        m.makeDirectory("C:\\logs");
        m.seedKey(RegRoot::CurrentUser, kWindowsKey);
        m.setActiveCodePage(1252);
    }
    // Whatever its outcome, a run leaves no key and no printer open.
    int run(Args args) {
        const int code = RunCommandLine(m, net, serial, args);
        EXPECT_TRUE(m.openKeys().empty()) << m.openKeys().front();
        EXPECT_EQ(m.openPrinterCount(), 0u);
        return code;
    }
    std::string log() const { return m.fileContents(kLog).value_or(""); }
    // Each of lines is in the log file.
    void expectLogged(std::initializer_list<std::string> lines, const std::string& file = kLog) const {
        const std::string text = m.fileContents(file).value_or("");
        for (const auto& line : lines) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    bool anyChange() const {
        return std::any_of(m.calls().begin(), m.calls().end(), [](const PlatformCall& c) { return kChangingOps.count(c.op) != 0; });
    }
    FakePlatform m;
    FakeNetwork net;
    FakeSerialPorts serial;
};

// /wait at its limits and with each digit.
TEST(CommandLineParse, WaitSeconds) {
    for (const auto& [text, seconds] : {std::pair<const char*, unsigned>{"0", 0}, {"9", 9}, {"0099", 99}, {"1234", 1234},
                                        {"5678", 5678 > 3600 ? 0 : 5678}, {"3599", 3599}, {"3600", 3600}}) {
        const auto parse = ParseCommandLine({"/testprint", "/model:RK-520P", std::string("/wait:") + text});
        if (seconds == 0 && std::string(text) != "0") {
            EXPECT_FALSE(parse.command) << text;
            continue;
        }
        ASSERT_TRUE(parse.command) << text << ": " << DescribeCliRefusal(parse.refusal, Language::English);
        EXPECT_EQ(parse.command->waitSeconds, seconds) << text;
    }
    EXPECT_EQ(ParseCommandLine({"/testprint", "/model:RK-520P"}).command.value_or(CliCommand{}).waitSeconds, 30u);
}

// Names compare whatever the case of ASCII letters, and only as far as they go.
TEST(Names, SameName) {
    const struct {
        std::string_view a, b;
        bool same;
    } rows[] = {
        {"USB001", "usb001", true},
        {std::string_view("IP_10.0.0.5x", 11), std::string_view("ip_10.0.0.5y", 11), true},
        {"RK-730P", "RK-730", false},
        {"@[", "`{", false},
        {"\xc3\x89", "\xc3\xa9", false},
        {"", "", true},
    };
    for (const auto& row : rows) EXPECT_EQ(SameName(row.a, row.b), row.same) << row.a << " " << row.b;
}

// A handle's final path against the full path asked for.
TEST(FinalPath, SameOnlyWhereNoLinkIsOnTheWay) {
    const struct {
        const char* asked;
        const char* final;
        bool same;
    } rows[] = {
        {"C:\\logs\\k.log", "\\\\?\\C:\\logs\\k.log", true},
        {"C:\\Logs\\AZ.LOG", "\\\\?\\c:\\logs\\az.log", true},
        {"c:\\logs\\az.log", "\\\\?\\C:\\LOGS\\AZ.LOG", true},
        {"C:\\logs", "\\\\?\\C:\\logs\\", true},
        {"C:\\", "\\\\?\\C:\\", true},
        {"C:\\logs\\k.log", "C:\\logs\\k.log", true},
        {"\\\\srv\\share\\k.log", "\\\\?\\UNC\\srv\\share\\k.log", true},
        {"C:\\\xe6\x97\xa5\\k.log", "\\\\?\\C:\\\xe6\x97\xa5\\k.log", true},
        {"C:\\linked\\k.log", "\\\\?\\C:\\windows\\system32\\k.log", false},
        {"D:\\logs\\k.log", "\\\\?\\C:\\logs\\k.log", false},
        {"C:\\logs\\k.log", "\\\\?\\C:\\logs\\k.lo", false},
        {"C:\\logs\\kx.log", "\\\\?\\C:\\logs\\ky.log", false},
        {"\\\\srv\\share\\k.log", "\\\\?\\C:\\srv\\share\\k.log", false},
        {"C:\\@[\\k.log", "\\\\?\\C:\\`{\\k.log", false},
        {"C:\\\xc3\x89\\k.log", "\\\\?\\C:\\\xc3\xa9\\k.log", false},
        {"C:\\logs\\k.log", "\\\\?\\UNC\\C:\\logs\\k.log", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SameFinalPath(row.asked, row.final), row.same) << row.asked << " " << row.final;
    }
}

// A log that cannot be kept where asked, when nobody named it: no file
// beside it in a folder that is missing or reached through a link; the
// notice says so in the run's language.
TEST(RunLogTest, NoLogKeptNotices) {
    const struct {
        const char* path;
        WinError error;  // of openLogFile; 0: the fake's own answer
        int english;
        const char* notice;
    } rows[] = {
        {"", 0, -1, "The system names no temporary folder for the log. This run keeps no log."},
        {"", 0, 0, "系统未指定存放日志的临时文件夹。本次运行不保存日志。"},
        {"C:\\gone\\k.log", 0, 1, "The log \"C:\\gone\\k.log\" was not written: its folder does not exist. This run keeps no log."},
        {"C:\\logs\\k.log", winerr::FileNotFound, 0, "未写入日志“C:\\logs\\k.log”：它所在的文件夹不存在。本次运行不保存日志。"},
        {"C:\\logs\\k.log", winerr::StoppedOnSymlink, 1,
         "The log \"C:\\logs\\k.log\" was not written: a folder on its way is a link or a junction. This run keeps no log."},
        {"C:\\logs\\k.log", winerr::StoppedOnSymlink, 0, "未写入日志“C:\\logs\\k.log”：路径中的文件夹是链接或交接点。本次运行不保存日志。"},
    };
    for (const auto& row : rows) {
        FakePlatform m;
        m.makeDirectory("C:\\logs");
        if (row.error) m.failAlways("openLogFile", row.error);
        {
            std::optional<RunLog> log;
            if (row.english < 0)
                log.emplace(m, row.path);  // English unless told
            else
                log.emplace(m, row.path, row.english ? Language::English : Language::Chinese);
            EXPECT_EQ(DescribeLogNotice(log->trouble(), row.english ? Language::English : Language::Chinese), row.notice);
            EXPECT_FALSE(log->writable());
            EXPECT_FALSE(log->refused());
            EXPECT_EQ(m.callsOf("openLogFile").size(), *row.path ? 1u : 0u) << row.notice;
            EXPECT_TRUE(m.callsOf("randomNumber").empty());
            log->line("x");
            EXPECT_FALSE(log->written());
        }
        EXPECT_EQ(m.files().size(), 0u);
        EXPECT_TRUE(m.callsOf("writeLogFile").empty());
        EXPECT_TRUE(m.callsOf("closeLogFile").empty());  // nothing open, nothing closed
    }
}

// Names close to the refused ones are files like any other.
TEST(CommandLineParse, LogPathsTaken) {
    for (const char* path : {"C:\\logs\\k.LOG", "c:/logs/k.Txt", "C:\\logs\\com10.log", "C:\\logs\\run1.log", "C:\\logs\\lpt0.log",
                             "C:\\logs\\console.log", "C:\\logs\\coma.log", "C:\\logs\\lpt.log", "C:\\logs\\nul-list.txt", "\\\\srv\\logs\\k.log", "C:\\a.b\\k.log",
                             "\\\\..\\k.log"}) {
        const auto parse = ParseCommandLine({"/list", std::string("/log:") + path});
        ASSERT_TRUE(parse.command) << path << ": " << DescribeCliRefusal(parse.refusal, Language::English);
        EXPECT_EQ(parse.logPath, path);
    }
}

TEST(CommandLineParse, GoodLines) {
    struct Case {
        Args args;
        CliAction action;
        int modelRow;
        std::optional<Language> english;
        std::optional<std::string> port;
        bool defaultPrinter, quiet;
        std::string log;
        bool force = false;
        std::optional<DrawerPin> drawer = std::nullopt;
    };
    const Case cases[] = {
        {{"-INSTALL", "/Model=rk-730p(new)", "/lang:EN", "/port:usb001", "/default", "/log:C:\\My Logs\\k.log", "/QUIET"},
         CliAction::Install, 4, Language::English, "usb001", true, true, "C:\\My Logs\\k.log"},
        {{"/install", "/model:RK-520P", "/port:AUTO", "/lang=zh"}, CliAction::Install, 0, Language::Chinese, std::nullopt, false, false, ""},
        {{"/uninstall", "/model:mz730pn", "/quiet"}, CliAction::Uninstall, 6, std::nullopt, std::nullopt, false, true, ""},
        {{"/testprint", "-model:RK-730PN"}, CliAction::TestPrint, 3, std::nullopt, std::nullopt, false, false, ""},
        {{"/testprint", "-model:RK-730PN", "/FORCE"}, CliAction::TestPrint, 3, std::nullopt, std::nullopt, false, false, "", true},
        {{"/testprint", "-model:RK-730PN", "/Drawer"}, CliAction::TestPrint, 3, std::nullopt, std::nullopt, false, false, "", false, DrawerPin::Pin2},
        {{"/testprint", "-model:RK-730PN", "/drawer:2", "/wait:1"}, CliAction::TestPrint, 3, std::nullopt, std::nullopt, false, false, "", false, DrawerPin::Pin2},
        {{"/testprint", "-model:RK-730PN", "/drawer=5"}, CliAction::TestPrint, 3, std::nullopt, std::nullopt, false, false, "", false, DrawerPin::Pin5},
        {{"/install", "/model:RK-730PN", "/force"}, CliAction::Install, 3, std::nullopt, std::nullopt, false, false, "", true},
        {{"/list", "/log=\\\\srv\\logs\\x.log"}, CliAction::List, -1, std::nullopt, std::nullopt, false, false, "\\\\srv\\logs\\x.log"},
        {{"/?"}, CliAction::Usage, -1, std::nullopt, std::nullopt, false, false, ""},
    };
    for (const auto& c : cases) {
        const auto parse = ParseCommandLine(c.args);
        ASSERT_TRUE(parse.command) << c.args[0] << ": " << DescribeCliRefusal(parse.refusal, Language::English);
        EXPECT_EQ(parse.command->action, c.action) << c.args[0];
        EXPECT_EQ(parse.command->modelRow, c.modelRow) << c.args[0];
        EXPECT_EQ(parse.language, c.english) << c.args[0];
        EXPECT_EQ(parse.command->port, c.port) << c.args[0];
        EXPECT_EQ(parse.command->defaultPrinter, c.defaultPrinter) << c.args[0];
        EXPECT_EQ(parse.quiet, c.quiet) << c.args[0];
        EXPECT_EQ(parse.logPath, c.log) << c.args[0];
        EXPECT_EQ(parse.command->force, c.force) << c.args[0];
        EXPECT_EQ(parse.command->drawer, c.drawer) << c.args.back();
    }
}

// Each wrong line ends with 87, is logged with its own reason (the parser's,
// or the machine's for a port that is not there) and the usage is shown,
// and nothing on the machine changes.
TEST_F(CommandLineTest, WrongLinesEndWith87AndChangeNothing) {
    const char* kFullPath = "/log needs a full path (C:\\...\\file.log) without quotes";
    const char* kWholeSeconds = "/wait must be a whole number of seconds from 0 to 3600";
    const char* kBadName = "/log is not a valid file name (no * ? < > | : or control characters)";
    const struct {
        Args line;
        const char* reason;  // the parser's; empty: the parser takes the line
    } rows[] = {
        {{"/frobnicate"}, "no action: /install, /uninstall, /testprint, /list or /find"},
        {{"install", "/model:RK-730P"}, "unexpected argument \"install\""},
        {{"/install"}, "/model is missing"},
        {{"/testprint", "/quiet"}, "/model is missing"},
        {{"/install", "/model:"}, "/model needs a value"},
        {{"/install", "/model:RK-730P", "/port="}, "/port needs a value"},
        {{"/install", "/model:RK-999"}, "unknown model \"RK-999\""},
        {{"/install", "/model:RK-730P", "/lang:fr"}, "/lang must be zh or en"},
        {{"/install", "/model:RK-730P", "/colour"}, "unknown switch /colour"},
        {{"/install", "/model:RK-730P", "/model:RK-520P"}, "switch /model given twice"},
        {{"/install:now", "/model:RK-730P"}, "/install takes no value"},
        {{"/install", "/model:RK-730P", "/default:yes"}, "/default takes no value"},
        {{"/install", "/uninstall", "/model:RK-730P"}, "more than one action"},
        {{"/uninstall", "/model:RK-730P", "/default"}, "/default does not go with /uninstall"},
        {{"/testprint", "/model:RK-730P", "/port:USB001"}, "/port does not go with /testprint"},
        {{"/list", "/quiet:yes"}, "/quiet does not go with /list"},
        {{"/uninstall", "/model:RK-730P", "/force"}, "/force does not go with /uninstall"},
        {{"/testprint", "/model:RK-730P", "/force:yes"}, "/force takes no value"},
        {{"/install", "/model:RK-730P", "/port:LPT9:"}, ""},
        {{"/?", "/bogus"}, "/? takes no other switch"},
        {{"/?", "/quiet"}, "/? takes no other switch"},
        {{"/install", "/model:RK-730P", "/quiet", "/log:kelp.log"}, kFullPath},
        {{"/install", "/model:RK-730P", "/log:C:kelp.log"}, kFullPath},
        {{"/install", "/model:RK-730P", "/log:\\logs\\kelp.log"}, kFullPath},
        {{"/install", "/model:RK-730P", "/log:C:\\x\" /quiet"}, kFullPath},
        {{"/install", "/model:RK-730P", "/log:C:\\logs\\k.cmd"}, "/log must name a .log or .txt file"},
        {{"/install", "/model:RK-730P", "/log:C:\\logs\\k.log.cmd"}, "/log must name a .log or .txt file"},
        {{"/install", "/model:RK-730P", "/log:C:\\logs\\k.txt."}, "/log must name a .log or .txt file"},
        {{"/install", "/model:RK-730P", "/log:\\\\.\\pipe\\k.log"}, "/log names a device, not a file"},
        {{"/install", "/model:RK-730P", "/log://?/C:/logs/k.log"}, "/log names a device, not a file"},
        {{"/install", "/model:RK-730P", "/log:\\??\\C:\\k.log"}, "/log names a device, not a file"},
        {{"/install", "/model:RK-730P", "/log:\\\\."}, "/log names a device, not a file"},
        {{"/install", "/model:RK-730P", "/log:C:\\logs\\CONOUT$.log"}, "/log names a device, not a file"},
        {{"/install", "/model:RK-730P", "/log:C:\\logs\\NUL .txt"}, "/log names a device, not a file"},
        {{"/install", "/model:RK-730P", "/log:C:\\logs\\lpt9.log"}, "/log names a device, not a file"},
        {{"/install", "/model:RK-730P", "/log:C:\\logs\\com1.x.log"}, "/log names a device, not a file"},
        {{"/install", "/model:RK-730P", "/log:C:\\logs\\k.txt:s.log"}, kBadName},
        {{"/install", "/model:RK-730P", "/log:C:\\logs\\k*.log"}, kBadName},
        {{"/install", "/model:RK-730P", "/log:C:\\logs\\k\x1f.log"}, kBadName},
        {{"/install", "/model:RK-730P", "/wait:5"}, "/wait does not go with /install"},
        {{"/testprint", "/model:RK-730P", "/wait:3601"}, kWholeSeconds},
        {{"/testprint", "/model:RK-730P", "/wait:-1"}, kWholeSeconds},
        {{"/testprint", "/model:RK-730P", "/wait:1.5"}, kWholeSeconds},
        {{"/testprint", "/model:RK-730P", "/wait:00030s"}, kWholeSeconds},
        {{"/install", "/model:RK-730P", "/host:10.0.0.256"}, "/host: No number of an IPv4 address is over 255."},
        {{"/install", "/model:RK-730P", "/host:fe80::1"}, "/host: IPv6 addresses are not supported: use the printer's host name."},
        {{"/install", "/model:RK-730P", "/host:10.0.0.1O"},
         "/host: This looks like a mistyped IPv4 address: an address is four numbers with dots, and a host name's last part "
         "begins with a letter."},
        {{"/install", "/model:RK-730P", "/host:10.0.0.5", "/port:USB001"}, "/host and /port do not go together"},
        {{"/testprint", "/model:RK-730P", "/host:10.0.0.5"}, "/host does not go with /testprint"},
        {{"/find:10.0.0.9-10.0.0.1"}, "the first address of /find comes after the last"},
        {{"/find:10.0.0.0-10.0.4.0"}, "/find searches at most 1024 addresses"},
        {{"/find:0.255.255.255-1.0.0.5"}, "/find cannot search 0.x.x.x, multicast or reserved addresses (224.0.0.0 and above)"},
        {{"/find:223.255.255.250-224.0.0.1"}, "/find cannot search 0.x.x.x, multicast or reserved addresses (224.0.0.0 and above)"},
        {{"/find:10.0.0.1"}, "/find takes a range of IPv4 addresses: /find:<first address>-<last address>"},
        {{"/find:10.0.0.1-10.0.1"}, "/find takes a range of IPv4 addresses: /find:<first address>-<last address>"},
        {{"/find", "/quiet"}, "/quiet does not go with /find"},
        {{"/testprint", "/model:RK-730P", "/drawer:3"}, "/drawer must be /drawer, /drawer:2 or /drawer:5"},
        {{"/testprint", "/model:RK-730P", "/drawer="}, "/drawer must be /drawer, /drawer:2 or /drawer:5"},
        {{"/testprint", "/model:RK-730P", "/drawer:05"}, "/drawer must be /drawer, /drawer:2 or /drawer:5"},
        {{"/install", "/model:RK-730P", "/drawer"}, "/drawer does not go with /install"},
        {{"/testprint", "/model:RK-730P", "/drawer:5", "/wait:0"},
         "/drawer needs the test receipt followed out of the queue: it does not go with /wait:0"},
    };
    for (const auto& [line, reason] : rows) {
        const CliParse parse = ParseCommandLine(line);
        EXPECT_EQ(DescribeCliRefusal(parse.refusal, Language::English), reason) << line.back();
        EXPECT_EQ(!parse.command, *reason != '\0') << line.back();
        FakePlatform& machine = m;
        // A refused /log leaves the refusal to the default log.
        const std::string logFile = line.back().rfind("/log:", 0) == 0 ? "C:\\users\\kelp\\Temp\\Kelp.log" : kLog;
        machine.writeFile(logFile, "");
        machine.clearCalls();
        const std::string consoleBefore = machine.consoleText();
        Args args = line;
        if (line.back().rfind("/log:", 0) != 0) args.push_back(std::string("/log:") + kLog);
        EXPECT_EQ(run(args), 87) << line[0] << " " << (line.size() > 1 ? line.back() : "");
        EXPECT_FALSE(anyChange()) << line[0];
        // The usage answers every wrong line, on the console unless quiet.
        const bool quiet = std::any_of(line.begin(), line.end(), [](const std::string& a) { return a.rfind("/quiet", 0) == 0; });
        const std::string shown = machine.consoleText().substr(consoleBefore.size());
        EXPECT_EQ(shown.find("Usage:") != std::string::npos, !quiet) << line[0] << " " << line.back() << ": " << shown;
        EXPECT_TRUE(machine.printers().empty());
        EXPECT_TRUE(machine.windowlessBoxes().empty()) << line[0];
        const std::string written = machine.fileContents(logFile).value_or("");
        EXPECT_NE(written.find(std::string("Wrong command line: ") + (*reason ? reason : "No such port: LPT9:") + "\r\n"),
                  std::string::npos) << written;
        EXPECT_NE(written.find("outcome 87"), std::string::npos);
    }
    // On a Chinese system (simplified or traditional) the reason and the usage are Chinese.
    for (std::uint32_t codePage : {936u, 950u}) {
        m.setActiveCodePage(codePage);
        const std::size_t before = m.consoleText().size();
        EXPECT_EQ(run({"/install", "/model:RK-999"}), 87);
        EXPECT_EQ(m.consoleText().find("命令行错误：未知的型号“RK-999”\r\n用法：", before), before) << codePage;
        EXPECT_EQ(run({"/install", "/model:RK-730P", "/port:LPT9:"}), 87);
        EXPECT_NE(m.consoleText().find("命令行错误：没有这个端口：LPT9:\r\n", before), std::string::npos) << codePage;
        for (const auto& [path, said] : {std::pair<const char*, const char*>{"/log:C:\\logs\\k.bat", "/log 必须指定 .log 或 .txt 文件"},
                                         {"/log:C:\\logs\\aux.log", "/log 指定的是设备，不是文件"},
                                         {"/log:C:\\logs\\k?.log", "/log 不是有效的文件名（不能含 * ? < > | : 或控制字符）"}}) {
            const std::size_t start = m.consoleText().size();
            EXPECT_EQ(run({"/install", "/model:RK-730P", path}), 87);
            EXPECT_EQ(m.consoleText().find(std::string("命令行错误：") + said + "\r\n用法：", start), start) << path;
        }
        EXPECT_EQ(run({"/find:10.0.0.9-10.0.0.1"}), 87);
        EXPECT_NE(m.consoleText().find("命令行错误：/find 的起始地址在结束地址之后\r\n", before), std::string::npos) << codePage;
    }
    // A refused /log is not written; the refusal went to the default log.
    EXPECT_FALSE(m.fileExists("C:\\windows\\system32\\kelp.log"));
}

// A /log whose folder is missing, or reached through a link, ends 87 before
// anything is made or taken, said on the console even under /quiet (there
// is no log to say it in).
TEST_F(CommandLineTest, LogFolderMissingOrLinkedEnds87) {
    m.makeDirectory("C:\\linked");
    m.failWhen("openLogFile", [](const Args& a) { return a[0].rfind("C:\\linked\\", 0) == 0; }, winerr::StoppedOnSymlink);
    const struct {
        const char* path;
        std::uint32_t codePage;
        bool quiet;
        const char* said;
    } rows[] = {
        {"C:\\gone\\k.log", 1252, true, "Wrong command line: /log \"C:\\gone\\k.log\": its folder does not exist\r\n"},
        {"C:\\gone\\k.log", 936, false, "命令行错误：/log“C:\\gone\\k.log”：它所在的文件夹不存在\r\n用法：\r\n"},
        {"C:\\linked\\k.txt", 1252, false,
         "Wrong command line: /log \"C:\\linked\\k.txt\": a folder on its way is a link or a junction\r\nUsage:\r\n"},
        {"C:\\linked\\k.txt", 950, true, "命令行错误：/log“C:\\linked\\k.txt”：路径中的文件夹是链接或交接点\r\n"},
        // A DEL in the path reaches the console escaped.
        {"C:\\gone\x7f\\k.log", 1252, true,
         "Wrong command line: /log \"C:\\gone\\x7F\\k.log\": its folder does not exist\r\n"},
    };
    for (const auto& row : rows) {
        m.setActiveCodePage(row.codePage);
        const auto files = m.files();
        const std::size_t before = m.consoleText().size();
        m.clearCalls();
        Args args = {"/install", "/model:RK-730P", std::string("/log:") + row.path};
        if (row.quiet) args.push_back("/quiet");
        EXPECT_EQ(run(args), 87) << row.path;
        const std::string shown = m.consoleText().substr(before);
        if (row.quiet)
            EXPECT_EQ(shown, row.said);
        else
            EXPECT_EQ(shown.rfind(row.said, 0), 0u) << shown;
        std::vector<std::string> ops = {"activeCodePage", "openLogFile", "consoleWrite"};
        if (!row.quiet) ops.push_back("consoleWrite");  // the usage
        EXPECT_EQ(m.ops(), ops);
        EXPECT_EQ(m.callsOf("openLogFile").size(), 1u);
        EXPECT_FALSE(anyChange());
        EXPECT_EQ(m.files(), files);
    }
    // Each argument is logged quoted, a quote in it as \x22.
    EXPECT_EQ(run({"/install", "/model:RK\"730P", "/quiet", std::string("/log:") + kLog}), 87);
    expectLogged({" Kelp 4.0 command line: \"/install\" \"/model:RK\\x22730P\" \"/quiet\" \"/log:C:\\logs\\kelp.log\" (user kelp)\r\n"});
}

TEST_F(CommandLineTest, InstallTwiceFromKelpsFolderOnUsbPort) {
    const Args args = {"/install", "/model:rk-730p", "/lang:en", "/default", "/quiet", std::string("/log:") + kLog};
    ASSERT_EQ(run(args), 0) << log();
    const auto printer = m.findPrinter("RK-730P");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->portName, "USB001");
    EXPECT_EQ(m.regString(RegRoot::CurrentUser, kWindowsKey, "Device"), "RK-730P,winspool,USB001");
    EXPECT_EQ(m.fileContents(std::string(kDrivers) + "\\RK730P.GPD"),
              "Kelp sample package file: Printer Driver\\x86\\RK730P.GPD\n");
    EXPECT_EQ(m.consoleText(), "");  // quiet
    EXPECT_TRUE(m.heldMutexes().empty());
    expectLogged({"step take mutex \"Kelp\\Installation\" (private namespace): 0",
                  "step GetPrinterDriverDirectory \"Windows NT x86\" = \"C:\\windows\\system32\\spool\\drivers\\w32x86\": 0",
                  "step CopyFile \"C:\\Pkg\\Printer Driver\\x86\\RK730P.DLL\" to "
                  "\"C:\\windows\\system32\\spool\\drivers\\w32x86\\RK730P.DLL\": 0",
                  "step AddPrinterDriver \"RK-730P\" \"Windows NT x86\"",
                  "step AddPrinter \"RK-730P\" on port \"USB001\" driver \"RK-730P\": 0",
                  "step RegSetValueEx \"HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\" "
                  "\"Device\" = \"RK-730P,winspool,USB001\": 0",
                  "step RegSetValueEx \"HKCC\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\RK-730P\" "
                  "\"PrinterOnLine\" = 0: 0",
                  "step ClosePrinter \"RK-730P\": 0", "action install model RK-730P lang en port auto default",
                  "command line: \"/install\" \"/model:rk-730p\" \"/lang:en\" \"/default\" \"/quiet\" "
                  "\"/log:C:\\logs\\kelp.log\" (user kelp)\r\n",
                  "USB port USB001: not known",
                  "The printer RK-730P is installed on USB001 (no connected USB printer was found: the first USB port).",
                  "2026-12-07 10:15:20 outcome 0"});

    // Again, naming another port: the driver is updated, the printer moves
    // there and the default printer follows it; the console says so and, as
    // nothing failed, names no log.
    EXPECT_EQ(run({"/install", "/model:RK-730P", "/port:com1:"}), 0);
    EXPECT_EQ(m.findPrinter("RK-730P").value_or(PrinterInfo2{}).portName, "COM1:");
    EXPECT_EQ(m.printers().size(), 1u);
    EXPECT_EQ(m.regString(RegRoot::CurrentUser, kWindowsKey, "Device"), "RK-730P,winspool,COM1:");
    expectLogged({"USB port USB001: not known\r\n2026-12-07 10:15:20 port named on the command line: COM1:\r\n",
                  "moved from USB001 to COM1:", "installed on COM1: (the port named on the command line)."},
                 "C:\\users\\kelp\\Temp\\Kelp.log");
    const std::string named = m.fileContents("C:\\users\\kelp\\Temp\\Kelp.log").value_or("");
    EXPECT_EQ(named.find("USB port COM"), std::string::npos);  // only the USB ports
    const std::string shown = m.consoleText();
    const std::string end = "The printer RK-730P is installed on COM1: (the port named on the command line).\r\noutcome 0\r\n";
    EXPECT_EQ(shown.substr(shown.size() - end.size()), end);

    // Again, automatically, where no port could be chosen now: not an error.
    // (Without a COM, LPT or USB port the wizard's USB row stays chosen and
    // finds none; the network port is no automatic choice.)
    m.setPorts({{"FILE:", "Local Port"}, {"IP_10.0.0.9", "Standard TCP/IP Port"}});
    EXPECT_EQ(run({"/install", "/model:RK-730P", "/quiet"}), 0);
    EXPECT_EQ(m.findPrinter("RK-730P").value_or(PrinterInfo2{}).portName, "COM1:");
    expectLogged({"the existing printer's port: COM1:\r\n", "installed on COM1: (the printer was there already)."},
                 "C:\\users\\kelp\\Temp\\Kelp.log");
    EXPECT_EQ(m.fileContents("C:\\users\\kelp\\Temp\\Kelp.log").value_or("").find("USB port FILE:"), std::string::npos);
    // A new printer on that machine has no port to take.
    EXPECT_EQ(run({"/install", "/model:MZ730P", "/lang:en", std::string("/log:") + kLog}), 1603);
    EXPECT_NE(log().find("There is no port to choose automatically."), std::string::npos);
    EXPECT_FALSE(m.findDriver("Windows NT x86", "MZ730P"));

    // A printer of the model's name on another driver is not taken for it.
    m.seedPrinter({"RK-520P", "FILE:", "Generic / Text Only", "WinPrint", "RAW"});
    EXPECT_EQ(run({"/install", "/model:RK-520P", "/port:FILE:", "/lang:en"}), 1603);
    EXPECT_NE(m.consoleText().find("a printer of this name exists and uses the driver \"Generic / Text Only\"."),
              std::string::npos);
}

// Only a default asked for turns Windows' management of the default printer
// off and tells running programs; neither failing fails the installation:
// the log says so.
TEST_F(CommandLineTest, ADefaultThatStays) {
    const std::string key = "\"HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\"";
    struct Row {
        bool asDefault;
        const char* failing;  // an operation that fails with 5, the first Device write aside
        std::optional<std::uint32_t> value;
        std::size_t broadcasts;
        std::string logged;
    };
    const Row rows[] = {
        {false, nullptr, std::nullopt, 0, ""},
        {true, nullptr, 1, 1,
         "step RegSetValueEx " + key + " \"LegacyDefaultPrinterMode\" = 1: 0\r\n"
         "2026-12-07 10:15:20 step SendMessageTimeout WM_SETTINGCHANGE \"windows\" to all windows (at most 1000 ms each): 0\r\n"},
        {true, "regSetDword", std::nullopt, 1,
         "step RegSetValueEx " + key + " \"LegacyDefaultPrinterMode\" = 1: 5 Access is denied\r\n"
         "2026-12-07 10:15:20 Windows may still move the default printer (\"Let Windows manage my default printer\"): "
         "LegacyDefaultPrinterMode not written, error 5\r\n"},
        {true, "broadcastSettingChange", 1, 1,
         "step SendMessageTimeout WM_SETTINGCHANGE \"windows\" to all windows (at most 1000 ms each): 1460"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged);
        FakePlatform fresh;
        fresh.seedKey(RegRoot::CurrentUser, kWindowsKey);
        fresh.createSamplePackage("C:\\Pkg");
        fresh.setModuleDirectory("C:\\Pkg");
        fresh.makeDirectory("C:\\logs");
        fresh.setPorts({{"USB001", ""}});
        if (row.failing) fresh.failAlways(row.failing, std::string(row.failing) == "regSetDword" ? 5 : winerr::Timeout);
        Args args = {"/install", "/model:RK-730P", "/lang:en", std::string("/log:") + kLog};
        if (row.asDefault) args.push_back("/default");
        EXPECT_EQ(RunCommandLine(fresh, net, serial, args), 0);
        EXPECT_EQ(fresh.regDword(RegRoot::CurrentUser, kWindowsKey, "LegacyDefaultPrinterMode"), row.value);
        EXPECT_EQ(fresh.callsOf("broadcastSettingChange").size(), row.broadcasts);
        EXPECT_EQ(fresh.regString(RegRoot::CurrentUser, kWindowsKey, "Device").has_value(), row.asDefault);
        EXPECT_TRUE(fresh.openKeys().empty());
        const std::string text = fresh.fileContents(kLog).value_or("");
        EXPECT_NE(text.find(row.logged), std::string::npos) << text;
        EXPECT_EQ(text.find("LegacyDefaultPrinterMode") != std::string::npos, row.asDefault) << text;
        EXPECT_NE(text.find("The printer RK-730P is installed on USB001"), std::string::npos) << text;
    }
}

TEST_F(CommandLineTest, FailingStepEnds1603AndIsNamedInTheLog) {
    m.failWhen("addPrinter", [](const Args&) { return true; }, 5);
    EXPECT_EQ(run({"/install", "/model:RK-520P", "/lang:en", std::string("/log:") + kLog}), 1603);
    expectLogged({"step AddPrinter \"RK-520P\" on port \"USB001\" driver \"RK-520P\": 5 Access is denied",
                  "10:15:20 Driver installation failed:\r\n2026-12-07 10:15:20 Could not create the printer RK-520P",
                  "install RK-520P, English edition, port USB001, not the default printer, Windows NT x86"});
    EXPECT_NE(m.consoleText().find(std::string("Log: ") + kLog), std::string::npos);
    EXPECT_TRUE(m.heldMutexes().empty());
    // A log that could not be written is not named; that none is kept is
    // said first, then the failure.
    m.failAlways("openLogFile", 5);
    const std::size_t before = m.consoleText().size();
    EXPECT_EQ(run({"/install", "/model:RK-520P", "/lang:en"}), 1603);
    const std::string shown = m.consoleText().substr(before);
    EXPECT_EQ(shown.rfind("The log \"C:\\users\\kelp\\Temp\\Kelp.log\" was not written: it cannot be opened (error 5). "
                          "This run keeps no log.\r\naction install", 0), 0u) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 23), "Failed.\r\noutcome 1603\r\n");
    EXPECT_EQ(shown.find("Log:"), std::string::npos);
    EXPECT_EQ(run({"/install", "/model:RK-520P", "/lang:zh"}), 1603);
    EXPECT_EQ(m.consoleText().substr(m.consoleText().size() - 25), "失败。\r\noutcome 1603\r\n");
    m.clearFailures();
    m.failAlways("addPrinter", 0xFFFFFFFFu);
    EXPECT_EQ(run({"/install", "/model:RK-730P", "/lang:zh", std::string("/log:") + kLog}), 1603);
    EXPECT_NE(log().find("driver \"RK-730P\": 无错误代码\r\n"), std::string::npos) << log();
    EXPECT_NE(log().find("无法创建打印机：RK-730P（无错误代码）\r\n"), std::string::npos) << log();
    EXPECT_EQ(run({"/install", "/model:RK-730P", "/lang:en", std::string("/log:") + kLog}), 1603);
    EXPECT_NE(log().find("driver \"RK-730P\": no error code\r\n"), std::string::npos) << log();
    EXPECT_NE(log().find("Could not create the printer RK-730P (no error code)\r\n"), std::string::npos) << log();
    // A setting that fails after the printer was made fails the run too.
    m.clearFailures();
    m.failWhen("regSetString", [](const Args& a) { return a[1] == "Device"; }, 5);
    EXPECT_EQ(run({"/install", "/model:RK-520P", "/default", "/quiet"}), 1603);
    EXPECT_TRUE(m.findPrinter("RK-520P"));
}

// Checked before anything is looked up, taken or changed: Windows on ARM
// (whatever the rights), then administrator rights; the other actions work
// without rights and on ARM. The test receipt's lock is the global mutex
// then (a standard user cannot make the private namespace).
TEST_F(CommandLineTest, RightsAndWindowsOnArmCheckedFirst) {
    m.setPorts({{"C:\\receipt.prn", "Local Port"}});
    ASSERT_EQ(run({"/install", "/model:RK-520P", "/port:C:\\receipt.prn", "/quiet"}), 0);
    // The whole texts: WordingTest.
    const std::string rights = " needs administrator rights, and Kelp is not running as an administrator: nothing was changed.\r\n";
    const std::string rightsZh = "需要管理员权限，而 Kelp 现在没有以管理员身份运行，未做任何更改。\r\n";
    const std::string arm = "This computer runs Windows on ARM (ARM64), which takes only ARM64 printer drivers";
    const std::string armZh = "这台电脑是 ARM 版 Windows（ARM64）";
    const std::string noRightsLog = "nothing installed: installing needs administrator rights, which this process does not have";
    const std::string armLog = "nothing installed: this is Windows on ARM (ARM64)";
    struct Row {
        bool elevated;
        std::optional<std::uint16_t> machine;
        Args args;
        int code;
        std::string said;    // on the console; empty: nothing refused
        std::string logged;  // in the log
    };
    const Row rows[] = {
        {false, std::nullopt, {"/install", "/model:RK-730P"}, 1603, "Installing the printer" + rights, noRightsLog},
        {false, 0x8664, {"/install", "/model:RK-730P", "/host:10.0.0.5", "zh"}, 1603, "安装打印机" + rightsZh, noRightsLog},
        {false, 0x14C, {"/uninstall", "/model:RK-520P"}, 1603, "Removing the printer" + rights,
         "nothing removed: removing needs administrator rights"},
        {false, std::nullopt, {"/uninstall", "/model:RK-520P", "zh"}, 1603, "删除打印机" + rightsZh, "nothing removed"},
        {true, 0xAA64, {"/install", "/model:RK-730P"}, 1603, arm, armLog},
        {false, 0xAA64, {"/install", "/model:RK-730P", "/port:LPT1:", "zh"}, 1603, armZh, armLog},
        // What works without rights, and on ARM.
        {false, std::nullopt, {"/list"}, 0, "", "outcome 0"},
        {false, 0xAA64, {"/testprint", "/model:RK-520P"}, 0, "", "take mutex \"Global\\Kelp.Installation\": 0"},
        {true, 0xAA64, {"/testprint", "/model:RK-520P"}, 0, "", "(private namespace): 0"},
        {true, 0xAA64, {"/uninstall", "/model:MZ730P"}, 0, "MZ730P is not installed: nothing to remove.\r\n", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.args));
        m.setElevated(row.elevated);
        m.setNativeMachine(row.machine);
        m.clearCalls();
        const std::size_t start = m.consoleText().size();
        Args args = row.args;
        const bool chinese = args.back() == "zh";  // the system's language
        if (chinese) args.pop_back();
        m.setActiveCodePage(chinese ? 936 : 1252);
        args.push_back(std::string("/log:") + kLog);
        EXPECT_EQ(run(args), row.code);
        const std::string console = m.consoleText().substr(start);
        if (!row.said.empty()) EXPECT_NE(console.find(row.said), std::string::npos) << console;
        if (!row.logged.empty()) expectLogged({row.logged});
        if (row.code != 0) {
            EXPECT_FALSE(anyChange()) << "nothing changed, no lock taken";
            EXPECT_TRUE(m.callsOf("enumPorts").empty());
        }
    }
    EXPECT_TRUE(m.findPrinter("RK-520P"));
    EXPECT_EQ(m.rawJobs().size(), 2u);
}

// The lock is a mutex in a namespace only administrators can create: one of
// the old global name, which any account can create first, changes nothing.
// Where the namespace cannot be made (Wine), the global mutex is the lock.
TEST_F(CommandLineTest, AnotherRunHoldingTheLockEnds1618) {
    m.holdMutexElsewhere("Global\\Kelp.Installation");
    EXPECT_EQ(run({"/uninstall", "/model:RK-730P", "/quiet"}), 0);
    struct Case {
        const char* held;
        WinError namespaceError;
        long attempts;  // on the lock
    };
    for (const Case c : {Case{"private:Kelp\\Installation", 0, 1}, Case{"Global\\Kelp.Installation", 120, 2}}) {
        m.holdMutexElsewhere(c.held);
        if (c.namespaceError) m.failAlways("acquirePrivateMutex", c.namespaceError);
        for (const char* action : {"/install", "/uninstall", "/testprint"}) {
            m.clearCalls();
            EXPECT_EQ(run({action, "/model:RK-730P", "/quiet", std::string("/log:") + kLog}), 1618) << action;
            const auto ops = m.ops();
            EXPECT_EQ(std::count_if(ops.begin(), ops.end(), [](const std::string& op) { return kChangingOps.count(op); }),
                      c.attempts) << action << " " << c.held;
        }
    }
    EXPECT_NE(log().find("no private namespace for the lock (120): the mutex Global\\Kelp.Installation instead"),
              std::string::npos) << log();
    EXPECT_TRUE(m.printers().empty());
    // Where the namespace opens, its mutex is the lock and the global one is
    // never tried: one this account may not open is another run's, any other
    // failure a failed step.
    m.clearFailures();
    for (const auto& [error, code] : {std::pair<WinError, int>{5, 1618}, {1618, 1618}, {6, 1603}}) {
        m.setPrivateMutexError(error);
        m.clearCalls();
        const std::size_t before = m.consoleText().size();
        EXPECT_EQ(run({"/install", "/model:RK-520P", "/lang:en"}), code) << error;
        EXPECT_TRUE(m.callsOf("acquireNamedMutex").empty()) << error;
        EXPECT_TRUE(m.callsOf("copyFile").empty()) << error;
        EXPECT_TRUE(m.callsOf("releaseNamedMutex").empty()) << error;
        const std::string said = code == 1618 ? "Another Kelp installation, removal or test receipt is running; nothing was changed. Please try again later.\r\n"
                                              : "Failed; the log says which step: C:\\users\\kelp\\Temp\\Kelp.log\r\n";
        EXPECT_NE(m.consoleText().find(said, before), std::string::npos) << m.consoleText().substr(before);
    }
    m.setPrivateMutexError(winerr::Success);
    // A mutex that cannot be had for another reason is a failed step.
    m.failAlways("acquirePrivateMutex", 120);
    m.failNext("acquireNamedMutex", 5);
    const std::size_t logged = log().size();
    EXPECT_EQ(run({"/install", "/model:RK-520P", "/quiet", std::string("/log:") + kLog}), 1603);
    EXPECT_TRUE(m.printers().empty());
    EXPECT_TRUE(m.callsOf("copyFile").empty());
    EXPECT_EQ(log().find("holds the lock", logged), std::string::npos) << log().substr(logged);
}

// A log file someone may have put there is not written: the lines go to a
// new file beside it, and the console says which.
TEST_F(CommandLineTest, UntrustedLogIsLeftAndANewOneWritten) {
    const std::string beside = "C:\\logs\\Kelp-20261207-101520-4242-00000000000000a1.log";
    const std::string next = "C:\\logs\\Kelp-20261207-101520-4242-fedcba9876543210.log";
    struct Case {
        std::uint32_t links;
        bool reparsePoint, trustedOwner, elevated, openElsewhere, besideTaken;
        const char* why;  // nothing: the log is written where asked
        WinError openFails = 0;
    };
    const Case cases[] = {
        {1, false, true, true, false, false, nullptr},
        {2, false, true, true, false, false, "it has 2 names (hard links)"},
        {1, true, true, true, false, false, "it is a link"},
        {1, false, false, true, false, false, "another account owns it"},
        {1, false, false, false, false, false, nullptr},
        {1, false, true, true, true, false, "another program has it open"},
        {3, false, true, true, false, true, "it has 3 names (hard links)"},
        {1, false, true, true, false, false, "it cannot be opened (error 5)", winerr::AccessDenied},
    };
    for (const Case& c : cases) {
        m.writeFile(kLog, "planted\r\n");
        m.setFileFacts(kLog, c.links, c.reparsePoint, c.trustedOwner);
        m.deleteFile(beside);
        m.deleteFile(next);
        if (c.besideTaken) m.writeFile(beside, "taken");
        if (c.openFails) m.failNext("openLogFile", c.openFails);
        m.setElevated(c.elevated);
        m.setRandomNumbers({0xA1, 0xFEDCBA9876543210u});
        const auto other = c.openElsewhere ? m.openLogFile(kLog, false).value.handle : 0;
        const std::string before = m.consoleText();
        // Without administrator rights the installation is refused; the log is kept all the same.
        EXPECT_EQ(run({"/install", "/model:RK-730P", std::string("/log:") + kLog}), c.elevated ? 0 : 1603);
        if (other) m.closeLogFile(other);
        const std::string console = m.consoleText().substr(before.size());
        EXPECT_EQ(m.openLogFileCount(), 0u);
        if (!c.why) {
            EXPECT_NE(log().find("planted\r\n2026-12-07 10:15:20 Kelp 4.0 command line"), std::string::npos) << log();
            EXPECT_EQ(console.find("was not written"), std::string::npos) << console;
            continue;
        }
        // A name taken beside it gives way to the next one.
        const std::string& used = c.besideTaken ? next : beside;
        const std::string notice =
            std::string("The log \"C:\\logs\\kelp.log\" was not written: ") + c.why + ". This run's log: " + used;
        EXPECT_EQ(log(), "planted\r\n") << c.why;
        EXPECT_EQ(console.rfind(notice + "\r\n", 0), 0u) << console;
        const std::string written = m.fileContents(used).value_or("");
        EXPECT_EQ(written.rfind("2026-12-07 10:15:20 " + notice + "\r\n", 0), 0u) << written;
        EXPECT_NE(written.find("outcome 0"), std::string::npos) << written;
        if (c.besideTaken) EXPECT_EQ(m.fileContents(beside), "taken");
    }
    // A failure names the log the lines went to.
    m.writeFile(kLog, "planted\r\n");
    m.setFileFacts(kLog, 1, true, true);
    m.setRandomNumbers({0xB2});
    m.failNext("addPrinterDriver", 5);
    const std::size_t start = m.consoleText().size();
    EXPECT_EQ(run({"/install", "/model:RK-520P", "/lang:en", std::string("/log:") + kLog}), 1603);
    const std::string failedLog = "C:\\logs\\Kelp-20261207-101520-4242-00000000000000b2.log";
    const std::string end = "Failed; the log says which step: " + failedLog + "\r\noutcome 1603\r\nLog: " + failedLog + "\r\n";
    const std::string shown = m.consoleText().substr(start);
    ASSERT_GE(shown.size(), end.size());
    EXPECT_EQ(shown.substr(shown.size() - end.size()), end);
    EXPECT_EQ(log(), "planted\r\n");
    // Quiet, a log beside it is not worth a word on the console.
    m.writeFile(kLog, "planted\r\n");
    m.setRandomNumbers({0xC3});
    const std::size_t quietStart = m.consoleText().size();
    EXPECT_EQ(run({"/uninstall", "/model:RK-520P", "/quiet", std::string("/log:") + kLog}), 0);
    EXPECT_EQ(m.consoleText().size(), quietStart);
    EXPECT_TRUE(m.fileExists("C:\\logs\\Kelp-20261207-101520-4242-00000000000000c3.log"));
    // Ten names in a row taken: no log, said even under /quiet, and the run
    // goes on.
    m.writeFile(kLog, "planted\r\n");
    m.setFileFacts(kLog, 2, false, true);
    m.setRandomNumbers({0xA1});
    m.writeFile(beside, "taken");
    m.clearCalls();
    const std::size_t before = m.consoleText().size();
    EXPECT_EQ(run({"/uninstall", "/model:RK-730P", "/quiet", std::string("/log:") + kLog}), 0);
    EXPECT_EQ(m.consoleText().substr(before),
              "The log \"C:\\logs\\kelp.log\" was not written: it has 2 names (hard links). This run keeps no log.\r\n");
    EXPECT_EQ(m.callsOf("randomNumber").size(), 10u);
    EXPECT_EQ(m.callsOf("openLogFile").size(), 11u);
    EXPECT_TRUE(m.callsOf("writeLogFile").empty());
    EXPECT_FALSE(m.findPrinter("RK-730P"));
    // Each reason in Chinese.
    m.setActiveCodePage(936);
    m.setElevated(true);
    for (const auto& [links, link, trusted, why] :
         {std::tuple<std::uint32_t, bool, bool, const char*>{1, true, true, "它是一个链接"},
          {2, false, true, "它有 2 个名称（硬链接）"}, {1, false, false, "它属于其他帐户"}}) {
        m.writeFile(kLog, "planted\r\n");
        m.setFileFacts(kLog, links, link, trusted);
        m.deleteFile(beside);
        m.setRandomNumbers({0xA1});
        const std::size_t zh = m.consoleText().size();
        EXPECT_EQ(run({"/uninstall", "/model:RK-730P", std::string("/log:") + kLog}), 0);
        EXPECT_EQ(m.consoleText().find(std::string("未写入日志“C:\\logs\\kelp.log”：") + why + "。本次运行的日志：" + beside + "\r\n", zh), zh)
            << m.consoleText().substr(zh);
    }
}

// Only %1 ... %9 with a value are replaced: digits, a lone '%' and a mark
// without a value stay.
TEST(TextFill, OnlyMarksWithAValue) {
    EXPECT_EQ(Fill("%2 (%1)", {"COM1:", "RK-730P"}), "RK-730P (COM1:)");
    EXPECT_EQ(Fill("COM1 x2 %1%1", {"a", "b"}), "COM1 x2 aa");
    EXPECT_EQ(Fill("100% %3 %0 %", {"a"}), "100% %3 %0 %");
}

// Nothing in a logged text starts a line of its own or breaks the UTF-8 of
// the file: control characters (C0 but the tab, DEL, C1) as \xNN, bytes
// that are not UTF-8 as U+FFFD, each; the console gets the same.
TEST_F(CommandLineTest, LoggedTextsEscaped) {
    const std::string r = "\xEF\xBF\xBD";  // U+FFFD
    const std::pair<std::string, std::string> rows[] = {
        {"a\r\nb", "a\\x0D\\x0Ab"},
        {std::string("\x00\x01\x1f", 3), "\\x00\\x01\\x1F"},
        {" ~\x7f\t", " ~\\x7F\t"},
        {"\xc2\x80\xc2\x9f\xc2\xa0\xc2\x7f", "\\x80\\x9F\xc2\xa0" + r + "\\x7F"},
        {"\xe4\xb8\xad\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", "\xe4\xb8\xad\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf"},
        {"\xff\xc0\xaf", r + r + r},
        {"\xed\xa0\x80\xed\x9f\xbf", r + r + r + "\xed\x9f\xbf"},
        {"\xe0\x9f\xbf\xf4\x90\x80\x80", r + r + r + r + r + r + r},
        {"x\xe4\xb8", "x" + r + r},
        {"\xf0\x90\x80\x80\xf8\x88\x80\x80\x80", "\xf0\x90\x80\x80" + r + r + r + r + r},
    };
    {
    RunLog runLog(m, kLog);
    std::string echoed;
    runLog.setEcho([&echoed](const std::string& text) { echoed += text; });
    std::string expected;
    for (const auto& [text, written] : rows) {
        runLog.line(text);
        expected += "2026-12-07 10:15:20 " + written + "\r\n";
    }
    EXPECT_EQ(log(), expected);
    std::string lines;
    for (const auto& [text, written] : rows) lines += written + "\r\n";
    EXPECT_EQ(echoed, lines);
    // A closed key's handle is no longer named by the key's path.
    LoggingPlatform logging(m, runLog, Language::English);
    const auto key = logging.regOpenKey(RegRoot::CurrentUser, "Software", RegAccess::QueryValue);
    ASSERT_TRUE(key.ok());
    logging.regCloseKey(key.value);
    logging.regCloseKey(key.value);
    EXPECT_EQ(log().substr(expected.size()), "2026-12-07 10:15:20 step RegCloseKey \"key #" + std::to_string(key.value) + "\": 6\r\n");
    }

    // A device's id and instance id, as a printer may answer them.
    m.writeFile(kLog, "");
    m.setUsbPrinterInterfaces({{"USB", 1, "USB\\VID_1\r\n2026-12-07 10:15:20 outcome 0", true, "MFG:A;MDL:B\x1b[2J;"}});
    EXPECT_EQ(run({"/install", "/model:RK-730P", "/quiet", std::string("/log:") + kLog}), 0);
    expectLogged({" USB port USB001: connected, USB\\VID_1\\x0D\\x0A2026-12-07 10:15:20 outcome 0, model B\\x1B[2J\r\n",
                  " the printer attached to USB001 names itself \"B\\x1B[2J\", maker \"A\" (none of the models)\r\n"});
    EXPECT_EQ(log().find("\r\n2026-12-07 10:15:20 outcome 0,"), std::string::npos);

    // Another of the models on the port named: installed there as asked, and
    // said; on the automatic choice it is passed over, and not the printer
    // installed for.
    m.setUsbPrinterInterfaces({{"USB", 1, "USB\\A", true, "MFG:Kelp;MDL:RK 730 PN;"}});
    m.setPorts({{"USB001", ""}, {"USB002", ""}});
    const std::size_t before = m.consoleText().size();
    EXPECT_EQ(run({"/install", "/model:RK-730P", "/port:USB001", "/lang:en"}), 0);
    EXPECT_EQ(m.findPrinter("RK-730P").value_or(PrinterInfo2{}).portName, "USB001");
    EXPECT_NE(m.consoleText().find("The printer names itself \"RK 730 PN\". That is not RK-730P: installed as RK-730P, as asked.\r\n",
                                   before),
              std::string::npos);
    const std::size_t automatic = m.consoleText().size();
    EXPECT_EQ(run({"/install", "/model:RK-520P", "/port:auto", "/lang:en"}), 0);
    EXPECT_EQ(m.findPrinter("RK-520P").value_or(PrinterInfo2{}).portName, "USB002");
    EXPECT_EQ(m.consoleText().find("names itself", automatic), std::string::npos);
}

// Removal keeps what other drivers use and what other models installed.
TEST_F(CommandLineTest, UninstallRemovesOnlyThisModel) {
    EXPECT_EQ(run({"/uninstall", "/model:RK-730P", std::string("/log:") + kLog}), 0);
    expectLogged({"action uninstall model RK-730P lang en\r\n", "RK-730P is not installed: nothing to remove."});

    // A connection to another machine's printer and a local one come first.
    m.seedPrinter({"\\\\server\\Kitchen", "Ne00:", "Kitchen", "WinPrint", "RAW"});
    m.seedPrinter({"Office", "LPT2:", "Office", "WinPrint", "RAW"});
    ASSERT_EQ(run({"/install", "/model:RK-730P", "/lang:zh", "/default"}), 0);
    EXPECT_NE(m.consoleText().find("已安装打印机 RK-730P，端口 USB001（"), std::string::npos);
    ASSERT_EQ(run({"/install", "/model:RK-730PN", "/lang:zh", "/port:lpt1:"}), 0);
    EXPECT_EQ(m.findPrinter("RK-730PN").value_or(PrinterInfo2{}).portName, "LPT1:");  // the spooler's spelling
    ASSERT_EQ(run({"/uninstall", "/model:RK-730P", std::string("/log:") + kLog}), 0) << log();
    expectLogged({"The printer RK-730P and its driver were removed.\r\n",
                  "step DeletePrinterDriverEx (unused files too) \"RK-730P\" \"Windows NT x86\": 87",
                  "step DeletePrinterDriver \"RK-730P\" \"Windows NT x86\": 0"});
    EXPECT_FALSE(m.findPrinter("RK-730P"));
    EXPECT_TRUE(m.findPrinter("RK-730PN"));
    EXPECT_FALSE(m.findDriver("Windows NT x86", "RK-730P"));
    EXPECT_TRUE(m.findDriver("Windows NT x86", "RK-730PN"));
    EXPECT_FALSE(m.fileExists(std::string(kDrivers) + "\\RK730PCN.GPD"));
    for (const char* shared : {"RK730PCN.DLL", "uniDRV.DLL", "TTFSUB.GPD", "RK730PNCN.GPD"})
        EXPECT_TRUE(m.fileExists(std::string(kDrivers) + "\\" + shared)) << shared;
    EXPECT_EQ(m.regString(RegRoot::CurrentUser, kWindowsKey, "Device"), "Office,winspool,LPT2:");
    // Wine refuses the unused-files option; the plain removal follows.
    const auto removals = m.callsOf("deletePrinterDriver");
    ASSERT_EQ(removals.size(), 2u);
    EXPECT_EQ(removals[0].args, Args({"Windows NT x86", "RK-730P", "true"}));
    EXPECT_EQ(removals[1].args, Args({"Windows NT x86", "RK-730P", "false"}));

    // A model whose name begins another's leaves the other's Device value.
    ASSERT_EQ(run({"/install", "/model:RK-730P", "/lang:zh"}), 0);
    m.seedString(RegRoot::CurrentUser, kWindowsKey, "Device", "RK-730PN,winspool,LPT1:");
    ASSERT_EQ(run({"/uninstall", "/model:RK-730P"}), 0);
    EXPECT_EQ(m.regString(RegRoot::CurrentUser, kWindowsKey, "Device"), "RK-730PN,winspool,LPT1:");

    // Where the spooler takes the option, it alone decides which files go.
    ASSERT_EQ(m.deletePrinter("Office"), 0u);
    m.setDeleteUnusedFilesSupported(true);
    m.clearCalls();
    ASSERT_EQ(run({"/uninstall", "/model:RK-730PN"}), 0);
    EXPECT_EQ(m.callsOf("deletePrinterDriver").size(), 1u);
    EXPECT_TRUE(m.callsOf("deleteFile").empty());
    EXPECT_FALSE(m.fileExists(std::string(kDrivers) + "\\RK730PNCN.GPD"));
    EXPECT_EQ(m.regString(RegRoot::CurrentUser, kWindowsKey, "Device"), "");
    // Without the user's printer key nothing names the printer, listed
    // here in other letters than the model's.
    m.seedPrinter({"rk-520p", "USB001", "RK-520P", "WinPrint", "RAW"});
    m.failWhen("regOpenKey", [](const Args& a) { return a[0] == "HKCU"; }, 2);
    EXPECT_EQ(run({"/uninstall", "/model:RK-520P"}), 0);
    EXPECT_FALSE(m.findPrinter("RK-520P"));
}

// A removal step that fails ends the run with 1603; what follows it is not done.
TEST_F(CommandLineTest, UninstallStopsAtTheFailedStep) {
    const struct {
        const char* op;
        bool printerStays, deviceStays, driverStays;
    } rows[] = {
        {"enumPrinterDrivers", true, true, true}, {"deletePrinter", true, true, true}, {"regSetString", false, true, true},
        {"deletePrinterDriver", false, false, true}, {"deleteFile", false, false, false},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(run({"/install", "/model:RK-520P", "/default", "/quiet"}), 0);
        m.failAlways(row.op, 5);
        EXPECT_EQ(run({"/uninstall", "/model:RK-520P", "/quiet"}), 1603) << row.op;
        EXPECT_EQ(m.findPrinter("RK-520P").has_value(), row.printerStays) << row.op;
        EXPECT_EQ(m.findDriver("Windows NT x86", "RK-520P").has_value(), row.driverStays) << row.op;
        EXPECT_EQ(m.regString(RegRoot::CurrentUser, kWindowsKey, "Device") == "RK-520P,winspool,USB001", row.deviceStays)
            << row.op;
        m.clearFailures();
        EXPECT_EQ(run({"/uninstall", "/model:RK-520P", "/quiet"}), 0) << row.op;
    }
}

// Windows may hold a driver for moments after its printer went (3001): it is
// asked for again every half second for five seconds; still held, the
// printer is gone, the driver and its files stay, and the run ends 0. A
// driver another printer uses is no such case: 1603 at once.
TEST_F(CommandLineTest, UninstallWaitsForADriverWindowsStillHolds) {
    const struct {
        int refusals;  // the first deletions that answer 3001
        unsigned codePage;
        bool driverStays;
        std::uint64_t sleptMs;
        const char* says;
    } rows[] = {
        {1, 1252, false, 500, "The printer RK-520P and its driver were removed.\r\n"},
        {9, 936, false, 4500, "已删除打印机 RK-520P 及其驱动。\r\n"},
        {10, 1252, true, 4500,
         "The printer RK-520P was removed. Windows is still using its driver, so the driver stays until Windows lets "
         "it go; it can be removed then (Kelp.exe /uninstall /model:RK-520P).\r\n"},
        {10, 936, true, 4500,
         "已删除打印机 RK-520P。Windows 仍在使用它的驱动，驱动暂时保留，待 Windows 释放后可再次删除（Kelp.exe "
         "/uninstall /model:RK-520P）。\r\n"},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(run({"/install", "/model:RK-520P", "/quiet"}), 0);
        m.setActiveCodePage(row.codePage);
        m.failNext("deletePrinterDriver", 3001, row.refusals);
        const std::uint64_t before = m.totalSleepMs();
        m.clearCalls();
        EXPECT_EQ(run({"/uninstall", "/model:RK-520P", std::string("/log:") + kLog}), 0) << row.refusals;
        EXPECT_FALSE(m.findPrinter("RK-520P"));
        EXPECT_EQ(m.findDriver("Windows NT x86", "RK-520P").has_value(), row.driverStays) << row.refusals;
        EXPECT_EQ(m.callsOf("deleteFile").empty(), row.driverStays) << row.refusals;  // its files stay with it
        EXPECT_EQ(m.totalSleepMs() - before, row.sleptMs) << row.refusals;
        EXPECT_NE(m.consoleText().find(row.says), std::string::npos) << m.consoleText();
        EXPECT_EQ(log().find("is still in use after the printer was deleted: it is left for Windows to free") !=
                      std::string::npos,
                  row.driverStays);
        m.clearFailures();
        m.setActiveCodePage(1252);
        EXPECT_EQ(run({"/uninstall", "/model:RK-520P", "/quiet"}), 0);
        EXPECT_FALSE(m.findDriver("Windows NT x86", "RK-520P"));
        m.deleteFile(kLog);
    }
    // Another printer of the driver: no waiting, the driver stays, 1603.
    ASSERT_EQ(run({"/install", "/model:RK-520P", "/quiet"}), 0);
    m.seedPrinter({"Kitchen", "LPT2:", "RK-520P", "WinPrint", "RAW"});
    const std::uint64_t before = m.totalSleepMs();
    EXPECT_EQ(run({"/uninstall", "/model:RK-520P", "/quiet"}), 1603);
    EXPECT_EQ(m.totalSleepMs(), before);
    EXPECT_TRUE(m.findDriver("Windows NT x86", "RK-520P"));
    EXPECT_FALSE(m.findPrinter("RK-520P"));
}

// A driver record may name any path; only files inside the driver directory
// are deleted, whatever the spelling, and each other entry is logged.
TEST_F(CommandLineTest, UninstallDeletesOnlyInsideTheDriverDirectory) {
    const struct {
        const char* entry;  // as the record names it
        const char* file;   // where that file lies
        bool stays;
    } rows[] = {
        {"C:\\windows\\system32\\spool\\drivers\\w32x86\\..\\..\\..\\..\\..\\victim.dll", "C:\\victim.dll", true},
        {"C:\\windows\\system32\\spool\\drivers\\w32x86old\\old.dll", "C:\\windows\\system32\\spool\\drivers\\w32x86old\\old.dll", true},
        {"\\\\server\\share\\remote.dll", "\\\\server\\share\\remote.dll", true},
        {"C:/Windows/System32/spool/DRIVERS/w32x86/3/./own.dll", "C:\\windows\\system32\\spool\\drivers\\w32x86\\3\\own.dll", false},
        {"C:\\windows\\system32\\spool\\drivers\\w32x86\\..\\..\\..\\..\\..\\victim.dll", "C:\\windows\\system32\\spool\\drivers\\w32x86\\victim.dll", false},
    };
    DriverInfo3 driver;
    driver.name = "RK-520P";
    driver.environment = "Windows NT x86";
    for (const auto& row : rows) {
        driver.dependentFiles += std::string(row.entry) + '\0';
        m.writeFile(row.file, "x");
    }
    // Gone already, with its folder: no failure.
    driver.dependentFiles += std::string("C:\\windows\\system32\\spool\\drivers\\w32x86\\gone\\gone.dll") + '\0';
    // A folder inside the directory, and a name that is none: left and
    // logged, not a failure, and the next entry is still deleted.
    m.makeDirectory("C:\\windows\\system32\\spool\\drivers\\w32x86\\3");
    m.failWhen("fullPathName", [](const Args& a) { return a[0].find('|') != std::string::npos; }, winerr::InvalidName);
    for (const char* entry : {"C:\\windows\\system32\\spool\\drivers\\w32x86\\3", "C:\\bad|name.dll",
                              "C:\\windows\\system32\\spool\\drivers\\w32x86\\",
                              "C:\\windows\\system32\\spool\\drivers\\w32x86\\after.dll"})
        driver.dependentFiles += std::string(entry) + '\0';
    m.writeFile("C:\\windows\\system32\\spool\\drivers\\w32x86\\after.dll", "x");
    ASSERT_EQ(m.addPrinterDriver(driver), 0u);
    EXPECT_EQ(run({"/uninstall", "/model:RK-520P", std::string("/log:") + kLog}), 0) << log();
    EXPECT_TRUE(m.directoryExists("C:\\windows\\system32\\spool\\drivers\\w32x86\\3"));
    EXPECT_FALSE(m.fileExists("C:\\windows\\system32\\spool\\drivers\\w32x86\\after.dll"));
    // Its entry and the directory's name for it are one file: deleted once.
    std::size_t afterDeleted = 0;
    for (const auto& call : m.callsOf("deleteFile"))
        afterDeleted += call.args.at(0) == "C:\\windows\\system32\\spool\\drivers\\w32x86\\after.dll";
    EXPECT_EQ(afterDeleted, 1u);
    expectLogged({" left \"C:\\windows\\system32\\spool\\drivers\\w32x86\\3\": it is a folder\r\n",
                  " left \"C:\\bad|name.dll\": not a valid file name\r\n",
                  " left \"C:\\windows\\system32\\spool\\drivers\\w32x86\\\": not in the driver directory "
                  "\"C:\\windows\\system32\\spool\\drivers\\w32x86\"\r\n",
                  " left \"C:\\windows\\system32\\spool\\drivers\\w32x86\\bad|name.dll\": not a valid file name\r\n",
                  "The printer RK-520P and its driver were removed.\r\n"});
    m.clearFailures();
    for (const auto& row : rows) {
        EXPECT_EQ(m.fileExists(row.file), row.stays) << row.entry;
        if (row.stays) {
            EXPECT_NE(log().find(std::string("left \"") + row.entry + "\": not in the driver directory"), std::string::npos) << row.entry;
        }
    }
    // Where the driver directory is not known, no file is deleted.
    ASSERT_EQ(m.addPrinterDriver(driver), 0u);
    m.writeFile("C:\\windows\\system32\\spool\\drivers\\w32x86\\victim.dll", "x");
    m.failNext("printerDriverDirectory", 5);
    EXPECT_EQ(run({"/uninstall", "/model:RK-520P", "/quiet", std::string("/log:") + kLog}), 1603);
    expectLogged({" the driver's files are left: the driver directory is not known\r\n"});
    EXPECT_TRUE(m.fileExists("C:\\windows\\system32\\spool\\drivers\\w32x86\\victim.dll"));
}

// A text from outside enters a message escaped: a line break or a tab in a
// port's name adds no line or column to the console and the log, and no
// bidirectional control turns the line around; a path keeps its backslashes.
TEST_F(CommandLineTest, OutsideTextsEnterMessagesEscaped) {
    const std::pair<std::string, std::string> rows[] = {
        {"C:\\Logs\\a\tb\r\n", "C:\\Logs\\a\\x09b\\x0D\\x0A"},
        {"\u2029\u202A\u202E\u202F", "\u2029\\u202A\\u202E\u202F"},
        {"\u2065\u2066\u2069\u206A", "\u2065\\u2066\\u2069\u206A"},
        {"\xc2\x85\xff", "\\x85\xEF\xBF\xBD"},
    };
    for (const auto& [text, escaped] : rows) {
        EXPECT_EQ(OutsideText(text), escaped);
        EXPECT_EQ(QuotedText(text + "\""), "\"" + escaped + "\\x22\"");
    }
    const std::string port = "LPT9:\r\n2026-12-07 10:15:20 printer\tRK-730P\tLPT1:\u202E";
    const std::string shown = "LPT9:\\x0D\\x0A2026-12-07 10:15:20 printer\\x09RK-730P\\x09LPT1:\\u202E";
    m.setPorts({{port, "Local Port"}});
    ASSERT_EQ(run({"/install", "/model:RK-520P", "/port:" + port, std::string("/log:") + kLog}), 0) << log();
    m.setActiveCodePage(936);
    ASSERT_EQ(run({"/testprint", "/model:RK-520P", std::string("/log:") + kLog}), 0) << log();
    m.setActiveCodePage(1252);
    EXPECT_NE(m.consoleText().find("The printer RK-520P is installed on " + shown + " (the port named on the command line).\r\n"),
              std::string::npos) << m.consoleText();
    EXPECT_NE(m.consoleText().find("测试小票已在 RK-520P（" + shown + "）上打印。\r\n"), std::string::npos);
    EXPECT_NE(log().find(" step AddPrinter \"RK-520P\" on port \"" + shown + "\" driver"), std::string::npos) << log();
    for (const std::string& text : {m.consoleText(), log()}) {
        EXPECT_EQ(text.find("\n2026-12-07 10:15:20 printer"), std::string::npos) << text;
        EXPECT_EQ(text.find("\u202E"), std::string::npos);
    }
    // Typed on the command line: the unknown port, and the unknown model.
    EXPECT_EQ(run({"/install", "/model:RK-520P", "/port:X\n\u2066Y"}), 87);
    EXPECT_NE(m.consoleText().find("Wrong command line: No such port: X\\x0A\\u2066Y\r\n"), std::string::npos);
    EXPECT_EQ(run({"/install", "/model:RK\r\n\u202E", "/lang:zh"}), 87);
    EXPECT_NE(m.consoleText().find("命令行错误：未知的型号“RK\\x0D\\x0A\\u202E”\r\n"), std::string::npos);
}

TEST_F(CommandLineTest, TestReceiptGoesToTheFilePort) {
    m.setPorts({{"C:\\receipt.prn", "Local Port"}});
    ASSERT_EQ(run({"/install", "/model:RK-520P", "/lang:en", "/port:C:\\receipt.prn"}), 0);
    ASSERT_EQ(run({"/testprint", "/model:rk-520p", std::string("/log:") + kLog}), 0) << log();
    EXPECT_EQ(m.fileContents("C:\\receipt.prn"), TestReceiptBytes("RK-520P", "C:\\receipt.prn", "2026-12-07 10:15:20", Language::English));
    EXPECT_NE(m.consoleText().find("The test receipt was printed on RK-520P (C:\\receipt.prn)."),
              std::string::npos);

    m.failNext("writePrinter", 1804);
    m.clearCalls();
    EXPECT_EQ(run({"/testprint", "/model:RK-520P", std::string("/log:") + kLog}), 1603);
    expectLogged({"step StartDocPrinter RAW \"Kelp test receipt\" on \"RK-520P\" job 2: 0\r\n", "step WritePrinter",
                  "step ClosePrinter \"RK-520P\": 0"});
    EXPECT_EQ(m.callsOf("endRawDocument").size(), 1u);  // no half job left open
    EXPECT_EQ(run({"/testprint", "/model:MZ730P", "/quiet"}), 1603);  // no such printer

    // The job followed in the queue: each getJob answers the next status
    // (nothing: the job has gone), the last one repeats.
    using States = std::vector<std::optional<std::uint32_t>>;
    struct Case {
        States states;
        const char* wait;  // nullptr: the default
        const char* failOp;
        int code;
        const char* said;
        bool deleted;
        std::uint64_t sleptMs;
    };
    const Case cases[] = {
        {{}, "/wait:5", nullptr, 0, "The test receipt was printed on RK-520P", false, 0},
        {{}, "/wait:1", nullptr, 0, "The test receipt was printed on RK-520P", false, 0},
        {{0, 0, std::nullopt}, "/wait:5", nullptr, 0, "The test receipt was printed on RK-520P", false, 1000},
        {{0, 0x1080}, "/wait:5", nullptr, 0, "The test receipt was printed on RK-520P", false, 500},
        {{0, 0x1000}, "/wait:3600", nullptr, 0, "The test receipt was printed on RK-520P", false, 500},  // kept after printing
        {{0, 0x40}, "/wait:5", nullptr, 1603, "not printed: the printer is out of paper. The job was deleted.", true, 500},
        {{0x408}, "/wait:5", nullptr, 1603, "not printed: the printer needs attention.", true, 0},
        {{0x22}, "/wait:5", nullptr, 1603, "not printed: the printer reported an error.", true, 0},
        {{0x208}, "/wait:5", nullptr, 1603, "not printed: the job is blocked.", true, 0},
        {{0x1}, "/wait:5", nullptr, 1603, "not printed: the job is paused. The job was deleted.", true, 0},
        {{0x20}, "/wait:5", nullptr, 1603, "not printed: the printer is offline. The job was deleted.", true, 0},
        {{0x4}, "/wait:5", nullptr, 1603, "not printed: the job was deleted before it printed.\r\n", false, 0},
        {{0x100}, "/wait:5", nullptr, 1603, "not printed: the job was deleted before it printed.\r\n", false, 0},
        {{0x80}, "/wait:5", nullptr, 0, "The test receipt was printed on RK-520P", false, 0},
        {{0}, "/wait:2", nullptr, 1603,
         "still in the queue after 2 s: is the printer on and connected? The job was deleted.", true, 2000},
        {{0}, nullptr, nullptr, 1603, "still in the queue after 30 s", true, 30000},
        {{0x40}, "/wait:0", nullptr, 0, "The test receipt was sent to RK-520P", false, 0},
        {{0, 0x104}, "/wait:5", nullptr, 1603, "not printed: the job was deleted before it printed.", false, 500},
        {{0x40}, "/wait:5", "deleteJob", 1603, "out of paper. The job could not be deleted: it is still in the queue.",
         false, 0},
        {{0}, "/wait:1", "getJob", 1603, "not printed: GetJob failed (error 5).", false, 0},
        {{0}, "/wait:1", "endRawDocument", 1603, "not printed: EndDocPrinter failed (error 5).", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        m.scriptJobStates(c.states);
        if (c.failOp) m.failNext(c.failOp, winerr::AccessDenied);
        const std::uint64_t slept = m.totalSleepMs();
        const std::size_t deleted = m.deletedJobs().size();
        const std::string before = m.consoleText();
        Args args = {"/testprint", "/model:RK-520P"};
        if (c.wait) args.push_back(c.wait);
        EXPECT_EQ(run(args), c.code);
        EXPECT_NE(m.consoleText().find(c.said, before.size()), std::string::npos) << m.consoleText().substr(before.size());
        EXPECT_EQ(m.deletedJobs().size() - deleted, c.deleted ? 1u : 0u);
        EXPECT_EQ(m.totalSleepMs() - slept, c.sleptMs);
    }
    // The lock is held while the job is submitted, not while it is followed;
    // released once, also where the printer could not be opened.
    m.scriptJobStates({0, std::nullopt});
    m.clearCalls();
    EXPECT_EQ(run({"/testprint", "/model:RK-520P", "/wait:5", "/quiet"}), 0);
    const auto ops = m.ops();
    const auto at = [&ops](const char* op) { return std::find(ops.begin(), ops.end(), op) - ops.begin(); };
    EXPECT_LT(at("acquirePrivateMutex"), at("openPrinter"));
    EXPECT_LT(at("endRawDocument"), at("releaseNamedMutex"));
    EXPECT_LT(at("releaseNamedMutex"), at("getJob"));
    EXPECT_EQ(std::count(ops.begin(), ops.end(), "releaseNamedMutex"), 1);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), "getJob"), 2);
    m.failNext("openPrinter", 5);
    m.clearCalls();
    EXPECT_EQ(run({"/testprint", "/model:RK-520P", "/quiet"}), 1603);
    EXPECT_EQ(m.callsOf("releaseNamedMutex").size(), 1u);
    EXPECT_TRUE(m.heldMutexes().empty());
    // A stuck job's deletion is logged with its id.
    m.scriptJobStates({0x40});
    m.writeFile(kLog, "");
    EXPECT_EQ(run({"/testprint", "/model:RK-520P", "/wait:1", "/quiet", std::string("/log:") + kLog}), 1603);
    const std::size_t job = log().find("\"RK-520P\" job ");
    ASSERT_NE(job, std::string::npos) << log();
    const std::string id = log().substr(job + 14, log().find(':', job) - job - 14);
    expectLogged({"step SetJob " + id + " delete: 0\r\n"});
    // An offline printer, or one out of paper, says so when the time is up.
    for (const auto& [status, said] : {std::pair<std::uint32_t, const char*>{0x80, "the printer is offline"},
                                       {0x10, "the printer is out of paper"}, {0x1, "the printer is paused"}, {0x8, "still in the queue after 1 s"}}) {
        m.scriptJobStates({0});
        m.setPrinterStatus("RK-520P", status);
        const std::size_t start = m.consoleText().size();
        EXPECT_EQ(run({"/testprint", "/model:RK-520P", "/wait:1"}), 1603);
        EXPECT_NE(m.consoleText().find(said, start), std::string::npos) << status;
    }
    // A paused printer, or one out of paper, says so in the run's language.
    m.setActiveCodePage(936);
    for (const auto& [status, said] : {std::pair<std::uint32_t, const char*>{1, "打印机已暂停"}, {0x10, "打印机缺纸"}}) {
        m.scriptJobStates({0});
        m.setPrinterStatus("RK-520P", status);
        const std::size_t start = m.consoleText().size();
        EXPECT_EQ(run({"/testprint", "/model:RK-520P", "/wait:1"}), 1603);
        EXPECT_NE(m.consoleText().find(std::string("测试小票未能打印：") + said + "。已删除该打印任务。", start), std::string::npos);
    }
    m.scriptJobStates({0});
    m.setPrinterStatus("RK-520P", 0);
    EXPECT_EQ(run({"/testprint", "/model:RK-520P", "/wait:1"}), 1603);
    EXPECT_NE(m.consoleText().find("测试小票在 1 秒后仍在打印队列中：打印机是否已开机并连接？已删除该打印任务。"), std::string::npos);
    for (const auto& [states, said] :
         {std::pair<std::vector<std::optional<std::uint32_t>>, const char*>{{}, "测试小票已在 RK-520P（C:\\receipt.prn）上打印。"},
          {{0x4}, "测试小票未能打印：打印任务在打印前被删除。"},
          {{0x20}, "测试小票未能打印：打印机已脱机。已删除该打印任务。"}}) {
        m.scriptJobStates(states);
        const std::size_t start = m.consoleText().size();
        run({"/testprint", "/model:RK-520P", "/wait:1"});
        EXPECT_NE(m.consoleText().find(said, start), std::string::npos) << m.consoleText().substr(start);
    }
    EXPECT_EQ(run({"/uninstall", "/model:RK-520P"}), 0);  // no Device value: nothing names it
    EXPECT_NE(m.consoleText().find("已删除打印机 RK-520P 及其驱动。"), std::string::npos);
}

TEST_F(CommandLineTest, ListAndUsage) {
    m.seedPrinter({"RK-730P", "USB001", "RK-730P", "WinPrint", "RAW"});
    m.seedPrinter({"Office", "LPT1:", "Office", "WinPrint", "RAW"});
    m.seedPrinter({"XK-730P", "LPT1:", "XK-730P", "WinPrint", "RAW"});  // no model of the package
    m.setPorts({{"COM1:", "Local Port"}, {"FILE:", "Local Port"}, {"LPT1:", "Local Port"}, {"USB001", ""}, {"USB002", ""},
                {"USB003", ""}});
    // The last column: the model a connected printer names, the catalogue's spelling.
    m.setUsbPrinterInterfaces({{"USB", 1, "USB\\A", false, "MDL:RK-520P;"}, {"USB", 2, "USB\\B", true, "MFG:Acme;MDL:rk 730p;"},
                               {"TS", 3, "X", true, "MDL:RK-520P;"}});
    // A TCP/IP port's fifth column: where it points, as its monitor says.
    TcpIpPortConfig kitchen;
    kitchen.portName = "Kitchen";
    kitchen.host = "10.0.0.5";
    kitchen.tcpPort = 9101;
    m.seedTcpIpPort(kitchen);
    m.setPorts([&] {
        auto ports = m.ports();
        ports.push_back({"IP_10.0.0.9", "标准 TCP/IP 端口"});
        return ports;
    }());
    EXPECT_EQ(run({"/list"}), 0);
    EXPECT_EQ(m.consoleText(),
              "model\tRK-520P\r\nmodel\tRK-520PW\r\nmodel\tRK-730P\r\nmodel\tRK-730PN\r\nmodel\tRK-730P(NEW)\r\n"
              "model\tMZ730P\r\nmodel\tMZ730PN\r\nport\tCOM1:\tCOM\r\nport\tFILE:\tFILE\r\nport\tLPT1:\tLPT\r\n"
              "port\tUSB001\tUSB\tnot connected\r\nport\tUSB002\tUSB\tconnected\t\tRK-730P\r\nport\tUSB003\tUSB\tunknown\r\n"
              "port\tKitchen\tTCP/IP\t\t10.0.0.5:9101\r\nport\tIP_10.0.0.9\tTCP/IP\t\tunknown\r\n"
              "printer\tRK-730P\tUSB001\r\n");
    EXPECT_TRUE(net.batches().empty());
    // The spooler's texts escaped: a line break or a tab in them makes no row or column.
    TcpIpPortConfig forged = kitchen;
    forged.portName = "Bar\t\"1\"";
    forged.host = "a\r\nprinter\tX";
    m.seedTcpIpPort(forged);
    EXPECT_EQ(run({"/list"}), 0);
    EXPECT_NE(m.consoleText().find("port\tIP_10.0.0.9\tTCP/IP\t\tunknown\r\nport\tBar\\x09\"1\"\tTCP/IP\t\ta\\x0D\\x0Aprinter\\x09X:9101\r\n"),
              std::string::npos) << m.consoleText();
    EXPECT_EQ(run({"/list", std::string("/log:") + kLog}), 0);
    EXPECT_EQ(log().find("GetConfigInfo \"Kitchen\""), std::string::npos) << log();  // a query that answered is no step
    m.failAlways("tcpIpPortConfig", winerr::AccessDenied);
    EXPECT_EQ(run({"/list", std::string("/log:") + kLog}), 0);
    EXPECT_NE(m.consoleText().find("port\tKitchen\tTCP/IP\t\tunknown\r\n"), std::string::npos);
    expectLogged({"step XcvData GetConfigInfo \"Kitchen\": 5 Access is denied\r\n",
                  "step XcvData GetConfigInfo \"Bar\\x09\\x221\\x22\": 5 Access is denied\r\n"});
    // Port numbers of three digits and more, base names in any case; a model
    // none of the seven shown as it is, escaped; one from the hardware id
    // where the device could not be asked.
    m.setPorts({{"USB009", ""}, {"USB010", ""}, {"USB100", ""}, {"USB1000", ""}});
    m.setUsbPrinterInterfaces({{"USB", 9, "A", true, "MDL:TM-T20\tX\r\n;"}, {"USB", 10, "B", false, ""},
                               {"usb", 100, "C", true, "", "USBPRINT\\AcmeRK-520PW1A2B"}, {"USB", 1000, "D", false, ""}});
    std::size_t start = m.consoleText().size();
    EXPECT_EQ(run({"/list"}), 0);
    EXPECT_NE(m.consoleText().find("model\tMZ730PN\r\nport\tUSB009\tUSB\tconnected\t\tTM-T20\\x09X\r\nport\tUSB010\tUSB\tnot connected\r\n"
                                   "port\tUSB100\tUSB\tconnected\t\tRK-520PW\r\nport\tUSB1000\tUSB\tnot connected\r\nprinter\tRK-730P\tUSB001\r\n",
                                   start), std::string::npos) << m.consoleText().substr(start);
    m.failAlways("usbPrinterInterfaces", winerr::AccessDenied);
    EXPECT_EQ(run({"/list"}), 0);
    EXPECT_NE(m.consoleText().find("port\tUSB010\tUSB\tunknown\r\n", start), std::string::npos);
    m.failNext("enumPorts", 5);
    EXPECT_EQ(run({"/list"}), 1603);
    EXPECT_NE(m.consoleText().rfind("model\tMZ730PN\r\nprinter\tRK-730P\tUSB001\r\n"), std::string::npos);
    const std::size_t before = m.consoleText().size();
    EXPECT_EQ(run({"/?"}), 0);
    EXPECT_EQ(m.consoleText().find("Usage:\r\n", before), before);  // the usage alone, no log lines
    // The usage ends with what /host and /find mean and the exit codes, in either language.
    for (const auto& [codePage, ending] : {std::pair<std::uint32_t, std::string>{
             936, "/host：网络打印机的 IPv4 地址或主机名，TCP 端口默认为 9100；/force：现在找不到该主机名时仍然安装。/find：在本机网络（或给定的最多 1024 个地址）中查找 "
                  "TCP 9100 端口上的打印机，每行：地址、状态、打印机自报的型号和序列号。\r\n/testprint /force：打印机不回答状态询问时仍发送测试小票（无法知道是否已打印）；缺纸、上盖打开、"
                  "脱机、出错、断开连接或不是小票打印机时仍不发送。\r\n/testprint /drawer：测试小票打印后打开钱箱（引脚 2，或 /drawer:5 "
                  "引脚 5），并读取钱箱传感器判断是否已打开。\r\n退出码：0 完成，87 命令行错误，1603 某一步失败（见日志），1618 另一个 Kelp 正在运行。\r\n"},
         {1252, "/host: a network printer's IPv4 address or host name, TCP port 9100 unless given; /force: installs even when "
                "the host name cannot be found now. /find: looks for printers on "
                "TCP port 9100 in this computer's networks (or in at most 1024 addresses given); each row: address, state, and the model and serial "
                "number the printer gives.\r\n/testprint /force: sends "
                "the test receipt to a printer that does not answer status requests (whether it printed cannot be told); never "
                "to one that is out of paper, open, offline, in error, hangs up or is no receipt printer.\r\n/testprint /drawer: "
                "once the test receipt has printed, opens the cash drawer (pin 2, or pin 5 with /drawer:5) and reads the "
                "drawer's sensor to tell whether it opened.\r\nExit codes: 0 done, 87 wrong "
                "command line, 1603 a step failed (see the log), 1618 another Kelp run is busy.\r\n"}}) {
        m.setActiveCodePage(codePage);
        EXPECT_EQ(run({"/?"}), 0);
        ASSERT_GE(m.consoleText().size(), ending.size());
        EXPECT_EQ(m.consoleText().substr(m.consoleText().size() - ending.size()), ending);
    }
    EXPECT_TRUE(m.windowlessBoxes().empty());
    // Without a console a box shows it in lines that a box does not wrap.
    m.setConsole(false);
    m.setActiveCodePage(936);
    EXPECT_EQ(run({"/?"}), 0);
    m.setActiveCodePage(1252);
    EXPECT_EQ(run({"/?"}), 0);
    ASSERT_EQ(m.windowlessBoxes().size(), 2u);
    const std::string boxes[] = {
        "用法：\r\nKelp.exe（无参数）：安装向导\r\nKelp.exe /?：本说明\r\n\r\n"
        "Kelp.exe /install /model:<型号>\r\n    [/lang:zh|en] [/port:auto|<端口>]\r\n"
        "    [/default] [/log:<文件>] [/quiet]\r\nKelp.exe /install /model:<型号>\r\n    /host:<地址>[:<TCP 端口>]\r\n"
        "    [/lang:zh|en] [/default] [/force]\r\n    [/log:<文件>] [/quiet]\r\nKelp.exe /uninstall /model:<型号>\r\n    [/log:<文件>] [/quiet]\r\n"
        "Kelp.exe /testprint /model:<型号>\r\n    [/wait:<秒>] [/force]\r\n    [/drawer[:2|:5]]\r\n    [/log:<文件>] [/quiet]\r\n"
        "    /force：打印机不回答状态询问时\r\n    仍发送（无法知道是否已打印）\r\n    /drawer：打印后打开钱箱\r\nKelp.exe /list [/log:<文件>]\r\n"
        "Kelp.exe /find[:<起始地址>-<结束地址>]\r\n    [/log:<文件>]\r\n    每行：地址、状态、型号、序列号\r\n"
        "\r\n退出码：\r\n0 完成\r\n87 命令行错误\r\n1603 某一步失败（见日志）\r\n1618 另一个 Kelp 正在运行",
        "Usage:\r\nKelp.exe without arguments: the wizard\r\nKelp.exe /?: this text\r\n\r\n"
        "Kelp.exe /install /model:<model>\r\n    [/lang:zh|en] [/port:auto|<port>]\r\n"
        "    [/default] [/log:<file>] [/quiet]\r\nKelp.exe /install /model:<model>\r\n"
        "    /host:<address>[:<tcp port>]\r\n    [/lang:zh|en] [/default] [/force]\r\n    [/log:<file>] [/quiet]\r\nKelp.exe /uninstall /model:<model>\r\n    [/log:<file>] [/quiet]\r\n"
        "Kelp.exe /testprint /model:<model>\r\n    [/wait:<seconds>] [/force]\r\n    [/drawer[:2|:5]]\r\n    [/log:<file>] [/quiet]\r\n"
        "    /force: send it to a printer that\r\n    gives no status (unchecked)\r\n    /drawer: then open the cash drawer\r\n"
        "Kelp.exe /list [/log:<file>]\r\nKelp.exe /find[:<address>-<address>]\r\n    [/log:<file>]\r\n    rows: address, state, model, serial\r\n\r\nExit codes:\r\n0 done\r\n87 wrong command line\r\n"
        "1603 a step failed (see the log)\r\n1618 another Kelp run is busy"};
    for (int i = 0; i < 2; ++i) {
        const auto& [title, text] = m.windowlessBoxes()[static_cast<std::size_t>(i)];
        EXPECT_EQ(title, "Kelp");
        EXPECT_EQ(text, boxes[i]);
        // At most 40 columns a line: a character of three UTF-8 bytes (Chinese) takes two.
        for (std::size_t start = 0, end = 0; start < text.size(); start = end + 2) {
            end = std::min(text.find("\r\n", start), text.size());
            std::size_t columns = 0;
            for (std::size_t b = start; b < end; ++b)
                columns += (static_cast<unsigned char>(text[b]) & 0xC0) == 0x80 ? 0 : (static_cast<unsigned char>(text[b]) >= 0xE0 ? 2 : 1);
            EXPECT_LE(columns, 40u) << text.substr(start, end - start);
        }
    }
    // Where nobody could see a box, the usage goes to the log.
    m.setWindowStationVisible(false);
    EXPECT_EQ(run({"/?"}), 0);
    EXPECT_EQ(m.windowlessBoxes().size(), 2u);
    EXPECT_NE(m.fileContents("C:\\users\\kelp\\Temp\\Kelp.log").value_or("").find("/install   /model:<model>"),
              std::string::npos);
    EXPECT_EQ(m.windowlessBoxes().size(), 2u);
    const std::string logged = m.fileContents("C:\\users\\kelp\\Temp\\Kelp.log").value_or("");
    EXPECT_NE(logged.find("2026-12-07 10:15:20 Usage:\r\n2026-12-07 10:15:20   Kelp.exe                          the setup wizard\r\n"),
              std::string::npos) << logged;
    EXPECT_NE(logged.find("10:15:20 Exit codes: 0 done, 87 wrong command line, 1603 a step failed (see the log), "
                          "1618 another Kelp run is busy.\r\n2026-12-07 10:15:20 outcome 0\r\n"), std::string::npos) << logged;
    // Nor in session 0.
    m.setWindowStationVisible(true);
    m.setSessionId(0);
    EXPECT_EQ(run({"/?"}), 0);
    EXPECT_EQ(m.windowlessBoxes().size(), 2u);
}

// A job that never started has no id; submitted is called once, after the
// document (here: after the failed step).
TEST(PrintJob, ReportOfAJobNeverStarted) {
    for (const auto& [op, step] : {std::pair<const char*, const char*>{"openPrinter", "OpenPrinter"},
                                   {"startRawDocument", "StartDocPrinter"}, {"writePrinter", "WritePrinter"}}) {
        FakePlatform m;
        m.seedPrinter({"RK-520P", "USB001", "RK-520P", "WinPrint", "RAW"});
        m.failNext(op, 5);
        std::vector<std::string> before;
        const auto report = PrintRawJob(m, "RK-520P", "doc", "bytes", 5, [&] { before = m.ops(); });
        EXPECT_EQ(report.problem, JobProblem::SpoolerStep) << op;
        EXPECT_EQ(report.failedStep, step);
        EXPECT_EQ(report.jobId, std::string(op) == "writePrinter" ? 1u : 0u) << op;
        EXPECT_EQ(report.error, 5u) << op;
        EXPECT_FALSE(report.deleted || report.deleteFailed) << op;
        ASSERT_FALSE(before.empty()) << op;
        EXPECT_EQ(before.back(), std::string(op) == "writePrinter" ? "endRawDocument" : op);
        EXPECT_TRUE(m.callsOf("getJob").empty()) << op;
    }
}

TEST(TestReceipt, BytesOfEachEdition) {
    const std::string ruler = "Kelp 4.0\n.........1.........2.........3.|.......4.......|\n";
    const std::string english =
        "\x1b@Kelp test receipt\nModel: RK-730P\nPort: USB001\nTime: 2026-12-07 10:15:20\n" + ruler +
        "32 columns: 58 mm paper; 48 columns: 80 mm paper\n"
        "This printer is installed and ready.\n\x1b\x64\x04\x1dVB";
    const std::string end = std::string(1, '\0') + "\x1b@";
    EXPECT_EQ(TestReceiptBytes("RK-730P", "USB001", "2026-12-07 10:15:20", Language::English), english + end);
    const std::string chinese =
        "\x1b@\x1c&Kelp \xb2\xe2\xca\xd4\xd0\xa1\xc6\xb1\n"
        "\xd0\xcd\xba\xc5\xa3\xbaMZ730P\n"
        "\xb6\xcb\xbf\xda\xa3\xba" "COM1:\n"
        "\xca\xb1\xbc\xe4\xa3\xba" "2026-01-02 03:04:05\n" + ruler +
        "32 \xc1\xd0\xa3\xba" "58 \xba\xc1\xc3\xd7\xd6\xbd\xa3\xbb" "48 \xc1\xd0\xa3\xba" "80 \xba\xc1\xc3\xd7\xd6\xbd\n"
        "\xb4\xf2\xd3\xa1\xbb\xfa\xd2\xd1\xb0\xb2\xd7\xb0\xa3\xac\xbf\xc9\xd2\xd4\xca\xb9\xd3\xc3\xa1\xa3\n"
        "\x1b\x64\x04\x1dVB";
    EXPECT_EQ(TestReceiptBytes("MZ730P", "COM1:", "2026-01-02 03:04:05", Language::Chinese), chinese + end);
    EXPECT_EQ(ToReceiptGb18030("端口é序"), "\xb6\xcb\xbf\xda?\xd0\xf2");
    // What the printer said heads the receipt, printable ASCII only; a text
    // with nothing printable prints no line.
    const struct {
        const char* model;
        const char* serial;
        Language language;
        const char* head;
    } rows[] = {
        {"TM-88\x01\x7f\xc3\xa9X", "", Language::English, "\x1b@Kelp test receipt\nPrinter model: TM-88X\nModel: "},
        {"", "SN 0042\t", Language::English, "\x1b@Kelp test receipt\nSerial number: SN 0042\nModel: "},
        {" ", "~", Language::English, "\x1b@Kelp test receipt\nPrinter model:  \nSerial number: ~\nModel: "},
        {"\x1f\x80", "\n", Language::English, "\x1b@Kelp test receipt\nModel: "},
        {"P1", "S2", Language::Chinese,
         "\x1b@\x1c&Kelp \xb2\xe2\xca\xd4\xd0\xa1\xc6\xb1\n\xb4\xf2\xd3\xa1\xbb\xfa\xd0\xcd\xba\xc5\xa3\xbaP1\n"
         "\xd0\xf2\xc1\xd0\xba\xc5\xa3\xbaS2\n\xd0\xcd"},
    };
    for (const auto& row : rows) {
        const std::string bytes = TestReceiptBytes("M", "P", "T", row.language, row.model, row.serial);
        EXPECT_EQ(bytes.substr(0, std::string(row.head).size()), row.head) << row.model;
        EXPECT_EQ(bytes.substr(bytes.size() - 3), end) << row.model;
    }
}

// ---- Network printers --------------------------------------------------------

constexpr Ipv4 kPrinterIp = 0x0A000005;  // 10.0.0.5

TEST_F(CommandLineTest, NetworkPrinterInstalledByAddressOnOnePort) {
    m.installTcpIpMonitor();
    // It names itself another of the models (the catalogue's first): installed as asked, and said.
    net.setHost(kPrinterIp, FakeNetwork::NamedPrinter("RK-520P", "Kelp Test", "SN 7"));
    ASSERT_EQ(run({"/install", "/model:RK-730P", "/host:010.0.0.5", "/lang:en", std::string("/log:") + kLog}), 0) << log();
    ASSERT_TRUE(m.findPrinter("RK-730P"));
    EXPECT_EQ(m.findPrinter("RK-730P")->portName, "IP_10.0.0.5");
    const auto port = m.findTcpIpPort("IP_10.0.0.5");
    ASSERT_TRUE(port);
    EXPECT_EQ(port->host, "10.0.0.5");
    EXPECT_EQ(port->tcpPort, 9100u);
    expectLogged({"action install model RK-730P lang en host 10.0.0.5:9100\r\n",
                  "step XcvData AddPort \"IP_10.0.0.5\" 10.0.0.5:9100 RAW SNMP off (monitor \"Standard TCP/IP Port\"): 0\r\n",
                  "network port for 10.0.0.5:9100: IP_10.0.0.5 (made)\r\n", "printer at 10.0.0.5:9100: ready\r\n",
                  "the printer at 10.0.0.5:9100 names itself \"RK-520P\", maker \"Kelp Test\", serial number \"SN 7\"\r\n",
                  "another model than RK-730P: installed as asked\r\n",
                  "The printer names itself \"RK-520P\". Serial number: \"SN 7\". That is not RK-730P: installed as RK-730P, as "
                  "asked.\r\n",
                  "The printer RK-730P is installed on IP_10.0.0.5 (10.0.0.5:9100, port made; the printer: ready).\r\n"});
    EXPECT_NE(m.consoleText().find("The printer names itself \"RK-520P\"."), std::string::npos);
    // The test receipt's head names what the printer said it is.
    ASSERT_EQ(run({"/testprint", "/model:RK-730P", "/wait:0"}), 0) << log();
    ASSERT_FALSE(m.rawJobs().empty());
    EXPECT_NE(m.rawJobs().back().bytes.find("Printer model: RK-520P\nSerial number: SN 7\n"), std::string::npos);
    // Its own model, in Chinese; a name none of the models has: said, nothing more.
    net.setHost(kPrinterIp, FakeNetwork::NamedPrinter("rk 730p", "Kelp Test", "SN 7"));
    ASSERT_EQ(run({"/install", "/model:RK-730P", "/host:10.0.0.5", "/lang:zh"}), 0);
    const std::string temp = "C:\\users\\kelp\\Temp\\Kelp.log";
    expectLogged({" 打印机自报型号：“rk 730p”。序列号：“SN 7”。\r\n"}, temp);
    net.setHost(kPrinterIp, FakeNetwork::NamedPrinter("XP-80", "Other", ""));
    ASSERT_EQ(run({"/install", "/model:RK-730P", "/host:10.0.0.5", "/lang:zh"}), 0);
    expectLogged({" 打印机自报型号：“XP-80”。\r\n", "names itself \"XP-80\", maker \"Other\" (none of the models)\r\n"}, temp);
    EXPECT_EQ(m.fileContents(temp).value_or("").find("这不是"), std::string::npos);

    // Again, out of paper now: the same port, and the answer is only told.
    net.setPrinter(kPrinterIp, "\x12\x12\x12\x72");
    ASSERT_EQ(run({"/install", "/model:RK-730P", "/host:10.0.0.5:9100", "/lang:zh", "/quiet"}), 0);
    EXPECT_EQ(m.callsOf("addTcpIpPort").size(), 1u);
    expectLogged({"已安装打印机 RK-730P，端口 IP_10.0.0.5（10.0.0.5:9100，已有的端口；打印机：缺纸，排除后即可打印）。\r\n",
                  "network port for 10.0.0.5:9100: IP_10.0.0.5 (reused)\r\n"},
                 "C:\\users\\kelp\\Temp\\Kelp.log");
    // A printer that cannot print is not asked who it is, and nothing is said of it.
    const std::string quiet = m.fileContents("C:\\users\\kelp\\Temp\\Kelp.log").value_or("");
    ASSERT_NE(quiet.rfind("paper out\r\n"), std::string::npos);
    EXPECT_EQ(quiet.find("names itself", quiet.rfind("Kelp 4.0 command line:")), std::string::npos);

    // Another TCP port, the printer switched off: the printer moves to a
    // port of its own; it will print once it is switched on.
    net.setHost(kPrinterIp, {ConnectOutcome::TimedOut});
    ASSERT_EQ(run({"/install", "/model:RK-730P", "/host:10.0.0.5:9101", "/lang:en"}), 0);
    EXPECT_EQ(m.findPrinter("RK-730P")->portName, "IP_10.0.0.5_9101");
    EXPECT_EQ(m.printers().size(), 1u);
    ASSERT_TRUE(m.findTcpIpPort("IP_10.0.0.5_9101"));
    EXPECT_EQ(m.findTcpIpPort("IP_10.0.0.5_9101")->tcpPort, 9101u);
    EXPECT_NE(m.consoleText().find("The printer RK-730P is installed on IP_10.0.0.5_9101 (10.0.0.5:9101, port made; the "
                                   "printer: no answer: check that it is on, its cable or network connection, and its address).\r\n"
                                   "outcome 0\r\n"),
              std::string::npos) << m.consoleText();

    // A name that cannot be found now, an address no printer can have, a
    // port for the address that cannot be read: nothing changes.
    net.setAdapters({{{0x0A000001, 24}}, 0});
    net.setName("zero.lan", {0});
    net.setName("edge.lan", {0x0A0000FF, kPrinterIp});
    net.setName("empty.lan", {});
    TcpIpPortConfig hidden;
    hidden.portName = "IP_10.0.0.8";
    hidden.host = "10.0.0.8";
    m.seedTcpIpPort(hidden);
    m.failWhen("tcpIpPortConfig", [](const Args& a) { return a[0] == "IP_10.0.0.8"; }, 5);
    const struct {
        const char* host;
        const char* lang;
        int code;
        const char* said;
    } rows[] = {
        {"/host:nowhere.lan", "/lang:en", 1603,
         "The host name nowhere.lan cannot be found on this network now (error 11001); nothing was changed. Check its "
         "spelling; if the printer's name will be registered on the network later, add /force to install it anyway.\r\n"},
        {"/host:empty.lan", "/lang:en", 1603, "The host name empty.lan cannot be found on this network now (error 11001);"},
        {"/host:nowhere.lan:9101", "/lang:zh", 1603,
         "现在在此网络上找不到主机名 nowhere.lan（错误 11001），未做任何更改。请检查名称的拼写；若打印机的名称稍后才登记到网络中，"
         "可加 /force 仍然安装。\r\n"},
        {"/host:zero.lan", "/lang:en", 87,
         "Wrong command line: /host: The host name zero.lan stands for 0.0.0.0. No printer has this address: 0.x.x.x, "
         "multicast and reserved addresses (224.0.0.0 and above) cannot be used.\r\nUsage:"},
        {"/host:edge.lan", "/lang:zh", 87,
         "命令行错误：/host：主机名 edge.lan 对应的地址是 10.0.0.255。该地址不能是打印机的地址：它是本机所在网络的网络地址或广播地址。\r\n"},
        {"/host:10.0.0.0", "/lang:en", 87,
         "Wrong command line: /host: No printer has this address: it is the network or broadcast address of one of this "
         "computer's networks.\r\n"},
        {"/host:10.0.0.8", "/lang:en", 1603,
         "The settings of the port IP_10.0.0.8 cannot be read (error 5: Access is denied); it may be the port for "
         "10.0.0.8:9100, so no other port is made for it.\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.host);
        const std::size_t before = m.consoleText().size();
        const std::size_t sent = net.sentTo(kPrinterIp).size();
        m.clearCalls();
        EXPECT_EQ(run({"/install", "/model:RK-730P", row.host, row.lang}), row.code);
        EXPECT_NE(m.consoleText().find(row.said, before), std::string::npos) << m.consoleText().substr(before);
        EXPECT_EQ(m.findPrinter("RK-730P")->portName, "IP_10.0.0.5_9101");
        EXPECT_TRUE(m.callsOf("addTcpIpPort").empty());
        EXPECT_TRUE(m.callsOf("copyFile").empty());
        EXPECT_EQ(net.sentTo(kPrinterIp).size(), sent);
    }
    // /force installs on a name that cannot be found, named as typed, unasked.
    net.setHost(kPrinterIp, {ConnectOutcome::Connected, "\x12\x12\x12\x12"});
    net.setName("Kitchen.lan", {kPrinterIp});
    const struct {
        const char* host;
        const char* lang;
        const char* said;
    } forced[] = {
        {"/host:nowhere.lan", "/lang:en",
         "The printer RK-730P is installed on IP_nowhere.lan (nowhere.lan:9100, port made; the printer: its name cannot be "
         "found on this network now (it will print once the name is registered)).\r\n"},
        {"/host:nowhere.lan", "/lang:zh",
         "已安装打印机 RK-730P，端口 IP_nowhere.lan（nowhere.lan:9100，已有的端口；打印机：现在在此网络上找不到它的名称（名称登记后即可打印））。\r\n"},
        {"/host:kitchen.lan", "/lang:en",
         "The printer RK-730P is installed on IP_kitchen.lan (kitchen.lan:9100, port made; the printer: ready).\r\n"},
    };
    for (const auto& row : forced) {
        SCOPED_TRACE(row.host);
        const std::size_t before = m.consoleText().size();
        const std::size_t sent = net.sentTo(kPrinterIp).size();
        EXPECT_EQ(run({"/install", "/model:RK-730P", row.host, row.lang, "/force"}), 0);
        EXPECT_NE(m.consoleText().find(row.said, before), std::string::npos) << m.consoleText().substr(before);
        EXPECT_EQ(net.sentTo(kPrinterIp).size() > sent, std::string(row.host) == "/host:kitchen.lan");
    }
    EXPECT_EQ(m.findTcpIpPort("IP_nowhere.lan")->host, "nowhere.lan");
    EXPECT_EQ(m.findTcpIpPort("IP_kitchen.lan")->host, "kitchen.lan");
    EXPECT_EQ(m.findPrinter("RK-730P")->portName, "IP_kitchen.lan");
    // The log's own lines are English whatever the run's language.
    expectLogged({"host name kitchen.lan stands for 10.0.0.5\r\n",
                  "address refused: The host name edge.lan stands for 10.0.0.255. No printer has this address: it is the "
                  "network or broadcast address of one of this computer's networks.\r\n"},
                 "C:\\users\\kelp\\Temp\\Kelp.log");
}

TEST_F(CommandLineTest, NetworkInstallThatCannotEndMakesNothingOrUndoesItsPort) {
    // No TCP/IP monitor (Wine): nothing is made, nothing is asked on the network.
    EXPECT_EQ(run({"/install", "/model:RK-730P", "/host:10.0.0.5", "/lang:en", std::string("/log:") + kLog}), 1603);
    EXPECT_TRUE(m.printers().empty());
    EXPECT_TRUE(m.callsOf("copyFile").empty());
    EXPECT_TRUE(m.callsOf("addTcpIpPort").empty());
    EXPECT_TRUE(m.callsOf("addPort").empty());
    EXPECT_TRUE(net.batches().empty());
    EXPECT_TRUE(m.heldMutexes().empty());
    expectLogged({"This system has no \"Standard TCP/IP Port\" monitor: no port can be made for 10.0.0.5:9100.\r\n",
                  "outcome 1603"});
    m.setActiveCodePage(936);
    EXPECT_EQ(run({"/install", "/model:RK-730P", "/host:10.0.0.5"}), 1603);
    EXPECT_NE(m.consoleText().find("此系统没有“Standard TCP/IP Port”端口监视器，无法为 10.0.0.5:9100 创建端口。\r\n"),
              std::string::npos);

    // A later step fails: the port made goes again; a port found stays.
    m.installTcpIpMonitor();
    TcpIpPortConfig kitchen;
    kitchen.portName = "Kitchen";
    kitchen.host = "10.0.0.6";
    m.seedTcpIpPort(kitchen);
    m.failAlways("addPrinter", 5);
    for (const char* host : {"/host:10.0.0.5", "/host:10.0.0.6"}) {
        EXPECT_EQ(run({"/install", "/model:RK-730P", host, "/lang:en", std::string("/log:") + kLog}), 1603) << host;
        EXPECT_TRUE(m.printers().empty());
    }
    EXPECT_FALSE(m.findTcpIpPort("IP_10.0.0.5"));
    EXPECT_TRUE(m.findTcpIpPort("Kitchen"));
    EXPECT_EQ(m.callsOf("deleteTcpIpPort").size(), 1u);
    expectLogged({"network port IP_10.0.0.5 deleted again (a later step failed)\r\n",
                  "step XcvData DeletePort \"IP_10.0.0.5\" (monitor \"Standard TCP/IP Port\"): 0\r\n"});
    // A port that cannot be deleted again is said so.
    m.failAlways("deleteTcpIpPort", 5);
    EXPECT_EQ(run({"/install", "/model:RK-730P", "/host:10.0.0.7", std::string("/log:") + kLog}), 1603);
    expectLogged({"network port IP_10.0.0.7 could not be deleted again (a later step failed)\r\n"});
    // A setting that fails after the printer was made on the port keeps it.
    m.clearFailures();
    m.failWhen("regSetString", [](const Args& a) { return a[1] == "Device"; }, 5);
    EXPECT_EQ(run({"/install", "/model:RK-730P", "/host:10.0.0.5", "/default", "/quiet"}), 1603);
    EXPECT_EQ(m.findPrinter("RK-730P")->portName, "IP_10.0.0.5");
    EXPECT_TRUE(m.findTcpIpPort("IP_10.0.0.5"));
}

// A receipt goes to a network printer only when its answer allows it.
TEST_F(CommandLineTest, TestPrintAsksANetworkPrinterFirst) {
    TcpIpPortConfig bar;  // another printer's port, listed first: not asked
    bar.portName = "Bar";
    bar.host = "10.0.0.9";
    m.seedTcpIpPort(bar);
    TcpIpPortConfig kitchen;
    kitchen.portName = "Kitchen";
    kitchen.host = "10.0.0.5";
    m.seedTcpIpPort(kitchen);
    ASSERT_EQ(run({"/install", "/model:RK-730P", "/port:Kitchen", "/quiet"}), 0);
    EXPECT_TRUE(net.batches().empty());
    net.setAdapters({{{0x0A000001, 24}}, 0});  // a network a search would go through
    const struct {
        FakeNetwork::Host host;
        int code;
        const char* why;  // the state that stopped it
        bool findHint = false;  // nothing answered: /find is named, nothing searched
    } rows[] = {
        {{ConnectOutcome::Connected, "\x12\x12\x12\x12"}, 0, nullptr},
        {{ConnectOutcome::Connected, "\x12\x12\x12\x1E"}, 0, nullptr},
        {{ConnectOutcome::Connected, "\x1A\x32\x12\x72"}, 1603, "paper out"},
        {{ConnectOutcome::Connected, "", true}, 1603, "no answer", true},  // hangs up at the first request
        {{ConnectOutcome::Connected, "\x12"}, 1603, "no answer", true},     // answers once, then nothing
        {{ConnectOutcome::Connected, "\x1A\x16\x12\x12"}, 1603, "cover open"},
        {{ConnectOutcome::Connected, "\x1A\x12\x12\x12"}, 1603, "offline"},
        {{ConnectOutcome::Connected, "\x1A\x52\x52\x12"}, 1603, "cutter or other error"},
        {{ConnectOutcome::Refused}, 1603, "nothing listens there (connection refused)", true},
        {{ConnectOutcome::TimedOut}, 1603, "no answer", true},
    };
    for (const auto& row : rows) {
        net.setHost(kPrinterIp, row.host);
        const std::size_t jobs = m.rawJobs().size();
        const std::size_t before = m.consoleText().size(), batches = net.batches().size();
        EXPECT_EQ(run({"/testprint", "/model:RK-730P", "/wait:0"}), row.code) << row.code;
        EXPECT_EQ(net.batches().size(), batches + 1) << "the printer asked, nothing searched";
        EXPECT_EQ(m.rawJobs().size(), jobs + (row.why ? 0 : 1)) << row.code;
        const std::string shown = m.consoleText().substr(before);
        EXPECT_NE(shown.find(row.why ? std::string("The test receipt was not printed: the printer RK-730P (Kitchen) reports ") + row.why +
                                           ".\r\n"
                                     : "The test receipt was sent to RK-730P (Kitchen).\r\n"),
                  std::string::npos) << shown;
        EXPECT_EQ(shown.find("If the printer got another address: Kelp.exe /find lists the printers on this network "
                             "with their models.\r\n") != std::string::npos,
                  row.findHint) << shown;
    }
    EXPECT_EQ(net.batches().back().tcpPort, 9100);
    // A peer that accepts and stays mute: only under /force, and never "printed".
    net.setHost(kPrinterIp, {ConnectOutcome::Connected, ""});
    const std::size_t sentBefore = m.rawJobs().size();
    EXPECT_EQ(run({"/testprint", "/model:RK-730P", "/wait:0"}), 1603);
    EXPECT_EQ(m.rawJobs().size(), sentBefore);
    EXPECT_EQ(run({"/testprint", "/model:RK-730P", "/wait:5", "/force"}), 0);
    EXPECT_EQ(m.rawJobs().size(), sentBefore + 1);
    EXPECT_NE(m.consoleText().rfind("The test receipt was sent to RK-730P (Kitchen), but the printer gives no status"),
              std::string::npos);
    net.setHost(kPrinterIp, {ConnectOutcome::TimedOut});
    // Where the monitor does not say where the port points, the printer
    // cannot be asked: nothing is sent.
    const std::size_t asked = net.batches().size(), jobs = m.rawJobs().size(), before = m.consoleText().size();
    m.failNext("tcpIpPortConfig", 5);
    EXPECT_EQ(run({"/testprint", "/model:RK-730P", "/wait:0"}), 1603);
    EXPECT_EQ(net.batches().size(), asked);
    EXPECT_EQ(m.rawJobs().size(), jobs);
    EXPECT_NE(m.consoleText().find("The test receipt was not printed: the settings of the port Kitchen cannot be read "
                                   "(error 5), so the printer could not be asked first. Run Kelp again as an "
                                   "administrator to print a test receipt.\r\n", before),
              std::string::npos);
    m.setActiveCodePage(936);
    EXPECT_EQ(run({"/testprint", "/model:RK-730P"}), 1603);
    EXPECT_NE(m.consoleText().find("未打印测试小票：打印机 RK-730P（Kitchen）报告：无应答。\r\n"), std::string::npos);
    EXPECT_NE(m.consoleText().find("如果打印机换了地址：Kelp.exe /find 列出本网络中的打印机及其型号。\r\n"), std::string::npos);
    // Nor when the ports cannot be listed; an LPR port's queue tells no
    // state: its receipt goes unasked, as a USB printer's.
    m.failWhen("enumPorts", [](const Args&) { return true; }, 5);
    EXPECT_EQ(run({"/testprint", "/model:RK-730P", "/wait:0"}), 1603);
    EXPECT_EQ(m.rawJobs().size(), jobs);
    m.clearFailures();
    kitchen.raw = false;
    kitchen.tcpPort = 515;
    m.seedTcpIpPort(kitchen);
    EXPECT_EQ(run({"/testprint", "/model:RK-730P", "/wait:0"}), 0);
    EXPECT_EQ(net.batches().size(), asked + 1);
}

// A printer on a COM port is asked too, over the port, before its receipt.
TEST_F(CommandLineTest, TestPrintAsksASerialPrinterFirst) {
    ASSERT_EQ(run({"/install", "/model:RK-730P", "/port:COM1:", "/quiet"}), 0);
    EXPECT_TRUE(serial.opened().empty());
    using D = FakeSerialPorts::Device;
    const std::string mute =
        "The test receipt was not sent: the printer RK-730P (COM1:) does not answer status requests, so it cannot be "
        "told whether it can print. Check first that it is switched on, that its cable or network is connected, and "
        "its address.\r\nAdd /force to send it anyway once you have checked the printer.\r\n";
    const std::string unchecked = "The test receipt was sent to RK-730P (COM1:), but the printer gives no status: it "
                                  "cannot be told whether it printed. Look at the printer for the receipt.\r\n";
    const std::string notOpen =
        "The test receipt was not printed: the port COM1: does not open (error 2): another program (the till's "
        "software) may hold it, or the port does not exist. Close the program that uses the port, then run Kelp again "
        "to print a test receipt.\r\n";
    const auto cannot = [](const char* why) {
        return std::string("The test receipt was not printed: the printer RK-730P (COM1:) reports ") + why + ".\r\n";
    };
    const struct {
        std::optional<D> device;
        bool force;
        int code;
        std::string shown;
    } rows[] = {
        {D{"\x16\x12\x12\x12"}, false, 0, "The test receipt was sent to RK-730P (COM1:).\r\n"},
        {D{"\x16\x12\x12\x12"}, true, 0, "The test receipt was sent to RK-730P (COM1:).\r\n"},
        {D{""}, false, 1603, mute},
        {D{""}, true, 0, unchecked},
        // /force overrides nothing else.
        {D{"\x1E\x32\x12\x72"}, true, 1603, cannot("paper out")},
        {D{"\x12\x12\x12\x12", 0, 31}, true, 1603, cannot("no answer")},
        {D{"\x12", 0, 0, "", "", "9600,n,8,1", "", 1, 1167}, true, 1603, cannot("no answer")},  // the line fails
        {D{"", 0, 0, "", "AB"}, true, 1603,
         cannot("no receipt printer (it answers with something else than a status)")},
        {std::nullopt, true, 1603, notOpen},
    };
    for (const auto& row : rows) {
        serial = FakeSerialPorts();
        if (row.device) serial.setDevice("COM1", *row.device);
        const std::size_t jobs = m.rawJobs().size();
        const std::size_t before = m.consoleText().size();
        std::vector<std::string> args = {"/testprint", "/model:RK-730P", "/wait:0", std::string("/log:") + kLog};
        if (row.force) args.push_back("/force");
        EXPECT_EQ(run(args), row.code) << row.shown;
        EXPECT_EQ(m.rawJobs().size(), jobs + (row.code == 0 ? 1 : 0)) << row.shown;
        EXPECT_EQ(serial.opened(), std::vector<std::string>{"COM1:"});
        const std::string shown = m.consoleText().substr(before);
        EXPECT_NE(shown.find(row.shown), std::string::npos) << shown;
        // Never "printed" for a printer that gave no status.
        EXPECT_EQ(shown.find("was printed"), std::string::npos) << shown;
    }
    expectLogged({"printer on COM1: at 9600,n,8,1: the port does not open (error 2, The system cannot find the file specified)\r\n"});
    // Followed out of the queue, a receipt sent unchecked is still unchecked.
    serial.setPrinter("COM1", "");
    EXPECT_EQ(run({"/testprint", "/model:RK-730P", "/wait:5", "/force"}), 0);
    EXPECT_NE(m.consoleText().rfind(unchecked), std::string::npos);
    m.setActiveCodePage(936);
    const std::size_t before = m.consoleText().size();
    EXPECT_EQ(run({"/testprint", "/model:RK-730P"}), 1603);
    EXPECT_EQ(run({"/testprint", "/model:RK-730P", "/force"}), 0);
    serial = FakeSerialPorts();
    EXPECT_EQ(run({"/testprint", "/model:RK-730P", "/force"}), 1603);
    const std::string chinese = m.consoleText().substr(before);
    for (const char* text :
         {"未发送测试小票：打印机 RK-730P（COM1:）不回答状态询问，无法知道它能否打印。请先检查：打印机已开机，连接线或网络已连接，"
          "地址正确。\r\n如确认打印机已就绪，可加 /force 仍然发送。\r\n",
          "测试小票已发送到 RK-730P（COM1:），但打印机不报告状态，无法知道是否已打印。请查看打印机是否出纸。\r\n",
          "未打印测试小票：端口 COM1: 无法打开（错误 2）：可能有其他程序（如收银软件）正在使用它，或该端口不存在。"
          "请关闭使用该端口的程序，然后再次运行 Kelp 打印测试小票。\r\n"})
        EXPECT_NE(chinese.find(text), std::string::npos) << text << chinese;
    m.setActiveCodePage(1252);
    serial.setPrinter("COM1", "\x1E\x32\x12\x72");
    run({"/testprint", "/model:RK-730P", std::string("/log:") + kLog});
    expectLogged({"printer on COM1: at 9600,n,8,1: paper out\r\n"});
    serial.setPrinter("COM1", "\x1E\x32\x12\x72");
    m.setActiveCodePage(936);
    EXPECT_EQ(run({"/testprint", "/model:RK-730P"}), 1603);
    EXPECT_NE(m.consoleText().find("未打印测试小票：打印机 RK-730P（COM1:）报告：缺纸。\r\n"), std::string::npos);
    // A printer on another kind of port is not asked over a COM port.
    ASSERT_EQ(run({"/install", "/model:RK-520P", "/port:LPT1:", "/quiet"}), 0);
    EXPECT_EQ(run({"/testprint", "/model:RK-520P", "/wait:0"}), 0);
    EXPECT_EQ(serial.opened().size(), 3u);
}

// /drawer: once the receipt has left the queue, a network or serial
// printer's drawer is kicked on a connection of its own and its sensor read
// before and after; any other printer gets the kick as a job. The exit code
// is the receipt's.
TEST_F(CommandLineTest, TestPrintKicksTheCashDrawer) {
    TcpIpPortConfig kitchen;
    kitchen.portName = "Kitchen";
    kitchen.host = "10.0.0.5";
    m.seedTcpIpPort(kitchen);
    ASSERT_EQ(run({"/install", "/model:RK-730P", "/port:Kitchen", "/quiet"}), 0);
    ASSERT_EQ(run({"/install", "/model:RK-520P", "/port:COM1:", "/quiet"}), 0);
    ASSERT_EQ(run({"/install", "/model:RK-730PN", "/port:USB001", "/quiet"}), 0);
    const std::string pin2("\x1bp\x00\x19\xfa", 5), pin5("\x1bp\x01\x19\xfa", 5);
    const std::string opened2 = "The cash drawer opened (pin 2): its sensor changed.\r\n";
    const std::string unchanged5 =
        "The kick was sent (pin 5); the drawer's sensor did not change (a drawer without a sensor cable does not report "
        "it): look at the drawer.\r\n";
    const std::string mute = "The kick was sent (pin 2), but the printer did not report its drawer: look at the drawer.\r\n";
    const struct {
        const char* model;
        int drawerPin;      // the network or serial printer's drawer: the m it opens at
        const char* answers;
        Args extra;
        int code;
        std::string shown;  // the drawer's line; empty: none
        std::string kicks;  // what reached the printer's drawer
    } rows[] = {
        {"RK-730P", 0, "\x12\x12\x12\x12", {"/drawer"}, 0, opened2, pin2},
        {"RK-730P", 0, "\x12\x12\x12\x12", {"/drawer:5"}, 0, unchanged5, pin5},
        {"RK-730P", 0, "\x1A\x32\x12\x72", {"/drawer"}, 1603, "", ""},  // paper out: no receipt, no kick
        {"RK-730P", 0, "", {"/drawer", "/force"}, 0, mute, pin2},
        {"RK-520P", 1, "\x16\x12\x12\x12", {"/drawer:5"}, 0, "The cash drawer opened (pin 5): its sensor changed.\r\n", pin5},
        {"RK-520P", 0, "\x16\x12\x12\x12", {"/drawer:5"}, 0, unchanged5, pin5},
        {"RK-730PN", -1, "", {"/drawer"}, 0,
         "The kick (pin 2) was sent to RK-730PN (USB001) as a job of its own: look at the drawer.\r\n", pin2},
    };
    for (const auto& row : rows) {
        FakeNetwork::Host host{ConnectOutcome::Connected, row.answers};
        host.drawerPin = row.drawerPin;
        net.setHost(kPrinterIp, host);
        FakeSerialPorts::Device device{row.answers};
        device.drawerPin = row.drawerPin;
        serial = FakeSerialPorts();
        serial.setDevice("COM1", device);
        const std::size_t jobs = m.rawJobs().size(), before = m.consoleText().size();
        const std::string sentBefore = net.sentTo(kPrinterIp);
        Args args = {"/testprint", std::string("/model:") + row.model, "/wait:5"};
        args.insert(args.end(), row.extra.begin(), row.extra.end());
        EXPECT_EQ(run(args), row.code) << row.model << " " << row.shown;
        const std::string shown = m.consoleText().substr(before);
        if (!row.shown.empty()) EXPECT_NE(shown.find(row.shown), std::string::npos) << shown;
        EXPECT_EQ(shown.find("(pin "), row.shown.empty() ? std::string::npos : shown.find("(pin ")) << shown;
        const std::string network = net.sentTo(kPrinterIp).substr(sentBefore.size());
        const std::string written = serial.writtenTo("COM1");
        const std::string usbJob = m.rawJobs().size() == jobs + 2 ? m.rawJobs().back().bytes : "";
        const std::string kicked = std::string(row.model) == "RK-730P"  ? network.substr(std::min(network.size(), network.find('\x1b')))
                                   : std::string(row.model) == "RK-520P" ? written.substr(std::min(written.size(), written.find('\x1b')))
                                                                         : usbJob;
        // The kick alone, followed by the sensor's reading.
        EXPECT_EQ(kicked.substr(0, row.kicks.size()), row.kicks) << row.model << " " << row.shown;
        EXPECT_EQ(kicked.empty(), row.kicks.empty()) << row.model;
    }
    expectLogged({"cash drawer (pin 2) of RK-730P on Kitchen: opened (its sensor changed)\r\n",
                  "cash drawer (pin 5) of RK-520P on COM1:: kick sent; its sensor did not change\r\n"},
                 "C:\\users\\kelp\\Temp\\Kelp.log");
    // Chinese.
    m.setActiveCodePage(936);
    FakeNetwork::Host host{ConnectOutcome::Connected, "\x12\x12\x12\x12"};
    host.drawerPin = 0;
    for (const auto& [pin, text] :
         {std::pair<const char*, const char*>{"/drawer", "钱箱已打开（引脚 2）：钱箱传感器状态已改变。\r\n"},
          {"/drawer:5", "已发送开钱箱信号（引脚 5），但钱箱传感器状态未改变（没有传感器连线的钱箱不会报告）：请查看钱箱是否已打开。\r\n"}}) {
        net.setHost(kPrinterIp, host);
        const std::size_t before = m.consoleText().size();
        EXPECT_EQ(run({"/testprint", "/model:RK-730P", pin}), 0);
        EXPECT_NE(m.consoleText().find(text, before), std::string::npos) << m.consoleText().substr(before);
    }
    // No lock when the drawer's turn comes: nothing is kicked.
    net.setHost(kPrinterIp, host);
    const std::size_t kicks = net.kicksTo(kPrinterIp).size();
    m.failWhen("acquirePrivateMutex", [n = std::make_shared<int>(0)](const Args&) { return (*n)++ >= 1; },
               winerr::NotEnoughMemory);
    m.failWhen("acquireNamedMutex", [](const Args&) { return true; }, winerr::NotEnoughMemory);
    EXPECT_EQ(run({"/testprint", "/model:RK-730P", "/drawer"}), 0);
    EXPECT_EQ(net.kicksTo(kPrinterIp).size(), kicks);
    // A COM port that does not open when the drawer's turn comes.
    m.clearFailures();
    serial = FakeSerialPorts();
    const DrawerOutcome closed = OpenCashDrawer(m, net, serial, "RK-520P", "COM1:", DrawerPin::Pin2, nullptr);
    EXPECT_EQ(closed.result, DrawerResult::NotSent);
    EXPECT_EQ(closed.error, winerr::FileNotFound);
}

// A USB printer's interface is asked for its status byte while its queue
// is idle: paper empty (0x20) holds the receipt back unless /force; the
// other bits are only logged; a status that cannot be read holds nothing
// back, and the outcome says so.
TEST_F(CommandLineTest, TestPrintAsksAUsbPrinterFirst) {
    ASSERT_EQ(run({"/install", "/model:RK-730PN", "/port:USB001", "/quiet"}), 0);
    const std::string printed = "The test receipt was printed on RK-730PN (USB001).";
    const std::string empty =
        "The test receipt was not sent: the USB printer RK-730PN (USB001) reports that it is out of paper. Put in a "
        "paper roll. Some USB interfaces report this wrongly: if the paper is in, the receipt can be printed anyway.\r\n"
        "Add /force to send it anyway once you have checked the printer.\r\n";
    const auto unread = [&](const char* error) {
        return printed + " (No status could be read from the USB printer (error " + error +
               "), so its paper was not checked first.)\r\n";
    };
    const struct {
        Result<std::uint32_t> status;
        std::uint32_t queued;
        bool force;
        int code;
        std::string shown;
        const char* logged;  // empty: not asked
    } rows[] = {
        {{0x18, 0}, 0, false, 0, printed + "\r\n", "status 24 (paper present, selected, no error)"},
        {{0x38, 0}, 0, false, 1603, empty, "status 56 (paper empty, selected, no error)"},
        {{0x38, 0}, 0, true, 0, printed + "\r\n", "status 56 (paper empty, selected, no error)"},
        {{0x20, 0}, 0, true, 0, printed + "\r\n", "status 32 (paper empty, not selected, error)"},
        {{0x00, 0}, 0, false, 0, printed + "\r\n", "status 0 (paper present, not selected, error)"},
        {{0, 5}, 0, false, 0, unread("5"), "no status read (error 5)"},
        {{0, 1}, 0, false, 0, unread("1"), "no status read (error 1)"},
        {{0x38, 0}, 1, false, 0, printed + "\r\n", ""},
    };
    for (const auto& row : rows) {
        m.setUsbPrinterStatus("usb001", row.status);
        m.setPrinterJobs("RK-730PN", row.queued);
        m.clearCalls();
        const std::size_t jobs = m.rawJobs().size(), before = m.consoleText().size();
        Args args = {"/testprint", "/model:RK-730PN", "/wait:5", std::string("/log:") + kLog};
        if (row.force) args.push_back("/force");
        EXPECT_EQ(run(args), row.code) << row.shown;
        EXPECT_EQ(m.rawJobs().size(), jobs + (row.code == 0 ? 1 : 0)) << row.shown;
        EXPECT_NE(m.consoleText().substr(before).find(row.shown), std::string::npos) << m.consoleText().substr(before);
        EXPECT_EQ(m.callsOf("usbPrinterStatus").size(), *row.logged ? 1u : 0u) << row.shown;
        if (*row.logged) expectLogged({std::string("USB printer on USB001: ") + row.logged + "\r\n"});
    }
    expectLogged({"USB printer on USB001 not asked: its queue holds 1 job(s)\r\n",
                  "step ask the USB printer on USB001 for its status (IOCTL_USBPRINT_GET_LPT_STATUS): 5 "});
    EXPECT_EQ(log().find("(IOCTL_USBPRINT_GET_LPT_STATUS): 0"), std::string::npos) << "a status read is no step";
    m.setPrinterJobs("RK-730PN", 0);
    m.setActiveCodePage(936);
    const std::size_t before = m.consoleText().size();
    m.setUsbPrinterStatus("USB001", {0x38, 0});
    EXPECT_EQ(run({"/testprint", "/model:RK-730PN"}), 1603);
    m.setUsbPrinterStatus("USB001", {0, 31});
    EXPECT_EQ(run({"/testprint", "/model:RK-730PN"}), 0);
    for (const char* text :
         {"未发送测试小票：USB 打印机 RK-730PN（USB001）报告缺纸。请装入纸卷。有些 USB 接口会误报缺纸：如确认已有纸，可以仍然打印。\r\n"
          "如确认打印机已就绪，可加 /force 仍然发送。\r\n",
          "测试小票已在 RK-730PN（USB001）上打印。（未能读取 USB 打印机的状态，错误 31，因此打印前未检查纸张。）\r\n"})
        EXPECT_NE(m.consoleText().find(text, before), std::string::npos) << m.consoleText().substr(before);
}

TEST_F(CommandLineTest, FindListsThePrintersThatAnswer) {
    net.setHost(0x0A00000A, FakeNetwork::NamedPrinter("RK-730PN", "Kelp Test", "SN 0010"));
    net.setRefusing(0x0A00000B);
    net.setPrinter(0x0A000014, "\x12\x12\x12\x72");
    net.setPrinter(0x0A00001E, "\x12\x12\x12\x12");  // says nothing of itself
    EXPECT_EQ(run({"/find:10.0.0.1-10.0.0.254", std::string("/log:") + kLog}), 0);
    // Each as soon as it is known: the model and serial number asked of a
    // printer that can print only.
    EXPECT_EQ(m.consoleText(), "printer\t10.0.0.20:9100\tpaper out\t\t\r\nprinter\t10.0.0.10:9100\tready\tRK-730PN\tSN 0010\r\n"
                               "printer\t10.0.0.30:9100\tready\t\t\r\n");
    expectLogged({"action find lang en\r\n", "search 10.0.0.1-10.0.0.254 on TCP 9100\r\n", "printer\t10.0.0.20:9100\tpaper out\t\t\r\n",
                  "printer\t10.0.0.10:9100\tready\tRK-730PN\tSN 0010\r\n",
                  "searched 254 addresses\r\n", "outcome 0"});
    EXPECT_FALSE(anyChange());
    // The largest range; none found is no failure.
    EXPECT_EQ(run({"/find:10.0.4.0-10.0.7.255"}), 0);
    EXPECT_EQ(net.batches().back().addresses.size(), 1024u);
    // Without a range: the adapters' networks.
    net.setAdapters({{{0xC0A80507, 24}}, 0});
    EXPECT_EQ(run({"/find"}), 0);
    EXPECT_EQ(net.batches().back().addresses.size(), 253u);
    EXPECT_EQ(net.batches().back().addresses.front(), 0xC0A80501u);
    // No adapter up: nothing to search, and nothing found is no failure.
    net.setAdapters({{}, 0});
    const std::size_t batches = net.batches().size();
    EXPECT_EQ(run({"/find", std::string("/log:") + kLog}), 0);
    expectLogged({"no network adapter is up: nothing to search\r\n"});
    net.setAdapters({{}, 5});
    EXPECT_EQ(run({"/find", "/log:C:\\logs\\find.log"}), 1603);
    EXPECT_EQ(net.batches().size(), batches);
    EXPECT_NE(m.fileContents("C:\\logs\\find.log").value_or("").find("The computer's network adapters cannot be read (error 5).\r\n"),
              std::string::npos);
    // This computer's network failing is no "nothing found", whether no
    // socket can be had or the wait fails.
    net.setAdapters({{{0xC0A80507, 24}}, 0});
    for (const std::uint32_t codePage : {1252u, 936u}) {
        if (codePage == 1252) net.failConnects(10093);
        if (codePage == 936) {
            net.failConnects(0);
            net.setHost(0xC0A80509, {ConnectOutcome::Failed, "", false, 0, 0});  // unreachable: no failure of ours
            net.failWaitAt(1, 10093);
            net.setHalfOpenLimit(10);  // no connect is started after the wait failed
        }
        m.setActiveCodePage(codePage);
        const std::size_t before = m.consoleText().size();
        EXPECT_EQ(run({"/find"}), 1603);
        EXPECT_EQ(m.consoleText().substr(before),
                  codePage == 1252
                      ? "This computer's network failed (error 10093) and the search is incomplete: an address not "
                        "listed may still have a printer.\r\n"
                      : "本机的网络功能出错（错误 10093），查找未完成：未列出的地址上也可能有打印机。\r\n");
        if (codePage == 936) EXPECT_EQ(net.batches().back().addresses.size(), 11u);  // 10 under way, .9 failed at once
    }
}

}  // namespace
}  // namespace kelp
