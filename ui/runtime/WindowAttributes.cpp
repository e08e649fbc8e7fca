#include "ui/runtime/WindowAttributes.h"

#include "platform/TextEncoding.h"
#include "ui/markup/ColorFormat.h"
#include "ui/markup/ValueFormats.h"

#include <algorithm>

namespace inkwarden {
namespace {

enum class NameCase { ANY, EXACT };

int ParseAlpha(std::string_view value) {
    return std::clamp(ParseInt(value), 0, WindowAttributes::FULL_ALPHA);
}

} // namespace

WindowAttributes::Effect WindowAttributes::set(std::string_view name, std::string_view value) {
    struct Setter {
        std::string_view name;
        NameCase name_case;
        void (*set)(WindowAttributes& a, std::string_view value);
        Effect effect;
    };
    using A = WindowAttributes;
    using V = std::string_view;
    static constexpr Setter SETTERS[] = {
        {"size", NameCase::ANY, [](A& a, V v) { a.init_size_ = ParsePair(v); }, Effect::RESIZE},
        {"sizebox", NameCase::ANY, [](A& a, V v) { a.size_box_ = ParseRect(v); }, Effect::NONE},
        {"caption", NameCase::ANY, [](A& a, V v) { a.caption_ = ParseRect(v); }, Effect::NONE},
        {"roundcorner", NameCase::ANY, [](A& a, V v) { a.round_corner_ = ParsePair(v); },
         Effect::NONE},
        {"mininfo", NameCase::ANY, [](A& a, V v) { a.min_info_ = ParsePair(v); }, Effect::NONE},
        {"maxinfo", NameCase::ANY, [](A& a, V v) { a.max_info_ = ParsePair(v); }, Effect::NONE},
        {"showdirty", NameCase::ANY, [](A& a, V v) { a.show_dirty_ = ParseBool(v); }, Effect::NONE},
        {"noactivate", NameCase::EXACT, [](A& a, V v) { a.no_activate_ = ParseBool(v); },
         Effect::NONE},
        {"opacity", NameCase::ANY, [](A& a, V v) { a.opacity_ = ParseAlpha(v); }, Effect::NONE},
        {"layeredopacity", NameCase::EXACT, [](A& a, V v) { a.layered_opacity_ = ParseAlpha(v); },
         Effect::NONE},
        {"layeredimage", NameCase::EXACT,
         [](A& a, V v) {
             a.layered_ = true;
             a.layered_image_.setText(v);
         },
         Effect::LAYERED_IMAGE},
        {"disabledfontcolor", NameCase::ANY, [](A& a, V v) { a.disabled_color_ = ParseColor(v); },
         Effect::NONE},
        {"defaultfontcolor", NameCase::ANY, [](A& a, V v) { a.font_color_ = ParseColor(v); },
         Effect::NONE},
        {"linkfontcolor", NameCase::ANY, [](A& a, V v) { a.link_color_ = ParseColor(v); },
         Effect::NONE},
        {"linkhoverfontcolor", NameCase::ANY,
         [](A& a, V v) { a.link_hover_color_ = ParseColor(v); }, Effect::NONE},
        {"selectedcolor", NameCase::ANY, [](A& a, V v) { a.selected_color_ = ParseColor(v); },
         Effect::NONE},
        {"focusringcolor", NameCase::ANY, [](A& a, V v) { a.focus_ring_color_ = ParseColor(v); },
         Effect::NONE},
        {"focusringcolor2", NameCase::ANY, [](A& a, V v) { a.focus_ring_color2_ = ParseColor(v); },
         Effect::NONE},
    };
    for (const Setter& setter : SETTERS) {
        const bool match = setter.name_case == NameCase::ANY
                               ? EqualsIgnoringAsciiCase(name, setter.name)
                               : name == setter.name;
        if (match) {
            setter.set(*this, value);
            return setter.effect;
        }
    }
    const bool known = std::any_of(named_.begin(), named_.end(),
                                   [name](const auto& entry) { return entry.first == name; });
    if (!known) {
        named_.emplace_back(std::string(name), std::string(value));
    }
    return Effect::NONE;
}

std::string WindowAttributes::get(std::string_view name) const {
    for (const auto& [key, value] : named_) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

} // namespace inkwarden
