#pragma once

typedef struct _GtkWidget GtkWidget;

namespace inkwarden {

class GtkAccessibleBridge;

// The drawing area that shows a window's painted pixels. Its accessible object has the
// window's accessible tree under it, through the bridge set on it (none: no children).
GtkWidget* NewSkinArea();
void SetSkinAreaBridge(GtkWidget* area, GtkAccessibleBridge* bridge);
GtkAccessibleBridge* SkinAreaBridge(GtkWidget* area);

} // namespace inkwarden
