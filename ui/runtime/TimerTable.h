#pragma once

#include "ui/base/WinMessages.h"
#include "ui/native/INativeWindowLayer.h"

#include <cstdint>
#include <vector>

namespace inkwarden {

class CControlUI;

// The control timers of one window and the native timers that run them. Native ids come
// from a counter that cycles through ID_RANGE values and passes over ids still held, so two
// timers never share a native timer. A killed timer keeps its entry, and its id comes back
// when the timer is set again.
class TimerTable {
public:
    // A control's timer as started on the native window.
    struct TimerEntry {
        CControlUI* control = nullptr;
        UINT key = 0; // the control's own timer number
        NativeWindowId window = 0;
        std::uintptr_t native_id = 0;
        bool killed = false;
    };

    // Native timer ids of control timers cycle through this many values.
    static constexpr unsigned ID_RANGE = 255;
    // The counter's first value, so that the first native id is 17.
    static constexpr unsigned COUNTER_START = 4096;

    // The layer and window that new timers run on; entries of other windows are left alone.
    void bind(INativeWindowLayer* layer, NativeWindowId window);

    // False when the timer already runs or the native timer cannot be started.
    bool set(CControlUI* control, UINT key, UINT elapse);
    bool kill(CControlUI* control, UINT key);
    // Stops and forgets every timer of the control on this window.
    void killAll(CControlUI* control);
    // Stops and forgets every timer.
    void removeAll();
    // The running timer of this window with that native id, or nothing.
    const TimerEntry* findRunning(std::uintptr_t native_id) const;
    const std::vector<TimerEntry>& entries() const { return timers_; }

private:
    // Stops a native timer whose window still exists.
    void stopNative(const TimerEntry& timer) const;

    INativeWindowLayer* layer_ = nullptr;
    NativeWindowId window_ = 0;
    std::vector<TimerEntry> timers_;
    unsigned counter_ = COUNTER_START;
};

} // namespace inkwarden
