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

// The port for a printer of that name: the inventory's pick for the
// category row; then, when adjustSpooler and the spooler has no printer of
// that name yet (an existing printer keeps its port), the USB port on which
// the spooler adjustment finds the printer online. Empty when the row's list
// has no port (nothing is adjusted then).
std::string ChooseAutomaticPort(Platform& platform, const PortInventory& inventory, int row,
                                const std::string& printerName, bool adjustSpooler,
                                const std::function<void(int)>& progress);

}  // namespace kelp
