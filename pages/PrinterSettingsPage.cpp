#include "pages/PrinterSettingsPage.h"

#include <algorithm>
#include <optional>

#include "app/EnglishTexts.h"
#include "pages/AboutBox.h"
#include "install/AutomaticPort.h"
#include "install/ModelCatalogue.h"
#include "install/MovedPrinter.h"
#include "install/Names.h"
#include "install/NetworkPrinter.h"
#include "install/RunLog.h"
#include "pages/PortPage.h"
#include "pages/WhileRunning.h"
#include "install/SerialValueTables.h"
#include "install/TestReceipt.h"
#include "install/CashDrawer.h"
#include "install/UsbPrinterModel.h"
#include "install/Wording.h"
#include "res/resource.h"

namespace kelp {

namespace {

constexpr ControlText kEnglishTexts[] = {
    {IDC_SET_BACK, "Back(&N) >"},
    {IDC_SET_NEXT, "Next >"},
    {IDC_SET_EXIT, "Exit"},
    {IDC_SET_MODEL_LABEL, "Driver Name"},
    {IDC_SET_GROUP, "Printer Settings"},
    {IDC_SET_NAME_LABEL, "Printer Name"},
    {IDC_SET_NOTE, "This driver is suitable for Windows x86/x64 systems"},
    {IDC_SET_DEFAULT_LABEL, "Set As Default Printer"},
};


struct SerialList {
    int id;
    std::span<const SerialRow> (*rows)();
    int initialRow;
};

constexpr SerialList kSerialLists[] = {
    {IDC_SET_PORT, SerialValueTables::ports, 0},
    {IDC_SET_BAUD, SerialValueTables::baudRates, 5},
    {IDC_SET_DATA_BITS, SerialValueTables::dataBits, 3},
    {IDC_SET_STOP_BITS, SerialValueTables::stopBits, 0},
    {IDC_SET_PARITY, SerialValueTables::parities, 2},
    {IDC_SET_FLOW, SerialValueTables::flowControls, 2},
};

// The lists that only a COM port uses.
constexpr int kSerialSettingLists[] = {IDC_SET_BAUD, IDC_SET_DATA_BITS, IDC_SET_STOP_BITS, IDC_SET_PARITY,
                                       IDC_SET_FLOW};

constexpr std::uint32_t kTestReceiptWaitSeconds = 30;

// The bar follows the test receipt's job; the window keeps answering, and
// the note line says what is waited for while the printer is asked.
class TestReceiptProgress final : public InstallationProgress {
public:
    void position(int percent) override { dialog_.progressSetPosition(IDC_SET_PROGRESS, percent); }
    TestReceiptProgress(Dialog& dialog, Language language) : dialog_(dialog), language_(language) {}
    void doing(const Waiting& waiting) override {
        if (!noted_) note_ = dialog_.text(IDC_SET_NOTE);
        noted_ = true;
        const std::string text = DescribeWaiting(waiting, language_);
        dialog_.setText(IDC_SET_NOTE, text.empty() ? note_ : text);
        dialog_.pumpMessages();
    }
    void waiting() override { dialog_.pumpMessages(); }

private:
    Dialog& dialog_;
    Language language_;
    std::string note_;
    bool noted_ = false;
};

// osCode values for which the completion message is shown.
constexpr int kFirstOsCodeWithMessage = 3;
constexpr int kLastOsCodeWithMessage = 9;

}  // namespace

PrinterSettingsPage::PrinterSettingsPage(AppContext& context) : Page(IDD_PRINTER_SETTINGS), context_(context) {}

// The shared state must not keep pointing at pages that are gone.
PrinterSettingsPage::~PrinterSettingsPage() {
    if (context_.settings.settingsPage == this) context_.settings.settingsPage = nullptr;
    if (portPage_ && context_.settings.portPage == portPage_.get()) context_.settings.portPage = nullptr;
}

bool PrinterSettingsPage::onInit() {
    if (context_.settings.language() == Language::English) showEnglishTexts();
    addAboutEntry();
    fillModelList();
    dialog().setCheck(IDC_SET_DEFAULT, false);
    dialog().setText(IDC_SET_NAME, ModelCatalogue::rows()[0].displayName);
    selectAttachedModel();
    fillSerialLists();
    enableSerialLists(false);
    context_.settings.settingsPage = this;
    return true;
}

// Nothing acts while a page or box this page opened is up (running_): a
// Next that another program posts would otherwise replace the port page
// under its own running handlers.
void PrinterSettingsPage::onCommand(int id, int code) {
    if (running_) return;
    switch (id) {
        case IDC_SET_MODEL:
            if (code == ComboSelectionChange) onModelChanged();
            break;
        case IDC_SET_PORT:
            if (code == ComboSelectionChange) onPortChanged();
            break;
        case IDC_SET_NEXT: onNext(); break;
        case IDC_SET_BACK: end(PageCancel); break;
        case IDC_SET_EXIT: onCancel(); break;
        default: break;
    }
}

// Enter, Esc and the close box wait for a running test receipt; so does
// the About box.
void PrinterSettingsPage::onOk() {
    if (!running_) end(PageOk);
}

void PrinterSettingsPage::onCancel() {
    if (!running_) end(PageOk);
}

bool PrinterSettingsPage::onSysCommand(unsigned command) {
    if ((command & SysCommandMask) != IDM_ABOUTBOX) return false;
    if (!running_) showAboutBox();
    return true;
}

int PrinterSettingsPage::modelRow() const { return dialog().comboSelection(IDC_SET_MODEL); }
bool PrinterSettingsPage::defaultPrinter() const { return dialog().isChecked(IDC_SET_DEFAULT); }
int PrinterSettingsPage::portIndex() const { return dialog().comboSelection(IDC_SET_PORT); }
int PrinterSettingsPage::baudIndex() const { return dialog().comboSelection(IDC_SET_BAUD); }
int PrinterSettingsPage::dataBitsIndex() const { return dialog().comboSelection(IDC_SET_DATA_BITS); }
int PrinterSettingsPage::stopBitsIndex() const { return dialog().comboSelection(IDC_SET_STOP_BITS); }
int PrinterSettingsPage::parityIndex() const { return dialog().comboSelection(IDC_SET_PARITY); }
int PrinterSettingsPage::flowControlIndex() const { return dialog().comboSelection(IDC_SET_FLOW); }

PrinterChoices PrinterSettingsPage::choices() const {
    PrinterChoices c;
    c.language = context_.settings.language();
    c.modelRow = modelRow();
    c.defaultPrinter = defaultPrinter();
    c.portIndex = portIndex();
    c.baudIndex = baudIndex();
    c.dataBitsIndex = dataBitsIndex();
    c.stopBitsIndex = stopBitsIndex();
    c.parityIndex = parityIndex();
    c.flowControlIndex = flowControlIndex();
    return c;
}

void PrinterSettingsPage::showEnglishTexts() { SetControlTexts(dialog(), kEnglishTexts); }

// The About entry stays Chinese in both languages.
void PrinterSettingsPage::addAboutEntry() {
    const std::string entry = dialog().loadString(IDS_ABOUTBOX);
    if (entry.empty()) return;
    if (!dialog().appendSystemMenuSeparator()) return;
    dialog().appendSystemMenuItem(IDM_ABOUTBOX, entry);
}

void PrinterSettingsPage::fillModelList() {
    dialog().comboReset(IDC_SET_MODEL);
    for (const auto& model : ModelCatalogue::rows()) dialog().comboAdd(IDC_SET_MODEL, model.displayName);
    dialog().comboSetSelection(IDC_SET_MODEL, 0);
}

// The model the one attached USB printer names itself, where exactly one
// names one of the seven; the person can still pick another.
void PrinterSettingsPage::selectAttachedModel() {
    const auto interfaces = context_.platform.usbPrinterInterfaces();
    if (!interfaces.ok()) return;
    const int row = ModelRowOfTheAttachedPrinter(interfaces.value);
    const ModelRow* model = ModelCatalogue::row(row);
    if (!model) return;
    dialog().comboSetSelection(IDC_SET_MODEL, row);
    dialog().setText(IDC_SET_NAME, model->displayName);
    if (context_.log) context_.log->line(std::string("the attached USB printer names itself ") + model->displayName +
                                         ": that model is selected");
}

void PrinterSettingsPage::fillSerialLists() {
    for (const auto& list : kSerialLists) {
        dialog().comboReset(list.id);
        for (const auto& row : list.rows()) dialog().comboAdd(list.id, row.listText);
        dialog().comboSetSelection(list.id, list.initialRow);
    }
}

void PrinterSettingsPage::enableSerialLists(bool enabled) {
    for (int id : kSerialSettingLists) dialog().enable(id, enabled);
}

void PrinterSettingsPage::onModelChanged() {
    if (const ModelRow* model = ModelCatalogue::row(modelRow())) dialog().setText(IDC_SET_NAME, model->displayName);
}

// Serial settings apply to COM ports only; no selection counts as LPT.
void PrinterSettingsPage::onPortChanged() { enableSerialLists(portIndex() >= SerialValueTables::FirstComPortRow); }

// The port page, then what came of it, with this page's commands waiting
// from the first to the last box.
void PrinterSettingsPage::onNext() {
    const WhileRunning running(dialog(), running_, {});
    portPage_ = std::make_unique<PortPage>(context_);
    context_.settings.portPage = portPage_.get();
    const int result = context_.host.runModal(*portPage_);
    if (result == PageCancel) return;  // Back or Cancel: stay
    // A window that could not be made, or a handler that failed: the user
    // is told, and the wizard stays on this page.
    if (result == PageFailed) {
        std::string text = DescribePageNotice(PageNotice::PortPageFailed, context_.settings.language());
        if (context_.log) context_.log->line("the port page could not be opened or failed (result -1)");
        if (context_.log && context_.log->written())
            text += DescribeLogLine(context_.log->path(), context_.settings.language());
        dialog().messageBox(text, MessageIcon::Exclamation);
        return;
    }
    context_.settings.selectedPort = portPage_->chosenPort();
    if (const auto& outcome = portPage_->outcome()) {
        reportInstallation(*outcome);
        // Paper coming out is the proof the person at the counter trusts.
        if (outcome->succeeded() && outcome->report.printerInstalled) offerTestReceipt();
    }
    end(PageOk);
}

// What the installation did, then the port the printer is on and why; the
// same lines go to the log. A plain success is announced on the Windows
// versions that always had the message; a failure, or a printer that was
// there already, is told whatever the version. A failure ends with the log,
// when lines were written to it.
void PrinterSettingsPage::reportInstallation(const InstallationOutcome& outcome) {
    const InstallReport& report = outcome.report;
    const Language language = context_.settings.language();
    const ModelRow* model = ModelCatalogue::row(modelRow());
    const std::string name = model ? model->displayName : "";
    const bool plainSuccess = report.succeeded() && !report.printerExisted;
    const std::string text = DescribeInstallation(outcome, name, language);
    if (context_.log) {
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            context_.log->line(text.substr(start, end - start));
        context_.log->line(text.substr(start));
    }
    const int osCode = context_.settings.osCode;
    if (plainSuccess && (osCode < kFirstOsCodeWithMessage || osCode > kLastOsCodeWithMessage)) return;
    const std::string logPath = context_.log && context_.log->written() ? context_.log->path() : "";
    dialog().messageBox(DescribeInstallation(outcome, name, language, logPath),
                        report.succeeded() ? MessageIcon::None : MessageIcon::Exclamation);
}

// The question, and on Yes the test receipt through the engine, followed
// for at most kTestReceiptWaitSeconds while the bar moves; then one box
// with what came of it. The page's buttons wait meanwhile. A printer that
// gives no status gets the receipt only when the person says so, asked
// once the engine has returned (and let go of its lock).
void PrinterSettingsPage::offerTestReceipt() {
    const Language language = context_.settings.language();
    if (!dialog().askYesNo(DescribePageNotice(PageNotice::OfferTestReceipt, language))) return;
    TestReceiptRequest request;
    request.modelRow = modelRow();
    request.language = language;
    request.waitSeconds = kTestReceiptWaitSeconds;
    TestReceiptOutcome outcome = runTestReceipt(request);
    if (outcome.result == TestReceiptResult::NeedsConfirmation) {
        if (context_.log) context_.log->line("test receipt: the printer gives no status; the person is asked");
        if (!dialog().askYesNo(AskToSendUnchecked(outcome, language))) {
            if (context_.log) context_.log->line("test receipt: not sent (the person said no)");
            return;
        }
        request.force = true;
        outcome = runTestReceipt(request);
    }
    // Some USB interfaces report paper empty wrongly: the person decides.
    if (outcome.result == TestReceiptResult::UsbPaperEmpty) {
        if (context_.log) context_.log->line("test receipt: the USB printer reports paper empty; the person is asked");
        if (!dialog().askYesNo(AskToSendDespitePaper(outcome, language))) {
            if (context_.log) context_.log->line("test receipt: not sent (the person said no)");
            return;
        }
        request.force = true;
        outcome = runTestReceipt(request);
    }
    const std::optional<std::string> found = PrinterMayHaveMoved(outcome) ? lookForMovedPrinter(outcome, request)
                                                                          : std::optional<std::string>("");
    if (!found) return;  // the move failed, and its box said so
    const WinError systemError = TestReceiptSystemError(outcome);
    std::string text = DescribeTestReceiptOutcome(outcome, kTestReceiptWaitSeconds, language,
                                                  systemError ? context_.platform.errorText(systemError, language) : "");
    if (!found->empty()) text += "\n" + *found;
    if (context_.log) context_.log->line("test receipt: " + text);
    if (!outcome.sent() && context_.log && context_.log->written())
        text += DescribeLogLine(context_.log->path(), language);
    // A receipt that printed: the same box asks about the cash drawer.
    if (outcome.result == TestReceiptResult::Printed) {
        if (dialog().askYesNo(AskToOpenCashDrawer(text, language))) openCashDrawer(outcome);
        return;
    }
    dialog().messageBox(text, outcome.sent() ? MessageIcon::None : MessageIcon::Exclamation);
}

// Pin 2 first; where the printer reports that the drawer's sensor did not
// change, pin 5 (drawers are wired to either). One box says which opened,
// or that neither did and what to check; it is shown once the engine has
// let go of its lock.
void PrinterSettingsPage::openCashDrawer(const TestReceiptOutcome& receipt) {
    const Language language = context_.settings.language();
    DrawerOutcome first;
    std::optional<DrawerOutcome> second;
    {
        const WhileRunning running(dialog(), running_, {IDC_SET_BACK, IDC_SET_NEXT, IDC_SET_EXIT}, IDC_SET_NAME);
        first = OpenCashDrawer(context_.platform, context_.network, context_.serialPorts, receipt.printerName,
                               receipt.port, DrawerPin::Pin2, context_.log);
        if (first.result == DrawerResult::Unchanged)
            second = OpenCashDrawer(context_.platform, context_.network, context_.serialPorts, receipt.printerName,
                                    receipt.port, DrawerPin::Pin5, context_.log);
    }
    const DrawerOutcome& last = second ? *second : first;
    const bool opened = last.result == DrawerResult::Opened || last.result == DrawerResult::SentAsJob;
    dialog().messageBox(DescribeDrawerTrial(first, second, language),
                        opened ? MessageIcon::None : MessageIcon::Exclamation);
}

TestReceiptOutcome PrinterSettingsPage::runTestReceipt(const TestReceiptRequest& request) {
    TestReceiptOutcome outcome;
    {
        const WhileRunning running(dialog(), running_, {IDC_SET_BACK, IDC_SET_NEXT, IDC_SET_EXIT}, IDC_SET_NAME);
        dialog().progressSetRange(IDC_SET_PROGRESS, 0, 100);
        dialog().progressSetPosition(IDC_SET_PROGRESS, 0);
        dialog().show(IDC_SET_PROGRESS, true);
        TestReceiptProgress progress(dialog(), request.language);
        outcome = PrintTestReceipt(context_.platform, context_.network, context_.serialPorts, request, context_.log,
                                   &progress);
        dialog().show(IDC_SET_PROGRESS, false);
    }
    return outcome;
}

void PrinterSettingsPage::runWithBar(FunctionRef<void(InstallationProgress&)> operation) {
    const WhileRunning running(dialog(), running_, {IDC_SET_BACK, IDC_SET_NEXT, IDC_SET_EXIT}, IDC_SET_NAME);
    dialog().progressSetRange(IDC_SET_PROGRESS, 0, 100);
    dialog().progressSetPosition(IDC_SET_PROGRESS, 0);
    dialog().show(IDC_SET_PROGRESS, true);
    TestReceiptProgress progress(dialog(), context_.settings.language());
    operation(progress);
    dialog().show(IDC_SET_PROGRESS, false);
}

// The search runs as the receipt does, the buttons waiting and the bar
// moving, with no lock held; the question comes once it is over.
std::optional<std::string> PrinterSettingsPage::lookForMovedPrinter(TestReceiptOutcome& outcome, const TestReceiptRequest& request) {
    const Language language = context_.settings.language();
    MovedPrinterSearch search;
    runWithBar([&](InstallationProgress& progress) {
        search = FindMovedPrinter(context_.network, request.modelRow, *outcome.address, context_.log, &progress);
    });
    if (search.find != MovedPrinterFind::One) return DescribeMovedPrinterSearch(search, language);
    const FoundPrinter& found = search.printers.front();
    const bool move = dialog().askYesNo(AskToMovePrinter(outcome, found, language));
    if (context_.log)
        context_.log->line(move ? "moved printer: yes, moved to " + FormatIpv4(found.address)
                                : "moved printer: no, nothing changed");
    if (!move) return "";
    if (!movePrinter({FormatIpv4(found.address), RawTcpPort})) return std::nullopt;
    outcome = runTestReceipt(request);
    return "";
}

bool PrinterSettingsPage::movePrinter(const NetworkAddress& address) {
    const Language language = context_.settings.language();
    InstallationRequest request;
    request.choices = choices();
    request.portChoice = PortChoice::Network;
    request.address = address;
    InstallationOutcome outcome;
    runWithBar([&](InstallationProgress& progress) {
        outcome = InstallPrinter(context_.platform, context_.network, request, context_.log, &progress);
    });
    if (outcome.succeeded()) return true;
    const std::string logPath = context_.log && context_.log->written() ? context_.log->path() : "";
    const ModelRow* model = ModelCatalogue::row(modelRow());
    dialog().messageBox(outcome.ran() ? DescribeInstallation(outcome, model ? model->displayName : "", language, logPath)
                                      : DescribeInstallationStop(outcome, address, language, logPath),
                        MessageIcon::Exclamation);
    return false;
}

void PrinterSettingsPage::showAboutBox() {
    const WhileRunning running(dialog(), running_, {});
    AboutBox about;
    context_.host.runModal(about);  // OK and Cancel are alike here
}

}  // namespace kelp
