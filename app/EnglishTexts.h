// Every page shows the Chinese texts of its template; when the wizard speaks
// English, its initialisation replaces them by fixed English literals.
#pragma once

#include <span>

#include "platform/Dialog.h"

namespace kelp {

struct ControlText {
    int id;
    const char* text;
};

inline void SetControlTexts(Dialog& dialog, std::span<const ControlText> texts) {
    for (const auto& t : texts) dialog.setText(t.id, t.text);
}

// The texts of a message or list row in both languages, picked by englishFlag.
struct BilingualText {
    const char* chinese;
    const char* english;
    const char* in(int englishFlag) const { return englishFlag == 1 ? english : chinese; }
};

}  // namespace kelp
