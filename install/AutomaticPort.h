// The automatic path's choice of a port, shared by the port page's Install
// and the command line's /port:auto.
#pragma once

#include <functional>
#include <string>

#include "install/PortInventory.h"
#include "platform/Platform.h"

namespace kelp {

// The port page's category list has the serial, USB and network rows; a
// suggested row it does not have leaves the USB row selected.
constexpr int CategoryListRows = 3;

// For a printer the spooler does not have yet: the spooler adjustment over
// the USB ports, and the port it finds the printer online on, else port. A
// printer that exists keeps its port: the adjustment would move it behind
// the spooler's back, so nothing is adjusted and port is answered.
std::string AdjustPortForNewPrinter(Platform& platform, const std::string& printerName,
                                    const std::vector<std::string>& usbPorts, const std::string& port,
                                    const std::function<void(int)>& progress);

// The inventory's pick for the category row, then, when adjustSpooler,
// AdjustPortForNewPrinter. Empty when the row's list has no port (nothing
// is adjusted then).
std::string ChooseAutomaticPort(Platform& platform, const PortInventory& inventory, int row,
                                const std::string& printerName, bool adjustSpooler,
                                const std::function<void(int)>& progress);

}  // namespace kelp
