#include "fake/FakeSerialPorts.h"

#include <cctype>

namespace kelp {

std::string FakeSerialPorts::key(const std::string& name) {
    std::string k;
    for (const char c : name) k += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!k.empty() && k.back() == ':') k.pop_back();
    return k;
}

FakeSerialPorts::Port* FakeSerialPorts::find(SerialHandle handle) {
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : &it->second;
}

void FakeSerialPorts::arrive(const std::string& device, const std::string& bytes, std::uint64_t at) {
    for (const char c : bytes) input_[device].emplace_back(at, c);
}

void FakeSerialPorts::setDevice(const std::string& port, Device device) {
    input_[key(port)].clear();
    drawerOpen_.erase(key(port));
    arrive(key(port), device.waiting, 0);
    devices_[key(port)] = std::move(device);
}

Result<SerialHandle> FakeSerialPorts::open(const std::string& portName) {
    opened_.push_back(portName);
    const auto device = devices_.find(key(portName));
    if (device == devices_.end()) return {0, winerr::FileNotFound};
    if (device->second.openError != winerr::Success) return {0, device->second.openError};
    handles_[next_] = {device->first, {}};
    return {next_++, winerr::Success};
}

WinError FakeSerialPorts::setLine(SerialHandle handle, const SerialLine& line) {
    Port* port = find(handle);
    if (!port) return winerr::InvalidHandle;
    const Device& device = devices_[port->device];
    if (device.lineError != winerr::Success) return device.lineError;
    const char* stop = line.stopBits == StopBits::One ? "1" : line.stopBits == StopBits::Two ? "2" : "1.5";
    port->line = std::to_string(line.baud) + "," + line.parity + "," + std::to_string(line.dataBits) + "," + stop;
    lines_[port->device].push_back(port->line);
    return winerr::Success;
}

Result<std::string> FakeSerialPorts::takeInput(SerialHandle handle) {
    Port* port = find(handle);
    if (!port) return {{}, winerr::InvalidHandle};
    auto& input = input_[port->device];
    std::string taken;
    std::size_t i = 0;
    for (; i < input.size() && input[i].first <= now_; ++i)
        if (taken.size() < MaxWaitingBytes) taken += input[i].second;
    input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(i));
    return {taken, winerr::Success};
}

// Whole requests are answered as they complete; a request split across
// writes waits for its last byte.
WinError FakeSerialPorts::write(SerialHandle handle, const std::string& bytes) {
    Port* port = find(handle);
    if (!port) return winerr::InvalidHandle;
    written_[port->device] += bytes;
    const Device& device = devices_[port->device];
    if (port->line != device.line) return winerr::Success;  // noise to the device
    std::string& request = request_[port->device];
    for (const char c : bytes) {
        request += c;
        const bool kick = request[0] == '\x1B';
        const bool identity = request[0] == '\x1D';
        if (request.size() == 1 && request[0] != '\x10' && !kick && !identity) request.clear();
        if (request.size() == 2 && request[1] != (kick ? 'p' : identity ? '\x49' : '\x04')) request.clear();
        if (request.size() < (kick ? 5u : 3u)) continue;
        const int n = static_cast<unsigned char>(request[2]);
        request.clear();
        if (kick) {
            if (n == device.drawerPin) drawerOpen_[port->device] = true;
            continue;
        }
        if (identity) {
            const auto found = device.identity.find(n);
            if (found != device.identity.end()) arrive(port->device, found->second, now_ + device.identityMs);
            continue;
        }
        std::string reply = device.ahead;
        if (n >= 1 && static_cast<std::size_t>(n) <= device.answers.size())
            reply += static_cast<char>(device.answers[n - 1] ^ (n == 1 && drawerOpen_[port->device] ? 0x04 : 0));
        arrive(port->device, reply + device.unasked, now_ + device.answerMs);
    }
    return winerr::Success;
}

Result<std::string> FakeSerialPorts::read(SerialHandle handle, std::size_t maxBytes, std::uint32_t timeoutMs) {
    readDeadlines_.push_back(timeoutMs);
    Port* port = find(handle);
    if (!port) return {{}, winerr::InvalidHandle};
    if (devices_[port->device].readError != winerr::Success) return {{}, devices_[port->device].readError};
    auto& input = input_[port->device];
    if (input.empty() || input.front().first > now_ + timeoutMs) {
        now_ += timeoutMs;
        return {{}, winerr::Timeout};
    }
    if (input.front().first > now_) now_ = input.front().first;
    std::string got;
    while (got.size() < maxBytes && !input.empty() && input.front().first <= now_) {
        got += input.front().second;
        input.erase(input.begin());
    }
    return {got, winerr::Success};
}

void FakeSerialPorts::close(SerialHandle handle) { handles_.erase(handle); }

std::vector<std::string> FakeSerialPorts::linesSet(const std::string& port) const {
    const auto it = lines_.find(key(port));
    return it == lines_.end() ? std::vector<std::string>{} : it->second;
}

std::string FakeSerialPorts::writtenTo(const std::string& port) const {
    const auto it = written_.find(key(port));
    return it == written_.end() ? std::string{} : it->second;
}

}  // namespace kelp
