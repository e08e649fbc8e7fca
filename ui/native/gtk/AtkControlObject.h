#pragma once

#include "ui/native/AccessibleNode.h"

typedef struct _AtkObject AtkObject;

namespace inkwarden {

class GtkAccessibleBridge;

// The ATK objects of a window's accessible nodes. Every object answers AtkComponent (its
// extents, focus); by role it also answers AtkAction (buttons, boxes, links: "click"),
// AtkText (labels and edit fields) or AtkValue (progress bars). Everything an object says
// it asks the bridge's tree at the moment of asking.
//
// A new object (one reference, the caller's) for a node with this role, its parent set.
AtkObject* NewAtkControlObject(GtkAccessibleBridge* bridge, AccessibleId node, AccessibleRole role,
                               AtkObject* parent);
// The node is gone: the object reaches the bridge no more and answers as defunct.
void DetachAtkControlObject(AtkObject* object);
// The character count last handed out or announced for an object's text; and its update.
int AtkControlTextLength(AtkObject* object);
void SetAtkControlTextLength(AtkObject* object, int length);

} // namespace inkwarden
