// Lists the spooler's port monitors; New Port asks the selected monitor for
// a new port through its own dialog.
#pragma once

#include "app/AppContext.h"
#include "platform/Dialog.h"

namespace kelp {

class PortTypesDialog : public Page {
public:
    explicit PortTypesDialog(AppContext& context);

    bool onInit() override;
    void onCommand(int id, int code) override;

private:
    void showEnglishTexts();
    void fillMonitorList();
    void onNewPort();

    AppContext& context_;
};

}  // namespace kelp
