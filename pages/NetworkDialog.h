// The network printer dialog, opened by Install on the port page's network
// row: the address of a receipt printer on the network, typed, or picked
// from a search of the computer's networks. OK checks the address and ends
// the dialog; the port page then makes or reuses the TCP/IP port, asks the
// printer how it is and installs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/AppContext.h"
#include "install/NetworkPrinter.h"
#include "platform/Dialog.h"

namespace kelp {

class NetworkDialog : public Page {
public:
    explicit NetworkDialog(AppContext& context);

    bool onInit() override;
    void onCommand(int id, int code) override;
    std::intptr_t onNotify(int id, int code) override;
    // OK: a bad address is told and the dialog stays.
    void onOk() override;
    // Cancel, Esc and the close box: during a search they stop it and the
    // dialog stays; otherwise back to the port page.
    void onCancel() override;

    // The address OK accepted.
    const NetworkAddress& address() const { return address_; }

private:
    void showEnglishTexts();
    void insertColumns();
    void onFind();
    bool showProgress(std::size_t done, std::size_t total);
    void setSearching(bool searching);
    std::size_t listPrinters(const std::vector<FoundPrinter>& printers);
    void showSearchOutcome(std::size_t found, std::size_t listed, bool cancelled);
    void showSearchFailure(WinError failure);
    void fillAddressFromList();

    AppContext& context_;
    bool searching_ = false;
    bool cancelRequested_ = false;
    NetworkAddress address_;
};

}  // namespace kelp
