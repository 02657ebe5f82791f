#include <gtest/gtest.h>

#include <algorithm>

#include "fake/FakeNetwork.h"
#include "fake/FakePlatform.h"
#include "install/Names.h"
#include "install/NetworkPrinter.h"
#include "install/LoggingPlatform.h"
#include "install/Wording.h"
#include "install/RunLog.h"

namespace kelp {
namespace {

constexpr Ipv4 Ip(unsigned a, unsigned b, unsigned c, unsigned d) { return (a << 24) | (b << 16) | (c << 8) | d; }

TEST(NetworkAddress, ParsedOrRefusedWithTheReason) {
    using P = AddressProblem;
    const std::string longest(48, 'a');
    const struct {
        std::string text;
        P problem;
        std::string host;
        std::uint16_t port;
    } rows[] = {
        {"192.168.1.50", P::None, "192.168.1.50", 9100},
        {"192.168.1.50:9101", P::None, "192.168.1.50", 9101},
        {"010.000.000.007:1", P::None, "10.0.0.7", 1},
        {"223.255.255.254:65535", P::None, "223.255.255.254", 65535},
        {"1.0.0.0", P::None, "1.0.0.0", 9100},
        {"127.0.0.1", P::None, "127.0.0.1", 9100},
        {"0x7f-printer", P::None, "0x7f-printer", 9100},
        {"Kitchen-Printer.local", P::None, "Kitchen-Printer.local", 9100},
        {"1kitchen", P::None, "1kitchen", 9100},
        {"10.77.0.a", P::None, "10.77.0.a", 9100},
        {"till-2.Z9", P::None, "till-2.Z9", 9100},
        {longest + ":00080", P::None, longest, 80},
        {"", P::Empty, "", 0},
        {":9100", P::Empty, "", 0},
        {longest + "b", P::TooLong, "", 0},
        {"printer one", P::BadCharacter, "", 0},
        {"printer_1", P::BadCharacter, "", 0},
        {"\xE6\x89\x93\xE5\x8D\xB0", P::BadCharacter, "", 0},
        {"10.0.0.256", P::OctetOver255, "", 0},
        {"1.2.3.4444", P::OctetOver255, "", 0},
        {"10.0.0.5:0", P::TcpPortZero, "", 0},
        {"10.0.0.5:65536", P::TcpPortOver65535, "", 0},
        {"10.0.0.5:99999999999999999999", P::TcpPortOver65535, "", 0},
        {"10.0.0.5:", P::TcpPortNotNumber, "", 0},
        {"10.0.0.5:91a", P::TcpPortNotNumber, "", 0},
        {"10.0.0.5:-1", P::TcpPortNotNumber, "", 0},
        {"fe80::1", P::Ipv6, "", 0},
        {"[::1]:9100", P::Ipv6, "", 0},
        {"10.1", P::NotAnAddress, "", 0},
        {"1.2.3.4.5", P::NotAnAddress, "", 0},
        {"1..2.3", P::NotAnAddress, "", 0},
        {"-printer", P::NotAnAddress, "", 0},
        {"printer.", P::NotAnAddress, "", 0},
        {"a..b", P::NotAnAddress, "", 0},
        {"0x7f.1", P::NotAnAddress, "", 0},
        {"0x7f000001", P::NotAnAddress, "", 0},
        {"0X7F.0x0.0x0.0x1:9101", P::NotAnAddress, "", 0},
        {"0x.0", P::NotAnAddress, "", 0},
        {"0.0.0.0", P::Reserved, "", 0},
        {"0.255.255.255", P::Reserved, "", 0},
        {"224.0.0.1", P::Reserved, "", 0},
        {"239.255.255.250", P::Reserved, "", 0},
        {"240.0.0.1", P::Reserved, "", 0},
        {"255.255.255.255", P::Reserved, "", 0},
        {"host:9100:1", P::SecondColon, "", 0},
        {"10.0.0.5:9100:", P::SecondColon, "", 0},
        {"a:b:c:d", P::Ipv6, "", 0},
        {"10.77.0.1O", P::Mistyped, "", 0},
        {"10.77.O.1:9100", P::Mistyped, "", 0},
        {"printer.0x7f", P::Mistyped, "", 0},
        {"kitchen.9z", P::Mistyped, "", 0},
    };
    for (const auto& row : rows) {
        const AddressParse parse = ParseNetworkAddress(row.text);
        EXPECT_EQ(parse.problem, row.problem) << row.text;
        EXPECT_EQ(parse.ok(), row.problem == P::None) << row.text;
        if (row.problem != P::None) continue;
        EXPECT_EQ(parse.address.host, row.host) << row.text;
        EXPECT_EQ(parse.address.tcpPort, row.port) << row.text;
    }
    EXPECT_EQ(FormatAddress({"10.0.0.7", 9101}), "10.0.0.7:9101");

    const struct {
        P problem;
        const char* english;
        const char* chinese;
    } texts[] = {
        {P::Empty, "Enter the printer's address.", "请输入打印机的地址。"},
        {P::TooLong, "The address is too long: a host name has at most 48 characters.", "地址太长：主机名最多 48 个字符。"},
        {P::BadCharacter, "An address holds only letters, digits, '-' and '.', no blank or other character.",
         "地址中只能有字母、数字、“-”和“.”，不能有空格或其他字符。"},
        {P::OctetOver255, "No number of an IPv4 address is over 255.", "IPv4 地址的每个数字都不能大于 255。"},
        {P::TcpPortZero, "The TCP port cannot be 0.", "TCP 端口不能为 0。"},
        {P::TcpPortOver65535, "The TCP port cannot be over 65535.", "TCP 端口不能大于 65535。"},
        {P::TcpPortNotNumber, "The TCP port after the colon must be a number.", "冒号后的 TCP 端口必须是数字。"},
        {P::Ipv6, "IPv6 addresses are not supported: use the printer's host name.", "不支持 IPv6 地址，请使用打印机的主机名。"},
        {P::NotAnAddress, "This is no IPv4 address (four numbers with dots) and no host name.",
         "这不是有效的 IPv4 地址或主机名。"},
        {P::Reserved, "No printer has this address: 0.x.x.x, multicast and reserved addresses (224.0.0.0 and above) cannot be used.",
         "该地址不能是打印机的地址：0.x.x.x、组播地址和保留地址（224.0.0.0 及以上）都不可用。"},
        {P::SecondColon, "An address has one colon at most, before its TCP port.", "地址中只能有一个冒号，放在 TCP 端口之前。"},
        {P::Mistyped,
         "This looks like a mistyped IPv4 address: an address is four numbers with dots, and a host name's last part begins "
         "with a letter.",
         "这像是输错的 IPv4 地址：IPv4 地址是用点分隔的四个数字，主机名的最后一段以字母开头。"},
        {P::NetworkEdge, "No printer has this address: it is the network or broadcast address of one of this computer's networks.",
         "该地址不能是打印机的地址：它是本机所在网络的网络地址或广播地址。"},
    };
    for (const auto& text : texts) {
        EXPECT_EQ(DescribeAddressProblem(text.problem, Language::English), text.english);
        EXPECT_EQ(DescribeAddressProblem(text.problem, Language::Chinese), text.chinese);
    }
}

TEST(NetworkAddress, Ipv4TextBothWays) {
    EXPECT_EQ(ParseIpv4("0.0.0.0"), Ip(0, 0, 0, 0));
    EXPECT_EQ(ParseIpv4("255.255.255.254"), 0xFFFFFFFEu);
    EXPECT_EQ(ParseIpv4("127.0.1.20"), Ip(127, 0, 1, 20));
    for (const char* bad : {"", "1.2.3", "1.2.3.", "1.2.3.4 ", "1.2.3.256", "1.2.3.0004", "a.2.3.4", "1.2.3.4.5"})
        EXPECT_FALSE(ParseIpv4(bad)) << bad;
    EXPECT_EQ(FormatIpv4(Ip(192, 168, 1, 254)), "192.168.1.254");
}

// Reserved everywhere; the network and broadcast addresses of this
// computer's own networks of /30 or larger; a /31 and a /32 have none.
TEST(NetworkAddress, RefusedOnThisComputersNetworks) {
    using P = AddressProblem;
    const std::vector<Ipv4Interface> adapters = {
        {Ip(10, 77, 0, 1), 24}, {Ip(192, 168, 5, 9), 30}, {Ip(172, 16, 0, 4), 31},
        {Ip(10, 9, 9, 9), 32},  {Ip(44, 1, 2, 3), 8},     {Ip(1, 2, 3, 4), 0}};
    const struct {
        Ipv4 address;
        P problem;
    } rows[] = {
        {Ip(10, 77, 0, 0), P::NetworkEdge},     {Ip(10, 77, 0, 255), P::NetworkEdge},  {Ip(10, 77, 0, 254), P::None},
        {Ip(10, 77, 0, 1), P::None},            {Ip(10, 77, 1, 0), P::None},           {Ip(10, 76, 255, 255), P::None},
        {Ip(192, 168, 5, 8), P::NetworkEdge},   {Ip(192, 168, 5, 11), P::NetworkEdge}, {Ip(192, 168, 5, 10), P::None},
        {Ip(192, 168, 5, 12), P::None},         {Ip(172, 16, 0, 4), P::None},          {Ip(172, 16, 0, 5), P::None},
        {Ip(10, 9, 9, 9), P::None},             {Ip(44, 0, 0, 0), P::NetworkEdge},     {Ip(44, 255, 255, 255), P::NetworkEdge},
        {Ip(44, 255, 255, 254), P::None},       {Ip(1, 2, 3, 0), P::None},             {Ip(0, 0, 0, 0), P::Reserved},
        {Ip(224, 0, 0, 1), P::Reserved},        {Ip(255, 255, 255, 255), P::Reserved}, {Ip(223, 255, 255, 255), P::None},
    };
    for (const auto& row : rows) EXPECT_EQ(RefusedAddress(row.address, adapters), row.problem) << FormatIpv4(row.address);
    EXPECT_EQ(RefusedAddress(Ip(10, 77, 0, 255), {}), P::None);

    EXPECT_EQ(DescribeRefusedAddress("zero.lan", 0, P::Reserved, Language::English),
              "The host name zero.lan stands for 0.0.0.0. No printer has this address: 0.x.x.x, multicast and reserved "
              "addresses (224.0.0.0 and above) cannot be used.");
    EXPECT_EQ(DescribeRefusedAddress("edge.lan", Ip(10, 77, 0, 255), P::NetworkEdge, Language::Chinese),
              "主机名 edge.lan 对应的地址是 10.77.0.255。该地址不能是打印机的地址：它是本机所在网络的网络地址或广播地址。");
    EXPECT_EQ(DescribeRefusedAddress("10.77.0.0", Ip(10, 77, 0, 0), P::NetworkEdge, Language::English),
              "No printer has this address: it is the network or broadcast address of one of this computer's networks.");
}

// What the printer answers, or how the connect ends, and what the probe
// makes of it; what was sent; and how long it took (the fake's clock): a
// connect deadline of 3 s, 1 s for each answer.
TEST(NetworkProbe, AnswersAndSocketOutcomes) {
    using S = PrinterState;
    using C = ConnectOutcome;
    const std::string all = std::string("\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04", 12);
    const std::string first = all.substr(0, 3);
    const struct {
        FakeNetwork::Host host;
        S state;
        std::string sent;
        std::uint64_t ms;
    } rows[] = {
        {{C::Connected, "\x12\x12\x12\x12"}, S::Ready, all, 5},
        {{C::Connected, "\x1A\x12\x12\x12"}, S::Offline, all, 5},
        {{C::Connected, "\x12\x1A\x12\x12"}, S::Offline, all, 5},  // feed button held
        {{C::Connected, "\x1A\x16\x12\x12"}, S::CoverOpen, all, 5},
        {{C::Connected, "\x1A\x32\x12\x12"}, S::PaperOut, all, 5},
        {{C::Connected, "\x12\x12\x12\x72"}, S::PaperOut, all, 5},
        {{C::Connected, "\x12\x12\x12\x1E"}, S::PaperNearEnd, all, 5},
        {{C::Connected, "\x1A\x52\x12\x12"}, S::Error, all, 5},
        {{C::Connected, "\x12\x12\x1A\x12"}, S::Error, all, 5},  // cutter
        {{C::Connected, "\x12\x12\x32\x12"}, S::Error, all, 5},  // unrecoverable
        {{C::Connected, "\x12\x12\x52\x12"}, S::Error, all, 5},  // recoverable
        {{C::Connected, "\x1A\x76\x7A\x7E"}, S::CoverOpen, all, 5},  // everything at once
        {{C::Connected, "\x1A\x32\x7A\x72"}, S::PaperOut, all, 5},
        {{C::Connected, "\x12\x12\x12\x12\x12"}, S::Ready, all, 5},
        // A printer that stops answering after the first request.
        {{C::Connected, "\x1A"}, S::Offline, all.substr(0, 6), 1002},
        {{C::Connected, "\x12"}, S::NoAnswer, all.substr(0, 6), 1002},
        // One request of four answered: never ready.
        {{C::Connected, "\x12\x12\x12\x12", false, 0, 1, 1, "", 0, 4}, S::NoAnswer, all.substr(0, 6), 1002},
        // An answer after its deadline is none.
        {{C::Connected, "\x12\x12\x12\x12", false, 0, 1, 1001}, S::NoStatus, first, 1001},
        {{C::Connected, "\x12\x12\x12\x12", false, 0, 2900, 999}, S::Ready, all, 2900 + 4 * 999},
        // Not a printer's answer, or speaking unasked: nothing more is sent.
        {{C::Connected, std::string("\x00\x12\x12\x12", 4)}, S::NotAPrinter, first, 2},
        {{C::Connected, "\x93\x12\x12\x12"}, S::NotAPrinter, first, 2},
        {{C::Connected, "\x17\x12\x12\x12"}, S::NotAPrinter, first, 2},
        {{C::Connected, "\x13\x12\x12\x12"}, S::NoStatus, first, 1001},  // XOFF is no answer
        {{C::Connected, "\x92\x12\x12\x12"}, S::NotAPrinter, first, 2},
        // A frame's first byte and nothing after it: cut short.
        {{C::Connected, "\x10\x12\x12\x12"}, S::NotAPrinter, first, 1001},
        {{C::Connected, "\x14\x12\x12\x12"}, S::NotAPrinter, first, 1001},
        // Status frames and XON/XOFF, unasked or in place of an answer, are
        // dropped; the answer is still awaited within its own deadline.
        {{C::Connected, "\x12\x12\x12\x12", false, 0, 1, 1, std::string("\x10\x00\x00\x00", 4)}, S::Ready, all, 5},
        {{C::Connected, "\x12\x12\x12\x12", false, 0, 1, 800, "", 0, 1, false, false, std::string("\x14\x00\x0C\x00", 4)}, S::Ready, all, 3201},
        {{C::Connected, "\x12\x12\x12\x12", false, 0, 1, 1200, "", 0, 1, false, false, std::string("\x14\x00\x0C\x00", 4)}, S::NoStatus, first, 1001},
        {{C::Connected, "", false, 0, 1, 2, "", 0, 1, false, false, std::string("\x14\x00\x0C\x00", 4)}, S::NoStatus, first, 1001},
        {{C::Connected, "\x12\x12\x12\x12", false, 0, 1, 2, "\x11", 0, 1, false, false, "\x13\x11"}, S::Ready, all, 9},
        {{C::Connected, "\x12\x12\x12\x12", false, 0, 1, 1, std::string("\x10\x00", 2)}, S::NotAPrinter, "", 1001},
        {{C::Connected, "\x12\x12\x12\x12", false, 0, 1, 1, "RFB 003.008\n"}, S::NotAPrinter, "", 1},
        {{C::Connected, "\x12\x12\x12\x12", false, 0, 1, 1, "\x12"}, S::NotAPrinter, "", 1},
        {{C::Connected, "", false, 0, 1, 1, "", 0, 1, false, true}, S::NotAPrinter, "", 1},  // never stops
        {{C::Connected, ""}, S::NoStatus, first, 1001},
        {{C::Connected, "", true}, S::NoAnswer, first, 2},  // hangs up at the first request
        {{C::Connected, "\x12", true}, S::NoAnswer, all.substr(0, 6), 3},
        {{C::Connected, "\x12\x16", false, 10054}, S::NoAnswer, "", 1},  // reset before the request
        {{C::Refused}, S::Refused, "", 1},
        {{C::Refused, "", false, 0, 0}, S::Refused, "", 0},  // refused at once
        {{C::TimedOut}, S::NoAnswer, "", 3000},
        {{C::Failed}, S::NoAnswer, "", 1},
        {{C::Failed, "", false, 0, 0}, S::NoAnswer, "", 0},
    };
    for (const auto& row : rows) {
        FakeNetwork net;
        net.setHost(Ip(10, 0, 0, 5), row.host);
        const std::string what = testing::PrintToString(row.host.answers) + " " + row.host.banner;
        EXPECT_EQ(ProbePrinter(net, {"10.0.0.5", 9100}), row.state) << what;
        EXPECT_EQ(net.sentTo(Ip(10, 0, 0, 5)), row.sent) << what;
        EXPECT_EQ(net.nowMs(), row.ms) << what;
        ASSERT_EQ(net.batches().size(), 1u);
        EXPECT_EQ(net.batches()[0].addresses, std::vector<Ipv4>{Ip(10, 0, 0, 5)});
        EXPECT_EQ(net.batches()[0].tcpPort, 9100);
        EXPECT_EQ(net.openSockets(), 0u);
    }

    // A host name is resolved first and its TCP port used; a name nobody
    // knows is no answer, and nothing is connected.
    FakeNetwork net;
    net.setName("kitchen.local", {Ip(10, 0, 0, 9)});
    net.setPrinter(Ip(10, 0, 0, 9), "\x12\x12\x12\x1E");
    EXPECT_EQ(ProbePrinter(net, {"KITCHEN.local", 9101}), S::PaperNearEnd);
    ASSERT_EQ(net.batches().size(), 1u);
    EXPECT_EQ(net.batches()[0].addresses, std::vector<Ipv4>{Ip(10, 0, 0, 9)});
    EXPECT_EQ(net.batches()[0].tcpPort, 9101);
    EXPECT_EQ(ProbePrinter(net, {"bar.local", 9100}), S::NoAnswer);
    EXPECT_EQ(net.batches().size(), 1u);

    // A printer that serves one connection at a time, held by a till: no
    // status while the till holds it, ready once the till let go.
    net.setHost(Ip(10, 0, 0, 9), {C::Connected, "\x12\x12\x12\x12", false, 0, 1, 1, "", 0, 1, true});
    const auto till = net.startConnect(Ip(10, 0, 0, 9), 9100);
    ASSERT_TRUE(till.ok());
    ASSERT_EQ(net.waitAny({{till.value, true}}, 10).value.size(), 1u);
    EXPECT_EQ(ProbePrinter(net, {"10.0.0.9", 9100}), S::NoStatus);
    net.close(till.value);
    EXPECT_EQ(ProbePrinter(net, {"10.0.0.9", 9100}), S::Ready);
}

// Asked for it, the probe asks a printer that can print who it is before it
// lets go, and no other; an answer after its wait is never the next one's.
TEST(NetworkProbe, IdentityAskedOfAPrinterThatCanPrint) {
    const std::string status("\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04"),
        model("\x1D\x49\x43"), all = model + "\x1D\x49\x42\x1D\x49\x44";
    auto nearEnd = FakeNetwork::NamedPrinter("RK-730P(NEW)", "Kelp Test", "SN2");
    nearEnd.answers = "\x12\x12\x12\x1E";
    auto paperOut = FakeNetwork::NamedPrinter("RK-730P");
    paperOut.answers = "\x12\x12\x12\x72";
    auto late = FakeNetwork::NamedPrinter("RK-730P", "Kelp Test", "SN3");
    late.identityMs = 200;
    const struct {
        FakeNetwork::Host host;
        PrinterIdentity identity;
        std::string sent;
        std::uint64_t ms;
    } rows[] = {
        {FakeNetwork::NamedPrinter("RK-730P", "Kelp Test", "SN1"), {"Kelp Test", "RK-730P", "SN1"}, status + all, 8},
        {nearEnd, {"Kelp Test", "RK-730P(NEW)", "SN2"}, status + all, 8},
        {{ConnectOutcome::Connected, "\x12\x12\x12\x12"}, {}, status + model, 305},
        {paperOut, {}, status, 5},
        {late, {}, status + all, 605},
    };
    for (const auto& row : rows) {
        FakeNetwork net;
        net.setHost(Ip(10, 0, 0, 5), row.host);
        PrinterIdentity identity{"x", "y", "z"};
        ProbePrinter(net, {"10.0.0.5", 9100}, {}, &identity);
        EXPECT_EQ(identity.maker, row.identity.maker) << row.ms;
        EXPECT_EQ(identity.model, row.identity.model) << row.ms;
        EXPECT_EQ(identity.serial, row.identity.serial) << row.ms;
        EXPECT_EQ(net.sentTo(Ip(10, 0, 0, 5)), row.sent) << row.ms;
        EXPECT_EQ(net.nowMs(), row.ms);
        EXPECT_EQ(net.openSockets(), 0u);
    }
}

// keepGoing is asked at least every 100 ms while the probe waits, for its
// connect and for each answer; false stops it at once, closed.
TEST(NetworkProbe, KeepGoingIsAskedWhileItWaitsAndStopsIt) {
    const struct {
        FakeNetwork::Host host;
        std::uint64_t stopAt;
        PrinterState state;
    } rows[] = {
        {{ConnectOutcome::TimedOut}, 2500, PrinterState::NoAnswer},
        {{ConnectOutcome::Connected, "\x12\x12\x12\x12", false, 0, 1, 900}, 1500, PrinterState::NoAnswer},
        {{ConnectOutcome::Connected, "\x12\x12\x12\x12", false, 0, 1, 900}, 99999, PrinterState::Ready},
    };
    for (const auto& row : rows) {
        FakeNetwork net;
        net.setHost(Ip(10, 0, 0, 5), row.host);
        std::vector<std::uint64_t> asked;
        EXPECT_EQ(ProbePrinter(net, {"10.0.0.5", 9100},
                               [&] {
                                   asked.push_back(net.nowMs());
                                   return net.nowMs() < row.stopAt;
                               }),
                  row.state)
            << row.stopAt;
        ASSERT_FALSE(asked.empty());
        EXPECT_LE(asked.front(), 100u);
        for (std::size_t i = 1; i < asked.size(); ++i) EXPECT_LE(asked[i] - asked[i - 1], 100u) << row.stopAt;
        EXPECT_LE(net.nowMs(), std::min<std::uint64_t>(row.stopAt + 100, 3601));
        EXPECT_EQ(net.openSockets(), 0u);
    }
}

// The callbacks handed down to a probe or a search: empty stays empty,
// whatever it came from, and a call reaches the caller's own callable.
TEST(FunctionRef, EmptyStaysEmptyAndCallsReachTheCallersCallable) {
    std::function<int(int)> none;
    EXPECT_FALSE(FunctionRef<int(int)>(none));
    EXPECT_FALSE(FunctionRef<int(int)>());
    std::function<int(int)> twice = [](int v) { return 2 * v; };
    EXPECT_EQ(FunctionRef<int(int)>(twice)(21), 42);
    auto counter = [total = 0](int v) mutable { return total += v; };
    FunctionRef<int(int)> ref = counter;
    EXPECT_TRUE(ref);
    EXPECT_EQ(ref(3), 3);
    EXPECT_EQ(ref(4), 7);
    EXPECT_EQ(counter(0), 7);  // not a copy
}

TEST(NetworkProbe, StatesInWordsAndWhetherTheyStopAReceipt) {
    using S = PrinterState;
    const struct {
        S state;
        bool stops;
        const char* english;
        const char* chinese;
    } rows[] = {
        {S::Ready, false, "ready", "就绪"},
        {S::PaperNearEnd, false, "paper near its end", "纸将用尽"},
        {S::PaperOut, true, "paper out", "缺纸"},
        {S::CoverOpen, true, "cover open", "上盖打开"},
        {S::Offline, true, "offline", "脱机"},
        {S::Error, true, "cutter or other error", "切刀或其他错误"},
        {S::NoStatus, false, "answers without status (state unknown)", "可连接，但不报告状态"},
        {S::Refused, true, "nothing listens there (connection refused)", "该地址上没有程序接收打印数据（连接被拒绝）"},
        {S::NoAnswer, true, "no answer", "无应答"},
        {S::NotAPrinter, true, "no receipt printer (it answers with something else than a status)",
         "不是小票打印机（应答的不是打印机状态）"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(StateStopsPrinting(row.state), row.stops) << row.english;
        EXPECT_EQ(DescribePrinterState(row.state, Language::English), row.english);
        EXPECT_EQ(DescribePrinterState(row.state, Language::Chinese), row.chinese);
    }
}

// The adapters' networks: each at most its own /24, the adapter's own
// address and loopback left out.
TEST(NetworkScanRanges, AdapterRanges) {
    const struct {
        Ipv4Interface adapter;
        std::vector<std::pair<Ipv4, Ipv4>> ranges;
    } rows[] = {
        {{Ip(192, 168, 1, 50), 24}, {{Ip(192, 168, 1, 1), Ip(192, 168, 1, 49)}, {Ip(192, 168, 1, 51), Ip(192, 168, 1, 254)}}},
        {{Ip(10, 1, 2, 1), 16}, {{Ip(10, 1, 2, 2), Ip(10, 1, 2, 254)}}},
        {{Ip(10, 1, 2, 254), 8}, {{Ip(10, 1, 2, 1), Ip(10, 1, 2, 253)}}},
        {{Ip(192, 168, 1, 130), 26}, {{Ip(192, 168, 1, 129), Ip(192, 168, 1, 129)}, {Ip(192, 168, 1, 131), Ip(192, 168, 1, 190)}}},
        {{Ip(10, 0, 0, 0), 31}, {{Ip(10, 0, 0, 1), Ip(10, 0, 0, 1)}}},
        {{Ip(10, 0, 0, 7), 32}, {}},
        {{Ip(127, 0, 0, 1), 8}, {}},
        {{0, 24}, {}},
    };
    for (const auto& row : rows) {
        FakeNetwork net;
        net.setAdapters({{row.adapter}, winerr::Success});
        std::vector<std::pair<Ipv4, Ipv4>> got;
        for (const auto& range : AdapterScanRanges(net)) got.emplace_back(range.first, range.last);
        EXPECT_EQ(got, row.ranges) << FormatIpv4(row.adapter.address) << "/" << row.adapter.prefixLength;
    }
    FakeNetwork net;
    net.setAdapters({{}, 1232});
    WinError error = 0;
    EXPECT_TRUE(AdapterScanRanges(net, &error).empty());
    EXPECT_EQ(error, 1232u);
}

class NetworkScan : public testing::Test {
protected:
    NetworkScan() {
        using C = ConnectOutcome;
        net.setHost(Ip(10, 0, 0, 10), FakeNetwork::NamedPrinter("RK-730PN", "Kelp Test", "SN0010"));
        net.setRefusing(Ip(10, 0, 0, 11));
        net.setPrinter(Ip(10, 0, 0, 20), "\x12\x12\x12\x72");
        net.setHost(Ip(10, 0, 0, 30), {C::Connected, ""});
        // Hangs up after a second of silence.
        net.setHost(Ip(10, 0, 0, 40), {C::Connected, "\x1A\x32\x12\x72", false, 0, 3, 2, "", 1000});
        net.setHost(Ip(10, 0, 0, 50), {C::Connected, "\x12\x12\x12\x12", false, 0, 2, 1, "220 Service ready\r\n"});
        net.setHost(Ip(10, 0, 0, 60), {C::Connected, "\x12\x12\x12\x12", false, 0, 2, 1, "", 0, 4});
    }
    std::vector<std::pair<Ipv4, PrinterState>> find(std::vector<Ipv4Range> ranges,
                                                    std::function<bool(std::size_t, std::size_t)> progress = {}) {
        std::vector<std::pair<Ipv4, PrinterState>> found;
        for (const auto& printer : FindPrinters(net, ranges, progress)) found.emplace_back(printer.address, printer.state);
        return found;
    }
    FakeNetwork net;
};

// Every connect under way at once; each printer asked as soon as it
// accepts and closed as soon as its answers are in, while the other
// connects still wait: true states, printers held for milliseconds, the
// whole /24 within 1.5 connect deadlines.
TEST_F(NetworkScan, AllConnectsAtOnceEachPrinterAskedAsSoonAsItAccepts) {
    std::vector<std::pair<std::size_t, std::size_t>> calls;
    std::vector<std::uint64_t> callTimes;
    std::vector<std::pair<Ipv4, std::uint64_t>> told;
    const auto found = FindPrinters(
        net, {{Ip(10, 0, 0, 1), Ip(10, 0, 0, 254)}},
        [&](std::size_t done, std::size_t total) {
            calls.emplace_back(done, total);
            callTimes.push_back(net.nowMs());
            return true;
        },
        [&](const FoundPrinter& printer) { told.emplace_back(printer.address, net.nowMs()); });
    std::vector<std::pair<Ipv4, PrinterState>> states;
    for (const auto& printer : found) states.emplace_back(printer.address, printer.state);
    EXPECT_EQ(states, (std::vector<std::pair<Ipv4, PrinterState>>{{Ip(10, 0, 0, 10), PrinterState::Ready},
                                                                  {Ip(10, 0, 0, 20), PrinterState::PaperOut},
                                                                  {Ip(10, 0, 0, 30), PrinterState::NoStatus},
                                                                  {Ip(10, 0, 0, 40), PrinterState::PaperOut},
                                                                  {Ip(10, 0, 0, 50), PrinterState::NotAPrinter},
                                                                  {Ip(10, 0, 0, 60), PrinterState::NoAnswer}}));
    ASSERT_EQ(net.batches().size(), 1u);
    EXPECT_EQ(net.batches()[0].addresses.size(), 254u);
    EXPECT_EQ(net.batches()[0].addresses.front(), Ip(10, 0, 0, 1));
    EXPECT_EQ(net.batches()[0].addresses.back(), Ip(10, 0, 0, 254));
    EXPECT_EQ(net.batches()[0].tcpPort, 9100);
    EXPECT_EQ(net.batches()[0].maxAtOnce, 254u);
    EXPECT_LE(net.nowMs(), 1500u);
    EXPECT_GE(net.nowMs(), 1000u);
    // Each printer told as soon as it is known, the ready one (asked who it
    // is as well) long before the silent addresses' deadline; held for its
    // exchanges alone.
    ASSERT_EQ(told.size(), 6u);
    EXPECT_EQ(told[0], std::make_pair(Ip(10, 0, 0, 20), std::uint64_t{5}));
    EXPECT_EQ(told[1], std::make_pair(Ip(10, 0, 0, 10), std::uint64_t{8}));
    for (const auto& [address, ms] : told) EXPECT_LE(ms, address == Ip(10, 0, 0, 60) || address == Ip(10, 0, 0, 30) ? 1020u : 25u);
    EXPECT_EQ(net.heldMs(Ip(10, 0, 0, 10)), std::vector<std::uint64_t>{7});
    // Only the printer that can print is asked who it is, and says it.
    EXPECT_EQ(net.sentTo(Ip(10, 0, 0, 10)), std::string("\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04\x1D\x49\x43\x1D\x49\x42\x1D\x49\x44"));
    EXPECT_EQ(found[0].identity.model, "RK-730PN");
    EXPECT_EQ(found[0].identity.maker, "Kelp Test");
    EXPECT_EQ(found[0].identity.serial, "SN0010");
    for (std::size_t i = 1; i < found.size(); ++i) EXPECT_FALSE(found[i].identity.named()) << i;
    EXPECT_EQ(net.sentTo(Ip(10, 0, 0, 20)), std::string("\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04"));
    ASSERT_EQ(net.heldMs(Ip(10, 0, 0, 40)).size(), 1u);
    EXPECT_LE(net.heldMs(Ip(10, 0, 0, 40))[0], 20u);
    // The bar moves through connects and exchanges, never 100 ms without a word.
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), std::make_pair(std::size_t{254}, std::size_t{254}));
    for (std::size_t i = 1; i < calls.size(); ++i) EXPECT_GE(calls[i].first, calls[i - 1].first);
    EXPECT_LE(callTimes.front(), 100u);
    for (std::size_t i = 1; i < callTimes.size(); ++i) EXPECT_LE(callTimes[i] - callTimes[i - 1], 100u);
    // Nothing goes to an address that did not accept, nor past the first
    // request to a peer that did not answer it, nor anything to one that spoke first.
    EXPECT_EQ(net.sentTo(Ip(10, 0, 0, 11)), "");
    EXPECT_EQ(net.sentTo(Ip(10, 0, 0, 30)), std::string("\x10\x04\x01"));
    EXPECT_EQ(net.sentTo(Ip(10, 0, 0, 50)), "");
    EXPECT_EQ(net.openSockets(), 0u);
}

TEST_F(NetworkScan, WindowLimitsAndRanges) {
    const struct {
        unsigned limit;
        unsigned window;
        std::uint64_t ms;  // 1100 addresses that never answer
    } limits[] = {{10, 10, 110000}, {0, 1, 1100000}, {1024, 1024, 2000}, {5000, 1024, 2000}};
    for (const auto& row : limits) {
        FakeNetwork fresh;
        fresh.setHalfOpenLimit(row.limit);
        FindPrinters(fresh, {{Ip(10, 0, 0, 1), Ip(10, 0, 4, 76)}}, {});
        ASSERT_EQ(fresh.batches().size(), 1u);
        EXPECT_EQ(fresh.batches()[0].addresses.size(), 1100u);
        EXPECT_EQ(fresh.batches()[0].maxAtOnce, row.window) << row.limit;
        EXPECT_EQ(fresh.nowMs(), row.ms) << row.limit;
    }
    // Overlapping ranges are searched once, a reversed one not at all,
    // the last address of all included.
    find({{Ip(10, 0, 0, 5), Ip(10, 0, 0, 7)}, {Ip(10, 0, 0, 6), Ip(10, 0, 0, 8)}, {Ip(10, 0, 0, 40), Ip(10, 0, 0, 39)},
          {0xFFFFFFFFu, 0xFFFFFFFFu}});
    ASSERT_EQ(net.batches().size(), 1u);
    EXPECT_EQ(net.batches()[0].addresses,
              (std::vector<Ipv4>{Ip(10, 0, 0, 5), Ip(10, 0, 0, 6), Ip(10, 0, 0, 7), Ip(10, 0, 0, 8), 0xFFFFFFFFu}));
    EXPECT_TRUE(find({}).empty());
    EXPECT_EQ(net.batches().size(), 1u);
    // However wide the ranges, at most 4096 addresses in all.
    find({{Ip(10, 0, 0, 1), Ip(10, 0, 0, 2)}, {0, 0xFFFFFFFFu}});
    ASSERT_EQ(net.batches().size(), 2u);
    ASSERT_EQ(net.batches()[1].addresses.size(), 4096u);
    EXPECT_EQ(net.batches()[1].addresses[2], 0u);
    EXPECT_EQ(net.batches()[1].addresses.back(), 4093u);
}

// Nothing runs past the search's bound: one connect at a time, 3 addresses
// (3 s of connects and 4 s of answers); the second printer, slow in all
// things, is cut off after its first answer, the third never tried.
TEST_F(NetworkScan, TheWholeSearchHasAHardBound) {
    EXPECT_EQ(SearchBoundMs(3, 1), 7000u);
    EXPECT_EQ(SearchBoundMs(254, 254), 5000u);
    EXPECT_EQ(SearchBoundMs(1100, 10), 114000u);
    FakeNetwork slow;
    slow.setHalfOpenLimit(1);
    for (unsigned last = 1; last <= 3; ++last) {
        auto host = FakeNetwork::NamedPrinter("RK-730P");
        host.connectMs = host.answerMs = 999;
        slow.setHost(Ip(10, 0, 0, last), host);
    }
    const auto found = FindPrinters(slow, {{Ip(10, 0, 0, 1), Ip(10, 0, 0, 3)}}, {});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].state, PrinterState::Ready);
    EXPECT_EQ(found[0].identity.model, "RK-730P");
    EXPECT_EQ(found[1].state, PrinterState::NoAnswer);
    EXPECT_EQ(slow.nowMs(), 7000u);
    EXPECT_EQ(slow.connectedTo().size(), 2u);
    EXPECT_EQ(slow.sentTo(Ip(10, 0, 0, 2)).size(), 6u);
    EXPECT_EQ(slow.openSockets(), 0u);
    // A wait that fails ends the search at once: the printers being asked
    // are listed without their state, the connects under way closed.
    net.failWaitAt(3, 10093);
    EXPECT_EQ(find({{Ip(10, 0, 0, 1), Ip(10, 0, 0, 254)}}),
              (std::vector<std::pair<Ipv4, PrinterState>>{{Ip(10, 0, 0, 10), PrinterState::NoAnswer},
                                                          {Ip(10, 0, 0, 20), PrinterState::NoAnswer},
                                                          {Ip(10, 0, 0, 30), PrinterState::NoStatus}}));
    EXPECT_EQ(net.nowMs(), 2u);
    EXPECT_EQ(net.openSockets(), 0u);
}

TEST_F(NetworkScan, CancelStopsConnectsAndExchanges) {
    // At the first word: nothing reported, everything closed.
    auto found = find({{Ip(10, 0, 0, 1), Ip(10, 0, 0, 254)}}, [](std::size_t, std::size_t) { return false; });
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(net.openSockets(), 0u);
    EXPECT_LE(net.nowMs(), 100u);
    // Later: the printers finished so far; the silent one, still waited
    // for, is not.
    const std::uint64_t start = net.nowMs();
    found = find({{Ip(10, 0, 0, 1), Ip(10, 0, 0, 30)}}, [&](std::size_t, std::size_t) { return net.nowMs() < start + 300; });
    EXPECT_EQ(found, (std::vector<std::pair<Ipv4, PrinterState>>{{Ip(10, 0, 0, 10), PrinterState::Ready},
                                                                 {Ip(10, 0, 0, 20), PrinterState::PaperOut}}));
    EXPECT_GE(net.nowMs(), start + 300);
    EXPECT_LE(net.nowMs(), start + 400);
    EXPECT_EQ(net.openSockets(), 0u);
}

// ---- The port ------------------------------------------------------------------

TcpIpPortConfig Aimed(const std::string& name, const std::string& host, std::uint32_t port = 9100, bool raw = true) {
    TcpIpPortConfig config;
    config.portName = name;
    config.host = host;
    config.tcpPort = port;
    config.raw = raw;
    return config;
}

TEST(NetworkPort, ReusedOrMadeAndNamed) {
    const struct {
        const char* what;
        std::vector<TcpIpPortConfig> tcpPorts;
        std::vector<PortRecord> otherPorts;
        NetworkAddress address;
        std::string name;
        bool made;
    } rows[] = {
        {"fresh", {}, {}, {"10.0.0.5", 9100}, "IP_10.0.0.5", true},
        {"another TCP port", {}, {}, {"10.0.0.5", 9101}, "IP_10.0.0.5_9101", true},
        {"reused whatever its name", {Aimed("Kitchen", "10.0.0.5")}, {}, {"10.0.0.5", 9100}, "Kitchen", false},
        {"host compared ignoring case", {Aimed("Bar", "PRN.local")}, {}, {"prn.LOCAL", 9100}, "Bar", false},
        {"name taken by a port aimed elsewhere", {Aimed("IP_10.0.0.5", "10.0.0.6")}, {}, {"10.0.0.5", 9100},
         "IP_10.0.0.5 (2)", true},
        {"(2) taken too", {Aimed("IP_10.0.0.5", "10.0.0.6"), Aimed("ip_10.0.0.5 (2)", "10.0.0.7")}, {},
         {"10.0.0.5", 9100}, "IP_10.0.0.5 (3)", true},
        {"same host, other TCP port", {Aimed("IP_10.0.0.5", "10.0.0.5", 9101)}, {}, {"10.0.0.5", 9100},
         "IP_10.0.0.5 (2)", true},
        {"same host, LPR", {Aimed("IP_10.0.0.5", "10.0.0.5", 9100, false)}, {}, {"10.0.0.5", 9100}, "IP_10.0.0.5 (2)",
         true},
        {"name taken by a local port", {}, {{"IP_10.0.0.5", "Local Port", "Local Port"}}, {"10.0.0.5", 9100},
         "IP_10.0.0.5 (2)", true},
        {"TCP port 2, not a second port", {Aimed("IP_10.0.0.5", "10.0.0.6")}, {}, {"10.0.0.5", 2}, "IP_10.0.0.5_2",
         true},
        {"second port for TCP port 2", {Aimed("IP_10.0.0.5_2", "10.0.0.6", 2)}, {}, {"10.0.0.5", 2},
         "IP_10.0.0.5_2 (2)", true},
        {"an address with leading zeros is the same address", {Aimed("Bar", "127.000.000.009")}, {},
         {"127.0.0.9", 9100}, "Bar", false},
        {"an address is no name", {Aimed("Bar", "127.0.0.90")}, {}, {"127.0.0.9", 9100}, "IP_127.0.0.9", true},
        {"a local port's name is not asked", {}, {{"LPT1:", "Local Port", "Local Port"}}, {"10.0.0.5", 9100},
         "IP_10.0.0.5", true},
    };
    for (const auto& row : rows) {
        FakePlatform m;
        m.setPorts(row.otherPorts);
        m.installTcpIpMonitor();
        for (const auto& port : row.tcpPorts) m.seedTcpIpPort(port);
        const TcpIpPort port = PrepareTcpIpPort(m, row.address, Language::English, nullptr);
        EXPECT_EQ(port.name, row.name) << row.what;
        EXPECT_EQ(port.made, row.made) << row.what;
        EXPECT_EQ(port.problem, NetworkPortProblem::None) << row.what;
        EXPECT_EQ(m.callsOf("addTcpIpPort").size(), row.made ? 1u : 0u) << row.what;
        // Only the monitor's ports are asked where they point.
        for (const auto& call : m.callsOf("tcpIpPortConfig")) EXPECT_NE(call.args[0], "LPT1:") << row.what;
        const auto made = m.findTcpIpPort(row.name);
        ASSERT_TRUE(made) << row.what;
        if (row.made) EXPECT_EQ(made->host, row.address.host) << row.what;
        EXPECT_EQ(made->tcpPort, row.address.tcpPort) << row.what;
        // Undone only when made.
        UndoTcpIpPort(m, port, nullptr);
        EXPECT_EQ(m.findTcpIpPort(row.name).has_value(), !row.made) << row.what;
    }

    FakePlatform m;
    m.installTcpIpMonitor();
    RunLog log(m, "C:\\k.log");
    PrepareTcpIpPort(m, {"10.0.0.5", 9100}, Language::English, &log);
    const auto calls = m.callsOf("addTcpIpPort");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (std::vector<std::string>{"IP_10.0.0.5", "10.0.0.5", "9100", "RAW", "SNMP off"}));
    EXPECT_NE(m.fileContents("C:\\k.log").value_or("").find("network port for 10.0.0.5:9100: IP_10.0.0.5 (made)\r\n"),
              std::string::npos);
}

TEST(NetworkPort, NoMonitorOrAFailingMonitorMakesNothing) {
    const struct {
        bool monitor;
        const char* failing;
        WinError error;
        int englishFlag;
        std::string failure;
    } rows[] = {
        {false, "", 1796, 1, "This system has no \"Standard TCP/IP Port\" monitor: no port can be made for 10.0.0.5:9100."},
        {false, "", 1796, 0, "此系统没有“Standard TCP/IP Port”端口监视器，无法为 10.0.0.5:9100 创建端口。"},
        {true, "addTcpIpPort", 5, 1, "The port for 10.0.0.5:9100 could not be made (error 5: Access is denied)."},
        {true, "addTcpIpPort", 5, 0, "无法创建指向 10.0.0.5:9100 的端口（错误 5：拒绝访问）。"},
        {true, "enumPorts", 5, 1, "The system's port monitors or ports cannot be read (error 5: Access is denied)."},
        {true, "enumMonitors", 1722, 1, "The system's port monitors or ports cannot be read (error 1722)."},
        {true, "enumMonitors", 5, 0, "无法读取系统的端口监视器或端口（错误 5：拒绝访问）。"},
    };
    for (const auto& row : rows) {
        FakePlatform m;
        m.setPorts({});
        if (row.monitor) m.installTcpIpMonitor();
        if (*row.failing) m.failAlways(row.failing, row.error);
        const TcpIpPort port = PrepareTcpIpPort(m, {"10.0.0.5", 9100}, row.englishFlag ? Language::English : Language::Chinese, nullptr);
        EXPECT_FALSE(port.ok()) << row.failure;
        EXPECT_FALSE(port.made) << row.failure;
        EXPECT_EQ(port.error, row.error) << row.failure;
        EXPECT_EQ(DescribeNetworkPortFailure(port, {"10.0.0.5", 9100}, row.englishFlag ? Language::English : Language::Chinese),
                  row.failure);
        EXPECT_TRUE(m.ports().empty()) << row.failure;
        if (!row.monitor) EXPECT_TRUE(m.callsOf("addTcpIpPort").empty());
        UndoTcpIpPort(m, port, nullptr);
        EXPECT_TRUE(m.callsOf("deleteTcpIpPort").empty());
    }

    // Every name up to (99) taken by ports aimed elsewhere.
    FakePlatform m;
    m.setPorts({});
    m.seedTcpIpPort(Aimed("IP_10.0.0.5", "10.0.0.6"));
    for (int suffix = 2; suffix <= 99; ++suffix) m.seedTcpIpPort(Aimed("IP_10.0.0.5 (" + std::to_string(suffix) + ")", "10.0.0.6"));
    TcpIpPort port = PrepareTcpIpPort(m, {"10.0.0.5", 9100}, Language::English, nullptr);
    EXPECT_EQ(DescribeNetworkPortFailure(port, {"10.0.0.5", 9100}, Language::English),
              "There is no free port name for 10.0.0.5:9100.");
    EXPECT_EQ(DescribeNetworkPortFailure(port, {"10.0.0.5", 9100}, Language::Chinese), "没有可用于 10.0.0.5:9100 的端口名。");
    EXPECT_TRUE(m.callsOf("addTcpIpPort").empty());
    m.seedTcpIpPort(Aimed("IP_10.0.0.5 (100)", "10.0.0.5"));
    port = PrepareTcpIpPort(m, {"10.0.0.5", 9100}, Language::Chinese, nullptr);
    EXPECT_EQ(port.name, "IP_10.0.0.5 (100)");
    EXPECT_FALSE(port.made);
    // The log names what went to the monitor, whatever it is.
    RunLog log(m, "C:\\k.log");
    LoggingPlatform logging(m, log, Language::English);
    TcpIpPortConfig lpr = Aimed("Q", "prn.local", 515, false);
    lpr.snmp = true;
    logging.addTcpIpPort(lpr);
    EXPECT_NE(m.fileContents("C:\\k.log").value_or("").find(
                  "step XcvData AddPort \"Q\" prn.local:515 LPR SNMP on (monitor \"Standard TCP/IP Port\"): 0\r\n"),
              std::string::npos);
}

// A port named for the address whose settings cannot be read may be the
// address's own: nothing is made beside it. Other names are passed over.
TEST(NetworkPort, UnreadablePortNamedForTheAddressMakesNothing) {
    const struct {
        const char* unreadable;
        NetworkAddress address;
        const char* name;  // the port had, or none
    } rows[] = {
        {"IP_10.0.0.5", {"10.0.0.5", 9100}, nullptr},
        {"ip_10.0.0.5 (3)", {"10.0.0.5", 9100}, nullptr},
        {"IP_10.0.0.5 (12)", {"10.0.0.5", 9100}, nullptr},
        {"IP_10.0.0.5_9101", {"10.0.0.5", 9101}, nullptr},
        {"IP_10.0.0.5", {"10.0.0.5", 9101}, nullptr},
        {"IP_10.0.0.5_9100", {"10.0.0.5", 9100}, nullptr},
        {"IP_Kitchen.lan (2)", {"kitchen.LAN", 9100}, nullptr},
        {"IP_10.0.0.5_9101", {"10.0.0.5", 9100}, "IP_10.0.0.5"},
        {"IP_10.0.0.50", {"10.0.0.5", 9100}, "IP_10.0.0.5"},
        {"IP_10.0.0.5 (2", {"10.0.0.5", 9100}, "IP_10.0.0.5"},
        {"IP_10.0.0.5 ()", {"10.0.0.5", 9100}, "IP_10.0.0.5"},
        {"IP_10.0.0.5 (x)", {"10.0.0.5", 9100}, "IP_10.0.0.5"},
        {"IP_10.0.0.5x", {"10.0.0.5", 9100}, "IP_10.0.0.5"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.unreadable);
        FakePlatform m;
        m.setPorts({});
        m.installTcpIpMonitor();
        m.seedTcpIpPort(Aimed(row.unreadable, "10.0.0.6"));
        const std::string refused = row.unreadable;
        m.failWhen("tcpIpPortConfig", [refused](const std::vector<std::string>& a) { return a[0] == refused; }, 5);
        const TcpIpPort port = PrepareTcpIpPort(m, row.address, Language::English, nullptr);
        EXPECT_EQ(port.name, row.name ? row.name : "");
        EXPECT_EQ(port.made, row.name != nullptr);
        EXPECT_EQ(port.error, row.name ? 0u : 5u);
        EXPECT_EQ(m.callsOf("addTcpIpPort").size(), row.name ? 1u : 0u);
    }
    // The reason names the port; a port aimed at the address is reused all the same.
    FakePlatform m;
    m.setPorts({});
    m.installTcpIpMonitor();
    m.seedTcpIpPort(Aimed("IP_10.0.0.5", "10.0.0.5"));
    m.failAlways("tcpIpPortConfig", 5);
    RunLog log(m, "C:\\k.log");
    const NetworkAddress address{"10.0.0.5", 9100};
    EXPECT_EQ(DescribeNetworkPortFailure(PrepareTcpIpPort(m, address, Language::English, &log), address, Language::English),
              "The settings of the port IP_10.0.0.5 cannot be read (error 5: Access is denied); it may be the port for "
              "10.0.0.5:9100, so no other port is made for it.");
    EXPECT_EQ(DescribeNetworkPortFailure(PrepareTcpIpPort(m, address, Language::Chinese, nullptr), address, Language::Chinese),
              "无法读取端口 IP_10.0.0.5 的设置（错误 5：拒绝访问）；它可能就是 10.0.0.5:9100 的端口，因此不再为该地址创建新端口。");
    EXPECT_NE(m.fileContents("C:\\k.log").value_or("").find("the settings of \"IP_10.0.0.5\" cannot be read"),
              std::string::npos);
    m.clearFailures();
    m.seedTcpIpPort(Aimed("Kitchen", "10.0.0.5"));
    m.failWhen("tcpIpPortConfig", [](const std::vector<std::string>& a) { return a[0] == "IP_10.0.0.5"; }, 5);
    EXPECT_EQ(PrepareTcpIpPort(m, {"10.0.0.5", 9100}, Language::English, nullptr).name, "Kitchen");
    EXPECT_TRUE(m.callsOf("addTcpIpPort").empty());
}

}  // namespace
}  // namespace kelp
