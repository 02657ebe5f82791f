// The bytes of a test receipt, as a receipt printer takes them in a RAW job:
// initialise, a few lines of text, paper feed and cut. The Chinese edition's
// text is in GB18030, the code these printers print Chinese in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "install/InstallationProgress.h"
#include "install/NetworkPrinter.h"
#include "install/PrintJob.h"
#include "install/PrinterStatus.h"
#include "platform/Network.h"
#include "platform/Platform.h"
#include "platform/SerialPort.h"

namespace kelp {

constexpr const char* KelpVersionText = "Kelp 4.0";

// model, port and time are printed as given; Language::English gives the
// English edition's lines, else the Chinese edition's. printerModel and
// printerSerial, what the printer said it is, head the receipt in lines of
// their own, printable ASCII only; an empty one (or one with nothing
// printable) prints nothing. A ruler line shows where 58 mm and 80 mm paper
// wrap.
std::string TestReceiptBytes(const std::string& model, const std::string& port, const std::string& time,
                             Language language, const std::string& printerModel = {},
                             const std::string& printerSerial = {});

// UTF-8 to GB18030 for ASCII and the Chinese characters of the receipt's
// own texts; any other character becomes '?'.
std::string ToReceiptGb18030(const std::string& utf8);


class RunLog;

// The test receipt, as the wizard offers it after an installation and the
// command line's /testprint asks for it: the printer asked first where its
// port allows, a RAW job through the spooler, followed for waitSeconds.
struct TestReceiptRequest {
    int modelRow = 0;
    Language language = Language::Chinese;  // the run's language (the receipt's when the driver does not tell)
    std::uint32_t waitSeconds = 0;
    // Send it to a printer that was reached but never answered a status
    // request, or to a USB printer whose interface reports paper empty (the
    // person said so); nothing else is overridden.
    bool force = false;
};

enum class TestReceiptResult {
    Busy,            // another run holds the lock: nothing sent
    LockFailed,      // the lock could not be taken (error): nothing sent
    NoPrinter,       // the model's printer is not installed: nothing sent
    PortUnreadable,  // the TCP/IP port's settings cannot be read (error): the printer could not be asked, nothing sent
    Withheld,        // the printer answered that it cannot print (state): nothing sent
    // The printer was reached and never answered a status request (state):
    // nothing sent; the person may say to send it anyway (force).
    NeedsConfirmation,
    JobFailed,       // the job failed or is stuck (job)
    Sent,            // written to the spooler, not followed
    Printed,         // left the queue within waitSeconds
    // Sent under force to a printer that gave no status: whether it printed
    // cannot be told, even when the job left the queue.
    SentUnchecked,
    // A USB printer's interface reports paper empty (state): nothing sent;
    // some interfaces report it wrongly, so the person may say to send it
    // anyway (force).
    UsbPaperEmpty,
};

// A USB printer's status byte as its interface reported it, asked before
// the receipt where the printer's queue was idle.
struct UsbStatusRead {
    bool asked = false;                // the queue was idle and the device was asked
    WinError error = winerr::Success;  // the device did not open or the request failed: no status read
    std::uint32_t status = 0;          // 0x20 paper empty, 0x10 selected, 0x08 not error
    bool read() const { return asked && error == winerr::Success; }
};
constexpr std::uint32_t UsbPaperEmptyBit = 0x20;

struct TestReceiptOutcome {
    TestReceiptResult result = TestReceiptResult::NoPrinter;
    std::string printerName;  // the spooler's spelling
    std::string port;
    WinError error = winerr::Success;  // the lock's, the port settings', or the COM port's when it does not open
    std::optional<PrinterState> state;  // where the printer was asked
    PrinterIdentity printerIdentity;     // asked after a status that says it can print: who it says it is
    std::optional<NetworkAddress> address;  // a RAW TCP/IP port's: the address its printer was asked at
    PrintJobReport job;
    UsbStatusRead usb;  // a USB printer's
    bool sent() const {
        return result == TestReceiptResult::Sent || result == TestReceiptResult::Printed ||
               result == TestReceiptResult::SentUnchecked;
    }
};

// The lock is held while the job is submitted, not while it is followed.
// The text is in the edition of the installed driver (its description
// file's name ends in "CN.GPD" for the Chinese one), else in the request's
// language.
TestReceiptOutcome PrintTestReceipt(Platform& platform, Network& network, SerialPorts& serialPorts,
                                    const TestReceiptRequest& request, RunLog* log,
                                    InstallationProgress* progress = nullptr);


// The error whose system text the outcome's words add (a spooler step's, or
// a COM port's that does not open); 0: none.
WinError TestReceiptSystemError(const TestReceiptOutcome& outcome);

}  // namespace kelp
