#include "install/TestReceipt.h"

#include <cstdint>
#include <iterator>

#include "install/DriverInstaller.h"
#include "install/InstallationLock.h"
#include "install/ModelCatalogue.h"
#include "install/Names.h"
#include "install/NetworkPrinter.h"
#include "install/SerialPrinter.h"
#include "install/RunLog.h"

namespace kelp {

namespace {

// The GB18030 (GB2312 range) codes of the characters the Chinese lines use,
// sorted by code point.
struct Gb18030Code {
    std::uint32_t codePoint;
    unsigned char lead;
    unsigned char trail;
};
constexpr Gb18030Code kCodes[] = {
    {0x3002, 0xA1, 0xA3},  // 。
    {0x4EE5, 0xD2, 0xD4},  // 以
    {0x4F7F, 0xCA, 0xB9},  // 使
    {0x5370, 0xD3, 0xA1},  // 印
    {0x53E3, 0xBF, 0xDA},  // 口
    {0x53EF, 0xBF, 0xC9},  // 可
    {0x53F7, 0xBA, 0xC5},  // 号
    {0x578B, 0xD0, 0xCD},  // 型
    {0x5B89, 0xB0, 0xB2},  // 安
    {0x5C0F, 0xD0, 0xA1},  // 小
    {0x5DF2, 0xD2, 0xD1},  // 已
    {0x6253, 0xB4, 0xF2},  // 打
    {0x65F6, 0xCA, 0xB1},  // 时
    {0x673A, 0xBB, 0xFA},  // 机
    {0x6D4B, 0xB2, 0xE2},  // 测
    {0x7528, 0xD3, 0xC3},  // 用
    {0x7968, 0xC6, 0xB1},  // 票
    {0x7AEF, 0xB6, 0xCB},  // 端
    {0x88C5, 0xD7, 0xB0},  // 装
    {0x8BD5, 0xCA, 0xD4},  // 试
    {0x95F4, 0xBC, 0xE4},  // 间
    {0xFF0C, 0xA3, 0xAC},  // ，
    {0xFF1A, 0xA3, 0xBA},  // ：
};

struct ReceiptTexts {
    const char* title;
    const char* model;
    const char* port;
    const char* time;
    const char* closing;
};
constexpr ReceiptTexts kChinese = {"Kelp 测试小票", "型号：", "端口：", "时间：", "打印机已安装，可以使用。"};
constexpr ReceiptTexts kEnglish = {"Kelp test receipt", "Model: ", "Port: ", "Time: ",
                                   "This printer is installed and ready."};

constexpr char kInitialise[] = {0x1B, 0x40};                                    // ESC @
constexpr char kFeedLines[] = {0x1B, 0x64, 0x04};                               // ESC d 4
constexpr char kFeedAndCut[] = {0x1D, 0x56, 0x42, 0x00};                        // GS V 66 0: feed, partial cut

}  // namespace

std::string ToReceiptGb18030(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        std::uint32_t codePoint = 0;
        if (length > 1 && i + length <= utf8.size()) {
            codePoint = c & (0xFF >> (length + 1));
            for (std::size_t k = 1; k < length; ++k)
                codePoint = (codePoint << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        } else {
            length = 1;
        }
        const Gb18030Code* code = nullptr;
        for (const auto& entry : kCodes) {
            if (entry.codePoint == codePoint) code = &entry;
        }
        if (code) {
            out.push_back(static_cast<char>(code->lead));
            out.push_back(static_cast<char>(code->trail));
        } else {
            out.push_back('?');
        }
        i += length;
    }
    return out;
}

std::string TestReceiptBytes(const std::string& model, const std::string& port, const std::string& time,
                             Language language) {
    const ReceiptTexts& texts = language == Language::English ? kEnglish : kChinese;
    std::string text = std::string(texts.title) + "\n" + texts.model + model + "\n" + texts.port + port + "\n" +
                       texts.time + time + "\n" + KelpVersionText + "\n" + texts.closing + "\n";
    std::string bytes(kInitialise, std::size(kInitialise));
    bytes += ToReceiptGb18030(text);
    bytes.append(kFeedLines, std::size(kFeedLines));
    bytes.append(kFeedAndCut, std::size(kFeedAndCut));
    return bytes;
}

// ---- The test receipt's run ----------------------------------------------------

namespace {

bool ChineseEdition(const DriverInfo3& driver) {
    const auto slash = driver.dataFile.find_last_of("\\/");
    const std::string data = Lower(slash == std::string::npos ? driver.dataFile : driver.dataFile.substr(slash + 1));
    return data.size() > 6 && data.compare(data.size() - 6, 6, "cn.gpd") == 0;
}

// %1 the printer's address or port.
constexpr Bilingual kAskingAt = {"正在询问打印机 %1 ……", "Asking the printer at %1 ..."};
constexpr Bilingual kAskingOn = {"正在询问打印机 %1 ……", "Asking the printer on %1 ..."};

class TestReceiptRun {
public:
    TestReceiptRun(Platform& platform, Network& network, SerialPorts& serialPorts, const TestReceiptRequest& request,
                   RunLog* log, InstallationProgress& progress)
        : platform_(platform), network_(network), serialPorts_(serialPorts), request_(request), log_(log),
          progress_(progress) {}

    TestReceiptOutcome run();

private:
    Language edition(const std::string& name);
    bool askPrinter();
    // Whether the printer's answer lets the receipt go; the outcome keeps it.
    bool allowed(PrinterState state);
    bool unreadable(WinError error);
    void say(const std::string& text) {
        if (log_) log_->line(text);
    }

    Platform& platform_;
    Network& network_;
    SerialPorts& serialPorts_;
    const TestReceiptRequest& request_;
    RunLog* log_;
    InstallationProgress& progress_;
    TestReceiptOutcome outcome_;
};

TestReceiptOutcome TestReceiptRun::run() {
    InstallationLock lock(platform_, log_);
    if (lock.error() != winerr::Success) {
        outcome_.result =
            lock.heldElsewhere() ? TestReceiptResult::Busy : TestReceiptResult::LockFailed;
        outcome_.error = lock.error();
        return outcome_;
    }
    const ModelRow* model = ModelCatalogue::row(request_.modelRow);
    const std::string name = model ? model->displayName : "";
    const auto printer = FindPrinter(platform_, name);
    outcome_.printerName = printer ? printer->name : name;
    if (!printer) {
        outcome_.result = TestReceiptResult::NoPrinter;
        return outcome_;
    }
    outcome_.port = printer->port;
    // A receipt goes only to a printer that was asked, where its port lets
    // it be asked, and did not answer that it cannot print.
    if (!askPrinter()) return outcome_;
    const std::string bytes = TestReceiptBytes(name, printer->port, platform_.localTime(), edition(name));
    const std::uint64_t deadlineMs = std::uint64_t{request_.waitSeconds} * 1000;
    outcome_.job = PrintRawJob(platform_, printer->name, "Kelp test receipt", bytes, request_.waitSeconds,
                               [&lock] { lock.release(); },
                               [this, deadlineMs](std::uint64_t waitedMs) {
                                   progress_.position(static_cast<int>(waitedMs * 100 / deadlineMs));
                                   progress_.waiting();
                               });
    // A printer that gave no status may have taken the job and printed
    // nothing: the queue cannot tell.
    const bool unchecked = outcome_.state && StateNeedsConfirmation(*outcome_.state);
    outcome_.result = !outcome_.job.succeeded()       ? TestReceiptResult::JobFailed
                      : unchecked                ? TestReceiptResult::SentUnchecked
                      : request_.waitSeconds > 0 ? TestReceiptResult::Printed
                                                 : TestReceiptResult::Sent;
    return outcome_;
}

// The installed driver's edition; the request's language when the driver
// does not tell.
Language TestReceiptRun::edition(const std::string& name) {
    Language edition = request_.language;
    const auto drivers = platform_.enumPrinterDrivers(ProfileForThisMachine(platform_).environment);
    for (const auto& driver : drivers.value)
        if (SameName(driver.name, name)) edition = ChineseEdition(driver) ? Language::Chinese : Language::English;
    return edition;
}

// A printer on a Standard TCP/IP port is asked at the address its port
// names; one whose port's settings (or the list of ports) cannot be read
// cannot be asked, and gets nothing. A printer on a COM port is asked over
// the port.
bool TestReceiptRun::askPrinter() {
    if (IsComPortName(outcome_.port)) {
        WinError portError = winerr::Success;
        progress_.doing(Fill(kAskingOn.in(request_.language), {outcome_.port}));
        const PrinterState state =
            ProbeSerialPrinter(platform_, serialPorts_, outcome_.port, log_, [this] { progress_.waiting(); }, &portError);
        progress_.doing({});
        if (state == PrinterState::PortNotOpen) outcome_.error = portError;
        return allowed(state);
    }
    const auto ports = platform_.enumPorts();
    if (!ports.ok()) return unreadable(ports.error);
    for (const auto& record : ports.value) {
        if (!SameName(record.name, outcome_.port) || !IsTcpIpPort(record)) continue;
        const auto config = platform_.tcpIpPortConfig(record.name);
        if (!config.ok()) return unreadable(config.error);
        // An LPR port's printer is reached through its print server's queue,
        // which tells nothing of the paper: its job is followed, as a USB
        // printer's is.
        if (!config.value.raw) return true;
        const NetworkAddress address{config.value.host, static_cast<std::uint16_t>(config.value.tcpPort)};
        progress_.doing(Fill(kAskingAt.in(request_.language), {FormatAddress(address)}));
        const PrinterState state = ProbePrinter(network_, address, [this] {
            progress_.waiting();
            return true;
        });
        progress_.doing({});
        say("printer at " + FormatAddress(address) + ": " + DescribePrinterState(state, Language::English));
        return allowed(state);
    }
    return true;
}

bool TestReceiptRun::unreadable(WinError error) {
    outcome_.result = TestReceiptResult::PortUnreadable;
    outcome_.error = error;
    return false;
}

bool TestReceiptRun::allowed(PrinterState state) {
    outcome_.state = state;
    if (StateNeedsConfirmation(state)) {
        if (request_.force) say("test receipt sent without a status: asked for");
        else outcome_.result = TestReceiptResult::NeedsConfirmation;
        return request_.force;
    }
    if (!StateStopsPrinting(state)) return true;
    outcome_.result = TestReceiptResult::Withheld;
    return false;
}

}  // namespace

TestReceiptOutcome PrintTestReceipt(Platform& platform, Network& network, SerialPorts& serialPorts,
                                    const TestReceiptRequest& request, RunLog* log, InstallationProgress* progress) {
    InstallationProgress none;
    TestReceiptRun run(platform, network, serialPorts, request, log, progress ? *progress : none);
    return run.run();
}

namespace {

constexpr Bilingual kPrinted = {"测试小票已在 %1（%2）上打印。", "The test receipt was printed on %1 (%2)."};
constexpr Bilingual kSent = {"测试小票已发送到 %1（%2）。", "The test receipt was sent to %1 (%2)."};
constexpr Bilingual kNotInstalled = {"打印机 %1 未安装，未打印测试小票。",
                                 "The printer %1 is not installed: no test receipt was printed."};
constexpr Bilingual kBusy = {"另一个 Kelp 安装、删除或测试打印正在进行，未打印测试小票。请稍后再试。",
                         "Another Kelp installation, removal or test receipt is running: no test receipt was printed. "
                         "Please try again later."};
constexpr Bilingual kNoLock = {"无法开始打印测试小票（错误 %3）。", "The test receipt could not be started (error %3)."};
constexpr Bilingual kUnreadable = {
    "未打印测试小票：端口 %2 的设置无法读取（错误 %3），无法先询问打印机。请以管理员身份再次运行 Kelp 打印测试小票。",
    "The test receipt was not printed: the settings of the port %2 cannot be read (error %3), so the printer could not "
    "be asked first. Run Kelp again as an administrator to print a test receipt."};
constexpr Bilingual kWithheld = {"未打印测试小票：打印机 %1（%2）报告：%3。", "The test receipt was not printed: the printer %1 (%2) reports %3."};
constexpr Bilingual kLoadPaper = {"请装入新纸卷并合上上盖，然后再次运行 Kelp 打印测试小票。",
                              "Put in a new paper roll and close the cover, then run Kelp again to print a test receipt."};
constexpr Bilingual kCloseCover = {"请合上打印机上盖，然后再次运行 Kelp 打印测试小票。",
                               "Close the printer's cover, then run Kelp again to print a test receipt."};
constexpr Bilingual kClearError = {
    "请查看打印机的指示灯：排除卡纸或切刀故障，关机后再开机，然后再次运行 Kelp 打印测试小票。",
    "Look at the printer's lights: clear a paper jam or the cutter, switch the printer off and on, then run Kelp again "
    "to print a test receipt."};
constexpr Bilingual kSwitchOn = {"请打开打印机电源，检查连接线或网络连接及地址，然后再次运行 Kelp 打印测试小票。",
                             "Switch the printer on and check its cable or network connection and its address, then run "
                             "Kelp again to print a test receipt."};

constexpr Bilingual kPortNotOpen = {
    "未打印测试小票：端口 %2 无法打开（错误 %3）：可能有其他程序（如收银软件）正在使用它，或该端口不存在。请关闭使用该端口的程序，"
    "然后再次运行 Kelp 打印测试小票。",
    "The test receipt was not printed: the port %2 does not open (error %3): another program (the till's software) may "
    "hold it, or the port does not exist. Close the program that uses the port, then run Kelp again to print a test "
    "receipt."};
constexpr Bilingual kNoStatus = {
    "未发送测试小票：打印机 %1（%2）不回答状态询问，无法知道它能否打印。请先检查：打印机已开机，连接线或网络已连接，地址正确。",
    "The test receipt was not sent: the printer %1 (%2) does not answer status requests, so it cannot be told whether "
    "it can print. Check first that it is switched on, that its cable or network is connected, and its address."};
constexpr Bilingual kAskNoStatus = {
    "打印机 %1（%2）不回答状态询问，无法知道它能否打印。请先检查：打印机已开机，连接线或网络已连接，地址正确。\n仍要发送测试小票吗？",
    "The printer %1 (%2) does not answer status requests, so it cannot be told whether it can print. Check first that "
    "it is switched on, that its cable or network is connected, and its address.\nSend the test receipt anyway?"};
constexpr Bilingual kSentUnchecked = {
    "测试小票已发送到 %1（%2），但打印机不报告状态，无法知道是否已打印。请查看打印机是否出纸。",
    "The test receipt was sent to %1 (%2), but the printer gives no status: it cannot be told whether it printed. "
    "Look at the printer for the receipt."};
constexpr Bilingual kCheckUsb = {
    "请检查打印机是否已用 USB 线连接到本电脑并已开机，然后再次运行 Kelp 打印测试小票。",
    "Check that the printer is connected to this computer by its USB cable and switched on, then run Kelp again to "
    "print a test receipt."};
constexpr Bilingual kCheckAddress = {"请检查打印机的地址（打印机自检页上有），然后用正确的地址重新安装。",
                                 "Check the printer's address (its self-test page shows it), then install again on "
                                 "the right one."};

const Bilingual& WhatToDo(PrinterState state) {
    switch (state) {
        case PrinterState::PaperOut: return kLoadPaper;
        case PrinterState::CoverOpen: return kCloseCover;
        case PrinterState::Offline:
        case PrinterState::Error: return kClearError;
        case PrinterState::NotAPrinter: return kCheckAddress;
        default: return kSwitchOn;
    }
}

}  // namespace

std::string DescribeTestReceiptOutcome(const TestReceiptOutcome& outcome, std::uint32_t waitSeconds, Language language,
                                       const std::string& systemText) {
    const std::string error = ErrorNumber(outcome.error, language);
    switch (outcome.result) {
        case TestReceiptResult::Printed: return Fill(kPrinted.in(language), {outcome.printerName, outcome.port});
        case TestReceiptResult::Sent: return Fill(kSent.in(language), {outcome.printerName, outcome.port});
        case TestReceiptResult::NoPrinter: return Fill(kNotInstalled.in(language), {outcome.printerName, outcome.port});
        case TestReceiptResult::Busy: return kBusy.in(language);
        case TestReceiptResult::LockFailed: return Fill(kNoLock.in(language), {outcome.printerName, outcome.port, error});
        case TestReceiptResult::PortUnreadable: return Fill(kUnreadable.in(language), {outcome.printerName, outcome.port, error});
        case TestReceiptResult::Withheld: {
            const PrinterState state = outcome.state.value_or(PrinterState::NoAnswer);
            if (state == PrinterState::PortNotOpen)
                return Fill(kPortNotOpen.in(language), {outcome.printerName, outcome.port, error}) +
                       (systemText.empty() ? "" : "\n" + systemText);
            return Fill(kWithheld.in(language), {outcome.printerName, outcome.port, DescribePrinterState(state, language)}) +
                   "\n" + WhatToDo(state).in(language);
        }
        case TestReceiptResult::NeedsConfirmation: return Fill(kNoStatus.in(language), {outcome.printerName, outcome.port});
        case TestReceiptResult::SentUnchecked: return Fill(kSentUnchecked.in(language), {outcome.printerName, outcome.port});
        case TestReceiptResult::JobFailed: break;
    }
    std::string text = DescribePrintJobReport(outcome.job, waitSeconds, language);
    if (outcome.job.problem == JobProblem::SpoolerStep && !systemText.empty()) text += "\n" + systemText;
    // A USB printer unplugged or off makes the spooler's own steps fail.
    if (outcome.job.problem == JobProblem::SpoolerStep && Lower(outcome.port).rfind("usb", 0) == 0)
        text += "\n" + std::string(kCheckUsb.in(language));
    return text;
}

WinError TestReceiptSystemError(const TestReceiptOutcome& outcome) {
    if (outcome.result == TestReceiptResult::JobFailed && outcome.job.problem == JobProblem::SpoolerStep)
        return outcome.job.error;
    if (outcome.result == TestReceiptResult::Withheld && outcome.state == PrinterState::PortNotOpen) return outcome.error;
    return winerr::Success;
}

std::string AskToSendUnchecked(const TestReceiptOutcome& outcome, Language language) {
    return Fill(kAskNoStatus.in(language), {outcome.printerName, outcome.port});
}

}  // namespace kelp
