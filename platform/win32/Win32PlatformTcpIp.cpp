// Win32Platform: the Standard TCP/IP Port monitor, through XcvData.
//
// The monitor is reached by opening ",XcvMonitor Standard TCP/IP Port" (a
// port: ",XcvPort <name>") with the access the command needs: Microsoft's
// documentation of the monitor's Xcv commands asks SERVER_ACCESS_ADMINISTER
// of AddPort and DeletePort (and ConfigPort), which only an administrator
// (elevated) is granted; GetConfigInfo only reads, and a handle opened to
// enumerate does for it, so a person without elevation can still learn
// where a port points. XcvData answering
// TRUE only says the monitor was reached; what the monitor made of the
// request is in the status out-parameter. The records are the monitor's
// documented PORT_DATA_1, DELETE_PORT_DATA_1 and CONFIG_INFO_DATA_1, laid
// out here because the toolchain has no header for them.

#include "platform/win32/Win32Platform.h"

#include <windows.h>

#include <cstddef>
#include <cwchar>

#include "platform/win32/Calls.h"
#include "platform/win32/SystemDlls.h"
#include "platform/win32/Text.h"

namespace kelp::win32 {

namespace {

constexpr DWORD kProtocolRaw = 1;
constexpr DWORD kProtocolLpr = 2;

struct PortData1 {
    WCHAR sztPortName[64];
    DWORD dwVersion;
    DWORD dwProtocol;
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
static_assert(sizeof(PortData1) == 964, "PORT_DATA_1 is 964 bytes");
static_assert(offsetof(PortData1, sztHostAddress) == 144 && offsetof(PortData1, dwDoubleSpool) == 308 &&
                  offsetof(PortData1, dwPortNumber) == 952,
              "PORT_DATA_1's fields lie where the monitor reads them");

struct DeletePortData1 {
    WCHAR psztPortName[64];
    BYTE Reserved[98];
    DWORD dwVersion;
    DWORD dwReserved;
};
static_assert(sizeof(DeletePortData1) == 236 && offsetof(DeletePortData1, dwVersion) == 228,
              "DELETE_PORT_DATA_1 is 236 bytes");

struct ConfigInfoData1 {
    BYTE Reserved[128];
    DWORD dwVersion;
};
static_assert(sizeof(ConfigInfoData1) == 132, "CONFIG_INFO_DATA_1 is 132 bytes");

// Copies text into a fixed field of capacity characters; false when it
// does not fit with its zero.
bool copyField(WCHAR* field, std::size_t capacity, const std::string& text) {
    const std::wstring wide = widen(text);
    if (wide.size() >= capacity) return false;
    std::wmemcpy(field, wide.c_str(), wide.size() + 1);
    return true;
}
#define KELP_COPY_FIELD(field, text) copyField(field, sizeof(field) / sizeof(WCHAR), text)

std::string fieldText(const WCHAR* field, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && field[length] != L'\0') ++length;
    return narrow(std::wstring(field, length));
}
#define KELP_FIELD_TEXT(field) fieldText(field, sizeof(field) / sizeof(WCHAR))

// One XcvData call on the monitor (or a port of it): the status it gave.
WinError xcv(const std::string& object, ACCESS_MASK access, const wchar_t* command, void* input, DWORD inputSize,
             void* output, DWORD outputSize) {
    const auto& spool = winspool();
    if (!spool.OpenPrinterW || !spool.XcvDataW || !spool.ClosePrinter) return missingFunctionError(spool);
    return guardedRun([&]() -> WinError {
        std::wstring name = widen("," + object);
        PRINTER_DEFAULTSW defaults{};
        defaults.DesiredAccess = access;
        HANDLE handle = nullptr;
        if (!spool.OpenPrinterW(name.data(), &handle, &defaults)) return lastErrorOr();
        DWORD needed = 0;
        DWORD status = ERROR_SUCCESS;
        WinError error = winerr::Success;
        if (!spool.XcvDataW(handle, command, static_cast<BYTE*>(input), inputSize, static_cast<BYTE*>(output),
                            outputSize, &needed, &status))
            error = lastErrorOr();
        else
            error = static_cast<WinError>(status);
        spool.ClosePrinter(handle);
        return error;
    });
}

std::string monitorObject() { return std::string("XcvMonitor ") + TcpIpMonitorName; }

}  // namespace

WinError Win32Platform::addTcpIpPort(const TcpIpPortConfig& port) {
    PortData1 data{};
    if (!KELP_COPY_FIELD(data.sztPortName, port.portName) || !KELP_COPY_FIELD(data.sztHostAddress, port.host) ||
        !KELP_COPY_FIELD(data.sztSNMPCommunity, "public"))
        return ERROR_INVALID_PARAMETER;
    data.dwVersion = 1;
    data.dwProtocol = port.raw ? kProtocolRaw : kProtocolLpr;
    data.cbSize = sizeof data;
    data.dwPortNumber = port.tcpPort;
    data.dwSNMPEnabled = port.snmp ? 1 : 0;
    data.dwSNMPDevIndex = 1;
    return xcv(monitorObject(), SERVER_ACCESS_ADMINISTER, L"AddPort", &data, sizeof data, nullptr, 0);
}

WinError Win32Platform::deleteTcpIpPort(const std::string& portName) {
    DeletePortData1 data{};
    if (!KELP_COPY_FIELD(data.psztPortName, portName)) return ERROR_INVALID_PARAMETER;
    data.dwVersion = 1;
    return xcv(monitorObject(), SERVER_ACCESS_ADMINISTER, L"DeletePort", &data, sizeof data, nullptr, 0);
}

Result<TcpIpPortConfig> Win32Platform::tcpIpPortConfig(const std::string& portName) {
    Result<TcpIpPortConfig> result;
    ConfigInfoData1 in{};
    in.dwVersion = 1;
    PortData1 out{};
    result.error = xcv("XcvPort " + portName, SERVER_ACCESS_ENUMERATE, L"GetConfigInfo", &in, sizeof in, &out, sizeof out);
    if (!result.ok()) return result;
    result.error = guardedRun([&]() -> WinError {
        result.value.portName = KELP_FIELD_TEXT(out.sztPortName);
        result.value.host = KELP_FIELD_TEXT(out.sztHostAddress);
        if (result.value.host.empty()) result.value.host = KELP_FIELD_TEXT(out.sztIPAddress);
        result.value.tcpPort = out.dwPortNumber;
        result.value.raw = out.dwProtocol == kProtocolRaw;
        result.value.snmp = out.dwSNMPEnabled != 0;
        return winerr::Success;
    });
    return result;
}

}  // namespace kelp::win32
