#include "ui/controls/CEditUI.h"

#include "ui/controls/AttributeTable.h"
#include "ui/draw/FontEntry.h"
#include "ui/draw/ImageDrawing.h"
#include "ui/draw/TextDrawing.h"
#include "ui/markup/ColorFormat.h"
#include "ui/markup/ValueFormats.h"
#include "ui/runtime/PaintManager.h"

#include <algorithm>

namespace inkwarden {
namespace {

// Characters of UTF-8 text, as the native edit counts its caret positions.
size_t CountCharacters(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

} // namespace

CEditUI::CEditUI() {
    setTextPadding(DEFAULT_TEXT_PADDING);
    setBkColor(OPAQUE_WHITE);
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

unsigned CEditUI::getAccessibleStates() const {
    unsigned states = CLabelUI::getAccessibleStates() | ACCESSIBLE_SINGLE_LINE;
    if (isEnabled() && !read_only_) {
        states |= ACCESSIBLE_EDITABLE;
    }
    return states;
}

std::optional<std::string> CEditUI::getAccessibleText() const {
    // A password is read out as its mask characters, one per character.
    if (password_) {
        return std::string(CountCharacters(text_), password_char_);
    }
    return text_;
}

void CEditUI::setEnabled(bool enabled) {
    CControlUI::setEnabled(enabled);
    if (!enabled) {
        edit_state_ = 0;
        destroyEditWindow();
    }
}

UiSize CEditUI::estimateSize(UiSize) {
    return fixedOrOneLineSize();
}

void CEditUI::setReadOnly(bool read_only) {
    setPainted(read_only_, read_only);
}

void CEditUI::setPasswordMode(bool password) {
    setPainted(password_, password);
}

void CEditUI::setAttribute(std::string_view name, std::string_view value) {
    using E = CEditUI;
    using V = std::string_view;
    static constexpr AttributeSetter<CEditUI> ATTRIBUTES[] = {
        {"readonly", [](E& e, V v) { e.setReadOnly(ParseBool(v)); }},
        {"numberonly", [](E& e, V v) { e.number_only_ = ParseBool(v); }},
        {"password", [](E& e, V v) { e.setPasswordMode(ParseBool(v)); }},
        {"autoselall", [](E& e, V v) { e.auto_sel_all_ = ParseBool(v); }},
        {"maxchar", [](E& e, V v) { e.setMaxChar(ParseInt(v)); }},
        {"normalimage", [](E& e, V v) { e.setImageAttribute(e.normal_image_, v); }},
        {"hotimage", [](E& e, V v) { e.setImageAttribute(e.hot_image_, v); }},
        {"focusedimage", [](E& e, V v) { e.setImageAttribute(e.focused_image_, v); }},
        {"disabledimage", [](E& e, V v) { e.setImageAttribute(e.disabled_image_, v); }},
        {"nativebkcolor", [](E& e, V v) { e.native_bk_color_ = ParseColor(v); }},
    };
    if (!ApplyAttribute(ATTRIBUTES, *this, name, value)) {
        CLabelUI::setAttribute(name, value);
    }
}

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
    if (passOnWhileMouseDisabled(event)) {
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
        // The native window is placed anew: focus comes back to this control after layout.
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
        onButtonDown(event, editing);
        return;
    case UiEventKind::MOUSEMOVE:
    case UiEventKind::BUTTONUP:
    case UiEventKind::CONTEXTMENU:
        return;
    case UiEventKind::MOUSEENTER:
    case UiEventKind::MOUSELEAVE:
        if (isEnabled()) {
            setStateBit(edit_state_, STATE_HOT, event.kind == UiEventKind::MOUSEENTER);
            invalidate();
        }
        return;
    default:
        break;
    }
    CLabelUI::doEvent(event);
}

void CEditUI::onButtonDown(const UiEvent& event, bool editing) {
    if (!isEnabled()) {
        return;
    }
    // The native window takes the mouse from here on.
    if (manager_ != nullptr) {
        manager_->releaseCapture();
    }
    if (isFocused() && !editing) {
        createEditWindow();
    } else if (editing && !auto_sel_all_ && edit_layer_ != nullptr) {
        // The click places the caret where it lands in the native window.
        edit_layer_->setEditSelection(edit_window_, 0, 0);
        const UiRect r = editWindowRect();
        edit_layer_->send(edit_window_, WM_LBUTTONDOWN, MK_LBUTTON,
                          MAKELPARAM(event.point.x - r.left, event.point.y - r.top));
    }
}

UiRect CEditUI::editWindowRect() const {
    UiRect r = textRect();
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
        const int end = static_cast<int>(CountCharacters(text_));
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
    syncFocusAndEnabledBits(edit_state_);
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
        shown.assign(CountCharacters(text_), password_char_);
    }
    FontEntry* font = resolveFont();
    DrawPlainText(dc, textRect(), shown, labelTextColor(), font ? font->description() : nullptr,
                  (getTextStyle() | DT_SINGLELINE | DT_NOPREFIX) & ~DT_WORDBREAK);
}

} // namespace inkwarden
