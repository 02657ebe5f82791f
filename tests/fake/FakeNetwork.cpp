#include "fake/FakeNetwork.h"

#include <stdexcept>

#include "install/Names.h"

namespace kelp {

namespace {

constexpr WinError kHostNotFound = 11001;  // WSAHOST_NOT_FOUND
constexpr WinError kNotSocket = 10038;     // WSAENOTSOCK
constexpr WinError kRefused = 10061;       // WSAECONNREFUSED
constexpr WinError kUnreachable = 10065;   // WSAEHOSTUNREACH
constexpr WinError kReset = 10054;         // WSAECONNRESET

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

Result<SocketHandle> FakeNetwork::startConnect(Ipv4 address, std::uint16_t tcpPort) {
    if (connectError_ != 0) return {0, connectError_};
    std::size_t underWay = 0;
    for (const auto& [handle, s] : sockets_) underWay += s.reported ? 0 : 1;
    if (newBatch_ || batches_.empty()) batches_.push_back({{}, tcpPort, 0});
    newBatch_ = false;
    ConnectBatch& batch = batches_.back();
    batch.addresses.push_back(address);
    if (underWay + 1 > batch.maxAtOnce) batch.maxAtOnce = static_cast<unsigned>(underWay + 1);
    started_.push_back(address);
    const auto scripted = hosts_.find(address);
    const Host host = scripted == hosts_.end() ? Host{ConnectOutcome::TimedOut} : scripted->second;
    if (host.outcome != ConnectOutcome::Connected && host.outcome != ConnectOutcome::TimedOut && host.connectMs == 0)
        return {0, host.outcome == ConnectOutcome::Refused ? kRefused : kUnreachable};
    const SocketHandle handle = nextSocket_++;
    Socket& s = sockets_[handle];
    s.address = address;
    if (host.outcome != ConnectOutcome::TimedOut) s.connectAt = now_ + host.connectMs;
    if (host.outcome == ConnectOutcome::Connected) {
        s.lastHeard = s.connectAt;
        for (const char c : host.banner) s.incoming.emplace(s.connectAt, c);
    }
    return {handle, winerr::Success};
}

// A peer that hangs up when idle does so that long after it last heard
// from us; a peer that closes at an unanswered request, when it gets one.
std::uint64_t FakeNetwork::closesAt(const Socket& s) const {
    const Host& host = hosts_.at(s.address);
    if (host.idleCloseMs == 0 || s.connectAt == kNever) return s.peerClosesAt;
    const std::uint64_t idle = s.lastHeard + host.idleCloseMs;
    return idle < s.peerClosesAt ? idle : s.peerClosesAt;
}

// When a receive would not wait: the next byte, or the peer's close.
std::uint64_t FakeNetwork::readableAt(const Socket& s) const {
    if (hosts_.at(s.address).streams) return s.connectAt;
    const std::uint64_t close = closesAt(s);
    if (s.incoming.empty()) return close;
    const std::uint64_t first = s.incoming.begin()->first;
    return first < close ? first : close;
}

Result<std::vector<SocketEvent>> FakeNetwork::waitAny(const std::vector<SocketWait>& waits, std::uint32_t timeoutMs) {
    if (failWaitAt_ != 0 && ++waits_ >= failWaitAt_) return {{}, waitError_};
    std::uint64_t earliest = kNever;
    for (const SocketWait& wait : waits) {
        const auto open = sockets_.find(wait.socket);
        if (open == sockets_.end()) throw std::logic_error("FakeNetwork: waiting for a socket that is not open");
        const std::uint64_t at = wait.connecting ? open->second.connectAt : readableAt(open->second);
        earliest = at < earliest ? at : earliest;
    }
    Result<std::vector<SocketEvent>> result;
    if (earliest > now_ + timeoutMs) {
        now_ += timeoutMs;
        return result;
    }
    now_ = earliest > now_ ? earliest : now_;
    for (const SocketWait& wait : waits) {
        Socket& s = sockets_.at(wait.socket);
        if (wait.connecting ? s.connectAt > now_ : readableAt(s) > now_) continue;
        SocketEvent event{wait.socket, ConnectOutcome::Connected, winerr::Success};
        if (wait.connecting) {
            s.reported = true;
            event.outcome = hosts_.at(s.address).outcome;
            if (event.outcome == ConnectOutcome::Refused) event.error = kRefused;
            if (event.outcome == ConnectOutcome::Failed) event.error = kUnreachable;
        }
        result.value.push_back(event);
    }
    return result;
}

bool FakeNetwork::served(SocketHandle socket) const {
    const Socket& s = sockets_.at(socket);
    if (!hosts_.at(s.address).oneAtATime) return true;
    for (const auto& [handle, other] : sockets_)
        if (handle < socket && other.address == s.address && other.connectAt != kNever) return false;
    return true;
}

void FakeNetwork::answer(Socket& s, unsigned char n, std::uint64_t at) {
    const Host& host = hosts_.at(s.address);
    const bool turn = (s.requests++ % (host.answerEvery < 1 ? 1 : host.answerEvery)) == 0;
    for (const char c : host.ahead) s.incoming.emplace(at + host.answerMs / 2, c);
    if (turn && n >= 1 && n <= host.answers.size()) {
        const bool open = n == 1 && drawerOpen_[s.address];
        s.incoming.emplace(at + host.answerMs, static_cast<char>(host.answers[n - 1] ^ (open ? 0x04 : 0)));
    } else if (host.closes && at + host.answerMs < s.peerClosesAt) {
        s.peerClosesAt = at + host.answerMs;
    }
}

WinError FakeNetwork::send(SocketHandle socket, const std::string& bytes) {
    const auto open = sockets_.find(socket);
    if (open == sockets_.end()) return kNotSocket;
    Socket& s = open->second;
    const Host& host = hosts_[s.address];
    if (host.sendError != winerr::Success) return host.sendError;
    if (closesAt(s) <= now_) return kReset;
    sent_[s.address] += bytes;
    s.lastHeard = now_;
    s.request += bytes;
    // Whole requests are answered; anything that is no status request is
    // taken and left unanswered.
    while (s.request.size() >= 3) {
        if (s.request[0] == '\x1B' && s.request[1] == 'p') {
            if (s.request.size() < 5) break;
            const int m = static_cast<unsigned char>(s.request[2]);
            kicks_[s.address] += static_cast<char>(m);
            if (m == host.drawerPin) drawerOpen_[s.address] = true;
            s.request.erase(0, 5);
        } else if (s.request[0] == '\x10' && s.request[1] == '\x04') {
            const auto n = static_cast<unsigned char>(s.request[2]);
            if (served(socket))
                answer(s, n, now_);
            else
                s.held.push_back(n);
            s.request.erase(0, 3);
        } else if (s.request[0] == '\x1D' && s.request[1] == '\x49') {
            const auto found = host.identity.find(static_cast<unsigned char>(s.request[2]));
            if (found != host.identity.end())
                for (const char c : found->second) s.incoming.emplace(now_ + host.identityMs, c);
            s.request.erase(0, 3);
        } else {
            s.request.erase(0, 1);
        }
    }
    return winerr::Success;
}

Result<std::string> FakeNetwork::receive(SocketHandle socket, std::size_t maxBytes, std::uint32_t timeoutMs) {
    const auto open = sockets_.find(socket);
    if (open == sockets_.end()) return {{}, kNotSocket};
    Socket& s = open->second;
    const std::uint64_t ready = readableAt(s);
    if (ready > now_) {
        if (ready > now_ + timeoutMs) {
            now_ += timeoutMs;
            return {{}, winerr::Timeout};
        }
        now_ = ready;
    }
    if (hosts_.at(s.address).streams) return {std::string(maxBytes, 'U'), winerr::Success};
    std::string bytes;
    const std::uint64_t close = closesAt(s);
    while (bytes.size() < maxBytes && !s.incoming.empty() && s.incoming.begin()->first <= now_ &&
           s.incoming.begin()->first < close) {
        bytes += s.incoming.begin()->second;
        s.incoming.erase(s.incoming.begin());
    }
    return {bytes, winerr::Success};
}

void FakeNetwork::close(SocketHandle socket) {
    const auto open = sockets_.find(socket);
    if (open == sockets_.end()) throw std::logic_error("FakeNetwork: closing a socket that is not open");
    const Ipv4 address = open->second.address;
    if (open->second.reported && open->second.connectAt <= now_) held_[address].push_back(now_ - open->second.connectAt);
    sockets_.erase(open);
    // The next connection in line gets its turn: its requests are answered now.
    for (auto& [handle, s] : sockets_) {
        if (s.address != address || !served(handle)) continue;
        for (const unsigned char n : s.held) answer(s, n, now_);
        s.held.clear();
    }
}

std::string FakeNetwork::sentTo(Ipv4 address) const {
    const auto found = sent_.find(address);
    return found == sent_.end() ? std::string() : found->second;
}

std::vector<std::uint64_t> FakeNetwork::heldMs(Ipv4 address) const {
    const auto found = held_.find(address);
    return found == held_.end() ? std::vector<std::uint64_t>{} : found->second;
}

std::string FakeNetwork::kicksTo(Ipv4 address) const {
    const auto found = kicks_.find(address);
    return found == kicks_.end() ? std::string() : found->second;
}

}  // namespace kelp
