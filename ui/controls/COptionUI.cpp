#include "ui/controls/COptionUI.h"

#include "ui/controls/AttributeTable.h"
#include "ui/draw/ImageDrawing.h"
#include "ui/markup/ColorFormat.h"
#include "ui/markup/ValueFormats.h"
#include "ui/runtime/PaintManager.h"

namespace inkwarden {

COptionUI::~COptionUI() {
    if (manager_ != nullptr && !group_.empty()) {
        manager_->removeOptionGroup(group_, this);
    }
}

void* COptionUI::getInterface(std::string_view name) {
    if (name == "Option") {
        return this;
    }
    return CButtonUI::getInterface(name);
}

void COptionUI::setManager(PaintManager* manager, CControlUI* parent, bool init) {
    CButtonUI::setManager(manager, parent, init);
    if (init && manager_ != nullptr && !group_.empty()) {
        manager_->addOptionGroup(group_, this);
    }
}

void COptionUI::setGroup(std::string_view group) {
    if (group_ == group) {
        return;
    }
    if (manager_ != nullptr && !group_.empty()) {
        manager_->removeOptionGroup(group_, this);
    }
    group_.assign(group);
    if (manager_ != nullptr && !group_.empty()) {
        manager_->addOptionGroup(group_, this);
    }
    selected(selected_, false);
}

void COptionUI::selected(bool selected, bool notify) {
    if (selected_ == selected) {
        return;
    }
    selected_ = selected;
    setStateBit(button_state_, STATE_SELECTED, selected_);
    if (manager_ != nullptr) {
        // Selecting a grouped option deselects the others; deselecting one says nothing.
        if (!group_.empty() && selected_) {
            deselectOthers(notify);
        }
        if (notify && (group_.empty() || selected_)) {
            sendNotify("selectchanged");
        }
    }
    invalidate();
}

void COptionUI::deselectOthers(bool notify) {
    const std::vector<CControlUI*>* members = manager_->getOptionGroup(group_);
    if (members == nullptr) {
        return;
    }
    // Copy: deselecting may not change the group, but stay safe if it does.
    std::vector<CControlUI*> others = *members;
    for (CControlUI* other : others) {
        auto* option = static_cast<COptionUI*>(other->getInterface("Option"));
        if (option != nullptr && option != this) {
            option->selected(false, notify);
        }
    }
}

AccessibleRole COptionUI::getAccessibleRole() const {
    return group_.empty() ? AccessibleRole::TOGGLE_BUTTON : AccessibleRole::RADIO_BUTTON;
}

unsigned COptionUI::getAccessibleStates() const {
    return CButtonUI::getAccessibleStates() | ACCESSIBLE_CHECKABLE |
           (selected_ ? ACCESSIBLE_CHECKED : 0u);
}

bool COptionUI::activate() {
    if (!CButtonUI::activate()) {
        return false;
    }
    // A grouped option stays selected; a check box toggles.
    selected(!group_.empty() ? true : !selected_, true);
    return true;
}

void COptionUI::paintStatusImage(DrawContext& dc) {
    const unsigned saved = button_state_;
    bool as_button = !selected_;
    if (selected_) {
        bool drawn = false;
        if ((button_state_ & STATE_HOT) != 0) {
            drawn = drawImage(dc, selected_hot_image_);
        }
        if (!drawn) {
            drawn = drawImage(dc, selected_image_);
        }
        if (!drawn) {
            if (selected_bk_color_ != 0) {
                FillColor(dc, paint_rect_, selected_bk_color_);
            } else {
                as_button = true;
            }
        }
    }
    if (as_button) {
        button_state_ &= ~STATE_PUSHED;
        CButtonUI::paintStatusImage(dc);
        // Keep the focus and disabled bits the button painting just recorded.
        button_state_ = (button_state_ & ~STATE_PUSHED) | (saved & STATE_PUSHED);
    }
    drawImage(dc, fore_image_);
}

void COptionUI::paintText(DrawContext& dc) {
    if (text_.empty()) {
        return;
    }
    if (!selected_) {
        const unsigned saved = button_state_;
        button_state_ &= ~STATE_PUSHED;
        const std::uint32_t color = buttonTextColor();
        button_state_ = saved;
        drawText(dc, color);
        return;
    }
    std::uint32_t color = selected_text_color_ != 0 ? selected_text_color_ : getTextColor();
    color = isEnabled() ? textColorOrDefault(color, false)
                        : textColorOrDefault(getDisabledTextColor(), true);
    drawText(dc, color);
}

void COptionUI::setAttribute(std::string_view name, std::string_view value) {
    using O = COptionUI;
    using V = std::string_view;
    static constexpr AttributeSetter<COptionUI> ATTRIBUTES[] = {
        {"group", [](O& o, V v) { o.setGroup(v); }},
        {"selected", [](O& o, V v) { o.selected(ParseBool(v), true); }},
        {"selectedimage", [](O& o, V v) { o.setImageAttribute(o.selected_image_, v); }},
        {"selectedhotimage", [](O& o, V v) { o.setImageAttribute(o.selected_hot_image_, v); }},
        {"foreimage", [](O& o, V v) { o.setImageAttribute(o.fore_image_, v); }},
        {"selectedbkcolor", [](O& o, V v) { o.selected_bk_color_ = ParseColor(v); }},
        {"selectedtextcolor", [](O& o, V v) { o.selected_text_color_ = ParseColor(v); }},
    };
    if (!ApplyAttribute(ATTRIBUTES, *this, name, value)) {
        CButtonUI::setAttribute(name, value);
    }
}

} // namespace inkwarden
