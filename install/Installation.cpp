#include "install/Installation.h"

#include <utility>

#include "install/InstallationLock.h"
#include "install/ModelCatalogue.h"
#include "install/Names.h"
#include "install/PortInventory.h"
#include "install/RunLog.h"
#include "install/Wording.h"

namespace kelp {

namespace {

constexpr WinError kHostNotFound = 11001;  // WSAHOST_NOT_FOUND

InstallationOutcome Stopped(InstallationStop stop, WinError error = winerr::Success) {
    InstallationOutcome outcome;
    outcome.stop = stop;
    outcome.error = error;
    return outcome;
}

std::vector<std::string> UsbPortsOf(const std::vector<PortRecord>& ports) {
    std::vector<std::string> usb;
    for (const auto& record : ports)
        if (IsUsbPortName(record.name)) usb.push_back(record.name);
    return usb;
}

bool FoundAttachedPrinter(PortRule rule) {
    return rule == PortRule::OnlyConnected || rule == PortRule::IdentifiesAsModel || rule == PortRule::FirstConnected;
}

class Installation {
public:
    Installation(Platform& platform, Network& network, const InstallationRequest& request, RunLog* log,
                 InstallationProgress& progress)
        : platform_(platform), network_(network), request_(request), log_(log), progress_(progress) {}

    InstallationOutcome run();

private:
    bool chooseAutomaticPort();
    bool checkNetworkAddress();
    bool prepareNetworkPort();
    void askNetworkPrinter();
    void readAttachedPrinter();
    bool otherModelStops(const std::string& where);
    void runPass();
    void undoNetworkPort();
    void say(const std::string& text) {
        if (log_) log_->line(text);
    }

    Platform& platform_;
    Network& network_;
    const InstallationRequest& request_;
    RunLog* log_;
    InstallationProgress& progress_;
    std::string name_;
    InstallationOutcome outcome_;
};

InstallationOutcome Installation::run() {
    if (const InstallationStop refused = CheckCanInstall(platform_, log_); refused != InstallationStop::None)
        return Stopped(refused);
    const ModelRow* model = ModelCatalogue::row(request_.choices.modelRow);
    name_ = model ? model->displayName : "";
    // A port named must be one of the spooler's: looked for before anything
    // is taken or changed.
    std::vector<PortRecord> ports;
    if (request_.portChoice == PortChoice::Named) {
        const auto listed = platform_.enumPorts();
        if (!listed.ok()) return Stopped(InstallationStop::PortsUnreadable, listed.error);
        ports = listed.value;
        for (const auto& record : ports)
            if (SameName(record.name, request_.port)) outcome_.port = record.name;
        if (outcome_.port.empty()) return Stopped(InstallationStop::UnknownPort);
    }
    // A network printer's address, before anything is taken or changed.
    if (request_.portChoice == PortChoice::Network && !checkNetworkAddress()) return outcome_;
    InstallationLock lock(platform_, log_);
    if (lock.heldElsewhere()) return Stopped(InstallationStop::Busy);
    if (lock.error() != winerr::Success) return Stopped(InstallationStop::LockFailed, lock.error());

    switch (request_.portChoice) {
        case PortChoice::Named:
            readAttachedPrinter();
            if (otherModelStops("attached to " + outcome_.namedModelPort)) return outcome_;
            LogChosenPort(platform_, UsbPortsOf(ports), outcome_.port, request_.namedBy, log_);
            break;
        case PortChoice::Automatic: {
            readAttachedPrinter();
            const std::string where = "attached to " + outcome_.namedModelPort;
            if (request_.stopForOtherModel && otherModelStops(where)) return outcome_;
            if (!chooseAutomaticPort()) return outcome_;
            if (request_.stopForOtherModel) break;
            // As asked: the choice passes over a printer that names another
            // model, and the printer installed for is the one on its port.
            if (SameName(outcome_.namedModelPort, outcome_.port)) {
                otherModelStops(where);
            } else {
                outcome_.printerIdentity = {};
                outcome_.namedModelRow = -1;
                outcome_.namedModelPort.clear();
            }
            break;
        }
        case PortChoice::Network:
            if (!prepareNetworkPort()) return outcome_;
            if (outcome_.hostAddress) askNetworkPrinter();
            // A printer that names another model stops the wizard's run
            // with nothing changed: a port this run made goes again.
            if (otherModelStops("at " + FormatAddress(request_.address))) {
                UndoTcpIpPort(platform_, outcome_.networkPort, log_);
                return outcome_;
            }
            break;
    }
    runPass();
    if (request_.portChoice == PortChoice::Network) undoNetworkPort();
    return outcome_;
}

// The classification's suggested kind, the USB row when it suggests none
// the category list has. A printer of the model that exists keeps its port,
// unless that is a USB port with nothing attached and the choice found the
// port a printer is attached to now (plugged into another socket).
bool Installation::chooseAutomaticPort() {
    PortInventory inventory;
    int row = inventory.classifyPorts(platform_);
    if (row >= CategoryListRows) row = UsbCategoryRow;
    outcome_.suggestedRow = row;
    const auto existing = FindPrinter(platform_, name_);
    const auto choice = ChooseAutomaticPort(platform_, inventory, row, name_, request_.adjustSpooler && !existing,
                                            [this](int position) { progress_.position(position); }, log_);
    if (existing) {
        const auto interfaces = IsUsbPortName(existing->port) ? platform_.usbPrinterInterfaces()
                                                              : Result<std::vector<UsbPrinterInterface>>{};
        const bool deadUsbPort = interfaces.ok() && UsbPortConnected(existing->port, interfaces.value) == false;
        if (deadUsbPort && !choice.port.empty() && FoundAttachedPrinter(choice.rule) &&
            !SameName(choice.port, existing->port)) {
            say("the existing printer's port " + existing->port + " has nothing attached: moved to " + choice.port);
            outcome_.port = choice.port;
            outcome_.rule = choice.rule;
            return true;
        }
        std::vector<std::string> usbPorts;
        if (const auto listed = platform_.enumPorts(); listed.ok()) usbPorts = UsbPortsOf(listed.value);
        LogChosenPort(platform_, usbPorts, existing->port, "the existing printer's port", log_);
        outcome_.port = existing->port;
        outcome_.keptExistingPort = true;
        return true;
    }
    if (choice.port.empty()) {
        outcome_.stop = InstallationStop::NoPort;
        return false;
    }
    outcome_.port = choice.port;
    outcome_.rule = choice.rule;
    return true;
}

// A name is looked up: one that cannot be found now stops the run unless
// forced. The address, typed or looked up, must be one a printer can have.
// The port keeps the name as typed; the printer is asked at the address.
bool Installation::checkNetworkAddress() {
    const std::string& host = request_.address.host;
    if (const auto literal = ParseIpv4(host)) {
        outcome_.hostAddress = *literal;
    } else {
        const auto resolved = network_.resolve(host);
        if (!resolved.ok() || resolved.value.empty()) {
            const WinError error = resolved.ok() ? kHostNotFound : resolved.error;
            say("host name " + host + " cannot be found (error " + std::to_string(error) + ")" +
                (request_.force ? ": installed all the same (forced)" : ": nothing installed"));
            if (request_.force) return true;
            outcome_.stop = InstallationStop::NameNotFound;
            outcome_.error = error;
            return false;
        }
        outcome_.hostAddress = resolved.value.front();
        say("host name " + host + " stands for " + FormatIpv4(*outcome_.hostAddress));
    }
    const auto adapters = network_.adapterInterfaces();
    outcome_.addressProblem = RefusedAddress(*outcome_.hostAddress, adapters.value);
    if (outcome_.addressProblem == AddressProblem::None) return true;
    say("address refused: " + DescribeRefusedAddress(host, *outcome_.hostAddress, outcome_.addressProblem, Language::English));
    outcome_.stop = InstallationStop::AddressRefused;
    return false;
}

bool Installation::prepareNetworkPort() {
    outcome_.networkPort = PrepareTcpIpPort(platform_, request_.address, request_.choices.language, log_);
    if (!outcome_.networkPort.ok()) {
        outcome_.stop = InstallationStop::NoNetworkPort;
        outcome_.error = outcome_.networkPort.error;
        return false;
    }
    outcome_.port = outcome_.networkPort.name;
    return true;
}

// Shops install before the printer is unpacked: its answer is told, it
// does not decide.
void Installation::askNetworkPrinter() {
    progress_.doing({WaitFor::PrinterAnswer, FormatAddress(request_.address)});
    NetworkAddress at = request_.address;
    at.host = FormatIpv4(*outcome_.hostAddress);  // looked up once
    const PrinterState state = ProbePrinter(
        network_, at,
        [this] {
            progress_.waiting();
            return true;
        },
        &outcome_.printerIdentity);
    progress_.doing({});
    say("printer at " + FormatAddress(request_.address) + ": " + DescribePrinterState(state, Language::English));
    outcome_.printerState = state;
    outcome_.namedModelRow = ModelRowNamed(outcome_.printerIdentity.model);
}

// The USB printer the installation is for: on the port named, the printer
// attached to it; on the automatic choice, an attached printer that names
// the model chosen, else the first that names another of the models, else
// the first that names any model. Its 1284 id's MFG and MDL say who it is.
void Installation::readAttachedPrinter() {
    // A port named that is no USB port has no interface of that name.
    const bool named = request_.portChoice == PortChoice::Named;
    const auto interfaces = platform_.usbPrinterInterfaces();
    if (!interfaces.ok()) return;
    const UsbPrinterInterface* chosen = nullptr;
    int chosenRow = -1;
    std::pair<bool, bool> best;  // names the model chosen, names one of the models
    for (const auto& usb : interfaces.value) {
        if (!usb.connected || (named && !SameName(UsbPortName(usb), outcome_.port))) continue;
        const DeviceIdFields id = ParseDeviceId(usb.deviceId);
        if (id.model.empty()) continue;
        const int row = ModelRowNamed(id.model);
        // The model chosen first, then another of the models, then any name.
        const std::pair<bool, bool> rank{row == request_.choices.modelRow, row >= 0};
        if (!chosen || rank > best) {
            chosen = &usb;
            chosenRow = row;
            best = rank;
        }
    }
    if (!chosen) return;
    const DeviceIdFields id = ParseDeviceId(chosen->deviceId);
    outcome_.printerIdentity = {id.manufacturer, id.model, {}};
    outcome_.namedModelRow = chosenRow;
    outcome_.namedModelPort = UsbPortName(*chosen);
}

// What the printer named itself goes to the log; another of the models than
// the one chosen stops the wizard's run here, before anything changes.
bool Installation::otherModelStops(const std::string& where) {
    const PrinterIdentity& identity = outcome_.printerIdentity;
    if (!identity.named()) return false;
    say("the printer " + where + " names itself " + QuotedText(identity.model) +
        (identity.maker.empty() ? "" : ", maker " + QuotedText(identity.maker)) +
        (identity.serial.empty() ? "" : ", serial number " + QuotedText(identity.serial)) +
        (outcome_.namedModelRow < 0 ? " (none of the models)" : ""));
    if (outcome_.namedModelRow < 0 || outcome_.namedModelRow == request_.choices.modelRow) return false;
    const ModelRow* other = ModelCatalogue::row(outcome_.namedModelRow);
    if (!request_.stopForOtherModel) {
        say("another model than " + name_ + ": installed as asked");
        return false;
    }
    say("another model than " + name_ + (other ? " (" + std::string(other->displayName) + ")" : "") +
        ": nothing installed, the person is asked");
    outcome_.stop = InstallationStop::OtherModel;
    return true;
}

void Installation::runPass() {
    DriverInstaller installer(platform_, [this](int position) { progress_.position(position); });
    installer.setPackageRoot(request_.packageRoot);
    installer.setLog(log_);
    // An existing printer of the model goes to the port chosen; one kept
    // has that port already.
    outcome_.report = installer.InstallDriver(ProfileForThisMachine(platform_), request_.choices, outcome_.port);
}

// A port this run made stays only when a printer is on it: this one, or
// one that another program put there meanwhile. A list that cannot be read
// keeps it.
void Installation::undoNetworkPort() {
    if (!outcome_.networkPort.made) return;
    const auto printers = platform_.enumPrinters();
    if (!printers.ok()) return;
    for (const auto& printer : printers.value)
        if (SameName(printer.port, outcome_.networkPort.name)) return;
    UndoTcpIpPort(platform_, outcome_.networkPort, log_);
}

}  // namespace

// Windows on ARM first: rights would not help there.
InstallationStop CheckCanInstall(Platform& platform, RunLog* log) {
    if (platform.nativeMachine() == MachineArm64) {
        if (log) log->line("nothing installed: this is Windows on ARM (ARM64), whose spooler takes only ARM64 drivers, "
                           "and the package has none");
        return InstallationStop::WindowsOnArm;
    }
    if (!platform.runsElevated()) {
        if (log) log->line("nothing installed: installing needs administrator rights, which this process does not have");
        return InstallationStop::NoAdministrator;
    }
    return InstallationStop::None;
}

InstallationOutcome InstallPrinter(Platform& platform, Network& network, const InstallationRequest& request,
                                   RunLog* log, InstallationProgress* progress) {
    InstallationProgress none;
    Installation installation(platform, network, request, log, progress ? *progress : none);
    return installation.run();
}

}  // namespace kelp
