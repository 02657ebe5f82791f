// The look of the port lists: full-row selection and grid lines on, hot
// tracking off, every other extended style left as it was.
#pragma once

#include "platform/Dialog.h"

namespace kelp {

inline void ApplyPortListStyle(Dialog& dialog, int listId) {
    dialog.listChangeExtendedStyle(listId, ListExFullRowSelect | ListExGridLines | ListExTrackSelect,
                                   ListExFullRowSelect | ListExGridLines);
}

}  // namespace kelp
