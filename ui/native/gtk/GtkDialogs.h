#pragma once

#include "ui/base/UiGeometry.h"
#include "ui/base/WinMessages.h"

#include <optional>
#include <string>

typedef struct _GtkWidget GtkWidget;

namespace inkwarden {

struct GtkWindowRecord;

// The shell's boxes on GTK: message boxes, a window's tooltip, the user's browser for a
// URL and the folder picker. A null owner makes a box centred on the screen.
class GtkDialogs {
public:
    // Modal; the answer as the toolkit reads it (IDOK, IDCANCEL, IDYES, IDNO).
    static int messageBox(GtkWidget* owner, const std::string& text, const std::string& caption,
                          UINT flags);
    // The window's own tooltip popup at a client point of the window.
    static void showTooltip(GtkWindowRecord& window, const std::string& text, UiPoint at);
    static void hideTooltip(GtkWindowRecord& window);
    // False for text that is no URL, or when nothing opens it.
    static bool openUrl(const std::string& url);
    static std::optional<std::string> pickFolder(GtkWidget* owner, const std::string& title,
                                                 const std::string& prompt,
                                                 const std::string& initial_folder);
};

} // namespace inkwarden
