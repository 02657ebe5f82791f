#include "install/AutomaticPort.h"

#include <algorithm>

#include "install/DriverInstaller.h"
#include "install/ModelCatalogue.h"
#include "install/Names.h"
#include "install/LogText.h"
#include "install/RunLog.h"
#include "install/Wording.h"
#include "install/SpoolerPorts.h"

namespace kelp {

namespace {


std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string ModelKey(const std::string& name) {
    std::string key;
    for (char c : Lower(name)) {
        if (c != ' ' && c != '-' && c != '_' && c != '(' && c != ')' && c != '[' && c != ']') key += c;
    }
    return key;
}

// What the interfaces say about one spooler port: connected when any of its
// interfaces is (a port number can be listed twice, an old device and a new one).
struct UsbPortState {
    bool known = false;
    const UsbPrinterInterface* shown = nullptr;  // the connected one, else the first
};

UsbPortState StateOf(const std::string& port, const std::vector<UsbPrinterInterface>& interfaces) {
    UsbPortState state;
    for (const auto& usb : interfaces) {
        if (!SameName(UsbPortName(usb), port)) continue;
        state.known = true;
        if (!state.shown || (usb.connected && !state.shown->connected)) state.shown = &usb;
    }
    return state;
}

// A command set's language of page printers, not of receipt printers.
bool IsPageLanguage(const std::string& token) {
    for (const char* prefix : {"PCL", "POSTSCRIPT", "PWG"})
        if (token.rfind(prefix, 0) == 0) return true;
    for (const char* name : {"PS", "PJL", "PDF", "XPS", "URF"})
        if (token == name) return true;
    return false;
}

// Why a connected device is not the printer being installed, from its 1284
// id: it names another model of the catalogue, or page printers' languages
// and not ESC/POS; empty when nothing says so.
std::string PassOverReason(const DeviceIdFields& id, const std::string& printerName) {
    if (!id.model.empty() && !SameModel(id.model, printerName)) {
        for (const auto& row : ModelCatalogue::rows())
            if (SameModel(id.model, row.displayName))
                return "its printer identifies as " + std::string(row.displayName) + ", another model of this package";
    }
    bool escPos = false;
    std::string languages;
    std::size_t start = 0;
    while (start <= id.commandSet.size()) {
        std::size_t end = id.commandSet.find(',', start);
        if (end == std::string::npos) end = id.commandSet.size();
        std::string token = Trimmed(id.commandSet.substr(start, end - start));
        std::transform(token.begin(), token.end(), token.begin(),
                       [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
        if (token == "ESC/POS" || token == "ESCPOS") escPos = true;
        else if (IsPageLanguage(token)) languages += (languages.empty() ? "" : ", ") + token;
        start = end + 1;
    }
    if (escPos || languages.empty()) return {};
    return "its command set names a page printer's languages (" + languages + "), not ESC/POS";
}

}  // namespace

DeviceIdFields ParseDeviceId(const std::string& id) {
    DeviceIdFields fields;
    std::size_t start = 0;
    while (start < id.size()) {
        std::size_t end = id.find(';', start);
        if (end == std::string::npos) end = id.size();
        const std::string field = id.substr(start, end - start);
        start = end + 1;
        const std::size_t colon = field.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = Lower(Trimmed(field.substr(0, colon)));
        const std::string value = Trimmed(field.substr(colon + 1));
        if (key == "mfg" || key == "manufacturer") fields.manufacturer = value;
        else if (key == "mdl" || key == "model") fields.model = value;
        else if (key == "cmd" || key == "command set") fields.commandSet = value;
        else if (key == "cls" || key == "class") fields.deviceClass = value;
        else if (key == "des" || key == "description") fields.description = value;
    }
    return fields;
}

bool SameModel(const std::string& deviceModel, const std::string& modelName) {
    const std::string key = ModelKey(deviceModel);
    return !key.empty() && key == ModelKey(modelName);
}

int ModelRowNamed(const std::string& name) {
    const auto rows = ModelCatalogue::rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (SameModel(name, rows[i].displayName)) return static_cast<int>(i);
    return -1;
}

bool IsUsbPortName(const std::string& port) { return port.compare(0, 3, "USB") == 0; }

std::string UsbPortName(const UsbPrinterInterface& usb) {
    if (!SameName(usb.baseName, "USB")) return {};
    // Three digits at least, as the USB printing driver names its ports
    // (no printf here: the C runtime's formatter adds some 26 KB to Kelp.exe).
    std::string number = std::to_string(usb.portNumber);
    if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
    return "USB" + number;
}

std::optional<bool> UsbPortConnected(const std::string& port, const std::vector<UsbPrinterInterface>& interfaces) {
    const UsbPortState state = StateOf(port, interfaces);
    if (!state.known) return std::nullopt;
    return state.shown->connected;
}



// Which of the spooler's USB ports have a printer connected now, and which
// of those identify as the model; each port's state goes to log. With
// passedOver, a connected device that says it is another printer is put
// there instead, and the log says why.
static void LogUsbPorts(Platform& platform, const std::vector<std::string>& usbPorts, const std::string& printerName,
                        RunLog* log, std::vector<std::string>& connected, std::vector<std::string>& identified,
                        std::vector<std::string>* passedOver = nullptr) {
    const auto say = [log](const std::string& text) {
        if (log) log->line(text);
    };
    if (usbPorts.empty()) return;
    const auto interfaces = platform.usbPrinterInterfaces();
    if (!interfaces.ok()) say("USB printer interfaces could not be read (error " + ErrorNumber(interfaces.error, Language::English) + ")");
    for (const auto& port : usbPorts) {
        const UsbPortState state = StateOf(port, interfaces.value);
        std::string line = "USB port " + OutsideText(port) + ": ";
        if (!state.known) {
            say(line + "not known");
            continue;
        }
        const std::string model = ParseDeviceId(state.shown->deviceId).model;
        line += state.shown->connected ? "connected" : "not connected";
        line += ", " + OutsideText(state.shown->instanceId);
        if (!model.empty()) line += ", model " + OutsideText(model);
        say(line);
        if (!state.shown->connected) continue;
        if (const std::string why = passedOver ? PassOverReason(ParseDeviceId(state.shown->deviceId), printerName) : "";
            !why.empty()) {
            say("USB port " + OutsideText(port) + " passed over: " + OutsideText(why));
            passedOver->push_back(port);
            continue;
        }
        connected.push_back(port);
        if (SameModel(model, printerName)) identified.push_back(port);
    }
}

void LogChosenPort(Platform& platform, const std::vector<std::string>& usbPorts, const std::string& port,
                   const std::string& chosenBy, RunLog* log) {
    if (!log) return;
    std::vector<std::string> connected, identified;
    LogUsbPorts(platform, usbPorts, {}, log, connected, identified);
    log->line(chosenBy + ": " + OutsideText(port));
}

AutomaticPortChoice ChooseAutomaticPort(Platform& platform, const PortInventory& inventory, int row,
                                        const std::string& printerName, bool adjustSpooler,
                                        FunctionRef<void(int)> progress, RunLog* log) {
    const auto say = [log](const std::string& text) {
        if (log) log->line(text);
    };
    AutomaticPortChoice choice;
    std::vector<std::string> connected, identified, passedOver;
    LogUsbPorts(platform, inventory.usbPorts, printerName, log, connected, identified, &passedOver);
    std::vector<std::string> usbPorts;
    for (const auto& port : inventory.usbPorts)
        if (std::find(passedOver.begin(), passedOver.end(), port) == passedOver.end()) usbPorts.push_back(port);
    const auto take = [&choice](const std::string& port, PortRule rule) {
        choice.port = port;
        choice.rule = rule;
    };
    if (connected.size() == 1) {
        take(connected.front(), PortRule::OnlyConnected);
    } else if (!connected.empty()) {
        if (identified.size() == 1) take(identified.front(), PortRule::IdentifiesAsModel);
        else take(connected.front(), PortRule::FirstConnected);
    } else if (row == UsbCategoryRow) {
        if (!usbPorts.empty()) choice.port = usbPorts.front();
    } else if (const auto picked = inventory.pickAutomaticPort(row)) {
        choice.port = *picked;
    }
    // The spooler adjustment runs as it always has; its answer counts only
    // where no connected printer told the port.
    if (adjustSpooler && !choice.port.empty()) {
        const auto online = AdjustSpoolerPorts(platform, printerName, usbPorts, progress);
        if (connected.empty() && online && *online != choice.port) take(*online, PortRule::SpoolerOnline);
    }
    if (!choice.port.empty())
        say("automatic port " + choice.port + ": " + DescribePortRule(choice.rule, printerName, Language::English, choice.port));
    return choice;
}

}  // namespace kelp
