// A receipt printer's real-time status, asked over any byte channel: a TCP
// connection to a network printer, a COM port to a serial one. The requests
// are DLE EOT n (n = 1 to 4); each answer is one byte.
#pragma once

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
    NoStatus,  // connects but gives no status: reachable, state unknown
    Refused,   // nothing listens there
    NoAnswer,  // no answer before the deadline (off, unplugged, wrong address)
};

// The state in a few words, in the language of language.
std::string DescribePrinterState(PrinterState state, Language language);
// Whether a test receipt must not be sent in that state.
bool StateStopsPrinting(PrinterState state);

// The line a status exchange runs over. The channel is open; its owner
// closes it.
class StatusChannel {
public:
    virtual ~StatusChannel() = default;
    // Drops the bytes that are waiting to be read.
    virtual WinError discard() = 0;
    virtual WinError send(const std::string& bytes) = 0;
    // At most maxBytes, waiting at most timeoutMs; an empty value with
    // success when the peer closed, winerr::Timeout (1460) when nothing came.
    virtual Result<std::string> receive(std::size_t maxBytes, std::uint32_t timeoutMs) = 0;
};

// Asks the four status requests over channel (a StatusAnswerMs deadline for
// each answer) and says what the answers mean.
PrinterState AskPrinterStatus(StatusChannel& channel);
constexpr std::uint32_t StatusAnswerMs = 1000;

}  // namespace kelp
