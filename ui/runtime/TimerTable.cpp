#include "ui/runtime/TimerTable.h"

#include <algorithm>

namespace inkwarden {

void TimerTable::bind(INativeWindowLayer* layer, NativeWindowId window) {
    layer_ = layer;
    window_ = window;
}

bool TimerTable::set(CControlUI* control, UINT key, UINT elapse) {
    if (control == nullptr) {
        return false;
    }
    for (TimerEntry& timer : timers_) {
        if (timer.control == control && timer.key == key && timer.window == window_) {
            if (!timer.killed) {
                return false; // already running
            }
            if (layer_ == nullptr || !layer_->setTimer(window_, timer.native_id, elapse)) {
                return false;
            }
            timer.killed = false;
            return true;
        }
    }
    // Next id of the cycle 17, 18, ... 254, 0, 1, ...; an id another entry still holds is
    // passed over so that two timers never share one native timer.
    bool found = false;
    for (unsigned tries = 0; tries < ID_RANGE && !found; ++tries) {
        counter_ = (counter_ + 1) % ID_RANGE;
        found = std::none_of(timers_.begin(), timers_.end(), [this](const TimerEntry& t) {
            return t.window == window_ && t.native_id == counter_;
        });
    }
    if (!found || layer_ == nullptr || window_ == 0 ||
        !layer_->setTimer(window_, counter_, elapse)) {
        return false;
    }
    timers_.push_back(TimerEntry{control, key, window_, counter_, false});
    return true;
}

bool TimerTable::kill(CControlUI* control, UINT key) {
    for (TimerEntry& timer : timers_) {
        if (timer.control == control && timer.key == key && timer.window == window_ &&
            !timer.killed) {
            stopNative(timer);
            timer.killed = true; // kept, so that the id comes back when set again
            return true;
        }
    }
    return false;
}

void TimerTable::killAll(CControlUI* control) {
    std::erase_if(timers_, [this, control](const TimerEntry& timer) {
        if (timer.control != control || timer.window != window_) {
            return false;
        }
        if (!timer.killed) {
            stopNative(timer);
        }
        return true;
    });
}

void TimerTable::removeAll() {
    for (const TimerEntry& timer : timers_) {
        if (!timer.killed) {
            stopNative(timer);
        }
    }
    timers_.clear();
}

const TimerTable::TimerEntry* TimerTable::findRunning(std::uintptr_t native_id) const {
    for (const TimerEntry& timer : timers_) {
        if (timer.window == window_ && timer.native_id == native_id && !timer.killed) {
            return &timer;
        }
    }
    return nullptr;
}

void TimerTable::stopNative(const TimerEntry& timer) const {
    if (layer_ != nullptr && layer_->exists(timer.window)) {
        layer_->killTimer(timer.window, timer.native_id);
    }
}

} // namespace inkwarden
