// COM ports in memory as the engine sees them through SerialPorts, each
// with a device of scripted manners behind it: a printer that answers the
// real-time status requests, one that stays silent, a device that talks
// without being asked, a printer that sends automatic status frames or
// XON/XOFF ahead of its answers, old answers left waiting in the line, a
// port that will not open, one that opens but whose line cannot be set (a
// port whose device is gone), a line that fails on reading. Time is a
// virtual clock that moves only while the engine reads and nothing has
// come. Records every line set and every byte written per port.
//
// A port nobody scripted does not open (2, ERROR_FILE_NOT_FOUND). Names are
// compared ignoring case and a trailing colon: "com5:" is COM5.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/SerialPort.h"

namespace kelp {

class FakeSerialPorts : public SerialPorts {
public:
    struct Device {
        // answers[n - 1] is the answer to DLE EOT n (10 04 n); a request
        // beyond answers, or any other bytes, gets no answer.
        std::string answers = {};
        WinError openError = winerr::Success;  // open fails with this
        WinError lineError = winerr::Success;  // setLine fails with this
        // In the line before the port is opened: old answers nobody read.
        std::string waiting = {};
        // Sent unasked after every request, behind its answer: a device
        // that talks by itself.
        std::string unasked = {};
        // The line the device itself runs at: asked at another, it hears
        // noise and answers nothing.
        std::string line = "9600,n,8,1";
        // Sent at every request ahead of its answer (or in its place when
        // there is none): status frames, XON/XOFF.
        std::string ahead = {};
        std::uint32_t answerMs = 1;            // from a request to its answer
        WinError readError = winerr::Success;  // reads fail with this
        // The m of ESC p (1B 70 m t1 t2) its cash drawer is wired to: the
        // drawer opens at that pulse and its sensor (DLE EOT 1's 0x04) reads
        // the other way from then on. -1: no drawer, or one without a sensor.
        int drawerPin = -1;
        // Its answers to GS I n (1D 49 n) by n, sent as they are identityMs
        // after the request ("\x5F" "RK-730P" "\0"); an n it does not have
        // gets no answer.
        std::map<int, std::string> identity = {};
        std::uint32_t identityMs = 1;
    };
    void setDevice(const std::string& port, Device device);
    void setPrinter(const std::string& port, std::string answers) { setDevice(port, {std::move(answers)}); }

    // ---- SerialPorts ------------------------------------------------------
    Result<SerialHandle> open(const std::string& portName) override;
    WinError setLine(SerialHandle port, const SerialLine& line) override;
    Result<std::string> takeInput(SerialHandle port) override;
    WinError write(SerialHandle port, const std::string& bytes) override;
    Result<std::string> read(SerialHandle port, std::size_t maxBytes, std::uint32_t timeoutMs) override;
    void close(SerialHandle port) override;
    std::uint64_t nowMs() override { return now_; }

    // ---- What happened ------------------------------------------------------
    // The ports open was asked for, as named, in order.
    const std::vector<std::string>& opened() const { return opened_; }
    // The lines set on a port, in order, as "9600,n,8,1" (1.5 stop bits as "1.5").
    std::vector<std::string> linesSet(const std::string& port) const;
    // The bytes written to a port, all openings together.
    std::string writtenTo(const std::string& port) const;
    // The deadlines read was given, in order.
    const std::vector<std::uint32_t>& readDeadlines() const { return readDeadlines_; }
    // Ports opened and not closed.
    std::size_t openPorts() const { return handles_.size(); }

private:
    struct Port {
        std::string device;  // the device's key
        std::string line;    // as set; empty until then
    };
    static std::string key(const std::string& name);
    Port* find(SerialHandle handle);

    std::map<std::string, Device> devices_;
    // Per device: received, not read yet, each byte with the time it arrives.
    std::map<std::string, std::vector<std::pair<std::uint64_t, char>>> input_;
    void arrive(const std::string& device, const std::string& bytes, std::uint64_t at);
    std::uint64_t now_ = 0;
    std::map<std::string, std::vector<std::string>> lines_;
    std::map<std::string, std::string> written_;
    std::map<std::string, std::string> request_;
    std::map<std::string, bool> drawerOpen_;  // bytes written not yet making a whole request
    std::vector<std::string> opened_;
    std::vector<std::uint32_t> readDeadlines_;
    std::map<SerialHandle, Port> handles_;
    SerialHandle next_ = 0x900;
};

}  // namespace kelp
