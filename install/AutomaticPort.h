// The automatic path's choice of a port, shared by the port page's Install
// and the command line's /port:auto.
#pragma once

#include "platform/FunctionRef.h"
#include <optional>
#include <string>
#include <vector>

#include "install/PortInventory.h"
#include "platform/Platform.h"

namespace kelp {

class RunLog;
struct InstallReport;

// The port page's category list has the serial, USB and network rows; a
// suggested row it does not have leaves the USB row selected.
constexpr int CategoryListRows = 3;

// The fields of an IEEE 1284 device id ("MFG:Acme;MDL:RK-730P;CMD:ESC/POS;"),
// keys compared ignoring case, short or long form; a missing field is empty.
struct DeviceIdFields {
    std::string manufacturer;  // MFG, MANUFACTURER
    std::string model;         // MDL, MODEL
    std::string commandSet;    // CMD, COMMAND SET
    std::string deviceClass;   // CLS, CLASS
    std::string description;   // DES, DESCRIPTION
};
DeviceIdFields ParseDeviceId(const std::string& id);

// A device's model and a catalogue name name the same printer: compared
// ignoring case, spaces, hyphens, underscores and brackets ("rk 730p (new)"
// and "RK730P_NEW" are "RK-730P(NEW)").
bool SameModel(const std::string& deviceModel, const std::string& modelName);
// The catalogue row of the model a printer names itself, or -1 when the name
// is none of the seven (never the nearest one).
int ModelRowNamed(const std::string& name);

// Whether a port's name is one the USB printing driver gives ("USB001").
bool IsUsbPortName(const std::string& port);

// "USB002" for the base name "USB" and the number 2; empty for any other
// base name (other drivers of the class write "TS" or "DOT4").
std::string UsbPortName(const UsbPrinterInterface& usb);

// Whether a printer is connected on that USB port now: nothing when no
// interface names the port.
std::optional<bool> UsbPortConnected(const std::string& port, const std::vector<UsbPrinterInterface>& interfaces);

// Why the automatic path took its port.
enum class PortRule {
    OnlyConnected,      // the one USB port with a connected printer
    IdentifiesAsModel,  // of several connected, the one whose printer names the model
    FirstConnected,     // of several connected, none or more than one names the model
    Classification,     // none connected (or not known): the suggested kind's first port
    SpoolerOnline,      // none connected: the spooler reported the printer online there
};

struct AutomaticPortChoice {
    std::string port;  // empty: the suggested kind has no port
    PortRule rule = PortRule::Classification;
};

// The port for a printer of that name: over the inventory's USB ports, in
// the spooler's order, the connected one (by the rules above, the ports
// passed over left out); else the inventory's pick for the category row,
// for the USB row its first USB port that is not passed over. A USB port is
// passed over, and never chosen, when its connected device says it is
// another printer: another model of the catalogue, or a page printer (its
// command set names PCL, PostScript, PJL and the like, and not ESC/POS).
// When adjustSpooler (only for a printer the spooler does not have yet: the
// adjustment would move an existing one behind the spooler's back), the
// spooler adjustment runs as well, over the ports not passed over, and the
// port it finds the printer online on counts when no USB port is connected. The USB ports' states and the rule go to
// log, when given.
AutomaticPortChoice ChooseAutomaticPort(Platform& platform, const PortInventory& inventory, int row,
                                        const std::string& printerName, bool adjustSpooler,
                                        FunctionRef<void(int)> progress, RunLog* log = nullptr);

// A port a person chose (the port page's list, /port:<name>): the USB
// ports' states, then who chose the port ("port named on the command line")
// and the port, go to log.
void LogChosenPort(Platform& platform, const std::vector<std::string>& usbPorts, const std::string& port,
                   const std::string& chosenBy, RunLog* log);

}  // namespace kelp
