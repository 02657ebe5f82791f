// The network operations a check of a network receipt printer needs: TCP
// connects with a deadline of their own, a few bytes sent and read with a
// deadline, and the IPv4 networks of the machine's adapters. Kept apart from
// Platform (spooler, registry, files): the Win32 implementation loads
// ws2_32 and iphlpapi from system32 only when a network operation is asked
// for. Addresses are IPv4 in host byte order (127.0.0.1 is 0x7F000001).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kelp {

using Ipv4 = std::uint32_t;
// An open TCP connection; 0 means none.
using SocketHandle = std::uintptr_t;

// An adapter's IPv4 address and the length of its network prefix (24 for
// 255.255.255.0).
struct Ipv4Interface {
    Ipv4 address = 0;
    unsigned prefixLength = 0;
};

enum class ConnectOutcome {
    Connected,  // socket is open
    Refused,    // the host answered: nothing listens on that port
    TimedOut,   // no answer before the deadline
    Failed,     // any other error (error says which)
};

// A socket to wait for: a connect under way (its end), or an open
// connection (bytes to read, or the peer's close).
struct SocketWait {
    SocketHandle socket = 0;
    bool connecting = false;
};

// What a wait saw on one socket. A connect's end: Connected, Refused or
// Failed (error says which). An open connection: Connected, meaning that a
// receive now does not wait (bytes came, or the peer closed).
struct SocketEvent {
    SocketHandle socket = 0;
    ConnectOutcome outcome = ConnectOutcome::Connected;
    WinError error = winerr::Success;
};

class Network {
public:
    virtual ~Network() = default;

    // The IPv4 addresses of a host name (or of a dotted address, as is);
    // fails when the name is not known or the socket library is missing.
    virtual Result<std::vector<Ipv4>> resolve(const std::string& host) = 0;
    // Starts a TCP connect to address:tcpPort without waiting for it; its
    // end comes from waitAny. An error when the connect failed at once
    // (10061, WSAECONNREFUSED, when refused): then there is no socket.
    virtual Result<SocketHandle> startConnect(Ipv4 address, std::uint16_t tcpPort) = 0;
    // Waits at most timeoutMs for any of the sockets: answers those whose
    // connect ended or that can be read, empty when the time ran out.
    virtual Result<std::vector<SocketEvent>> waitAny(const std::vector<SocketWait>& sockets, std::uint32_t timeoutMs) = 0;
    // Milliseconds of a clock that only goes forward (not the time of day).
    virtual std::uint64_t nowMs() = 0;
    virtual WinError send(SocketHandle socket, const std::string& bytes) = 0;
    // At most maxBytes, waiting at most timeoutMs; an empty value with
    // success when the peer closed, winerr::Timeout (1460) when nothing came.
    virtual Result<std::string> receive(SocketHandle socket, std::size_t maxBytes, std::uint32_t timeoutMs) = 0;
    virtual void close(SocketHandle socket) = 0;
    // The IPv4 addresses of the adapters that are up, loopback left out.
    virtual Result<std::vector<Ipv4Interface>> adapterInterfaces() = 0;
    // How many connects may be under way at once: 10 on Windows XP SP2 to
    // Vista SP1, which limit half-open connections, else as many as one
    // waitAny can watch (1024).
    virtual unsigned halfOpenLimit() = 0;
};

}  // namespace kelp
