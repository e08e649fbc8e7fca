#include "ui/native/gtk/GtkAccessibleBridge.h"

#include "ui/native/gtk/AtkControlObject.h"
#include "ui/native/gtk/GtkSkinArea.h"

#include <gtk/gtk.h>
#include <utility>

namespace inkwarden {
namespace {

// The ATK states that a node's state bit stands for.
std::vector<AtkStateType> AtkStatesOf(unsigned state) {
    switch (state) {
    case ACCESSIBLE_ENABLED:
        return {ATK_STATE_ENABLED, ATK_STATE_SENSITIVE};
    case ACCESSIBLE_FOCUSABLE:
        return {ATK_STATE_FOCUSABLE};
    case ACCESSIBLE_FOCUSED:
        return {ATK_STATE_FOCUSED};
    case ACCESSIBLE_CHECKABLE:
        return {ATK_STATE_CHECKABLE};
    case ACCESSIBLE_CHECKED:
        return {ATK_STATE_CHECKED};
    case ACCESSIBLE_SHOWING:
        return {ATK_STATE_VISIBLE, ATK_STATE_SHOWING};
    case ACCESSIBLE_SELECTABLE:
        return {ATK_STATE_SELECTABLE};
    case ACCESSIBLE_SELECTED:
        return {ATK_STATE_SELECTED};
    case ACCESSIBLE_EDITABLE:
        return {ATK_STATE_EDITABLE};
    case ACCESSIBLE_SINGLE_LINE:
        return {ATK_STATE_SINGLE_LINE};
    default:
        return {};
    }
}

} // namespace

GtkAccessibleBridge::GtkAccessibleBridge(GtkWidget* area, IAccessibleTree& tree,
                                         ActionRunner run_action)
    : area_(area), tree_(tree), run_action_(std::move(run_action)) {
    SetSkinAreaBridge(area_, this);
}

GtkAccessibleBridge::~GtkAccessibleBridge() {
    tree_.setListener(nullptr);
    SetSkinAreaBridge(area_, nullptr);
    // A reader that still holds objects finds them defunct.
    for (auto& [node, object] : objects_) {
        DetachAtkControlObject(object);
        g_object_unref(object);
    }
}

int GtkAccessibleBridge::rootCount() {
    if (!listening_) {
        // A reader has come: from now on the tree's changes are announced.
        listening_ = true;
        tree_.setListener(this);
    }
    return tree_.root() != 0 ? 1 : 0;
}

AtkObject* GtkAccessibleBridge::refRoot() {
    AtkObject* root = objectFor(tree_.root());
    return root != nullptr ? ATK_OBJECT(g_object_ref(root)) : nullptr;
}

AtkObject* GtkAccessibleBridge::parentObjectOf(AccessibleId node) {
    const AccessibleId parent = tree_.parent(node);
    return parent == 0 ? gtk_widget_get_accessible(area_) : objectFor(parent);
}

AtkObject* GtkAccessibleBridge::objectFor(AccessibleId node) {
    if (node == 0) {
        return nullptr;
    }
    if (const auto it = objects_.find(node); it != objects_.end()) {
        return it->second;
    }
    const std::optional<AccessibleNode> described = tree_.describe(node);
    if (!described) {
        return nullptr;
    }
    AtkObject* parent = parentObjectOf(node);
    AtkObject* object = NewAtkControlObject(this, node, described->role, parent);
    objects_.emplace(node, object);
    return object;
}

UiRect GtkAccessibleBridge::toScreen(const UiRect& client, bool window_relative) const {
    int x = 0;
    int y = 0;
    if (window_relative) {
        GtkWidget* top = gtk_widget_get_toplevel(area_);
        gtk_widget_translate_coordinates(area_, top, 0, 0, &x, &y);
    } else if (GdkWindow* gdk = gtk_widget_get_window(area_)) {
        gdk_window_get_origin(gdk, &x, &y);
    }
    return {client.left + x, client.top + y, client.right + x, client.bottom + y};
}

void GtkAccessibleBridge::accessibleChanged(const AccessibleEvent& event) {
    using Kind = AccessibleEvent::Kind;
    if (event.kind == Kind::CHILD_ADDED || event.kind == Kind::CHILD_REMOVED) {
        announceChild(event);
        return;
    }
    if (event.kind == Kind::GONE) {
        drop(event.node);
        return;
    }
    // Only objects a reader has seen have news to tell.
    const auto it = objects_.find(event.node);
    if (it == objects_.end()) {
        return;
    }
    AtkObject* object = it->second;
    switch (event.kind) {
    case Kind::STATE:
        announceState(object, event.state, event.on);
        break;
    case Kind::NAME:
        g_object_notify(G_OBJECT(object), "accessible-name");
        break;
    case Kind::VALUE:
        g_object_notify(G_OBJECT(object), "accessible-value");
        break;
    case Kind::TEXT:
        announceText(object, event.node);
        break;
    default:
        break;
    }
}

void GtkAccessibleBridge::announceChild(const AccessibleEvent& event) {
    AtkObject* parent = nullptr;
    if (event.node == 0) {
        parent = gtk_widget_get_accessible(area_);
    } else if (const auto it = objects_.find(event.node); it != objects_.end()) {
        parent = it->second;
    }
    if (parent == nullptr) {
        return;
    }
    const bool added = event.kind == AccessibleEvent::Kind::CHILD_ADDED;
    AtkObject* child = nullptr;
    if (added) {
        child = objectFor(event.child);
    } else if (const auto it = objects_.find(event.child); it != objects_.end()) {
        child = it->second;
    }
    g_signal_emit_by_name(parent, added ? "children-changed::add" : "children-changed::remove",
                          event.index, child);
}

void GtkAccessibleBridge::announceState(AtkObject* object, unsigned state, bool on) {
    for (AtkStateType atk_state : AtkStatesOf(state)) {
        atk_object_notify_state_change(object, atk_state, on ? TRUE : FALSE);
    }
}

void GtkAccessibleBridge::announceText(AtkObject* object, AccessibleId node) {
    if (!ATK_IS_TEXT(object)) {
        return;
    }
    // All of the old text went, all of the new text came.
    const int old_length = AtkControlTextLength(object);
    const std::optional<AccessibleNode> described = tree_.describe(node);
    const std::string text = described && described->text ? *described->text : std::string{};
    const int new_length = static_cast<int>(g_utf8_strlen(text.c_str(), -1));
    SetAtkControlTextLength(object, new_length);
    if (old_length > 0) {
        g_signal_emit_by_name(object, "text-changed::delete", 0, old_length);
    }
    if (new_length > 0) {
        g_signal_emit_by_name(object, "text-changed::insert", 0, new_length);
    }
}

void GtkAccessibleBridge::drop(AccessibleId node) {
    const auto it = objects_.find(node);
    if (it == objects_.end()) {
        return;
    }
    AtkObject* object = it->second;
    objects_.erase(it);
    DetachAtkControlObject(object);
    g_object_unref(object);
}

} // namespace inkwarden
