#pragma once

#include "ui/base/UiGeometry.h"
#include "ui/native/AccessibleNode.h"
#include "ui/native/IAccessibleListener.h"

#include <optional>
#include <vector>

namespace inkwarden {

// A window's controls as accessible objects, offered by the toolkit to its window layer.
// UI thread only.
class IAccessibleTree {
public:
    virtual ~IAccessibleTree() = default;

    // The top node (the window's root control); 0 while the window has none.
    virtual AccessibleId root() const = 0;
    // 0 for the root and for unknown nodes.
    virtual AccessibleId parent(AccessibleId node) const = 0;
    // The children that show, in tree order.
    virtual std::vector<AccessibleId> children(AccessibleId node) const = 0;
    // Nothing once the node's control is gone.
    virtual std::optional<AccessibleNode> describe(AccessibleId node) const = 0;
    // The node that has the keyboard focus, or 0.
    virtual AccessibleId focused() const = 0;
    // The deepest showing node under a client point, or 0.
    virtual AccessibleId hitTest(UiPoint point) const = 0;
    // Does exactly what a click on the control does; false when it cannot (gone, hidden or
    // disabled, or a control without an action).
    virtual bool doDefaultAction(AccessibleId node) = 0;
    // Gives the control the keyboard focus as a Tab would; false when it cannot take it.
    virtual bool grabFocus(AccessibleId node) = 0;
    // From now on changes are announced to the listener (none: they are not looked for).
    virtual void setListener(IAccessibleListener* listener) = 0;
};

} // namespace inkwarden
