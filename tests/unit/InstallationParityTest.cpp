// The same request through the wizard and through the command line gives
// the same machine and names the same port.
#include <gtest/gtest.h>

#include "app/AppContext.h"
#include "cli/CommandLineRun.h"
#include "fake/FakeDialog.h"
#include "fake/FakeNetwork.h"
#include "fake/FakeSerialPorts.h"
#include "fake/FakePlatform.h"
#include "pages/PrinterSettingsPage.h"
#include "res/resource.h"

namespace kelp {
namespace {

enum class Door { Wizard, CommandLine };
enum class Choice { Automatic, Named, Network };

struct Case {
    const char* name;
    std::vector<PortRecord> ports;
    const char* existingOn;  // the model's printer before, or none
    std::vector<std::pair<int, bool>> usb;  // USB ports' numbers and whether a printer is attached
    Choice choice;
    const char* named;  // the port named, or the network printer's address
    const char* portAfter;
    const char* movedFrom;  // where the message says the printer came from, or none
    bool force = false;     // /force; the wizard's question answered Yes (else No)
    int exitCode = 0;       // the command line's; the wizard installs only on 0
};

UsbPrinterInterface Usb(int number, bool attached) {
    return {"USB", static_cast<std::uint32_t>(number), "USB\\VID_1A2B&PID_0001\\" + std::to_string(number), attached, ""};
}

// The printer's port afterwards, and the text the door showed.
std::pair<std::string, std::string> Install(Door door, const Case& c) {
    FakePlatform machine;
    FakeNetwork net;
    FakeSerialPorts serial;
    machine.setPorts(c.ports);
    machine.seedKey(RegRoot::CurrentUser, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows");
    machine.installTcpIpMonitor();
    if (c.existingOn) machine.seedPrinter({"RK-520P", c.existingOn, "RK-520P", "WinPrint", "RAW"});
    std::vector<UsbPrinterInterface> usb;
    for (const auto& [number, attached] : c.usb) usb.push_back(Usb(number, attached));
    machine.setUsbPrinterInterfaces(usb);
    net.setPrinter(0x0A000007, "\x12\x12\x12\x12");
    net.setAdapters({{{0x0A000001, 24}}, 0});
    net.setName("kitchen.lan", {0x0A000007});
    net.setName("zero.lan", {0});
    std::string shown;
    if (door == Door::CommandLine) {
        machine.createSamplePackage("C:\\Pkg");
        machine.setModuleDirectory("C:\\Pkg");
        std::vector<std::string> args = {"/install", "/model:RK-520P", "/lang:en"};
        if (c.choice == Choice::Named) args.push_back(std::string("/port:") + c.named);
        if (c.choice == Choice::Network) args.push_back(std::string("/host:") + c.named);
        if (c.force) args.push_back("/force");
        EXPECT_EQ(RunCommandLine(machine, net, serial, args), c.exitCode);
        shown = machine.consoleText();
    } else {
        machine.createSamplePackage();
        FakeDialogHost pages;
        InstallSettings state;
        state.englishFlag = 1;
        state.osCode = 8;
        AppContext app{machine, pages, state, net, serial};
        PrinterSettingsPage page(app);
        pages.onNextShow(IDD_PRINTER_SETTINGS, [&](FakeDialog& d) {
            pages.onNextShow(IDD_PORT, [&](FakeDialog& port) {
                if (c.choice == Choice::Named) {
                    port.click(IDC_PORT_SEARCH);
                    for (int row = 0; row < port.listRowCount(IDC_PORT_LIST); ++row)
                        if (port.listCell(IDC_PORT_LIST, row, 0) == c.named) port.clickListRow(IDC_PORT_LIST, row);
                }
                if (c.choice == Choice::Network) {
                    pages.onNextShow(IDD_NETWORK, [&](FakeDialog& network) {
                        network.setText(IDC_NET_ADDRESS, c.named);
                        network.click(IdOk);
                        if (!network.ended()) network.click(IdCancel);
                    });
                    pages.answerQuestions({c.force});
                    port.clickListRow(IDC_PORT_LIST, 2);
                }
                port.click(IDC_PORT_INSTALL);
                if (!port.ended()) port.click(IDC_PORT_CANCEL);
            });
            d.click(IDC_SET_NEXT);
            if (!d.ended()) d.click(IDC_SET_EXIT);
        });
        const int result = pages.runModal(page);
        if (c.exitCode == 0) EXPECT_EQ(result, PageOk);
        EXPECT_EQ(pages.problems(), "");
        for (const auto& box : pages.messages()) shown += box.text + "\n";
    }
    // Nothing made where nothing was installed.
    if (c.exitCode != 0) EXPECT_TRUE(machine.callsOf("addTcpIpPort").empty());
    const auto printer = machine.findPrinter("RK-520P");
    return {printer ? printer->portName : "", shown};
}

TEST(InstallationParityTest, TheWizardAndTheCommandLineAgree) {
    const std::vector<PortRecord> serial = {{"COM1:", "Local Port"}, {"COM2:", "Local Port"}, {"USB001", ""}};
    const std::vector<PortRecord> usb = {{"USB001", ""}, {"USB002", ""}};
    const Case cases[] = {
        {"a new printer, the attached USB printer's port", usb, nullptr, {{1, false}, {2, true}}, Choice::Automatic, nullptr,
         "USB002", nullptr},
        {"a new printer, a port named", serial, nullptr, {}, Choice::Named, "COM2:", "COM2:", nullptr},
        {"a new printer, a network address", serial, nullptr, {}, Choice::Network, "10.0.0.7", "IP_10.0.0.7", nullptr},
        {"existing on another port, a port named", serial, "COM1:", {}, Choice::Named, "COM2:", "COM2:", "COM1:"},
        {"existing on the port named", serial, "COM2:", {}, Choice::Named, "COM2:", "COM2:", nullptr},
        {"existing on a serial port, a network address", serial, "COM1:", {}, Choice::Network, "10.0.0.7", "IP_10.0.0.7",
         "COM1:"},
        {"re-plugged: existing on a USB port with nothing attached", usb, "USB001", {{1, false}, {2, true}},
         Choice::Automatic, nullptr, "USB002", "USB001"},
        {"existing on the attached USB port, automatic", usb, "USB001", {{1, true}, {2, false}}, Choice::Automatic,
         nullptr, "USB001", nullptr},
        {"existing on a USB port, none attached, automatic", usb, "USB001", {{1, false}, {2, false}}, Choice::Automatic,
         nullptr, "USB001", nullptr},
        {"existing on a serial port, automatic", serial, "COM1:", {{1, true}}, Choice::Automatic, nullptr, "COM1:",
         nullptr},
        {"a host name, the port named as typed", serial, "COM1:", {}, Choice::Network, "kitchen.lan", "IP_kitchen.lan", "COM1:"},
        {"a mistyped address", serial, "COM1:", {}, Choice::Network, "10.0.0.7O", "COM1:", nullptr, false, 87},
        {"the network's broadcast address", serial, "COM1:", {}, Choice::Network, "10.0.0.255", "COM1:", nullptr, false, 87},
        {"a name for 0.0.0.0", serial, "COM1:", {}, Choice::Network, "zero.lan", "COM1:", nullptr, false, 87},
        {"a name that cannot be found", serial, "COM1:", {}, Choice::Network, "nowhere.lan", "COM1:", nullptr, false, 1603},
        {"a name that cannot be found, forced", serial, "COM1:", {}, Choice::Network, "nowhere.lan", "IP_nowhere.lan",
         "COM1:", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Door door : {Door::Wizard, Door::CommandLine}) {
            SCOPED_TRACE(door == Door::Wizard ? "wizard" : "command line");
            const auto [port, shown] = Install(door, c);
            EXPECT_EQ(port, c.portAfter);
            if (c.exitCode != 0) continue;
            const std::string named = door == Door::Wizard ? std::string("Port: ") + c.portAfter
                                                           : std::string("is installed on ") + c.portAfter;
            EXPECT_NE(shown.find(named), std::string::npos) << shown;
            const std::string moved = c.movedFrom ? std::string("moved from ") + c.movedFrom + " to " + c.portAfter
                                                  : std::string("moved from");
            EXPECT_EQ(shown.find(moved) != std::string::npos, c.movedFrom != nullptr) << shown;
        }
    }
}

}  // namespace
}  // namespace kelp
