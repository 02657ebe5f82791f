#include "platform/win32/Win32Network.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstddef>
#include <exception>
#include <vector>

#include "platform/win32/SystemDlls.h"

namespace kelp::win32 {

namespace {

// ws2_32 and iphlpapi, loaded from the system folder as the other tables
// of SystemDlls.h are; their functions' types are the SDK's.
#define KELP_WS2_FUNCTIONS(X) \
    X(WSAStartup)             \
    X(WSACleanup)             \
    X(WSAGetLastError)        \
    X(socket)                 \
    X(closesocket)            \
    X(connect)                \
    X(ioctlsocket)            \
    X(select)                 \
    X(send)                   \
    X(recv)                   \
    X(getsockopt)             \
    X(getaddrinfo)            \
    X(freeaddrinfo)

#define KELP_POINTER(name) decltype(&::name) name = nullptr;
struct Ws2Functions {
    KELP_WS2_FUNCTIONS(KELP_POINTER)
    decltype(&::GetAdaptersAddresses) GetAdaptersAddresses = nullptr;
    DWORD loadError = ERROR_SUCCESS;
    DWORD helperError = ERROR_SUCCESS;
};
#undef KELP_POINTER

template <class Fn>
Fn procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const Ws2Functions& ws2() {
    static Ws2Functions table;
    static bool loaded = false;
    if (loaded) return table;
    loaded = true;
    DWORD ignored = ERROR_SUCCESS;
    // Their own non-known dependencies first, from the system folder.
    for (const wchar_t* dependency : {L"ws2help.dll", L"nsi.dll", L"winnsi.dll", L"dnsapi.dll"})
        loadSystemDll(dependency, ignored);
    if (const HMODULE module = loadSystemDll(L"ws2_32.dll", table.loadError)) {
#define KELP_RESOLVE(name) table.name = procedure<decltype(table.name)>(module, #name);
        KELP_WS2_FUNCTIONS(KELP_RESOLVE)
#undef KELP_RESOLVE
    }
    if (const HMODULE helper = loadSystemDll(L"iphlpapi.dll", table.helperError))
        table.GetAdaptersAddresses = procedure<decltype(table.GetAdaptersAddresses)>(helper, "GetAdaptersAddresses");
    return table;
}

bool inSet(SOCKET s, const fd_set& set) {
    for (u_int i = 0; i < set.fd_count; ++i)
        if (set.fd_array[i] == s) return true;
    return false;
}

std::uint16_t networkOrder16(std::uint16_t value) { return static_cast<std::uint16_t>((value >> 8) | (value << 8)); }
std::uint32_t networkOrder32(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
}

constexpr WinError kRefused = WSAECONNREFUSED;

timeval timeoutOf(std::uint32_t ms) {
    timeval tv;
    tv.tv_sec = static_cast<long>(ms / 1000);
    tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
    return tv;
}

}  // namespace

Win32Network::~Win32Network() {
    if (started_ && ws2().WSACleanup) ws2().WSACleanup();
}

WinError Win32Network::start() {
    const auto& api = ws2();
    if (started_) return winerr::Success;
    if (!api.WSAStartup || !api.socket) return api.loadError != ERROR_SUCCESS ? api.loadError : ERROR_PROC_NOT_FOUND;
    WSADATA data;
    const int error = api.WSAStartup(MAKEWORD(2, 2), &data);
    if (error != 0) return static_cast<WinError>(error);
    started_ = true;
    return winerr::Success;
}

Result<std::vector<Ipv4>> Win32Network::resolve(const std::string& host) {
    Result<std::vector<Ipv4>> result;
    if ((result.error = start()) != winerr::Success) return result;
    const auto& api = ws2();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int error = api.getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (error != 0) {
        result.error = static_cast<WinError>(error);
        return result;
    }
    try {
        for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
            if (entry->ai_family != AF_INET || !entry->ai_addr) continue;
            const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
            result.value.push_back(networkOrder32(address->sin_addr.s_addr));
        }
    } catch (const std::exception&) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
    }
    api.freeaddrinfo(list);
    if (result.ok() && result.value.empty()) result.error = WSAHOST_NOT_FOUND;
    return result;
}

std::vector<ConnectAttempt> Win32Network::connectAll(const std::vector<Ipv4>& addresses, std::uint16_t tcpPort,
                                                     std::uint32_t timeoutMs, unsigned maxAtOnce,
                                                     const std::function<bool(std::size_t finished)>& keepGoing) {
    std::vector<ConnectAttempt> attempts(addresses.size());
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        attempts[i].address = addresses[i];
        attempts[i].error = winerr::Cancelled;
    }
    const WinError startError = start();
    if (startError != winerr::Success) {
        for (auto& attempt : attempts) attempt.error = startError;
        return attempts;
    }
    const auto& api = ws2();
    if (maxAtOnce < 1) maxAtOnce = 1;
    if (maxAtOnce > FD_SETSIZE) maxAtOnce = FD_SETSIZE;

    struct Pending {
        std::size_t index;
        SOCKET socket;
        DWORD started;
    };
    Pending pending[FD_SETSIZE];
    std::size_t underWay = 0;
    std::size_t next = 0;
    std::size_t finished = 0;
    bool stopped = false;
    const auto finish = [&](std::size_t index, ConnectOutcome outcome, WinError error, SOCKET s) {
        attempts[index].outcome = outcome;
        attempts[index].error = error;
        if (outcome == ConnectOutcome::Connected) {
            attempts[index].socket = static_cast<SocketHandle>(s);
        } else if (s != INVALID_SOCKET) {
            api.closesocket(s);
        }
        ++finished;
        if (keepGoing && !keepGoing(finished)) stopped = true;
    };

    while (true) {
        while (!stopped && next < addresses.size() && underWay < maxAtOnce) {
            const std::size_t index = next++;
            SOCKET s = api.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            if (s == INVALID_SOCKET) {
                finish(index, ConnectOutcome::Failed, static_cast<WinError>(api.WSAGetLastError()), s);
                continue;
            }
            u_long nonBlocking = 1;
            api.ioctlsocket(s, FIONBIO, &nonBlocking);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = networkOrder16(tcpPort);
            to.sin_addr.s_addr = networkOrder32(addresses[index]);
            const DWORD now = GetTickCount();
            if (api.connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
                finish(index, ConnectOutcome::Connected, winerr::Success, s);
                continue;
            }
            const int error = api.WSAGetLastError();
            if (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS) {
                pending[underWay++] = {index, s, now};
            } else {
                finish(index, error == WSAECONNREFUSED ? ConnectOutcome::Refused : ConnectOutcome::Failed,
                       static_cast<WinError>(error), s);
            }
        }
        if (stopped || underWay == 0) break;

        // Wait until the earliest deadline of those under way.
        fd_set written, failed;
        FD_ZERO(&written);
        FD_ZERO(&failed);
        DWORD wait = timeoutMs;
        const DWORD now = GetTickCount();
        for (std::size_t i = 0; i < underWay; ++i) {
            const Pending& p = pending[i];
            FD_SET(p.socket, &written);
            FD_SET(p.socket, &failed);
            const DWORD spent = now - p.started;
            const DWORD left = spent >= timeoutMs ? 0 : timeoutMs - spent;
            if (left < wait) wait = left;
        }
        timeval tv = timeoutOf(wait);
        api.select(0, nullptr, &written, &failed, &tv);
        const DWORD after = GetTickCount();
        std::size_t still = 0;
        for (std::size_t i = 0; i < underWay; ++i) {
            const Pending p = pending[i];
            if (stopped) {
                api.closesocket(p.socket);  // answered Cancelled
                continue;
            }
            if (inSet(p.socket, written)) {
                finish(p.index, ConnectOutcome::Connected, winerr::Success, p.socket);
            } else if (inSet(p.socket, failed)) {
                int error = 0;
                int size = sizeof error;
                api.getsockopt(p.socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
                finish(p.index, error == WSAECONNREFUSED ? ConnectOutcome::Refused : ConnectOutcome::Failed,
                       error == 0 ? winerr::NoErrorCode : static_cast<WinError>(error), p.socket);
            } else if (after - p.started >= timeoutMs) {
                finish(p.index, ConnectOutcome::TimedOut, winerr::Timeout, p.socket);
            } else {
                pending[still++] = p;
            }
        }
        underWay = still;
    }
    for (std::size_t i = 0; i < underWay; ++i) api.closesocket(pending[i].socket);
    return attempts;
}

WinError Win32Network::send(SocketHandle socket, const std::string& bytes) {
    const auto& api = ws2();
    if (!started_) return WSANOTINITIALISED;
    const SOCKET s = static_cast<SOCKET>(socket);
    std::size_t sent = 0;
    const DWORD began = GetTickCount();
    while (sent < bytes.size()) {
        const int count = api.send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
            continue;
        }
        const int error = api.WSAGetLastError();
        if (error != WSAEWOULDBLOCK) return static_cast<WinError>(error);
        // A full send buffer: wait a little for room, not for ever.
        if (GetTickCount() - began >= 3000) return winerr::Timeout;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        timeval tv = timeoutOf(100);
        api.select(0, nullptr, &writable, nullptr, &tv);
    }
    return winerr::Success;
}

Result<std::string> Win32Network::receive(SocketHandle socket, std::size_t maxBytes, std::uint32_t timeoutMs) {
    Result<std::string> result;
    const auto& api = ws2();
    if (!started_) {
        result.error = WSANOTINITIALISED;
        return result;
    }
    const SOCKET s = static_cast<SOCKET>(socket);
    fd_set readable, failed;
    FD_ZERO(&readable);
    FD_ZERO(&failed);
    FD_SET(s, &readable);
    FD_SET(s, &failed);
    timeval tv = timeoutOf(timeoutMs);
    const int ready = api.select(0, &readable, nullptr, &failed, &tv);
    if (ready == 0) {
        result.error = winerr::Timeout;
        return result;
    }
    if (ready < 0) {
        result.error = static_cast<WinError>(api.WSAGetLastError());
        return result;
    }
    char buffer[64];
    const int count = api.recv(s, buffer, static_cast<int>(maxBytes < sizeof buffer ? maxBytes : sizeof buffer), 0);
    if (count < 0)
        result.error = static_cast<WinError>(api.WSAGetLastError());
    else
        result.value.assign(buffer, static_cast<std::size_t>(count));
    return result;
}

void Win32Network::close(SocketHandle socket) {
    if (started_ && socket) ws2().closesocket(static_cast<SOCKET>(socket));
}

Result<std::vector<Ipv4Interface>> Win32Network::adapterInterfaces() {
    Result<std::vector<Ipv4Interface>> result;
    const auto& api = ws2();
    if (!api.GetAdaptersAddresses) {
        result.error = api.helperError != ERROR_SUCCESS ? api.helperError : ERROR_PROC_NOT_FOUND;
        return result;
    }
    try {
        const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
        ULONG size = 16 * 1024;
        std::vector<std::uint64_t> buffer;  // 8-byte aligned, as the records need
        ULONG error = ERROR_BUFFER_OVERFLOW;
        for (int attempt = 0; attempt < 4 && error == ERROR_BUFFER_OVERFLOW; ++attempt) {
            buffer.assign(size / 8 + 1, 0);
            error = api.GetAdaptersAddresses(AF_INET, flags, nullptr,
                                             reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
        }
        if (error == ERROR_NO_DATA) return result;
        if (error != ERROR_SUCCESS) {
            result.error = static_cast<WinError>(error);
            return result;
        }
        for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter; adapter = adapter->Next) {
            if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
            for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
                const SOCKADDR* address = unicast->Address.lpSockaddr;
                if (!address || address->sa_family != AF_INET) continue;
                Ipv4Interface entry;
                entry.address = networkOrder32(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
                // Windows XP's record ends before the prefix length: the
                // search then takes the address's /24.
                entry.prefixLength = unicast->Length >= offsetof(IP_ADAPTER_UNICAST_ADDRESS_LH, OnLinkPrefixLength) + 1
                                         ? unicast->OnLinkPrefixLength
                                         : 24;
                result.value.push_back(entry);
            }
        }
    } catch (const std::exception&) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
    }
    return result;
}

// Windows XP SP2 to Vista SP1 (and Server 2003 SP1 on) allow ten half-open
// connections at a time; more only queue behind them.
unsigned Win32Network::halfOpenLimit() {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) return 10;
    const DWORD major = version.dwMajorVersion, minor = version.dwMinorVersion, pack = version.wServicePackMajor;
    const bool limited = (major == 5 && ((minor == 1 && pack >= 2) || (minor == 2 && pack >= 1))) ||
                         (major == 6 && minor == 0 && pack < 2);
    return limited ? 10 : 64;
}

}  // namespace kelp::win32
