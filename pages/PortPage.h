// The port page: how the printer is connected. The printer settings page's
// Next creates it on the heap and reads chosenPort after its modal run. Its
// Install button runs the installation while the page is open.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/AppContext.h"
#include "install/Installation.h"
#include "platform/Dialog.h"

namespace kelp {

class PrinterSettingsPage;

class PortPage : public Page {
public:
    explicit PortPage(AppContext& context);

    bool onInit() override;
    void onCommand(int id, int code) override;
    // Enter outside the push buttons: the page stays open.
    void onOk() override;
    void onCancel() override;

    const std::string& chosenPort() const { return chosenPort_; }
    // What the installation did; nothing until Install ran it.
    const std::optional<InstallationOutcome>& outcome() const { return outcome_; }

    // The category rows' labels in both languages, which are no port names.
    static bool IsCategoryLabel(const std::string& text);

private:
    void showEnglishTexts();
    void applyListStyle();
    void insertColumns();
    void fillCategoryRows();
    int firstSelectedRow() const;
    void onSearchPort();
    void onCreatePort();
    void onConfigurePort();
    void refillAfterCreatePort();
    void onBack();
    void onInstall();
    bool networkRowChosen() const;
    void installOnNetwork(PrinterSettingsPage& settingsPage);
    InstallationRequest requestFrom(const PrinterSettingsPage& settingsPage) const;
    void install(const InstallationRequest& request);

    AppContext& context_;
    std::string chosenPort_;
    int selectedRow_ = -1;
    // The list shows the machine's ports (after Search Port or Create Port),
    // not the three categories.
    bool portMode_ = false;
    std::optional<InstallationOutcome> outcome_;
    bool running_ = false;  // an installation runs (and pumps messages)
};

}  // namespace kelp
