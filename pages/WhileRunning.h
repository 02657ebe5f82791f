// A page while one of its handlers runs an operation that pumps the
// window's messages: its buttons are disabled and its running flag set, so
// that no click, Esc or close box starts a second run inside the first or
// ends the page under it; afterwards each button has the state it had. A
// button that has the keyboard focus first hands it to keeper, a control
// that stays enabled, and gets it back afterwards.
// A run inside a run (a handler that runs while another waits) leaves the
// flag set when it ends.
#pragma once

#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/Dialog.h"

namespace kelp {

class WhileRunning {
public:
    WhileRunning(Dialog& dialog, bool& running, std::initializer_list<int> buttons, int keeper = 0)
        : dialog_(dialog), running_(running), wasRunning_(running) {
        running_ = true;
        const int focused = dialog_.focusedControl();
        for (int id : buttons) {
            if (id == focused && keeper != 0) {
                dialog_.focusControl(keeper);
                focused_ = id;
            }
        }
        for (int id : buttons) {
            buttons_.emplace_back(id, dialog_.isEnabled(id));
            dialog_.enable(id, false);
        }
    }
    ~WhileRunning() {
        for (const auto& [id, enabled] : buttons_) dialog_.enable(id, enabled);
        if (focused_ != 0 && dialog_.isEnabled(focused_)) dialog_.focusControl(focused_);
        running_ = wasRunning_;
    }
    WhileRunning(const WhileRunning&) = delete;
    WhileRunning& operator=(const WhileRunning&) = delete;

private:
    Dialog& dialog_;
    bool& running_;
    bool wasRunning_;
    int focused_ = 0;  // the button that had the focus, when it moved
    std::vector<std::pair<int, bool>> buttons_;
};

}  // namespace kelp
