// The third page: the printer model, its printer name, the default-printer
// box and the (hidden) serial-line settings. Next opens the port page, from
// which the installation runs as an operation of this page.
#pragma once

#include <memory>

#include "app/AppContext.h"
#include "install/DriverInstaller.h"
#include "platform/Dialog.h"

namespace kelp {

class PortPage;

class PrinterSettingsPage : public Page {
public:
    explicit PrinterSettingsPage(AppContext& context);
    ~PrinterSettingsPage() override;

    bool onInit() override;
    void onCommand(int id, int code) override;
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

    // The installation, run by the port page's Install on the port it chose;
    // it moves that page's progress bar and hands the texts the user must
    // see (a registry write refused) to message.
    InstallReport InstallDriver(const ArchitectureProfile& profile, DriverInstaller::MessageSink message);

private:
    void showEnglishTexts();
    void addAboutEntry();
    void fillModelList();
    void fillSerialLists();
    void enableSerialLists(bool enabled);
    void onModelChanged();
    void onPortChanged();
    void onNext();
    void reportInstallation(const InstallReport& report);
    void showAboutBox();

    AppContext& context_;
    std::unique_ptr<PortPage> portPage_;
};

}  // namespace kelp
