#include "install/CashDrawer.h"

#include <optional>

#include "install/InstallationLock.h"
#include "install/NetworkPrinter.h"
#include "install/Names.h"
#include "install/RunLog.h"
#include "install/SerialPrinter.h"

namespace kelp {

namespace {

constexpr std::uint8_t kDrawerSensor = 0x04;  // DLE EOT 1's bit 2
constexpr WinError kConnectionReset = 10054;  // WSAECONNRESET: the peer closed

// The status exchange over an open TCP connection of its own. Bytes that
// wait before a request (a status frame sent unasked as the connection
// opened) are handed on; the peer's close fails the channel.
class SocketChannel : public StatusChannel {
public:
    SocketChannel(Network& network, SocketHandle socket) : network_(network), socket_(socket) {}
    Result<std::string> takeWaiting() override {
        std::string waiting;
        for (;;) {
            auto bytes = network_.receive(socket_, 64, 0);
            if (bytes.error == winerr::Timeout) return {waiting, winerr::Success};
            if (!bytes.ok()) return {{}, bytes.error};
            if (bytes.value.empty()) return {{}, kConnectionReset};
            waiting += bytes.value;
        }
    }
    WinError send(const std::string& bytes) override { return network_.send(socket_, bytes); }
    Result<std::string> receive(std::size_t maxBytes, std::uint32_t timeoutMs) override {
        return network_.receive(socket_, maxBytes, timeoutMs);
    }
    std::uint64_t nowMs() override { return network_.nowMs(); }

private:
    Network& network_;
    SocketHandle socket_;
};

// A connection to the printer with ProbeConnectMs as its deadline; 0 when
// none was made.
SocketHandle Connect(Network& network, const NetworkAddress& address) {
    std::optional<Ipv4> ip = ParseIpv4(address.host);
    if (!ip) {
        const auto resolved = network.resolve(address.host);
        if (!resolved.ok() || resolved.value.empty()) return 0;
        ip = resolved.value.front();
    }
    const auto socket = network.startConnect(*ip, address.tcpPort);
    if (!socket.ok()) return 0;
    const auto events = network.waitAny({{socket.value, true}}, ProbeConnectMs);
    if (events.ok() && events.value.size() == 1 && events.value.front().outcome == ConnectOutcome::Connected)
        return socket.value;
    network.close(socket.value);
    return 0;
}

// Where a RAW TCP/IP port points; nothing for any other port, an LPR one,
// or one whose settings cannot be read.
std::optional<NetworkAddress> RawAddress(Platform& platform, const std::string& port) {
    const auto ports = platform.enumPorts();
    for (const auto& record : ports.value) {
        if (!SameName(record.name, port) || !IsTcpIpPort(record)) continue;
        const auto config = platform.tcpIpPortConfig(record.name);
        if (!config.ok() || !config.value.raw) return std::nullopt;
        return NetworkAddress{config.value.host, static_cast<std::uint16_t>(config.value.tcpPort)};
    }
    return std::nullopt;
}

const char* ResultLogText(DrawerResult result) {
    switch (result) {
        case DrawerResult::Opened: return "opened (its sensor changed)";
        case DrawerResult::Unchanged: return "kick sent; its sensor did not change";
        case DrawerResult::NoSensor: return "kick sent; the printer did not report its sensor";
        case DrawerResult::NotSent: return "not sent: the printer could not be reached";
        case DrawerResult::SentAsJob: return "kick sent as a job";
        case DrawerResult::JobFailed: return "the kick's job failed";
        case DrawerResult::Busy: return "not sent: another run holds the lock";
    }
    return "?";
}

}  // namespace

std::string DrawerKickBytes(DrawerPin pin) {
    return std::string{'\x1B', 'p', pin == DrawerPin::Pin5 ? '\x01' : '\x00', '\x19', static_cast<char>(0xFA)};
}

DrawerResult KickAndWatchDrawer(StatusChannel& channel, DrawerPin pin, FunctionRef<void(std::uint32_t)> pause) {
    const int before = AskPrinterByte(channel);
    if (channel.send(DrawerKickBytes(pin)) != winerr::Success) return DrawerResult::NotSent;
    if (before < 0) return DrawerResult::NoSensor;
    for (int check = 0; check < DrawerChecks; ++check) {
        if (pause) pause(DrawerCheckMs);
        const int after = AskPrinterByte(channel);
        if (after < 0) return DrawerResult::NoSensor;
        if ((after ^ before) & kDrawerSensor) return DrawerResult::Opened;
    }
    return DrawerResult::Unchanged;
}

DrawerOutcome OpenCashDrawer(Platform& platform, Network& network, SerialPorts& serialPorts,
                             const std::string& printerName, const std::string& port, DrawerPin pin, RunLog* log) {
    DrawerOutcome outcome;
    outcome.pin = pin;
    outcome.printerName = printerName;
    outcome.port = port;
    InstallationLock lock(platform, log);
    const auto pause = [&platform](std::uint32_t ms) { platform.sleep(ms); };
    if (lock.error() != winerr::Success) {
        outcome.result = lock.heldElsewhere() ? DrawerResult::Busy : DrawerResult::NotSent;
        outcome.error = lock.error();
    } else if (IsComPortName(port)) {
        outcome.error = TalkOverSerialPort(platform, serialPorts, port, [&](StatusChannel& channel) {
            outcome.result = KickAndWatchDrawer(channel, pin, pause);
        });
    } else if (const auto address = RawAddress(platform, port)) {
        if (const SocketHandle socket = Connect(network, *address)) {
            SocketChannel channel(network, socket);
            outcome.result = KickAndWatchDrawer(channel, pin, pause);
            network.close(socket);
        }
    } else {
        outcome.job = PrintRawJob(platform, printerName, "Kelp cash drawer", DrawerKickBytes(pin), 0);
        outcome.result = outcome.job.succeeded() ? DrawerResult::SentAsJob : DrawerResult::JobFailed;
    }
    if (log)
        log->line(std::string("cash drawer (pin ") + (pin == DrawerPin::Pin5 ? "5" : "2") + ") of " + printerName +
                  " on " + port + ": " + ResultLogText(outcome.result) +
                  (outcome.error ? " (error " + std::to_string(outcome.error) + ")" : ""));
    return outcome;
}

}  // namespace kelp
