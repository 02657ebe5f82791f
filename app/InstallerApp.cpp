#include "app/InstallerApp.h"

#include "app/LanguagePage.h"
#include "install/Session.h"
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
    // A service's or a deployment tool's session 0: nobody would see a page.
    if (!WindowsCanBeSeen(context_.platform)) {
        if (context_.log)
            context_.log->line("no visible window station or session 0: the wizard shows no page here; "
                               "use the command line (Kelp.exe /? lists it)");
        exitCode_ = static_cast<int>(winerr::InstallFailure);
        return false;
    }
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
