#include "pages/NetworkDialog.h"

#include <string>

#include "app/EnglishTexts.h"
#include "install/RunLog.h"
#include "install/Wording.h"
#include "pages/PortListStyle.h"
#include "res/resource.h"

namespace kelp {

namespace {

constexpr ControlText kEnglishTexts[] = {
    {IDC_NET_ADDRESS_LABEL, "The printer's IP address or host name (add \":port\" for a port other than 9100):"},
    {IDC_NET_FIND, "&Find"},
    {IDC_NET_STATUS, "Click Find to look for printers on this computer's networks, or type the address."},
    {IdOk, "OK"},
    {IdCancel, "Cancel"},
};

struct Column {
    Bilingual heading;
    int width;
};
// The model is the printer's own name for itself, as it said it (empty when
// it said none).
constexpr Column kColumns[] = {{{"地址", "Address"}, 106}, {{"状态", "State"}, 360}, {{"型号", "Model"}, 140}};

}  // namespace

NetworkDialog::NetworkDialog(AppContext& context) : Page(IDD_NETWORK), context_(context) {}

bool NetworkDialog::onInit() {
    if (context_.settings.language() == Language::English) showEnglishTexts();
    ApplyPortListStyle(dialog(), IDC_NET_LIST);
    insertColumns();
    dialog().progressSetRange(IDC_NET_PROGRESS, 0, 100);
    dialog().progressSetPosition(IDC_NET_PROGRESS, 0);
    return true;
}

void NetworkDialog::onCommand(int id, int /*code*/) {
    if (id == IDC_NET_FIND) onFind();
}

std::intptr_t NetworkDialog::onNotify(int id, int code) {
    if (id == IDC_NET_LIST && (code == NotifyClick || code == ListItemChanged)) fillAddressFromList();
    return 0;
}

// Enter in the field comes here too (OK is the default button).
void NetworkDialog::onOk() {
    if (searching_) return;
    AddressParse parsed = ParseNetworkAddress(dialog().text(IDC_NET_ADDRESS));
    // An address typed is checked against this computer's networks here, so
    // that it can be put right at once; a name is looked up by the installation.
    if (const auto literal = parsed.ok() ? ParseIpv4(parsed.address.host) : std::nullopt)
        parsed.problem = RefusedAddress(*literal, context_.network.adapterInterfaces().value);
    if (!parsed.ok()) {
        const Language language = context_.settings.language();
        dialog().messageBox(DescribeBadAddress(parsed.problem, language), MessageIcon::Exclamation);
        return;
    }
    address_ = parsed.address;
    end(PageOk);
}

void NetworkDialog::onCancel() {
    if (searching_) {
        cancelRequested_ = true;
        return;
    }
    end(PageCancel);
}

void NetworkDialog::showEnglishTexts() { SetControlTexts(dialog(), kEnglishTexts); }

void NetworkDialog::insertColumns() {
    const Language language = context_.settings.language();
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i)
        dialog().listInsertColumn(IDC_NET_LIST, i, kColumns[i].heading.in(language),
                                  ScaleForDpi(kColumns[i].width, dialog().dpi()));
}

// The search runs on this thread; its progress pumps the window's messages,
// so that the bar moves and Cancel reaches onCancel, which stops it.
void NetworkDialog::onFind() {
    const Language language = context_.settings.language();
    dialog().listDeleteAll(IDC_NET_LIST);
    dialog().progressSetPosition(IDC_NET_PROGRESS, 0);
    // Adapters that cannot be read are this computer's failure, told with
    // its error, not taken for no network.
    WinError adapters = winerr::Success;
    const auto ranges = AdapterScanRanges(context_.network, &adapters);
    if (adapters != winerr::Success) {
        dialog().setText(IDC_NET_STATUS, DescribeAdaptersUnreadable(adapters, language));
        if (context_.log)
            context_.log->line("printer search: the network adapters cannot be read (" +
                               ErrorNumber(adapters, Language::English) + ")");
        return;
    }
    if (ranges.empty()) {
        dialog().setText(IDC_NET_STATUS, DescribeSearch(SearchLine::NoNetwork, 0, language));
        if (context_.log) context_.log->line("printer search: no connected network to search");
        return;
    }
    setSearching(true);
    WinError failure = winerr::Success;
    const auto printers = FindPrinters(
        context_.network, ranges, [this](std::size_t done, std::size_t total) { return showProgress(done, total); },
        {}, &failure);
    setSearching(false);
    showSearchOutcome(listPrinters(printers), printers.size(), cancelRequested_);
    if (failure != winerr::Success) showSearchFailure(failure);
    // The keyboard picks a printer with the arrows and Enter, or types.
    dialog().focusControl(printers.empty() ? IDC_NET_ADDRESS : IDC_NET_LIST);
}

bool NetworkDialog::showProgress(std::size_t done, std::size_t total) {
    if (total > 0) dialog().progressSetPosition(IDC_NET_PROGRESS, static_cast<int>(done * 100 / total));
    dialog().pumpMessages();
    return !cancelRequested_;
}

// While searching only Cancel (which stops the search) and the field work;
// Find or OK hands the focus to Cancel before it is disabled.
void NetworkDialog::setSearching(bool searching) {
    searching_ = searching;
    if (searching) cancelRequested_ = false;
    const int focused = dialog().focusedControl();
    if (searching && (focused == IDC_NET_FIND || focused == IdOk)) dialog().focusControl(IdCancel);
    dialog().enable(IDC_NET_FIND, !searching);
    dialog().enable(IdOk, !searching);
    if (searching) dialog().setText(IDC_NET_STATUS, DescribeSearch(SearchLine::Searching, 0, context_.settings.language()));
}

// The peers that answered as receipt printers first, the others (silent,
// stopped answering, no receipt printer) after them; answers how many
// answered as printers.
std::size_t NetworkDialog::listPrinters(const std::vector<FoundPrinter>& printers) {
    const Language language = context_.settings.language();
    std::size_t counted = 0;
    for (const bool printer : {true, false}) {
        for (const auto& found : printers) {
            if (AnsweredAsPrinter(found.state) != printer) continue;
            counted += printer ? 1 : 0;
            dialog().listAddRow(IDC_NET_LIST, {FormatIpv4(found.address), DescribePrinterState(found.state, language),
                                               OutsideText(found.identity.model)});
        }
    }
    return counted;
}

// What the search found, or why the list is empty; a cancelled search lists
// the printers it had found.
void NetworkDialog::showSearchOutcome(std::size_t found, std::size_t listed, bool cancelled) {
    const Language language = context_.settings.language();
    // Peers that answered as no receipt printer are listed, not counted.
    const SearchLine line = found > 0    ? (cancelled ? SearchLine::CancelledFound : SearchLine::Found)
                            : listed > 0 ? (cancelled ? SearchLine::CancelledNoneAnswered : SearchLine::NoneAnswered)
                                         : (cancelled ? SearchLine::Cancelled : SearchLine::NoneFound);
    dialog().setText(IDC_NET_STATUS, DescribeSearch(line, found, language));
    if (context_.log)
        context_.log->line("printer search: " + std::to_string(found) + " found" + (cancelled ? " (cancelled)" : ""));
}

// What was found stays listed; the status line says the rest is unknown.
void NetworkDialog::showSearchFailure(WinError failure) {
    const std::string text = DescribeSearchFailure(failure, context_.settings.language());
    dialog().setText(IDC_NET_STATUS, text);
    if (context_.log) context_.log->line("printer search: " + DescribeSearchFailure(failure, Language::English));
}

void NetworkDialog::fillAddressFromList() {
    const int rows = dialog().listRowCount(IDC_NET_LIST);
    for (int row = 0; row < rows; ++row) {
        if (!dialog().listRowSelected(IDC_NET_LIST, row)) continue;
        dialog().setText(IDC_NET_ADDRESS, dialog().listCell(IDC_NET_LIST, row, 0));
        return;
    }
}

}  // namespace kelp
