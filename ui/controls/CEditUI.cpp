#include "ui/controls/CEditUI.h"

#include "ui/draw/FontEntry.h"
#include "ui/draw/ImageDrawing.h"
#include "ui/draw/TextDrawing.h"
#include "ui/markup/ColorFormat.h"
#include "ui/markup/ValueFormats.h"
#include "ui/runtime/PaintManager.h"

#include <algorithm>

namespace inkwarden {

CEditUI::CEditUI() {
    setTextPadding(UiRect{4, 3, 4, 3});
    setBkColor(0xFFFFFFFF);
}

CEditUI::~CEditUI() {
    destroyEditWindow();
}

void* CEditUI::getInterface(std::string_view name) {
    if (name == "Edit") {
        return this;
    }
    return CLabelUI::getInterface(name);
}

void CEditUI::setEnabled(bool enabled) {
    CControlUI::setEnabled(enabled);
    if (!enabled) {
        edit_state_ = 0;
        destroyEditWindow();
    }
}

UiSize CEditUI::estimateSize(UiSize) {
    if (getFixedHeight() > 0) {
        return UiSize{getFixedWidth(), getFixedHeight()};
    }
    FontEntry* font = resolveFont();
    return UiSize{getFixedWidth(), (font ? font->charHeight() : 0) + 8};
}

void CEditUI::setReadOnly(bool read_only) {
    read_only_ = read_only;
    invalidate();
}

void CEditUI::setPasswordMode(bool password) {
    password_ = password;
    invalidate();
}

void CEditUI::setAttribute(std::string_view name, std::string_view value) {
    if (name == "readonly") {
        setReadOnly(ParseBool(value));
    } else if (name == "numberonly") {
        number_only_ = ParseBool(value);
    } else if (name == "password") {
        setPasswordMode(ParseBool(value));
    } else if (name == "autoselall") {
        auto_sel_all_ = ParseBool(value);
    } else if (name == "maxchar") {
        setMaxChar(ParseInt(value));
    } else if (name == "normalimage") {
        setImageAttribute(normal_image_, value);
    } else if (name == "hotimage") {
        setImageAttribute(hot_image_, value);
    } else if (name == "focusedimage") {
        setImageAttribute(focused_image_, value);
    } else if (name == "disabledimage") {
        setImageAttribute(disabled_image_, value);
    } else if (name == "nativebkcolor") {
        native_bk_color_ = ParseColor(value);
    } else {
        CLabelUI::setAttribute(name, value);
    }
}

} // namespace inkwarden

namespace inkwarden {

void CEditUI::setText(std::string_view text) {
    CLabelUI::setText(text);
    if (edit_window_ != 0 && edit_layer_ != nullptr) {
        edit_layer_->setEditText(edit_window_, text_);
    }
}

void CEditUI::setVisible(bool visible) {
    CLabelUI::setVisible(visible);
    if (!isVisible()) {
        destroyEditWindow();
    }
}

void CEditUI::setInternVisible(bool visible) {
    CLabelUI::setInternVisible(visible);
    if (!isVisible()) {
        destroyEditWindow();
    }
}

void CEditUI::doEvent(UiEvent& event) {
    if (!isMouseEnabled() && IsMouseEvent(event.kind)) {
        if (parent_ != nullptr) {
            parent_->doEvent(event);
        } else {
            CLabelUI::doEvent(event);
        }
        return;
    }
    const bool editing = edit_window_ != 0;
    switch (event.kind) {
    case UiEventKind::SETCURSOR:
        if (isEnabled() && manager_ != nullptr) {
            manager_->setCursor(CursorShape::IBEAM);
            return;
        }
        break;
    case UiEventKind::WINDOWSIZE:
        if (editing && manager_ != nullptr) {
            manager_->setFocusNeeded(this);
        }
        return;
    case UiEventKind::SCROLLWHEEL:
        if (editing) {
            return;
        }
        break;
    case UiEventKind::SETFOCUS:
        setFocusedFlag(true);
        if (isEnabled() && !editing) {
            createEditWindow();
        }
        invalidate();
        return;
    case UiEventKind::KILLFOCUS:
        setFocusedFlag(false);
        invalidate();
        return;
    case UiEventKind::BUTTONDOWN:
    case UiEventKind::DBLCLICK:
    case UiEventKind::RBUTTONDOWN:
        if (!isEnabled()) {
            return;
        }
        if (manager_ != nullptr) {
            manager_->releaseCapture();
        }
        if (isFocused() && !editing) {
            createEditWindow();
        } else if (editing && !auto_sel_all_ && edit_layer_ != nullptr) {
            edit_layer_->setEditSelection(edit_window_, 0, 0);
            const UiRect r = editWindowRect();
            edit_layer_->send(edit_window_, WM_LBUTTONDOWN, MK_LBUTTON,
                              MAKELPARAM(event.point.x - r.left, event.point.y - r.top));
        }
        return;
    case UiEventKind::MOUSEMOVE:
    case UiEventKind::BUTTONUP:
    case UiEventKind::CONTEXTMENU:
        return;
    case UiEventKind::MOUSEENTER:
        if (isEnabled()) {
            edit_state_ |= STATE_HOT;
            invalidate();
        }
        return;
    case UiEventKind::MOUSELEAVE:
        if (isEnabled()) {
            edit_state_ &= ~STATE_HOT;
            invalidate();
        }
        return;
    default:
        break;
    }
    CLabelUI::doEvent(event);
}

UiRect CEditUI::editWindowRect() const {
    const UiRect& pad = getTextPadding();
    UiRect r{item_.left + pad.left, item_.top + pad.top, item_.right - pad.right,
             item_.bottom - pad.bottom};
    FontEntry* font = resolveFont();
    const int font_height = font != nullptr ? font->charHeight() : 0;
    if (font_height > 0 && font_height < r.height()) {
        r.top += (r.height() - font_height) / 2;
        r.bottom = r.top + font_height;
    }
    for (const CControlUI* p = parent_; p != nullptr; p = p->getParent()) {
        if (!p->isVisible()) {
            return UiRect{};
        }
        r = IntersectRect(r, p->getPos());
    }
    return r;
}

void CEditUI::createEditWindow() {
    if (edit_window_ != 0 || manager_ == nullptr || manager_->getLayer() == nullptr) {
        return;
    }
    INativeWindowLayer* layer = manager_->getLayer();
    EditCreateParams params;
    params.parent = manager_->getNativeWindow();
    params.rect = editWindowRect();
    FontEntry* font = resolveFont();
    params.font = font != nullptr ? font->description() : nullptr;
    params.text = text_;
    params.limit = max_char_;
    std::uint32_t style = ES_AUTOHSCROLL | getWindowStyles();
    if ((getTextStyle() & TEXT_CENTER) != 0) {
        style |= ES_CENTER;
    } else if ((getTextStyle() & TEXT_RIGHT) != 0) {
        style |= ES_RIGHT;
    }
    if (password_) {
        style |= ES_PASSWORD;
        params.password_char = std::string(1, password_char_);
    }
    if (read_only_) {
        style |= ES_READONLY;
    }
    if (number_only_) {
        style |= ES_NUMBER;
    }
    params.style = style;
    params.text_color = labelTextColor();
    params.sink = [this](UINT message, WPARAM wparam, LPARAM lparam) {
        return editMessage(message, wparam, lparam);
    };
    edit_initialised_ = false;
    const NativeWindowId id = layer->createEdit(params);
    if (id == 0) {
        return;
    }
    edit_window_ = id;
    edit_layer_ = layer;
    manager_->addNativeWindow(this, id);
    if (params.rect.isEmpty()) {
        layer->show(id, ShowCommand::HIDE);
    } else {
        layer->show(id, ShowCommand::SHOW_NO_ACTIVATE);
        layer->setFocus(id);
    }
    if (auto_sel_all_) {
        layer->setEditSelection(id, 0, text_.empty() ? 1 : -1);
    } else {
        const int end = static_cast<int>(std::count_if(text_.begin(), text_.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }));
        layer->setEditSelection(id, end, end);
    }
    edit_initialised_ = true;
}

void CEditUI::destroyEditWindow() {
    if (edit_window_ == 0 || edit_layer_ == nullptr) {
        return;
    }
    const NativeWindowId id = edit_window_;
    INativeWindowLayer* layer = edit_layer_;
    // Forget it first: destroying delivers messages back to editMessage.
    edit_window_ = 0;
    edit_layer_ = nullptr;
    edit_initialised_ = false;
    if (manager_ != nullptr) {
        manager_->removeNativeWindow(id);
    }
    if (layer->exists(id)) {
        layer->destroy(id);
    }
    invalidate();
}

LRESULT CEditUI::editMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    INativeWindowLayer* layer = edit_layer_;
    const NativeWindowId id = edit_window_;
    if (layer == nullptr || id == 0) {
        return 0;
    }
    switch (message) {
    case OCM_COMMAND:
        if (HIWORD(wparam) == EN_CHANGE && edit_initialised_) {
            // The user's text, without echoing it back into the window.
            CLabelUI::setText(layer->editText(id));
            sendNotify("textchanged");
            if (manager_ != nullptr && manager_->isLayered()) {
                invalidate();
            }
        }
        return 0;
    case WM_KEYDOWN:
        if (wparam == VK_RETURN) {
            sendNotify("return");
            return 0;
        }
        break;
    case OCM_CTLCOLOREDIT:
    case OCM_CTLCOLORSTATIC:
        return 0;
    case WM_KILLFOCUS: {
        const LRESULT result = layer->defaultProc(id, message, wparam, lparam);
        if (manager_ != nullptr &&
            static_cast<NativeWindowId>(wparam) != manager_->getNativeWindow()) {
            layer->send(manager_->getNativeWindow(), WM_KILLFOCUS, wparam, 0);
        }
        destroyEditWindow();
        return result;
    }
    default:
        break;
    }
    return layer->defaultProc(id, message, wparam, lparam);
}

void CEditUI::paintStatusImage(DrawContext& dc) {
    if (isFocused()) {
        edit_state_ |= STATE_FOCUSED;
    } else {
        edit_state_ &= ~STATE_FOCUSED;
    }
    if (!isEnabled()) {
        edit_state_ |= STATE_DISABLED;
    } else {
        edit_state_ &= ~STATE_DISABLED;
    }
    bool drawn = false;
    if ((edit_state_ & STATE_DISABLED) != 0) {
        drawn = drawImage(dc, disabled_image_);
    } else if ((edit_state_ & STATE_FOCUSED) != 0) {
        drawn = drawImage(dc, focused_image_);
    } else if ((edit_state_ & STATE_HOT) != 0) {
        drawn = drawImage(dc, hot_image_);
    }
    if (!drawn) {
        drawImage(dc, normal_image_);
    }
}

void CEditUI::paintText(DrawContext& dc) {
    if (text_.empty()) {
        return;
    }
    std::string shown = text_;
    if (password_) {
        const auto count = std::count_if(text_.begin(), text_.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        });
        shown.assign(static_cast<size_t>(count), password_char_);
    }
    const UiRect& pad = getTextPadding();
    const UiRect rect{item_.left + pad.left, item_.top + pad.top, item_.right - pad.right,
                      item_.bottom - pad.bottom};
    FontEntry* font = resolveFont();
    DrawPlainText(dc, rect, shown, labelTextColor(), font ? font->description() : nullptr,
                  (getTextStyle() | DT_SINGLELINE | DT_NOPREFIX) & ~DT_WORDBREAK);
}

} // namespace inkwarden
