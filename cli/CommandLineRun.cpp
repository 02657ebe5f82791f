#include "cli/CommandLineRun.h"

#include <algorithm>

#include "cli/CommandLine.h"
#include "install/TestReceipt.h"
#include "install/AutomaticPort.h"
#include "install/DriverInstaller.h"
#include "install/Installation.h"
#include "install/ModelCatalogue.h"
#include "install/NetworkPrinter.h"
#include "install/Names.h"
#include "install/PortInventory.h"
#include "install/PrintJob.h"
#include "install/Removal.h"
#include "install/RunLog.h"
#include "install/Session.h"

namespace kelp {

namespace {

constexpr Bilingual kUsage = {
    "用法：\r\n"
    "  Kelp.exe                          安装向导\r\n"
    "  Kelp.exe /?                       本说明\r\n"
    "  Kelp.exe /install   /model:<型号> [/lang:zh|en] [/port:auto|<端口>] [/default] [/log:<文件>] [/quiet]\r\n"
    "  Kelp.exe /install   /model:<型号> /host:<地址>[:<TCP 端口>] [/lang:zh|en] [/default] [/force] [/log:<文件>] [/quiet]\r\n"
    "  Kelp.exe /uninstall /model:<型号> [/log:<文件>] [/quiet]\r\n"
    "  Kelp.exe /testprint /model:<型号> [/wait:<秒>] [/log:<文件>] [/quiet]\r\n"
    "  Kelp.exe /list      [/log:<文件>]\r\n"
    "  Kelp.exe /find[:<起始地址>-<结束地址>] [/log:<文件>]\r\n"
    "/host：网络打印机的 IPv4 地址或主机名，TCP 端口默认为 9100；/force：现在找不到该主机名时仍然安装。/find：在本机网络（或给定的最多 1024 个地址）中查找 TCP 9100 端口上的打印机。\r\n"
    "退出码：0 完成，87 命令行错误，1603 某一步失败（见日志），1618 另一个 Kelp 正在运行。\r\n",
    "Usage:\r\n"
    "  Kelp.exe                          the setup wizard\r\n"
    "  Kelp.exe /?                       this text\r\n"
    "  Kelp.exe /install   /model:<model> [/lang:zh|en] [/port:auto|<port>] [/default] [/log:<file>] [/quiet]\r\n"
    "  Kelp.exe /install   /model:<model> /host:<address>[:<tcp port>] [/lang:zh|en] [/default] [/force] [/log:<file>] [/quiet]\r\n"
    "  Kelp.exe /uninstall /model:<model> [/log:<file>] [/quiet]\r\n"
    "  Kelp.exe /testprint /model:<model> [/wait:<seconds>] [/log:<file>] [/quiet]\r\n"
    "  Kelp.exe /list      [/log:<file>]\r\n"
    "  Kelp.exe /find[:<first address>-<last address>] [/log:<file>]\r\n"
    "/host: a network printer's IPv4 address or host name, TCP port 9100 unless given; /force: installs even when the host name cannot be found now. /find: looks for printers on TCP port 9100 in this computer's networks (or in at most 1024 addresses given).\r\n"
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
    "    [/wait:<秒>] [/log:<文件>] [/quiet]\r\n"
    "Kelp.exe /list [/log:<文件>]\r\n"
    "Kelp.exe /find[:<起始地址>-<结束地址>]\r\n"
    "    [/log:<文件>]\r\n"
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
    "    [/wait:<seconds>] [/log:<file>]\r\n"
    "    [/quiet]\r\n"
    "Kelp.exe /list [/log:<file>]\r\n"
    "Kelp.exe /find[:<address>-<address>]\r\n"
    "    [/log:<file>]\r\n"
    "\r\n"
    "Exit codes:\r\n"
    "0 done\r\n"
    "87 wrong command line\r\n"
    "1603 a step failed (see the log)\r\n"
    "1618 another Kelp run is busy"};
constexpr Bilingual kWrongCommandLine = {"命令行错误：", "Wrong command line: "};
constexpr Bilingual kAlreadyRunning = {"另一个 Kelp 安装、删除或测试打印正在进行，本次未做任何更改。",
                                       "Another Kelp installation, removal or test receipt is running; nothing was changed."};
constexpr Bilingual kInstalledOn = {"已安装打印机 %1，端口 %2。", "The printer %1 is installed on %2."};
constexpr Bilingual kInstalledOnBy = {"已安装打印机 %1，端口 %2（%3）。", "The printer %1 is installed on %2 (%3)."};
constexpr Bilingual kNamedPort = {"命令行指定的端口", "the port named on the command line"};
constexpr Bilingual kExistingPort = {"打印机已在此端口上", "the printer was there already"};
constexpr Bilingual kNoAutomaticPort = {"没有可自动选择的端口。", "There is no port to choose automatically."};
constexpr Bilingual kUnknownPort = {"没有这个端口：", "No such port: "};
constexpr Bilingual kRemoved = {"已删除打印机 %1 及其驱动。", "The printer %1 and its driver were removed."};
constexpr Bilingual kNotInstalled = {"%1 未安装，无需删除。", "%1 is not installed: nothing to remove."};
constexpr Bilingual kNoPrinter = {"打印机 %1 不存在。", "There is no printer %1."};
constexpr Bilingual kReceiptSent = {"测试小票已发送到 %1（%2）。", "A test receipt was sent to %1 (%2)."};
constexpr Bilingual kReceiptPrinted = {"测试小票已从 %1（%2）的打印队列中打印出去。",
                                       "The test receipt for %1 (%2) has left the print queue."};
constexpr Bilingual kFailed = {"失败，详见日志：", "Failed; the log says which step: "};
constexpr Bilingual kLogIs = {"日志：", "Log: "};
constexpr Bilingual kFailedNoLog = {"失败。", "Failed."};
constexpr Bilingual kNetworkPort = {"%1，%2的端口；打印机：%3", "%1, port %2; the printer: %3"};
constexpr Bilingual kPortMade = {"新建", "made"};
constexpr Bilingual kPortReused = {"已有", "reused"};
constexpr Bilingual kPrintsOnceOn = {"（打印机开机并连接后即可打印）", " (it will print once it is on and connected)"};
// %1 the host name, %2 the error.
constexpr Bilingual kNameNotFound = {
    "现在在此网络上找不到主机名 %1（错误 %2），未做任何更改。请检查名称的拼写；若打印机的名称稍后才登记到网络中，可加 /force 仍然安装。",
    "The host name %1 cannot be found on this network now (error %2); nothing was changed. Check its spelling; if the "
    "printer's name will be registered on the network later, add /force to install it anyway."};
constexpr Bilingual kNameNotFoundYet = {"现在在此网络上找不到它的名称（名称登记后即可打印）",
                                        "its name cannot be found on this network now (it will print once the name is registered)"};
constexpr Bilingual kNotSent = {"打印机 %1（%2）现在不能打印：%3。测试小票未发送。",
                                "The printer %1 (%2) cannot print now: %3. The test receipt was not sent."};
constexpr Bilingual kPortUnreadable = {
    "打印机 %1（%2）的端口设置无法读取（错误 %3），无法先询问打印机。测试小票未发送。",
    "The settings of the port %2 of the printer %1 cannot be read (error %3), so the printer could not be asked first. The test receipt was not sent."};
constexpr Bilingual kNoAdapters = {"无法读取本机的网络适配器（错误 %1）。", "The computer's network adapters cannot be read (error %1)."};

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
    say(log_.written() ? std::string(kFailed.in(language_)) + log_.path() : kFailedNoLog.in(language_));
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
        case InstallationStop::Busy: say(kAlreadyRunning.in(language_)); return exitcode::AlreadyRunning;
        case InstallationStop::UnknownPort:
            say(std::string(kWrongCommandLine.in(language_)) + kUnknownPort.in(language_) + *command_.port);
            return exitcode::InvalidCommandLine;
        case InstallationStop::NoPort: say(kNoAutomaticPort.in(language_)); return failed();
        case InstallationStop::NameNotFound:
            say(Fill(kNameNotFound.in(language_), {request.address.host, ErrorNumber(outcome.error, language_)}));
            return failed();
        case InstallationStop::AddressRefused:
            say(std::string(kWrongCommandLine.in(language_)) + (language_ == Language::English ? "/host: " : "/host：") +
                DescribeRefusedAddress(request.address.host, outcome.hostAddress.value_or(0), outcome.addressProblem, language_));
            return exitcode::InvalidCommandLine;
        default: return failed();  // the engine logged why
    }
    // The report below names every failed step; the wizard's immediate
    // registry message would only repeat it.
    const InstallReport& report = outcome.report;
    const std::string described = DescribeInstallReport(report, name, language_);
    if (!described.empty()) say(described);
    if (!report.succeeded()) return failed();
    std::string why = outcome.rule ? DescribePortRule(*outcome.rule, name, language_, outcome.port) : std::string();
    if (request.portChoice == PortChoice::Named) why = kNamedPort.in(language_);
    if (outcome.keptExistingPort) why = kExistingPort.in(language_);
    if (request.portChoice == PortChoice::Network) {
        // A printer whose name could not be found (/force) was not asked.
        const auto state = outcome.printerState;
        why = Fill(kNetworkPort.in(language_),
                   {FormatAddress(request.address), (outcome.networkPort.made ? kPortMade : kPortReused).in(language_),
                    !state ? std::string(kNameNotFoundYet.in(language_))
                           : DescribePrinterState(*state, language_) +
                                 (state == PrinterState::NoAnswer ? kPrintsOnceOn.in(language_) : "")});
    }
    say(Fill((why.empty() ? kInstalledOn : kInstalledOnBy).in(language_),
             {name, report.port.empty() ? outcome.port : report.port, why}));
    return exitcode::Success;
}

// The engine removes; the command line says what came of it.
int CommandLineRun::uninstall(const ModelRow& model) {
    const std::string name = model.displayName;
    switch (RemoveModel(platform_, name, &log_)) {
        case RemovalOutcome::NotInstalled: say(Fill(kNotInstalled.in(language_), {name})); return exitcode::Success;
        case RemovalOutcome::Removed: say(Fill(kRemoved.in(language_), {name})); return exitcode::Success;
        case RemovalOutcome::Busy: say(kAlreadyRunning.in(language_)); return exitcode::AlreadyRunning;
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
    const TestReceiptOutcome outcome = PrintTestReceipt(platform_, network_, serialPorts_, request, &log_);
    switch (outcome.result) {
        case TestReceiptResult::Busy: say(kAlreadyRunning.in(language_)); return exitcode::AlreadyRunning;
        case TestReceiptResult::LockFailed: return failed();
        case TestReceiptResult::NoPrinter: say(Fill(kNoPrinter.in(language_), {name})); return failed();
        case TestReceiptResult::PortUnreadable:
            say(Fill(kPortUnreadable.in(language_), {name, outcome.port, ErrorNumber(outcome.error, language_)}));
            return failed();
        case TestReceiptResult::Withheld:
            say(Fill(kNotSent.in(language_), {name, outcome.port, DescribePrinterState(*outcome.state, language_)}));
            return failed();
        case TestReceiptResult::JobFailed:
            say(DescribePrintJobReport(outcome.job, command_.waitSeconds, language_));
            return failed();
        case TestReceiptResult::Sent: say(Fill(kReceiptSent.in(language_), {name, outcome.port})); break;
        case TestReceiptResult::Printed: say(Fill(kReceiptPrinted.in(language_), {name, outcome.port})); break;
    }
    return exitcode::Success;
}

// Tab-separated lines: the models, the ports with their kind, and the
// printers of this package's models with their ports. A text from the
// spooler is escaped, its tabs too: it can make no row or column of its own.
int CommandLineRun::list() {
    const auto cell = [](const std::string& text) { return EscapedText(text, "\t"); };
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

// One line per printer that accepts a connection on TCP 9100: the address
// and what its status says, in English for scripts, as /list's columns.
int CommandLineRun::find() {
    std::vector<Ipv4Range> ranges;
    if (command_.findRange) {
        ranges = {*command_.findRange};
    } else {
        WinError error = winerr::Success;
        ranges = AdapterScanRanges(network_, &error);
        if (error != winerr::Success) return searchFailed(Fill(kNoAdapters.in(language_), {ErrorNumber(error, language_)}));
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
            const std::string row = "printer\t" + FormatIpv4(printer.address) + ":" + std::to_string(int{RawTcpPort}) +
                                    "\t" + DescribePrinterState(printer.state, Language::English);
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
        platform.consoleWrite(std::string(kWrongCommandLine.in(language)) + log.refusal() + "\r\n");
        if (!parse.quiet) platform.consoleWrite(kUsage.in(language));
        return exitcode::InvalidCommandLine;
    }
    // Each argument quoted, as it arrived.
    std::string line = "Kelp 4.0 command line:";
    for (const auto& argument : arguments) line += " " + QuotedText(argument);
    log.line(line + " (user " + platform.userName() + ")");

    // The steps go to the console too, unless quiet; /list and /find print
    // their own lines. That no log is kept is said even when quiet.
    const bool listing =
        parse.command && (parse.command->action == CliAction::List || parse.command->action == CliAction::Find);
    if (!log.notice().empty() && (!parse.quiet || !log.writable())) platform.consoleWrite(log.notice() + "\r\n");
    if (!parse.quiet && !listing) log.setEcho([&platform](const std::string& text) { platform.consoleWrite(text); });

    int code = exitcode::Success;
    if (!parse.command) {
        const std::string reason =
            std::string(kWrongCommandLine.in(language)) + (language == Language::English ? parse.reason : parse.reasonChinese);
        log.line(reason);
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
                      ? (parse.command->host ? " host " + FormatAddress(*parse.command->host)
                                             : " port " + parse.command->port.value_or("auto")) +
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
        platform.consoleWrite(std::string(kLogIs.in(language)) + log.path() + "\r\n");
    return code;
}

}  // namespace kelp
