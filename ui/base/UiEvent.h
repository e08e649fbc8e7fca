#pragma once

#include "ui/base/UiGeometry.h"
#include "ui/base/WinMessages.h"

#include <cstdint>

namespace inkwarden {

class CControlUI;

// What the paint manager tells a single control; the numbers are part of the toolkit's
// vocabulary and stay fixed.
enum class UiEventKind : int {
    KEYDOWN = 3,
    KEYUP = 4,
    CHAR = 5,
    SYSKEY = 6,
    MOUSEMOVE = 9,
    MOUSELEAVE = 10,
    MOUSEENTER = 11,
    MOUSEHOVER = 12,
    BUTTONDOWN = 13,
    BUTTONUP = 14,
    RBUTTONDOWN = 15,
    DBLCLICK = 16,
    CONTEXTMENU = 17,
    SCROLLWHEEL = 18,
    KILLFOCUS = 20,
    SETFOCUS = 21,
    WINDOWSIZE = 22,
    SETCURSOR = 23,
    TIMER = 24,
};

// Mouse events run from MOUSEMOVE to SCROLLWHEEL.
constexpr bool IsMouseEvent(UiEventKind kind) {
    return static_cast<int>(kind) >= static_cast<int>(UiEventKind::MOUSEMOVE) &&
           static_cast<int>(kind) <= static_cast<int>(UiEventKind::SCROLLWHEEL);
}

struct UiEvent {
    UiEventKind kind = UiEventKind::MOUSEMOVE;
    CControlUI* sender = nullptr;
    std::uint32_t timestamp = 0;
    UiPoint point;
    char32_t character = 0;
    WPARAM key_state = 0; // MK_ bits of the message, or Shift/Control/Alt
    WPARAM wparam = 0;
    LPARAM lparam = 0;
};

} // namespace inkwarden
