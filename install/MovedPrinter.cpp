#include "install/MovedPrinter.h"

#include <algorithm>

#include "install/AutomaticPort.h"
#include "install/LogText.h"
#include "install/RunLog.h"

namespace kelp {

bool PrinterMayHaveMoved(const TestReceiptOutcome& outcome) {
    return outcome.result == TestReceiptResult::Withheld && outcome.address &&
           (outcome.state == PrinterState::NoAnswer || outcome.state == PrinterState::Refused);
}

namespace {

// The addresses the port's host stands for now: a dotted address resolves
// to itself, a name to what it stands for (nothing when it is not found).
std::vector<Ipv4> AddressesOf(Network& network, const std::string& host) {
    const auto resolved = network.resolve(host);
    return resolved.ok() ? resolved.value : std::vector<Ipv4>{};
}

std::string Named(const FoundPrinter& printer) {
    return FormatIpv4(printer.address) + " (" + OutsideText(printer.identity.model) + ", serial number " +
           (printer.identity.serial.empty() ? "not given" : OutsideText(printer.identity.serial)) + ")";
}

}  // namespace

MovedPrinterSearch FindMovedPrinter(Network& network, int modelRow, const NetworkAddress& address, RunLog* log,
                                    InstallationProgress* progress) {
    InstallationProgress none;
    InstallationProgress& report = progress ? *progress : none;
    const auto say = [log](const std::string& text) {
        if (log) log->line("moved printer search: " + text);
    };
    MovedPrinterSearch search;
    const std::vector<Ipv4> own = AddressesOf(network, address.host);
    const auto ranges = AdapterScanRanges(network, &search.error);
    if (search.error != winerr::Success) {
        search.find = MovedPrinterFind::Failed;
        say("the network adapters cannot be read (error " + std::to_string(search.error) + ")");
        return search;
    }
    if (ranges.empty()) {
        say("no connected network to search");
        return search;
    }
    report.doing({WaitFor::MovedPrinterSearch, FormatAddress(address)});
    const auto found = FindPrinters(network, ranges, [&report](std::size_t done, std::size_t total) {
        if (total > 0) report.position(static_cast<int>(done * 100 / total));
        report.waiting();
        return true;
    }, {}, &search.error);
    report.doing({});
    if (search.error != winerr::Success) {
        search.find = MovedPrinterFind::Failed;
        say("this computer's network failed (error " + std::to_string(search.error) + "): nothing offered");
        return search;
    }
    for (const auto& printer : found) {
        if (!AnsweredAsPrinter(printer.state)) continue;
        const int named = printer.identity.named() ? ModelRowNamed(printer.identity.model) : -1;
        const bool itsAddress = std::find(own.begin(), own.end(), printer.address) != own.end();
        // Another model at the printer's own address took it over; one that
        // names none of them may be the printer itself.
        if (itsAddress && (named == modelRow || named < 0)) {
            search.find = MovedPrinterFind::AnswersAtItsAddress;
            search.printers = {printer};
            say("a printer answers at " + FormatIpv4(printer.address) + " after all: nothing offered");
            return search;
        }
        if (!itsAddress && named == modelRow) search.printers.push_back(printer);
    }
    search.find = search.printers.empty()      ? MovedPrinterFind::None
                  : search.printers.size() == 1 ? MovedPrinterFind::One
                                                : MovedPrinterFind::Several;
    if (search.printers.empty()) say("no printer of the model answers elsewhere");
    for (const auto& printer : search.printers) say("the model answers at " + Named(printer));
    return search;
}

}  // namespace kelp
