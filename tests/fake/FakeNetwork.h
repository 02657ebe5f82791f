// An in-memory network as the engine sees it through Network: hosts with a
// scripted connect outcome, printers that answer the real-time status
// requests with scripted bytes, adapters, names. Records every connect
// batch and every byte sent, per address, so a test can say exactly what
// went out on the wire.
//
// An address nobody scripted does not answer (TimedOut). Connects end in
// the order of the addresses; the sliding window is the real network's
// business, the fake checks only that maxAtOnce is between 1 and 64.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Network.h"

namespace kelp {

class FakeNetwork : public Network {
public:
    // A host. answers[n - 1] is its answer to DLE EOT n (10 04 n); a request
    // beyond answers, or any other bytes, gets no answer. closes: the peer
    // closes the connection once it has answered what it answers.
    struct Host {
        ConnectOutcome outcome = ConnectOutcome::Connected;
        std::string answers = {};
        bool closes = false;
        WinError sendError = winerr::Success;  // send fails with this
    };
    void setHost(Ipv4 address, Host host) { hosts_[address] = std::move(host); }
    void setPrinter(Ipv4 address, std::string answers) { hosts_[address] = {ConnectOutcome::Connected, std::move(answers)}; }
    void setRefusing(Ipv4 address) { hosts_[address] = {ConnectOutcome::Refused, {}}; }
    // resolve answers these for a name (compared ignoring case); any other
    // name fails with 11001 (WSAHOST_NOT_FOUND). A dotted address resolves
    // to itself.
    void setName(const std::string& name, std::vector<Ipv4> addresses);
    void setAdapters(Result<std::vector<Ipv4Interface>> adapters) { adapters_ = std::move(adapters); }
    void setHalfOpenLimit(unsigned limit) { halfOpenLimit_ = limit; }

    // ---- Network ------------------------------------------------------------
    Result<std::vector<Ipv4>> resolve(const std::string& host) override;
    std::vector<ConnectAttempt> connectAll(const std::vector<Ipv4>& addresses, std::uint16_t tcpPort,
                                           std::uint32_t timeoutMs, unsigned maxAtOnce,
                                           const std::function<bool(std::size_t finished)>& keepGoing) override;
    WinError send(SocketHandle socket, const std::string& bytes) override;
    Result<std::string> receive(SocketHandle socket, std::size_t maxBytes, std::uint32_t timeoutMs) override;
    void close(SocketHandle socket) override;
    Result<std::vector<Ipv4Interface>> adapterInterfaces() override { return adapters_; }
    unsigned halfOpenLimit() override { return halfOpenLimit_; }

    // ---- What happened ------------------------------------------------------
    struct ConnectBatch {
        std::vector<Ipv4> addresses;
        std::uint16_t tcpPort = 0;
        std::uint32_t timeoutMs = 0;
        unsigned maxAtOnce = 0;
    };
    const std::vector<ConnectBatch>& batches() const { return batches_; }
    // Every address a connect was started to, in order.
    const std::vector<Ipv4>& connectedTo() const { return started_; }
    // The bytes sent to an address, all connections together.
    std::string sentTo(Ipv4 address) const;
    // The deadlines receive was given, in order.
    const std::vector<std::uint32_t>& receiveDeadlines() const { return receiveDeadlines_; }
    // Connections opened and not closed.
    std::size_t openSockets() const { return sockets_.size(); }

private:
    struct Socket {
        Ipv4 address;
        std::string pending;  // answers not read yet
        std::string request;  // bytes sent not yet making a whole request
    };
    std::map<Ipv4, Host> hosts_;
    std::map<std::string, std::vector<Ipv4>> names_;  // lower-case name
    Result<std::vector<Ipv4Interface>> adapters_;
    unsigned halfOpenLimit_ = 64;
    std::vector<ConnectBatch> batches_;
    std::vector<Ipv4> started_;
    std::map<Ipv4, std::string> sent_;
    std::vector<std::uint32_t> receiveDeadlines_;
    std::map<SocketHandle, Socket> sockets_;
    SocketHandle nextSocket_ = 0x700;
};

}  // namespace kelp
