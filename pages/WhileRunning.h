// A page while one of its handlers runs an operation that pumps the
// window's messages: its buttons are disabled and its running flag set, so
// that no click, Esc or close box starts a second run inside the first or
// ends the page under it; afterwards each button has the state it had.
#pragma once

#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/Dialog.h"

namespace kelp {

class WhileRunning {
public:
    WhileRunning(Dialog& dialog, bool& running, std::initializer_list<int> buttons)
        : dialog_(dialog), running_(running) {
        running_ = true;
        for (int id : buttons) {
            buttons_.emplace_back(id, dialog_.isEnabled(id));
            dialog_.enable(id, false);
        }
    }
    ~WhileRunning() {
        for (const auto& [id, enabled] : buttons_) dialog_.enable(id, enabled);
        running_ = false;
    }
    WhileRunning(const WhileRunning&) = delete;
    WhileRunning& operator=(const WhileRunning&) = delete;

private:
    Dialog& dialog_;
    bool& running_;
    std::vector<std::pair<int, bool>> buttons_;
};

}  // namespace kelp
