#include "pages/PortPage.h"

#include "app/EnglishTexts.h"
#include "install/AutomaticPort.h"
#include "install/RunLog.h"
#include "install/SpoolerPorts.h"
#include "install/ModelCatalogue.h"
#include "pages/NetworkDialog.h"
#include "pages/PortListStyle.h"
#include "pages/PortTypesDialog.h"
#include "pages/PrinterSettingsPage.h"
#include "pages/UsbDriverLauncher.h"
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
    BilingualText heading;
    int width;
};
constexpr Column kColumns[] = {{{"端口", "Port"}, 150}, {{"类型", "Type"}, 280}};

struct CategoryRow {
    BilingualText port;
    BilingualText type;
};
constexpr CategoryRow kCategoryRows[] = {
    {{"COM", "Serial Port"},
     {"安装过程中将为您选择一个可用的串行端口", "The program will select a available port during instaling."}},
    {{"USB", "USB"}, {"安装过程中将为您选择一个可用的USB端口", "The program will select a available port automatically."}},
    {{"网络端口", "Ethernet Ports"},
     {"安装前程序会提示您选择或配置一个TCP/IP端口", "The program will select a available port during instaling."}},
};

constexpr BilingualText kBusyMessage = {
    "另一个 Kelp 安装、删除或测试打印正在进行，本次未安装。请稍后再试。",
    "Another Kelp installation, removal or test receipt is running; nothing was installed. Please try again later."};
constexpr BilingualText kConnectedSuffix = {"（已连接）", " (connected)"};
constexpr const char* kSearchReminder = "Please click \"Search Port...\",then select port!";
constexpr BilingualText kNoPortToConfigureMessage = {
    "请先点击“搜索端口...”，然后选择要配置的端口。",
    "Please click \"Search Port...\", then select the port to configure."};
constexpr BilingualText kNothingInstalled = {"未安装打印机。", "Nothing was installed."};
constexpr BilingualText kNoPortMessage = {
    "没有可用于安装打印机的端口。请点击“搜索端口...”，然后选择一个端口。",
    "There is no port to install the printer on. Please click \"Search Port...\", then select a port."};

// The installation lock for one click of Install. Taken when made; given
// back by release() or when the handler is left, by a return or an
// exception. A lock that could not be taken for another reason than a run
// holding it (a standard user's run) lets the installation go on.
class ScopedInstallationLock {
public:
    ScopedInstallationLock(Platform& platform, RunLog* log)
        : platform_(platform), mutex_(AcquireInstallationLock(platform, log)) {}
    ~ScopedInstallationLock() { release(); }
    ScopedInstallationLock(const ScopedInstallationLock&) = delete;
    ScopedInstallationLock& operator=(const ScopedInstallationLock&) = delete;

    bool heldElsewhere() const { return mutex_.error == winerr::InstallAlreadyRunning; }
    void release() {
        if (mutex_.ok() && mutex_.value != 0) platform_.releaseNamedMutex(mutex_.value);
        mutex_.value = 0;
    }

private:
    Platform& platform_;
    Result<std::uintptr_t> mutex_;
};

}  // namespace

PortPage::PortPage(AppContext& context) : Page(IDD_PORT), context_(context) {}

bool PortPage::onInit() {
    if (context_.settings.englishFlag == 1) showEnglishTexts();
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

void PortPage::onCommand(int id, int /*code*/) {
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

void PortPage::classifyPorts() {
    const int suggestedRow = inventory_.classifyPorts(context_.platform);
    if (suggestedRow < dialog().listRowCount(IDC_PORT_LIST)) dialog().listSelectRow(IDC_PORT_LIST, suggestedRow);
}

void PortPage::setProgress(int position) { dialog().progressSetPosition(IDC_PORT_PROGRESS, position); }

void PortPage::showEnglishTexts() { SetControlTexts(dialog(), kEnglishTexts); }

void PortPage::applyListStyle() { ApplyPortListStyle(dialog(), IDC_PORT_LIST); }

void PortPage::insertColumns() {
    const int englishFlag = context_.settings.englishFlag;
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i)
        dialog().listInsertColumn(IDC_PORT_LIST, i, kColumns[i].heading.in(englishFlag),
                                  ScaleForDpi(kColumns[i].width, dialog().dpi()));
}

void PortPage::fillCategoryRows() {
    const int englishFlag = context_.settings.englishFlag;
    for (const auto& row : kCategoryRows) dialog().listAddRow(IDC_PORT_LIST, {row.port.in(englishFlag), row.type.in(englishFlag)});
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
    // A USB port with a printer connected now says so after its description.
    std::vector<UsbPrinterInterface> usb;
    for (const auto& port : ports) {
        if (!IsUsbPortName(port.name)) continue;
        usb = context_.platform.usbPrinterInterfaces().value;
        break;
    }
    for (const auto& port : ports) {
        context_.platform.debugOutput(port.name + "\n");
        const bool connected = UsbPortConnected(port.name, usb).value_or(false);
        dialog().listAddRow(IDC_PORT_LIST,
                            {port.name, port.description + (connected ? kConnectedSuffix.in(context_.settings.englishFlag) : "")});
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
// this page. A category's label is no port, and is never handed over.
void PortPage::onConfigurePort() {
    const int row = firstSelectedRow();
    if (row < 0) return;
    const std::string port = dialog().listCell(IDC_PORT_LIST, row, 0);
    if (IsCategoryLabel(port)) {
        dialog().messageBox(kNoPortToConfigureMessage.in(context_.settings.englishFlag), MessageIcon::Exclamation);
        return;
    }
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
    if (networkRowChosen()) {
        installOnNetwork(*settingsPage);
        return;
    }
    const int englishFlag = context_.settings.englishFlag;
    // One installation, removal or test receipt at a time, the command
    // line's included. The lock is taken before anything on the page
    // changes, so that after "try again later" the same click does the same,
    // and given back before any box waits for a click.
    ScopedInstallationLock lock(context_.platform, context_.log);
    if (lock.heldElsewhere()) {
        dialog().messageBox(kBusyMessage.in(englishFlag), MessageIcon::Exclamation);
        return;
    }
    if (const int row = firstSelectedRow(); row >= 0) selectedRow_ = row;
    const bool automatic = !portMode_ && selectedRow_ == UsbCategoryRow;
    if (!(automatic ? chooseAutomaticPort() : chooseExplicitPort())) {
        lock.release();
        dialog().enable(IDC_PORT_INSTALL, false);
        dialog().messageBox(kSearchReminder, MessageIcon::Exclamation);
        return;
    }

    // Never install on no port, nor on a category's label taken for a port.
    if (chosenPort_.empty() || IsCategoryLabel(chosenPort_)) {
        lock.release();
        dialog().messageBox(kNoPortMessage.in(englishFlag), MessageIcon::Exclamation);
        return;
    }
    // The automatic path's port: a connected USB printer's, else the
    // classification's pick, with the spooler adjustment while no search
    // was made.
    if (automatic) {
        const ModelRow* model = ModelCatalogue::row(settingsPage->modelRow());
        const auto choice = ChooseAutomaticPort(context_.platform, inventory_, selectedRow_,
                                                model ? model->displayName : "", context_.settings.portSearchPending && model,
                                                [this](int position) { setProgress(position); }, context_.log);
        // A device that says it is another printer is no port for this one.
        if (choice.port.empty() && !choice.passedOver.empty()) {
            lock.release();
            dialog().messageBox(kNoPortMessage.in(englishFlag), MessageIcon::Exclamation);
            return;
        }
        if (!choice.port.empty()) chosenPort_ = automaticPort_ = choice.port;
        portRule_ = choice.rule;
    } else {
        portRule_.reset();
        std::vector<std::string> usbPorts;
        for (int row = 0; row < dialog().listRowCount(IDC_PORT_LIST); ++row) {
            std::string name = dialog().listCell(IDC_PORT_LIST, row, 0);
            if (IsUsbPortName(name)) usbPorts.push_back(std::move(name));
        }
        LogChosenPort(context_.platform, usbPorts, chosenPort_, "port chosen on the port page", context_.log);
    }
    // What the user must see from the pass is shown once the lock is back.
    std::vector<std::string> messages;
    installReport_ = settingsPage->InstallDriver(ProfileForThisMachine(context_.platform),
                                                 [&messages](const std::string& text) { messages.push_back(text); });
    // The message names the log only when lines were written to it.
    if (context_.log && context_.log->written()) installReport_->logPath = context_.log->path();
    lock.release();
    for (const auto& text : messages) dialog().messageBox(text, MessageIcon::Exclamation);
    end(PageOk);
}

// The network row of the category list, selected now or at the last Install.
bool PortPage::networkRowChosen() const {
    const int row = firstSelectedRow();
    return !portMode_ && (row >= 0 ? row : selectedRow_) == NetworkCategoryRow;
}

// The network printer dialog gives the address; the TCP/IP port aimed at it
// is reused or made and the installation runs on it. Without such a port
// (no Standard TCP/IP Port monitor) nothing is installed and the page stays.
void PortPage::installOnNetwork(PrinterSettingsPage& settingsPage) {
    selectedRow_ = NetworkCategoryRow;
    NetworkDialog networkDialog(context_);
    if (context_.host.runModal(networkDialog) != PageOk) return;
    const int englishFlag = context_.settings.englishFlag;
    ScopedInstallationLock lock(context_.platform, context_.log);
    if (lock.heldElsewhere()) {
        dialog().messageBox(kBusyMessage.in(englishFlag), MessageIcon::Exclamation);
        return;
    }
    const NetworkAddress& address = networkDialog.address();
    const TcpIpPort port = PrepareTcpIpPort(context_.platform, address, englishFlag, context_.log);
    std::vector<std::string> messages;  // shown once the lock is back
    if (port.ok()) installOnTcpIpPort(settingsPage, port, address, messages);
    lock.release();
    for (const auto& text : messages) dialog().messageBox(text, MessageIcon::Exclamation);
    if (port.ok()) {
        end(PageOk);
        return;
    }
    std::string text = port.failure + "\n" + kNothingInstalled.in(englishFlag);
    if (context_.log && context_.log->written()) text += (englishFlag == 1 ? "\nThe log: " : "\n日志：") + context_.log->path();
    dialog().messageBox(text, MessageIcon::Exclamation);
}

// The printer is asked how it is before the installation, which does not
// need it switched on. A port this run made goes again when the printer did
// not end up on it (a failed installation, or a printer of the name kept on
// its own port).
void PortPage::installOnTcpIpPort(PrinterSettingsPage& settingsPage, const TcpIpPort& port,
                                  const NetworkAddress& address, std::vector<std::string>& messages) {
    const PrinterState state = ProbePrinter(context_.network, address);
    if (context_.log) context_.log->line("printer at " + FormatAddress(address) + ": " + DescribePrinterState(state, 1));
    chosenPort_ = port.name;
    portRule_.reset();
    installReport_ = settingsPage.InstallDriver(ProfileForThisMachine(context_.platform),
                                                [&messages](const std::string& text) { messages.push_back(text); });
    const bool onPort =
        installReport_->printerInstalled && (!installReport_->printerExisted || !installReport_->movedTo.empty());
    if (onPort)
        printerState_ = state;
    else
        UndoTcpIpPort(context_.platform, port, context_.log);
    if (context_.log && context_.log->written()) installReport_->logPath = context_.log->path();
}

bool PortPage::chooseAutomaticPort() {
    classifyPorts();
    selectedRow_ = firstSelectedRow();
    if (const auto port = inventory_.pickAutomaticPort(selectedRow_)) automaticPort_ = *port;
    chosenPort_ = automaticPort_;
    return true;
}

// An explicit port needs a search first.
bool PortPage::chooseExplicitPort() {
    if (context_.settings.portSearchPending) return false;
    if (const int row = firstSelectedRow(); row >= 0) chosenPort_ = dialog().listCell(IDC_PORT_LIST, row, 0);
    return true;
}

}  // namespace kelp
