#include <gtest/gtest.h>

#include "WizardFixture.h"
#include "pages/NetworkDialog.h"

namespace kelp {
namespace {

constexpr Ipv4 Ip(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }

class NetworkDialogTest : public WizardFixture {
protected:
    // Runs the dialog in each language with actions, answering its result.
    int run(int englishFlag, const std::function<void(FakeDialog&)>& actions) {
        settings.englishFlag = englishFlag;
        NetworkDialog dialog(context);
        host.onNextShow(IDD_NETWORK, [&](FakeDialog& d) {
            actions(d);
            if (!d.ended()) d.click(IdCancel);
        });
        const int result = host.runModal(dialog);
        address = dialog.address();
        return result;
    }
    NetworkAddress address;
};

TEST_F(NetworkDialogTest, OpensWithTheAddressFieldFocusedInBothLanguages) {
    struct Text {
        int id;
        const char* chinese;
        const char* english;
    };
    const Text texts[] = {
        {IDC_NET_ADDRESS_LABEL, "打印机的IP地址或主机名（可在后面加“:端口”，默认为9100）：",
         "The printer's IP address or host name (add \":port\" for a port other than 9100):"},
        {IDC_NET_ADDRESS, "", ""},
        {IDC_NET_FIND, "查找(&F)", "&Find"},
        {IDC_NET_STATUS, "点击“查找”在本机所在的网络中查找打印机，或直接输入地址。",
         "Click Find to look for printers on this computer's networks, or type the address."},
        {IdOk, "确定", "OK"},
        {IdCancel, "取消", "Cancel"},
    };
    for (int englishFlag : {0, 1}) {
        SCOPED_TRACE(englishFlag);
        host.setDpi(englishFlag ? 144 : 96);
        EXPECT_EQ(run(englishFlag,
                      [&](FakeDialog& d) {
                          for (const auto& t : texts) EXPECT_EQ(d.text(t.id), englishFlag ? t.english : t.chinese) << t.id;
                          EXPECT_EQ(d.focus(), IDC_NET_ADDRESS);
                          EXPECT_EQ(d.kind(IdOk), ControlKind::DefPushButton);
                          const auto& columns = d.listColumns(IDC_NET_LIST);
                          ASSERT_EQ(columns.size(), 3u);
                          EXPECT_EQ(columns[0].heading, englishFlag ? "Address" : "地址");
                          EXPECT_EQ(columns[1].heading, englishFlag ? "State" : "状态");
                          EXPECT_EQ(columns[2].heading, englishFlag ? "Model" : "型号");
                          EXPECT_EQ(columns[0].width, englishFlag ? 159 : 106);
                          EXPECT_EQ(columns[1].width, englishFlag ? 540 : 360);
                          EXPECT_EQ(columns[2].width, englishFlag ? 210 : 140);
                          EXPECT_EQ(d.progressRange(IDC_NET_PROGRESS), std::make_pair(0, 100));
                          EXPECT_EQ(d.progressHistory(IDC_NET_PROGRESS), std::vector<int>{0});
                          EXPECT_EQ(d.caption(), "Vexo Receipt Printer Driver");
                      }),
                  PageCancel);
    }
    EXPECT_TRUE(platform.calls().empty());
}

// Find over the adapters' networks: the printers with their state and the
// model each names itself, the
// outcome in the status line, the bar at its end; a second Find starts
// afresh; a click on a row, or a row chosen with the keys, fills the field.
// Cancel during the search stops it and the dialog stays. Find where no
// adapter is connected any more empties the list and says so.
TEST_F(NetworkDialogTest, FindListsThePrintersAndAPickFillsTheField) {
    struct Case {
        const char* name;
        std::vector<Ipv4Interface> adapters;
        int cancelAtPump;  // 0: no Cancel
        std::vector<std::vector<std::string>> rows[2];
        const char* status[2];
        WinError connectError = 0;  // no socket to be had
    };
    const Case cases[] = {
        {"two printers",
         {{Ip(10, 1, 2, 5), 24}},
         0,
         {{{"10.1.2.10", "就绪", "RK-730P(NEW)"}, {"10.1.2.200", "缺纸", ""}}, {{"10.1.2.10", "ready", "RK-730P(NEW)"}, {"10.1.2.200", "paper out", ""}}},
         {"找到 2 台打印机。点击一台打印机即可填入它的地址。",
          "Found 2 printers. Click a printer to fill in its address."}},
        {"one printer, on the second adapter's network",
         {{Ip(10, 9, 9, 5), 24}, {Ip(10, 7, 0, 5), 24}},
         0,
         {{{"10.7.0.77", "可连接，但不报告状态", ""}}, {{"10.7.0.77", "answers without status (state unknown)", ""}}},
         {"没有小票打印机回答状态询问。点击一行即可填入它的地址。", "No receipt printer answered. Click a row to fill in its address."}},
        // Peers that are no receipt printers are listed after the printers and not counted.
        {"printers first",
         {{Ip(10, 8, 0, 5), 24}, {Ip(10, 1, 2, 5), 24}, {Ip(10, 7, 0, 5), 24}},
         0,
         {{{"10.1.2.10", "就绪", "RK-730P(NEW)"}, {"10.1.2.200", "缺纸", ""}, {"10.8.0.3", "不是小票打印机（应答的不是打印机状态）", ""},
           {"10.7.0.77", "可连接，但不报告状态", ""}},
          {{"10.1.2.10", "ready", "RK-730P(NEW)"}, {"10.1.2.200", "paper out", ""},
           {"10.8.0.3", "no receipt printer (it answers with something else than a status)", ""},
           {"10.7.0.77", "answers without status (state unknown)", ""}}},
         {"找到 2 台打印机。点击一台打印机即可填入它的地址。",
          "Found 2 printers. Click a printer to fill in its address."}},
        {"none", {{Ip(10, 3, 0, 5), 24}}, 0, {{}, {}},
         {"未找到打印机。请确认打印机已开机并已连接到网络，或直接输入它的地址。",
          "No printer was found. Check that the printer is on and connected to the network, or type its address."}},
        {"cancelled", {{Ip(10, 1, 2, 5), 24}}, 3, {{}, {}}, {"查找已取消。", "The search was cancelled."}},
        {"this computer's network failed", {{Ip(10, 1, 2, 5), 24}}, 0, {{}, {}},
         {"本机的网络功能出错（错误 10055），查找未完成：未列出的地址上也可能有打印机。",
          "This computer's network failed (error 10055) and the search is incomplete: an address not listed may still "
          "have a printer."},
         10055},
    };
    for (const auto& c : cases) {
        for (int englishFlag : {0, 1}) {
            SCOPED_TRACE(std::string(c.name) + (englishFlag ? " en" : " zh"));
            FakeNetwork net;
            FakeSerialPorts serial;
            net.setAdapters({c.adapters, winerr::Success});
            net.setHost(Ip(10, 1, 2, 10), FakeNetwork::NamedPrinter("RK-730P(NEW)", "Kelp Test", "SN1"));
            net.setPrinter(Ip(10, 1, 2, 200), "\x12\x12\x12\x72");
            net.setPrinter(Ip(10, 7, 0, 77), "");
            net.setHost(Ip(10, 8, 0, 3), {ConnectOutcome::Connected, "", false, 0, 1, 1, "SSH-2.0\r\n"});
            net.failConnects(c.connectError);
            FakeDialogHost pages;
            InstallSettings state;
            state.englishFlag = englishFlag;
            AppContext app{platform, pages, state, net, serial};
            NetworkDialog dialog(app);
            std::uint64_t cancelledAt = 0;
            const auto& expected = c.rows[englishFlag];
            pages.onNextShow(IDD_NETWORK, [&](FakeDialog& d) {
                for (int pump = 1; pump < c.cancelAtPump; ++pump)
                    d.whenPumped([](FakeDialog& w) {
                        EXPECT_FALSE(w.isEnabled(IDC_NET_FIND));
                        EXPECT_FALSE(w.isEnabled(IdOk));
                        EXPECT_EQ(w.focus(), IdCancel);  // Find gave it up before it was disabled
                        w.sendCommand(IdOk, ButtonClicked);  // Enter: the search goes on
                    });
                if (c.cancelAtPump)
                    d.whenPumped([&](FakeDialog& w) {
                        cancelledAt = net.nowMs();
                        w.click(IdCancel);
                    });
                for (int find = c.cancelAtPump ? 1 : 0; find < 2; ++find) d.click(IDC_NET_FIND);
                EXPECT_FALSE(d.ended());
                EXPECT_EQ(d.text(IDC_NET_STATUS), c.status[englishFlag]);
                EXPECT_TRUE(d.isEnabled(IDC_NET_FIND));
                EXPECT_TRUE(d.isEnabled(IdOk));
                // The keyboard goes on: in the list, or in the field when it is empty.
                EXPECT_EQ(d.focus(), expected.empty() ? IDC_NET_ADDRESS : IDC_NET_LIST);
                ASSERT_EQ(d.listRowCount(IDC_NET_LIST), static_cast<int>(expected.size()));
                for (int row = 0; row < static_cast<int>(expected.size()); ++row)
                    EXPECT_EQ(d.listRow(IDC_NET_LIST, row), expected[static_cast<std::size_t>(row)]);
                if (!expected.empty()) {
                    EXPECT_EQ(d.progressPosition(IDC_NET_PROGRESS), 100);
                    d.clickListRow(IDC_NET_LIST, static_cast<int>(expected.size()) - 1);
                    EXPECT_EQ(d.text(IDC_NET_ADDRESS), expected.back()[0]);
                    d.listSelectRow(IDC_NET_LIST, 0);
                    EXPECT_EQ(dialog.onNotify(IDC_NET_LIST, -101), 0);  // LVN_ITEMCHANGED
                    EXPECT_EQ(d.text(IDC_NET_ADDRESS), expected.front()[0]);
                }
                net.setAdapters({{}, winerr::Success});
                d.click(IDC_NET_FIND);
                EXPECT_EQ(d.focus(), IDC_NET_FIND);  // no search: Find keeps it
                EXPECT_EQ(d.listRowCount(IDC_NET_LIST), 0);
                EXPECT_EQ(d.progressPosition(IDC_NET_PROGRESS), 0);
                EXPECT_EQ(d.text(IDC_NET_STATUS),
                          englishFlag ? "This computer has no connected network to search. Please type the printer's address."
                                      : "本机没有已连接的网络可供查找。请直接输入打印机的地址。");
                d.click(IdCancel);
            });
            EXPECT_EQ(pages.runModal(dialog), PageCancel);
            EXPECT_EQ(pages.problems(), "");
            EXPECT_TRUE(pages.messages().empty());
            // Cancel stops the search within the next 100 ms of its waits;
            // otherwise each of the two searches takes its connect deadline,
            // and 1 s more where a printer does not answer.
            if (c.cancelAtPump) {
                EXPECT_LE(net.nowMs() - cancelledAt, 100u);
            } else if (!c.connectError) {
                const bool silent = !c.rows[0].empty() && c.rows[0].back()[0] == "10.7.0.77";
                EXPECT_EQ(net.nowMs(), silent ? 2002u : 2000u);
            }
            EXPECT_EQ(net.openSockets(), 0u);
        }
    }
}

// OK: a bad address is told with its reason and the dialog stays with what
// was typed; a good one ends the dialog with the address read.
TEST_F(NetworkDialogTest, OkChecksTheAddress) {
    struct Case {
        const char* typed;
        const char* message[2];  // none: accepted
        NetworkAddress accepted;
    };
    const Case cases[] = {
        {"", {"打印机地址无效：请输入打印机的地址。", "The printer's address is not valid. Enter the printer's address."}, {}},
        {"10.0.0.256", {"打印机地址无效：IPv4 地址的每个数字都不能大于 255。",
                        "The printer's address is not valid. No number of an IPv4 address is over 255."}, {}},
        {"10.0.0.7:65536", {"打印机地址无效：TCP 端口不能大于 65535。",
                            "The printer's address is not valid. The TCP port cannot be over 65535."}, {}},
        {"fe80::1", {"打印机地址无效：不支持 IPv6 地址，请使用打印机的主机名。",
                     "The printer's address is not valid. IPv6 addresses are not supported: use the printer's host name."}, {}},
        {"10.0.0.1O", {"打印机地址无效：这像是输错的 IPv4 地址：IPv4 地址是用点分隔的四个数字，主机名的最后一段以字母开头。",
                       "The printer's address is not valid. This looks like a mistyped IPv4 address: an address is four "
                       "numbers with dots, and a host name's last part begins with a letter."}, {}},
        {"10.0.0.255:9100", {"打印机地址无效：该地址不能是打印机的地址：它是本机所在网络的网络地址或广播地址。",
                             "The printer's address is not valid. No printer has this address: it is the network or "
                             "broadcast address of one of this computer's networks."}, {}},
        {"010.0.0.0", {"打印机地址无效：该地址不能是打印机的地址：它是本机所在网络的网络地址或广播地址。",
                       "The printer's address is not valid. No printer has this address: it is the network or "
                       "broadcast address of one of this computer's networks."}, {}},
        {"10.0.0.254:65535", {nullptr, nullptr}, {"10.0.0.254", 65535}},
        {"10.0.1.255", {nullptr, nullptr}, {"10.0.1.255", 9100}},
        {"kitchen-printer", {nullptr, nullptr}, {"kitchen-printer", 9100}},
    };
    network.setAdapters({{{0x0A000001, 24}}, 0});
    for (const auto& c : cases) {
        for (int englishFlag : {0, 1}) {
            SCOPED_TRACE(std::string(c.typed) + (englishFlag ? " en" : " zh"));
            const std::size_t before = host.messages().size();
            const int result = run(englishFlag, [&](FakeDialog& d) {
                d.setText(IDC_NET_ADDRESS, c.typed);
                d.pressEnter();
                EXPECT_EQ(d.text(IDC_NET_ADDRESS), c.typed);
            });
            if (c.message[0]) {
                EXPECT_EQ(result, PageCancel);
                ASSERT_EQ(host.messages().size(), before + 1);
                EXPECT_EQ(host.messages().back().text, c.message[englishFlag]);
                EXPECT_EQ(host.messages().back().icon, MessageIcon::Exclamation);
            } else {
                EXPECT_EQ(result, PageOk);
                EXPECT_EQ(host.messages().size(), before);
                EXPECT_EQ(address.host, c.accepted.host);
                EXPECT_EQ(address.tcpPort, c.accepted.tcpPort);
            }
        }
    }
    EXPECT_TRUE(network.connectedTo().empty());
}

}  // namespace
}  // namespace kelp
