#include "install/SerialPrinter.h"

#include <vector>

#include "install/DriverInstaller.h"
#include "install/RunLog.h"
#include "install/Wording.h"

namespace kelp {

namespace {

constexpr std::uint32_t kMaxBaud = 4000000;
constexpr std::size_t kLineValueBytes = 256;

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::vector<std::string> Fields(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(Trimmed(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The status exchange over an open, set COM port. What waits in the line
// before the first request was there before the port was opened (a
// terminal keeps bytes across close and reopen: an answer that came too
// late for an earlier exchange): it is dropped without counting. From then
// on a byte that comes unasked is the device's own.
class SerialChannel : public StatusChannel {
public:
    SerialChannel(SerialPorts& ports, SerialHandle port, FunctionRef<void()> waiting)
        : ports_(ports), port_(port), waiting_(waiting) {}
    Result<std::string> takeWaiting() override {
        auto taken = ports_.takeInput(port_);
        if (first_) taken.value.clear();
        first_ = false;
        return taken;
    }
    std::uint64_t nowMs() override { return ports_.nowMs(); }
    WinError send(const std::string& bytes) override { return ports_.write(port_, bytes); }
    // In slices of at most 100 ms, waiting() between them: the window that
    // waits on the answer keeps answering.
    Result<std::string> receive(std::size_t maxBytes, std::uint32_t timeoutMs) override {
        for (std::uint32_t left = timeoutMs;;) {
            const std::uint32_t slice = left < kSliceMs ? left : kSliceMs;
            auto bytes = ports_.read(port_, maxBytes, slice);
            left -= slice;
            if (bytes.error != winerr::Timeout || left == 0) return bytes;
            if (waiting_) waiting_();
        }
    }

private:
    static constexpr std::uint32_t kSliceMs = 100;
    SerialPorts& ports_;
    SerialHandle port_;
    FunctionRef<void()> waiting_;
    bool first_ = true;
};

// "error 5, Access is denied"
std::string ErrorDetail(Platform& platform, WinError error) {
    const std::string text = platform.errorText(error, Language::English);
    return "error " + std::to_string(error) + (text.empty() ? "" : ", " + text);
}

// " (<what>: error 5, Access is denied)"
std::string Failure(Platform& platform, const char* what, WinError error) {
    return std::string(" (") + what + ": " + ErrorDetail(platform, error) + ")";
}

}  // namespace

bool IsComPortName(const std::string& name) {
    std::string bare = name;
    if (!bare.empty() && bare.back() == ':') bare.pop_back();
    if (bare.size() < 4 || bare.size() > 6 || LowerAscii(bare[0]) != 'c' || LowerAscii(bare[1]) != 'o' ||
        LowerAscii(bare[2]) != 'm' || bare[3] == '0')
        return false;
    unsigned number = 0;
    for (std::size_t i = 3; i < bare.size(); ++i) {
        if (bare[i] < '0' || bare[i] > '9') return false;
        number = number * 10 + static_cast<unsigned>(bare[i] - '0');
    }
    return number <= 255;
}

std::optional<SerialLine> ParseSerialLine(const std::string& text) {
    const auto fields = Fields(text);
    if (fields.size() < 4 || fields.size() > 5) return std::nullopt;
    SerialLine line;
    const std::string& baud = fields[0];
    if (baud.empty() || baud.size() > 7) return std::nullopt;
    line.baud = 0;
    for (const char c : baud) {
        if (c < '0' || c > '9') return std::nullopt;
        line.baud = line.baud * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (line.baud == 0 || line.baud > kMaxBaud) return std::nullopt;
    if (fields[1].size() != 1 || std::string("neoms").find(LowerAscii(fields[1][0])) == std::string::npos)
        return std::nullopt;
    line.parity = LowerAscii(fields[1][0]);
    if (fields[2].size() != 1 || fields[2][0] < '5' || fields[2][0] > '8') return std::nullopt;
    line.dataBits = static_cast<unsigned>(fields[2][0] - '0');
    if (fields[3] == "1") {
        line.stopBits = StopBits::One;
    } else if (fields[3] == "1.5" && line.dataBits == 5) {
        line.stopBits = StopBits::OneAndHalf;
    } else if (fields[3] == "2" && line.dataBits > 5) {
        line.stopBits = StopBits::Two;
    } else {
        return std::nullopt;
    }
    // Handshaking: none (blank), XON/XOFF or hardware. A status request is
    // three bytes and its answer one: the exchange does without it.
    if (fields.size() == 5 && fields[4].size() > 1) return std::nullopt;
    if (fields.size() == 5 && !fields[4].empty() && LowerAscii(fields[4][0]) != 'x' && LowerAscii(fields[4][0]) != 'p')
        return std::nullopt;
    return line;
}

std::string FormatSerialLine(const SerialLine& line) {
    const char* stop = line.stopBits == StopBits::One ? "1" : line.stopBits == StopBits::Two ? "2" : "1.5";
    return std::to_string(line.baud) + "," + std::string(1, line.parity) + "," + std::to_string(line.dataBits) + "," +
           stop;
}

SerialLine PortLine(Platform& platform, const std::string& portName) {
    std::string valueName = portName;
    if (valueName.empty() || valueName.back() != ':') valueName += ':';
    const auto key = platform.regOpenKey(RegRoot::LocalMachine, PortSettingsKey, RegAccess::QueryValue);
    if (!key.ok()) return {};
    const auto value = platform.regQueryValue(key.value, valueName, kLineValueBytes);
    platform.regCloseKey(key.value);
    if (!value.ok() || value.value.type != RegSz) return {};
    std::string text = value.value.data;
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return ParseSerialLine(text).value_or(SerialLine{});
}

PrinterState ProbeSerialPrinter(Platform& platform, SerialPorts& ports, const std::string& portName, RunLog* log,
                                FunctionRef<void()> waiting, WinError* portError, PrinterIdentity* identity) {
    const SerialLine line = PortLine(platform, portName);
    PrinterState state = PrinterState::NoAnswer;
    std::string why;
    const auto port = ports.open(portName);
    if (portError) *portError = port.error;
    if (!port.ok()) {
        state = PrinterState::PortNotOpen;
        why = " (" + ErrorDetail(platform, port.error) + ")";
    } else {
        const WinError error = ports.setLine(port.value, line);
        if (error != winerr::Success) {
            why = Failure(platform, "the port's line cannot be set", error);
        } else {
            SerialChannel channel(ports, port.value, waiting);
            state = AskPrinterStatus(channel);
            if (identity) *identity = StateAllowsIdentity(state) ? AskPrinterIdentity(channel) : PrinterIdentity{};
        }
        ports.close(port.value);
    }
    if (log)
        log->line("printer on " + portName + " at " + FormatSerialLine(line) + ": " + DescribePrinterState(state, Language::English) + why);
    if (log && identity && identity->named())
        log->line("the printer on " + portName + " names itself " + QuotedText(identity->model) +
                  (identity->maker.empty() ? "" : ", maker " + QuotedText(identity->maker)) +
                  (identity->serial.empty() ? "" : ", serial number " + QuotedText(identity->serial)));
    return state;
}

WinError TalkOverSerialPort(Platform& platform, SerialPorts& ports, const std::string& portName,
                            FunctionRef<void(StatusChannel&)> talk) {
    const auto port = ports.open(portName);
    if (!port.ok()) return port.error;
    const WinError error = ports.setLine(port.value, PortLine(platform, portName));
    if (error == winerr::Success) {
        SerialChannel channel(ports, port.value, {});
        talk(channel);
    }
    ports.close(port.value);
    return error;
}

}  // namespace kelp
