#include "pages/PortPage.h"

#include "res/resource.h"

namespace kelp {

PortPage::PortPage(AppContext& context) : Page(IDD_PORT), context_(context) {}

void PortPage::onCommand(int id, int /*code*/) {
    switch (id) {
        case IDC_PORT_BACK: onBack(); break;
        case IDC_PORT_CANCEL: onCancel(); break;
        default: break;
    }
}

// Back asks for a new port search the next time the page opens.
void PortPage::onBack() {
    end(PageCancel);
    context_.settings.portSearchPending = true;
}

}  // namespace kelp
