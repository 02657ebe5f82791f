// What an attached USB printer says it is: the model its IEEE 1284 id names
// or, where the device could not be asked, what the hardware id Windows
// made from that id tells. Used by /list's model column and the settings
// page's preselected model.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kelp {

struct UsbPrinterModel {
    // The catalogue's name when the printer names one of the seven models,
    // else the printer's own text as it is; empty when it names none.
    std::string shown;
    int row = -1;  // the catalogue row it names; -1 for none of the seven
};

// The 1284 id's model (MDL) where the id was read, else the hardware id's
// maker and model ("USBPRINT\" + maker and model, spaces as underscores,
// cut at 20 characters, + a 4-character check sum). A model the cut left
// whole must end the text; a cut one matches as a prefix only, and only
// when exactly one of the seven begins so (never the nearest).
UsbPrinterModel ModelOfUsbPrinter(const UsbPrinterInterface& usb);

// The model a printer connected on that USB port names; nothing shown when
// no connected interface names the port.
UsbPrinterModel ModelOnUsbPort(const std::string& port, const std::vector<UsbPrinterInterface>& interfaces);

// The catalogue row that exactly one connected USB printer names; -1 when
// none does, or more than one.
int ModelRowOfTheAttachedPrinter(const std::vector<UsbPrinterInterface>& interfaces);

}  // namespace kelp
