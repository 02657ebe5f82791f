#include "install/AutomaticPort.h"

#include "install/DriverInstaller.h"
#include "install/SpoolerPorts.h"

namespace kelp {

std::string AdjustPortForNewPrinter(Platform& platform, const std::string& printerName,
                                    const std::vector<std::string>& usbPorts, const std::string& port,
                                    const std::function<void(int)>& progress) {
    if (FindPrinter(platform, printerName)) return port;
    const auto online = AdjustSpoolerPorts(platform, printerName, usbPorts, progress);
    return online ? *online : port;
}

std::string ChooseAutomaticPort(Platform& platform, const PortInventory& inventory, int row,
                                const std::string& printerName, bool adjustSpooler,
                                const std::function<void(int)>& progress) {
    const auto picked = inventory.pickAutomaticPort(row);
    if (!picked) return {};
    if (!adjustSpooler) return *picked;
    return AdjustPortForNewPrinter(platform, printerName, inventory.usbPorts, *picked, progress);
}

}  // namespace kelp
