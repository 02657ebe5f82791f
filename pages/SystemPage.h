// The second page: shows the detected Windows version and goes on to the
// printer settings, or ends the wizard.
#pragma once

#include "app/AppContext.h"
#include "platform/Dialog.h"

namespace kelp {

// Stores the code of the running system in osCode; an unrecognised system or
// a failed query leaves osCode as it was.
void DetectOsVersionCode(Platform& platform, InstallSettings& settings);

class SystemPage : public Page {
public:
    explicit SystemPage(AppContext& context);

    bool onInit() override;
    void onCommand(int id, int code) override;

    // The radio button of an OsVersionCode 1 to 9, 0 for any other code.
    static int RadioButtonOf(int osCode);

private:
    void showEnglishTexts();
    void checkDetectedVersion();

    AppContext& context_;
};

}  // namespace kelp
