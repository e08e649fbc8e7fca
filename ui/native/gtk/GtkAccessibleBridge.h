#pragma once

#include "ui/native/IAccessibleTree.h"

#include <functional>
#include <map>

typedef struct _AtkObject AtkObject;
typedef struct _GtkWidget GtkWidget;

namespace inkwarden {

// Serves one window's accessible tree to ATK (and so, through the AT-SPI bridge that GTK
// loads, to screen readers): the window's drawing area gets the tree's root as its child,
// and every node that an assistive technology reaches gets an ATK object (AtkControlObject)
// made on first use and kept until its control is gone or the window closes. The tree is
// listened to only from the first time a reader asks for the area's children; from then on
// its changes become ATK signals.
class GtkAccessibleBridge : public IAccessibleListener {
public:
    // Runs a node's default action soon, from the main loop: a reader's call returns first,
    // even when the action opens a modal box.
    using ActionRunner = std::function<void(AccessibleId)>;

    // `area` comes from NewSkinArea and outlives the bridge; so does the tree.
    GtkAccessibleBridge(GtkWidget* area, IAccessibleTree& tree, ActionRunner run_action);
    ~GtkAccessibleBridge() override;
    GtkAccessibleBridge(const GtkAccessibleBridge&) = delete;
    GtkAccessibleBridge& operator=(const GtkAccessibleBridge&) = delete;

    IAccessibleTree& tree() { return tree_; }
    GtkWidget* area() const { return area_; }

    // The area's accessible asks for its children (the root); starts listening.
    int rootCount();
    // A new reference to the root's object, or null.
    AtkObject* refRoot();
    // The node's object (borrowed), made on first use; null for an unknown node.
    AtkObject* objectFor(AccessibleId node);
    // The object of the node's parent: the area's accessible for the root.
    AtkObject* parentObjectOf(AccessibleId node);
    // Client rectangle of a node to screen (or toplevel window) coordinates.
    UiRect toScreen(const UiRect& client, bool window_relative) const;
    void runDefaultAction(AccessibleId node) { run_action_(node); }

    void accessibleChanged(const AccessibleEvent& event) override;

private:
    void announceChild(const AccessibleEvent& event);
    void announceState(AtkObject* object, unsigned state, bool on);
    void announceText(AtkObject* object, AccessibleId node);
    void drop(AccessibleId node);

    GtkWidget* area_;
    IAccessibleTree& tree_;
    ActionRunner run_action_;
    bool listening_ = false;
    std::map<AccessibleId, AtkObject*> objects_; // one reference each
};

} // namespace inkwarden
