#include "ui/native/gtk/GtkEditField.h"

#include "ui/base/UiColor.h"
#include "ui/native/gtk/GtkInputTranslator.h"
#include "ui/native/gtk/GtkSignalBinding.h"
#include "ui/native/gtk/GtkWindowLayer.h"
#include "ui/native/gtk/GtkWindowRecord.h"

#include <algorithm>
#include <memory>

namespace inkwarden {

namespace {

// A bare entry: the control under it draws the frame and background.
constexpr const char* BARE_ENTRY_CSS =
    "entry { min-height: 0; padding: 0 2px; border: none; box-shadow: none; }";
constexpr gunichar DEFAULT_PASSWORD_CHAR = '*';

int Utf8Length(const std::string& s) {
    return static_cast<int>(g_utf8_strlen(s.c_str(), static_cast<gssize>(s.size())));
}

GtkEntry* EntryOf(const GtkWindowRecord& edit) {
    return GTK_ENTRY(edit.widget.get());
}

void MakeBare(GtkWidget* entry) {
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, BARE_ENTRY_CSS, -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(entry), GTK_STYLE_PROVIDER(css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

void SetFontAndColor(GtkEntry* entry, const EditCreateParams& params) {
    PangoAttrList* attrs = pango_attr_list_new();
    if (params.font != nullptr)
        pango_attr_list_insert(attrs, pango_attr_font_desc_new(params.font));
    const WideChannels c = ToWideChannels(params.text_color);
    pango_attr_list_insert(attrs, pango_attr_foreground_new(c.red, c.green, c.blue));
    gtk_entry_set_attributes(entry, attrs);
    pango_attr_list_unref(attrs);
}

// The first character of the password text; an empty or broken one is the default.
gunichar PasswordChar(const std::string& text) {
    if (text.empty())
        return DEFAULT_PASSWORD_CHAR;
    const gunichar ch = g_utf8_get_char_validated(text.c_str(), -1);
    const bool broken = ch == gunichar(-1) || ch == gunichar(-2);
    return broken ? DEFAULT_PASSWORD_CHAR : ch;
}

void DigitsOnly(GtkEditable* editable, gchar* text, gint length, gint*, gpointer) {
    for (gint i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            g_signal_stop_emission_by_name(editable, "insert-text");
            return;
        }
    }
}

// The ES_ styles of an edit on its entry.
void ApplyStyle(GtkWidget* widget, std::uint32_t style, const std::string& password_char) {
    GtkEntry* entry = GTK_ENTRY(widget);
    if (style & ES_PASSWORD) {
        gtk_entry_set_visibility(entry, FALSE);
        gtk_entry_set_invisible_char(entry, PasswordChar(password_char));
    }
    if (style & ES_READONLY)
        gtk_editable_set_editable(GTK_EDITABLE(widget), FALSE);
    const float align = (style & ES_CENTER) ? 0.5f : (style & ES_RIGHT) ? 1.0f : 0.0f;
    gtk_entry_set_alignment(entry, align);
    if (style & ES_NUMBER) {
        gtk_entry_set_input_purpose(entry, GTK_INPUT_PURPOSE_DIGITS);
        g_signal_connect(widget, "insert-text", G_CALLBACK(DigitsOnly), nullptr);
    }
}

GtkWidget* NewEntry(const EditCreateParams& params) {
    GtkWidget* widget = gtk_entry_new();
    GtkEntry* entry = GTK_ENTRY(widget);
    gtk_entry_set_has_frame(entry, FALSE);
    gtk_widget_set_size_request(widget, std::max(1, params.rect.width()),
                                std::max(1, params.rect.height()));
    MakeBare(widget);
    SetFontAndColor(entry, params);
    gtk_entry_set_max_length(entry, std::max(0, params.limit));
    gtk_entry_set_text(entry, params.text.c_str());
    ApplyStyle(widget, params.style, params.password_char);
    return widget;
}

} // namespace

GtkEditField::GtkEditField(GtkWindowLayer& layer) : layer_(layer) {}

NativeWindowId GtkEditField::create(const EditCreateParams& params) {
    GtkWindowRecord* parent = layer_.find(params.parent);
    if (parent == nullptr || parent->fixed == nullptr)
        return 0;
    auto w = std::make_unique<GtkWindowRecord>();
    const NativeWindowId id = layer_.allocateId();
    w->id = id;
    w->parent = params.parent;
    w->is_edit = true;
    w->style = params.style;
    w->sink = params.sink;
    w->rect = params.rect;

    GtkWidget* entry = NewEntry(params);
    layer_.input_->connectEntry(entry, id);
    w->changed_handler =
        GtkSignalBinding::connect(entry, "changed", G_CALLBACK(+[](GtkEditable*, gpointer data) {
                                      const GtkSignalBinding& b = GtkSignalBinding::of(data);
                                      b.as<GtkEditField>()->onChanged(b.id);
                                  }),
                                  this, id);
    gtk_fixed_put(GTK_FIXED(parent->fixed), entry, params.rect.left, params.rect.top);
    gtk_widget_show(entry);
    w->widget.reset(entry);
    layer_.adopt(std::move(w));
    return id;
}

void GtkEditField::disconnect(GtkWindowRecord& edit) {
    if (edit.changed_handler != 0)
        g_signal_handler_disconnect(edit.widget.get(), edit.changed_handler);
    edit.changed_handler = 0;
}

GtkWindowRecord* GtkEditField::findEdit(NativeWindowId edit) const {
    GtkWindowRecord* w = layer_.find(edit);
    return w != nullptr && w->is_edit ? w : nullptr;
}

void GtkEditField::onChanged(NativeWindowId id) {
    if (const GtkWindowRecord* w = layer_.find(id))
        layer_.send(w->parent, WM_COMMAND, MAKEWPARAM(0, EN_CHANGE), static_cast<LPARAM>(id));
}

std::string GtkEditField::text(NativeWindowId edit) const {
    const GtkWindowRecord* w = findEdit(edit);
    return w == nullptr ? std::string{} : gtk_entry_get_text(EntryOf(*w));
}

void GtkEditField::setText(NativeWindowId edit, const std::string& text) {
    const GtkWindowRecord* w = findEdit(edit);
    if (w == nullptr)
        return;
    // Only the user's typing is reported as a change.
    g_signal_handler_block(w->widget.get(), w->changed_handler);
    gtk_entry_set_text(EntryOf(*w), text.c_str());
    g_signal_handler_unblock(w->widget.get(), w->changed_handler);
}

void GtkEditField::setSelection(NativeWindowId edit, int start, int end) {
    const GtkWindowRecord* w = findEdit(edit);
    if (w == nullptr)
        return;
    const int length = Utf8Length(gtk_entry_get_text(EntryOf(*w)));
    if (end < 0 || end > length)
        end = length;
    start = std::clamp(start, 0, end);
    gtk_editable_select_region(GTK_EDITABLE(w->widget.get()), start, end);
}

std::pair<int, int> GtkEditField::selection(NativeWindowId edit) const {
    const GtkWindowRecord* w = findEdit(edit);
    if (w == nullptr)
        return {0, 0};
    GtkEditable* editable = GTK_EDITABLE(w->widget.get());
    gint start = 0;
    gint end = 0;
    if (!gtk_editable_get_selection_bounds(editable, &start, &end))
        start = end = gtk_editable_get_position(editable);
    return {std::min(start, end), std::max(start, end)};
}

} // namespace inkwarden
