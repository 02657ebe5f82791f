#include <gtest/gtest.h>

#include "install/UsbPrinterModel.h"

#include <random>
#include <set>

#include "fake/FakePlatform.h"
#include "install/Wording.h"
#include "install/AutomaticPort.h"
#include "install/PortInventory.h"
#include "install/RunLog.h"

namespace kelp {
namespace {

using Names = std::vector<std::string>;

struct SerialValue {
    std::string name;
    std::string data;
    std::uint32_t type = RegSz;
};

struct ClassifyCase {
    const char* name;
    std::vector<PortRecord> ports;
    std::vector<SerialValue> serialDevices;
    int suggestedRow;
    Names allPorts, usbPorts, serialPorts, lptPorts, tcpipPorts;
    std::optional<std::string> automaticPort;  // pickAutomaticPort(suggestedRow)
};

constexpr const char* kSerialDeviceKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

void SeedSerialDevices(FakePlatform& platform, const std::vector<SerialValue>& values) {
    platform.seedKey(RegRoot::LocalMachine, kSerialDeviceKey);
    for (const auto& v : values) platform.seedValue(RegRoot::LocalMachine, kSerialDeviceKey, v.name, {v.type, v.data});
}

TEST(PortInventoryTest, ClassifiesPortsByKind) {
    const std::string tcp = "Standard TCP/IP Port";
    const ClassifyCase cases[] = {
        {"USB and COM", {{"USB001", "Virtual USB"}, {"COM1:", "Local Port"}}, {}, 1,
         {"USB001", "COM1:"}, {"USB001"}, {}, {}, {}, "USB001"},
        {"COM only, serial devices from the registry",
         {{"COM1:", "Local Port"}, {"COM2:", "Local Port"}},
         {{"\\Device\\Serial0", std::string("COM1\0", 5)}, {"\\Device\\Serial1", std::string("COM2\0", 5)}}, 0,
         {"COM1:", "COM2:"}, {}, {"COM1:", "COM2:"}, {}, {}, "COM1:"},
        {"LPT with a TCP/IP description", {{"LPT9", tcp}}, {}, 2, {"LPT9"}, {}, {}, {}, {"LPT9"}, std::nullopt},
        {"USB with a TCP/IP description", {{"USB003", tcp}}, {}, 1, {"USB003"}, {"USB003"}, {}, {}, {}, "USB003"},
        {"Chinese TCP/IP description", {{"IP_10.0.0.5", "标准 TCP/IP 端口"}, {"FILE:", "Local Port"}}, {}, 3,
         {"IP_10.0.0.5", "FILE:"}, {}, {}, {}, {"IP_10.0.0.5"}, "IP_10.0.0.5"},
        {"lower case is no COM port", {{"com1:", "Local Port"}}, {}, 1, {"com1:"}, {}, {}, {}, {}, std::nullopt},
        {"FILE only, no TCP/IP port", {{"FILE:", "Local Port"}}, {}, 3, {"FILE:"}, {}, {}, {}, {}, std::nullopt},
        {"two-character name", {{"CO", ""}, {"US", ""}}, {}, 1, {"CO", "US"}, {}, {}, {}, {}, std::nullopt},
        {"no ports at all", {}, {}, 1, {}, {}, {}, {}, {}, std::nullopt},
        {"LPT ports, no USB or COM", {{"LPT1:", "Local Port"}, {"LPT2:", "Local Port"}}, {}, 2,
         {"LPT1:", "LPT2:"}, {}, {}, {"LPT1:", "LPT2:"}, {}, "LPT1:"},
        {"LPT and FILE only: the LPT row", {{"FILE:", "Local Port"}, {"LPT3:", "Local Port"}}, {}, 2,
         {"FILE:", "LPT3:"}, {}, {}, {"LPT3:"}, {}, "LPT3:"},
        {"LPT and FILE only, both TCP/IP", {{"FILE:", tcp}, {"LPT1:", tcp}}, {}, 2, {"FILE:", "LPT1:"}, {}, {}, {},
         {"FILE:", "LPT1:"}, std::nullopt},
        {"COM before LPT and FILE", {{"FILE:", ""}, {"LPT1:", ""}, {"COM2:", ""}}, {}, 0, {"FILE:", "LPT1:", "COM2:"}, {},
         {}, {"LPT1:"}, {}, std::nullopt},
        {"COM ports but no serial device: serial list empty", {{"COM1:", "Local Port"}}, {}, 0, {"COM1:"}, {}, {}, {},
         {}, std::nullopt},
        {"equal serial devices are kept twice, other values passed over",
         {{"COM3:", ""}},
         {{"\\Device\\Serial0", std::string("COM3\0", 5)},
          {"Serial1", std::string("COM4\0", 5)},
          {"\\Device\\Serial2", std::string("COM3\0", 5)},
          {"\\Device\\", std::string("COM5\0", 5)},
          {"\\DEVICE\\Serial3", std::string("COM6\0", 5)},
          {"\\DeviceMap\\Serial4", std::string("COM8\0", 5)}},
         0, {"COM3:"}, {}, {"COM3:", "COM3:", "COM5:"}, {}, {}, "COM3:"},
        {"serial values too long for the buffers, not text, or empty are skipped",
         {{"COM1:", ""}},
         {{"\\Device\\" + std::string(140, 'n'), std::string("COM7\0", 5)},
          {"\\Device\\Big", std::string(200, 'C') + '\0'},
          {"\\Device\\Binary", std::string("\x01\x02\x03\x04", 4), 3},
          {"\\Device\\Empty", std::string("\0", 1)},
          {"\\Device\\Serial0", std::string("COM1\0", 5)}},
         0, {"COM1:"}, {}, {"COM1:"}, {}, {}, "COM1:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform platform;
        platform.setPorts(c.ports);
        SeedSerialDevices(platform, c.serialDevices);
        PortInventory inventory;
        inventory.tcpipPorts = {"left over from an earlier pass"};
        EXPECT_EQ(inventory.classifyPorts(platform), c.suggestedRow);
        EXPECT_EQ(inventory.allPorts, c.allPorts);
        EXPECT_EQ(inventory.usbPorts, c.usbPorts);
        EXPECT_EQ(inventory.serialPorts, c.serialPorts);
        EXPECT_EQ(inventory.lptPorts, c.lptPorts);
        EXPECT_EQ(inventory.tcpipPorts, c.tcpipPorts);
        EXPECT_EQ(inventory.pickAutomaticPort(c.suggestedRow), c.automaticPort);
        EXPECT_TRUE(platform.openKeys().empty());
    }
}

TEST(PortInventoryTest, FailuresLeaveListsEmptyAndSuggestUsb) {
    FakePlatform platform;
    platform.failAlways("enumPorts", winerr::AccessDenied);
    platform.failAlways("regOpenKey", winerr::FileNotFound);
    PortInventory inventory;
    EXPECT_EQ(inventory.classifyPorts(platform), UsbCategoryRow);
    EXPECT_TRUE(inventory.allPorts.empty());
    EXPECT_TRUE(inventory.serialPorts.empty());
    std::vector<std::string> list = {"stale"};
    EXPECT_FALSE(collectSerialDevices(platform, list));
    EXPECT_TRUE(list.empty());
}

TEST(PortInventoryTest, PickAutomaticPortByRow) {
    PortInventory inventory;
    inventory.serialPorts = {"COM3:", "COM4:"};
    inventory.usbPorts = {"USB002"};
    inventory.lptPorts = {"LPT1:"};
    inventory.tcpipPorts = {"IP_1"};
    const std::pair<int, std::optional<std::string>> rows[] = {
        {0, "COM3:"}, {1, "USB002"}, {2, "LPT1:"}, {3, "IP_1"}, {-1, std::nullopt}, {4, std::nullopt}};
    for (const auto& [row, port] : rows) EXPECT_EQ(inventory.pickAutomaticPort(row), port) << row;
}

// Why the automatic choice took its port, whole, in both languages.
TEST(PortInventoryTest, EachRuleInWords) {
    const struct {
        PortRule rule;
        const char* port;
        const char* chinese;
        const char* english;
    } rows[] = {
        {PortRule::OnlyConnected, "USB002", "唯一连接了打印机的 USB 端口", "the only USB port with a connected printer"},
        {PortRule::IdentifiesAsModel, "USB003", "已连接且型号为 RK-730P 的打印机", "the connected printer that identifies as RK-730P"},
        {PortRule::FirstConnected, "USB001", "多台已连接 USB 打印机中的第一台", "the first of several connected USB printers"},
        {PortRule::Classification, "USB001", "未找到已连接的 USB 打印机：第一个 USB 端口",
         "no connected USB printer was found: the first USB port"},
        {PortRule::Classification, "COM1:", "没有 USB 端口：第一个串行端口", "no USB port: the first serial port"},
        {PortRule::Classification, "LPT1:", "没有 USB 端口和串行端口：第一个并行端口", "no USB or serial port: the first parallel port"},
        {PortRule::Classification, "IP_1", "没有已连接的 USB 打印机：同类端口中的第一个",
         "no USB printer is connected: the first port of its kind"},
        {PortRule::SpoolerOnline, "USB002", "没有已连接的 USB 打印机：打印后台程序报告打印机联机的端口",
         "no USB printer is connected: the port the spooler reported the printer online on"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DescribePortRule(row.rule, "RK-730P", Language::Chinese, row.port), row.chinese);
        EXPECT_EQ(DescribePortRule(row.rule, "RK-730P", Language::English, row.port), row.english);
    }
}

// The automatic choice among USB printers: spooler ports USB001-USB003
// unless a row says otherwise, each interface as SetupAPI lists it.
TEST(PortInventoryTest, AutomaticChoiceAmongUsbPrinters) {
    const std::vector<PortRecord> usb3 = {{"COM1:", "Local Port"}, {"USB001", ""}, {"USB002", ""}, {"USB003", ""}};
    const UsbPrinterInterface off1{"USB", 1, "USB\\VID_5A5A&PID_0730\\A1", false, ""};
    const UsbPrinterInterface on2{"USB", 2, "USB\\VID_5A5A&PID_0730\\B2", true, "MFG:Vexo;CMD:ESC/POS;MDL:Label 40;"};
    const UsbPrinterInterface on3{"USB", 3, "USB\\VID_5A5A&PID_0730\\C3", true, "mfg:Vexo;model: rk 730p ;CLS:PRINTER;"};
    const UsbPrinterInterface on3Other{"USB", 3, "USB\\VID_5A5A&PID_0730\\C3", true, "MDL:RK-520P;"};
    const UsbPrinterInterface pageOn2{"USB", 2, "USB\\VID_03F0&PID_1D17\\L2", true,
                                      "MFG:Acme;CMD:PJL,pclxl, PostScript,UNKNOWN;MDL:Laser 9;"};
    struct Case {
        const char* name;
        std::vector<PortRecord> ports;
        std::vector<UsbPrinterInterface> interfaces;
        std::string port;
        PortRule rule;
        const char* logged;
        WinError listFails = winerr::Success;
        bool onlineOnSecondCandidate = false;
        std::vector<std::string> passedOver = {};
    };
    const Case cases[] = {
        {"one connected", usb3, {off1, on2, {"USB", 3, "USB\\X\\C3", false, ""}}, "USB002", PortRule::OnlyConnected,
         "USB port USB002: connected, USB\\VID_5A5A&PID_0730\\B2, model Label 40"},
        {"several, one is the model", usb3, {off1, on2, on3}, "USB003", PortRule::IdentifiesAsModel,
         "automatic port USB003: the connected printer that identifies as RK-730P"},
        {"another model of the package is passed over", usb3, {on2, on3Other}, "USB002", PortRule::OnlyConnected,
         "USB port USB003 passed over: its printer identifies as RK-520P, another model of this package",
         winerr::Success, false, {"USB003"}},
        {"several, none is the model", usb3, {on2, {"USB", 3, "USB\\Q", true, "MDL:TM-88;CMD:escpos, pjl"}}, "USB002",
         PortRule::FirstConnected, "USB port USB001: not known"},
        {"a page printer is passed over, the first other USB port taken", usb3, {off1, pageOn2}, "USB001",
         PortRule::Classification,
         "USB port USB002 passed over: its command set names a page printer's languages (PJL, PCLXL, POSTSCRIPT), "
         "not ESC/POS", winerr::Success, false, {"USB002"}},
        {"the only USB port has a page printer: no port", {{"USB001", ""}}, {{"USB", 1, "USB\\P", true, "CMD:PS"}}, "",
         PortRule::Classification, "USB port USB001 passed over: its command set names a page printer's languages (PS)",
         winerr::Success, false, {"USB001"}},
        {"several, two are the model", usb3, {on3, {"USB", 2, "USB\\Y", true, "MDL:RK-730P"}}, "USB002",
         PortRule::FirstConnected, "automatic port USB002: the first of several connected USB printers"},
        {"none connected", usb3, {off1}, "USB001", PortRule::Classification,
         "USB port USB001: not connected, USB\\VID_5A5A&PID_0730\\A1"},
        {"one port number twice, the new device connected", usb3, {off1, {"USB", 1, "USB\\NEW", true, ""}}, "USB001",
         PortRule::OnlyConnected, "USB port USB001: connected, USB\\NEW"},
        {"a connected interface without a spooler port", usb3, {off1, {"USB", 7, "USB\\Z", true, ""}}, "USB001",
         PortRule::Classification, "USB port USB003: not known"},
        {"another base name", usb3, {{"DOT4", 2, "USB\\D", true, ""}}, "USB001", PortRule::Classification,
         "USB port USB002: not known"},
        {"the list cannot be read", usb3, {on2}, "USB001", PortRule::Classification,
         "USB printer interfaces could not be read (error 5)", winerr::AccessDenied},
        {"no USB port: the LPT kind as before", {{"LPT1:", ""}}, {on2}, "LPT1:", PortRule::Classification, ""},
        {"none connected, the spooler finds it online", usb3, {off1}, "USB002", PortRule::SpoolerOnline,
         "automatic port USB002: no USB printer is connected: the port the spooler reported", winerr::Success, true},
        {"connected beats the spooler's answer", usb3, {on3}, "USB003", PortRule::OnlyConnected, "", winerr::Success,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform platform;
        platform.setPorts(c.ports);
        platform.setUsbPrinterInterfaces(c.interfaces);
        if (c.listFails) platform.failAlways("usbPrinterInterfaces", c.listFails);
        if (c.onlineOnSecondCandidate) {
            // Windows 10, where the online check counts; the 0 the adjustment
            // writes is refused, so the value seeded here is read back.
            platform.setVersion({10, 0, 2});
            platform.failAlways("regCreateKey", winerr::AccessDenied);
            platform.seedDword(RegRoot::LocalMachine,
                               "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Control"
                               "\\Print\\Printers\\RK-730P",
                               "PrinterOnLine", 1);
            platform.failNext("regQueryValue", winerr::FileNotFound);
        }
        platform.makeDirectory("C:\\logs");
        RunLog log(platform, "C:\\logs\\kelp.log");
        PortInventory inventory;
        const int row = inventory.classifyPorts(platform);
        const auto choice = ChooseAutomaticPort(platform, inventory, row, "RK-730P", true, [](int) {}, &log);
        EXPECT_EQ(choice.port, c.port);
        EXPECT_EQ(choice.rule, c.rule);
        // A passed-over port is never a candidate of the spooler adjustment.
        for (const auto& call : platform.callsOf("regSetString"))
            for (const auto& port : c.passedOver) EXPECT_NE(call.args[2], port) << call;
        const std::string text = platform.fileContents("C:\\logs\\kelp.log").value_or("");
        EXPECT_NE(text.find(c.logged), std::string::npos) << text;
    }
}

TEST(PortInventoryTest, DeviceIdFields) {
    struct Case {
        std::string id;
        DeviceIdFields fields;
    };
    const Case cases[] = {
        {"MFG:KELPTEST;CMD:ESCPOS,BDC,D4;MDL:KT-80V;CLS:PRINTER;DES:KELPTEST KT-80V;",
         {"KELPTEST", "KT-80V", "ESCPOS,BDC,D4", "PRINTER", "KELPTEST KT-80V"}},
        {"MANUFACTURER:Vexo;COMMAND SET:ESC/POS;MODEL:RK-730P(NEW);CLASS:PRINTER;DESCRIPTION:Receipt: 80 mm",
         {"Vexo", "RK-730P(NEW)", "ESC/POS", "PRINTER", "Receipt: 80 mm"}},
        {" mfg : Acme ; mdl:  RK 520P ;;junk;SN:1234;", {"Acme", "RK 520P", "", "", ""}},
        {"", {}},
        {"MDL", {}},
    };
    for (const auto& c : cases) {
        const DeviceIdFields got = ParseDeviceId(c.id);
        EXPECT_EQ(got.manufacturer, c.fields.manufacturer) << c.id;
        EXPECT_EQ(got.model, c.fields.model) << c.id;
        EXPECT_EQ(got.commandSet, c.fields.commandSet) << c.id;
        EXPECT_EQ(got.deviceClass, c.fields.deviceClass) << c.id;
        EXPECT_EQ(got.description, c.fields.description) << c.id;
    }
    const std::tuple<const char*, const char*, bool> models[] = {
        {"rk 730p (new)", "RK-730P(NEW)", true}, {"RK-730P", "RK-730PN", false}, {"", "RK-730P", false},
        {"[MZ730P]", "mz730p", true}, {"RK730P_NEW", "RK-730P(NEW)", true}, {"RK730PNEW", "RK-730P(NEW)", true}};
    for (const auto& [device, model, same] : models) EXPECT_EQ(SameModel(device, model), same) << device;
    const std::pair<const char*, int> named[] = {{"rk520p", 0}, {"RK-520PW", 1}, {"RK730P NEW", 4}, {"mz730pn", 6},
                                                 {"RK-730", -1}, {"RK-730PNX", -1}, {"TM-T88", -1}, {"", -1}};
    for (const auto& [name, row] : named) EXPECT_EQ(ModelRowNamed(name), row) << name;

    // What an attached printer names: its 1284 id's model, else the hardware
    // id's maker and model (cut at 20 characters: a prefix then, and only
    // one of the seven beginning so), shown as it is when none of the seven.
    struct Usb {
        const char* deviceId;
        const char* hardwareId;
        const char* shown;
        int row;
    };
    const Usb usb[] = {
        {"MFG:Vexo;MDL:rk 730p (new);", "USBPRINT\\VexoMZ730P1A2B", "RK-730P(NEW)", 4},  // the device's own id first
        {"MFG:Epson;MDL:TM-T88V;", "", "TM-T88V", -1},
        {"MFG:Vexo;CMD:ESC/POS;", "USBPRINT\\VexoMZ730P1A2B", "", -1},  // an id without a model
        {"", "USBPRINT\\VexoMZ730PN5C1E", "MZ730PN", 6},
        {"", "usbprint\\Vexo_RK-520P0000", "RK-520P", 0},
        {"", "USBPRINT\\VexoRK-520PWX1A2B", "VexoRK-520PWX", -1},  // whole, yet not ending in a model
        {"", "USBPRINT\\GuangzhVexoRK-730PNE77C1", "RK-730P(NEW)", 4},  // cut: one model begins so
        {"", "USBPRINT\\GuangzhouVexRK-730PN77C1", "GuangzhouVexRK-730PN", -1},  // cut: RK-730PN or RK-730P(NEW)
        {"", "USBPRINT\\GuangzhouVexoRK-730P77C1", "GuangzhouVexoRK-730P", -1},
        {"", "USBPRINT\\GuangzhouVexoCoLtdMZ77C1", "GuangzhouVexoCoLtdMZ", -1},  // too little of a model
        {"", "USBPRINT\\GuangzhouVexoCRK520P77C1", "GuangzhouVexoCRK520P", -1},  // cut: RK-520P or RK-520PW
        {"", "USBPRINT\\GuangzhouVexoMZ730PN77C1", "MZ730PN", 6},  // 20 characters, the model whole at the end
        {"", "USBPRINT\\1A2B", "", -1},
        {"", "USB\\VID_0483&PID_5720", "", -1},
        {"", "", "", -1},
    };
    for (const auto& c : usb) {
        const UsbPrinterModel got = ModelOfUsbPrinter({"USB", 1, "USB\\A", true, c.deviceId, c.hardwareId});
        EXPECT_EQ(got.shown, c.shown) << c.deviceId << c.hardwareId;
        EXPECT_EQ(got.row, c.row) << c.deviceId << c.hardwareId;
    }
    // The settings page's model: exactly one connected printer naming one of the seven.
    const UsbPrinterInterface naming730 = {"USB", 1, "USB\\A", true, "MDL:RK-730P;"};
    const UsbPrinterInterface namingMz = {"USB", 2, "USB\\B", true, "", "USBPRINT\\VexoMZ730P1A2B"};
    const UsbPrinterInterface outside = {"USB", 3, "USB\\C", true, "MDL:TM-T88V;"};
    UsbPrinterInterface unplugged = naming730;
    unplugged.connected = false;
    const std::pair<std::vector<UsbPrinterInterface>, int> attached[] = {
        {{}, -1},
        {{naming730}, 2},
        {{namingMz}, 5},
        {{outside, namingMz}, 5},
        {{naming730, namingMz}, -1},
        {{naming730, naming730}, -1},
        {{outside}, -1},
        {{unplugged}, -1},
        {{unplugged, namingMz}, 5},
    };
    for (const auto& [list, row] : attached) EXPECT_EQ(ModelRowOfTheAttachedPrinter(list), row) << list.size();
    EXPECT_EQ(ModelOnUsbPort("usb002", {naming730, namingMz}).shown, "MZ730P");
    EXPECT_EQ(ModelOnUsbPort("USB001", {unplugged}).shown, "");
}

// Random port lists against the rules, stated as tables: a port's kind is
// the start of its name (case counts), kind and description give its list,
// and the most important kind on the machine gives the suggested row.
TEST(PortInventoryTest, RandomPortListsKeepEveryRule) {
    enum Kind { Usb, Com, Lpt, File, Other };
    enum List { UsbList, LptList, TcpIpList, NoList };
    const std::pair<std::string, Kind> kinds[] = {{"USB", Usb}, {"COM", Com}, {"LPT", Lpt}, {"FILE", File}};
    //                              plain     TCP/IP description
    const List listOf[][2] = {/* USB   */ {UsbList, UsbList},
                              /* COM   */ {NoList, TcpIpList},
                              /* LPT   */ {LptList, TcpIpList},
                              /* FILE  */ {NoList, TcpIpList},
                              /* other */ {NoList, TcpIpList}};
    const std::pair<Kind, int> rowByImportance[] = {{Usb, 1}, {Com, 0}, {Lpt, 2}, {File, 3}};
    const int rowWithNone = 1;

    std::mt19937 random(20261207);
    const char* prefixes[] = {"USB", "COM", "LPT", "FILE", "IP_", "usb", "Lp", "", "U", "CO", "FIL"};
    const char* descriptions[] = {"Local Port", "Standard TCP/IP Port", "标准 TCP/IP 端口", "", "Virtual",
                                  "standard TCP/IP port"};
    for (int round = 0; round < 300; ++round) {
        std::vector<PortRecord> ports;
        const int count = static_cast<int>(random() % (round % 3 ? 320 : 6));
        for (int i = 0; i < count; ++i) {
            std::string name = prefixes[random() % std::size(prefixes)];
            if (random() % 4) name += std::to_string(random() % 12) + (random() % 2 ? ":" : "");
            ports.push_back({name, descriptions[random() % std::size(descriptions)]});
        }
        FakePlatform platform;
        platform.setPorts(ports);
        PortInventory inventory;
        const int suggested = inventory.classifyPorts(platform);

        const std::size_t seen = std::min<std::size_t>(ports.size(), 256);
        ASSERT_EQ(inventory.allPorts.size(), seen);
        Names lists[3];
        std::set<Kind> present;
        for (std::size_t i = 0; i < seen; ++i) {
            const auto& name = ports[i].name;
            const auto& description = ports[i].description;
            EXPECT_EQ(inventory.allPorts[i], name);
            Kind kind = Other;
            for (const auto& [prefix, k] : kinds)
                if (name.size() >= prefix.size() && name.compare(0, prefix.size(), prefix) == 0) kind = k;
            present.insert(kind);
            const bool tcpip = description == "Standard TCP/IP Port" || description == "标准 TCP/IP 端口";
            if (const List list = listOf[kind][tcpip]; list != NoList) lists[list].push_back(name);
        }
        EXPECT_EQ(inventory.usbPorts, lists[UsbList]);
        EXPECT_EQ(inventory.lptPorts, lists[LptList]);
        EXPECT_EQ(inventory.tcpipPorts, lists[TcpIpList]);
        int expected = rowWithNone;
        for (auto it = std::rbegin(rowByImportance); it != std::rend(rowByImportance); ++it)
            if (present.count(it->first)) expected = it->second;
        EXPECT_EQ(suggested, expected);
    }
}

}  // namespace
}  // namespace kelp
