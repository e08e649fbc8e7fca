#include "ui/native/AccessibleNode.h"

namespace inkwarden {

std::string_view AccessibleRoleName(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::PANEL:
        return "panel";
    case AccessibleRole::FILLER:
        return "filler";
    case AccessibleRole::IMAGE:
        return "image";
    case AccessibleRole::LABEL:
        return "label";
    case AccessibleRole::PUSH_BUTTON:
        return "push button";
    case AccessibleRole::TOGGLE_BUTTON:
        return "toggle button";
    case AccessibleRole::CHECK_BOX:
        return "check box";
    case AccessibleRole::RADIO_BUTTON:
        return "radio button";
    case AccessibleRole::LINK:
        return "link";
    case AccessibleRole::TEXT_ENTRY:
        return "text";
    case AccessibleRole::PROGRESS_BAR:
        return "progress bar";
    case AccessibleRole::PAGE_TAB_LIST:
        return "page tab list";
    case AccessibleRole::PAGE_TAB:
        return "page tab";
    }
    return "unknown";
}

} // namespace inkwarden
