// An in-memory network as the engine sees it through Network: hosts with a
// scripted connect outcome, printers that answer the real-time status
// requests with scripted bytes and with the manners of real ones, adapters,
// names; a peer that hangs up at a request, talks first or stays mute, one
// that sends status frames or XON/XOFF ahead of its answers. Time is a virtual clock (nowMs) that moves only while the engine
// waits (waitAny, receive), by exactly what it waits, so a test can say how
// long anything took. Records every connect and every byte sent, per
// address, so a test can say exactly what went out on the wire.
//
// An address nobody scripted does not answer: its connect never ends.
#pragma once

#include <cstdint>
#include <limits>
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
    // closes the connection at a request it does not answer.
    struct Host {
        ConnectOutcome outcome = ConnectOutcome::Connected;
        std::string answers = {};
        bool closes = false;
        WinError sendError = winerr::Success;  // send fails with this
        // When the connect ends (TimedOut: never); 0 with Refused or Failed:
        // startConnect fails at once.
        std::uint32_t connectMs = 1;
        std::uint32_t answerMs = 1;  // from a request to its answer
        std::string banner = {};     // sent as soon as a connection is made (it speaks first)
        std::uint32_t idleCloseMs = 0;  // hangs up when nothing came for that long
        unsigned answerEvery = 1;       // answers only the 1st, (1 + n)th, ... request of a connection
        // Serves one connection at a time: requests on a later one wait
        // until every earlier one is closed.
        bool oneAtATime = false;
        bool streams = false;  // sends without end from its connect on
        // Sent at each request halfway to its answer (in its place when
        // there is none): automatic status frames, XON/XOFF.
        std::string ahead = {};
        // The m of ESC p (1B 70 m t1 t2) its cash drawer is wired to: the
        // drawer opens at that pulse and its sensor (DLE EOT 1's 0x04) reads
        // the other way from then on. -1: no drawer, or one without a sensor.
        int drawerPin = -1;
        // Its answers to GS I n (1D 49 n) by n, sent as they are, all at once
        // identityMs after the request: Named("RK-730P") is 5F "RK-730P" 00;
        // an n it does not have gets no answer.
        std::map<int, std::string> identity = {};
        std::uint32_t identityMs = 1;
    };
    static std::string Named(const std::string& text) { return "\x5F" + text + std::string(1, '\0'); }
    // A ready printer that names itself: model, maker and serial number.
    static Host NamedPrinter(const std::string& model, const std::string& maker = "Kelp Test", const std::string& serial = "") {
        Host host{ConnectOutcome::Connected, "\x12\x12\x12\x12"};
        host.identity = {{67, Named(model)}, {66, Named(maker)}, {68, Named(serial)}};
        return host;
    }
    // A host set afresh has its drawer shut.
    void setHost(Ipv4 address, Host host) {
        hosts_[address] = std::move(host);
        drawerOpen_.erase(address);
    }
    void setPrinter(Ipv4 address, std::string answers) { hosts_[address] = {ConnectOutcome::Connected, std::move(answers)}; }
    void setRefusing(Ipv4 address) { hosts_[address] = {ConnectOutcome::Refused, {}}; }
    // resolve answers these for a name (compared ignoring case); any other
    // name fails with 11001 (WSAHOST_NOT_FOUND). A dotted address resolves
    // to itself.
    void setName(const std::string& name, std::vector<Ipv4> addresses);
    void setAdapters(Result<std::vector<Ipv4Interface>> adapters) { adapters_ = std::move(adapters); }
    void setHalfOpenLimit(unsigned limit) { halfOpenLimit_ = limit; }
    // Every connect fails at once with this (no socket to be had; 0: none).
    void failConnects(WinError error) { connectError_ = error; }
    // waitAny fails with this from its calls-th call on (0: never).
    void failWaitAt(std::size_t calls, WinError error) {
        failWaitAt_ = calls;
        waitError_ = error;
    }

    // ---- Network ------------------------------------------------------------
    Result<std::vector<Ipv4>> resolve(const std::string& host) override;
    Result<SocketHandle> startConnect(Ipv4 address, std::uint16_t tcpPort) override;
    Result<std::vector<SocketEvent>> waitAny(const std::vector<SocketWait>& sockets, std::uint32_t timeoutMs) override;
    std::uint64_t nowMs() override {
        newBatch_ = newBatch_ || sockets_.empty();
        return now_;
    }
    WinError send(SocketHandle socket, const std::string& bytes) override;
    Result<std::string> receive(SocketHandle socket, std::size_t maxBytes, std::uint32_t timeoutMs) override;
    void close(SocketHandle socket) override;
    Result<std::vector<Ipv4Interface>> adapterInterfaces() override { return adapters_; }
    unsigned halfOpenLimit() override { return halfOpenLimit_; }

    // ---- What happened ------------------------------------------------------
    // The connects of one search or probe form a batch: the engine reads the
    // clock before its first connect, with nothing open.
    struct ConnectBatch {
        std::vector<Ipv4> addresses;
        std::uint16_t tcpPort = 0;
        unsigned maxAtOnce = 0;  // the most connects under way at once
    };
    const std::vector<ConnectBatch>& batches() const { return batches_; }
    // Every address a connect was started to, in order.
    const std::vector<Ipv4>& connectedTo() const { return started_; }
    // The bytes sent to an address, all connections together.
    std::string sentTo(Ipv4 address) const;
    // How long each connection to an address was held, from the end of its
    // connect to its close, in the order they were closed.
    std::vector<std::uint64_t> heldMs(Ipv4 address) const;
    // The cash drawer kicks (ESC p m) an address received, their m in order.
    std::string kicksTo(Ipv4 address) const;
    // Connections opened and not closed.
    std::size_t openSockets() const { return sockets_.size(); }

private:
    static constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
    struct Socket {
        Ipv4 address = 0;
        std::uint64_t connectAt = kNever;  // when the connect ends
        bool reported = false;             // waitAny told its end
        std::multimap<std::uint64_t, char> incoming;  // by arrival time
        std::uint64_t peerClosesAt = kNever;
        std::uint64_t lastHeard = 0;  // for the idle hang-up
        std::string request;          // bytes sent not yet making a whole request
        unsigned requests = 0;
        std::vector<unsigned char> held;  // requests waiting for their turn (one at a time)
    };
    bool served(SocketHandle socket) const;
    void answer(Socket& s, unsigned char n, std::uint64_t at);
    std::uint64_t closesAt(const Socket& s) const;
    std::uint64_t readableAt(const Socket& s) const;

    std::map<Ipv4, Host> hosts_;
    std::map<std::string, std::vector<Ipv4>> names_;  // lower-case name
    Result<std::vector<Ipv4Interface>> adapters_;
    unsigned halfOpenLimit_ = 1024;
    std::size_t failWaitAt_ = 0;
    WinError connectError_ = 0;
    WinError waitError_ = winerr::Success;
    std::size_t waits_ = 0;
    bool newBatch_ = true;
    std::uint64_t now_ = 0;
    std::vector<ConnectBatch> batches_;
    std::vector<Ipv4> started_;
    std::map<Ipv4, std::string> sent_;
    std::map<Ipv4, std::string> kicks_;
    std::map<Ipv4, bool> drawerOpen_;
    std::map<Ipv4, std::vector<std::uint64_t>> held_;
    std::map<SocketHandle, Socket> sockets_;
    SocketHandle nextSocket_ = 0x700;
};

}  // namespace kelp
