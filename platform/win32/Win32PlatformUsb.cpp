// Win32Platform: the USB printing driver's interfaces (SetupAPI), moving a
// printer to another port and following a print job.

#include "platform/win32/Win32Platform.h"

#include <windows.h>
#include <winioctl.h>
#include <usbprint.h>
#include <devpropdef.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "platform/win32/Calls.h"
#include "platform/win32/SystemDlls.h"
#include "platform/win32/Text.h"

namespace kelp::win32 {

namespace {

// GUID_DEVINTERFACE_USBPRINT: one interface per printer the USB printing
// driver serves.
constexpr GUID kUsbPrintInterface = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
// IOCTL_USBPRINT_GET_1284_ID answers at most this much: a big-endian
// length of two bytes (counting itself), then the id.
constexpr DWORD k1284BufferBytes = 4094;
// A device instance id is at most 200 characters (MAX_DEVICE_ID_LEN), and
// its terminating zero.
constexpr DWORD kMaxDeviceIdChars = 201;

struct DeviceList {
    const SetupapiFunctions& api;
    HDEVINFO set;
    ~DeviceList() {
        if (set != INVALID_HANDLE_VALUE) api.SetupDiDestroyDeviceInfoList(set);
    }
};

struct Listed {
    std::wstring path;
    UsbPrinterInterface usb;
    bool hasPort = false;
};

// The interface's "Base Name" and "Port Number"; false when either is missing.
bool readPortValues(HKEY key, UsbPrinterInterface& usb) {
    wchar_t base[64] = {};
    DWORD type = 0, size = sizeof(base) - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"Base Name", nullptr, &type, reinterpret_cast<BYTE*>(base), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    DWORD number = 0;
    size = sizeof(number);
    if (RegQueryValueExW(key, L"Port Number", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return false;
    usb.baseName = narrow(base);
    usb.portNumber = number;
    return true;
}

// Lists the interfaces of the class, all of them or the present ones only.
WinError listInterfaces(const SetupapiFunctions& api, DWORD flags, bool readPorts, std::vector<Listed>& out) {
    DeviceList list{api, api.SetupDiGetClassDevsW(&kUsbPrintInterface, nullptr, nullptr, flags | DIGCF_DEVICEINTERFACE)};
    if (list.set == INVALID_HANDLE_VALUE) return lastErrorOr();
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA item{};
        item.cbSize = sizeof(item);
        if (!api.SetupDiEnumDeviceInterfaces(list.set, nullptr, &kUsbPrintInterface, index, &item)) {
            const DWORD error = GetLastError();
            return error == ERROR_NO_MORE_ITEMS ? winerr::Success : lastErrorOr();
        }
        DWORD needed = 0;
        api.SetupDiGetDeviceInterfaceDetailW(list.set, &item, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        std::vector<std::byte> buffer(needed);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        // The structure's own size, not the buffer's: 6 on x86, 8 on x64.
        detail->cbSize = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + sizeof(WCHAR);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        if (!api.SetupDiGetDeviceInterfaceDetailW(list.set, &item, detail, needed, nullptr, &device)) continue;
        Listed entry;
        entry.path = detail->DevicePath;
        if (readPorts) {
            wchar_t instance[kMaxDeviceIdChars] = {};
            if (api.SetupDiGetDeviceInstanceIdW(list.set, &device, instance, kMaxDeviceIdChars, nullptr))
                entry.usb.instanceId = narrow(instance);
            const HKEY key = api.SetupDiOpenDeviceInterfaceRegKey(list.set, &item, 0, KEY_READ);
            if (key != INVALID_HANDLE_VALUE) {
                entry.hasPort = readPortValues(key, entry.usb);
                RegCloseKey(key);
            }
        }
        out.push_back(std::move(entry));
    }
}

// The printer's IEEE 1284 id, asked of the device itself; empty when it
// cannot be opened or does not answer. The USB printing driver's requests
// are FILE_ANY_ACCESS: a handle without access rights asks them, and a
// standard user, who may be refused write access, gets one.
std::string read1284Id(const std::wstring& path) {
    const HANDLE device =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return {};
    std::vector<unsigned char> buffer(k1284BufferBytes, 0);
    DWORD returned = 0;
    const BOOL answered = DeviceIoControl(device, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, buffer.data(),
                                          k1284BufferBytes, &returned, nullptr);
    CloseHandle(device);
    if (!answered || returned < 2 || returned > k1284BufferBytes) return {};
    DWORD length = (static_cast<DWORD>(buffer[0]) << 8) | buffer[1];
    if (length < 2 || length > returned) length = returned;
    return std::string(reinterpret_cast<const char*>(buffer.data()) + 2, length - 2);
}

// DEVPKEY_Device_Parent: a device node's parent's instance id.
constexpr DEVPROPKEY kParentKey = {
    {0x4340a6c5, 0x93fa, 0x4706, {0x97, 0x2c, 0x7b, 0x64, 0x80, 0x08, 0xa5, 0xa7}}, 8};

struct PrinterNode {
    std::wstring parent;      // the USB device's instance id
    std::string hardwareId;   // the first of its hardware ids
};

// The printers' own device nodes the USB printing driver makes (enumerator
// USBPRINT), present now, each with its first hardware id and its parent;
// none where SetupAPI lacks a function or cannot list them.
std::vector<PrinterNode> printerNodes(const SetupapiFunctions& api) {
    std::vector<PrinterNode> nodes;
    if (!api.SetupDiEnumDeviceInfo || !api.SetupDiGetDeviceRegistryPropertyW || !api.SetupDiGetDevicePropertyW)
        return nodes;
    DeviceList list{api, api.SetupDiGetClassDevsW(nullptr, L"USBPRINT", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT)};
    if (list.set == INVALID_HANDLE_VALUE) return nodes;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        if (!api.SetupDiEnumDeviceInfo(list.set, index, &device)) break;
        wchar_t ids[512] = {};  // REG_MULTI_SZ: the first id is enough
        DWORD type = 0;
        if (!api.SetupDiGetDeviceRegistryPropertyW(list.set, &device, SPDRP_HARDWAREID, &type,
                                                   reinterpret_cast<BYTE*>(ids), sizeof(ids) - 2 * sizeof(wchar_t),
                                                   nullptr) ||
            type != REG_MULTI_SZ)
            continue;
        wchar_t parent[kMaxDeviceIdChars] = {};
        DEVPROPTYPE parentType = 0;
        if (!api.SetupDiGetDevicePropertyW(list.set, &device, &kParentKey, &parentType, reinterpret_cast<BYTE*>(parent),
                                           sizeof(parent) - sizeof(wchar_t), nullptr, 0) ||
            parentType != DEVPROP_TYPE_STRING)
            continue;
        nodes.push_back({parent, narrow(ids)});
    }
    return nodes;
}

}  // namespace

// Every interface of the class, then the present ones: an interface listed
// both times is connected. The registry key's layout behind SetupAPI is
// Windows' own; only SetupAPI and the interface's key are read.
Result<std::vector<UsbPrinterInterface>> Win32Platform::usbPrinterInterfaces() {
    const auto& api = setupapi();
    if (!api.SetupDiGetClassDevsW || !api.SetupDiEnumDeviceInterfaces || !api.SetupDiGetDeviceInterfaceDetailW ||
        !api.SetupDiGetDeviceInstanceIdW || !api.SetupDiOpenDeviceInterfaceRegKey || !api.SetupDiDestroyDeviceInfoList)
        return {{}, missingFunctionError(api)};
    return guardedRun([&]() -> Result<std::vector<UsbPrinterInterface>> {
        std::vector<Listed> all, present;
        if (const WinError error = listInterfaces(api, 0, true, all)) return {{}, error};
        if (const WinError error = listInterfaces(api, DIGCF_PRESENT, false, present)) return {{}, error};
        std::vector<UsbPrinterInterface> out;
        std::optional<std::vector<PrinterNode>> nodes;  // listed once, when a device does not answer
        for (auto& entry : all) {
            if (!entry.hasPort) continue;
            for (const auto& live : present) {
                if (CompareStringOrdinal(entry.path.c_str(), -1, live.path.c_str(), -1, TRUE) == CSTR_EQUAL)
                    entry.usb.connected = true;
            }
            if (entry.usb.connected) entry.usb.deviceId = read1284Id(entry.path);
            // The printer's node is the child of the interface's USB device.
            if (entry.usb.connected && entry.usb.deviceId.empty() && !entry.usb.instanceId.empty()) {
                if (!nodes) nodes = printerNodes(api);
                const std::wstring instance = widen(entry.usb.instanceId);
                for (const auto& node : *nodes)
                    if (CompareStringOrdinal(node.parent.c_str(), -1, instance.c_str(), -1, TRUE) == CSTR_EQUAL)
                        entry.usb.hardwareId = node.hardwareId;
            }
            out.push_back(std::move(entry.usb));
        }
        return {std::move(out), winerr::Success};
    });
}

// The port's connected interface, found as the listing above finds it (its
// key's "Base Name" and "Port Number"), opened with access 0: the status
// request is FILE_ANY_ACCESS, so the handle needs no right to read or write
// and opens while the spooler prints. The answer is a DWORD whose low byte
// is the USB printer class's status byte.
Result<std::uint32_t> Win32Platform::usbPrinterStatus(const std::string& portName) {
    const auto& api = setupapi();
    if (!api.SetupDiGetClassDevsW || !api.SetupDiEnumDeviceInterfaces || !api.SetupDiGetDeviceInterfaceDetailW ||
        !api.SetupDiGetDeviceInstanceIdW || !api.SetupDiOpenDeviceInterfaceRegKey || !api.SetupDiDestroyDeviceInfoList)
        return {0, missingFunctionError(api)};
    return guardedRun([&]() -> Result<std::uint32_t> {
        std::vector<Listed> present;
        if (const WinError error = listInterfaces(api, DIGCF_PRESENT, true, present)) return {0, error};
        const std::wstring wanted = widen(portName);
        for (const auto& entry : present) {
            if (!entry.hasPort || CompareStringOrdinal(widen(entry.usb.baseName).c_str(), -1, L"USB", -1, TRUE) != CSTR_EQUAL)
                continue;
            // The digits written out by hand: std::to_wstring would bring in
            // the C runtime's formatter, some 26 KB of Kelp.exe.
            std::wstring name;
            for (std::uint32_t n = entry.usb.portNumber; n || name.size() < 3; n /= 10)
                name.insert(name.begin(), static_cast<wchar_t>(L'0' + n % 10));
            name = L"USB" + name;
            if (CompareStringOrdinal(name.c_str(), -1, wanted.c_str(), -1, TRUE) != CSTR_EQUAL) continue;
            const HANDLE device = CreateFileW(entry.path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, 0, nullptr);
            if (device == INVALID_HANDLE_VALUE) return {0, lastErrorOr()};
            DWORD status = 0, returned = 0;
            const BOOL answered = DeviceIoControl(device, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, 0, &status,
                                                  sizeof(status), &returned, nullptr);
            const WinError error = answered ? winerr::Success : lastErrorOr();
            CloseHandle(device);
            if (error != winerr::Success) return {0, error};
            if (returned < 1) return {0, ERROR_INVALID_DATA};
            return {status & 0xFF, winerr::Success};
        }
        return {0, ERROR_DEVICE_NOT_CONNECTED};
    });
}

// GetPrinter level 2, the new port in its record, SetPrinter level 2: the
// spooler moves the printer (Windows and Wine alike).
WinError Win32Platform::setPrinterPort(const std::string& name, const std::string& port) {
    const auto& spool = winspool();
    if (!spool.OpenPrinterW || !spool.GetPrinterW || !spool.SetPrinterW || !spool.ClosePrinter)
        return missingFunctionError(spool);
    return changePrinter(spool, name, [&](HANDLE printer) -> WinError {
        std::wstring portName = widen(port);
        DWORD needed = 0;
        spool.GetPrinterW(printer, 2, nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed ? needed : 1);
        if (!needed || !spool.GetPrinterW(printer, 2, buffer.data(), needed, &needed)) return lastErrorOr();
        auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
        info->pPortName = portName.data();
        // The security descriptor is not changed; passing it back would
        // need rights a port move does not.
        info->pSecurityDescriptor = nullptr;
        return spool.SetPrinterW(printer, 2, buffer.data(), 0) ? winerr::Success : lastErrorOr();
    });
}

// A job id the spooler no longer knows: Windows answers 87; Wine's GetJobW
// fails without setting an error at all, which is taken for the same.
Result<JobRecord> Win32Platform::getJob(PrinterHandle printer, std::uint32_t jobId) {
    const auto& spool = winspool();
    if (!spool.GetJobW) return {{}, missingFunctionError(spool)};
    return guardedRun([&]() -> Result<JobRecord> {
        const HANDLE handle = reinterpret_cast<HANDLE>(printer);
        DWORD needed = 0;
        SetLastError(ERROR_SUCCESS);
        if (!spool.GetJobW(handle, jobId, 1, nullptr, 0, &needed) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return {{}, lastErrorOr(ERROR_INVALID_PARAMETER)};
        std::vector<BYTE> buffer(needed > sizeof(JOB_INFO_1W) ? needed : sizeof(JOB_INFO_1W));
        SetLastError(ERROR_SUCCESS);
        if (!spool.GetJobW(handle, jobId, 1, buffer.data(), static_cast<DWORD>(buffer.size()), &needed))
            return {{}, lastErrorOr(ERROR_INVALID_PARAMETER)};
        const auto* info = reinterpret_cast<const JOB_INFO_1W*>(buffer.data());
        return {{info->Status, narrow(info->pStatus)}, winerr::Success};
    });
}

WinError Win32Platform::deleteJob(PrinterHandle printer, std::uint32_t jobId) {
    const auto& spool = winspool();
    if (!spool.SetJobW) return missingFunctionError(spool);
    return spool.SetJobW(reinterpret_cast<HANDLE>(printer), jobId, 0, nullptr, JOB_CONTROL_DELETE) ? winerr::Success
                                                                                                 : lastErrorOr();
}

}  // namespace kelp::win32
