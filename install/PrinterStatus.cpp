#include "install/PrinterStatus.h"

#include <iterator>

namespace kelp {

namespace {

// Every answer to DLE EOT n, whatever the printer's state: bits 1 and 4
// set, bits 0 and 7 clear. An automatic status frame's first byte: bit 4
// set, bits 0, 1 and 7 clear; its other three bytes: bits 4 and 7 clear.
constexpr bool IsAnswer(unsigned char b) { return (b & 0x93) == 0x12; }
constexpr bool IsFrameStart(unsigned char b) { return (b & 0x93) == 0x10; }
constexpr bool IsFrameByte(unsigned char b) { return (b & 0x90) == 0x00; }
constexpr bool IsFlowControl(unsigned char b) { return b == 0x11 || b == 0x13; }  // XON, XOFF
constexpr int kFrameBytes = 4;

}  // namespace


bool StateStopsPrinting(PrinterState state) {
    switch (state) {
        case PrinterState::Ready:
        case PrinterState::PaperNearEnd:
        case PrinterState::NoStatus: return false;
        default: return true;
    }
}

bool StateNeedsConfirmation(PrinterState state) { return state == PrinterState::NoStatus; }

void StatusExchange::waiting(const std::string& bytes) {
    heard(bytes);
    if (answered() && frame_ == 0) over_ = true;
}

std::string StatusExchange::request() {
    asked_ = true;
    return std::string{'\x10', '\x04', static_cast<char>(next_ > 4 ? 4 : next_)};
}

void StatusExchange::heard(const std::string& bytes) {
    for (const char c : bytes) {
        if (over_) return;
        take(static_cast<unsigned char>(c));
    }
}

void StatusExchange::take(unsigned char byte) {
    if (IsFlowControl(byte)) return;
    if (frame_ > 0 && IsFrameByte(byte)) {
        frame_ = frame_ + 1 == kFrameBytes ? 0 : frame_ + 1;
    } else if (frame_ == 0 && IsFrameStart(byte)) {
        frame_ = 1;
    } else if (frame_ == 0 && asked_ && IsAnswer(byte)) {
        answers_[next_++] = byte;
        asked_ = false;
    } else {
        notAPrinter_ = true;
        over_ = true;
    }
}

void StatusExchange::timedOut() {
    if (over_) return;
    // A frame cut short is no printer's; a request unanswered, a silent one.
    if (frame_ > 0) notAPrinter_ = true;
    silent_ = true;
    over_ = true;
}

void StatusExchange::hungUp() { over_ = true; }

PrinterState StatusExchange::state() const {
    if (notAPrinter_) return PrinterState::NotAPrinter;
    const auto has = [&](int n, int bits) { return answers_[n] >= 0 && (answers_[n] & bits) != 0; };
    // What an answer says stands even when a later request went unanswered.
    if (has(2, 0x04)) return PrinterState::CoverOpen;
    if (has(4, 0x60) || has(2, 0x20)) return PrinterState::PaperOut;
    if (has(3, 0x68) || has(2, 0x40)) return PrinterState::Error;
    if (has(1, 0x08) || has(2, 0x08)) return PrinterState::Offline;
    // Silent from the first request on: reached, state unknown. A hang-up,
    // a line error, or answers that stopped: no answer.
    if (!answered()) return silent_ && answers_[1] < 0 ? PrinterState::NoStatus : PrinterState::NoAnswer;
    if (has(4, 0x0C)) return PrinterState::PaperNearEnd;
    return PrinterState::Ready;
}

namespace {

// Runs the exchange until it is over or, when lastRequest is 1 to 4, until
// the answer to that request is in.
void RunExchange(StatusChannel& channel, StatusExchange& exchange, int lastRequest) {
    std::uint64_t deadline = 0;
    while (!exchange.over() && exchange.answer(lastRequest) < 0) {
        if (!exchange.awaited()) {
            const auto unasked = channel.takeWaiting();
            if (!unasked.ok()) {
                exchange.hungUp();
                break;
            }
            exchange.waiting(unasked.value);
            if (exchange.over()) break;
            if (!exchange.awaited() && channel.send(exchange.request()) != winerr::Success) {
                exchange.hungUp();
                break;
            }
            deadline = channel.nowMs() + StatusAnswerMs;
        }
        const std::uint64_t now = channel.nowMs();
        const auto bytes = now < deadline ? channel.receive(1, static_cast<std::uint32_t>(deadline - now))
                                          : Result<std::string>{{}, winerr::Timeout};
        if (bytes.error == winerr::Timeout)
            exchange.timedOut();
        else if (!bytes.ok() || bytes.value.empty())
            exchange.hungUp();
        else
            exchange.heard(bytes.value);
    }
}

}  // namespace

PrinterState AskPrinterStatus(StatusChannel& channel) {
    StatusExchange exchange;
    RunExchange(channel, exchange, 0);
    return exchange.state();
}

int AskPrinterByte(StatusChannel& channel) {
    StatusExchange exchange;
    RunExchange(channel, exchange, 1);
    return exchange.state() == PrinterState::NotAPrinter ? -1 : exchange.answer(1);
}

}  // namespace kelp
