// What every page is built with: the machine, the window host and the state.
#pragma once

#include "app/InstallSettings.h"
#include "install/RunLog.h"
#include "platform/Dialog.h"
#include "platform/Network.h"
#include "platform/Platform.h"
#include "platform/SerialPort.h"

namespace kelp {

struct AppContext {
    Platform& platform;
    DialogHost& host;
    InstallSettings& settings;
    Network& network;       // the network printer's search and status requests
    SerialPorts& serialPorts;  // a serial printer's status requests
    RunLog* log = nullptr;  // the run's log; none in a run that keeps no log
};

}  // namespace kelp
