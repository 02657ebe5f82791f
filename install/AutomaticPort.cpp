#include "install/AutomaticPort.h"

#include "install/DriverInstaller.h"
#include "install/SpoolerPorts.h"

namespace kelp {

std::string ChooseAutomaticPort(Platform& platform, const PortInventory& inventory, int row,
                                const std::string& printerName, bool adjustSpooler,
                                const std::function<void(int)>& progress) {
    const auto picked = inventory.pickAutomaticPort(row);
    if (!picked) return {};
    if (adjustSpooler && !FindPrinter(platform, printerName)) {
        if (const auto online = AdjustSpoolerPorts(platform, printerName, inventory.usbPorts, progress)) return *online;
    }
    return *picked;
}

}  // namespace kelp
