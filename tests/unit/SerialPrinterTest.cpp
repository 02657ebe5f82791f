#include <gtest/gtest.h>

#include "fake/FakePlatform.h"
#include "fake/FakeSerialPorts.h"
#include "install/RunLog.h"
#include "install/SerialPrinter.h"

namespace kelp {
namespace {

constexpr const char* kPortsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

TEST(SerialPort, NamesAndLines) {
    for (const char* name : {"COM1:", "COM5", "com12:", "Com255:"}) EXPECT_TRUE(IsComPortName(name)) << name;
    for (const char* name : {"", "COM", "COM:", "COM0:", "COM01:", "COM256:", "COM1::", "COM1x", "LPT1:", "XCOM1:",
                             "USB001", "IP_10.0.0.5", "COM 1:"})
        EXPECT_FALSE(IsComPortName(name)) << name;

    const struct {
        const char* text;
        const char* line;  // as read back; null: no line
    } rows[] = {
        {"9600,n,8,1", "9600,n,8,1"},
        {"9600,N,8,1, ", "9600,n,8,1"},  // as the installation writes it
        {"19200,e,7,2,x", "19200,e,7,2"},
        {"115200,O,8,1,P", "115200,o,8,1"},
        {" 4800 , m , 6 , 1 ", "4800,m,6,1"},
        {"300,s,5,1.5", "300,s,5,1.5"},
        {"4000000,n,8,1", "4000000,n,8,1"},
        {"", nullptr},
        {"9600,n,8", nullptr},
        {"9600,n,8,1,x,y", nullptr},
        {"9600,n,8,1,xx", nullptr},
        {"9600,n,8,1,r", nullptr},
        {"0,n,8,1", nullptr},
        {"4000001,n,8,1", nullptr},
        {"96OO,n,8,1", nullptr},
        {",n,8,1", nullptr},
        {"9600,x,8,1", nullptr},
        {"9600,no,8,1", nullptr},
        {"9600,n,4,1", nullptr},
        {"9600,n,9,1", nullptr},
        {"9600,n,8,0", nullptr},
        {"9600,n,8,1.5", nullptr},  // Windows refuses these two pairs
        {"9600,n,5,2", nullptr},
        {"baud=9600 parity=n data=8 stop=1", nullptr},
    };
    for (const auto& row : rows) {
        const auto line = ParseSerialLine(row.text);
        EXPECT_EQ(line ? FormatSerialLine(*line) : "(none)", row.line ? row.line : "(none)") << row.text;
    }
}

// How the port and the device behind it behave, what the spooler's port
// record says, and what the probe makes of it: the line set, the bytes
// sent, and the port closed again whatever happened.
TEST(SerialProbe, PortsDevicesAndRecords) {
    using S = PrinterState;
    using D = FakeSerialPorts::Device;
    const std::string all = std::string("\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04", 12);
    const std::string first = all.substr(0, 3);
    const std::string frame("\x14\x00\x0C\x00", 4);
    const std::optional<RegValue> none;
    const auto text = [](const char* value) { return std::optional<RegValue>(RegValue{RegSz, std::string(value) + '\0'}); };
    const struct {
        std::optional<D> device;
        std::optional<RegValue> record;  // COM5:'s value under the Ports key
        S state;
        std::string sent;
        std::vector<std::string> lines;  // set on the port
    } rows[] = {
        {D{"\x12\x12\x12\x12"}, text("9600,n,8,1"), S::Ready, all, {"9600,n,8,1"}},
        {D{"\x1E\x32\x12\x72"}, text("9600,n,8,1"), S::PaperOut, all, {"9600,n,8,1"}},
        {D{"\x1E\x16\x12\x12"}, text("9600,n,8,1"), S::CoverOpen, all, {"9600,n,8,1"}},
        {D{""}, text("9600,n,8,1"), S::NoStatus, first, {"9600,n,8,1"}},  // mute: the person is asked
        {D{"\x12"}, none, S::NoAnswer, all.substr(0, 6), {"9600,n,8,1"}},  // one answer, then nothing
        {D{"\x12\x12\x12\x12", 0, 0, "", "", "9600,n,8,1", "", 1, 1167}, none, S::NoAnswer, first, {"9600,n,8,1"}},
        // The port's own line, whatever the installation wrote there.
        {D{"\x12\x12\x12\x12", 0, 0, "", "", "19200,e,7,2"}, text("19200,E,7,2, "), S::Ready, all, {"19200,e,7,2"}},
        {D{"\x12\x12\x12\x12", 0, 0, "", "", "19200,n,8,1"}, none, S::NoStatus, first, {"9600,n,8,1"}},
        // Written by a program that left out the terminating zero.
        {D{"\x12\x12\x12\x12", 0, 0, "", "", "19200,n,8,1"}, RegValue{RegSz, "19200,n,8,1"}, S::Ready, all, {"19200,n,8,1"}},
        // A record that is no line, or cannot be read: 9600,n,8,1.
        {D{"\x12\x12\x12\x12"}, text("fast"), S::Ready, all, {"9600,n,8,1"}},
        {D{"\x12\x12\x12\x12"}, RegValue{3, std::string("19200,n,8,1\0", 12)}, S::Ready, all, {"9600,n,8,1"}},
        {D{"\x12\x12\x12\x12"}, text(("19200,n,8,1" + std::string(300, ' ')).c_str()), S::Ready, all, {"9600,n,8,1"}},
        // Old answers waiting in the line are dropped before asking.
        {D{"\x12\x12\x12\x12", 0, 0, "\x1E\x32\x12\x72\x1E"}, none, S::Ready, all, {"9600,n,8,1"}},
        // A device that talks without being asked is no printer.
        {D{"\x12\x12\x12\x12", 0, 0, "", "AB"}, none, S::NotAPrinter, first, {"9600,n,8,1"}},
        {D{"", 0, 0, "", "AB"}, none, S::NotAPrinter, first, {"9600,n,8,1"}},
        // Status frames and XON/XOFF ahead of the answers, or in their place,
        // or unasked after them: dropped, each answer awaited 1 s in all.
        {D{"\x12\x12\x12\x12", 0, 0, "", frame, "9600,n,8,1", frame + "\x13\x11"}, none, S::Ready, all, {"9600,n,8,1"}},
        {D{"\x12\x12\x12\x12", 0, 0, "", "", "9600,n,8,1", frame, 500}, none, S::Ready, all, {"9600,n,8,1"}},
        {D{"", 0, 0, "", "", "9600,n,8,1", frame, 500}, none, S::NoStatus, first, {"9600,n,8,1"}},
        {D{"\x12\x12\x12\x12", 0, 0, "", "", "9600,n,8,1", frame.substr(0, 3)}, none, S::NotAPrinter, first, {"9600,n,8,1"}},
        // Ports that cannot be used: nothing sent.
        {std::nullopt, none, S::PortNotOpen, "", {}},
        {D{"\x12\x12\x12\x12", 5}, none, S::PortNotOpen, "", {}},      // another program holds it
        {D{"\x12\x12\x12\x12", 0, 1}, none, S::NoAnswer, "", {}},   // its device is gone
    };
    for (const auto& row : rows) {
        const std::string trace = row.device ? testing::PrintToString(row.device->answers) + " " + row.device->line : "(none)";
        FakePlatform m;
        m.seedKey(RegRoot::LocalMachine, kPortsKey);
        if (row.record) m.seedValue(RegRoot::LocalMachine, kPortsKey, "COM5:", *row.record);
        FakeSerialPorts ports;
        if (row.device) ports.setDevice("COM5", *row.device);
        std::size_t waits = 0;
        EXPECT_EQ(ProbeSerialPrinter(m, ports, "COM5:", nullptr, [&] { ++waits; }), row.state) << trace;
        EXPECT_EQ(ports.opened(), std::vector<std::string>{"COM5:"}) << trace;
        EXPECT_EQ(ports.writtenTo("COM5"), row.sent) << trace;
        EXPECT_EQ(ports.linesSet("COM5"), row.lines) << trace;
        // Each answer waited for 1 s at most, in reads of 100 ms at most with
        // a wait between them.
        for (const auto deadline : ports.readDeadlines()) EXPECT_LE(deadline, 100u) << trace;
        EXPECT_LE(ports.nowMs(), 1000 * row.sent.size() / 3) << trace;
        if (row.state == PrinterState::NoStatus) {  // a whole second unanswered, the window answering
            EXPECT_EQ(ports.nowMs(), 1000u) << trace;
            EXPECT_GE(waits, 8u) << trace;
        }
        EXPECT_EQ(ports.openPorts(), 0u) << trace;
        EXPECT_TRUE(m.openKeys().empty()) << trace;
    }
}

// The outcome in the log: the port, its line, the state, and why a port
// could not be used.
TEST(SerialProbe, TheOutcomeIsLogged) {
    FakePlatform m;
    m.makeDirectory("C:\\logs");
    RunLog log(m, "C:\\logs\\k.log");
    FakeSerialPorts ports;
    ports.setPrinter("COM5", "\x1E\x32\x12\x72");
    ports.setDevice("COM6", {"\x12\x12\x12\x12", 5});
    ports.setDevice("COM7", {"\x12\x12\x12\x12", 0, 1});
    FakeSerialPorts::Device named{"\x12\x12\x12\x1E"};
    named.identity = {{67, std::string("\x5FRK-730P(NEW)\0", 14)}, {66, std::string("\x5F\0", 2)}, {68, std::string("\x5FS-8\0", 5)}};
    ports.setDevice("COM8", named);
    ports.setDevice("COM9", {"\x1E\x32\x12\x72", 0, 0, "", "", "9600,n,8,1", "", 1, 0, -1, named.identity});
    PrinterIdentity identity{"x", "y", "z"};
    ProbeSerialPrinter(m, ports, "COM5:", &log);
    ProbeSerialPrinter(m, ports, "COM6:", &log);
    ProbeSerialPrinter(m, ports, "COM7:", &log);
    // Asked who it is on the same opening, after a status that allows it.
    ProbeSerialPrinter(m, ports, "COM8:", &log, {}, nullptr, &identity);
    EXPECT_EQ(identity.model, "RK-730P(NEW)");
    EXPECT_EQ(identity.maker, "");
    EXPECT_EQ(identity.serial, "S-8");
    EXPECT_EQ(ports.writtenTo("COM8").substr(12), std::string("\x1D\x49\x43\x1D\x49\x42\x1D\x49\x44"));
    EXPECT_EQ(ports.opened().size(), 4u);
    ProbeSerialPrinter(m, ports, "COM9:", &log, {}, nullptr, &identity);
    EXPECT_FALSE(identity.named());
    EXPECT_EQ(ports.writtenTo("COM9").size(), 12u);
    const std::string text = m.fileContents("C:\\logs\\k.log").value_or("");
    EXPECT_EQ(text.find("COM9: names itself"), std::string::npos);
    for (const char* line : {"printer on COM5: at 9600,n,8,1: paper out\r\n",
                             "printer on COM8: at 9600,n,8,1: paper near its end\r\n",
                             " the printer on COM8: names itself \"RK-730P(NEW)\", serial number \"S-8\"\r\n",
                             "printer on COM6: at 9600,n,8,1: the port does not open (error 5, Access is denied)\r\n",
                             "printer on COM7: at 9600,n,8,1: no answer (the port's line cannot be set: error 1)\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
}

}  // namespace
}  // namespace kelp
