#include "install/PrinterStatus.h"

#include <iterator>

namespace kelp {

namespace {

// The bits every answer to DLE EOT n has, whatever the printer's state:
// bits 1 and 4 set, bits 0 and 7 clear, for each of n = 1 to 4.
struct FixedBits {
    unsigned char mask;
    unsigned char value;
};
constexpr FixedBits kFixedBits[5] = {{0, 0}, {0x93, 0x12}, {0x93, 0x12}, {0x93, 0x12}, {0x93, 0x12}};

}  // namespace


bool StateStopsPrinting(PrinterState state) {
    switch (state) {
        case PrinterState::Ready:
        case PrinterState::PaperNearEnd:
        case PrinterState::NoStatus: return false;
        default: return true;
    }
}

void StatusExchange::waiting(std::size_t bytes) {
    if (over_) return;
    if (bytes > 0) notAPrinter_ = true;
    if (bytes > 0 || answered()) over_ = true;
}

std::string StatusExchange::request() const {
    return std::string{'\x10', '\x04', static_cast<char>(next_ > 4 ? 4 : next_)};
}

void StatusExchange::answer(unsigned char byte) {
    if (over_ || answered()) return;
    const FixedBits& fixed = kFixedBits[next_];
    if ((byte & fixed.mask) != fixed.value) {
        notAPrinter_ = true;
        over_ = true;
        return;
    }
    answers_[next_++] = byte;
}

PrinterState StatusExchange::state() const {
    if (notAPrinter_) return PrinterState::NotAPrinter;
    const auto has = [&](int n, int bits) { return answers_[n] >= 0 && (answers_[n] & bits) != 0; };
    // What an answer says stands even when a later request went unanswered.
    if (has(2, 0x04)) return PrinterState::CoverOpen;
    if (has(4, 0x60) || has(2, 0x20)) return PrinterState::PaperOut;
    if (has(3, 0x68) || has(2, 0x40)) return PrinterState::Error;
    if (has(1, 0x08) || has(2, 0x08)) return PrinterState::Offline;
    if (!answered()) return PrinterState::NoStatus;
    if (has(4, 0x0C)) return PrinterState::PaperNearEnd;
    return PrinterState::Ready;
}

PrinterState AskPrinterStatus(StatusChannel& channel) {
    StatusExchange exchange;
    while (!exchange.over()) {
        const auto dropped = channel.discardWaiting();
        if (!dropped.ok()) {
            exchange.silent();
            break;
        }
        exchange.waiting(dropped.value);
        if (exchange.over()) break;
        if (channel.send(exchange.request()) != winerr::Success) {
            exchange.silent();
            break;
        }
        const auto answer = channel.receive(1, StatusAnswerMs);
        if (!answer.ok() || answer.value.empty())
            exchange.silent();
        else
            exchange.answer(static_cast<unsigned char>(answer.value[0]));
    }
    return exchange.state();
}

}  // namespace kelp
