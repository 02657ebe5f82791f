// The wizard state shared by all pages for the whole run.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Language.h"

namespace kelp {

class PrinterSettingsPage;
class PortPage;

struct InstallSettings {
    std::int32_t englishFlag = 0;  // 0 Simplified Chinese, 1 English
    Language language() const { return englishFlag == 1 ? Language::English : Language::Chinese; }
    std::int32_t osCode = 0;       // OsVersionCode, 0 = not recognised
    PrinterSettingsPage* settingsPage = nullptr;  // the open settings page
    PortPage* portPage = nullptr;                 // the last port page
    std::string selectedPort;
    bool portSearchPending = true;
};

}  // namespace kelp
