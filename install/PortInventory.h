// The machine's ports sorted by kind, and the connection category they
// suggest: what the port page's automatic choice picks a port from.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kelp {

// Only this many of the spooler's port records are ever looked at.
constexpr std::size_t MaxPortRecords = 256;
// Byte limits of a serial device's value name and data.
constexpr std::size_t SerialDeviceNameLimit = 128;
constexpr std::size_t SerialDeviceDataLimit = 128;
constexpr const char* SerialDeviceKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Category rows of the port page's list.
constexpr int SerialCategoryRow = 0;
constexpr int UsbCategoryRow = 1;
constexpr int NetworkCategoryRow = 2;
constexpr int FileCategoryRow = 3;  // suggested, but the list has no such row

// The spooler's local ports, the first MaxPortRecords of them; an empty list
// when the spooler answers nothing.
std::vector<PortRecord> EnumerateLocalPorts(Platform& platform);

// Fills list with the serial devices the system knows ("COM3:" for a value
// "\Device\..." = "COM3"), in the key's value order. True when the list is
// not empty afterwards; false also when the key cannot be opened.
bool collectSerialDevices(Platform& platform, std::vector<std::string>& list);

struct PortInventory {
    std::vector<std::string> allPorts;
    std::vector<std::string> usbPorts;
    std::vector<std::string> serialPorts;
    std::vector<std::string> lptPorts;
    std::vector<std::string> tcpipPorts;

    // Rebuilds every list from scratch in one pass and answers the suggested
    // category row.
    int classifyPorts(Platform& platform);

    // The first port of the list that belongs to a category row, or nothing
    // when that list is empty or the row is not 0 to 3.
    std::optional<std::string> pickAutomaticPort(int row) const;
};

bool IsTcpIpPortDescription(const std::string& description);

}  // namespace kelp
