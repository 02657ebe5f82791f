// A network printer that no longer answers at its port's address (a DHCP
// server gave it another one): the wizard's test receipt looks for it on
// this computer's networks, among the printers that name the same model.
#pragma once

#include <vector>

#include "install/InstallationProgress.h"
#include "install/NetworkPrinter.h"
#include "install/TestReceipt.h"
#include "platform/Network.h"

namespace kelp {

class RunLog;

// Whether the test receipt was withheld because nothing answered (no answer,
// the connection refused) at the address of a RAW Standard TCP/IP port: the
// printer may have moved.
bool PrinterMayHaveMoved(const TestReceiptOutcome& outcome);

enum class MovedPrinterFind {
    None,     // no printer that names the model answers elsewhere (or no network to search)
    One,      // exactly one does: printers[0]
    Several,  // more than one: printers, in the order of their addresses
    // The printer's own address answers now, as a printer that names no
    // other model: it did not move.
    AnswersAtItsAddress,
    Failed,  // the adapters could not be read, or this computer's network failed (error)
};

struct MovedPrinterSearch {
    MovedPrinterFind find = MovedPrinterFind::None;
    std::vector<FoundPrinter> printers;  // One, Several; AnswersAtItsAddress: the one at the address
    WinError error = winerr::Success;    // Failed
};

// Searches the adapters' networks as Find does (AdapterScanRanges,
// FindPrinters, within its bound) for printers that name the model of
// modelRow (ModelRowNamed), at addresses other than the one the port names
// (a host name counts for the addresses it stands for now). A search that
// failed offers nothing: the addresses it left may hold the printer.
// progress hears WaitFor::MovedPrinterSearch with the address, the bar's
// position and waiting(); the outcome goes to log.
MovedPrinterSearch FindMovedPrinter(Network& network, int modelRow, const NetworkAddress& address, RunLog* log,
                                    InstallationProgress* progress = nullptr);

}  // namespace kelp
