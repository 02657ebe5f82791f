#include "install/TestReceipt.h"

#include <cstdint>
#include <iterator>

#include "install/AutomaticPort.h"
#include "install/DriverInstaller.h"
#include "install/InstallationLock.h"
#include "install/ModelCatalogue.h"
#include "install/Names.h"
#include "install/NetworkPrinter.h"
#include "install/SerialPrinter.h"
#include "install/RunLog.h"
#include "install/Wording.h"

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
    {0x5217, 0xC1, 0xD0},  // 列
    {0x5370, 0xD3, 0xA1},  // 印
    {0x53E3, 0xBF, 0xDA},  // 口
    {0x53EF, 0xBF, 0xC9},  // 可
    {0x53F7, 0xBA, 0xC5},  // 号
    {0x578B, 0xD0, 0xCD},  // 型
    {0x5B89, 0xB0, 0xB2},  // 安
    {0x5C0F, 0xD0, 0xA1},  // 小
    {0x5DF2, 0xD2, 0xD1},  // 已
    {0x5E8F, 0xD0, 0xF2},  // 序
    {0x6253, 0xB4, 0xF2},  // 打
    {0x65F6, 0xCA, 0xB1},  // 时
    {0x673A, 0xBB, 0xFA},  // 机
    {0x6BEB, 0xBA, 0xC1},  // 毫
    {0x6D4B, 0xB2, 0xE2},  // 测
    {0x7528, 0xD3, 0xC3},  // 用
    {0x7968, 0xC6, 0xB1},  // 票
    {0x7AEF, 0xB6, 0xCB},  // 端
    {0x7C73, 0xC3, 0xD7},  // 米
    {0x7EB8, 0xD6, 0xBD},  // 纸
    {0x88C5, 0xD7, 0xB0},  // 装
    {0x8BD5, 0xCA, 0xD4},  // 试
    {0x95F4, 0xBC, 0xE4},  // 间
    {0xFF0C, 0xA3, 0xAC},  // ，
    {0xFF1A, 0xA3, 0xBA},  // ：
    {0xFF1B, 0xA3, 0xBB},  // ；
};

struct ReceiptTexts {
    const char* title;
    const char* printerModel;   // what the printer said it is
    const char* printerSerial;
    const char* model;
    const char* port;
    const char* time;
    const char* rulerKey;
    const char* closing;
};
constexpr ReceiptTexts kChinese = {"Kelp 测试小票", "打印机型号：", "序列号：", "型号：", "端口：", "时间：",
                                   "32 列：58 毫米纸；48 列：80 毫米纸", "打印机已安装，可以使用。"};
constexpr ReceiptTexts kEnglish = {"Kelp test receipt", "Printer model: ", "Serial number: ", "Model: ", "Port: ",
                                   "Time: ", "32 columns: 58 mm paper; 48 columns: 80 mm paper",
                                   "This printer is installed and ready."};

// 48 columns, the tens marked, '|' at columns 32 and 48: on 58 mm paper
// (32 columns) the line wraps after the first '|'; on 80 mm paper (48
// columns) it fills one line.
constexpr char kRuler[] = ".........1.........2.........3.|.......4.......|";
static_assert(sizeof(kRuler) == 49, "the ruler is 48 columns");

constexpr char kInitialise[] = {0x1B, 0x40};                                    // ESC @
constexpr char kFeedLines[] = {0x1B, 0x64, 0x04};                               // ESC d 4
constexpr char kFeedAndCut[] = {0x1D, 0x56, 0x42, 0x00};                        // GS V 66 0: feed, partial cut
constexpr char kChineseMode[] = {0x1C, 0x26};                                   // FS &

// What the printer said, printable ASCII only, as a line of its own after
// label; nothing when nothing printable is left.
std::string IdentityLine(const char* label, const std::string& said) {
    std::string kept;
    for (const char c : said)
        if (c >= 0x20 && c <= 0x7E) kept.push_back(c);
    return kept.empty() ? std::string() : label + kept + "\n";
}

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

// The Chinese edition prints in Chinese character mode (a printer that
// starts without it would print its GB18030 bytes as two foreign
// characters each); the receipt ends with ESC @, which puts the printer
// back in the mode it starts in, whichever that is.
std::string TestReceiptBytes(const std::string& model, const std::string& port, const std::string& time,
                             Language language, const std::string& printerModel, const std::string& printerSerial) {
    const bool english = language == Language::English;
    const ReceiptTexts& texts = english ? kEnglish : kChinese;
    std::string text = std::string(texts.title) + "\n" + IdentityLine(texts.printerModel, printerModel) +
                       IdentityLine(texts.printerSerial, printerSerial) + texts.model + model + "\n" + texts.port +
                       port + "\n" + texts.time + time + "\n" + KelpVersionText + "\n" + kRuler + "\n" +
                       texts.rulerKey + "\n" + texts.closing + "\n";
    std::string bytes(kInitialise, std::size(kInitialise));
    if (!english) bytes.append(kChineseMode, std::size(kChineseMode));
    bytes += ToReceiptGb18030(text);
    bytes.append(kFeedLines, std::size(kFeedLines));
    bytes.append(kFeedAndCut, std::size(kFeedAndCut));
    bytes.append(kInitialise, std::size(kInitialise));
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
    bool askUsbPrinter(std::uint32_t queuedJobs);
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
    if (IsUsbPortName(outcome_.port) && !askUsbPrinter(printer->jobs)) return outcome_;
    const std::string bytes = TestReceiptBytes(name, printer->port, platform_.localTime(), edition(name),
                                               outcome_.printerIdentity.model, outcome_.printerIdentity.serial);
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
        progress_.doing({WaitFor::SerialPrinterAnswer, outcome_.port});
        const PrinterState state =
            ProbeSerialPrinter(platform_, serialPorts_, outcome_.port, log_, [this] { progress_.waiting(); }, &portError,
                               &outcome_.printerIdentity);
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
        outcome_.address = address;
        progress_.doing({WaitFor::PrinterAnswer, FormatAddress(address)});
        const PrinterState state = ProbePrinter(
            network_, address,
            [this] {
                progress_.waiting();
                return true;
            },
            &outcome_.printerIdentity);
        progress_.doing({});
        say("printer at " + FormatAddress(address) + ": " + DescribePrinterState(state, Language::English));
        return allowed(state);
    }
    return true;
}

// A USB printer's interface is asked only while its queue is idle: the
// status byte then tells of the printer, not of a job being printed. Paper
// empty holds the receipt back unless the person said to send it; a status
// that cannot be read holds back nothing.
bool TestReceiptRun::askUsbPrinter(std::uint32_t queuedJobs) {
    if (queuedJobs > 0) {
        say("USB printer on " + outcome_.port + " not asked: its queue holds " + std::to_string(queuedJobs) + " job(s)");
        return true;
    }
    const auto status = platform_.usbPrinterStatus(outcome_.port);
    outcome_.usb.asked = true;
    outcome_.usb.error = status.error;
    if (!status.ok()) {
        say("USB printer on " + outcome_.port + ": no status read (error " + std::to_string(status.error) + ")");
        return true;
    }
    const std::uint32_t bits = status.value;
    outcome_.usb.status = bits;
    say("USB printer on " + outcome_.port + ": status " + std::to_string(bits) + " (paper " +
        ((bits & UsbPaperEmptyBit) ? "empty" : "present") + ", " + ((bits & 0x10) ? "selected" : "not selected") +
        ", " + ((bits & 0x08) ? "no error" : "error") + ")");
    if (!(bits & UsbPaperEmptyBit)) return true;
    if (request_.force) {
        say("test receipt sent although the USB printer reports paper empty: asked for");
        return true;
    }
    outcome_.result = TestReceiptResult::UsbPaperEmpty;
    return false;
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


WinError TestReceiptSystemError(const TestReceiptOutcome& outcome) {
    if (outcome.result == TestReceiptResult::JobFailed && outcome.job.problem == JobProblem::SpoolerStep)
        return outcome.job.error;
    if (outcome.result == TestReceiptResult::Withheld && outcome.state == PrinterState::PortNotOpen) return outcome.error;
    return winerr::Success;
}

}  // namespace kelp
