#include "ui/controls/CButtonUI.h"

#include "ui/draw/FontEntry.h"
#include "ui/draw/ImageDrawing.h"
#include "ui/markup/ColorFormat.h"
#include "ui/markup/ValueFormats.h"
#include "ui/runtime/PaintManager.h"

#include <algorithm>

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
    if (getFixedHeight() > 0) {
        return UiSize{getFixedWidth(), getFixedHeight()};
    }
    FontEntry* font = resolveFont();
    return UiSize{getFixedWidth(), (font ? font->charHeight() : 0) + 8};
}

bool CButtonUI::activate() {
    if (!CLabelUI::activate()) {
        return false;
    }
    sendNotify("click");
    return true;
}

void CButtonUI::doEvent(UiEvent& event) {
    if (!isMouseEnabled() && IsMouseEvent(event.kind)) {
        if (parent_ != nullptr) {
            parent_->doEvent(event);
        } else {
            CLabelUI::doEvent(event);
        }
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
        if (item_.contains(event.point) && isEnabled()) {
            button_state_ |= STATE_PUSHED | STATE_CAPTURED;
            invalidate();
        }
        return;
    case UiEventKind::MOUSEMOVE:
        if ((button_state_ & STATE_CAPTURED) != 0) {
            if (item_.contains(event.point)) {
                button_state_ |= STATE_PUSHED;
            } else {
                button_state_ &= ~STATE_PUSHED;
            }
            invalidate();
        }
        return;
    case UiEventKind::BUTTONUP:
        if ((button_state_ & STATE_CAPTURED) != 0) {
            // Released outside: no click.
            if (item_.contains(event.point) && isEnabled()) {
                activate();
            }
            button_state_ &= ~(STATE_PUSHED | STATE_CAPTURED);
            invalidate();
        }
        return;
    case UiEventKind::CONTEXTMENU:
        if (isContextMenuUsed() && isEnabled()) {
            sendNotify("menu", static_cast<std::intptr_t>(event.wparam), event.lparam);
        }
        return;
    case UiEventKind::MOUSEENTER:
        if (item_.contains(event.point) && isEnabled()) {
            button_state_ |= STATE_HOT;
            invalidate();
            if (fade_delta_ > 0 && manager_ != nullptr) {
                manager_->setTimer(this, FADE_TIMER, 30);
            }
        }
        return;
    case UiEventKind::MOUSELEAVE:
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
                manager_->setTimer(this, FADE_TIMER, 30);
            }
        }
        return;
    case UiEventKind::SETCURSOR:
        if (manager_ != nullptr) {
            manager_->setCursor(CursorShape::HAND);
        }
        return;
    case UiEventKind::TIMER:
        if (event.wparam == FADE_TIMER) {
            if ((button_state_ & STATE_HOT) != 0) {
                fade_alpha_ = std::max(fade_alpha_ - fade_delta_, 0);
                if (fade_alpha_ == 0 && manager_ != nullptr) {
                    manager_->killTimer(this, FADE_TIMER);
                }
            } else {
                fade_alpha_ = std::min(fade_alpha_ + fade_delta_, 255);
                if (fade_alpha_ == 255 && manager_ != nullptr) {
                    manager_->killTimer(this, FADE_TIMER);
                }
            }
            invalidate();
            return;
        }
        break;
    default:
        break;
    }
    CLabelUI::doEvent(event);
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
    const int strip = image->width() / 5;
    const int height = image->height();
    // Left to right: normal, pushed, hot, focused, disabled.
    ImageDescription* targets[] = {&normal_image_, &pushed_image_, &hot_image_, &focused_image_,
                                   &disabled_image_};
    for (int i = 0; i < 5; ++i) {
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
    if (isFocused()) {
        button_state_ |= STATE_FOCUSED;
    } else {
        button_state_ &= ~STATE_FOCUSED;
    }
    if (!isEnabled()) {
        button_state_ |= STATE_DISABLED;
    } else {
        button_state_ &= ~STATE_DISABLED;
    }
    const bool fading = fade_delta_ > 0;
    bool normal = false;
    if ((button_state_ & STATE_DISABLED) != 0) {
        // 1. Disabled; without its image the normal rule applies.
        normal = !drawImage(dc, disabled_image_);
    } else if ((button_state_ & STATE_PUSHED) != 0) {
        // 2. Pushed.
        if (!drawImage(dc, pushed_image_)) {
            drawImage(dc, normal_image_);
        }
    } else if ((button_state_ & STATE_HOT) != 0) {
        // 3. Hot.
        if (fading) {
            drawImage(dc, normal_image_, nullptr, fade_alpha_);
            drawImage(dc, hot_image_, nullptr, 255 - fade_alpha_);
        } else if (!drawImage(dc, hot_image_)) {
            drawImage(dc, normal_image_);
        }
        if (drawImage(dc, hot_fore_image_)) {
            return;
        }
        if (hot_bk_color_ != 0) {
            FillColor(dc, paint_rect_, hot_bk_color_);
            return;
        }
    } else if ((button_state_ & STATE_FOCUSED) != 0) {
        // 4. Focused.
        normal = !drawImage(dc, focused_image_);
    } else {
        normal = true;
    }
    if (normal) {
        // 5. Normal, with the fade back from hot.
        if (fading && fade_alpha_ < 255) {
            drawImage(dc, hot_image_, nullptr, 255 - fade_alpha_);
            drawImage(dc, normal_image_, nullptr, fade_alpha_);
        } else {
            drawImage(dc, normal_image_);
        }
    }
    // 6. Fore image.
    drawImage(dc, fore_image_);
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
    if (name == "normalimage") {
        setImageAttribute(normal_image_, value);
    } else if (name == "hotimage") {
        setImageAttribute(hot_image_, value);
    } else if (name == "pushedimage") {
        setImageAttribute(pushed_image_, value);
    } else if (name == "focusedimage") {
        setImageAttribute(focused_image_, value);
    } else if (name == "disabledimage") {
        setImageAttribute(disabled_image_, value);
    } else if (name == "foreimage") {
        setImageAttribute(fore_image_, value);
    } else if (name == "hotforeimage") {
        setImageAttribute(hot_fore_image_, value);
    } else if (name == "fivestatusimage") {
        setImageAttribute(five_status_image_, value);
        five_status_applied_ = false;
    } else if (name == "fadedelta") {
        fade_delta_ = std::clamp(ParseInt(value), 0, 255);
    } else if (name == "hotbkcolor") {
        hot_bk_color_ = ParseColor(value);
    } else if (name == "hottextcolor") {
        hot_text_color_ = ParseColor(value);
    } else if (name == "pushedtextcolor") {
        pushed_text_color_ = ParseColor(value);
    } else if (name == "focusedtextcolor") {
        focused_text_color_ = ParseColor(value);
    } else {
        CLabelUI::setAttribute(name, value);
    }
}

} // namespace inkwarden
