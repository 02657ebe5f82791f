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
    // Non-blocking connects; waitAny is one select over every socket given
    // (up to 1024).
    Result<SocketHandle> startConnect(Ipv4 address, std::uint16_t tcpPort) override;
    Result<std::vector<SocketEvent>> waitAny(const std::vector<SocketWait>& sockets, std::uint32_t timeoutMs) override;
    std::uint64_t nowMs() override;
    WinError send(SocketHandle socket, const std::string& bytes) override;
    Result<std::string> receive(SocketHandle socket, std::size_t maxBytes, std::uint32_t timeoutMs) override;
    void close(SocketHandle socket) override;
    Result<std::vector<Ipv4Interface>> adapterInterfaces() override;
    unsigned halfOpenLimit() override;

private:
    // WSAStartup once; its error, or the DLL's.
    WinError start();
    bool started_ = false;
    std::uint32_t lastTick_ = 0;
    std::uint64_t wraps_ = 0;
};

}  // namespace kelp::win32
