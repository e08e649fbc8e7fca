#pragma once

#include "ui/native/INativeWindowLayer.h"

#include <string>
#include <utility>

typedef struct _GtkWidget GtkWidget;

namespace inkwarden {

class GtkWindowLayer;
struct GtkWindowRecord;

// The child edit windows of the layer: bare GtkEntry widgets over the edit control that
// borrows them, set up from EditCreateParams (font, colour, limit, password character,
// read-only, alignment, digits only). The user's typing is reported to the parent as
// WM_COMMAND EN_CHANGE; text the toolkit sets is not.
class GtkEditField {
public:
    explicit GtkEditField(GtkWindowLayer& layer);

    NativeWindowId create(const EditCreateParams& params);
    std::string text(NativeWindowId edit) const;
    void setText(NativeWindowId edit, const std::string& text);
    void setSelection(NativeWindowId edit, int start, int end);
    std::pair<int, int> selection(NativeWindowId edit) const;
    // The edit is gone: its change handler goes before its entry.
    void disconnect(GtkWindowRecord& edit);

private:
    // The record of an edit window; null for other windows.
    GtkWindowRecord* findEdit(NativeWindowId edit) const;
    void onChanged(NativeWindowId id);

    GtkWindowLayer& layer_;
};

} // namespace inkwarden
