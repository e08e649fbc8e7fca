#include "ui/native/gtk/GtkSignalBinding.h"

namespace inkwarden {

gulong GtkSignalBinding::connect(GtkWidget* widget, const char* signal, GCallback handler,
                                 void* target, NativeWindowId id) {
    return g_signal_connect_data(
        widget, signal, handler, new GtkSignalBinding{target, id},
        [](gpointer data, GClosure*) { delete static_cast<GtkSignalBinding*>(data); },
        GConnectFlags(0));
}

} // namespace inkwarden
