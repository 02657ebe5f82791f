// What the engine's operations report while they run: the wizard moves its
// bar, names what it waits for and keeps its window answering.
#pragma once

#include <string>

namespace kelp {

// What an operation waits for: nothing, the answer of the network printer
// at subject ("192.168.1.50:9100"), or of the serial printer on subject
// ("COM1:"), or the search for the printer that no longer answers at subject.
enum class WaitFor { Nothing, PrinterAnswer, SerialPrinterAnswer, MovedPrinterSearch };
struct Waiting {
    WaitFor what = WaitFor::Nothing;
    std::string subject;
};

// What an operation reports along the way. Every call has a default that
// does nothing.
class InstallationProgress {
public:
    virtual ~InstallationProgress() = default;
    // The pass's progress, 0 to 100.
    virtual void position(int /*percent*/) {}
    // What the operation is waiting for; WaitFor::Nothing when it no longer
    // waits. The page turns it into words.
    virtual void doing(const Waiting& /*waiting*/) {}
    // Called while the operation waits on the network; a window pumps its
    // messages here.
    virtual void waiting() {}
};

}  // namespace kelp
