// Network receipt printers: the address a person or a command gives, the
// Standard TCP/IP port that points at it (reused or made), the printer's
// real-time status (the probe), and the search over a range of addresses.
#pragma once

#include <cstdint>
#include "platform/FunctionRef.h"
#include <optional>
#include <string>
#include <vector>

#include "install/PrinterStatus.h"
#include "platform/Network.h"
#include "platform/Platform.h"

namespace kelp {

class RunLog;

constexpr std::uint16_t RawTcpPort = 9100;
// The longest host name or address the TCP/IP monitor's port record holds.
constexpr std::size_t MaxHostLength = 48;

// "192.168.1.50", "kitchen-printer.local" or either with ":<tcp port>".
struct NetworkAddress {
    std::string host;
    std::uint16_t tcpPort = RawTcpPort;
};

// Why an address text is refused.
enum class AddressProblem {
    None,
    Empty,
    TooLong,          // a host of more than MaxHostLength characters
    BadCharacter,     // a blank or anything but letters, digits, '-' and '.'
    OctetOver255,     // a dotted address with a number over 255
    TcpPortZero,
    TcpPortOver65535,
    TcpPortNotNumber,
    Ipv6,             // an IPv6 address: a host name is asked for instead
    NotAnAddress,     // numbers and dots that are no IPv4 address, a name with an empty or
                      // hyphen-edged label, or one of numbers alone ("0x7f.1")
    Reserved,         // 0.0.0.0/8, multicast 224.0.0.0/4, 240.0.0.0/4 (255.255.255.255 too)
    SecondColon,      // "host:9100:1"
    Mistyped,         // a name with dots whose last label does not begin with a letter ("10.0.0.1O"):
                      // no top-level domain does, so it is an address with a typing error
    NetworkEdge,      // the network or broadcast address of one of this computer's networks
};

struct AddressParse {
    NetworkAddress address;  // meaningful when problem is None
    AddressProblem problem = AddressProblem::None;
    bool ok() const { return problem == AddressProblem::None; }
};

// A dotted address comes back in its plain decimal form ("010.0.0.7" is
// 10.0.0.7, never octal); a host name as given. Numbers are written as
// four decimal numbers with dots, or not at all: hexadecimal and
// single-number forms, which Windows would read as some address, are
// refused. Loopback addresses are allowed (a printer's own tests).
AddressParse ParseNetworkAddress(const std::string& text);
// "192.168.1.50:9100"
std::string FormatAddress(const NetworkAddress& address);

// Connects (3 s deadline), asks the four status requests by
// StatusExchange's rules (a 1 s deadline for each answer) and says what the
// answers mean; the connection is closed as soon as they are in. A host
// name that cannot be resolved answers NoAnswer. keepGoing, when given, is
// asked at least every 100 ms while the probe waits (a window pumps its
// messages there); when it answers false the probe stops at once, closes
// its connection and answers NoAnswer (the caller knows it stopped it).
// identity, when given, receives who the printer says it is: a printer
// whose status allows it is asked (AskPrinterIdentity's rules) before the
// connection closes; empty otherwise.
PrinterState ProbePrinter(Network& network, const NetworkAddress& address,
                          FunctionRef<bool()> keepGoing = {}, PrinterIdentity* identity = nullptr);
constexpr std::uint32_t ProbeConnectMs = 3000;
constexpr std::uint32_t ScanConnectMs = 1000;

// ---- Finding printers ------------------------------------------------------
struct Ipv4Range {
    Ipv4 first = 0;
    Ipv4 last = 0;
};
constexpr std::size_t MaxScanAddresses = 1024;  // in a range given to /find
// FindPrinters' bound over all its ranges (a machine with many adapters):
// the addresses after it are not searched.
constexpr std::size_t MaxSearchAddresses = 4096;
// The most addresses a search has under way at once (connecting or being
// asked), whatever the system allows.
constexpr unsigned MaxConnectsAtOnce = 1024;
// The hard bound of a search of that many addresses with that many connects
// under way at once: a connect deadline for each round of connects, then
// four answers' deadlines for the last exchanges. Nothing runs past it.
std::uint32_t SearchBoundMs(std::size_t addresses, std::size_t window);

// 0.0.0.0/8, 224.0.0.0/4 and 240.0.0.0/4: never a printer's address.
bool ReservedAddress(Ipv4 address);
// Reserved, NetworkEdge for the network or broadcast address of one of the
// adapters' networks of /30 or larger (a /31 or /32 has neither), else None.
AddressProblem RefusedAddress(Ipv4 address, const std::vector<Ipv4Interface>& adapters);
// Whether a range (first not after last) holds any such address.
bool RangeHasReservedAddress(const Ipv4Range& range);

// "a.b.c.d" in host byte order, or nothing.
std::optional<Ipv4> ParseIpv4(const std::string& text);
std::string FormatIpv4(Ipv4 address);
// The networks of the adapters that are up, not loopback: for each, at most
// the 254 addresses around the adapter's address (its own /24 at most), the
// adapter's own address left out. error, when given, receives the adapters
// query's error.
std::vector<Ipv4Range> AdapterScanRanges(Network& network, WinError* error = nullptr);

struct FoundPrinter {
    Ipv4 address = 0;
    PrinterState state = PrinterState::NoStatus;
    PrinterIdentity identity;  // asked of a printer that can print; empty otherwise
};
// Whether a peer found answered as a receipt printer (whatever its state):
// the ones a search counts; the others are listed after them.
bool AnsweredAsPrinter(PrinterState state);

// Connects to TCP 9100 on every address of the ranges (addresses given
// twice are tried once), all at once where the system allows it (else its
// half-open limit of them, connecting or being asked; at most
// MaxConnectsAtOnce), each connect with a 1 s deadline, and
// asks each printer as soon as its connect succeeds, a printer that can
// print also who it is (AskPrinterIdentity's rules, within the search's
// bound); its connection is closed as soon as its answers are in. found(printer) is called for each
// printer as soon as its state is known; progress(done, total) after each
// step (at least every 100 ms), counting the addresses finished. When
// progress answers false the search stops and closes what it opened. The
// whole search ends by SearchBoundMs. Answers the printers found (those
// that accepted a connection, whatever they answered), in the order of the
// addresses. failure, when
// given, is set to the error of this computer's own network layer (no socket
// to be had, the wait failing): the addresses it left may have printers.
std::vector<FoundPrinter> FindPrinters(Network& network, const std::vector<Ipv4Range>& ranges,
                                       FunctionRef<bool(std::size_t done, std::size_t total)> progress,
                                       FunctionRef<void(const FoundPrinter& printer)> found = {},
                                       WinError* failure = nullptr);

// ---- The port --------------------------------------------------------------
// Why no TCP/IP port could be had.
enum class NetworkPortProblem {
    None,
    Unreadable,  // the monitors or the ports cannot be listed (error)
    NoMonitor,   // the system has no Standard TCP/IP Port monitor
    NotMade,     // the monitor refused to make the port (error)
    NoFreeName,  // IP_<host> and its " (2)" to " (99)" are all taken
    PortSettingsUnreadable,  // a port named for the address (unreadable) cannot be read (error)
};

struct TcpIpPort {
    std::string name;   // empty when none could be had
    bool made = false;  // this run made it (and deletes it when a later step fails)
    NetworkPortProblem problem = NetworkPortProblem::None;
    WinError error = winerr::Success;
    std::string errorText;  // the system's text for error, in the run's language
    std::string unreadable;  // PortSettingsUnreadable: the port whose settings cannot be read
    bool ok() const { return !name.empty(); }
};

// An existing Standard TCP/IP port aimed at the address is reused, whatever
// its name (IPv4 addresses compared as numbers); else IP_<host> (or
// IP_<host>_<tcp port>), with " (2)", " (3)", ... where the name is taken
// by a port aimed elsewhere, made through the monitor's
// XcvData AddPort (RAW, SNMP off). Without the monitor nothing is made, nor
// when a port named for the address (IP_<host>, IP_<host>_<tcp port> or one
// of their " (n)" forms) cannot be read: it may be the address's own port,
// and a run that made another each time would breed them. The outcome goes
// to log; language is the language of the system's text of an error.
TcpIpPort PrepareTcpIpPort(Platform& platform, const NetworkAddress& address, Language language, RunLog* log);
// Whether a port is one of the Standard TCP/IP Port monitor's.
bool IsTcpIpPort(const PortRecord& port);
// Deletes the port when this run made it (a later step failed).
void UndoTcpIpPort(Platform& platform, const TcpIpPort& port, RunLog* log);

}  // namespace kelp
