// A receipt printer's real-time status, asked over any byte channel: a TCP
// connection to a network printer, a COM port to a serial one. The requests
// are DLE EOT n (n = 1 to 4); each answer is one byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace kelp {

// What the printer's answer to the real-time status requests means.
enum class PrinterState {
    Ready,
    PaperNearEnd,
    PaperOut,
    CoverOpen,
    Offline,
    Error,     // cutter, unrecoverable or recoverable error
    NoStatus,  // connects but gives no (whole) status: reachable, state unknown
    Refused,   // nothing listens there
    NoAnswer,  // no answer before the deadline (off, unplugged, wrong address)
    NotAPrinter,  // speaks unasked or answers with bytes that are no status
};

// Whether a test receipt must not be sent in that state.
bool StateStopsPrinting(PrinterState state);

// The line a status exchange runs over. The channel is open; its owner
// closes it.
class StatusChannel {
public:
    virtual ~StatusChannel() = default;
    // Drops the bytes that are waiting to be read.
    virtual WinError discard() = 0;
    // Drops the bytes that are waiting to be read and says how many there
    // were. The default discards and cannot tell (answers 0); a channel that
    // can count them (a socket reads them, a COM port asks ClearCommError
    // first) overrides it, so that a peer that speaks unasked is told apart.
    virtual Result<std::size_t> discardWaiting() { return {0, discard()}; }
    virtual WinError send(const std::string& bytes) = 0;
    // At most maxBytes, waiting at most timeoutMs; an empty value with
    // success when the peer closed, winerr::Timeout (1460) when nothing came.
    virtual Result<std::string> receive(std::size_t maxBytes, std::uint32_t timeoutMs) = 0;
};

// The rules of one status exchange, step by step, for a caller that drives
// the line itself (many printers at once). The order is fixed: before each
// request, and once after the fourth answer, the bytes waiting unasked are
// counted (waiting); then request() is sent and its answer, one byte, given
// to answer(), or silent() when none came in time, the peer closed or the
// line failed. Any byte unasked, or an answer without the request's fixed
// bits, ends the exchange: not a receipt printer, and nothing more is sent.
class StatusExchange {
public:
    bool over() const { return over_; }
    // Whether the four answers are in and only the last check is left.
    bool answered() const { return next_ > 4; }
    void waiting(std::size_t bytes);
    // The request to send now: DLE EOT n.
    std::string request() const;
    void answer(unsigned char byte);
    void silent() { over_ = true; }
    // What the answers so far mean: ready only when all four came.
    PrinterState state() const;

private:
    int next_ = 1;  // the request to send next; 5 once all four are answered
    int answers_[5] = {-1, -1, -1, -1, -1};  // per request; -1: none
    bool notAPrinter_ = false;
    bool over_ = false;
};

// Asks the four status requests over channel (a StatusAnswerMs deadline for
// each answer) by StatusExchange's rules and says what the answers mean.
PrinterState AskPrinterStatus(StatusChannel& channel);
constexpr std::uint32_t StatusAnswerMs = 1000;

}  // namespace kelp
