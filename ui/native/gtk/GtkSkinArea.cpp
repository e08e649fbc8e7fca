#include "ui/native/gtk/GtkSkinArea.h"

#include "ui/native/gtk/GtkAccessibleBridge.h"

#include <gtk/gtk-a11y.h>
#include <gtk/gtk.h>

namespace inkwarden {
namespace {

constexpr const char* BRIDGE_KEY = "inkwarden-accessible-bridge";

struct IwSkinArea {
    GtkDrawingArea parent;
};
struct IwSkinAreaClass {
    GtkDrawingAreaClass parent_class;
};
struct IwSkinAreaAccessible {
    GtkWidgetAccessible parent;
};
struct IwSkinAreaAccessibleClass {
    GtkWidgetAccessibleClass parent_class;
};

void AreaComponentInit(AtkComponentIface* iface);

G_DEFINE_TYPE_WITH_CODE(IwSkinAreaAccessible, iw_skin_area_accessible, GTK_TYPE_WIDGET_ACCESSIBLE,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, AreaComponentInit))
G_DEFINE_TYPE(IwSkinArea, iw_skin_area, GTK_TYPE_DRAWING_AREA)

GtkAccessibleBridge* BridgeOf(gpointer accessible) {
    GtkWidget* area = gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible));
    return area == nullptr ? nullptr : SkinAreaBridge(area);
}

gint AreaChildCount(AtkObject* accessible) {
    GtkAccessibleBridge* bridge = BridgeOf(accessible);
    return bridge == nullptr ? 0 : bridge->rootCount();
}

AtkObject* AreaRefChild(AtkObject* accessible, gint index) {
    GtkAccessibleBridge* bridge = BridgeOf(accessible);
    return bridge == nullptr || index != 0 ? nullptr : bridge->refRoot();
}

// The parent's component, for what the area does not answer itself.
AtkComponentIface* parent_component = nullptr;

AtkObject* AreaRefAccessibleAtPoint(AtkComponent* component, gint x, gint y, AtkCoordType coords) {
    GtkAccessibleBridge* bridge = BridgeOf(component);
    if (bridge == nullptr) {
        return parent_component->ref_accessible_at_point(component, x, y, coords);
    }
    // The point in the area's client coordinates.
    const UiRect origin = bridge->toScreen({0, 0, 0, 0}, coords == ATK_XY_WINDOW);
    const AccessibleId node = bridge->tree().hitTest({x - origin.left, y - origin.top});
    AtkObject* object = node != 0 ? bridge->objectFor(node) : nullptr;
    return object != nullptr ? ATK_OBJECT(g_object_ref(object)) : nullptr;
}

void AreaComponentInit(AtkComponentIface* iface) {
    parent_component = static_cast<AtkComponentIface*>(g_type_interface_peek_parent(iface));
    iface->ref_accessible_at_point = AreaRefAccessibleAtPoint;
}

void iw_skin_area_accessible_class_init(IwSkinAreaAccessibleClass* klass) {
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_n_children = AreaChildCount;
    atk->ref_child = AreaRefChild;
}

void iw_skin_area_accessible_init(IwSkinAreaAccessible*) {}

void iw_skin_area_class_init(IwSkinAreaClass* klass) {
    gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass),
                                         iw_skin_area_accessible_get_type());
    // Only a holder of the controls, which readers pass over.
    gtk_widget_class_set_accessible_role(GTK_WIDGET_CLASS(klass), ATK_ROLE_FILLER);
}

void iw_skin_area_init(IwSkinArea*) {}

} // namespace

GtkWidget* NewSkinArea() {
    return GTK_WIDGET(g_object_new(iw_skin_area_get_type(), nullptr));
}

void SetSkinAreaBridge(GtkWidget* area, GtkAccessibleBridge* bridge) {
    g_object_set_data(G_OBJECT(area), BRIDGE_KEY, bridge);
}

GtkAccessibleBridge* SkinAreaBridge(GtkWidget* area) {
    return static_cast<GtkAccessibleBridge*>(g_object_get_data(G_OBJECT(area), BRIDGE_KEY));
}

} // namespace inkwarden
