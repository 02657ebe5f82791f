// The port page: how the printer is connected. The printer settings page's
// Next creates it on the heap and reads chosenPort after its modal run.
#pragma once

#include <string>

#include "app/AppContext.h"
#include "platform/Dialog.h"

namespace kelp {

class PortPage : public Page {
public:
    explicit PortPage(AppContext& context);

    void onCommand(int id, int code) override;

    const std::string& chosenPort() const { return chosenPort_; }
    // True once an installation has run to its end on this page.
    bool installationFinished() const { return installationFinished_; }

private:
    void onBack();

    AppContext& context_;
    std::string chosenPort_;
    bool installationFinished_ = false;
};

}  // namespace kelp
