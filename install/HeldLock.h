// The installation lock for the length of one operation: taken when made,
// given back by release() or when the operation is left.
#pragma once

#include "install/InstallationLock.h"

namespace kelp {

using HeldLock = InstallationLock;

}  // namespace kelp
