// The port page: how the printer is connected. The printer settings page's
// Next creates it on the heap and reads chosenPort after its modal run. Its
// Install button runs the installation while the page is open.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/AppContext.h"
#include "install/AutomaticPort.h"
#include "install/DriverInstaller.h"
#include "install/NetworkPrinter.h"
#include "install/PortInventory.h"
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

    // Rebuilds the inventory and selects the suggested category row, when
    // the list has such a row.
    void classifyPorts();
    void setProgress(int position);

    const std::string& chosenPort() const { return chosenPort_; }
    // Why the automatic choice took chosenPort; nothing for a port the
    // person chose in the list.
    std::optional<PortRule> portRule() const { return portRule_; }
    const PortInventory& inventory() const { return inventory_; }
    // What the installation did; nothing until Install ran it.
    const std::optional<InstallReport>& installReport() const { return installReport_; }
    bool installationFinished() const { return installReport_.has_value(); }
    // How the network printer answered, when the installation put the
    // printer on its TCP/IP port from the network row.
    const std::optional<PrinterState>& printerState() const { return printerState_; }

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
    bool chooseAutomaticPort();
    bool chooseExplicitPort();
    bool networkRowChosen() const;
    void installOnNetwork(PrinterSettingsPage& settingsPage);
    void installOnTcpIpPort(PrinterSettingsPage& settingsPage, const TcpIpPort& port, const NetworkAddress& address,
                            std::vector<std::string>& messages);

    AppContext& context_;
    std::string chosenPort_;
    std::string automaticPort_;
    int selectedRow_ = -1;
    // The list shows the machine's ports (after Search Port or Create Port),
    // not the three categories.
    bool portMode_ = false;
    std::optional<PortRule> portRule_;
    PortInventory inventory_;
    std::optional<InstallReport> installReport_;
    std::optional<PrinterState> printerState_;
};

}  // namespace kelp
