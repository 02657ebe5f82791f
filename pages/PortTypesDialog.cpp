#include "pages/PortTypesDialog.h"

#include "app/EnglishTexts.h"
#include "pages/PortListStyle.h"
#include "res/resource.h"

namespace kelp {

namespace {

constexpr ControlText kEnglishTexts[] = {
    {IDC_TYPES_NEW, "New Port..."},
    {IDC_TYPES_EXIT, "Exit"},
};

constexpr Bilingual kColumnHeading = {"可用端口类型", "Available Port Types"};
constexpr int kColumnWidth = 340;

}  // namespace

PortTypesDialog::PortTypesDialog(AppContext& context) : Page(IDD_PORT_TYPES), context_(context) {}

bool PortTypesDialog::onInit() {
    if (context_.settings.language() == Language::English) showEnglishTexts();
    fillMonitorList();
    return true;
}

void PortTypesDialog::onCommand(int id, int /*code*/) {
    switch (id) {
        case IDC_TYPES_NEW: onNewPort(); break;
        case IDC_TYPES_EXIT: end(PageCancel); break;
        default: break;
    }
}

void PortTypesDialog::showEnglishTexts() { SetControlTexts(dialog(), kEnglishTexts); }

// One row per monitor with a name, in the spooler's order; row 0 selected.
void PortTypesDialog::fillMonitorList() {
    const auto monitors = context_.platform.enumMonitors();
    ApplyPortListStyle(dialog(), IDC_TYPES_LIST);
    dialog().listInsertColumn(IDC_TYPES_LIST, 0, kColumnHeading.in(context_.settings.language()),
                              ScaleForDpi(kColumnWidth, dialog().dpi()));
    if (monitors.ok()) {
        for (const auto& monitor : monitors.value) {
            if (!monitor.name) continue;
            context_.platform.debugOutput(*monitor.name + "\n");
            dialog().listAddRow(IDC_TYPES_LIST, {*monitor.name});
        }
    }
    if (dialog().listRowCount(IDC_TYPES_LIST) > 0) dialog().listSelectRow(IDC_TYPES_LIST, 0);
}

// The monitor shows its own dialog, owned by this one; whatever it answers,
// this dialog stays open with its list unchanged.
void PortTypesDialog::onNewPort() {
    const int rows = dialog().listRowCount(IDC_TYPES_LIST);
    for (int row = 0; row < rows; ++row) {
        if (!dialog().listRowSelected(IDC_TYPES_LIST, row)) continue;
        context_.platform.addPort(dialog().windowHandle(), dialog().listCell(IDC_TYPES_LIST, row, 0));
        return;
    }
}

}  // namespace kelp
