#include "pages/SystemPage.h"

#include "app/EnglishTexts.h"
#include "install/OsVersion.h"
#include "pages/UsbDriverLauncher.h"
#include "res/resource.h"

namespace kelp {

void DetectOsVersionCode(Platform& platform, InstallSettings& settings) {
    auto version = QueryOsVersion(platform);
    if (!version) return;
    if (auto code = ClassifyOsVersionCode(*version)) settings.osCode = *code;
}

namespace {

constexpr ControlText kEnglishTexts[] = {
    {IDC_SYS_INSTALL, "Install Printer Driver(&N) >"},
    {IDC_SYS_EXIT, "Exit"},
    {IDC_SYS_GROUP, "Select System"},
    {IDC_SYS_NOTE, "This driver is suitable for Windows x86/x64 systems"},
};

// Radio button of each OsVersionCode, from 1 to 9.
constexpr int kRadioButtons[] = {IDC_SYS_WIN95,   IDC_SYS_WIN98, IDC_SYS_NT4,   IDC_SYS_WIN2000, IDC_SYS_XP,
                                 IDC_SYS_WIN2003, IDC_SYS_VISTA, IDC_SYS_WIN7, IDC_SYS_WIN8};

}  // namespace

SystemPage::SystemPage(AppContext& context) : Page(IDD_SYSTEM), context_(context) {}

bool SystemPage::onInit() {
    if (context_.settings.language() == Language::English) showEnglishTexts();
    DetectOsVersionCode(context_.platform, context_.settings);
    checkDetectedVersion();
    return true;
}

void SystemPage::onCommand(int id, int /*code*/) {
    switch (id) {
        case IDC_SYS_INSTALL: onOk(); break;
        case IDC_SYS_EXIT: onCancel(); break;
        case IDC_SYS_USB_DRIVER: LaunchUsbDriverForBitness(context_.platform); break;
        case IDC_SYS_USB_DRIVER_X86: LaunchFixedX86UsbDriver(context_.platform); break;
        default: break;  // the hidden Back button does nothing
    }
}

int SystemPage::RadioButtonOf(int osCode) {
    if (osCode < 1 || osCode > 9) return 0;
    return kRadioButtons[osCode - 1];
}

void SystemPage::showEnglishTexts() { SetControlTexts(dialog(), kEnglishTexts); }

void SystemPage::checkDetectedVersion() {
    if (const int radio = RadioButtonOf(context_.settings.osCode)) dialog().setCheck(radio, true);
}

}  // namespace kelp
