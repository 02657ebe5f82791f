// Network over Winsock (ws2_32) and the IP helper (iphlpapi), both loaded
// from the system folder on first use (SystemDlls.h), so that a run that
// never touches the network never loads them and the import table stays
// as it is.
#pragma once

#include "platform/Network.h"

namespace kelp::win32 {

class Win32Network final : public Network {
public:
    ~Win32Network() override;
    Result<std::vector<Ipv4>> resolve(const std::string& host) override;
    // Non-blocking connects watched with select: at most 64 sockets in a
    // select set (the toolchain's FD_SETSIZE), each connect with its own
    // deadline measured from its start.
    std::vector<ConnectAttempt> connectAll(const std::vector<Ipv4>& addresses, std::uint16_t tcpPort,
                                           std::uint32_t timeoutMs, unsigned maxAtOnce,
                                           const std::function<bool(std::size_t finished)>& keepGoing) override;
    WinError send(SocketHandle socket, const std::string& bytes) override;
    Result<std::string> receive(SocketHandle socket, std::size_t maxBytes, std::uint32_t timeoutMs) override;
    void close(SocketHandle socket) override;
    Result<std::vector<Ipv4Interface>> adapterInterfaces() override;
    unsigned halfOpenLimit() override;

private:
    // WSAStartup once; its error, or the DLL's.
    WinError start();
    bool started_ = false;
};

}  // namespace kelp::win32
