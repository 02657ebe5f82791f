#include "pages/PortPage.h"

#include "app/EnglishTexts.h"
#include "install/AutomaticPort.h"
#include "install/Installation.h"
#include "install/RunLog.h"
#include "install/SpoolerPorts.h"
#include "install/Wording.h"
#include "install/ModelCatalogue.h"
#include "pages/NetworkDialog.h"
#include "pages/PortListStyle.h"
#include "pages/PortTypesDialog.h"
#include "pages/PrinterSettingsPage.h"
#include "pages/UsbDriverLauncher.h"
#include "pages/WhileRunning.h"
#include "res/resource.h"

namespace kelp {

namespace {

constexpr ControlText kEnglishTexts[] = {
    {IDC_PORT_TITLE, "Specify Port"},
    {IDC_PORT_INTRO, "A port is used to connect a printer to the computer."},
    {IDC_PORT_HINT, "Specify the port that you are using. If you are connecting using TCP/IP "},
    {IDC_PORT_HINT_END, "or another port type not listed below, creat a new port."},
    {IDC_PORT_NOTE, "This driver is suitable for Windows x86/x64 systems"},
    {IDC_PORT_CREATE, "Create Port..."},
    {IDC_PORT_CONFIGURE, "Configure Port..."},
    {IDC_PORT_BACK, "Back"},
    {IDC_PORT_INSTALL, "Install"},
    {IDC_PORT_CANCEL, "Cancel"},
    {IDC_PORT_SEARCH, "Search Port..."},
};

struct Column {
    Bilingual heading;
    int width;
};
constexpr Column kColumns[] = {{{"端口", "Port"}, 150}, {{"类型", "Type"}, 280}};

struct CategoryRow {
    Bilingual port;
    Bilingual type;
};
constexpr CategoryRow kCategoryRows[] = {
    {{"COM", "Serial Port"},
     {"安装过程中将为您选择一个可用的串行端口", "The program will select a available port during instaling."}},
    {{"USB", "USB"}, {"安装过程中将为您选择一个可用的USB端口", "The program will select a available port automatically."}},
    {{"网络端口", "Ethernet Ports"},
     {"安装前程序会提示您选择或配置一个TCP/IP端口", "The program will select a available port during instaling."}},
};

// The page's bar follows the installation; a wait on the network keeps the
// window answering and says what it waits for in the page's note line.
class PageProgress final : public InstallationProgress {
public:
    PageProgress(Dialog& dialog, Language language) : dialog_(dialog), language_(language) {}
    void position(int percent) override { dialog_.progressSetPosition(IDC_PORT_PROGRESS, percent); }
    void doing(const Waiting& waiting) override {
        if (note_.empty()) note_ = dialog_.text(IDC_PORT_NOTE);
        const std::string text = DescribeWaiting(waiting, language_);
        dialog_.setText(IDC_PORT_NOTE, text.empty() ? note_ : text);
        dialog_.pumpMessages();
    }
    void waiting() override { dialog_.pumpMessages(); }

private:
    Dialog& dialog_;
    Language language_;
    std::string note_;
};

}  // namespace

PortPage::PortPage(AppContext& context) : Page(IDD_PORT), context_(context) {}

bool PortPage::onInit() {
    if (context_.settings.language() == Language::English) showEnglishTexts();
    applyListStyle();
    insertColumns();
    fillCategoryRows();
    dialog().listSelectRow(IDC_PORT_LIST, UsbCategoryRow);
    dialog().progressSetRange(IDC_PORT_PROGRESS, 0, 100);
    dialog().progressSetPosition(IDC_PORT_PROGRESS, 0);
    return true;
}

// Enter in the port list (the framework's default OK) would end the page
// without an installation; the page waits for one of its buttons instead.
void PortPage::onOk() {}

// Esc and the close box wait for a running installation.
void PortPage::onCancel() {
    if (!running_) end(PageCancel);
}

void PortPage::onCommand(int id, int /*code*/) {
    if (running_) return;
    switch (id) {
        case IDC_PORT_SEARCH: onSearchPort(); break;
        case IDC_PORT_CREATE: onCreatePort(); break;
        case IDC_PORT_CONFIGURE: onConfigurePort(); break;
        case IDC_PORT_BACK: onBack(); break;
        case IDC_PORT_INSTALL: onInstall(); break;
        case IDC_PORT_CANCEL: onCancel(); break;
        default: break;
    }
}

bool PortPage::IsCategoryLabel(const std::string& text) {
    for (const auto& row : kCategoryRows) {
        if (text == row.port.chinese || text == row.port.english) return true;
    }
    return false;
}

void PortPage::showEnglishTexts() { SetControlTexts(dialog(), kEnglishTexts); }

void PortPage::applyListStyle() { ApplyPortListStyle(dialog(), IDC_PORT_LIST); }

void PortPage::insertColumns() {
    const Language language = context_.settings.language();
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i)
        dialog().listInsertColumn(IDC_PORT_LIST, i, kColumns[i].heading.in(language),
                                  ScaleForDpi(kColumns[i].width, dialog().dpi()));
}

void PortPage::fillCategoryRows() {
    const Language language = context_.settings.language();
    for (const auto& row : kCategoryRows) dialog().listAddRow(IDC_PORT_LIST, {row.port.in(language), row.type.in(language)});
}

int PortPage::firstSelectedRow() const {
    const int rows = dialog().listRowCount(IDC_PORT_LIST);
    for (int row = 0; row < rows; ++row) {
        if (dialog().listRowSelected(IDC_PORT_LIST, row)) return row;
    }
    return -1;
}

// Lists the machine's ports, one row each, with none selected.
void PortPage::onSearchPort() {
    dialog().listDeleteAll(IDC_PORT_LIST);
    const auto ports = EnumerateLocalPorts(context_.platform);
    applyListStyle();
    // A USB port with a printer connected now says so after its description;
    // one whose state cannot be read says that it is not known.
    Result<std::vector<UsbPrinterInterface>> usb;
    for (const auto& port : ports) {
        if (!IsUsbPortName(port.name)) continue;
        usb = context_.platform.usbPrinterInterfaces();
        break;
    }
    for (const auto& port : ports) {
        context_.platform.debugOutput(port.name + "\n");
        std::string state;
        if (IsUsbPortName(port.name))
            state = DescribeUsbPortState(usb.ok() ? UsbPortConnected(port.name, usb.value).value_or(false)
                                                  : std::optional<bool>(),
                                         context_.settings.language());
        dialog().listAddRow(IDC_PORT_LIST, {port.name, port.description + state});
    }
    portMode_ = true;
    context_.settings.portSearchPending = false;
    dialog().enable(IDC_PORT_INSTALL, true);
}

// The monitors' own dialogs create the port; afterwards the list shows the
// machine's ports with a likely one selected. The Install button stays as
// it was: only Search Port enables it again.
void PortPage::onCreatePort() {
    context_.settings.portSearchPending = false;
    {
        PortTypesDialog portTypes(context_);
        context_.host.runModal(portTypes);
    }
    refillAfterCreatePort();
}

// Selects the LPT1 row, else the COM1 row, else the FILE row, taking the
// last of each kind; a match in row 0 counts as none.
void PortPage::refillAfterCreatePort() {
    portMode_ = true;
    dialog().listDeleteAll(IDC_PORT_LIST);
    const auto ports = EnumerateLocalPorts(context_.platform);
    applyListStyle();
    int com1Row = 0, lpt1Row = 0, fileRow = 0;
    for (int row = 0; row < static_cast<int>(ports.size()); ++row) {
        const std::string& name = ports[static_cast<std::size_t>(row)].name;
        const std::string head = name.substr(0, 4);
        if (head == "COM1") com1Row = row;
        if (head == "LPT1") lpt1Row = row;
        if (head == "FILE") fileRow = row;
        context_.platform.debugOutput(name + "\n");
        dialog().listAddRow(IDC_PORT_LIST, {name, ports[static_cast<std::size_t>(row)].description});
    }
    if (lpt1Row > 0)
        dialog().listSelectRow(IDC_PORT_LIST, lpt1Row);
    else if (com1Row > 0)
        dialog().listSelectRow(IDC_PORT_LIST, com1Row);
    else if (fileRow > 0)
        dialog().listSelectRow(IDC_PORT_LIST, fileRow);
}

// The monitor of the selected port shows its configuration dialog, owned by
// this page, which meanwhile acts on nothing another program posts to it.
// A category's label is no port, and is never handed over.
void PortPage::onConfigurePort() {
    const int row = firstSelectedRow();
    if (row < 0) return;
    const std::string port = dialog().listCell(IDC_PORT_LIST, row, 0);
    if (IsCategoryLabel(port)) {
        dialog().messageBox(DescribePageNotice(PageNotice::NoPortToConfigure, context_.settings.language()),
                            MessageIcon::Exclamation);
        return;
    }
    const WhileRunning running(dialog(), running_, {});
    context_.platform.configurePort(dialog().windowHandle(), port);
}

// Back asks for a new port search the next time the page opens.
void PortPage::onBack() {
    end(PageCancel);
    context_.settings.portSearchPending = true;
}

// The USB row of the category list lets the wizard pick the port; in the
// port list every row, the second too, is the port it shows.
void PortPage::onInstall() {
    PrinterSettingsPage* settingsPage = context_.settings.settingsPage;
    if (!settingsPage) return;
    // Before anything is asked or changed (the network dialog included):
    // the page stays open, as it was.
    if (const InstallationStop refused = CheckCanInstall(context_.platform, context_.log);
        refused != InstallationStop::None) {
        InstallationOutcome outcome;
        outcome.stop = refused;
        dialog().messageBox(DescribeInstallationStop(outcome, {}, context_.settings.language()),
                            MessageIcon::Exclamation);
        return;
    }
    if (networkRowChosen()) {
        installOnNetwork(*settingsPage);
        return;
    }
    if (const int row = firstSelectedRow(); row >= 0) selectedRow_ = row;
    InstallationRequest request = requestFrom(*settingsPage);
    if (!portMode_ && selectedRow_ == UsbCategoryRow) {
        request.adjustSpooler = context_.settings.portSearchPending;
    } else {
        // A port of the list needs a search first.
        // Install waits for the search the reminder asks for; the focus
        // goes there first.
        if (context_.settings.portSearchPending) {
            if (dialog().focusedControl() == IDC_PORT_INSTALL) dialog().focusControl(IDC_PORT_SEARCH);
            dialog().enable(IDC_PORT_INSTALL, false);
            dialog().messageBox(DescribePageNotice(PageNotice::SearchFirst, context_.settings.language()),
                                MessageIcon::Exclamation);
            return;
        }
        const int row = firstSelectedRow();
        // Never install on no port, nor on a category's label taken for a port.
        const std::string port = row >= 0 ? dialog().listCell(IDC_PORT_LIST, row, 0) : std::string();
        if (port.empty() || IsCategoryLabel(port)) {
            dialog().messageBox(DescribePageNotice(PageNotice::NoPort, context_.settings.language()),
                                MessageIcon::Exclamation);
            return;
        }
        request.portChoice = PortChoice::Named;
        request.port = port;
        request.namedBy = "port chosen on the port page";
    }
    install(request);
}

// The network printer dialog gives the address; the installation makes or
// reuses its TCP/IP port and installs there.
void PortPage::installOnNetwork(PrinterSettingsPage& settingsPage) {
    selectedRow_ = NetworkCategoryRow;
    NetworkDialog networkDialog(context_);
    if (context_.host.runModal(networkDialog) != PageOk) return;
    InstallationRequest request = requestFrom(settingsPage);
    request.portChoice = PortChoice::Network;
    request.address = networkDialog.address();
    install(request);
}

InstallationRequest PortPage::requestFrom(const PrinterSettingsPage& settingsPage) const {
    InstallationRequest request;
    request.choices = settingsPage.choices();
    request.stopForOtherModel = true;  // the person is asked (install)
    return request;
}

// One installation, removal or test receipt at a time, the command line's
// included: another run's lock leaves the page as it was, so that after
// "try again later" the same click does the same. What the pass must show
// is shown once the lock is back; a run that installed ends the page.
void PortPage::install(const InstallationRequest& request) {
    const Language language = context_.settings.language();
    {
        const WhileRunning running(dialog(), running_,
                                   {IDC_PORT_SEARCH, IDC_PORT_CREATE, IDC_PORT_CONFIGURE, IDC_PORT_BACK,
                                    IDC_PORT_INSTALL, IDC_PORT_CANCEL},
                                   IDC_PORT_LIST);
        PageProgress progress(dialog(), language);
        outcome_ = InstallPrinter(context_.platform, context_.network, request, context_.log, &progress);
    }
    const InstallationOutcome& outcome = *outcome_;
    // Nothing was changed: the person decides, and Yes runs it again, forced.
    if (outcome.stop == InstallationStop::NameNotFound) {
        const std::string question =
            AskToInstallNameNotFound(request.address.host, outcome.error, language);
        outcome_.reset();
        const bool anyway = dialog().askYesNo(question);
        if (context_.log) context_.log->line(anyway ? "install anyway: yes" : "install anyway: no, nothing installed");
        if (!anyway) return;
        InstallationRequest forced = request;
        forced.force = true;
        install(forced);
        return;
    }
    // The printer names another of the models: nothing was changed, the
    // person decides; Yes runs it again as asked (on a USB printer's own port).
    if (outcome.stop == InstallationStop::OtherModel) {
        const ModelRow* chosen = ModelCatalogue::row(request.choices.modelRow);
        const ModelRow* named = ModelCatalogue::row(outcome.namedModelRow);
        const std::string question = AskToInstallOtherModel(chosen ? chosen->displayName : "",
                                                            named ? named->displayName : "", language);
        InstallationRequest asked = request;
        asked.stopForOtherModel = false;
        if (!outcome.namedModelPort.empty()) {
            asked.portChoice = PortChoice::Named;
            asked.port = outcome.namedModelPort;
            asked.namedBy = "port of the attached printer (another model, installed as asked)";
        }
        outcome_.reset();
        const bool anyway = dialog().askYesNo(question);
        if (context_.log) context_.log->line(anyway ? "another model: install as asked" : "another model: no, nothing installed");
        if (anyway) install(asked);
        return;
    }
    if (outcome.suggestedRow >= 0 && outcome.suggestedRow < dialog().listRowCount(IDC_PORT_LIST)) {
        dialog().listSelectRow(IDC_PORT_LIST, outcome.suggestedRow);
        selectedRow_ = outcome.suggestedRow;
    }
    if (!outcome.ran()) {
        // The message names the log only when lines were written to it.
        const std::string logPath = context_.log && context_.log->written() ? context_.log->path() : "";
        const std::string stopped = DescribeInstallationStop(outcome, request.address, language, logPath);
        outcome_.reset();
        dialog().messageBox(stopped, MessageIcon::Exclamation);
        return;
    }
    chosenPort_ = outcome.port;
    // A registry value that could not be written has its own box, as it always had.
    for (const auto& failure : outcome.report.failures)
        if (failure.valueNotWritten) dialog().messageBox(DescribeRegistryWriteFailed(), MessageIcon::Exclamation);
    end(PageOk);
}

// The network row of the category list, selected now or at the last Install.
bool PortPage::networkRowChosen() const {
    const int row = firstSelectedRow();
    return !portMode_ && (row >= 0 ? row : selectedRow_) == NetworkCategoryRow;
}

}  // namespace kelp
