// Every page shows the Chinese texts of its template; when the wizard speaks
// English, its initialisation replaces them by fixed English literals.
#pragma once

#include <span>

#include "platform/Dialog.h"
#include "platform/Language.h"

namespace kelp {

struct ControlText {
    int id;
    const char* text;
};

inline void SetControlTexts(Dialog& dialog, std::span<const ControlText> texts) {
    for (const auto& t : texts) dialog.setText(t.id, t.text);
}

}  // namespace kelp
