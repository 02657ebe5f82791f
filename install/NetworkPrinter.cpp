#include "install/NetworkPrinter.h"

#include <algorithm>

#include "install/Names.h"
#include "install/PortInventory.h"
#include "install/RunLog.h"

namespace kelp {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A host name's labels: none empty, none beginning or ending with '-'.
bool GoodLabels(const std::string& host) {
    std::size_t start = 0;
    while (true) {
        const std::size_t end = host.find('.', start);
        const std::string label = host.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (label.empty() || label.front() == '-' || label.back() == '-') return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

// Whether every label is a number as Windows reads numeric addresses:
// decimal digits, or 0x and hexadecimal digits.
bool NumericLabels(const std::string& host) {
    std::size_t start = 0;
    while (start <= host.size()) {
        const std::size_t end = std::min(host.find('.', start), host.size());
        const std::string label = host.substr(start, end - start);
        const bool hex = label.size() >= 2 && label[0] == '0' && (label[1] == 'x' || label[1] == 'X');
        for (std::size_t i = hex ? 2 : 0; i < label.size(); ++i) {
            const char c = label[i];
            if (!IsDigit(c) && !(hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))) return false;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace

// ---- The address -----------------------------------------------------------

std::optional<Ipv4> ParseIpv4(const std::string& text) {
    Ipv4 address = 0;
    std::size_t i = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (i >= text.size() || text[i] != '.') return std::nullopt;
            ++i;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (i < text.size() && IsDigit(text[i])) {
            if (++digits > 3) return std::nullopt;
            value = value * 10 + static_cast<unsigned>(text[i++] - '0');
        }
        if (digits == 0 || value > 255) return std::nullopt;
        address = (address << 8) | value;
    }
    if (i != text.size()) return std::nullopt;
    return address;
}

std::string FormatIpv4(Ipv4 address) {
    char text[16];
    std::size_t length = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned octet = (address >> shift) & 0xFF;
        if (octet >= 100) text[length++] = static_cast<char>('0' + octet / 100);
        if (octet >= 10) text[length++] = static_cast<char>('0' + octet / 10 % 10);
        text[length++] = static_cast<char>('0' + octet % 10);
        if (shift > 0) text[length++] = '.';
    }
    return std::string(text, length);
}

bool ReservedAddress(Ipv4 address) { return (address >> 24) == 0 || (address >> 24) >= 224; }

AddressProblem RefusedAddress(Ipv4 address, const std::vector<Ipv4Interface>& adapters) {
    if (ReservedAddress(address)) return AddressProblem::Reserved;
    for (const auto& adapter : adapters) {
        if (adapter.prefixLength < 1 || adapter.prefixLength > 30) continue;
        const Ipv4 mask = ~Ipv4(0) << (32 - adapter.prefixLength);
        if ((address & mask) != (adapter.address & mask)) continue;
        if ((address & ~mask) == 0 || (address & ~mask) == ~mask) return AddressProblem::NetworkEdge;
    }
    return AddressProblem::None;
}

bool RangeHasReservedAddress(const Ipv4Range& range) {
    // The reserved blocks lie at both ends of the address space.
    return ReservedAddress(range.first) || ReservedAddress(range.last);
}

AddressParse ParseNetworkAddress(const std::string& text) {
    AddressParse parse;
    const auto refuse = [&](AddressProblem problem) {
        parse.problem = problem;
        return parse;
    };
    if (text.empty()) return refuse(AddressProblem::Empty);
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos && text.find(':', colon + 1) != std::string::npos) {
        // Two colons are a mistake; more, or "::", an IPv6 address.
        const auto colons = std::count(text.begin(), text.end(), ':');
        return refuse(colons > 2 || text.find("::") != std::string::npos ? AddressProblem::Ipv6 : AddressProblem::SecondColon);
    }
    if (text[0] == '[') return refuse(AddressProblem::Ipv6);
    const std::string host = text.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string port = text.substr(colon + 1);
        unsigned long value = 0;
        for (const char c : port) {
            if (!IsDigit(c)) return refuse(AddressProblem::TcpPortNotNumber);
            if (value <= 65535) value = value * 10 + static_cast<unsigned long>(c - '0');
        }
        if (port.empty()) return refuse(AddressProblem::TcpPortNotNumber);
        if (value == 0) return refuse(AddressProblem::TcpPortZero);
        if (value > 65535) return refuse(AddressProblem::TcpPortOver65535);
        parse.address.tcpPort = static_cast<std::uint16_t>(value);
    }
    if (host.empty()) return refuse(AddressProblem::Empty);
    if (host.size() > MaxHostLength) return refuse(AddressProblem::TooLong);
    bool numeric = true;
    for (const char c : host) {
        if (!IsLetter(c) && !IsDigit(c) && c != '-' && c != '.') return refuse(AddressProblem::BadCharacter);
        if (IsLetter(c) || c == '-') numeric = false;
    }
    if (numeric) {
        // Digits and dots are an IPv4 address or nothing: Windows would read
        // "10.1" or "010.0.0.1" as some other address.
        std::size_t dots = 0;
        for (std::size_t i = 0; i < host.size(); ++i) {
            if (host[i] != '.') continue;
            ++dots;
            if (i == 0 || i + 1 == host.size() || host[i + 1] == '.') return refuse(AddressProblem::NotAnAddress);
        }
        if (dots != 3) return refuse(AddressProblem::NotAnAddress);
        std::size_t start = 0;
        Ipv4 address = 0;
        for (int octet = 0; octet < 4; ++octet) {
            const std::size_t end = host.find('.', start);
            const std::string digits = host.substr(start, end == std::string::npos ? std::string::npos : end - start);
            unsigned long value = 0;
            for (const char c : digits) value = value > 255 ? value : value * 10 + static_cast<unsigned long>(c - '0');
            if (value > 255) return refuse(AddressProblem::OctetOver255);
            address = (address << 8) | static_cast<Ipv4>(value);
            start = end + 1;
        }
        if (ReservedAddress(address)) return refuse(AddressProblem::Reserved);
        parse.address.host = FormatIpv4(address);
        return parse;
    }
    // "0x7f.1" or "0x7f000001" are no names: Windows reads them as numbers.
    if (!GoodLabels(host) || NumericLabels(host)) return refuse(AddressProblem::NotAnAddress);
    // No top-level domain begins with anything but a letter: "10.0.0.1O" or
    // "10.0.O.1" is an address with a typing error, not a name to look up.
    const std::size_t lastDot = host.rfind('.');
    if (lastDot != std::string::npos && !IsLetter(host[lastDot + 1])) return refuse(AddressProblem::Mistyped);
    parse.address.host = host;
    return parse;
}

std::string FormatAddress(const NetworkAddress& address) {
    return address.host + ":" + std::to_string(int{address.tcpPort});
}

// ---- Talking to printers ---------------------------------------------------------

namespace {

constexpr WinError kRefused = 10061;  // WSAECONNREFUSED
// keepGoing is asked at least this often while anything is waited for.
constexpr std::uint32_t kSliceMs = 100;
// How long the printers being asked are waited for alone, each round.
constexpr std::uint32_t kQuickMs = 5;

// One address on its way: its connect under way, its status exchange, or
// (once the status says it can print) the printer asked who it is.
struct Conversation {
    std::size_t index = 0;  // in the addresses given
    SocketHandle socket = 0;
    bool connecting = true;
    std::uint64_t deadline = 0;  // of the connect, or of the answer waited for
    StatusExchange exchange;
    IdentityExchange identity;
};

struct TalkRequest {
    std::vector<Ipv4> addresses;
    std::uint16_t tcpPort = RawTcpPort;
    std::uint32_t connectMs = ScanConnectMs;
    std::size_t window = 1;     // addresses under way at once, connecting or talking
    std::uint32_t boundMs = 0;  // nothing runs past it
    // After each step: the addresses finished and their number; false stops.
    FunctionRef<bool(std::size_t done, std::size_t total)> keepGoing;
    // Each address as it is finished: Refused, NoAnswer or what its answers
    // said; connected: it accepted the connection.
    // identity: what the printer said of itself (asked only when identify).
    FunctionRef<void(std::size_t index, PrinterState state, bool connected, const PrinterIdentity& identity)> finished;
    bool identify = false;  // a printer that can print is asked who it is
    WinError* failure = nullptr;  // set when this computer's network layer fails
};

// A connect that cannot start for a reason of this computer's own: no
// address is to blame.
bool LocalFailure(WinError error) {
    switch (error) {
        case 10024:  // WSAEMFILE
        case 10050:  // WSAENETDOWN
        case 10055:  // WSAENOBUFS
        case 10091:  // WSASYSNOTREADY
        case 10093:  // WSANOTINITIALISED
            return true;
        default: return false;
    }
}

// Connects to the addresses, at most window of them under way at a time
// (connecting or talking, so that one wait watches them all), and asks each printer for its status as soon as its connect succeeds,
// closing it as soon as its exchange is over: connects and exchanges run
// side by side on this one thread. Answers false when keepGoing stopped it
// (what was not finished then is closed and not reported).
bool TalkToAll(Network& network, const TalkRequest& request) {
    const std::size_t total = request.addresses.size();
    std::vector<Conversation> live;  // in no order: one leaving takes the last one's place
    const auto drop = [&live](std::size_t at) {
        live[at] = std::move(live.back());
        live.pop_back();
    };
    std::size_t next = 0, done = 0;
    std::uint64_t now = network.nowMs();
    const std::uint64_t bound = now + request.boundMs;
    const auto finish = [&](std::size_t index, PrinterState state, bool connected, const PrinterIdentity& identity = {}) {
        ++done;
        if (request.finished) request.finished(index, state, connected, identity);
    };
    const auto finishTalk = [&](Conversation& c) {
        finish(c.index, c.exchange.state(), true, c.identity.identity());
        network.close(c.socket);
    };
    // Drives an exchange as far as it goes without waiting; true when it is
    // over (its connection closed).
    const auto advance = [&](Conversation& c) {
        while (!c.exchange.over()) {
            if (c.exchange.awaited()) return false;
            // Before each request and after the last answer: what came
            // unasked. One read tells: status frames and XON/XOFF are
            // dropped, anything else ends the exchange, so a peer that keeps
            // sending cannot keep the search here.
            const auto bytes = network.receive(c.socket, 64, 0);
            const bool closed = bytes.error != winerr::Timeout && (!bytes.ok() || bytes.value.empty());
            c.exchange.waiting(bytes.ok() ? bytes.value : std::string());
            if (c.exchange.over()) break;
            if (closed) {
                c.exchange.hungUp();
                break;
            }
            c.deadline = now + StatusAnswerMs;
            // A status frame begun unasked is waited for before the request.
            if (c.exchange.awaited()) return false;
            if (network.send(c.socket, c.exchange.request()) != winerr::Success) {
                c.exchange.hungUp();
                break;
            }
            return false;
        }
        // A printer that said it can print is asked who it is, one request
        // at a time; what waits before each request answers nothing asked.
        while (request.identify && StateAllowsIdentity(c.exchange.state()) && !c.identity.over()) {
            if (c.identity.awaited()) return false;
            const auto bytes = network.receive(c.socket, MaxIdentityAnswerBytes, 0);
            if ((bytes.error != winerr::Timeout && (!bytes.ok() || bytes.value.empty())) ||
                network.send(c.socket, c.identity.request()) != winerr::Success) {
                c.identity.hungUp();
                break;
            }
            c.deadline = now + IdentityAnswerMs;
            return false;
        }
        finishTalk(c);
        return true;
    };

    while (true) {
        while (next < total && now < bound && live.size() < request.window) {
            const std::size_t index = next++;
            const auto socket = network.startConnect(request.addresses[index], request.tcpPort);
            if (!socket.ok()) {
                if (LocalFailure(socket.error) && request.failure) *request.failure = socket.error;
                finish(index, socket.error == kRefused ? PrinterState::Refused : PrinterState::NoAnswer, false);
                continue;
            }
            live.emplace_back();
            live.back().index = index;
            live.back().socket = socket.value;
            live.back().deadline = now + request.connectMs;
        }
        if (live.empty() && (next >= total || now >= bound)) return true;

        std::uint64_t wake = bound;
        std::vector<SocketWait> waits, talking;
        waits.reserve(live.size());
        for (const Conversation& c : live) {
            wake = c.deadline < wake ? c.deadline : wake;
            waits.push_back({c.socket, c.connecting});
            if (!c.connecting) talking.push_back(waits.back());
        }
        wake = std::min<std::uint64_t>(wake, now + kSliceMs);
        const std::uint64_t wait = wake > now ? wake - now : 0;
        // The printers being asked first, for a moment: a printer answers
        // within milliseconds, and a wait over a few sockets costs far less
        // than one over every connect under way (hundreds), so a printer is
        // let go as soon as it has answered.
        Result<std::vector<SocketEvent>> events;
        if (!talking.empty() && talking.size() < waits.size()) {
            events = network.waitAny(talking, static_cast<std::uint32_t>(std::min<std::uint64_t>(wait, kQuickMs)));
            now = network.nowMs();
        }
        if (events.ok() && events.value.empty()) {
            events = network.waitAny(waits, static_cast<std::uint32_t>(wake > now ? wake - now : 0));
            now = network.nowMs();
        }
        for (const SocketEvent& event : events.value) {
            std::size_t at = 0;
            while (at < live.size() && live[at].socket != event.socket) ++at;
            if (at == live.size()) continue;
            Conversation& c = live[at];
            bool over = false;
            if (c.connecting) {
                c.connecting = false;
                if (event.outcome == ConnectOutcome::Connected) {
                    over = advance(c);
                } else {
                    finish(c.index, event.outcome == ConnectOutcome::Refused ? PrinterState::Refused : PrinterState::NoAnswer,
                           false);
                    network.close(c.socket);
                    over = true;
                }
            } else {
                // A status answer is one byte (what follows it may be the
                // next request's business); an identity's text is read whole.
                const bool identifying = c.exchange.over();
                const auto answer = network.receive(c.socket, identifying ? MaxIdentityAnswerBytes : 1, 0);
                if (answer.error == winerr::Timeout) continue;
                const bool closed = !answer.ok() || answer.value.empty();
                if (identifying && closed)
                    c.identity.hungUp();
                else if (identifying)
                    c.identity.heard(answer.value);
                else if (closed)
                    c.exchange.hungUp();
                else
                    c.exchange.heard(answer.value);
                over = advance(c);
            }
            if (over) drop(at);
        }
        // Deadlines; at the bound, or when the wait itself failed, everything ends.
        for (std::size_t at = 0; at < live.size();) {
            Conversation& c = live[at];
            if (now < c.deadline && now < bound && events.ok()) {
                ++at;
                continue;
            }
            if (c.connecting) {
                finish(c.index, PrinterState::NoAnswer, false);
                network.close(c.socket);
            } else if (c.exchange.over()) {
                // Asking who it is: a late answer is waited for once more,
                // unless the search's bound (or its wait) ended everything.
                if (now < bound && events.ok()) c.identity.timedOut();
                if (now < bound && events.ok() && !c.identity.over()) {
                    c.deadline = now + IdentityAnswerMs;
                    ++at;
                    continue;
                }
                finishTalk(c);
            } else {
                c.exchange.timedOut();
                finishTalk(c);
            }
            drop(at);
        }
        if (!events.ok()) {
            next = total;
            if (request.failure) *request.failure = events.error;
        }
        if (request.keepGoing && !request.keepGoing(done, total)) {
            for (const Conversation& c : live) network.close(c.socket);
            return false;
        }
    }
}

}  // namespace

PrinterState ProbePrinter(Network& network, const NetworkAddress& address, FunctionRef<bool()> keepGoing,
                          PrinterIdentity* identity) {
    std::optional<Ipv4> ip = ParseIpv4(address.host);
    if (!ip) {
        const auto resolved = network.resolve(address.host);
        if (!resolved.ok() || resolved.value.empty()) return PrinterState::NoAnswer;
        ip = resolved.value.front();
    }
    TalkRequest request;
    request.addresses = {*ip};
    request.tcpPort = address.tcpPort;
    request.connectMs = ProbeConnectMs;
    // Each identity request's answer, and once more a late one's rest.
    request.boundMs = ProbeConnectMs + 4 * StatusAnswerMs + (identity ? 6 * IdentityAnswerMs : 0);
    if (identity) request.identify = true;
    // The request refers to these callables: they live as long as it.
    const auto keepGoingStep = [&](std::size_t, std::size_t) { return keepGoing(); };
    if (keepGoing) request.keepGoing = keepGoingStep;
    PrinterState state = PrinterState::NoAnswer;
    const auto finished = [&](std::size_t, PrinterState answer, bool, const PrinterIdentity& named) {
        state = answer;
        if (identity) *identity = named;
    };
    request.finished = finished;
    return TalkToAll(network, request) ? state : PrinterState::NoAnswer;
}

std::uint32_t SearchBoundMs(std::size_t addresses, std::size_t window) {
    const std::size_t rounds = window == 0 ? addresses : (addresses + window - 1) / window;
    return static_cast<std::uint32_t>(rounds * ScanConnectMs + 4 * StatusAnswerMs);
}

// ---- Finding printers ----------------------------------------------------------

std::vector<Ipv4Range> AdapterScanRanges(Network& network, WinError* error) {
    const auto adapters = network.adapterInterfaces();
    if (error) *error = adapters.error;
    std::vector<Ipv4Range> ranges;
    if (!adapters.ok()) return ranges;
    for (const auto& adapter : adapters.value) {
        if (adapter.address == 0 || (adapter.address >> 24) == 127 || adapter.prefixLength > 31) continue;
        // A wider network is searched only in the adapter's own /24.
        const unsigned prefix = adapter.prefixLength < 24 ? 24 : adapter.prefixLength;
        const Ipv4 mask = ~Ipv4(0) << (32 - prefix);
        const Ipv4 network = adapter.address & mask;
        const Ipv4 broadcast = network | ~mask;
        // A /31 has two addresses and no broadcast.
        Ipv4 first = prefix == 31 ? network : network + 1;
        Ipv4 last = prefix == 31 ? broadcast : broadcast - 1;
        // Both sides of the adapter's own address.
        if (adapter.address > first) ranges.push_back({first, adapter.address - 1});
        if (adapter.address < last) ranges.push_back({adapter.address + 1, last});
    }
    return ranges;
}

bool AnsweredAsPrinter(PrinterState state) {
    switch (state) {
        case PrinterState::Ready:
        case PrinterState::PaperNearEnd:
        case PrinterState::PaperOut:
        case PrinterState::CoverOpen:
        case PrinterState::Offline:
        case PrinterState::Error: return true;
        default: return false;
    }
}

std::vector<FoundPrinter> FindPrinters(Network& network, const std::vector<Ipv4Range>& ranges,
                                       FunctionRef<bool(std::size_t done, std::size_t total)> progress,
                                       FunctionRef<void(const FoundPrinter& printer)> found,
                                       WinError* failure) {
    TalkRequest request;
    request.failure = failure;
    for (const auto& range : ranges) {
        for (Ipv4 address = range.first; range.first <= range.last && request.addresses.size() < MaxSearchAddresses; ++address) {
            // Ranges are few and short: a plain search keeps each address once.
            if (std::find(request.addresses.begin(), request.addresses.end(), address) == request.addresses.end())
                request.addresses.push_back(address);
            if (address == range.last) break;
        }
    }
    if (request.addresses.empty()) return {};
    const unsigned limit = network.halfOpenLimit();
    request.window = limit < 1 ? 1 : limit > MaxConnectsAtOnce ? MaxConnectsAtOnce : limit;
    request.boundMs = SearchBoundMs(request.addresses.size(), request.window);
    request.keepGoing = progress;
    std::vector<std::pair<std::size_t, FoundPrinter>> printers;
    request.identify = true;
    const auto finished = [&](std::size_t index, PrinterState state, bool connected, const PrinterIdentity& identity) {
        if (!connected) return;
        printers.emplace_back(index, FoundPrinter{request.addresses[index], state, identity});
        if (found) found(printers.back().second);
    };
    request.finished = finished;
    TalkToAll(network, request);
    // In the order of the addresses, whatever order they answered in. The
    // printers that answer are few: a plain pass per address costs less
    // code than a sort.
    std::vector<FoundPrinter> list;
    for (std::size_t index = 0; index < request.addresses.size() && list.size() < printers.size(); ++index)
        for (const auto& printer : printers)
            if (printer.first == index) list.push_back(printer.second);
    return list;
}

// ---- The port --------------------------------------------------------------------

namespace {

// Two hosts are the same when both are IPv4 addresses with the same numbers
// ("127.000.000.009" is 127.0.0.9), or the same name ignoring case.
bool SameHost(const std::string& a, const std::string& b) {
    const AddressParse first = ParseNetworkAddress(a);
    const AddressParse second = ParseNetworkAddress(b);
    if (first.ok() && second.ok()) return SameName(first.address.host, second.address.host);
    return SameName(a, b);
}

// Whether a port's name is one this address's port would have: IP_<host>,
// IP_<host>_<tcp port>, or one of them with " (n)".
bool NamedFor(const std::string& name, const NetworkAddress& address) {
    const std::string ip = "IP_" + address.host;
    for (const std::string& base : {ip, ip + "_" + std::to_string(int{address.tcpPort})}) {
        if (name.size() < base.size() || !SameName(name.substr(0, base.size()), base)) continue;
        const std::string rest = name.substr(base.size());
        if (rest.empty()) return true;
        if (rest.size() >= 4 && rest.compare(0, 2, " (") == 0 && rest.back() == ')' &&
            std::all_of(rest.begin() + 2, rest.end() - 1, IsDigit))
            return true;
    }
    return false;
}

}  // namespace

bool IsTcpIpPort(const PortRecord& port) {
    return SameName(port.monitor, TcpIpMonitorName) || IsTcpIpPortDescription(port.description);
}

TcpIpPort PrepareTcpIpPort(Platform& platform, const NetworkAddress& address, Language language, RunLog* log) {
    TcpIpPort port;
    const std::string aim = FormatAddress(address);
    std::string unreadable;  // the first port named for the address whose settings cannot be read
    WinError unreadableError = winerr::Success;
    const auto fail = [&](NetworkPortProblem problem, const std::string& what, WinError error) {
        port.name.clear();
        port.problem = problem;
        port.error = error;
        port.errorText = platform.errorText(error, language);
        if (log) log->line("no network port for " + aim + ": " + what + " (" + ErrorNumber(error, Language::English) + ")");
        return port;
    };

    const auto monitors = platform.enumMonitors();
    if (!monitors.ok()) return fail(NetworkPortProblem::Unreadable, "the monitors cannot be listed", monitors.error);
    bool monitor = false;
    for (const auto& record : monitors.value) monitor = monitor || (record.name && SameName(*record.name, TcpIpMonitorName));
    if (!monitor) return fail(NetworkPortProblem::NoMonitor, "no Standard TCP/IP Port monitor", winerr::UnknownPort);

    const auto ports = platform.enumPorts();
    if (!ports.ok()) return fail(NetworkPortProblem::Unreadable, "the ports cannot be listed", ports.error);
    for (const auto& record : ports.value) {
        if (!IsTcpIpPort(record)) continue;
        const auto config = platform.tcpIpPortConfig(record.name);
        if (!config.ok() && unreadable.empty() && NamedFor(record.name, address)) {
            unreadable = record.name;
            unreadableError = config.error;
        }
        if (!config.ok() || !config.value.raw || !SameHost(config.value.host, address.host) ||
            config.value.tcpPort != address.tcpPort)
            continue;
        port.name = record.name;
        break;
    }

    if (port.ok()) {
        if (log) log->line("network port for " + aim + ": " + port.name + " (reused)");
        return port;
    }
    if (!unreadable.empty()) {
        port.unreadable = unreadable;
        return fail(NetworkPortProblem::PortSettingsUnreadable, "the settings of " + QuotedText(unreadable) + " cannot be read",
                    unreadableError);
    }
    // IP_<host>[_<tcp port>], then " (2)", " (3)", ... past names that are
    // taken. No host holds '_', ' ' or '(', so no name can be read as
    // another address's or TCP port's.
    const std::string base = "IP_" + address.host + (address.tcpPort == RawTcpPort ? "" : "_" + std::to_string(int{address.tcpPort}));
    std::string name;
    for (int suffix = 1; suffix <= 99 && name.empty(); ++suffix) {
        const std::string candidate = suffix == 1 ? base : base + " (" + std::to_string(suffix) + ")";
        bool taken = false;
        for (const auto& record : ports.value) taken = taken || SameName(record.name, candidate);
        if (!taken) name = candidate;
    }
    if (name.empty()) return fail(NetworkPortProblem::NoFreeName, "no free port name", winerr::FileExists);
    TcpIpPortConfig config;  // RAW, SNMP off: the record's defaults
    config.portName = name;
    config.host = address.host;
    config.tcpPort = address.tcpPort;
    const WinError error = platform.addTcpIpPort(config);
    if (error != winerr::Success) return fail(NetworkPortProblem::NotMade, "the port could not be made", error);
    port.name = name;
    port.made = true;
    if (log) log->line("network port for " + aim + ": " + name + " (made)");
    return port;
}

void UndoTcpIpPort(Platform& platform, const TcpIpPort& port, RunLog* log) {
    if (!port.made || port.name.empty()) return;
    const WinError error = platform.deleteTcpIpPort(port.name);
    if (log)
        log->line("network port " + port.name + (error == winerr::Success ? " deleted again" : " could not be deleted again") +
                  " (a later step failed)");
}

}  // namespace kelp
