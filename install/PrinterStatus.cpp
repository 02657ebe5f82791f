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

// ---- Who the printer is --------------------------------------------------------

namespace {

// GS I n: 67 model name, 66 maker, 68 serial number, in the order asked.
constexpr char kIdentityRequests[] = {67, 66, 68};
constexpr int kIdentitySteps = 3;
constexpr unsigned char kTextStart = 0x5F;

constexpr bool IsPrintable(unsigned char b) { return b >= 0x20 && b <= 0x7E; }

}  // namespace

bool StateAllowsIdentity(PrinterState state) {
    return state == PrinterState::Ready || state == PrinterState::PaperNearEnd;
}

std::string IdentityExchange::request() {
    asked_ = true;
    inText_ = false;
    bytes_ = 0;
    text_.clear();
    return std::string{'\x1D', '\x49', kIdentityRequests[step_ < kIdentitySteps ? step_ : kIdentitySteps - 1]};
}

void IdentityExchange::heard(const std::string& bytes) {
    for (const char c : bytes) {
        if (!awaited()) return;
        take(static_cast<unsigned char>(c));
    }
}

void IdentityExchange::take(unsigned char byte) {
    if (draining_) {
        // The rest of a late answer, up to its end.
        if (byte == 0x00) next();
        return;
    }
    if (!inText_) {
        inText_ = byte == kTextStart;
        return;
    }
    if (++bytes_ > MaxIdentityAnswerBytes) {
        over_ = true;
        return;
    }
    if (byte == 0x00) {
        const auto first = text_.find_first_not_of(' ');
        const std::string text = first == std::string::npos ? std::string() : text_.substr(first, text_.find_last_not_of(' ') - first + 1);
        std::string* field[] = {&identity_.model, &identity_.maker, &identity_.serial};
        *field[step_] = text.substr(0, MaxIdentityText);
        next();
        return;
    }
    if (IsPrintable(byte)) text_ += static_cast<char>(byte);
}

void IdentityExchange::next() {
    asked_ = false;
    draining_ = false;
    over_ = ++step_ >= kIdentitySteps;
}

void IdentityExchange::timedOut() {
    if (!awaited()) return;
    // Once more for the late answer to be drained; a second time: mute.
    if (draining_) {
        over_ = true;
        return;
    }
    draining_ = true;
}

PrinterIdentity AskPrinterIdentity(StatusChannel& channel) {
    IdentityExchange exchange;
    std::uint64_t deadline = 0;
    while (!exchange.over()) {
        if (!exchange.awaited()) {
            // What came after the last answer's end (or before the first
            // request) answers nothing asked here.
            if (!channel.takeWaiting().ok() || channel.send(exchange.request()) != winerr::Success) {
                exchange.hungUp();
                break;
            }
            deadline = channel.nowMs() + IdentityAnswerMs;
        }
        const std::uint64_t now = channel.nowMs();
        const auto bytes = now < deadline ? channel.receive(MaxIdentityAnswerBytes, static_cast<std::uint32_t>(deadline - now))
                                          : Result<std::string>{{}, winerr::Timeout};
        if (bytes.error == winerr::Timeout) {
            exchange.timedOut();
            deadline = channel.nowMs() + IdentityAnswerMs;
        } else if (!bytes.ok() || bytes.value.empty()) {
            exchange.hungUp();
        } else {
            exchange.heard(bytes.value);
        }
    }
    return exchange.identity();
}

}  // namespace kelp
