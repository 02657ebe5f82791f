// SerialPorts over the kernel's communications functions (CreateFileW on
// \\.\COMn, SetCommState, SetCommTimeouts, PurgeComm, ReadFile, WriteFile).
#pragma once

#include "platform/SerialPort.h"

namespace kelp::win32 {

class Win32SerialPorts final : public SerialPorts {
public:
    Result<SerialHandle> open(const std::string& portName) override;
    WinError setLine(SerialHandle port, const SerialLine& line) override;
    // ClearCommError counts what is waiting, ReadFile takes it (it is there:
    // the read does not wait), PurgeComm drops anything beyond.
    Result<std::string> takeInput(SerialHandle port) override;
    WinError write(SerialHandle port, const std::string& bytes) override;
    // Each read sets the constant read timeout {0, 0, timeoutMs}: ReadFile
    // then ends when maxBytes have come or the time is up. (Wine ignores
    // the "return on the first byte" form {MAXDWORD, MAXDWORD, T}.)
    Result<std::string> read(SerialHandle port, std::size_t maxBytes, std::uint32_t timeoutMs) override;
    void close(SerialHandle port) override;
    std::uint64_t nowMs() override;

private:
    std::uint64_t wraps_ = 0;
    unsigned long lastTick_ = 0;
};

}  // namespace kelp::win32
