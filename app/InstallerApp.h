// The application: runs the language, system and printer settings pages one
// after another and decides from each page's result which comes next.
#pragma once

#include <functional>
#include <memory>

#include "app/AppContext.h"

namespace kelp {

class LanguagePage;
class SystemPage;
class PrinterSettingsPage;

class InstallerApp {
public:
    explicit InstallerApp(AppContext& context);
    ~InstallerApp();

    // Runs the page sequence until it ends. Returns false, as the process
    // is to end without a message loop of its own.
    bool initInstance();
    // The process's exit code: 0, or 1603 when no page could be shown.
    int exitCode() const { return exitCode_; }

private:
    AppContext& context_;
    int exitCode_ = 0;
};

}  // namespace kelp
