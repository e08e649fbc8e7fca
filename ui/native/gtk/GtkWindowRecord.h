#pragma once

#include "platform/UniqueResource.h"
#include "ui/native/WindowLayerBase.h"
#include "ui/native/gtk/GtkAccessibleBridge.h"

#include <cstdint>
#include <gtk/gtk.h>
#include <map>
#include <memory>

namespace inkwarden {

using SurfacePtr = UniqueResource<cairo_surface_t, cairo_surface_destroy>;
// A top-level widget (or a child the layer put in a container) that the layer destroys.
using WidgetPtr = UniqueResource<GtkWidget, gtk_widget_destroy>;
using PixbufPtr = UniqueResource<GdkPixbuf, g_object_unref>;

// What the GTK layer keeps of one window: its widgets, the last presented pixels, its
// timers and the pointer and focus state the input translator needs.
struct GtkWindowRecord : WindowRecord {
    bool is_child = false;      // drawn inside its parent's overlay
    WidgetPtr widget;           // the GtkWindow, or the child widget in the parent's fixed
    GtkWidget* area = nullptr;  // drawing area (owned by widget)
    GtkWidget* fixed = nullptr; // holds child windows and edits (owned by widget)
    SurfacePtr buffer;          // last presented pixels
    PresentMode mode = PresentMode::OPAQUE;
    std::uint8_t constant_alpha = 255;
    std::map<std::uintptr_t, guint> timers; // toolkit timer id -> GLib source
    guint hover_source = 0;
    unsigned hover_ms = 0;
    bool track_leave = false;
    bool pointer_inside = false;
    NativeWindowId saved_focus = 0; // logical focus while the toplevel is inactive
    gulong changed_handler = 0;     // an edit's "changed" handler, blocked for setEditText
    WidgetPtr tooltip;
    PixbufPtr large_icon;
    PixbufPtr small_icon;
    // The window's controls for screen readers, under its drawing area; goes before the
    // widgets.
    std::unique_ptr<GtkAccessibleBridge> accessible;

    // A top-level GtkWindow (not an edit, not a child drawn in its parent).
    bool isToplevel() const { return !is_edit && !is_child; }
    // The widget whose GDK window holds the window's pixels and pointer events.
    GtkWidget* eventWidget() const { return is_edit ? widget.get() : area; }
};

} // namespace inkwarden
