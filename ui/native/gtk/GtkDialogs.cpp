#include "ui/native/gtk/GtkDialogs.h"

#include "platform/Translation.h"
#include "ui/native/gtk/GtkWindowRecord.h"

#include <algorithm>
#include <cstring>

namespace inkwarden {

namespace {

using ErrorPtr = UniqueResource<GError, g_error_free>;
using StringPtr = UniqueResource<gchar, g_free>;

// Space between a tooltip's frame and its text.
constexpr int TOOLTIP_MARGIN_X = 6;
constexpr int TOOLTIP_MARGIN_Y = 4;
// Space above and left of the folder picker's prompt.
constexpr int PROMPT_MARGIN = 8;

GtkMessageType MessageTypeOf(UINT flags) {
    switch (flags & MB_ICONMASK) {
    case MB_ICONERROR:
        return GTK_MESSAGE_ERROR;
    case MB_ICONQUESTION:
        return GTK_MESSAGE_QUESTION;
    case MB_ICONWARNING:
        return GTK_MESSAGE_WARNING;
    case MB_ICONINFORMATION:
        return GTK_MESSAGE_INFO;
    default:
        return GTK_MESSAGE_OTHER;
    }
}

// The buttons speak the program's language (its catalogue), like the rest of the window.
struct BoxButton {
    const char* text;
    gint response;
};
// The share of the screen's work area a dialog may take, and the picker's size where
// the screen has room for it.
constexpr int DIALOG_SCREEN_SHARE_PERCENT = 80;
constexpr int DIALOG_DEFAULT_WIDTH = 760;
constexpr int DIALOG_DEFAULT_HEIGHT = 520;

constexpr BoxButton OK_BUTTON{N_("OK"), GTK_RESPONSE_OK};
constexpr BoxButton CANCEL_BUTTON{N_("Cancel"), GTK_RESPONSE_CANCEL};
constexpr BoxButton YES_BUTTON{N_("Yes"), GTK_RESPONSE_YES};
constexpr BoxButton NO_BUTTON{N_("No"), GTK_RESPONSE_NO};

// Keeps a dialog within the work area of the screen it opens on, so that its buttons stay
// reachable on a small screen (the folder picker remembers sizes made on larger ones).
void FitScreen(GtkWindow* dialog, GtkWidget* owner) {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) {
        return;
    }
    GdkWindow* near = owner != nullptr ? gtk_widget_get_window(owner) : nullptr;
    GdkMonitor* monitor = near != nullptr ? gdk_display_get_monitor_at_window(display, near)
                                          : gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) {
        monitor = gdk_display_get_monitor(display, 0);
    }
    if (monitor == nullptr) {
        return;
    }
    GdkRectangle area{};
    gdk_monitor_get_workarea(monitor, &area);
    GdkGeometry limits{};
    limits.max_width = std::max(1, area.width * DIALOG_SCREEN_SHARE_PERCENT / 100);
    limits.max_height = std::max(1, area.height * DIALOG_SCREEN_SHARE_PERCENT / 100);
    gtk_window_set_geometry_hints(dialog, nullptr, &limits, GDK_HINT_MAX_SIZE);
    gtk_window_set_default_size(dialog, std::min(limits.max_width, DIALOG_DEFAULT_WIDTH),
                                std::min(limits.max_height, DIALOG_DEFAULT_HEIGHT));
}

void AddButtons(GtkDialog* dialog, UINT kind) {
    // Cancel and No before the default, as GTK orders a box's buttons.
    if (kind == MB_OKCANCEL) {
        gtk_dialog_add_button(dialog, Tr(CANCEL_BUTTON.text), CANCEL_BUTTON.response);
    } else if (kind == MB_YESNO) {
        gtk_dialog_add_button(dialog, Tr(NO_BUTTON.text), NO_BUTTON.response);
    }
    const BoxButton& first = kind == MB_YESNO ? YES_BUTTON : OK_BUTTON;
    gtk_dialog_add_button(dialog, Tr(first.text), first.response);
    gtk_dialog_set_default_response(dialog, first.response);
}

// GTK 3's message boxes show no icon of their own.
const char* IconNameOf(UINT flags) {
    switch (flags & MB_ICONMASK) {
    case MB_ICONERROR:
        return "dialog-error";
    case MB_ICONQUESTION:
        return "dialog-question";
    case MB_ICONWARNING:
        return "dialog-warning";
    case MB_ICONINFORMATION:
        return "dialog-information";
    default:
        return nullptr;
    }
}

// Before the text, in the row that holds it.
void AddIcon(GtkWidget* dialog, const char* icon_name) {
    GtkWidget* text = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
    GtkWidget* row = text != nullptr ? gtk_widget_get_parent(text) : nullptr;
    if (icon_name == nullptr || row == nullptr || !GTK_IS_BOX(row))
        return;
    GtkWidget* image = gtk_image_new_from_icon_name(icon_name, GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(image, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(row), image, 0);
    gtk_widget_show(image);
}

int AnswerOf(gint response, UINT kind) {
    switch (response) {
    case GTK_RESPONSE_OK:
        return IDOK;
    case GTK_RESPONSE_YES:
        return IDYES;
    case GTK_RESPONSE_NO:
        return IDNO;
    default:
        // Closing a box that has only OK answers OK, as on the original platform.
        return kind == MB_OK ? IDOK : kind == MB_YESNO ? IDNO : IDCANCEL;
    }
}

GtkWidget* NewTooltip() {
    GtkWidget* tip = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_set_type_hint(GTK_WINDOW(tip), GDK_WINDOW_TYPE_HINT_TOOLTIP);
    gtk_style_context_add_class(gtk_widget_get_style_context(tip), "tooltip");
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_widget_set_margin_start(label, TOOLTIP_MARGIN_X);
    gtk_widget_set_margin_end(label, TOOLTIP_MARGIN_X);
    gtk_widget_set_margin_top(label, TOOLTIP_MARGIN_Y);
    gtk_widget_set_margin_bottom(label, TOOLTIP_MARGIN_Y);
    gtk_container_add(GTK_CONTAINER(tip), label);
    return tip;
}

void AddPrompt(GtkWidget* dialog, const std::string& prompt) {
    GtkWidget* label = gtk_label_new(prompt.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_widget_set_margin_start(label, PROMPT_MARGIN);
    gtk_widget_set_margin_top(label, PROMPT_MARGIN);
    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_box_pack_start(GTK_BOX(content), label, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(content), label, 0);
    gtk_widget_show(label);
}

// Selects the folder itself when it exists, else opens the nearest parent that does.
void StartAt(GtkFileChooser* chooser, std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR)) {
        gtk_file_chooser_set_filename(chooser, folder.c_str());
        return;
    }
    StringPtr dir(g_path_get_dirname(folder.c_str()));
    while (!g_file_test(dir.get(), G_FILE_TEST_IS_DIR) && std::strlen(dir.get()) > 1)
        dir.reset(g_path_get_dirname(dir.get()));
    if (g_file_test(dir.get(), G_FILE_TEST_IS_DIR))
        gtk_file_chooser_set_current_folder(chooser, dir.get());
}

} // namespace

int GtkDialogs::messageBox(GtkWidget* owner, const std::string& text, const std::string& caption,
                           UINT flags) {
    GtkWindow* parent = owner == nullptr ? nullptr : GTK_WINDOW(owner);
    const UINT kind = flags & MB_TYPEMASK;
    GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, MessageTypeOf(flags),
                                               GTK_BUTTONS_NONE, "%s", text.c_str());
    WidgetPtr holder(dialog);
    AddButtons(GTK_DIALOG(dialog), kind);
    AddIcon(dialog, IconNameOf(flags));
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    if (parent == nullptr)
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    return AnswerOf(gtk_dialog_run(GTK_DIALOG(dialog)), kind);
}

void GtkDialogs::showTooltip(GtkWindowRecord& window, const std::string& text, UiPoint at) {
    if (!window.tooltip)
        window.tooltip.reset(NewTooltip());
    GtkWidget* tip = window.tooltip.get();
    gtk_label_set_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(tip))), text.c_str());
    int ox = 0;
    int oy = 0;
    if (GdkWindow* gdk = gtk_widget_get_window(window.eventWidget()))
        gdk_window_get_origin(gdk, &ox, &oy);
    // Shrunk to the new text before it moves.
    gtk_window_resize(GTK_WINDOW(tip), 1, 1);
    gtk_window_move(GTK_WINDOW(tip), ox + at.x, oy + at.y);
    gtk_widget_show_all(tip);
}

void GtkDialogs::hideTooltip(GtkWindowRecord& window) {
    if (window.tooltip)
        gtk_widget_hide(window.tooltip.get());
}

bool GtkDialogs::openUrl(const std::string& url) {
    if (url.empty() || !g_uri_parse_scheme(url.c_str()))
        return false;
    GError* error = nullptr;
    const gboolean ok = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
    ErrorPtr holder(error);
    return ok != FALSE;
}

std::optional<std::string> GtkDialogs::pickFolder(GtkWidget* owner, const std::string& title,
                                                  const std::string& prompt,
                                                  const std::string& initial_folder) {
    GtkWindow* parent = owner == nullptr ? nullptr : GTK_WINDOW(owner);
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        title.c_str(), parent, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, Tr(CANCEL_BUTTON.text),
        GTK_RESPONSE_CANCEL, Tr(OK_BUTTON.text), GTK_RESPONSE_ACCEPT, nullptr);
    WidgetPtr holder(dialog);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    FitScreen(GTK_WINDOW(dialog), owner);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_create_folders(chooser, TRUE);
    if (!prompt.empty())
        AddPrompt(dialog, prompt);
    if (!initial_folder.empty())
        StartAt(chooser, initial_folder);
    if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_ACCEPT)
        return std::nullopt;
    StringPtr name(gtk_file_chooser_get_filename(chooser));
    if (!name)
        return std::nullopt;
    return std::string(name.get());
}

} // namespace inkwarden
