// The serial-port operations a status check of a serial receipt printer
// needs: open a COM port by the spooler's name for it, set its line, drop
// what is waiting, write a few bytes, read a few with a deadline, close.
// Kept apart from Platform (spooler, registry, files) as Network is.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace kelp {

// An open COM port; 0 means none.
using SerialHandle = std::uintptr_t;

enum class StopBits { One, OneAndHalf, Two };

// The line as the spooler's port record writes it: "9600,n,8,1".
struct SerialLine {
    std::uint32_t baud = 9600;
    char parity = 'n';  // n, e, o, m or s
    unsigned dataBits = 8;
    StopBits stopBits = StopBits::One;
};

class SerialPorts {
public:
    virtual ~SerialPorts() = default;

    // Opens the port the spooler names "COM5:" (or "COM5") for reading and
    // writing. A name that is no COM port fails with InvalidName.
    virtual Result<SerialHandle> open(const std::string& portName) = 0;
    // Sets the line, without handshaking (DTR and RTS held on). A port whose
    // device is gone may open and then fail here.
    virtual WinError setLine(SerialHandle port, const SerialLine& line) = 0;
    // Takes the bytes received and not read yet (at most MaxWaitingBytes of
    // them; the rest are dropped), without waiting for more.
    virtual Result<std::string> takeInput(SerialHandle port) = 0;
    virtual WinError write(SerialHandle port, const std::string& bytes) = 0;
    // At most maxBytes, waiting at most timeoutMs; winerr::Timeout (1460)
    // when nothing came.
    virtual Result<std::string> read(SerialHandle port, std::size_t maxBytes, std::uint32_t timeoutMs) = 0;
    virtual void close(SerialHandle port) = 0;
    // Milliseconds of a clock that only goes forward (not the time of day).
    virtual std::uint64_t nowMs() = 0;

    static constexpr std::size_t MaxWaitingBytes = 256;
};

}  // namespace kelp
