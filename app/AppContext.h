// What every page is built with: the machine, the window host and the state.
#pragma once

#include "app/InstallSettings.h"
#include "platform/Dialog.h"
#include "platform/Platform.h"

namespace kelp {

struct AppContext {
    Platform& platform;
    DialogHost& host;
    InstallSettings& settings;
};

}  // namespace kelp
