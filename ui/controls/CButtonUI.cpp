#include "ui/controls/CButtonUI.h"

#include "ui/controls/AttributeTable.h"
#include "ui/draw/FontEntry.h"
#include "ui/draw/ImageDrawing.h"
#include "ui/markup/ColorFormat.h"
#include "ui/markup/ValueFormats.h"
#include "ui/runtime/PaintManager.h"

#include <algorithm>
#include <iterator>

namespace inkwarden {

CButtonUI::CButtonUI() {
    text_style_ = TEXT_SINGLELINE | TEXT_VCENTER | TEXT_CENTER;
}

void* CButtonUI::getInterface(std::string_view name) {
    if (name == "Button") {
        return this;
    }
    return CLabelUI::getInterface(name);
}

AccessibleRole CButtonUI::getAccessibleRole() const {
    if (isShowHtml()) {
        bool has_words = false;
        bool all_underlined = true;
        for (const MarkupSpan& span : shownSpans()) {
            if (span.text.find_first_not_of(" \t\n") == std::string::npos) {
                continue;
            }
            has_words = true;
            all_underlined = all_underlined && (span.style.underline || span.style.link);
        }
        if (has_words && all_underlined) {
            return AccessibleRole::LINK;
        }
    }
    return AccessibleRole::PUSH_BUTTON;
}

unsigned CButtonUI::getControlFlags() const {
    return (isKeyboardEnabled() ? FLAG_TAB_STOP : 0u) | (isEnabled() ? FLAG_SET_CURSOR : 0u);
}

void CButtonUI::setEnabled(bool enabled) {
    CControlUI::setEnabled(enabled);
    if (!enabled) {
        button_state_ = 0;
    }
}

UiSize CButtonUI::estimateSize(UiSize) {
    return fixedOrOneLineSize();
}

bool CButtonUI::activate() {
    if (!CLabelUI::activate()) {
        return false;
    }
    sendNotify("click");
    return true;
}

void CButtonUI::doEvent(UiEvent& event) {
    if (passOnWhileMouseDisabled(event)) {
        return;
    }
    switch (event.kind) {
    case UiEventKind::SETFOCUS:
    case UiEventKind::KILLFOCUS:
        setFocusedFlag(event.kind == UiEventKind::SETFOCUS);
        invalidate();
        return;
    case UiEventKind::KEYDOWN:
        if (isKeyboardEnabled() && isEnabled() &&
            (event.character == VK_SPACE || event.character == VK_RETURN)) {
            activate();
            return;
        }
        break;
    case UiEventKind::BUTTONDOWN:
    case UiEventKind::DBLCLICK:
    case UiEventKind::MOUSEMOVE:
    case UiEventKind::BUTTONUP:
        onPressEvent(event);
        return;
    case UiEventKind::CONTEXTMENU:
        if (isContextMenuUsed() && isEnabled()) {
            sendNotify("menu", static_cast<std::intptr_t>(event.wparam), event.lparam);
        }
        return;
    case UiEventKind::MOUSEENTER:
        onMouseEnter(event);
        return;
    case UiEventKind::MOUSELEAVE:
        onMouseLeave(event);
        return;
    case UiEventKind::SETCURSOR:
        if (manager_ != nullptr) {
            manager_->setCursor(CursorShape::HAND);
        }
        return;
    case UiEventKind::TIMER:
        if (event.wparam == FADE_TIMER) {
            stepFade();
            return;
        }
        break;
    default:
        break;
    }
    CLabelUI::doEvent(event);
}

void CButtonUI::onPressEvent(const UiEvent& event) {
    const bool inside = item_.contains(event.point);
    const bool captured = (button_state_ & STATE_CAPTURED) != 0;
    if (event.kind == UiEventKind::BUTTONDOWN || event.kind == UiEventKind::DBLCLICK) {
        if (inside && isEnabled()) {
            button_state_ |= STATE_PUSHED | STATE_CAPTURED;
            invalidate();
        }
    } else if (event.kind == UiEventKind::MOUSEMOVE && captured) {
        // While captured, the button looks pushed only with the mouse over it.
        setStateBit(button_state_, STATE_PUSHED, inside);
        invalidate();
    } else if (event.kind == UiEventKind::BUTTONUP && captured) {
        // Released outside: no click.
        if (inside && isEnabled()) {
            activate();
        }
        button_state_ &= ~(STATE_PUSHED | STATE_CAPTURED);
        invalidate();
    }
}

void CButtonUI::onMouseEnter(const UiEvent& event) {
    if (!item_.contains(event.point) || !isEnabled()) {
        return;
    }
    button_state_ |= STATE_HOT;
    invalidate();
    if (fade_delta_ > 0 && manager_ != nullptr) {
        manager_->setTimer(this, FADE_TIMER, FADE_INTERVAL_MS);
    }
}

void CButtonUI::onMouseLeave(const UiEvent& event) {
    if (item_.contains(event.point)) {
        // Still over the button: the mouse went onto a child or a native window.
        if (manager_ != nullptr) {
            manager_->addMouseLeaveNeeded(this);
        }
        return;
    }
    if (isEnabled()) {
        button_state_ &= ~STATE_HOT;
        invalidate();
    }
    if (manager_ != nullptr) {
        manager_->removeMouseLeaveNeeded(this);
        if (fade_delta_ > 0) {
            manager_->setTimer(this, FADE_TIMER, FADE_INTERVAL_MS);
        }
    }
}

void CButtonUI::stepFade() {
    // The fade alpha is the normal image's share; the timer stops at either end.
    const bool hot = (button_state_ & STATE_HOT) != 0;
    fade_alpha_ = hot ? std::max(fade_alpha_ - fade_delta_, 0)
                      : std::min(fade_alpha_ + fade_delta_, OPAQUE_ALPHA);
    if (fade_alpha_ == (hot ? 0 : OPAQUE_ALPHA) && manager_ != nullptr) {
        manager_->killTimer(this, FADE_TIMER);
    }
    invalidate();
}

void CButtonUI::applyFiveStatusImage() {
    five_status_applied_ = true;
    if (five_status_image_.isEmpty() || manager_ == nullptr) {
        return;
    }
    const ImageDescription& five = five_status_image_;
    const std::string name = five.res.empty() ? five.file : five.res;
    const ImageEntry* image = manager_->loadImage(name, five.res_type, five.mask);
    if (image == nullptr) {
        return;
    }
    // Left to right: normal, pushed, hot, focused, disabled.
    ImageDescription* targets[] = {&normal_image_, &pushed_image_, &hot_image_, &focused_image_,
                                   &disabled_image_};
    const int strips = static_cast<int>(std::size(targets));
    const int strip = image->width() / strips;
    const int height = image->height();
    for (int i = 0; i < strips; ++i) {
        std::string text = (five.res.empty() ? "file='" + five.file : "res='" + five.res) + "'";
        if (!five.res_type.empty()) {
            text += " restype='" + five.res_type + "'";
        }
        text += " source='" + std::to_string(i * strip) + ",0," + std::to_string((i + 1) * strip) +
                "," + std::to_string(height) + "'";
        targets[i]->setText(text);
        targets[i]->mask = five.mask;
    }
}

void CButtonUI::paintStatusImage(DrawContext& dc) {
    if (!five_status_applied_ && !five_status_image_.isEmpty()) {
        applyFiveStatusImage();
    }
    syncFocusAndEnabledBits(button_state_);
    bool normal = false;
    if ((button_state_ & STATE_DISABLED) != 0) {
        // Without a disabled image the normal rule applies.
        normal = !drawImage(dc, disabled_image_);
    } else if ((button_state_ & STATE_PUSHED) != 0) {
        if (!drawImage(dc, pushed_image_)) {
            drawImage(dc, normal_image_);
        }
    } else if ((button_state_ & STATE_HOT) != 0) {
        if (paintHot(dc)) {
            return;
        }
    } else if ((button_state_ & STATE_FOCUSED) != 0) {
        normal = !drawImage(dc, focused_image_);
    } else {
        normal = true;
    }
    if (normal) {
        paintNormal(dc);
    }
    // The fore image lies on top of every state.
    drawImage(dc, fore_image_);
}

bool CButtonUI::paintHot(DrawContext& dc) {
    if (fade_delta_ > 0) {
        drawImage(dc, normal_image_, nullptr, fade_alpha_);
        drawImage(dc, hot_image_, nullptr, OPAQUE_ALPHA - fade_alpha_);
    } else if (!drawImage(dc, hot_image_)) {
        drawImage(dc, normal_image_);
    }
    if (drawImage(dc, hot_fore_image_)) {
        return true;
    }
    if (hot_bk_color_ != 0) {
        FillColor(dc, paint_rect_, hot_bk_color_);
        return true;
    }
    return false;
}

void CButtonUI::paintNormal(DrawContext& dc) {
    if (fade_delta_ > 0 && fade_alpha_ < OPAQUE_ALPHA) {
        drawImage(dc, hot_image_, nullptr, OPAQUE_ALPHA - fade_alpha_);
        drawImage(dc, normal_image_, nullptr, fade_alpha_);
    } else {
        drawImage(dc, normal_image_);
    }
}

std::uint32_t CButtonUI::buttonTextColor() const {
    if ((button_state_ & STATE_PUSHED) != 0 && pushed_text_color_ != 0) {
        return pushed_text_color_;
    }
    if ((button_state_ & STATE_HOT) != 0 && hot_text_color_ != 0) {
        return hot_text_color_;
    }
    if (isFocused() && focused_text_color_ != 0) {
        return focused_text_color_;
    }
    return labelTextColor();
}

void CButtonUI::paintText(DrawContext& dc) {
    if (text_.empty()) {
        return;
    }
    drawText(dc, buttonTextColor());
}

void CButtonUI::setAttribute(std::string_view name, std::string_view value) {
    using B = CButtonUI;
    using V = std::string_view;
    static constexpr AttributeSetter<CButtonUI> ATTRIBUTES[] = {
        {"normalimage", [](B& b, V v) { b.setImageAttribute(b.normal_image_, v); }},
        {"hotimage", [](B& b, V v) { b.setImageAttribute(b.hot_image_, v); }},
        {"pushedimage", [](B& b, V v) { b.setImageAttribute(b.pushed_image_, v); }},
        {"focusedimage", [](B& b, V v) { b.setImageAttribute(b.focused_image_, v); }},
        {"disabledimage", [](B& b, V v) { b.setImageAttribute(b.disabled_image_, v); }},
        {"foreimage", [](B& b, V v) { b.setImageAttribute(b.fore_image_, v); }},
        {"hotforeimage", [](B& b, V v) { b.setImageAttribute(b.hot_fore_image_, v); }},
        {"fivestatusimage",
         [](B& b, V v) {
             b.setImageAttribute(b.five_status_image_, v);
             b.five_status_applied_ = false;
         }},
        {"fadedelta", [](B& b, V v) { b.fade_delta_ = std::clamp(ParseInt(v), 0, OPAQUE_ALPHA); }},
        {"hotbkcolor", [](B& b, V v) { b.hot_bk_color_ = ParseColor(v); }},
        {"hottextcolor", [](B& b, V v) { b.hot_text_color_ = ParseColor(v); }},
        {"pushedtextcolor", [](B& b, V v) { b.pushed_text_color_ = ParseColor(v); }},
        {"focusedtextcolor", [](B& b, V v) { b.focused_text_color_ = ParseColor(v); }},
    };
    if (!ApplyAttribute(ATTRIBUTES, *this, name, value)) {
        CLabelUI::setAttribute(name, value);
    }
}

} // namespace inkwarden
