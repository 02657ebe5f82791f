// What a person reads, made from what the engine's operations report: the
// wizard's boxes and status lines and the command line's console lines come
// from here, so that the same facts give the same words in both doors. The
// log's own English lines stay with the steps that write them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "install/AutomaticPort.h"
#include "install/CashDrawer.h"
#include "install/DriverInstaller.h"
#include "install/Installation.h"
#include "install/MovedPrinter.h"
#include "install/NetworkPrinter.h"
#include "install/PrintJob.h"
#include "install/PrinterStatus.h"
#include "install/Removal.h"
#include "install/RunLog.h"
#include "install/TestReceipt.h"

namespace kelp {

// ---- Runs ------------------------------------------------------------------
// Another installation, removal or test receipt holds the lock: nothing
// was changed; the same words for every operation and both doors.
std::string DescribeAnotherRun(Language language);
// A box's last line: "\nThe log: <path>"; empty for an empty path.
std::string DescribeLogLine(const std::string& logPath, Language language);
// A /log path the user named that must not be used:
// "/log \"C:\\gone\\k.log\": its folder does not exist".
std::string DescribeLogRefusal(const LogTrouble& trouble, Language language);
// Why the log asked for was not written and where the lines go instead
// ("... This run's log: <path>"), or that no log is kept; empty when the
// lines go where asked.
std::string DescribeLogNotice(const LogTrouble& trouble, Language language);
// What an operation waits for while it runs (the page's note line).
std::string DescribeWaiting(const Waiting& waiting, Language language);

// ---- Printers' states ------------------------------------------------------
// The state in a few words (a list's column, the test receipt's reason).
std::string DescribePrinterState(PrinterState state, Language language);
// The state and, where the person can do something about it, what:
// "paper out: it will print once that is put right". A state that needs
// nothing has no advice.
std::string DescribePrinterStateAdvice(PrinterState state, Language language);

// ---- Network printers ------------------------------------------------------
// Why an address text is refused.
std::string DescribeAddressProblem(AddressProblem problem, Language language);
// Why an address no printer can have is refused: its problem's reason, after
// "The host name <host> stands for <address>." when host is a name.
std::string DescribeRefusedAddress(const std::string& host, Ipv4 address, AddressProblem problem, Language language);
// The command line's /host whose address no printer can have:
// "/host: " and DescribeRefusedAddress.
std::string DescribeHostRefused(const std::string& host, const InstallationOutcome& outcome, Language language);
// A host name that cannot be found on this network now: on the command
// line nothing changed (/force installs all the same); the wizard's
// question whether to install anyway.
std::string DescribeNameNotFound(const std::string& host, WinError error, Language language);
std::string AskToInstallNameNotFound(const std::string& host, WinError error, Language language);
// ---- Who the printer is ------------------------------------------------------
// The wizard's question when the printer the installation is for names
// another of the models (namedModel) than the one chosen (chosenModel).
std::string AskToInstallOtherModel(const std::string& chosenModel, const std::string& namedModel, Language language);
// The command line's line on what the printer named itself, and, when that
// is another of the models than the one chosen, that it installed as asked.
std::string DescribePrinterNamedItself(const PrinterIdentity& identity, const std::string& chosenModel,
                                       bool otherModel, Language language);

// The address field's refusal in the network dialog.
std::string DescribeBadAddress(AddressProblem problem, Language language);
// Why no TCP/IP port could be had for the address.
std::string DescribeNetworkPortFailure(const TcpIpPort& port, const NetworkAddress& address, Language language);
// This computer's network adapters could not be read (the search has nothing to search).
std::string DescribeAdaptersUnreadable(WinError error, Language language);
// A search that failed: "This computer's network failed (error 10093) and
// the search is incomplete: ...".
std::string DescribeSearchFailure(WinError error, Language language);

// The network dialog's status line.
// NoneAnswered: peers were listed, none answered as a receipt printer.
enum class SearchLine { Searching, NoNetwork, NoneFound, NoneAnswered, Found, Cancelled, CancelledFound, CancelledNoneAnswered };
std::string DescribeSearch(SearchLine line, std::size_t found, Language language);

// ---- Ports -----------------------------------------------------------------
// Why the automatic rule took port (the kind of port tells the classification's reason).
std::string DescribePortRule(PortRule rule, const std::string& modelName, Language language,
                             const std::string& port = {});
// The line that names the printer's port ("Port: USB002"), with why: kept
// or moved for a printer that existed, the rule for the automatic choice.
std::string DescribePrinterPort(const InstallReport& report, std::optional<PortRule> rule,
                                const std::string& modelName, Language language);
// A USB port's state after its description in the port list: connected,
// unknown (the interfaces could not be read), or nothing.
std::string DescribeUsbPortState(std::optional<bool> connected, Language language);

// ---- Installation ----------------------------------------------------------
// The pass's report: empty for a plain success. A pass that installed the
// printer but failed in a later setting says so; a printer of the name on
// another driver is named with that driver and what to do about it.
std::string DescribeInstallReport(const InstallReport& report, const std::string& printerName, Language language);
// The box after the wizard's installation: what the pass did, the port and
// why, a network printer's state with advice; a failure ends with logPath
// when one is given.
std::string DescribeInstallation(const InstallationOutcome& outcome, const std::string& printerName, Language language,
                                 const std::string& logPath = {});
// The command line's line after an installation that succeeded: the
// printer, its port and why (a network printer's state with advice).
std::string DescribeInstalledOn(const InstallationOutcome& outcome, const std::string& printerName,
                                const NetworkAddress& address, bool portNamed, Language language);
// Why the wizard's installation did not run (nothing changed); a failure
// ends with logPath when one is given.
std::string DescribeInstallationStop(const InstallationOutcome& outcome, const NetworkAddress& address,
                                     Language language, const std::string& logPath = {});
// The pages' own reminders and questions.
enum class PageNotice {
    SearchFirst,        // a port of the list needs Search Port first (English on every system)
    NoPortToConfigure,  // Configure Port on a category's row
    NoPort,             // Install with no port selected
    PortPageFailed,     // the port page could not be opened or failed
    OfferTestReceipt,   // the question after an installation
};
std::string DescribePageNotice(PageNotice notice, Language language);
// The box a registry value that could not be written shows, as it always has.
std::string DescribeRegistryWriteFailed();

// ---- Test receipt ----------------------------------------------------------
// Printed, or not printed, why and what to do. systemText is the system's
// text for a spooler step's error, when it has one.
std::string DescribeTestReceiptOutcome(const TestReceiptOutcome& outcome, std::uint32_t waitSeconds, Language language,
                                       const std::string& systemText = {});
// The question before a receipt goes to a printer that answers no status
// request: the printer, its port and what to check first.
std::string AskToSendUnchecked(const TestReceiptOutcome& outcome, Language language);
// The question before a receipt goes to a USB printer whose interface
// reports paper empty.
std::string AskToSendDespitePaper(const TestReceiptOutcome& outcome, Language language);
// The outcome box of a printed receipt, turned into the question whether to
// open the cash drawer too.
std::string AskToOpenCashDrawer(const std::string& outcomeText, Language language);
// What a kick of the cash drawer did (the command line's line).
std::string DescribeDrawerOutcome(const DrawerOutcome& outcome, Language language);
// The wizard's drawer box: pin 2's outcome, or, where pin 5 was tried after
// it, which opened, or that neither changed and what to check.
std::string DescribeDrawerTrial(const DrawerOutcome& first, const std::optional<DrawerOutcome>& second,
                                Language language);
// The command line's hint after such a receipt was withheld: /force.
std::string DescribeForceHint(Language language);
// The question when one printer of the model answers elsewhere: the
// address that did not answer, the address and serial number it gave.
std::string AskToMovePrinter(const TestReceiptOutcome& outcome, const FoundPrinter& found, Language language);
// What the search for a printer that moved adds to the test receipt's box:
// the printers of the model elsewhere (Several), the printer's own address
// answering now, a search that failed; empty for None and One.
std::string DescribeMovedPrinterSearch(const MovedPrinterSearch& search, Language language);
// The command line's hint after a network printer did not answer: /find.
std::string DescribeFindHint(Language language);
// What went wrong with the job; empty for success.
std::string DescribePrintJobReport(const PrintJobReport& report, std::uint32_t waitSeconds, Language language);

// ---- The command line's own lines -----------------------------------------
// Why the command line's parser refuses a line; subject and other name
// what the problem is about (a switch, an argument, an action).
enum class CliProblem {
    None,
    UnexpectedArgument,  // subject: the argument
    SwitchTwice,         // subject: the switch
    TakesNoValue,        // subject: the switch
    MoreThanOneAction,
    UsageAlone,          // /? with another switch
    NoAction,
    FindNotRange,
    FindBackwards,
    FindReserved,
    FindTooMany,
    UnknownSwitch,   // subject: the switch
    DoesNotGoWith,   // subject: the switch, other: the action
    NeedsValue,      // subject: the switch
    UnknownModel,    // subject: the value
    LangValue,
    LogNotFull,
    LogDevice,
    LogBadName,
    LogExtension,
    WaitRange,
    Host,            // address: why
    HostAndPort,
    ModelMissing,
    DrawerPin,        // /drawer with a value other than 2 or 5
    DrawerNeedsWait,  // /drawer with /wait:0
};
struct CliRefusal {
    CliProblem problem = CliProblem::None;
    std::string subject;
    std::string other;
    AddressProblem address = AddressProblem::None;
};
// The reason, without "Wrong command line: ".
std::string DescribeCliRefusal(const CliRefusal& refusal, Language language);
// "Wrong command line: " and the reason.
std::string DescribeWrongCommandLine(const std::string& reason, Language language);
// /port names a port the spooler does not have.
std::string DescribeUnknownPort(const std::string& port, Language language);
// /port:auto found no port.
std::string DescribeNoAutomaticPort(Language language);
// What a removal did; empty for a failure (the log names the step).
std::string DescribeRemoval(RemovalOutcome outcome, const std::string& name, Language language);
// A run's last line when it failed: where the log is, when lines went there.
std::string DescribeFailed(const std::string& logPath, Language language);
// "Log: <path>".
std::string DescribeLogIs(const std::string& logPath, Language language);

}  // namespace kelp
