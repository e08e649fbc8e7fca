#pragma once

#include "ui/base/UiGeometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace inkwarden {

// A control as assistive technologies see it. Node ids stay with one control for its
// whole life and are never reused; 0 is no node (or, as a parent, the window itself).
using AccessibleId = std::uint64_t;

// What a control is to a screen reader; each layer maps these to its platform's roles.
enum class AccessibleRole {
    PANEL,         // a layout that groups controls
    FILLER,        // an empty control that only takes space
    IMAGE,         // a control that only shows a picture
    LABEL,         // text
    PUSH_BUTTON,   // a button
    TOGGLE_BUTTON, // an option without a group: each click flips it
    CHECK_BOX,     // a check box
    RADIO_BUTTON,  // an option of a group
    LINK,          // a button drawn as underlined text that leads somewhere
    TEXT_ENTRY,    // an edit field
    PROGRESS_BAR,  // a bar with a value
    PAGE_TAB_LIST, // a layout that shows one page at a time
    PAGE_TAB,      // one page of it
};

// State bits of a node.
enum AccessibleState : unsigned {
    ACCESSIBLE_ENABLED = 0x001,   // takes input (sensitive)
    ACCESSIBLE_FOCUSABLE = 0x002, // a tab stop
    ACCESSIBLE_FOCUSED = 0x004,
    ACCESSIBLE_CHECKABLE = 0x008,
    ACCESSIBLE_CHECKED = 0x010,
    ACCESSIBLE_SHOWING = 0x020, // visible, with every ancestor
    ACCESSIBLE_SELECTABLE = 0x040,
    ACCESSIBLE_SELECTED = 0x080, // the page on show
    ACCESSIBLE_EDITABLE = 0x100,
    ACCESSIBLE_SINGLE_LINE = 0x200,
};

// A value with its range (progress bars).
struct AccessibleValue {
    double minimum = 0;
    double maximum = 0;
    double current = 0;
    bool operator==(const AccessibleValue&) const = default;
};

// What a node says of itself at one moment.
struct AccessibleNode {
    AccessibleRole role = AccessibleRole::PANEL;
    std::string name;
    // The control's name in the skin, so that tools can find it.
    std::string id;
    unsigned states = 0;
    UiRect bounds; // window client coordinates, logical pixels
    std::optional<AccessibleValue> value;
    // The words the control holds (labels and edit fields).
    std::optional<std::string> text;
    // The default action: the name of what a click does, or empty without one.
    std::string action;
    bool operator==(const AccessibleNode&) const = default;
};

// The role's name as AT-SPI spells it ("push button", "check box", ...).
std::string_view AccessibleRoleName(AccessibleRole role);

} // namespace inkwarden
