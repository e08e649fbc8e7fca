#pragma once

#include "ui/native/INativeWindowLayer.h"

#include <gtk/gtk.h>

namespace inkwarden {

// What a signal handler is given: the object that handles it and the window's id, which
// the handler looks up on each event so that events for a window that is gone are ignored.
struct GtkSignalBinding {
    void* target;
    NativeWindowId id;

    template <typename T> T* as() const { return static_cast<T*>(target); }

    // Connects handler to widget's signal with a new binding, freed with the connection;
    // returns the handler id.
    static gulong connect(GtkWidget* widget, const char* signal, GCallback handler, void* target,
                          NativeWindowId id);
    static const GtkSignalBinding& of(gpointer data) {
        return *static_cast<const GtkSignalBinding*>(data);
    }
};

} // namespace inkwarden
