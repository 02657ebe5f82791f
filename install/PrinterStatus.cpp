#include "install/PrinterStatus.h"

#include <iterator>

namespace kelp {

namespace {

// The real-time status requests: DLE EOT n.
std::string StatusRequest(int n) { return std::string{'\x10', '\x04', static_cast<char>(n)}; }

// An answer to a status request has bits 1 and 4 set and bits 0 and 7 clear.
bool ValidStatus(unsigned char answer) { return (answer & 0x93) == 0x12; }

}  // namespace

std::string DescribePrinterState(PrinterState state, Language language) {
    static constexpr Bilingual kTexts[] = {
        {"就绪", "ready"},
        {"纸将用尽", "paper near its end"},
        {"缺纸", "paper out"},
        {"上盖打开", "cover open"},
        {"脱机", "offline"},
        {"切刀或其他错误", "cutter or other error"},
        {"可连接，但不报告状态", "answers without status (state unknown)"},
        {"该地址上没有程序接收打印数据（连接被拒绝）", "nothing listens there (connection refused)"},
        {"无应答", "no answer"},
    };
    const auto index = static_cast<std::size_t>(state);
    return index < std::size(kTexts) ? kTexts[index].in(language) : "";
}

bool StateStopsPrinting(PrinterState state) {
    switch (state) {
        case PrinterState::Ready:
        case PrinterState::PaperNearEnd:
        case PrinterState::NoStatus: return false;
        default: return true;
    }
}

PrinterState AskPrinterStatus(StatusChannel& channel) {
    int answers[5] = {-1, -1, -1, -1, -1};  // per request; -1: no valid answer
    for (int n = 1; n <= 4; ++n) {
        if (channel.send(StatusRequest(n)) != winerr::Success) break;
        const auto answer = channel.receive(1, StatusAnswerMs);
        if (!answer.ok() || answer.value.empty()) break;
        const auto byte = static_cast<unsigned char>(answer.value[0]);
        // Nothing more goes to a peer that did not answer as a printer.
        if (!ValidStatus(byte)) break;
        answers[n] = byte;
    }
    if (answers[1] < 0) return PrinterState::NoStatus;
    const auto has = [&](int n, int bits) { return answers[n] >= 0 && (answers[n] & bits) != 0; };
    if (has(2, 0x04)) return PrinterState::CoverOpen;
    if (has(4, 0x60) || has(2, 0x20)) return PrinterState::PaperOut;
    if (has(3, 0x68) || has(2, 0x40)) return PrinterState::Error;
    if (has(1, 0x08) || has(2, 0x08)) return PrinterState::Offline;
    if (has(4, 0x0C)) return PrinterState::PaperNearEnd;
    return PrinterState::Ready;
}

}  // namespace kelp
