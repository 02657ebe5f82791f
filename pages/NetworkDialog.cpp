#include "pages/NetworkDialog.h"

#include <string>

#include "app/EnglishTexts.h"
#include "install/RunLog.h"
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
constexpr Column kColumns[] = {{{"地址", "Address"}, 120}, {{"状态", "State"}, 220}};

constexpr Bilingual kSearching = {"正在查找打印机...", "Looking for printers..."};
constexpr Bilingual kNoNetwork = {
    "本机没有已连接的网络可供查找。请直接输入打印机的地址。",
    "This computer has no connected network to search. Please type the printer's address."};
constexpr Bilingual kNoneFound = {
    "未找到打印机。请确认打印机已开机并已连接到网络，或直接输入它的地址。",
    "No printer was found. Check that the printer is on and connected to the network, or type its address."};
constexpr Bilingual kCancelled = {"查找已取消。", "The search was cancelled."};
constexpr Bilingual kPickOne = {"点击一台打印机即可填入它的地址。", "Click a printer to fill in its address."};
constexpr Bilingual kBadAddress = {"打印机地址无效：", "The printer's address is not valid. "};

std::string foundText(std::size_t count, Language language) {
    const std::string number = std::to_string(count);
    if (language != Language::English) return "找到 " + number + " 台打印机。";
    return "Found " + number + (count == 1 ? " printer." : " printers.");
}

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
        dialog().messageBox(kBadAddress.in(language) + DescribeAddressProblem(parsed.problem, language),
                            MessageIcon::Exclamation);
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
    const auto ranges = AdapterScanRanges(context_.network);
    if (ranges.empty()) {
        dialog().setText(IDC_NET_STATUS, kNoNetwork.in(language));
        if (context_.log) context_.log->line("printer search: no connected network to search");
        return;
    }
    setSearching(true);
    WinError failure = winerr::Success;
    const auto printers = FindPrinters(
        context_.network, ranges, [this](std::size_t done, std::size_t total) { return showProgress(done, total); },
        {}, &failure);
    setSearching(false);
    listPrinters(printers);
    showSearchOutcome(printers.size(), cancelRequested_);
    if (failure != winerr::Success) showSearchFailure(failure);
}

bool NetworkDialog::showProgress(std::size_t done, std::size_t total) {
    if (total > 0) dialog().progressSetPosition(IDC_NET_PROGRESS, static_cast<int>(done * 100 / total));
    dialog().pumpMessages();
    return !cancelRequested_;
}

// While searching only Cancel (which stops the search) and the field work.
void NetworkDialog::setSearching(bool searching) {
    searching_ = searching;
    if (searching) cancelRequested_ = false;
    dialog().enable(IDC_NET_FIND, !searching);
    dialog().enable(IdOk, !searching);
    if (searching) dialog().setText(IDC_NET_STATUS, kSearching.in(context_.settings.language()));
}

void NetworkDialog::listPrinters(const std::vector<FoundPrinter>& printers) {
    const Language language = context_.settings.language();
    for (const auto& printer : printers)
        dialog().listAddRow(IDC_NET_LIST, {FormatIpv4(printer.address), DescribePrinterState(printer.state, language)});
}

// What the search found, or why the list is empty; a cancelled search lists
// the printers it had found.
void NetworkDialog::showSearchOutcome(std::size_t found, bool cancelled) {
    const Language language = context_.settings.language();
    const std::string gap = language == Language::English ? " " : "";
    std::string text = found > 0 ? foundText(found, language) + gap + kPickOne.in(language)
                                 : (cancelled ? "" : kNoneFound.in(language));
    if (cancelled) text = kCancelled.in(language) + (text.empty() ? "" : gap + text);
    dialog().setText(IDC_NET_STATUS, text);
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
