#include "fake/FakeNetwork.h"

#include <stdexcept>

#include "install/Names.h"

namespace kelp {

namespace {

constexpr WinError kHostNotFound = 11001;  // WSAHOST_NOT_FOUND
constexpr WinError kNotSocket = 10038;     // WSAENOTSOCK

std::optional<Ipv4> Dotted(const std::string& text) {
    Ipv4 address = 0;
    int octets = 0;
    std::size_t i = 0;
    while (octets < 4) {
        unsigned value = 0;
        std::size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[i++] - '0');
            ++digits;
        }
        if (digits == 0 || value > 255) return std::nullopt;
        address = (address << 8) | value;
        if (++octets < 4 && (i >= text.size() || text[i++] != '.')) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    return address;
}

}  // namespace

void FakeNetwork::setName(const std::string& name, std::vector<Ipv4> addresses) {
    names_[Lower(name)] = std::move(addresses);
}

Result<std::vector<Ipv4>> FakeNetwork::resolve(const std::string& host) {
    if (const auto dotted = Dotted(host)) return {{*dotted}, winerr::Success};
    const auto found = names_.find(Lower(host));
    if (found == names_.end()) return {{}, kHostNotFound};
    return {found->second, winerr::Success};
}

std::vector<ConnectAttempt> FakeNetwork::connectAll(const std::vector<Ipv4>& addresses, std::uint16_t tcpPort,
                                                    std::uint32_t timeoutMs, unsigned maxAtOnce,
                                                    const std::function<bool(std::size_t finished)>& keepGoing) {
    if (maxAtOnce < 1 || maxAtOnce > 64) throw std::invalid_argument("FakeNetwork: maxAtOnce out of 1..64");
    batches_.push_back({addresses, tcpPort, timeoutMs, maxAtOnce});
    std::vector<ConnectAttempt> attempts;
    bool stopped = false;
    for (const Ipv4 address : addresses) {
        ConnectAttempt attempt;
        attempt.address = address;
        if (stopped) {
            attempt.error = winerr::Cancelled;
            attempts.push_back(attempt);
            continue;
        }
        started_.push_back(address);
        const auto host = hosts_.find(address);
        attempt.outcome = host == hosts_.end() ? ConnectOutcome::TimedOut : host->second.outcome;
        if (attempt.outcome == ConnectOutcome::Connected) {
            attempt.socket = nextSocket_++;
            sockets_[attempt.socket] = {address, {}, {}};
        } else if (attempt.outcome == ConnectOutcome::Failed) {
            attempt.error = 10065;  // WSAEHOSTUNREACH
        }
        attempts.push_back(attempt);
        if (keepGoing && !keepGoing(attempts.size())) stopped = true;
    }
    return attempts;
}

WinError FakeNetwork::send(SocketHandle socket, const std::string& bytes) {
    const auto open = sockets_.find(socket);
    if (open == sockets_.end()) return kNotSocket;
    Socket& s = open->second;
    const Host& host = hosts_[s.address];
    if (host.sendError != winerr::Success) return host.sendError;
    sent_[s.address] += bytes;
    s.request += bytes;
    // Whole requests are answered; anything that is no status request is
    // taken and left unanswered.
    while (s.request.size() >= 3) {
        if (s.request[0] == '\x10' && s.request[1] == '\x04') {
            const auto n = static_cast<unsigned char>(s.request[2]);
            if (n >= 1 && n <= host.answers.size()) s.pending += host.answers[n - 1];
            s.request.erase(0, 3);
        } else {
            s.request.erase(0, 1);
        }
    }
    return winerr::Success;
}

Result<std::string> FakeNetwork::receive(SocketHandle socket, std::size_t maxBytes, std::uint32_t timeoutMs) {
    receiveDeadlines_.push_back(timeoutMs);
    const auto open = sockets_.find(socket);
    if (open == sockets_.end()) return {{}, kNotSocket};
    Socket& s = open->second;
    if (s.pending.empty()) {
        if (hosts_[s.address].closes) return {{}, winerr::Success};
        return {{}, winerr::Timeout};
    }
    const std::string bytes = s.pending.substr(0, maxBytes);
    s.pending.erase(0, bytes.size());
    return {bytes, winerr::Success};
}

void FakeNetwork::close(SocketHandle socket) {
    if (sockets_.erase(socket) == 0) throw std::logic_error("FakeNetwork: closing a socket that is not open");
}

std::string FakeNetwork::sentTo(Ipv4 address) const {
    const auto found = sent_.find(address);
    return found == sent_.end() ? std::string() : found->second;
}

}  // namespace kelp
