#include "cli/CommandLineRun.h"

#include <algorithm>

#include "cli/CommandLine.h"
#include "install/TestReceipt.h"
#include "install/CashDrawer.h"
#include "install/UsbPrinterModel.h"
#include "install/AutomaticPort.h"
#include "install/DriverInstaller.h"
#include "install/Installation.h"
#include "install/ModelCatalogue.h"
#include "install/MovedPrinter.h"
#include "install/NetworkPrinter.h"
#include "install/Names.h"
#include "install/PortInventory.h"
#include "install/PrintJob.h"
#include "install/Removal.h"
#include "install/LoggingPlatform.h"
#include "install/RunLog.h"
#include "install/Session.h"
#include "install/Wording.h"

namespace kelp {

namespace {

constexpr Bilingual kUsage = {
    "用法：\r\n"
    "  Kelp.exe                          安装向导\r\n"
    "  Kelp.exe /?                       本说明\r\n"
    "  Kelp.exe /install   /model:<型号> [/lang:zh|en] [/port:auto|<端口>] [/default] [/log:<文件>] [/quiet]\r\n"
    "  Kelp.exe /install   /model:<型号> /host:<地址>[:<TCP 端口>] [/lang:zh|en] [/default] [/force] [/log:<文件>] [/quiet]\r\n"
    "  Kelp.exe /uninstall /model:<型号> [/log:<文件>] [/quiet]\r\n"
    "  Kelp.exe /testprint /model:<型号> [/wait:<秒>] [/force] [/drawer[:2|:5]] [/log:<文件>] [/quiet]\r\n"
    "  Kelp.exe /list      [/log:<文件>]\r\n"
    "  Kelp.exe /find[:<起始地址>-<结束地址>] [/log:<文件>]\r\n"
    "/install、/uninstall 需要管理员权限（以“以管理员身份运行”打开的命令提示符）；在 ARM 版 Windows 上不安装（本安装包没有 ARM64 驱动）。"
    "/default：同时为当前用户关闭 Windows 的“让 Windows 管理默认打印机”，并通知正在运行的程序。/list：已连接的 USB 打印机报告的型号在最后一列。\r\n"
    "/host：网络打印机的 IPv4 地址或主机名，TCP 端口默认为 9100；/force：现在找不到该主机名时仍然安装。/find：在本机网络（或给定的最多 1024 个地址）中查找 TCP 9100 端口上的打印机，每行：地址、状态、打印机自报的型号和序列号。\r\n"
    "/testprint /force：打印机不回答状态询问时仍发送测试小票（无法知道是否已打印）；缺纸、上盖打开、脱机、出错、断开连接或不是小票打印机时仍不发送。\r\n"
    "/testprint /drawer：测试小票打印后打开钱箱（引脚 2，或 /drawer:5 引脚 5），并读取钱箱传感器判断是否已打开。\r\n"
    "退出码：0 完成，87 命令行错误，1603 某一步失败（见日志），1618 另一个 Kelp 正在运行。\r\n",
    "Usage:\r\n"
    "  Kelp.exe                          the setup wizard\r\n"
    "  Kelp.exe /?                       this text\r\n"
    "  Kelp.exe /install   /model:<model> [/lang:zh|en] [/port:auto|<port>] [/default] [/log:<file>] [/quiet]\r\n"
    "  Kelp.exe /install   /model:<model> /host:<address>[:<tcp port>] [/lang:zh|en] [/default] [/force] [/log:<file>] [/quiet]\r\n"
    "  Kelp.exe /uninstall /model:<model> [/log:<file>] [/quiet]\r\n"
    "  Kelp.exe /testprint /model:<model> [/wait:<seconds>] [/force] [/drawer[:2|:5]] [/log:<file>] [/quiet]\r\n"
    "  Kelp.exe /list      [/log:<file>]\r\n"
    "  Kelp.exe /find[:<first address>-<last address>] [/log:<file>]\r\n"
    "/install and /uninstall need administrator rights (a command prompt opened with \"Run as administrator\"); nothing is installed on Windows on ARM (the package has no ARM64 driver). "
    "/default: also turns off Windows' \"Let Windows manage my default printer\" for this user and tells running programs. /list: the model a connected USB printer reports, in the last column.\r\n"
    "/host: a network printer's IPv4 address or host name, TCP port 9100 unless given; /force: installs even when the host name cannot be found now. /find: looks for printers on TCP port 9100 in this computer's networks (or in at most 1024 addresses given); each row: address, state, and the model and serial number the printer gives.\r\n"
    "/testprint /force: sends the test receipt to a printer that does not answer status requests (whether it printed cannot be told); never to one that is out of paper, open, offline, in error, hangs up or is no receipt printer.\r\n"
    "/testprint /drawer: once the test receipt has printed, opens the cash drawer (pin 2, or pin 5 with /drawer:5) and reads the drawer's sensor to tell whether it opened.\r\n"
    "Exit codes: 0 done, 87 wrong command line, 1603 a step failed (see the log), 1618 another Kelp run is busy.\r\n"};
// The same for a message box, whose proportional font aligns no columns and
// which wraps long lines: short lines (40 columns at most, a Chinese
// character counting two), the switches continued on indented lines.
constexpr Bilingual kUsageBox = {
    "用法：\r\n"
    "Kelp.exe（无参数）：安装向导\r\n"
    "Kelp.exe /?：本说明\r\n"
    "\r\n"
    "Kelp.exe /install /model:<型号>\r\n"
    "    [/lang:zh|en] [/port:auto|<端口>]\r\n"
    "    [/default] [/log:<文件>] [/quiet]\r\n"
    "Kelp.exe /install /model:<型号>\r\n"
    "    /host:<地址>[:<TCP 端口>]\r\n"
    "    [/lang:zh|en] [/default] [/force]\r\n"
    "    [/log:<文件>] [/quiet]\r\n"
    "Kelp.exe /uninstall /model:<型号>\r\n"
    "    [/log:<文件>] [/quiet]\r\n"
    "Kelp.exe /testprint /model:<型号>\r\n"
    "    [/wait:<秒>] [/force]\r\n"
    "    [/drawer[:2|:5]]\r\n"
    "    [/log:<文件>] [/quiet]\r\n"
    "    /force：打印机不回答状态询问时\r\n"
    "    仍发送（无法知道是否已打印）\r\n"
    "    /drawer：打印后打开钱箱\r\n"
    "Kelp.exe /list [/log:<文件>]\r\n"
    "Kelp.exe /find[:<起始地址>-<结束地址>]\r\n"
    "    [/log:<文件>]\r\n"
    "    每行：地址、状态、型号、序列号\r\n"
    "\r\n"
    "退出码：\r\n"
    "0 完成\r\n"
    "87 命令行错误\r\n"
    "1603 某一步失败（见日志）\r\n"
    "1618 另一个 Kelp 正在运行",
    "Usage:\r\n"
    "Kelp.exe without arguments: the wizard\r\n"
    "Kelp.exe /?: this text\r\n"
    "\r\n"
    "Kelp.exe /install /model:<model>\r\n"
    "    [/lang:zh|en] [/port:auto|<port>]\r\n"
    "    [/default] [/log:<file>] [/quiet]\r\n"
    "Kelp.exe /install /model:<model>\r\n"
    "    /host:<address>[:<tcp port>]\r\n"
    "    [/lang:zh|en] [/default] [/force]\r\n"
    "    [/log:<file>] [/quiet]\r\n"
    "Kelp.exe /uninstall /model:<model>\r\n"
    "    [/log:<file>] [/quiet]\r\n"
    "Kelp.exe /testprint /model:<model>\r\n"
    "    [/wait:<seconds>] [/force]\r\n"
    "    [/drawer[:2|:5]]\r\n"
    "    [/log:<file>] [/quiet]\r\n"
    "    /force: send it to a printer that\r\n"
    "    gives no status (unchecked)\r\n"
    "    /drawer: then open the cash drawer\r\n"
    "Kelp.exe /list [/log:<file>]\r\n"
    "Kelp.exe /find[:<address>-<address>]\r\n"
    "    [/log:<file>]\r\n"
    "    rows: address, state, model, serial\r\n"
    "\r\n"
    "Exit codes:\r\n"
    "0 done\r\n"
    "87 wrong command line\r\n"
    "1603 a step failed (see the log)\r\n"
    "1618 another Kelp run is busy"};

// The kind of a port as the port classification sees it.
const char* PortKind(const PortRecord& port) {
    const auto starts = [&](const char* prefix) { return port.name.rfind(prefix, 0) == 0; };
    if (starts("USB")) return "USB";
    if (IsTcpIpPort(port)) return "TCP/IP";
    if (starts("LPT")) return "LPT";
    if (starts("COM")) return "COM";
    if (starts("FILE")) return "FILE";
    return "other";
}

const char* ActionName(CliAction action) {
    switch (action) {
        case CliAction::Usage: return "usage";
        case CliAction::Install: return "install";
        case CliAction::Uninstall: return "uninstall";
        case CliAction::TestPrint: return "testprint";
        case CliAction::List: return "list";
        case CliAction::Find: return "find";
    }
    return "?";
}

class CommandLineRun {
public:
    CommandLineRun(Platform& machine, Network& network, SerialPorts& serialPorts, RunLog& log, const CliCommand& command,
                   Language language)
        : machine_(machine), platform_(machine, log, language), network_(network), serialPorts_(serialPorts), log_(log),
          command_(command), language_(language) {}

    int run();

private:
    int install(const ModelRow& model);
    int uninstall(const ModelRow& model);
    int testPrint(const ModelRow& model);
    void kickDrawer(const TestReceiptOutcome& receipt);
    int list();
    int find();
    int failed();
    int searchFailed(const std::string& text);
    // A line for the log, and the console when the log echoes to it.
    void say(const std::string& text);

    Platform& machine_;
    LoggingPlatform platform_;
    Network& network_;
    SerialPorts& serialPorts_;
    RunLog& log_;
    const CliCommand& command_;
    Language language_;
};

// A text of several lines (an installation's failures) goes line by line.
void CommandLineRun::say(const std::string& text) {
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        log_.line(text.substr(start, end - start));
        start = end + 1;
    }
}

// /find's console has its rows only: a search that failed is said there too.
int CommandLineRun::searchFailed(const std::string& text) {
    machine_.consoleWrite(text + "\r\n");
    say(text);
    return failed();
}

int CommandLineRun::failed() {
    say(DescribeFailed(log_.written() ? log_.path() : "", language_));
    return exitcode::InstallFailure;
}

int CommandLineRun::run() {
    if (command_.action == CliAction::List) return list();
    if (command_.action == CliAction::Find) return find();
    const ModelRow* model = ModelCatalogue::row(command_.modelRow);
    if (!model) return exitcode::InvalidCommandLine;  // the parser answers only known rows
    switch (command_.action) {
        case CliAction::Install: return install(*model);
        case CliAction::Uninstall: return uninstall(*model);
        case CliAction::TestPrint: return testPrint(*model);
        default: return exitcode::InstallFailure;
    }
}

// The engine installs; the command line says what came of it: the port,
// and why it is that one.
int CommandLineRun::install(const ModelRow& model) {
    const std::string name = model.displayName;
    InstallationRequest request;
    request.choices.language = language_;
    request.choices.modelRow = command_.modelRow;
    request.choices.defaultPrinter = command_.defaultPrinter;
    request.packageRoot = machine_.moduleDirectory();
    request.namedBy = "port named on the command line";
    request.force = command_.force;
    if (command_.host) {
        request.portChoice = PortChoice::Network;
        request.address = *command_.host;
    } else if (command_.port) {
        request.portChoice = PortChoice::Named;
        request.port = *command_.port;
    }
    const InstallationOutcome outcome = InstallPrinter(platform_, network_, request, &log_);
    switch (outcome.stop) {
        case InstallationStop::None: break;
        case InstallationStop::Busy: say(DescribeAnotherRun(language_)); return exitcode::AlreadyRunning;
        case InstallationStop::UnknownPort:
            say(DescribeUnknownPort(*command_.port, language_));
            return exitcode::InvalidCommandLine;
        case InstallationStop::NoPort: say(DescribeNoAutomaticPort(language_)); return failed();
        case InstallationStop::NoNetworkPort:
            say(DescribeNetworkPortFailure(outcome.networkPort, request.address, language_));
            return failed();
        case InstallationStop::NameNotFound:
            say(DescribeNameNotFound(request.address.host, outcome.error, language_));
            return failed();
        case InstallationStop::AddressRefused:
            say(DescribeWrongCommandLine(DescribeHostRefused(request.address.host, outcome, language_), language_));
            return exitcode::InvalidCommandLine;
        case InstallationStop::NoAdministrator:
        case InstallationStop::WindowsOnArm:
            say(DescribeInstallationStop(outcome, request.address, language_));
            return exitcode::InstallFailure;
        default: return failed();  // the engine logged why
    }
    // What the printer named itself, before what was installed for it.
    const bool otherModel = outcome.namedModelRow >= 0 && outcome.namedModelRow != command_.modelRow;
    if (const std::string named = DescribePrinterNamedItself(outcome.printerIdentity, name, otherModel, language_);
        !named.empty())
        say(named);
    // The report below names every failed step; the wizard's immediate
    // registry message would only repeat it.
    const InstallReport& report = outcome.report;
    const std::string described = DescribeInstallReport(report, name, language_);
    if (!described.empty()) say(described);
    if (!report.succeeded()) return failed();
    say(DescribeInstalledOn(outcome, name, request.address, request.portChoice == PortChoice::Named, language_));
    return exitcode::Success;
}

// The engine removes; the command line says what came of it.
int CommandLineRun::uninstall(const ModelRow& model) {
    const std::string name = model.displayName;
    const RemovalOutcome outcome = RemoveModel(platform_, name, &log_);
    if (const std::string text = DescribeRemoval(outcome, name, language_); !text.empty()) say(text);
    switch (outcome) {
        case RemovalOutcome::NotInstalled:
        case RemovalOutcome::Removed:
        case RemovalOutcome::DriverLeftInUse: return exitcode::Success;
        case RemovalOutcome::Busy: return exitcode::AlreadyRunning;
        case RemovalOutcome::NoAdministrator: return exitcode::InstallFailure;  // said above
        case RemovalOutcome::LockFailed:
        case RemovalOutcome::Failed: break;
    }
    return failed();
}

// The engine prints (a printer that can be asked is asked first); the
// command line says what came of it.
int CommandLineRun::testPrint(const ModelRow& model) {
    const std::string name = model.displayName;
    TestReceiptRequest request;
    request.modelRow = command_.modelRow;
    request.language = language_;
    request.waitSeconds = command_.waitSeconds;
    request.force = command_.force;
    const TestReceiptOutcome outcome = PrintTestReceipt(platform_, network_, serialPorts_, request, &log_);
    // The same words as the wizard's box, the system's text for a failed step included.
    const WinError systemError = TestReceiptSystemError(outcome);
    std::string text = DescribeTestReceiptOutcome(outcome, command_.waitSeconds, language_,
                                                  systemError ? machine_.errorText(systemError, language_) : "");
    if (outcome.result == TestReceiptResult::NeedsConfirmation || outcome.result == TestReceiptResult::UsbPaperEmpty)
        text += "\n" + DescribeForceHint(language_);
    // The command line does not search unasked: it says how to look.
    if (PrinterMayHaveMoved(outcome)) text += "\n" + DescribeFindHint(language_);
    say(text);
    if (command_.drawer) kickDrawer(outcome);
    switch (outcome.result) {
        case TestReceiptResult::Busy: return exitcode::AlreadyRunning;
        case TestReceiptResult::Sent:
        case TestReceiptResult::SentUnchecked:
        case TestReceiptResult::Printed: return exitcode::Success;
        default: return failed();
    }
}

// The cash drawer, once the receipt has left the queue (printed, or sent
// unchecked and followed out of it); its outcome does not change the exit
// code: the receipt printed.
void CommandLineRun::kickDrawer(const TestReceiptOutcome& receipt) {
    if (receipt.result != TestReceiptResult::Printed && receipt.result != TestReceiptResult::SentUnchecked) {
        log_.line("cash drawer: not kicked, the test receipt did not print");
        return;
    }
    const DrawerOutcome drawer =
        OpenCashDrawer(platform_, network_, serialPorts_, receipt.printerName, receipt.port, *command_.drawer, &log_);
    say(DescribeDrawerOutcome(drawer, language_));
}

// Tab-separated lines: the models, the ports with their kind, and the
// printers of this package's models with their ports. A text from the
// spooler is escaped, its tabs too: it can make no row or column of its own.
int CommandLineRun::list() {
    const auto cell = [](const std::string& text) { return OutsideText(text); };
    std::string text;
    for (const auto& model : ModelCatalogue::rows()) text += std::string("model\t") + model.displayName + "\r\n";
    const auto ports = platform_.enumPorts();
    // A USB port's fourth column: whether a printer is connected to it now.
    std::optional<Result<std::vector<UsbPrinterInterface>>> usb;
    for (const auto& port : ports.value) {
        text += "port\t" + cell(port.name) + "\t" + PortKind(port);
        if (std::string(PortKind(port)) == "USB") {
            if (!usb) usb = platform_.usbPrinterInterfaces();
            const auto connected = usb->ok() ? UsbPortConnected(port.name, usb->value) : std::nullopt;
            text += connected ? (*connected ? "\tconnected" : "\tnot connected") : "\tunknown";
            // The last (sixth) column: the model the printer there names.
            if (usb->ok())
                if (const std::string model = ModelOnUsbPort(port.name, usb->value).shown; !model.empty())
                    text += "\t\t" + cell(model);
        } else if (std::string(PortKind(port)) == "TCP/IP") {
            // The fifth column: where the port points.
            const auto config = platform_.tcpIpPortConfig(port.name);
            text += "\t\t" + (config.ok() ? cell(config.value.host) + ":" + std::to_string(static_cast<int>(config.value.tcpPort)) : "unknown");
        }
        text += "\r\n";
    }
    const auto printers = platform_.enumPrinters();
    for (const auto& printer : printers.value) {
        for (const auto& model : ModelCatalogue::rows()) {
            if (SameName(printer.name, model.displayName)) text += "printer\t" + cell(printer.name) + "\t" + cell(printer.port) + "\r\n";
        }
    }
    machine_.consoleWrite(text);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        log_.line(text.substr(start, end - start));
        start = end + 2;
    }
    if (!ports.ok() || !printers.ok()) return failed();
    return exitcode::Success;
}

// One line per printer that accepts a connection on TCP 9100: the address,
// what its status says, in English for scripts, as /list's columns, and the
// model name and serial number it gave.
int CommandLineRun::find() {
    std::vector<Ipv4Range> ranges;
    if (command_.findRange) {
        ranges = {*command_.findRange};
    } else {
        WinError error = winerr::Success;
        ranges = AdapterScanRanges(network_, &error);
        if (error != winerr::Success) return searchFailed(DescribeAdaptersUnreadable(error, language_));
    }
    std::size_t count = 0;
    for (const auto& range : ranges) {
        count += range.last - range.first + 1;
        log_.line("search " + FormatIpv4(range.first) + "-" + FormatIpv4(range.last) + " on TCP " +
                  std::to_string(int{RawTcpPort}));
    }
    if (ranges.empty()) log_.line("no network adapter is up: nothing to search");
    // Each row as soon as its printer's state is known.
    WinError failure = winerr::Success;
    FindPrinters(
        network_, ranges, {},
        [this](const FoundPrinter& printer) {
            // Then the model name and the serial number it gave (empty when unsaid).
            const std::string row = "printer\t" + FormatIpv4(printer.address) + ":" + std::to_string(int{RawTcpPort}) +
                                    "\t" + DescribePrinterState(printer.state, Language::English) + "\t" +
                                    OutsideText(printer.identity.model) + "\t" + OutsideText(printer.identity.serial);
            machine_.consoleWrite(row + "\r\n");
            log_.line(row);
        },
        &failure);
    log_.line("searched " + std::to_string(static_cast<int>(count)) + " addresses");
    if (failure == winerr::Success) return exitcode::Success;
    return searchFailed(DescribeSearchFailure(failure, language_));
}

}  // namespace

int RunCommandLine(Platform& platform, Network& network, SerialPorts& serialPorts,
                   const std::vector<std::string>& arguments) {
    const CliParse parse = ParseCommandLine(arguments);
    const Language language = parse.language.value_or(LanguageForCodePage(platform.activeCodePage()));
    const bool named = !parse.logPath.empty();
    RunLog log(platform, named ? parse.logPath : DefaultLogPath(platform), language, named);
    // A /log that cannot be used is a wrong command line, said where it can
    // be seen (there is no log to say it in), /quiet or not.
    if (log.refused()) {
        platform.consoleWrite(DescribeWrongCommandLine(DescribeLogRefusal(log.trouble(), language), language) + "\r\n");
        if (!parse.quiet) platform.consoleWrite(kUsage.in(language));
        return exitcode::InvalidCommandLine;
    }
    // A log beside the one asked for starts with why.
    const std::string notice = DescribeLogNotice(log.trouble(), language);
    if (!log.trouble().beside.empty()) log.line(notice);
    // Each argument quoted, as it arrived.
    std::string line = "Kelp 4.0 command line:";
    for (const auto& argument : arguments) line += " " + QuotedText(argument);
    log.line(line + " (user " + OutsideText(platform.userName()) + ")");

    // The steps go to the console too, unless quiet; /list and /find print
    // their own lines. That no log is kept is said even when quiet.
    const bool listing =
        parse.command && (parse.command->action == CliAction::List || parse.command->action == CliAction::Find);
    if (!notice.empty() && (!parse.quiet || !log.writable())) platform.consoleWrite(notice + "\r\n");
    if (!parse.quiet && !listing) log.setEcho([&platform](const std::string& text) { platform.consoleWrite(text); });

    int code = exitcode::Success;
    if (!parse.command) {
        log.line(DescribeWrongCommandLine(DescribeCliRefusal(parse.refusal, language), language));
        code = exitcode::InvalidCommandLine;
    } else if (parse.command->action == CliAction::Usage) {
        log.setEcho({});
        // Without a console a box shows it, unless nobody could see the box.
        if (!platform.consoleWrite(kUsage.in(language))) {
            if (WindowsCanBeSeen(platform)) {
                platform.messageBoxWithoutWindow("Kelp", kUsageBox.in(language));
            } else {
                const std::string usage = kUsage.in(language);
                for (std::size_t start = 0; start < usage.size();) {
                    const std::size_t end = usage.find("\r\n", start);
                    log.line(usage.substr(start, end - start));
                    start = end + 2;
                }
            }
        }
    } else {
        log.line(std::string("action ") + ActionName(parse.command->action) +
                 (parse.command->modelRow >= 0 ? std::string(" model ") + ModelCatalogue::row(parse.command->modelRow)->displayName : "") +
                 " lang " + (language == Language::English ? "en" : "zh") +
                 (parse.command->action == CliAction::Install
                      ? (parse.command->host ? " host " + OutsideText(FormatAddress(*parse.command->host))
                                             : " port " + OutsideText(parse.command->port.value_or("auto"))) +
                            (parse.command->defaultPrinter ? " default" : "")
                      : std::string()));
        CommandLineRun run(platform, network, serialPorts, log, *parse.command, language);
        code = run.run();
    }
    // A wrong command line, whether the parser or the machine found it out
    // (a port that is not there), is answered with the usage.
    if (code == exitcode::InvalidCommandLine && !parse.quiet) platform.consoleWrite(kUsage.in(language));
    log.line("outcome " + std::to_string(code));
    if (!parse.quiet && !listing && code != exitcode::Success && log.written())
        platform.consoleWrite(DescribeLogIs(log.path(), language) + "\r\n");
    return code;
}

}  // namespace kelp
