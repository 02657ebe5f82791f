// The About box of the printer settings page's window menu: icon, name and
// version, an OK button. It adds nothing to a plain modal page.
#pragma once

#include "platform/Dialog.h"
#include "res/resource.h"

namespace kelp {

class AboutBox : public Page {
public:
    AboutBox() : Page(IDD_ABOUTBOX) {}
};

}  // namespace kelp
