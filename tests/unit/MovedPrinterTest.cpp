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
TEST(MovedPrinter, TheSearchDecidesNoneOneOrSeveral) {
    using F = MovedPrinterFind;
    const auto named = [](const char* model, const char* serial) { return FakeNetwork::NamedPrinter(model, "Kelp Test", serial); };
    struct Row {
        const char* name;
        std::function<void(FakeNetwork&)> world;
        F find;
        std::vector<Ipv4> printers;
        std::string host = "10.0.0.40";
        WinError error = 0;
    };
    const Row rows[] = {
        {"one of the model elsewhere", [&](FakeNetwork& n) { n.setHost(Ip(10, 0, 0, 77), named("RK-730P", "SN77")); },
         F::One, {Ip(10, 0, 0, 77)}},
        {"its name spelt otherwise", [&](FakeNetwork& n) { n.setHost(Ip(10, 0, 0, 254), named("rk 730p", "")); },
         F::One, {Ip(10, 0, 0, 254)}},
        {"another model, a nearby name, one unnamed, one silent",
         [&](FakeNetwork& n) {
             n.setHost(Ip(10, 0, 0, 2), named("RK-730PN", "SN2"));
             n.setHost(Ip(10, 0, 0, 3), named("RK-730P2", "SN3"));
             n.setPrinter(Ip(10, 0, 0, 4), "\x12\x12\x12\x12");
             n.setHost(Ip(10, 0, 0, 5), {ConnectOutcome::Connected, ""});
         },
         F::None, {}},
        {"a printer of the model out of paper is not asked who it is",
         [&](FakeNetwork& n) {
             auto host = named("RK-730P", "SN6");
             host.answers = "\x16\x12\x12\x72";
             n.setHost(Ip(10, 0, 0, 6), host);
         },
         F::None, {}},
        {"several, in address order",
         [&](FakeNetwork& n) {
             n.setHost(Ip(10, 0, 0, 90), named("RK-730P", "SN90"));
             n.setHost(Ip(10, 0, 0, 1), named("RK-730P", ""));
         },
         F::Several, {Ip(10, 0, 0, 1), Ip(10, 0, 0, 90)}},
        {"nothing on the network", [](FakeNetwork&) {}, F::None, {}},
        {"its own address answers after all",
         [&](FakeNetwork& n) {
             n.setHost(Ip(10, 0, 0, 40), named("RK-730P", "SN40"));
             n.setHost(Ip(10, 0, 0, 77), named("RK-730P", "SN77"));
         },
         F::AnswersAtItsAddress, {Ip(10, 0, 0, 40)}},
        {"its own address answers, unnamed",
         [&](FakeNetwork& n) {
             n.setPrinter(Ip(10, 0, 0, 40), "\x12\x12\x12\x12");
             n.setHost(Ip(10, 0, 0, 77), named("RK-730P", "SN77"));
         },
         F::AnswersAtItsAddress, {Ip(10, 0, 0, 40)}},
        {"another model took its address",
         [&](FakeNetwork& n) {
             n.setHost(Ip(10, 0, 0, 40), named("MZ730P", "SN40"));
             n.setHost(Ip(10, 0, 0, 77), named("RK-730P", "SN77"));
         },
         F::One, {Ip(10, 0, 0, 77)}},
        {"a host name stands for its own address",
         [&](FakeNetwork& n) {
             n.setName("till.lan", {Ip(10, 0, 0, 41)});
             n.setHost(Ip(10, 0, 0, 41), named("RK-730P", "SN41"));
         },
         F::AnswersAtItsAddress, {Ip(10, 0, 0, 41)}, "till.lan"},
        {"a host name that is not found",
         [&](FakeNetwork& n) { n.setHost(Ip(10, 0, 0, 41), named("RK-730P", "SN41")); }, F::One, {Ip(10, 0, 0, 41)},
         "gone.lan"},
        {"the network fails on the way",
         [&](FakeNetwork& n) {
             n.setHost(Ip(10, 0, 0, 77), named("RK-730P", "SN77"));
             n.failWaitAt(3, 10093);
         },
         F::Failed, {}, "10.0.0.40", 10093},
        {"the adapters cannot be read", [](FakeNetwork& n) { n.setAdapters({{}, 1232}); }, F::Failed, {}, "10.0.0.40", 1232},
        {"no adapter up", [](FakeNetwork& n) { n.setAdapters({{}, 0}); }, F::None, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeNetwork net;
        net.setAdapters({{{Ip(10, 0, 0, 9), 24}}, 0});
        row.world(net);
        FakePlatform machine;
        RunLog log(machine, "C:\\Kelp.log");
        Recorder progress;
        const MovedPrinterSearch search = FindMovedPrinter(net, 2, {row.host, 9100}, &log, &progress);
        EXPECT_EQ(search.find, row.find);
        EXPECT_EQ(search.error, row.error);
        std::vector<Ipv4> got;
        for (const auto& printer : search.printers) got.push_back(printer.address);
        EXPECT_EQ(got, row.printers);
        EXPECT_EQ(net.openSockets(), 0u);
        const bool searched = row.error != 1232 && std::string(row.name) != "no adapter up";
        EXPECT_EQ(net.batches().size(), searched ? 1u : 0u);
        if (searched) {
            EXPECT_EQ(progress.said, (std::vector<std::string>{row.host + ":9100|3", "|0"}));
            if (!row.error) EXPECT_EQ(progress.last, 100);
        }
        const std::string logged = machine.fileContents("C:\\Kelp.log").value_or("");
        EXPECT_NE(logged.find(" moved printer search: "), std::string::npos) << logged;
    }
    // The one found carries what it said of itself.
    FakeNetwork net;
    net.setAdapters({{{Ip(10, 0, 0, 9), 24}}, 0});
    net.setHost(Ip(10, 0, 0, 77), named("RK-730P", "SN77"));
    const auto one = FindMovedPrinter(net, 2, {"10.0.0.40", 9100}, nullptr);
    ASSERT_EQ(one.printers.size(), 1u);
    EXPECT_EQ(one.printers[0].identity.serial, "SN77");
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
