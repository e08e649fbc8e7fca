#pragma once

#include "ui/native/AccessibleNode.h"

namespace inkwarden {

// One change of an accessible tree, as it is announced.
struct AccessibleEvent {
    enum class Kind {
        CHILD_ADDED,   // `child` now shows under `node` at `index`
        CHILD_REMOVED, // `child` no longer shows under `node`; `index` was its place
        STATE,         // `state` (one AccessibleState bit) became `on`
        NAME,
        VALUE,
        TEXT,
        GONE, // the control was destroyed; its id means nothing from now on
    };
    Kind kind = Kind::STATE;
    AccessibleId node = 0; // 0 with CHILD_ADDED/CHILD_REMOVED: the window's top
    AccessibleId child = 0;
    int index = 0;
    unsigned state = 0;
    bool on = false;
    bool operator==(const AccessibleEvent&) const = default;
};

// Hears the changes of an accessible tree: a window layer that hands them on to the
// platform's accessibility service.
class IAccessibleListener {
public:
    virtual ~IAccessibleListener() = default;
    virtual void accessibleChanged(const AccessibleEvent& event) = 0;
};

} // namespace inkwarden
