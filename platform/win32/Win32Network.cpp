#include "platform/win32/Win32Network.h"

// One select watches every socket of a search (at most 1024 at once, the
// engine's bound). Winsock reads fd_count from the set, so a larger
// FD_SETSIZE before winsock2.h is all a bigger set needs.
#define FD_SETSIZE 1024
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstddef>
#include <exception>
#include <memory>
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

Result<SocketHandle> Win32Network::startConnect(Ipv4 address, std::uint16_t tcpPort) {
    Result<SocketHandle> result;
    if ((result.error = start()) != winerr::Success) return result;
    const auto& api = ws2();
    const SOCKET s = api.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        result.error = static_cast<WinError>(api.WSAGetLastError());
        return result;
    }
    u_long nonBlocking = 1;
    api.ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = networkOrder16(tcpPort);
    to.sin_addr.s_addr = networkOrder32(address);
    if (api.connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        const int error = api.WSAGetLastError();
        if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS) {
            api.closesocket(s);
            result.error = static_cast<WinError>(error);
            return result;
        }
    }
    // A connect that ended at once is reported by the next wait all the same:
    // the socket is writable.
    result.value = static_cast<SocketHandle>(s);
    return result;
}

// A connect's end shows as writable (made) or as an exception (failed, the
// reason in SO_ERROR); an open connection as readable (bytes, or the
// peer's close).
Result<std::vector<SocketEvent>> Win32Network::waitAny(const std::vector<SocketWait>& sockets, std::uint32_t timeoutMs) {
    Result<std::vector<SocketEvent>> result;
    if (!started_) {
        result.error = WSANOTINITIALISED;
        return result;
    }
    if (sockets.size() > FD_SETSIZE) {
        result.error = WSAEINVAL;
        return result;
    }
    const auto& api = ws2();
    try {
        // Three sets of FD_SETSIZE sockets are 12 KB: not on the stack.
        const auto sets = std::make_unique<fd_set[]>(3);
        fd_set& readable = sets[0];
        fd_set& written = sets[1];
        fd_set& failed = sets[2];
        FD_ZERO(&readable);
        FD_ZERO(&written);
        FD_ZERO(&failed);
        for (const SocketWait& wait : sockets) {
            const SOCKET s = static_cast<SOCKET>(wait.socket);
            if (wait.connecting) {
                FD_SET(s, &written);
                FD_SET(s, &failed);
            } else {
                FD_SET(s, &readable);
            }
        }
        timeval tv = timeoutOf(timeoutMs);
        if (sockets.empty()) {
            Sleep(timeoutMs);
            return result;
        }
        const int ready = api.select(0, &readable, &written, &failed, &tv);
        if (ready < 0) {
            result.error = static_cast<WinError>(api.WSAGetLastError());
            return result;
        }
        for (const SocketWait& wait : sockets) {
            const SOCKET s = static_cast<SOCKET>(wait.socket);
            SocketEvent event{wait.socket, ConnectOutcome::Connected, winerr::Success};
            if (!wait.connecting) {
                if (inSet(s, readable)) result.value.push_back(event);
                continue;
            }
            if (inSet(s, failed)) {
                int error = 0;
                int size = sizeof error;
                api.getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
                event.outcome = error == kRefused ? ConnectOutcome::Refused : ConnectOutcome::Failed;
                event.error = error == 0 ? winerr::NoErrorCode : static_cast<WinError>(error);
                result.value.push_back(event);
            } else if (inSet(s, written)) {
                result.value.push_back(event);
            }
        }
    } catch (const std::exception&) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
    }
    return result;
}

// GetTickCount wraps after 49.7 days; GetTickCount64 is Vista's. The wrap is
// counted here (the engine reads the clock far more often than that).
std::uint64_t Win32Network::nowMs() {
    const DWORD tick = GetTickCount();
    if (tick < lastTick_) wraps_ += std::uint64_t{1} << 32;
    lastTick_ = tick;
    return wraps_ + tick;
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
    return limited ? 10 : FD_SETSIZE;
}

}  // namespace kelp::win32
