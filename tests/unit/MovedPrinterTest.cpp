#include <gtest/gtest.h>

#include <functional>

#include "fake/FakeNetwork.h"
#include "fake/FakePlatform.h"
#include "install/MovedPrinter.h"
#include "install/RunLog.h"
#include "install/Wording.h"

namespace kelp {
namespace {

constexpr Ipv4 Ip(unsigned a, unsigned b, unsigned c, unsigned d) { return (a << 24) | (b << 16) | (c << 8) | d; }

struct Recorder : InstallationProgress {
    void position(int percent) override { last = percent; }
    void doing(const Waiting& waiting) override { said.push_back(waiting.subject + "|" + std::to_string(int(waiting.what))); }
    std::vector<std::string> said;
    int last = -1;
};

// The printer of row 2 (RK-730P) installed at 10.0.0.40:9100 does not answer
// there; the search of the adapter's /24 decides what the wizard offers.
// Printers by their last octet: a model and serial, or "" for one that
// answers its status and no name.
TEST(MovedPrinter, TheSearchDecidesNoneOneOrSeveral) {
    using F = MovedPrinterFind;
    struct Printer {
        unsigned octet;
        const char* model;
        const char* serial = "";
        const char* status = "\x12\x12\x12\x12";
    };
    struct Row {
        const char* name;
        std::vector<Printer> printers;
        F find;
        std::vector<unsigned> found;  // last octets
        const char* logged;           // the log's last line after "moved printer search: "
        std::string host = "10.0.0.40";
        std::function<void(FakeNetwork&)> world = {};
        WinError error = 0;
    };
    const Row rows[] = {
        {"one of the model elsewhere", {{77, "RK-730P", "SN77"}}, F::One, {77},
         "the model answers at 10.0.0.77 (RK-730P, serial number SN77)"},
        {"its name spelt otherwise, at the range's end", {{254, "rk 730p"}}, F::One, {254},
         "the model answers at 10.0.0.254 (rk 730p, serial number not given)"},
        {"another model, a near name, one unnamed, one out of paper",
         {{2, "RK-730PN"}, {3, "RK-730P2"}, {4, ""}, {6, "RK-730P", "", "\x16\x12\x12\x72"}}, F::None, {},
         "no printer of the model answers elsewhere"},
        {"several, in address order", {{90, "RK-730P", "SN90"}, {1, "RK-730P"}}, F::Several, {1, 90},
         "the model answers at 10.0.0.90 (RK-730P, serial number SN90)"},
        {"nothing on the network", {}, F::None, {}, "no printer of the model answers elsewhere"},
        {"its own address answers after all", {{40, "RK-730P"}, {77, "RK-730P"}}, F::AnswersAtItsAddress, {40},
         "a printer answers at 10.0.0.40 after all: nothing offered"},
        {"its own address answers, unnamed", {{40, ""}, {77, "RK-730P"}}, F::AnswersAtItsAddress, {40},
         "a printer answers at 10.0.0.40 after all: nothing offered"},
        {"another model took its address", {{40, "RK-520P"}, {77, "RK-730P"}}, F::One, {77},
         "the model answers at 10.0.0.77 (RK-730P, serial number not given)"},
        {"a host name stands for its own address", {{41, "RK-730P"}}, F::AnswersAtItsAddress, {41},
         "a printer answers at 10.0.0.41 after all: nothing offered", "till.lan",
         [](FakeNetwork& n) { n.setName("till.lan", {Ip(10, 0, 0, 41)}); }},
        {"a host name that is not found", {{41, "RK-730P"}}, F::One, {41},
         "the model answers at 10.0.0.41 (RK-730P, serial number not given)", "gone.lan"},
        {"the network fails on the way", {{77, "RK-730P"}}, F::Failed, {},
         "this computer's network failed (error 10093): nothing offered", "10.0.0.40",
         [](FakeNetwork& n) { n.failWaitAt(3, 10093); }, 10093},
        {"the adapters cannot be read", {}, F::Failed, {}, "the network adapters cannot be read (error 1232)", "10.0.0.40", [](FakeNetwork& n) { n.setAdapters({{}, 1232}); }, 1232},
        {"no adapter up", {}, F::None, {}, "no connected network to search", "10.0.0.40", [](FakeNetwork& n) { n.setAdapters({{}, 0}); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeNetwork net;
        net.setAdapters({{{Ip(10, 0, 0, 9), 24}}, 0});
        for (const auto& p : row.printers) {
            FakeNetwork::Host host = *p.model ? FakeNetwork::NamedPrinter(p.model, "Kelp Test", p.serial) : FakeNetwork::Host{};
            host.answers = p.status;
            net.setHost(Ip(10, 0, 0, p.octet), host);
        }
        if (row.world) row.world(net);
        FakePlatform machine;
        RunLog log(machine, "C:\\Kelp.log");
        Recorder progress;
        const MovedPrinterSearch search = FindMovedPrinter(net, 2, {row.host, 9100}, &log, &progress);
        EXPECT_EQ(search.find, row.find);
        EXPECT_EQ(search.error, row.error);
        std::vector<unsigned> got;
        for (const auto& printer : search.printers) got.push_back(printer.address & 0xFF);
        EXPECT_EQ(got, row.found);
        if (row.find == F::One) EXPECT_EQ(search.printers[0].identity.serial, row.printers[0].serial);
        EXPECT_EQ(net.openSockets(), 0u);
        const bool searched = row.error != 1232 && std::string(row.name) != "no adapter up";
        EXPECT_EQ(net.batches().size(), searched ? 1u : 0u);
        if (searched) {
            EXPECT_EQ(progress.said, (std::vector<std::string>{row.host + ":9100|3", "|0"}));
            if (!row.error) EXPECT_EQ(progress.last, 100);
        }
        const std::string logged = machine.fileContents("C:\\Kelp.log").value_or("");
        EXPECT_NE(logged.find(std::string(" moved printer search: ") + row.logged + "\r\n"), std::string::npos) << logged;
    }
}

// Only a RAW TCP/IP port's printer that did not answer may have moved.
TEST(MovedPrinter, OnlyAPrinterThatDidNotAnswerAtItsAddress) {
    using R = TestReceiptResult;
    using S = PrinterState;
    const struct {
        R result;
        std::optional<S> state;
        bool network;
        bool moved;
    } rows[] = {
        {R::Withheld, S::NoAnswer, true, true},  {R::Withheld, S::Refused, true, true},
        {R::Withheld, S::NoAnswer, false, false}, {R::Withheld, S::PaperOut, true, false},
        {R::Withheld, S::NotAPrinter, true, false}, {R::NeedsConfirmation, S::NoStatus, true, false},
        {R::Printed, S::Ready, true, false},       {R::JobFailed, std::nullopt, true, false},
    };
    for (const auto& row : rows) {
        TestReceiptOutcome outcome;
        outcome.result = row.result;
        outcome.state = row.state;
        if (row.network) outcome.address = NetworkAddress{"10.0.0.40", 9100};
        EXPECT_EQ(PrinterMayHaveMoved(outcome), row.moved) << int(row.result) << " " << int(row.state.value_or(S::Ready));
    }
}

}  // namespace
}  // namespace kelp
