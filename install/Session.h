// Whether anybody can see a window this process shows.
#pragma once

#include "platform/Platform.h"

namespace kelp {

// Not in a window station nobody sees (a service's), nor, from Windows Vista
// on, in session 0, where services run and nobody logs on (its interactive
// station reads as visible); a station or session the system does not tell
// counts as unseen. A page there would wait for a click that never comes.
bool WindowsCanBeSeen(Platform& platform);

}  // namespace kelp
