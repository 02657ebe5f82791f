#include "platform/win32/Win32SerialPorts.h"

#include <windows.h>

#include <vector>

#include "platform/win32/Text.h"

namespace kelp::win32 {

namespace {

// A write of a few bytes that is held back longer than this (a line whose
// device stopped taking data) fails rather than hangs.
constexpr DWORD kWriteTimeoutMs = 1000;

HANDLE handleOf(SerialHandle port) { return reinterpret_cast<HANDLE>(port); }

WinError setReadTimeout(HANDLE port, DWORD readMs) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = readMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    return SetCommTimeouts(port, &timeouts) ? winerr::Success : GetLastError();
}

}  // namespace

// "COM5:" is the device \\.\COM5: the prefix reaches COM10 and above too.
Result<SerialHandle> Win32SerialPorts::open(const std::string& portName) {
    std::string bare = portName;
    if (!bare.empty() && bare.back() == ':') bare.pop_back();
    bool comPort = bare.size() > 3 && (bare[0] | 0x20) == 'c' && (bare[1] | 0x20) == 'o' && (bare[2] | 0x20) == 'm';
    for (std::size_t i = 3; comPort && i < bare.size(); ++i) comPort = bare[i] >= '0' && bare[i] <= '9';
    if (!comPort) return {0, winerr::InvalidName};
    const HANDLE port = CreateFileW(widen("\\\\.\\" + bare).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return {0, GetLastError()};
    return {reinterpret_cast<SerialHandle>(port), winerr::Success};
}

WinError Win32SerialPorts::setLine(SerialHandle port, const SerialLine& line) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handleOf(port), &dcb)) return GetLastError();
    dcb.BaudRate = line.baud;
    dcb.ByteSize = static_cast<BYTE>(line.dataBits);
    switch (line.parity) {
        case 'e': dcb.Parity = EVENPARITY; break;
        case 'o': dcb.Parity = ODDPARITY; break;
        case 'm': dcb.Parity = MARKPARITY; break;
        case 's': dcb.Parity = SPACEPARITY; break;
        default: dcb.Parity = NOPARITY; break;
    }
    dcb.StopBits = line.stopBits == StopBits::Two ? TWOSTOPBITS : line.stopBits == StopBits::OneAndHalf ? ONE5STOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = dcb.Parity != NOPARITY;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(handleOf(port), &dcb)) return GetLastError();
    // Writes get their deadline now; each read sets its own.
    return setReadTimeout(handleOf(port), kWriteTimeoutMs);
}

Result<std::string> Win32SerialPorts::takeInput(SerialHandle port) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handleOf(port), &errors, &status)) return {{}, GetLastError()};
    std::string bytes;
    if (status.cbInQue > 0) {
        const std::size_t count = status.cbInQue < MaxWaitingBytes ? status.cbInQue : MaxWaitingBytes;
        auto got = read(port, count, kWriteTimeoutMs);
        if (!got.ok() && got.error != winerr::Timeout) return got;
        bytes = std::move(got.value);
    }
    if (!PurgeComm(handleOf(port), PURGE_RXCLEAR)) return {{}, GetLastError()};
    return {bytes, winerr::Success};
}

WinError Win32SerialPorts::write(SerialHandle port, const std::string& bytes) {
    DWORD written = 0;
    if (!WriteFile(handleOf(port), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return GetLastError();
    return written == bytes.size() ? winerr::Success : winerr::Timeout;
}

Result<std::string> Win32SerialPorts::read(SerialHandle port, std::size_t maxBytes, std::uint32_t timeoutMs) {
    if (const WinError error = setReadTimeout(handleOf(port), timeoutMs); error != winerr::Success) return {{}, error};
    std::vector<char> buffer(maxBytes);
    DWORD got = 0;
    if (!ReadFile(handleOf(port), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
        return {{}, GetLastError()};
    if (got == 0) return {{}, winerr::Timeout};
    return {std::string(buffer.data(), got), winerr::Success};
}

void Win32SerialPorts::close(SerialHandle port) { CloseHandle(handleOf(port)); }

std::uint64_t Win32SerialPorts::nowMs() {
    const DWORD tick = GetTickCount();
    if (tick < lastTick_) wraps_ += std::uint64_t{1} << 32;
    lastTick_ = tick;
    return wraps_ + tick;
}

}  // namespace kelp::win32
