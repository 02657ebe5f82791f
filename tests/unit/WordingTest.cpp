#include <gtest/gtest.h>

#include "install/Wording.h"

namespace kelp {
namespace {

constexpr Language En = Language::English;
constexpr Language Zh = Language::Chinese;

// Every outcome in both languages, whole texts written out.
struct Row {
    const char* what;
    std::string english;
    std::string chinese;
    std::string expectedEnglish;
    std::string expectedChinese;
};

InstallationOutcome NetworkInstalled(PrinterState state) {
    InstallationOutcome outcome;
    outcome.port = "IP_10.0.0.9";
    outcome.networkPort.name = "IP_10.0.0.9";
    outcome.networkPort.made = true;
    outcome.printerState = state;
    outcome.report.printerInstalled = true;
    outcome.report.port = "IP_10.0.0.9";
    return outcome;
}

InstallationOutcome Stopped(InstallationStop stop, WinError error = 0) {
    InstallationOutcome outcome;
    outcome.stop = stop;
    outcome.error = error;
    return outcome;
}

TEST(WordingTest, EveryOutcomeInBothLanguages) {
    const auto state = [](PrinterState s, Language l) { return DescribePrinterStateAdvice(s, l); };
    const NetworkAddress address{"10.0.0.9", 9100};
    TcpIpPort notMade;
    notMade.problem = NetworkPortProblem::NotMade;
    notMade.error = 5;
    notMade.errorText = "Access is denied.";
    TcpIpPort noMonitor;
    noMonitor.problem = NetworkPortProblem::NoMonitor;
    noMonitor.error = 1796;
    TestReceiptOutcome refused;
    refused.result = TestReceiptResult::Withheld;
    refused.printerName = "RK-730P";
    refused.port = "IP_10.0.0.9";
    refused.state = PrinterState::Refused;
    TestReceiptOutcome busy;
    busy.result = TestReceiptResult::Busy;
    const CliRefusal host{CliProblem::Host, "", "", AddressProblem::Reserved};
    TestReceiptOutcome silent = refused;
    silent.state = PrinterState::NoAnswer;
    silent.address = NetworkAddress{"10.0.0.9", 9100};
    FoundPrinter moved{0x0A000017, PrinterState::Ready, {"Kelp Test", "RK-730P", "SN\x01""23"}};
    FoundPrinter unnamedSerial{0x0A0000FE, PrinterState::Ready, {"", "RK730P", ""}};
    MovedPrinterSearch several{MovedPrinterFind::Several, {moved, unnamedSerial}};
    MovedPrinterSearch back{MovedPrinterFind::AnswersAtItsAddress, {unnamedSerial}};
    const CliRefusal with{CliProblem::DoesNotGoWith, "host", "uninstall"};
    const auto drawer = [](DrawerResult result, DrawerPin pin) {
        DrawerOutcome outcome;
        outcome.result = result;
        outcome.pin = pin;
        outcome.printerName = "RK-730P";
        outcome.port = "IP_10.0.0.9";
        return outcome;
    };
    DrawerOutcome kickJobFailed = drawer(DrawerResult::JobFailed, DrawerPin::Pin2);
    kickJobFailed.job = {JobProblem::SpoolerStep, "StartDocPrinter", 5};
    const DrawerOutcome unchanged2 = drawer(DrawerResult::Unchanged, DrawerPin::Pin2);

    const Row rows[] = {
        // A state that can be put right says so; paper near its end and a
        // state unknown promise nothing; the others say what to check.
        {"ready", state(PrinterState::Ready, En), state(PrinterState::Ready, Zh), "ready", "就绪"},
        {"near end", state(PrinterState::PaperNearEnd, En), state(PrinterState::PaperNearEnd, Zh), "paper near its end",
         "纸将用尽"},
        {"no status", state(PrinterState::NoStatus, En), state(PrinterState::NoStatus, Zh),
         "answers without status (state unknown)", "可连接，但不报告状态"},
        {"paper out", state(PrinterState::PaperOut, En), state(PrinterState::PaperOut, Zh),
         "paper out: it will print once that is put right", "缺纸，排除后即可打印"},
        {"cover", state(PrinterState::CoverOpen, En), state(PrinterState::CoverOpen, Zh),
         "cover open: it will print once that is put right", "上盖打开，排除后即可打印"},
        {"offline", state(PrinterState::Offline, En), state(PrinterState::Offline, Zh),
         "offline: it will print once that is put right", "脱机，排除后即可打印"},
        {"error", state(PrinterState::Error, En), state(PrinterState::Error, Zh),
         "cutter or other error: it will print once that is put right", "切刀或其他错误，排除后即可打印"},
        {"no answer", state(PrinterState::NoAnswer, En), state(PrinterState::NoAnswer, Zh),
         "no answer: check that it is on, its cable or network connection, and its address",
         "无应答，请检查打印机是否已开机、连接线或网络连接以及地址"},
        {"refused", state(PrinterState::Refused, En), state(PrinterState::Refused, Zh),
         "nothing listens there (connection refused): something else is at that address: check the address and the "
         "TCP port",
         "该地址上没有程序接收打印数据（连接被拒绝），该地址上是其他设备：请检查地址和 TCP 端口"},
        {"no printer", state(PrinterState::NotAPrinter, En), state(PrinterState::NotAPrinter, Zh),
         "no receipt printer (it answers with something else than a status): check the address (the printer's "
         "self-test page shows it)",
         "不是小票打印机（应答的不是打印机状态），请检查地址（打印机自检页上有）"},
        // The wizard's network row and /host say the same of the same printer.
        {"network row", DescribeInstallation(NetworkInstalled(PrinterState::Refused), "RK-730P", En),
         DescribeInstallation(NetworkInstalled(PrinterState::PaperNearEnd), "RK-730P", Zh),
         "Driver installation completed\nPort: IP_10.0.0.9\nPrinter: nothing listens there (connection refused): "
         "something else is at that address: check the address and the TCP port",
         "驱动安装完成\n端口：IP_10.0.0.9\n打印机：纸将用尽"},
        {"/host", DescribeInstalledOn(NetworkInstalled(PrinterState::NotAPrinter), "RK-730P", address, false, En),
         DescribeInstalledOn(NetworkInstalled(PrinterState::Ready), "RK-730P", address, false, Zh),
         "The printer RK-730P is installed on IP_10.0.0.9 (10.0.0.9:9100, port made; the printer: no receipt printer "
         "(it answers with something else than a status): check the address (the printer's self-test page shows it)).",
         "已安装打印机 RK-730P，端口 IP_10.0.0.9（10.0.0.9:9100，新建的端口；打印机：就绪）。"},
        // One text for another run, whatever the operation and the door.
        {"busy install", DescribeInstallationStop(Stopped(InstallationStop::Busy), address, En, "C:\\k.log"),
         DescribeInstallationStop(Stopped(InstallationStop::Busy), address, Zh, "C:\\k.log"),
         "Another Kelp installation, removal or test receipt is running; nothing was changed. Please try again later.",
         "另一个 Kelp 安装、删除或测试打印正在进行，本次未做任何更改。请稍后再试。"},
        {"busy receipt", DescribeTestReceiptOutcome(busy, 30, En), DescribeRemoval(RemovalOutcome::Busy, "RK-730P", Zh),
         "Another Kelp installation, removal or test receipt is running; nothing was changed. Please try again later.",
         "另一个 Kelp 安装、删除或测试打印正在进行，本次未做任何更改。请稍后再试。"},
        {"refused receipt", DescribeTestReceiptOutcome(refused, 30, En), DescribeTestReceiptOutcome(refused, 30, Zh),
         "The test receipt was not printed: the printer RK-730P (IP_10.0.0.9) reports nothing listens there (connection "
         "refused).\nSomething else is at that address: check the printer's address and TCP port (its self-test page "
         "shows them), then install again on the right ones.",
         "未打印测试小票：打印机 RK-730P（IP_10.0.0.9）报告：该地址上没有程序接收打印数据（连接被拒绝）。\n"
         "该地址上是其他设备：请检查打印机的地址和 TCP 端口（打印机自检页上有），然后用正确的地址重新安装。"},
        // A stop that failed names the log; one that is no failure does not.
        {"port not made", DescribeInstallationStop([&] { auto o = Stopped(InstallationStop::NoNetworkPort, 5); o.networkPort = notMade; return o; }(), address, En, "C:\\k.log"),
         DescribeNetworkPortFailure(noMonitor, address, Zh),
         "The port for 10.0.0.9:9100 could not be made (error 5: Access is denied.).\nNothing was installed.\nThe log: "
         "C:\\k.log",
         "此系统没有“Standard TCP/IP Port”端口监视器，无法为 10.0.0.9:9100 创建端口。"},
        {"no port", DescribeInstallationStop(Stopped(InstallationStop::NoPort), address, En, "C:\\k.log"),
         DescribeInstallationStop(Stopped(InstallationStop::LockFailed, 6), address, Zh, ""),
         "There is no port to install the printer on. Please click \"Search Port...\", then select a port.",
         "无法开始安装（错误 6）。\n未安装打印机。"},
        {"waiting", DescribeWaiting({WaitFor::PrinterAnswer, "10.0.0.9:9100"}, En),
         DescribeWaiting({WaitFor::PrinterAnswer, "10.0.0.9:9100"}, Zh), "Asking the printer at 10.0.0.9:9100 ...",
         "正在询问打印机 10.0.0.9:9100 ……"},
        {"not waiting", DescribeWaiting({}, En), DescribeLogLine("", Zh), "", ""},
        // A printer that moved: looked for, asked about, or named.
        {"looking", DescribeWaiting({WaitFor::MovedPrinterSearch, "10.0.0.9:9100"}, En),
         DescribeWaiting({WaitFor::MovedPrinterSearch, "10.0.0.9:9100"}, Zh),
         "No printer answers at 10.0.0.9:9100: looking for it on this computer's networks ...",
         "10.0.0.9:9100 上没有打印机回答，正在本机所在的网络中查找这台打印机……"},
        {"move?", AskToMovePrinter(silent, moved, En), AskToMovePrinter(silent, unnamedSerial, Zh),
         "The printer RK-730P (IP_10.0.0.9) does not answer at 10.0.0.9:9100.\nOn this computer's networks a printer "
         "that names itself RK-730P answers at 10.0.0.23, serial number: SN\\x0123 (compare it with the serial number on "
         "the printer's self-test page).\nMove the printer RK-730P to 10.0.0.23 and print the test receipt there?",
         "打印机 RK-730P（IP_10.0.0.9）在 10.0.0.9:9100 上没有回答。\n本机所在的网络中，10.0.0.254 上有一台自称 RK730P "
         "的打印机回答，序列号：未提供（请与打印机自检页上的序列号核对）。\n要把打印机 RK-730P 改到 10.0.0.254 "
         "并在那里打印测试小票吗？"},
        {"several", DescribeMovedPrinterSearch(several, En), DescribeMovedPrinterSearch(several, Zh),
         "Printers of this model answer at other addresses on this computer's networks:\n10.0.0.23, serial number: "
         "SN\\x0123\n10.0.0.254, serial number: not given\nCompare their serial numbers with the one on the printer's "
         "self-test page, then install the printer again with the right address.",
         "本机所在的网络中，以下地址上有该型号的打印机回答：\n10.0.0.23，序列号：SN\\x0123\n10.0.0.254，序列号：未提供\n"
         "请将它们的序列号与打印机自检页上的序列号核对，然后用正确的地址重新安装打印机。"},
        {"back", DescribeMovedPrinterSearch(back, En), DescribeMovedPrinterSearch(back, Zh),
         "A printer answers at 10.0.0.254 now: run Kelp again to print a test receipt.",
         "现在 10.0.0.254 上有打印机回答：请再次运行 Kelp 打印测试小票。"},
        {"search failed", DescribeMovedPrinterSearch({MovedPrinterFind::Failed, {}, 10093}, En),
         DescribeMovedPrinterSearch({MovedPrinterFind::Failed, {}, 10050}, Zh),
         "The search for the printer on this computer's networks failed (error 10093).",
         "在本机所在的网络中查找这台打印机失败（错误 10050）。"},
        {"none, one", DescribeMovedPrinterSearch({MovedPrinterFind::One, {moved}}, En),
         DescribeMovedPrinterSearch({MovedPrinterFind::None}, Zh), "", ""},
        {"find hint", DescribeFindHint(En), DescribeFindHint(Zh),
         "If the printer got another address: Kelp.exe /find lists the printers on this network with their models.",
         "如果打印机换了地址：Kelp.exe /find 列出本网络中的打印机及其型号。"},
        // A USB port's state in the port list: unknown when it cannot be read.
        {"usb unknown", DescribeUsbPortState(std::nullopt, En), DescribeUsbPortState(std::nullopt, Zh), " (state unknown)",
         "（状态未知）"},
        {"usb", DescribeUsbPortState(true, En), DescribeUsbPortState(false, Zh), " (connected)", ""},
        // The wizard's Find and /find say the same of this computer's network.
        {"adapters", DescribeAdaptersUnreadable(10093, En), DescribeAdaptersUnreadable(10093, Zh),
         "The computer's network adapters cannot be read (error 10093).", "无法读取本机的网络适配器（错误 10093）。"},
        {"found one", DescribeSearch(SearchLine::Found, 1, En), DescribeSearch(SearchLine::CancelledFound, 2, Zh),
         "Found 1 printer. Click a printer to fill in its address.",
         "查找已取消。找到 2 台打印机。点击一台打印机即可填入它的地址。"},
        {"found none", DescribeSearch(SearchLine::CancelledFound, 2, En), DescribeSearch(SearchLine::NoneFound, 0, Zh),
         "The search was cancelled. Found 2 printers. Click a printer to fill in its address.",
         "未找到打印机。请确认打印机已开机并已连接到网络，或直接输入它的地址。"},
        // A log not written where asked: why, and where the lines go; a path
        // from outside cannot add a line; nothing for a log where asked.
        {"log beside", DescribeLogNotice({LogProblem::OpenElsewhere, "C:\\a\nb.log", 0, 0, "C:\\Kelp-1.log"}, En),
         DescribeLogNotice({LogProblem::OpenElsewhere, "C:\\k.log", 0, 0, "C:\\Kelp-1.log"}, Zh),
         "The log \"C:\\a\\x0Ab.log\" was not written: another program has it open. This run's log: C:\\Kelp-1.log",
         "未写入日志“C:\\k.log”：另一个程序正在使用它。本次运行的日志：C:\\Kelp-1.log"},
        {"log no code", DescribeLogNotice({LogProblem::CannotOpen, "C:\\k.log", 0, winerr::NoErrorCode, ""}, En),
         DescribeLogNotice({LogProblem::CannotOpen, "C:\\k.log", 0, 5, ""}, Zh),
         "The log \"C:\\k.log\" was not written: it cannot be opened (error no error code). This run keeps no log.",
         "未写入日志“C:\\k.log”：无法打开它（错误 5）。本次运行不保存日志。"},
        {"log refused", DescribeLogRefusal({LogProblem::LinkOnTheWay, "C:\\l\\k.log", 0, 0, ""}, En),
         DescribeLogNotice({LogProblem::None, "C:\\k.log", 0, 0, ""}, Zh),
         "/log \"C:\\l\\k.log\": a folder on its way is a link or a junction", ""},
        // The parser's refusals.
        {"host", DescribeWrongCommandLine(DescribeCliRefusal(host, En), En), DescribeCliRefusal(host, Zh),
         "Wrong command line: /host: No printer has this address: 0.x.x.x, multicast and reserved addresses (224.0.0.0 "
         "and above) cannot be used.",
         "/host：该地址不能是打印机的地址：0.x.x.x、组播地址和保留地址（224.0.0.0 及以上）都不可用。"},
        {"with", DescribeCliRefusal(with, En), DescribeCliRefusal(with, Zh), "/host does not go with /uninstall",
         "/host 不能与 /uninstall 一起使用"},
        {"argument", DescribeCliRefusal({CliProblem::UnexpectedArgument, "%2"}, En),
         DescribeCliRefusal({CliProblem::ModelMissing}, Zh), "unexpected argument \"%2\"", "缺少 /model"},
        {"failed", DescribeFailed("C:\\k.log", En), DescribeFailed("", Zh), "Failed; the log says which step: C:\\k.log",
         "失败。"},
        {"removal", DescribeRemoval(RemovalOutcome::Removed, "RK-730P", En),
         DescribeRemoval(RemovalOutcome::Failed, "RK-730P", Zh), "The printer RK-730P and its driver were removed.", ""},
        // Refused before anything changes: the rights (and how to get them) for
        // an installation and a removal; Windows on ARM.
        {"no rights", DescribeRemoval(RemovalOutcome::NoAdministrator, "RK-730P", En),
         DescribeInstallationStop(Stopped(InstallationStop::NoAdministrator), address, Zh, "C:\\k.log"),
         "Removing the printer needs administrator rights, and Kelp is not running as an administrator: nothing was "
         "changed.\nStart Kelp as an administrator: right-click Kelp.exe and choose \"Run as administrator\"; for the "
         "command line, use a command prompt opened with \"Run as administrator\".",
         "安装打印机需要管理员权限，而 Kelp 现在没有以管理员身份运行，未做任何更改。\n请以管理员身份启动 Kelp：右键单击 "
         "Kelp.exe，选择“以管理员身份运行”；命令行请在“以管理员身份运行”打开的命令提示符中使用。"},
        {"arm", DescribeInstallationStop(Stopped(InstallationStop::WindowsOnArm), address, En, "C:\\k.log"),
         DescribeRemoval(RemovalOutcome::NoAdministrator, "RK-730P", Zh),
         "This computer runs Windows on ARM (ARM64), which takes only ARM64 printer drivers, and this package has no "
         "driver for Windows on ARM. Nothing was changed.",
         "删除打印机需要管理员权限，而 Kelp 现在没有以管理员身份运行，未做任何更改。\n请以管理员身份启动 Kelp：右键单击 "
         "Kelp.exe，选择“以管理员身份运行”；命令行请在“以管理员身份运行”打开的命令提示符中使用。"},
        // What a printer named itself; nothing when it said nothing.
        {"named", DescribePrinterNamedItself({"Kelp", "RK-730PN\n", ""}, "RK-730P", true, En),
         DescribePrinterNamedItself({"Kelp", "", "SN 1"}, "RK-730P", true, Zh),
         "The printer names itself \"RK-730PN\\x0A\". That is not RK-730P: installed as RK-730P, as asked.", ""},
        {"notices", DescribePageNotice(PageNotice::SearchFirst, Zh), DescribePageNotice(PageNotice::OfferTestReceipt, Zh),
         "Please click \"Search Port...\",then select port!", "现在打印一张测试小票吗？"},
        // The cash drawer (the command line's and the wizard's tests show the others).
        {"drawer not reached", DescribeDrawerOutcome(drawer(DrawerResult::NotSent, DrawerPin::Pin5), En),
         DescribeDrawerOutcome(drawer(DrawerResult::NotSent, DrawerPin::Pin5), Zh),
         "The cash drawer was not kicked: the printer RK-730P (IP_10.0.0.9) could not be reached.",
         "未能打开钱箱：无法连接打印机 RK-730P（IP_10.0.0.9）。"},
        {"drawer job", DescribeDrawerOutcome(drawer(DrawerResult::SentAsJob, DrawerPin::Pin5), En),
         DescribeDrawerOutcome(kickJobFailed, Zh),
         "The kick (pin 5) was sent to RK-730P (IP_10.0.0.9) as a job of its own: look at the drawer.",
         "未能发送开钱箱信号：StartDocPrinter 失败（错误 5）。"},
        {"drawer busy", DescribeDrawerOutcome(drawer(DrawerResult::Busy, DrawerPin::Pin2), En),
         DescribeDrawerOutcome(drawer(DrawerResult::NoSensor, DrawerPin::Pin5), Zh),
         "Another Kelp installation, removal or test receipt is running; nothing was changed. Please try again later.",
         "已发送开钱箱信号（引脚 5），但打印机未报告钱箱状态：请查看钱箱是否已打开。"},
        {"drawer, pin 5 not reached", DescribeDrawerTrial(unchanged2, drawer(DrawerResult::NotSent, DrawerPin::Pin5), En),
         DescribeDrawerTrial(unchanged2, std::nullopt, Zh),
         "The cash drawer was not kicked: the printer RK-730P (IP_10.0.0.9) could not be reached.",
         "已发送开钱箱信号（引脚 2），但钱箱传感器状态未改变（没有传感器连线的钱箱不会报告）：请查看钱箱是否已打开。"},
        {"drawer switch", DescribeCliRefusal({CliProblem::DrawerPin}, En), DescribeCliRefusal({CliProblem::DrawerNeedsWait}, Zh),
         "/drawer must be /drawer, /drawer:2 or /drawer:5", "/drawer 需要跟踪测试小票的打印：不能与 /wait:0 一起使用"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.english, row.expectedEnglish) << row.what;
        EXPECT_EQ(row.chinese, row.expectedChinese) << row.what;
    }
}

}  // namespace
}  // namespace kelp
