#include "install/NetworkPrinter.h"

#include <algorithm>

#include "install/Names.h"
#include "install/PortInventory.h"
#include "install/RunLog.h"

namespace kelp {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

struct Bilingual {
    const char* chinese;
    const char* english;
    const char* in(int englishFlag) const { return englishFlag == 1 ? english : chinese; }
};

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

std::string Fill(const char* pattern, const std::string& a, const std::string& b = {}) {
    std::string text;
    for (const char* c = pattern; *c; ++c) {
        if (c[0] == '%' && (c[1] == '1' || c[1] == '2')) {
            text += c[1] == '1' ? a : b;
            ++c;
        } else {
            text += *c;
        }
    }
    return text;
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

AddressParse ParseNetworkAddress(const std::string& text) {
    AddressParse parse;
    const auto refuse = [&](AddressProblem problem) {
        parse.problem = problem;
        return parse;
    };
    if (text.empty()) return refuse(AddressProblem::Empty);
    const std::size_t colon = text.find(':');
    if (text[0] == '[' || (colon != std::string::npos && text.find(':', colon + 1) != std::string::npos))
        return refuse(AddressProblem::Ipv6);
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
        parse.address.host = FormatIpv4(address);
        return parse;
    }
    if (!GoodLabels(host)) return refuse(AddressProblem::NotAnAddress);
    parse.address.host = host;
    return parse;
}

std::string DescribeAddressProblem(AddressProblem problem, int englishFlag) {
    static constexpr Bilingual kTexts[] = {
        {"", ""},
        {"请输入打印机的地址。", "Enter the printer's address."},
        {"地址太长：主机名最多 48 个字符。", "The address is too long: a host name has at most 48 characters."},
        {"地址中只能有字母、数字、“-”和“.”，不能有空格或其他字符。",
         "An address holds only letters, digits, '-' and '.', no blank or other character."},
        {"IPv4 地址的每个数字都不能大于 255。", "No number of an IPv4 address is over 255."},
        {"TCP 端口不能为 0。", "The TCP port cannot be 0."},
        {"TCP 端口不能大于 65535。", "The TCP port cannot be over 65535."},
        {"冒号后的 TCP 端口必须是数字。", "The TCP port after the colon must be a number."},
        {"不支持 IPv6 地址，请使用打印机的主机名。", "IPv6 addresses are not supported: use the printer's host name."},
        {"这不是有效的 IPv4 地址或主机名。", "This is no IPv4 address (four numbers with dots) and no host name."},
    };
    const auto index = static_cast<std::size_t>(problem);
    return index < std::size(kTexts) ? kTexts[index].in(englishFlag) : "";
}

std::string FormatAddress(const NetworkAddress& address) {
    return address.host + ":" + std::to_string(int{address.tcpPort});
}

// ---- The printer's answer ----------------------------------------------------

namespace {

// A connection as the status exchange's channel.
class SocketChannel final : public StatusChannel {
public:
    SocketChannel(Network& network, SocketHandle socket) : network_(network), socket_(socket) {}
    WinError discard() override { return discardWaiting().error; }
    // What has come unasked is read now, without waiting.
    Result<std::size_t> discardWaiting() override {
        Result<std::size_t> dropped;
        while (true) {
            const auto bytes = network_.receive(socket_, 64, 0);
            if (bytes.error == winerr::Timeout || (bytes.ok() && bytes.value.empty())) return dropped;
            if (!bytes.ok()) return {dropped.value, bytes.error};
            dropped.value += bytes.value.size();
        }
    }
    WinError send(const std::string& bytes) override { return network_.send(socket_, bytes); }
    Result<std::string> receive(std::size_t maxBytes, std::uint32_t timeoutMs) override {
        return network_.receive(socket_, maxBytes, timeoutMs);
    }

private:
    Network& network_;
    SocketHandle socket_;
};

}  // namespace

PrinterState ProbeConnected(Network& network, SocketHandle socket) {
    SocketChannel channel(network, socket);
    return AskPrinterStatus(channel);
}

PrinterState ProbePrinter(Network& network, const NetworkAddress& address) {
    std::optional<Ipv4> ip = ParseIpv4(address.host);
    if (!ip) {
        const auto resolved = network.resolve(address.host);
        if (!resolved.ok() || resolved.value.empty()) return PrinterState::NoAnswer;
        ip = resolved.value.front();
    }
    const auto attempts = network.connectAll({*ip}, address.tcpPort, ProbeConnectMs, 1, {});
    if (attempts.empty()) return PrinterState::NoAnswer;
    const ConnectAttempt& attempt = attempts.front();
    if (attempt.outcome == ConnectOutcome::Refused) return PrinterState::Refused;
    if (attempt.outcome != ConnectOutcome::Connected) return PrinterState::NoAnswer;
    const PrinterState state = ProbeConnected(network, attempt.socket);
    network.close(attempt.socket);
    return state;
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

std::vector<FoundPrinter> FindPrinters(Network& network, const std::vector<Ipv4Range>& ranges,
                                       const std::function<bool(std::size_t done, std::size_t total)>& progress) {
    std::vector<Ipv4> addresses;
    for (const auto& range : ranges) {
        for (Ipv4 address = range.first; range.first <= range.last && addresses.size() < MaxSearchAddresses; ++address) {
            // Ranges are few and short: a plain search keeps each address once.
            if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) addresses.push_back(address);
            if (address == range.last) break;
        }
    }
    const std::size_t total = addresses.size();
    std::vector<FoundPrinter> found;
    if (total == 0) return found;
    bool cancelled = false;
    const auto keepGoing = [&](std::size_t finished) {
        if (!cancelled && progress && !progress(finished, total)) cancelled = true;
        return !cancelled;
    };
    unsigned window = network.halfOpenLimit();
    window = window < 1 ? 1 : window > 64 ? 64 : window;
    const auto attempts = network.connectAll(addresses, RawTcpPort, ScanConnectMs, window, keepGoing);
    for (const auto& attempt : attempts) {
        if (attempt.outcome != ConnectOutcome::Connected) continue;
        if (!cancelled) {
            found.push_back({attempt.address, ProbeConnected(network, attempt.socket)});
            keepGoing(total);
        }
        network.close(attempt.socket);
    }
    return found;
}

// ---- The port --------------------------------------------------------------------

bool IsTcpIpPort(const PortRecord& port) {
    return SameName(port.monitor, TcpIpMonitorName) || IsTcpIpPortDescription(port.description);
}

TcpIpPort PrepareTcpIpPort(Platform& platform, const NetworkAddress& address, int englishFlag, RunLog* log) {
    static constexpr Bilingual kNoMonitor = {
        "此系统没有“Standard TCP/IP Port”端口监视器，无法为 %1 创建端口。",
        "This system has no \"Standard TCP/IP Port\" monitor: no port can be made for %1."};
    static constexpr Bilingual kNoList = {"无法读取系统的端口监视器或端口（错误 %2）。",
                                          "The system's port monitors or ports cannot be read (error %2)."};
    static constexpr Bilingual kNotMade = {"无法创建指向 %1 的端口（错误 %2）。",
                                           "The port for %1 could not be made (error %2)."};
    static constexpr Bilingual kNoName = {"没有可用于 %1 的端口名。", "There is no free port name for %1."};

    TcpIpPort port;
    const std::string aim = FormatAddress(address);
    const auto fail = [&](const Bilingual& text, WinError error) {
        port.name.clear();
        port.error = error;
        std::string number = ErrorNumber(error, englishFlag);
        const std::string reason = platform.errorText(error, englishFlag);
        if (!reason.empty()) number += (englishFlag == 1 ? ": " : "：") + reason;
        port.failure = Fill(text.in(englishFlag), aim, number);
        if (log) log->line(port.failure);
        return port;
    };

    const auto monitors = platform.enumMonitors();
    if (!monitors.ok()) return fail(kNoList, monitors.error);
    bool monitor = false;
    for (const auto& record : monitors.value) monitor = monitor || (record.name && SameName(*record.name, TcpIpMonitorName));
    if (!monitor) return fail(kNoMonitor, winerr::UnknownPort);

    const auto ports = platform.enumPorts();
    if (!ports.ok()) return fail(kNoList, ports.error);
    for (const auto& record : ports.value) {
        if (!IsTcpIpPort(record)) continue;
        const auto config = platform.tcpIpPortConfig(record.name);
        if (!config.ok() || !config.value.raw || !SameName(config.value.host, address.host) ||
            config.value.tcpPort != address.tcpPort)
            continue;
        port.name = record.name;
        break;
    }

    if (port.ok()) {
        if (log) log->line("network port for " + aim + ": " + port.name + " (reused)");
        return port;
    }
    // IP_<host>[_<tcp port>], then _2, _3, ... past names that are taken.
    const std::string base = "IP_" + address.host + (address.tcpPort == RawTcpPort ? "" : "_" + std::to_string(int{address.tcpPort}));
    std::string name;
    for (int suffix = 1; suffix <= 99 && name.empty(); ++suffix) {
        const std::string candidate = suffix == 1 ? base : base + "_" + std::to_string(suffix);
        bool taken = false;
        for (const auto& record : ports.value) taken = taken || SameName(record.name, candidate);
        if (!taken) name = candidate;
    }
    if (name.empty()) return fail(kNoName, winerr::FileExists);
    TcpIpPortConfig config;  // RAW, SNMP off: the record's defaults
    config.portName = name;
    config.host = address.host;
    config.tcpPort = address.tcpPort;
    const WinError error = platform.addTcpIpPort(config);
    if (error != winerr::Success) return fail(kNotMade, error);
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
