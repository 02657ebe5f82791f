// kelptcpmon.dll: a port monitor of the tests' own, registered in the test
// prefixes that want one under the name of Windows' "Standard TCP/IP Port"
// monitor (Wine has none). It answers the XcvData calls a program makes to
// that monitor (AddPort, DeletePort, GetConfigInfo), lists its ports in
// EnumPorts and sends what is printed on a port to the port's host and TCP
// port over a socket, so a scenario sees a network printer's whole path.
//
// Its records are written here from Microsoft's documentation of tcpxcv.h,
// not taken from Kelp's headers: a layout mistake on either side then shows
// up as a refused call or a port aimed at the wrong place.
//
// Two values under the monitor's own key make it behave as Windows does for
// a person without rights (REG_DWORD, non-zero to set, read at each call):
//   NotAdministrator     a handle opened with SERVER_ACCESS_ADMINISTER gets
//                        ERROR_ACCESS_DENIED for every command, as the
//                        spooler grants that access to administrators only;
//   RefuseGetConfigInfo  GetConfigInfo answers ERROR_ACCESS_DENIED, whatever
//                        the access.
//
// Each port is a key Ports\<name> under the monitor's own key, with the
// values Host (REG_SZ), TcpPort, Protocol and Snmp (REG_DWORD). Wine hands a
// monitor a real registry key and stubs the spooler's registry functions
// (MONITORREG), so the monitor uses the registry directly.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <cstddef>
#include <string>

namespace {

// ---- tcpxcv.h, as documented ------------------------------------------------
struct PortData1 {
    WCHAR sztPortName[64];
    DWORD dwVersion;
    DWORD dwProtocol;  // 1 RAW, 2 LPR
    DWORD cbSize;
    DWORD dwReserved;
    WCHAR sztHostAddress[49];
    WCHAR sztSNMPCommunity[33];
    DWORD dwDoubleSpool;
    WCHAR sztQueue[33];
    WCHAR sztIPAddress[16];
    BYTE Reserved[540];
    DWORD dwPortNumber;
    DWORD dwSNMPEnabled;
    DWORD dwSNMPDevIndex;
};
struct DeletePortData1 {
    WCHAR psztPortName[64];
    BYTE Reserved[98];
    DWORD dwVersion;
    DWORD dwReserved;
};
struct ConfigInfoData1 {
    BYTE Reserved[128];
    DWORD dwVersion;
};
static_assert(sizeof(PortData1) == 964 && offsetof(PortData1, sztHostAddress) == 144 &&
              offsetof(PortData1, dwPortNumber) == 952);
static_assert(sizeof(DeletePortData1) == 236 && offsetof(DeletePortData1, dwVersion) == 228);
static_assert(sizeof(ConfigInfoData1) == 132);

const wchar_t kMonitor[] = L"Standard TCP/IP Port";
const wchar_t kMonitorKey[] = L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port";
const wchar_t kPortsKey[] = L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";
const wchar_t kLocalPortsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

struct Xcv {
    std::wstring object;  // the port's name, or the monitor's
    ACCESS_MASK access;
};
struct Port {
    std::wstring name;
    SOCKET socket = INVALID_SOCKET;
};

// A fixed array's text, refused when it is empty or fills the array (no end).
bool fieldText(const WCHAR* field, size_t size, std::wstring& out) {
    const size_t length = wcsnlen(field, size);
    if (length == 0 || length == size) return false;
    out.assign(field, length);
    return true;
}

HKEY openPort(const std::wstring& name, REGSAM access) {
    HKEY key = nullptr;
    const std::wstring path = std::wstring(kPortsKey) + L"\\" + name;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key) == ERROR_SUCCESS ? key : nullptr;
}

DWORD readDword(HKEY key, const wchar_t* name) {
    DWORD value = 0, size = sizeof value;
    RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    return value;
}

std::wstring readHost(HKEY key) {
    WCHAR host[64] = {};
    DWORD size = sizeof host - sizeof(WCHAR);
    RegQueryValueExW(key, L"Host", nullptr, nullptr, reinterpret_cast<BYTE*>(host), &size);
    return host;
}

bool localPortExists(const std::wstring& name) {
    return RegGetValueW(HKEY_LOCAL_MACHINE, kLocalPortsKey, name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

DWORD addPort(const Xcv& xcv, const BYTE* in, DWORD inSize) {
    if (!(xcv.access & SERVER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
    if (!in || inSize < sizeof(PortData1)) return ERROR_INVALID_DATA;
    const auto& data = *reinterpret_cast<const PortData1*>(in);
    if (data.dwVersion != 1) return ERROR_INVALID_LEVEL;
    std::wstring name, host;
    if (data.cbSize != sizeof(PortData1) || (data.dwProtocol != 1 && data.dwProtocol != 2) ||
        !fieldText(data.sztPortName, 64, name) || !fieldText(data.sztHostAddress, 49, host) ||
        data.dwPortNumber == 0 || data.dwPortNumber > 65535)
        return ERROR_INVALID_PARAMETER;
    if (HKEY existing = openPort(name, KEY_READ)) {
        RegCloseKey(existing);
        return ERROR_ALREADY_EXISTS;
    }
    if (localPortExists(name)) return ERROR_ALREADY_EXISTS;
    HKEY key = nullptr;
    const std::wstring path = std::wstring(kPortsKey) + L"\\" + name;
    LONG e = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (e != ERROR_SUCCESS) return e;
    const DWORD snmp = data.dwSNMPEnabled ? 1 : 0;
    e = RegSetValueExW(key, L"Host", 0, REG_SZ, reinterpret_cast<const BYTE*>(host.c_str()),
                       DWORD((host.size() + 1) * sizeof(WCHAR)));
    if (e == ERROR_SUCCESS) e = RegSetValueExW(key, L"TcpPort", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data.dwPortNumber), 4);
    if (e == ERROR_SUCCESS) e = RegSetValueExW(key, L"Protocol", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data.dwProtocol), 4);
    if (e == ERROR_SUCCESS) e = RegSetValueExW(key, L"Snmp", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&snmp), 4);
    RegCloseKey(key);
    if (e != ERROR_SUCCESS) RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
    return e;
}

DWORD deletePort(const Xcv& xcv, const BYTE* in, DWORD inSize) {
    if (!(xcv.access & SERVER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
    if (!in || inSize < sizeof(DeletePortData1)) return ERROR_INVALID_DATA;
    const auto& data = *reinterpret_cast<const DeletePortData1*>(in);
    if (data.dwVersion != 1) return ERROR_INVALID_LEVEL;
    std::wstring name;
    if (!fieldText(data.psztPortName, 64, name)) return ERROR_INVALID_PARAMETER;
    const std::wstring path = std::wstring(kPortsKey) + L"\\" + name;
    return RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str()) == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_UNKNOWN_PORT;
}

DWORD getConfigInfo(const Xcv& xcv, const BYTE* in, DWORD inSize, BYTE* out, DWORD outSize, DWORD* needed) {
    if (!in || inSize < sizeof(ConfigInfoData1)) return ERROR_INVALID_DATA;
    if (reinterpret_cast<const ConfigInfoData1*>(in)->dwVersion != 1) return ERROR_INVALID_LEVEL;
    HKEY key = openPort(xcv.object, KEY_READ);
    if (!key) return ERROR_INVALID_PARAMETER;  // a handle on the monitor, not on one of its ports
    *needed = sizeof(PortData1);
    if (!out || outSize < sizeof(PortData1)) {
        RegCloseKey(key);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    PortData1 data = {};
    const std::wstring host = readHost(key);
    wcsncpy(data.sztPortName, xcv.object.c_str(), 63);
    data.dwVersion = 1;
    data.dwProtocol = readDword(key, L"Protocol");
    data.cbSize = sizeof data;
    wcsncpy(data.sztHostAddress, host.c_str(), 48);
    wcscpy(data.sztSNMPCommunity, L"public");
    if (host.find_first_not_of(L"0123456789.") == std::wstring::npos) wcsncpy(data.sztIPAddress, host.c_str(), 15);
    data.dwPortNumber = readDword(key, L"TcpPort");
    data.dwSNMPEnabled = readDword(key, L"Snmp");
    data.dwSNMPDevIndex = 1;
    RegCloseKey(key);
    memcpy(out, &data, sizeof data);
    return ERROR_SUCCESS;
}

// ---- MONITOR2 ---------------------------------------------------------------
BOOL WINAPI enumPorts(HANDLE, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    *needed = 0;
    *returned = 0;
    if (level != 1 && level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    HKEY ports = nullptr;
    std::wstring names;  // each followed by its end
    DWORD count = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPortsKey, 0, nullptr, 0, KEY_READ, nullptr, &ports, nullptr) ==
        ERROR_SUCCESS) {
        WCHAR name[256];
        for (DWORD i = 0, length = 256; RegEnumKeyExW(ports, i, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                                        ERROR_SUCCESS;
             ++i, length = 256, ++count)
            names.append(name, length + 1);
        RegCloseKey(ports);
    }
    const DWORD entry = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
    const DWORD monitorBytes = sizeof kMonitor;
    *needed = count * entry + DWORD(names.size() * sizeof(WCHAR)) + (level == 2 ? count * 2 * monitorBytes : 0);
    if (!buffer || size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* text = reinterpret_cast<WCHAR*>(buffer + count * entry);
    auto put = [&text](const wchar_t* s, size_t n) {
        WCHAR* at = text;
        memcpy(at, s, n * sizeof(WCHAR));
        text += n;
        return at;
    };
    const wchar_t* name = names.c_str();
    for (DWORD i = 0; i < count; ++i, name += wcslen(name) + 1) {
        if (level == 1) {
            reinterpret_cast<PORT_INFO_1W*>(buffer)[i].pName = put(name, wcslen(name) + 1);
            continue;
        }
        PORT_INFO_2W& info = reinterpret_cast<PORT_INFO_2W*>(buffer)[i];
        info.pPortName = put(name, wcslen(name) + 1);
        info.pMonitorName = put(kMonitor, monitorBytes / sizeof(WCHAR));
        info.pDescription = put(kMonitor, monitorBytes / sizeof(WCHAR));
        info.fPortType = PORT_TYPE_WRITE | PORT_TYPE_NET_ATTACHED;
        info.Reserved = 0;
    }
    *returned = count;
    return TRUE;
}

BOOL WINAPI openPortHandle(HANDLE, LPWSTR name, PHANDLE handle) {
    HKEY key = name ? openPort(name, KEY_READ) : nullptr;
    if (!key) {
        SetLastError(ERROR_UNKNOWN_PORT);
        return FALSE;
    }
    RegCloseKey(key);
    *handle = new Port{name};
    return TRUE;
}

// Connects to the port's host and TCP port; the job's bytes follow.
BOOL WINAPI startDocPort(HANDLE handle, LPWSTR, DWORD, DWORD, LPBYTE) {
    auto* port = static_cast<Port*>(handle);
    HKEY key = openPort(port->name, KEY_READ);
    if (!key) {
        SetLastError(ERROR_UNKNOWN_PORT);
        return FALSE;
    }
    const std::wstring host = readHost(key);
    const std::wstring service = std::to_wstring(readDword(key, L"TcpPort"));
    RegCloseKey(key);
    ADDRINFOW hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    if (int e = GetAddrInfoW(host.c_str(), service.c_str(), &hints, &found)) {
        SetLastError(e);
        return FALSE;
    }
    port->socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const bool connected = port->socket != INVALID_SOCKET &&
                           connect(port->socket, found->ai_addr, int(found->ai_addrlen)) == 0;
    const int error = WSAGetLastError();
    FreeAddrInfoW(found);
    if (connected) return TRUE;
    closesocket(port->socket);
    port->socket = INVALID_SOCKET;
    SetLastError(error);
    return FALSE;
}

BOOL WINAPI writePort(HANDLE handle, LPBYTE bytes, DWORD count, LPDWORD written) {
    auto* port = static_cast<Port*>(handle);
    *written = 0;
    while (*written < count) {
        const int sent = send(port->socket, reinterpret_cast<const char*>(bytes) + *written, int(count - *written), 0);
        if (sent <= 0) {
            SetLastError(WSAGetLastError());
            return FALSE;
        }
        *written += DWORD(sent);
    }
    return TRUE;
}

// The job is over: the connection is closed once the printer has it all.
BOOL WINAPI endDocPort(HANDLE handle) {
    auto* port = static_cast<Port*>(handle);
    if (port->socket != INVALID_SOCKET) {
        shutdown(port->socket, SD_SEND);
        closesocket(port->socket);
        port->socket = INVALID_SOCKET;
    }
    return TRUE;
}

BOOL WINAPI closePort(HANDLE handle) {
    endDocPort(handle);
    delete static_cast<Port*>(handle);
    return TRUE;
}

bool switchedOn(const wchar_t* value) {
    DWORD data = 0, size = sizeof data;
    return RegGetValueW(HKEY_LOCAL_MACHINE, kMonitorKey, value, RRF_RT_REG_DWORD, nullptr, &data, &size) ==
               ERROR_SUCCESS &&
           data != 0;
}

BOOL WINAPI xcvOpenPort(HANDLE, LPCWSTR object, ACCESS_MASK access, PHANDLE handle) {
    *handle = new Xcv{object ? object : L"", access};
    return TRUE;
}

DWORD WINAPI xcvDataPort(HANDLE handle, LPCWSTR name, PBYTE in, DWORD inSize, PBYTE out, DWORD outSize,
                         PDWORD needed) {
    const Xcv& xcv = *static_cast<Xcv*>(handle);
    DWORD ignored = 0;
    if (!needed) needed = &ignored;
    *needed = 0;
    const std::wstring call = name ? name : L"";
    if ((xcv.access & SERVER_ACCESS_ADMINISTER) == SERVER_ACCESS_ADMINISTER && switchedOn(L"NotAdministrator"))
        return ERROR_ACCESS_DENIED;
    if (call == L"GetConfigInfo" && switchedOn(L"RefuseGetConfigInfo")) return ERROR_ACCESS_DENIED;
    if (call == L"AddPort") return addPort(xcv, in, inSize);
    if (call == L"DeletePort") return deletePort(xcv, in, inSize);
    if (call == L"GetConfigInfo") return getConfigInfo(xcv, in, inSize, out, outSize, needed);
    return ERROR_INVALID_PARAMETER;
}

BOOL WINAPI xcvClosePort(HANDLE handle) {
    delete static_cast<Xcv*>(handle);
    return TRUE;
}

VOID WINAPI shutdownMonitor(HANDLE) { WSACleanup(); }

MONITOR2 monitor = [] {
    MONITOR2 m = {};
    m.cbSize = sizeof m;
    m.pfnEnumPorts = enumPorts;
    m.pfnOpenPort = openPortHandle;
    m.pfnStartDocPort = startDocPort;
    m.pfnWritePort = writePort;
    m.pfnEndDocPort = endDocPort;
    m.pfnClosePort = closePort;
    m.pfnXcvOpenPort = xcvOpenPort;
    m.pfnXcvDataPort = xcvDataPort;
    m.pfnXcvClosePort = xcvClosePort;
    m.pfnShutdown = shutdownMonitor;
    return m;
}();

}  // namespace

extern "C" __declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT, PHANDLE monitorHandle) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return nullptr;
    *monitorHandle = &monitor;
    return &monitor;
}
