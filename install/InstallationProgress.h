// What the engine's operations report while they run: the wizard moves its
// bar, names what it waits for and keeps its window answering.
#pragma once

#include <string>

namespace kelp {

// What an operation reports along the way. Every call has a default that
// does nothing.
class InstallationProgress {
public:
    virtual ~InstallationProgress() = default;
    // The pass's progress, 0 to 100.
    virtual void position(int /*percent*/) {}
    // What the operation is waiting for, in the request's language ("asking
    // the printer at ..."); empty when it no longer waits.
    virtual void doing(const std::string& /*text*/) {}
    // Called while the operation waits on the network; a window pumps its
    // messages here.
    virtual void waiting() {}
};

}  // namespace kelp
