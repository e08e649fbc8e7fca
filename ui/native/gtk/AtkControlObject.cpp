#include "ui/native/gtk/AtkControlObject.h"

#include "ui/native/gtk/GtkAccessibleBridge.h"

#include <algorithm>
#include <atk/atk.h>
#include <optional>
#include <string>
#include <utility>

namespace inkwarden {
namespace {

// The instance of every node object; the subtypes add interfaces, not fields.
struct IwAtkControl {
    AtkObject parent;
    GtkAccessibleBridge* bridge; // null once the node is gone
    AccessibleId node;
    gchar* name;     // the last name handed out (ATK lends its names)
    int text_length; // characters, for text-change signals
};
struct IwAtkControlClass {
    AtkObjectClass parent_class;
};
struct IwAtkButton {
    IwAtkControl parent;
};
struct IwAtkButtonClass {
    IwAtkControlClass parent_class;
};
struct IwAtkText {
    IwAtkControl parent;
};
struct IwAtkTextClass {
    IwAtkControlClass parent_class;
};
struct IwAtkValue {
    IwAtkControl parent;
};
struct IwAtkValueClass {
    IwAtkControlClass parent_class;
};

void ComponentInit(AtkComponentIface* iface);
void ActionInit(AtkActionIface* iface);
void TextInit(AtkTextIface* iface);
void ValueInit(AtkValueIface* iface);

G_DEFINE_TYPE_WITH_CODE(IwAtkControl, iw_atk_control, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, ComponentInit))
G_DEFINE_TYPE_WITH_CODE(IwAtkButton, iw_atk_button, iw_atk_control_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, ActionInit))
G_DEFINE_TYPE_WITH_CODE(IwAtkText, iw_atk_text, iw_atk_control_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TEXT, TextInit))
G_DEFINE_TYPE_WITH_CODE(IwAtkValue, iw_atk_value, iw_atk_control_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_VALUE, ValueInit))

IwAtkControl* Control(gpointer object) {
    return reinterpret_cast<IwAtkControl*>(object);
}

// The node as the tree describes it now; nothing once it is gone.
std::optional<AccessibleNode> Describe(gpointer object) {
    const IwAtkControl* c = Control(object);
    if (c->bridge == nullptr) {
        return std::nullopt;
    }
    return c->bridge->tree().describe(c->node);
}

// Keeps a copy that stays valid until the next call, as ATK lends its strings.
const gchar* Lend(gchar*& slot, const std::string& text) {
    g_free(slot);
    slot = g_strdup(text.c_str());
    return slot;
}

AtkRole AtkRoleOf(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::PANEL:
        return ATK_ROLE_PANEL;
    case AccessibleRole::FILLER:
        return ATK_ROLE_FILLER;
    case AccessibleRole::IMAGE:
        return ATK_ROLE_IMAGE;
    case AccessibleRole::LABEL:
        return ATK_ROLE_LABEL;
    case AccessibleRole::PUSH_BUTTON:
        return ATK_ROLE_PUSH_BUTTON;
    case AccessibleRole::TOGGLE_BUTTON:
        return ATK_ROLE_TOGGLE_BUTTON;
    case AccessibleRole::CHECK_BOX:
        return ATK_ROLE_CHECK_BOX;
    case AccessibleRole::RADIO_BUTTON:
        return ATK_ROLE_RADIO_BUTTON;
    case AccessibleRole::LINK:
        return ATK_ROLE_LINK;
    case AccessibleRole::TEXT_ENTRY:
        return ATK_ROLE_ENTRY;
    case AccessibleRole::PROGRESS_BAR:
        return ATK_ROLE_PROGRESS_BAR;
    case AccessibleRole::PAGE_TAB_LIST:
        return ATK_ROLE_PAGE_TAB_LIST;
    case AccessibleRole::PAGE_TAB:
        return ATK_ROLE_PAGE_TAB;
    }
    return ATK_ROLE_UNKNOWN;
}

// The ATK states of a node's state bits; enabled and showing each stand for two.
void AddStates(AtkStateSet* set, unsigned states) {
    static constexpr std::pair<unsigned, AtkStateType> MAP[] = {
        {ACCESSIBLE_ENABLED, ATK_STATE_ENABLED},
        {ACCESSIBLE_ENABLED, ATK_STATE_SENSITIVE},
        {ACCESSIBLE_FOCUSABLE, ATK_STATE_FOCUSABLE},
        {ACCESSIBLE_FOCUSED, ATK_STATE_FOCUSED},
        {ACCESSIBLE_CHECKABLE, ATK_STATE_CHECKABLE},
        {ACCESSIBLE_CHECKED, ATK_STATE_CHECKED},
        {ACCESSIBLE_SHOWING, ATK_STATE_VISIBLE},
        {ACCESSIBLE_SHOWING, ATK_STATE_SHOWING},
        {ACCESSIBLE_SELECTABLE, ATK_STATE_SELECTABLE},
        {ACCESSIBLE_SELECTED, ATK_STATE_SELECTED},
        {ACCESSIBLE_EDITABLE, ATK_STATE_EDITABLE},
        {ACCESSIBLE_SINGLE_LINE, ATK_STATE_SINGLE_LINE},
    };
    for (const auto& [bit, state] : MAP) {
        if ((states & bit) != 0) {
            atk_state_set_add_state(set, state);
        }
    }
}

// AtkObject.
const gchar* GetName(AtkObject* object) {
    // A name set through ATK (by an assistive technology) wins, as ATK has it.
    if (object->name != nullptr) {
        return object->name;
    }
    const auto node = Describe(object);
    return node ? Lend(Control(object)->name, node->name) : nullptr;
}

gint GetChildCount(AtkObject* object) {
    const IwAtkControl* c = Control(object);
    return c->bridge == nullptr ? 0 : static_cast<gint>(c->bridge->tree().children(c->node).size());
}

AtkObject* RefChild(AtkObject* object, gint index) {
    const IwAtkControl* c = Control(object);
    if (c->bridge == nullptr || index < 0) {
        return nullptr;
    }
    const std::vector<AccessibleId> children = c->bridge->tree().children(c->node);
    if (static_cast<std::size_t>(index) >= children.size()) {
        return nullptr;
    }
    AtkObject* child = c->bridge->objectFor(children[static_cast<std::size_t>(index)]);
    return child != nullptr ? ATK_OBJECT(g_object_ref(child)) : nullptr;
}

gint GetIndexInParent(AtkObject* object) {
    const IwAtkControl* c = Control(object);
    if (c->bridge == nullptr) {
        return -1;
    }
    IAccessibleTree& tree = c->bridge->tree();
    const AccessibleId parent = tree.parent(c->node);
    if (parent == 0) {
        return c->node == tree.root() ? 0 : -1;
    }
    const std::vector<AccessibleId> siblings = tree.children(parent);
    const auto it = std::find(siblings.begin(), siblings.end(), c->node);
    return it == siblings.end() ? -1 : static_cast<gint>(it - siblings.begin());
}

AtkStateSet* RefStateSet(AtkObject* object) {
    AtkStateSet* set = atk_state_set_new();
    const auto node = Describe(object);
    if (!node) {
        atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
        return set;
    }
    AddStates(set, node->states);
    return set;
}

AtkAttributeSet* GetAttributes(AtkObject*) {
    // Says which toolkit drew the object, as GTK's own objects do.
    auto* attribute = static_cast<AtkAttribute*>(g_malloc(sizeof(AtkAttribute)));
    attribute->name = g_strdup("toolkit");
    attribute->value = g_strdup("inkwarden");
    return g_slist_append(nullptr, attribute);
}

void Finalize(GObject* object) {
    IwAtkControl* c = Control(object);
    g_free(c->name);
    G_OBJECT_CLASS(iw_atk_control_parent_class)->finalize(object);
}

void iw_atk_control_class_init(IwAtkControlClass* klass) {
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_name = GetName;
    atk->get_n_children = GetChildCount;
    atk->ref_child = RefChild;
    atk->get_index_in_parent = GetIndexInParent;
    atk->ref_state_set = RefStateSet;
    atk->get_attributes = GetAttributes;
    G_OBJECT_CLASS(klass)->finalize = Finalize;
}

void iw_atk_control_init(IwAtkControl* control) {
    control->bridge = nullptr;
    control->node = 0;
    control->name = nullptr;
    control->text_length = 0;
}

// AtkComponent.
void GetExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height,
                AtkCoordType coords) {
    *x = *y = *width = *height = 0;
    const auto node = Describe(component);
    if (!node) {
        return;
    }
    const IwAtkControl* c = Control(component);
    UiRect r = node->bounds;
    if (coords == ATK_XY_PARENT) {
        const AccessibleId parent = c->bridge->tree().parent(c->node);
        const auto outer = parent != 0 ? c->bridge->tree().describe(parent) : std::nullopt;
        if (outer) {
            r = {r.left - outer->bounds.left, r.top - outer->bounds.top,
                 r.right - outer->bounds.left, r.bottom - outer->bounds.top};
        }
    } else {
        r = c->bridge->toScreen(r, coords == ATK_XY_WINDOW);
    }
    *x = r.left;
    *y = r.top;
    *width = r.width();
    *height = r.height();
}

gboolean GrabFocus(AtkComponent* component) {
    const IwAtkControl* c = Control(component);
    return c->bridge != nullptr && c->bridge->tree().grabFocus(c->node);
}

AtkLayer GetLayer(AtkComponent*) {
    return ATK_LAYER_WIDGET;
}

void ComponentInit(AtkComponentIface* iface) {
    iface->get_extents = GetExtents;
    iface->grab_focus = GrabFocus;
    iface->get_layer = GetLayer;
}

// AtkAction: the default action only.
gint GetActionCount(AtkAction* action) {
    const auto node = Describe(action);
    return node && !node->action.empty() ? 1 : 0;
}

gboolean DoAction(AtkAction* action, gint index) {
    const auto node = Describe(action);
    if (index != 0 || !node || node->action.empty() || (node->states & ACCESSIBLE_ENABLED) == 0) {
        return FALSE;
    }
    const IwAtkControl* c = Control(action);
    c->bridge->runDefaultAction(c->node);
    return TRUE;
}

const gchar* GetActionName(AtkAction* action, gint index) {
    const auto node = Describe(action);
    if (index != 0 || !node || node->action.empty()) {
        return nullptr;
    }
    // The names come from a fixed set that outlives every object.
    return g_intern_string(node->action.c_str());
}

void ActionInit(AtkActionIface* iface) {
    iface->get_n_actions = GetActionCount;
    iface->do_action = DoAction;
    iface->get_name = GetActionName;
    iface->get_localized_name = GetActionName;
}

void iw_atk_button_class_init(IwAtkButtonClass*) {}
void iw_atk_button_init(IwAtkButton*) {}

// AtkText: the control's words, one line.
std::string TextOf(gpointer object) {
    const auto node = Describe(object);
    return node && node->text ? *node->text : std::string{};
}

// Byte offset of a character offset in UTF-8 text, clamped to the text.
std::size_t ByteOffset(const std::string& text, gint chars) {
    const glong length = g_utf8_strlen(text.c_str(), static_cast<gssize>(text.size()));
    chars = static_cast<gint>(std::clamp<glong>(chars, 0, length));
    return static_cast<std::size_t>(g_utf8_offset_to_pointer(text.c_str(), chars) - text.c_str());
}

gchar* GetText(AtkText* object, gint start, gint end) {
    const std::string text = TextOf(object);
    const glong length = g_utf8_strlen(text.c_str(), static_cast<gssize>(text.size()));
    if (end < 0 || end > length) {
        end = static_cast<gint>(length);
    }
    const std::size_t from = ByteOffset(text, start);
    const std::size_t to = std::max(from, ByteOffset(text, end));
    return g_strndup(text.c_str() + from, to - from);
}

gint GetCharacterCount(AtkText* object) {
    const std::string text = TextOf(object);
    const gint count = static_cast<gint>(g_utf8_strlen(text.c_str(), -1));
    SetAtkControlTextLength(ATK_OBJECT(object), count);
    return count;
}

gunichar GetCharacterAtOffset(AtkText* object, gint offset) {
    const std::string text = TextOf(object);
    if (offset < 0 || offset >= g_utf8_strlen(text.c_str(), -1)) {
        return 0;
    }
    return g_utf8_get_char(text.c_str() + ByteOffset(text, offset));
}

gint GetCaretOffset(AtkText*) {
    // The toolkit draws no caret of its own; the native edit field has one while editing.
    return 0;
}

// One character, or the whole text for every larger unit: the text is a single line.
gchar* GetStringAtOffset(AtkText* object, gint offset, AtkTextGranularity granularity, gint* start,
                         gint* end) {
    const std::string text = TextOf(object);
    const gint length = static_cast<gint>(g_utf8_strlen(text.c_str(), -1));
    if (granularity == ATK_TEXT_GRANULARITY_CHAR && offset >= 0 && offset < length) {
        *start = offset;
        *end = offset + 1;
    } else {
        *start = 0;
        *end = length;
    }
    return GetText(object, *start, *end);
}

void TextInit(AtkTextIface* iface) {
    iface->get_text = GetText;
    iface->get_character_count = GetCharacterCount;
    iface->get_character_at_offset = GetCharacterAtOffset;
    iface->get_caret_offset = GetCaretOffset;
    iface->get_string_at_offset = GetStringAtOffset;
}

void iw_atk_text_class_init(IwAtkTextClass*) {}
void iw_atk_text_init(IwAtkText*) {}

// AtkValue: read only.
std::optional<AccessibleValue> ValueOf(gpointer object) {
    const auto node = Describe(object);
    return node ? node->value : std::nullopt;
}

void SetDouble(GValue* out, double value) {
    g_value_init(out, G_TYPE_DOUBLE);
    g_value_set_double(out, value);
}

void GetCurrentValue(AtkValue* object, GValue* out) {
    SetDouble(out, ValueOf(object).value_or(AccessibleValue{}).current);
}

void GetMinimumValue(AtkValue* object, GValue* out) {
    SetDouble(out, ValueOf(object).value_or(AccessibleValue{}).minimum);
}

void GetMaximumValue(AtkValue* object, GValue* out) {
    SetDouble(out, ValueOf(object).value_or(AccessibleValue{}).maximum);
}

void GetValueAndText(AtkValue* object, gdouble* value, gchar** text) {
    const AccessibleValue v = ValueOf(object).value_or(AccessibleValue{});
    if (value != nullptr) {
        *value = v.current;
    }
    if (text != nullptr) {
        *text = nullptr;
    }
}

AtkRange* GetRange(AtkValue* object) {
    const AccessibleValue v = ValueOf(object).value_or(AccessibleValue{});
    return atk_range_new(v.minimum, v.maximum, nullptr);
}

void ValueInit(AtkValueIface* iface) {
    iface->get_current_value = GetCurrentValue;
    iface->get_minimum_value = GetMinimumValue;
    iface->get_maximum_value = GetMaximumValue;
    iface->get_value_and_text = GetValueAndText;
    iface->get_range = GetRange;
}

void iw_atk_value_class_init(IwAtkValueClass*) {}
void iw_atk_value_init(IwAtkValue*) {}

GType TypeFor(AccessibleRole role) {
    switch (role) {
    case AccessibleRole::PUSH_BUTTON:
    case AccessibleRole::TOGGLE_BUTTON:
    case AccessibleRole::CHECK_BOX:
    case AccessibleRole::RADIO_BUTTON:
    case AccessibleRole::LINK:
        return iw_atk_button_get_type();
    case AccessibleRole::LABEL:
    case AccessibleRole::TEXT_ENTRY:
        return iw_atk_text_get_type();
    case AccessibleRole::PROGRESS_BAR:
        return iw_atk_value_get_type();
    default:
        return iw_atk_control_get_type();
    }
}

} // namespace

AtkObject* NewAtkControlObject(GtkAccessibleBridge* bridge, AccessibleId node, AccessibleRole role,
                               AtkObject* parent) {
    auto* object = ATK_OBJECT(g_object_new(TypeFor(role), nullptr));
    IwAtkControl* c = Control(object);
    c->bridge = bridge;
    c->node = node;
    atk_object_initialize(object, nullptr);
    atk_object_set_role(object, AtkRoleOf(role));
    if (parent != nullptr) {
        atk_object_set_parent(object, parent);
    }
    if (const auto described = bridge->tree().describe(node); described && !described->id.empty()) {
        // Tools find a control by its name in the skin.
        atk_object_set_accessible_id(object, described->id.c_str());
    }
    return object;
}

void DetachAtkControlObject(AtkObject* object) {
    Control(object)->bridge = nullptr;
    atk_object_notify_state_change(object, ATK_STATE_DEFUNCT, TRUE);
}

int AtkControlTextLength(AtkObject* object) {
    return Control(object)->text_length;
}

void SetAtkControlTextLength(AtkObject* object, int length) {
    Control(object)->text_length = length;
}

} // namespace inkwarden
