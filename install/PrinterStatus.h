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
    NoStatus,  // connects (or the line is set) but never answers a request: state unknown
    Refused,   // nothing listens there
    NoAnswer,  // no connect in time, a hang-up, a line error, or answers that stopped
    NotAPrinter,  // speaks unasked or answers with bytes that are no status
    PortNotOpen,  // the COM port does not open (no such device, or another program holds it)
};

// Whether a test receipt must not be sent in that state.
bool StateStopsPrinting(PrinterState state);
// Whether a test receipt waits for the person's word in that state: the
// printer was reached but never said whether it can print.
bool StateNeedsConfirmation(PrinterState state);

// The line a status exchange runs over. The channel is open; its owner
// closes it.
class StatusChannel {
public:
    virtual ~StatusChannel() = default;
    // Takes the bytes that are waiting to be read (none: empty).
    virtual Result<std::string> takeWaiting() = 0;
    virtual WinError send(const std::string& bytes) = 0;
    // At most maxBytes, waiting at most timeoutMs; an empty value with
    // success when the peer closed, winerr::Timeout (1460) when nothing came.
    virtual Result<std::string> receive(std::size_t maxBytes, std::uint32_t timeoutMs) = 0;
    // Milliseconds of a clock that only goes forward.
    virtual std::uint64_t nowMs() = 0;
};

// The rules of one status exchange, step by step, for a caller that drives
// the line itself (many printers at once). Whenever nothing is awaited, the
// bytes waiting unasked are handed to waiting(); then, unless something is
// still awaited, request() is sent. While awaited() the bytes that come go
// to heard(), one or more at a time, until the answer is in; timedOut()
// when the deadline of the request (or of a status frame begun unasked)
// passed, hungUp() when the peer closed or the line failed.
//
// A printer may send, unasked and at any time, automatic status frames
// (4 bytes: the first with bits 0, 1, 7 clear and bit 4 set, the others
// with bits 4 and 7 clear) and XON/XOFF (11, 13): they are dropped, and an
// answer is still awaited within its deadline. Only the answers to the
// requests (bits 0 and 7 clear, 1 and 4 set) decide the state. Any other
// byte, or a frame cut short, ends the exchange: not a receipt printer.
class StatusExchange {
public:
    bool over() const { return over_; }
    // Whether the four answers are in.
    bool answered() const { return next_ > 4; }
    // Whether bytes are awaited: an answer, or the rest of a status frame.
    bool awaited() const { return !over_ && (asked_ || frame_ > 0); }
    // What came while nothing was awaited; after the fourth answer this is
    // the last check, and the exchange ends unless a frame is under way.
    void waiting(const std::string& bytes);
    // The request to send now: DLE EOT n.
    std::string request();
    void heard(const std::string& bytes);
    void timedOut();
    void hungUp();
    // What the answers so far mean: ready only when all four came.
    PrinterState state() const;
    // The answer to DLE EOT n so far; -1: none.
    int answer(int n) const { return n >= 1 && n <= 4 ? answers_[n] : -1; }

private:
    void take(unsigned char byte);

    int next_ = 1;  // the request to send next; 5 once all four are answered
    int answers_[5] = {-1, -1, -1, -1, -1};  // per request; -1: none
    int frame_ = 0;       // bytes of an automatic status frame under way
    bool asked_ = false;  // a request's answer is awaited
    bool notAPrinter_ = false;
    bool silent_ = false;  // a request's deadline passed, the peer still there
    bool over_ = false;
};

// Asks the four status requests over channel (a StatusAnswerMs deadline for
// each answer, however many dropped bytes come before it) by
// StatusExchange's rules and says what the answers mean.
PrinterState AskPrinterStatus(StatusChannel& channel);
constexpr std::uint32_t StatusAnswerMs = 1000;

// The answer to DLE EOT 1 alone (the printer's own status: 0x04 is the
// cash drawer's sensor, 0x08 offline), asked by the same rules; -1 when
// none came (a mute printer, a hang-up, a line error, or no printer's byte).
int AskPrinterByte(StatusChannel& channel);
// ---- Who the printer is ----------------------------------------------------
// What a printer says of itself when asked GS I 67, 66 and 68: its model
// name, its maker and its serial number; empty where it said nothing.
struct PrinterIdentity {
    std::string maker;
    std::string model;
    std::string serial;
    bool named() const { return !model.empty(); }
};

// Whether a printer in that state is asked who it is: it said it can print.
// The answers come through its input buffer, behind whatever it has to do.
bool StateAllowsIdentity(PrinterState state);

// The rules of asking who the printer is, step by step, as StatusExchange's:
// whenever nothing is awaited, request() is sent (GS I 67, then 66, then 68;
// whatever waited before it is the caller's to drop); while awaited() the
// bytes that come go to heard(); timedOut() when the answer's deadline
// passed, hungUp() when the peer closed or the line failed.
//
// An answer is 5F, its text and 00. Bytes before the 5F (status frames,
// XON/XOFF) are dropped; of the text only printable ASCII is kept (blanks at
// either end trimmed), at most MaxIdentityText characters; an answer that
// runs past MaxIdentityAnswerBytes without its 00 ends the exchange. An
// answer that is not in by its deadline is waited for once more, to be
// drained and dropped (never read as the next request's): when the rest of
// it comes, the next request goes out; when nothing comes, the printer does
// not answer, and the exchange ends. What is not answered stays empty.
class IdentityExchange {
public:
    bool over() const { return over_; }
    bool awaited() const { return !over_ && asked_; }
    std::string request();
    void heard(const std::string& bytes);
    void timedOut();
    void hungUp() { over_ = true; }
    const PrinterIdentity& identity() const { return identity_; }

private:
    void take(unsigned char byte);
    void next();

    int step_ = 0;           // the request to send next: model, maker, serial
    bool asked_ = false;     // its answer (or the rest of a late one) is awaited
    bool inText_ = false;    // the 5F came
    bool draining_ = false;  // the answer came too late: it is dropped
    std::size_t bytes_ = 0;  // of the answer under way
    std::string text_;
    PrinterIdentity identity_;
    bool over_ = false;
};
constexpr std::size_t MaxIdentityText = 32;
constexpr std::size_t MaxIdentityAnswerBytes = 256;

// Asks who the printer is over channel by IdentityExchange's rules, an
// IdentityAnswerMs deadline for each answer; what waited in the line before
// each request is dropped. Ask only a printer whose status allows it
// (StateAllowsIdentity), and never while a job prints.
PrinterIdentity AskPrinterIdentity(StatusChannel& channel);
constexpr std::uint32_t IdentityAnswerMs = 150;

}  // namespace kelp
