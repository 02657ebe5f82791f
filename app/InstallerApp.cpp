#include "app/InstallerApp.h"

#include "app/LanguagePage.h"
#include "pages/PrinterSettingsPage.h"
#include "pages/SystemPage.h"

namespace kelp {

InstallerApp::InstallerApp(AppContext& context) : context_(context) {}

InstallerApp::~InstallerApp() = default;

// Language -> System -> PrinterSettings, and back to Language when the
// printer settings page answers Back. Every other result ends the sequence.
// The language page lives for the whole sequence; the system and printer
// settings pages are made anew for each pass.
bool InstallerApp::initInstance() {
    DialogHost& host = context_.host;
    LanguagePage language(context_);
    int result = host.runModal(language);
    while (result == PageOk) {
        auto system = std::make_unique<SystemPage>(context_);
        if (host.runModal(*system) != PageOk) break;
        auto printerSettings = std::make_unique<PrinterSettingsPage>(context_);
        if (host.runModal(*printerSettings) != PageCancel) break;
        printerSettings.reset();
        system.reset();
        result = host.runModal(language);
    }
    return false;
}

}  // namespace kelp
