#pragma once

#include "ui/base/UiGeometry.h"

#include <cstdint>
#include <string>

namespace inkwarden {

class CControlUI;

// One notification from a control to the window's notifiers.
struct Notification {
    std::string type;
    std::string virtual_wnd;
    CControlUI* sender = nullptr;
    std::uint64_t timestamp = 0; // milliseconds of the monotonic clock
    UiPoint point;
    std::intptr_t wparam = 0;
    std::intptr_t lparam = 0;
};

} // namespace inkwarden
