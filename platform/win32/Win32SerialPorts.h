// SerialPorts over the kernel's communications functions (CreateFileW on
// \\.\COMn, SetCommState, SetCommTimeouts, PurgeComm, ReadFile, WriteFile).
#pragma once

#include "platform/SerialPort.h"

namespace kelp::win32 {

class Win32SerialPorts final : public SerialPorts {
public:
    Result<SerialHandle> open(const std::string& portName) override;
    WinError setLine(SerialHandle port, const SerialLine& line) override;
    // ClearCommError counts what is waiting, then PurgeComm drops it.
    Result<std::size_t> discardInput(SerialHandle port) override;
    WinError write(SerialHandle port, const std::string& bytes) override;
    // Each read sets the constant read timeout {0, 0, timeoutMs}: ReadFile
    // then ends when maxBytes have come or the time is up. (Wine ignores
    // the "return on the first byte" form {MAXDWORD, MAXDWORD, T}.)
    Result<std::string> read(SerialHandle port, std::size_t maxBytes, std::uint32_t timeoutMs) override;
    void close(SerialHandle port) override;
};

}  // namespace kelp::win32
