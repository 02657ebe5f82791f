// The installation of a model's printer, as one operation that the wizard's
// Install and the command line's /install both call: a request goes in (the
// model and the page's choices, how the port is chosen, the package), an
// outcome comes out (the port and why, the printer's state, the pass's
// report). A front end gathers the request and presents the outcome; the
// port is chosen, named or made, the printer asked, and what this run made
// undone, here and only here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "install/AutomaticPort.h"
#include "install/DriverInstaller.h"
#include "install/InstallationProgress.h"
#include "install/NetworkPrinter.h"
#include "platform/Network.h"
#include "platform/Platform.h"

namespace kelp {

class RunLog;

enum class PortChoice {
    Automatic,  // the USB row or /port:auto: the engine picks the port
    Named,      // a port of the spooler's, named by the person or the administrator
    Network,    // a network printer's address: its TCP/IP port is reused or made
};

struct InstallationRequest {
    // The model, the language, the default-printer flag and the serial
    // line's settings.
    PrinterChoices choices;
    PortChoice portChoice = PortChoice::Automatic;
    std::string port;        // PortChoice::Named
    NetworkAddress address;  // PortChoice::Network
    // The driver package's folder; empty is the current directory.
    std::string packageRoot;
    // The automatic choice also runs the spooler adjustment for a new printer.
    bool adjustSpooler = true;
    // Who named a port, for the log ("port named on the command line").
    std::string namedBy = "port named";
    // A host name that cannot be found now is installed on all the same
    // (its printer's name may be registered later): the person said so.
    bool force = false;
    // The wizard's: when the printer the installation is for (the network
    // printer at the address, the USB printer attached) names another of the
    // seven models than the one chosen, the run stops before anything
    // changes (OtherModel), for the person to decide. The command line
    // installs as asked.
    bool stopForOtherModel = false;
};

// Why an installation did not run its pass. Nothing was changed then.
enum class InstallationStop {
    None,             // the pass ran: the report says how it went
    Busy,             // another installation, removal or test receipt holds the lock
    LockFailed,       // the lock could not be taken (error)
    PortsUnreadable,  // the spooler's ports could not be listed (error)
    UnknownPort,      // the named port is not one of the spooler's
    NoPort,           // the automatic choice found no port
    NoNetworkPort,    // no TCP/IP port could be had (networkPort.problem says why)
    NameNotFound,     // the host name cannot be found on this network now (error); not with force
    AddressRefused,   // the address, or the one the host name stands for, is no printer's (addressProblem)
    NoAdministrator,  // the process has no administrator rights: nothing was looked up or taken
    WindowsOnArm,     // Windows on ARM takes only ARM64 drivers, which the package does not have
    OtherModel,       // the printer names another of the models (namedModelRow); only with stopForOtherModel
};

// IsWow64Process2's native machine of Windows on ARM (IMAGE_FILE_MACHINE_ARM64).
constexpr std::uint16_t MachineArm64 = 0xAA64;

// Whether an installation can run on this machine in this process at all,
// asked before anything is looked up, taken or changed (both doors ask it:
// the wizard before its network dialog, the engine first of all): None, or
// WindowsOnArm, or NoAdministrator. A refusal goes to log with its reason.
InstallationStop CheckCanInstall(Platform& platform, RunLog* log);

struct InstallationOutcome {
    InstallationStop stop = InstallationStop::None;
    WinError error = winerr::Success;
    // The port the pass was given: the spooler's spelling of a named port,
    // the automatic choice, the existing printer's or the network port.
    std::string port;
    // Why the automatic choice took port; nothing for a port named, a
    // network port, or an existing printer's port kept.
    std::optional<PortRule> rule;
    // The category row the automatic choice came from (the classification's
    // suggestion); -1 for the other choices.
    int suggestedRow = -1;
    // The printer existed before and its port was kept (the automatic choice).
    bool keptExistingPort = false;
    // PortChoice::Network: the address the host stands for (nothing when a
    // name could not be found), and why it is refused (AddressRefused).
    std::optional<Ipv4> hostAddress;
    AddressProblem addressProblem = AddressProblem::None;
    TcpIpPort networkPort;                     // PortChoice::Network
    std::optional<PrinterState> printerState;  // PortChoice::Network: asked before the pass
    // Who the printer the installation is for says it is: the network
    // printer's answers to GS I, the attached USB printer's 1284 id (MFG,
    // MDL); empty when it said nothing.
    PrinterIdentity printerIdentity;
    // The catalogue row its model name is (-1: none of the seven), and the
    // USB port the printer it came from is attached to (empty for a network
    // printer).
    int namedModelRow = -1;
    std::string namedModelPort;
    InstallReport report;
    bool ran() const { return stop == InstallationStop::None; }
    bool succeeded() const { return ran() && report.succeeded(); }
};

// The installation, under the installation lock: the port chosen, named or
// made (a network printer's host name found and its address checked before
// anything is taken), a network printer asked how it is, the pass, an existing printer of
// the model moved to a port that was named (and, on the automatic choice,
// from a USB port with nothing attached to the one its printer is now
// attached to), the printer read back, and a TCP/IP port this run made
// deleted again when no printer is on it afterwards.
InstallationOutcome InstallPrinter(Platform& platform, Network& network, const InstallationRequest& request,
                                   RunLog* log, InstallationProgress* progress = nullptr);

}  // namespace kelp
