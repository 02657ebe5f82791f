#include "install/PortInventory.h"

#include <string_view>

namespace kelp {

namespace {

// Exact, case-sensitive prefix test; a shorter name never matches.
bool StartsWith(std::string_view name, std::string_view prefix) { return name.substr(0, prefix.size()) == prefix; }

constexpr std::string_view kDevicePrefix = "\\Device\\";

// The device name a serial-device value holds: its text up to the first zero.
// Values that are not text, or hold no name, name no device.
std::optional<std::string> SerialDeviceName(const RegEnumEntry& value) {
    if (value.type != RegSz) return std::nullopt;
    std::string name = value.data.substr(0, value.data.find('\0'));
    if (name.empty()) return std::nullopt;
    return name;
}

}  // namespace

bool IsTcpIpPortDescription(const std::string& description) {
    return description == "Standard TCP/IP Port" || description == "标准 TCP/IP 端口";
}

std::vector<PortRecord> EnumerateLocalPorts(Platform& platform) {
    auto ports = platform.enumPorts();
    if (!ports.ok()) return {};
    if (ports.value.size() > MaxPortRecords) ports.value.resize(MaxPortRecords);
    return std::move(ports.value);
}

bool collectSerialDevices(Platform& platform, std::vector<std::string>& list) {
    list.clear();
    const auto key = platform.regOpenKey(RegRoot::LocalMachine, SerialDeviceKey, RegAccess::Read);
    if (!key.ok()) return false;
    for (std::uint32_t index = 0;; ++index) {
        const auto value = platform.regEnumValue(key.value, index, SerialDeviceNameLimit, SerialDeviceDataLimit);
        if (value.error == winerr::NoMoreItems) break;
        // A value whose name or data does not fit is passed over and the scan
        // goes on; any other error (access denied, a key handle gone bad)
        // answers every later index alike, so the scan ends there.
        if (value.error == winerr::MoreData) continue;
        if (!value.ok()) break;
        if (!StartsWith(value.value.name, kDevicePrefix)) continue;
        if (auto device = SerialDeviceName(value.value)) list.push_back(*device + ":");
    }
    platform.regCloseKey(key.value);
    return !list.empty();
}

int PortInventory::classifyPorts(Platform& platform) {
    allPorts.clear();
    usbPorts.clear();
    serialPorts.clear();
    lptPorts.clear();
    tcpipPorts.clear();
    collectSerialDevices(platform, serialPorts);

    int comCount = 0, lptCount = 0, fileCount = 0, usbCount = 0;
    for (const auto& port : EnumerateLocalPorts(platform)) {
        const std::string& name = port.name;
        if (StartsWith(name, "COM")) ++comCount;
        if (StartsWith(name, "LPT")) ++lptCount;
        if (StartsWith(name, "FILE")) ++fileCount;
        if (StartsWith(name, "USB")) ++usbCount;

        if (StartsWith(name, "USB"))
            usbPorts.push_back(name);
        else if (IsTcpIpPortDescription(port.description))
            tcpipPorts.push_back(name);
        else if (StartsWith(name, "LPT"))
            lptPorts.push_back(name);
        allPorts.push_back(name);
    }

    if (usbCount > 0) return UsbCategoryRow;
    if (comCount > 0) return SerialCategoryRow;
    if (lptCount > 0) return NetworkCategoryRow;
    if (fileCount > 0) return FileCategoryRow;
    return UsbCategoryRow;
}

std::optional<std::string> PortInventory::pickAutomaticPort(int row) const {
    const std::vector<std::string>* list = nullptr;
    switch (row) {
        case SerialCategoryRow: list = &serialPorts; break;
        case UsbCategoryRow: list = &usbPorts; break;
        case NetworkCategoryRow: list = &lptPorts; break;
        case FileCategoryRow: list = &tcpipPorts; break;
        default: return std::nullopt;
    }
    if (list->empty()) return std::nullopt;
    return list->front();
}

}  // namespace kelp
