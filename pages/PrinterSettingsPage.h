// The third page: the printer model, its printer name, the default-printer
// box and the (hidden) serial-line settings. Next opens the port page, from
// which the installation runs as an operation of this page.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/AppContext.h"
#include "install/Installation.h"
#include "install/TestReceipt.h"
#include "platform/Dialog.h"
#include "platform/FunctionRef.h"

namespace kelp {

class PortPage;

class PrinterSettingsPage : public Page {
public:
    explicit PrinterSettingsPage(AppContext& context);
    ~PrinterSettingsPage() override;

    bool onInit() override;
    void onCommand(int id, int code) override;
    void onOk() override;
    // Exit, Esc and the close box end the wizard: result 1.
    void onCancel() override;
    bool onSysCommand(unsigned command) override;

    // The page choices, read from the controls when needed.
    int modelRow() const;
    bool defaultPrinter() const;
    int portIndex() const;
    int baudIndex() const;
    int dataBitsIndex() const;
    int stopBitsIndex() const;
    int parityIndex() const;
    int flowControlIndex() const;
    PrinterChoices choices() const;

private:
    void showEnglishTexts();
    void addAboutEntry();
    void fillModelList();
    void selectAttachedModel();
    void fillSerialLists();
    void enableSerialLists(bool enabled);
    void onModelChanged();
    void onPortChanged();
    void onNext();
    void reportInstallation(const InstallationOutcome& outcome);
    void offerTestReceipt();
    // The engine's test receipt while the page's buttons wait and the bar moves.
    TestReceiptOutcome runTestReceipt(const TestReceiptRequest& request);
    void openCashDrawer(const TestReceiptOutcome& receipt);
    // A network printer that did not answer: looked for elsewhere; what the
    // search adds to the receipt's box (empty when nothing; nothing at all
    // when a move failed and its box was shown). Yes to moving it reruns the
    // receipt into outcome.
    std::optional<std::string> lookForMovedPrinter(TestReceiptOutcome& outcome, const TestReceiptRequest& request);
    // An operation of the engine while the page's buttons wait and the bar
    // moves, as runTestReceipt's.
    void runWithBar(FunctionRef<void(InstallationProgress&)> operation);
    // The installation on the network row's operation at the address found;
    // false when it did not succeed (its box was shown).
    bool movePrinter(const NetworkAddress& address);
    void showAboutBox();

    AppContext& context_;
    std::unique_ptr<PortPage> portPage_;
    bool running_ = false;  // a test receipt runs (and pumps messages)
};

}  // namespace kelp
