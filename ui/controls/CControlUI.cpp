#include "ui/controls/CControlUI.h"

#include "ui/controls/AttributeTable.h"
#include "ui/draw/DrawContext.h"
#include "ui/draw/ImageDrawing.h"
#include "ui/markup/ColorFormat.h"
#include "ui/markup/ValueFormats.h"
#include "ui/runtime/PaintManager.h"

#include <algorithm>
#include <cstdlib>

namespace inkwarden {
namespace {

// Four doubles, each followed by one separator character.
FloatPercent ParseFloatPercent(std::string_view text) {
    std::string copy(text);
    const char* p = copy.c_str();
    double v[4] = {0, 0, 0, 0};
    for (double& d : v) {
        char* end = nullptr;
        d = std::strtod(p, &end);
        p = end;
        if (*p != '\0') {
            ++p;
        }
    }
    return FloatPercent{v[0], v[1], v[2], v[3]};
}

// One number for all four sides, or l,t,r,b.
UiRect ParseBorderSize(std::string_view text) {
    if (text.find(',') != std::string_view::npos) {
        return ParseRect(text);
    }
    const int n = ParseInt(text);
    return UiRect{n, n, n, n};
}

} // namespace

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
    if (manager_ != nullptr) {
        manager_->releaseControl(this);
    }
}

void* CControlUI::getInterface(std::string_view name) {
    if (name == "Control") {
        return this;
    }
    return nullptr;
}

void CControlUI::setManager(PaintManager* manager, CControlUI* parent, bool init) {
    if (cover_ != nullptr) {
        cover_->setManager(manager, this, init);
    }
    manager_ = manager;
    parent_ = parent;
    if (init && manager_ != nullptr) {
        manager_->initControl(this);
    }
}

void CControlUI::setText(std::string_view text) {
    if (text_ == text) {
        return;
    }
    text_.assign(text);
    invalidate();
}

void CControlUI::setPos(UiRect rect, bool invalidate_area) {
    if (rect.right < rect.left) {
        rect.right = rect.left;
    }
    if (rect.bottom < rect.top) {
        rect.bottom = rect.top;
    }
    UiRect old = item_;
    if (float_ && parent_ != nullptr) {
        // A floating control receives its rectangle relative to the parent's and keeps
        // its fixed position and size in step with it.
        const UiRect& p = parent_->getPos();
        const int pw = p.width();
        const int ph = p.height();
        fixed_xy_.x = rect.left - static_cast<int>(float_percent_.left * pw);
        fixed_xy_.y = rect.top - static_cast<int>(float_percent_.top * ph);
        fixed_width_ = rect.right - fixed_xy_.x - static_cast<int>(float_percent_.right * pw);
        fixed_height_ = rect.bottom - fixed_xy_.y - static_cast<int>(float_percent_.bottom * ph);
        rect =
            UiRect{rect.left + p.left, rect.top + p.top, rect.right + p.left, rect.bottom + p.top};
    }
    item_ = rect;
    update_needed_ = false;
    if (cover_ != nullptr && cover_->isVisible()) {
        cover_->setPos(item_, false);
    }
    if (invalidate_area && manager_ != nullptr && isVisible()) {
        invalidateWithinAncestors(UnionRect(old, item_));
    }
    for (auto& handler : on_size) {
        handler(this);
    }
}

void CControlUI::setFixedXY(UiPoint xy) {
    setLaidOut(fixed_xy_, xy);
}

void CControlUI::setFixedWidth(int cx) {
    // Negative sizes are ignored, so that a short "pos" sets only the position.
    if (cx >= 0) {
        setLaidOut(fixed_width_, cx);
    }
}

void CControlUI::setFixedHeight(int cy) {
    if (cy >= 0) {
        setLaidOut(fixed_height_, cy);
    }
}

void CControlUI::setMinWidth(int cx) {
    setSizeLimit(min_width_, cx);
}

void CControlUI::setMaxWidth(int cx) {
    setSizeLimit(max_width_, cx);
}

void CControlUI::setMinHeight(int cy) {
    setSizeLimit(min_height_, cy);
}

void CControlUI::setMaxHeight(int cy) {
    setSizeLimit(max_height_, cy);
}

void CControlUI::setSizeLimit(int& limit, int value) {
    if (limit != value && value >= 0) {
        setLaidOut(limit, value);
    }
}

void CControlUI::setPadding(UiRect padding) {
    setLaidOut(padding_, padding);
}

void CControlUI::setFloatPercent(FloatPercent percent) {
    setLaidOut(float_percent_, percent);
}

void CControlUI::setFloat(bool value) {
    if (float_ != value) {
        setLaidOut(float_, value);
    }
}

UiSize CControlUI::estimateSize(UiSize) {
    return UiSize{fixed_width_, fixed_height_};
}

void CControlUI::setVisible(bool visible) {
    if (visible_ == visible) {
        return;
    }
    const bool was_visible = isVisible();
    visible_ = visible;
    if (focused_ && !visible_ && manager_ != nullptr) {
        manager_->setFocus(nullptr);
    }
    if (isVisible() != was_visible) {
        needParentUpdate();
    }
    if (cover_ != nullptr) {
        cover_->setInternVisible(isVisible());
    }
}

void CControlUI::setInternVisible(bool visible) {
    intern_visible_ = visible;
    if (!visible && focused_ && manager_ != nullptr) {
        manager_->setFocus(nullptr);
    }
    if (cover_ != nullptr) {
        cover_->setInternVisible(isVisible());
    }
}

void CControlUI::setEnabled(bool enabled) {
    if (enabled_ == enabled) {
        return;
    }
    enabled_ = enabled;
    invalidate();
}

void CControlUI::setFocus() {
    if (manager_ != nullptr) {
        manager_->setFocus(this);
    }
}

void CControlUI::needUpdate() {
    if (!isVisible()) {
        return;
    }
    update_needed_ = true;
    invalidate();
    if (manager_ != nullptr) {
        manager_->needUpdate();
    }
}

void CControlUI::needParentUpdate() {
    if (parent_ != nullptr) {
        parent_->needUpdate();
        parent_->invalidate();
    } else {
        needUpdate();
    }
    if (manager_ != nullptr) {
        manager_->needUpdate();
    }
}

void CControlUI::invalidate() {
    if (!isVisible() || manager_ == nullptr) {
        return;
    }
    invalidateWithinAncestors(item_);
}

void CControlUI::invalidateWithinAncestors(UiRect area) {
    // What an ancestor clips away, or hides, needs no repaint.
    for (CControlUI* p = parent_; p != nullptr && !area.isEmpty(); p = p->getParent()) {
        area = p->isVisible() ? IntersectRect(area, p->getPos()) : UiRect{};
    }
    if (!area.isEmpty()) {
        manager_->invalidate(area);
    }
}

void CControlUI::setCover(CControlUI* cover) {
    cover_.reset(cover);
    if (cover_ != nullptr) {
        cover_->setManager(manager_, this, manager_ != nullptr);
        cover_->setInternVisible(isVisible());
    }
    needUpdate();
}

AccessibleRole CControlUI::getAccessibleRole() const {
    return bk_image_.isEmpty() ? AccessibleRole::FILLER : AccessibleRole::IMAGE;
}

std::string CControlUI::getAccessibleName() const {
    return text_.empty() ? accessibleNameWithoutText() : text_;
}

std::string CControlUI::accessibleNameWithoutText() const {
    return tooltip_.empty() ? accessible_name_ : tooltip_;
}

unsigned CControlUI::getAccessibleStates() const {
    unsigned states = 0;
    if (isEnabled()) {
        states |= ACCESSIBLE_ENABLED;
    }
    if ((getControlFlags() & FLAG_TAB_STOP) != 0 && isKeyboardEnabled() && isEnabled()) {
        states |= ACCESSIBLE_FOCUSABLE;
    }
    if (isFocused()) {
        states |= ACCESSIBLE_FOCUSED;
    }
    if (isVisible()) {
        states |= ACCESSIBLE_SHOWING;
    }
    return states;
}

void CControlUI::setAccessibleNameAttribute(std::string_view name) {
    accessible_name_.assign(name);
}

void CControlUI::setToolTip(std::string_view text) {
    tooltip_.clear();
    // "<n>" in a tooltip is a line break.
    size_t i = 0;
    while (i < text.size()) {
        if (text.substr(i, 3) == "<n>") {
            tooltip_ += '\n';
            i += 3;
        } else {
            tooltip_ += text[i++];
        }
    }
}

void CControlUI::setBkColor(std::uint32_t color) {
    setPainted(bk_color_, color);
}

void CControlUI::setBkColor2(std::uint32_t color) {
    setPainted(bk_color2_, color);
}

void CControlUI::setBkColor3(std::uint32_t color) {
    setPainted(bk_color3_, color);
}

void CControlUI::setBorderColor(std::uint32_t color) {
    setPainted(border_color_, color);
}

void CControlUI::setFocusBorderColor(std::uint32_t color) {
    setPainted(focus_border_color_, color);
}

void CControlUI::setBorderSize(UiRect size) {
    setPainted(border_size_, size);
}

void CControlUI::setBorderRound(UiSize round) {
    setPainted(border_round_, round);
}

void CControlUI::setBkImage(std::string_view text) {
    setImageAttribute(bk_image_, text);
}

void CControlUI::setImageAttribute(ImageDescription& image, std::string_view text) {
    if (image.text == text && image.entry != nullptr) {
        return;
    }
    image.setText(text);
    invalidate();
}

void CControlUI::sendNotify(const char* type, std::intptr_t wparam, std::intptr_t lparam) {
    // Without a manager there is nobody to tell.
    if (manager_ != nullptr) {
        manager_->sendNotify(this, type, wparam, lparam);
    }
}

void CControlUI::setAttribute(std::string_view name, std::string_view value) {
    using C = CControlUI;
    using V = std::string_view;
    static constexpr AttributeSetter<CControlUI> ATTRIBUTES[] = {
        {"pos", [](C& c, V v) { c.setPosAttribute(ParseRect(v)); }},
        {"padding", [](C& c, V v) { c.setPadding(ParseRect(v)); }},
        {"bkcolor", [](C& c, V v) { c.setBkColor(ParseColor(v)); }},
        {"bkcolor1", [](C& c, V v) { c.setBkColor(ParseColor(v)); }},
        {"bkcolor2", [](C& c, V v) { c.setBkColor2(ParseColor(v)); }},
        {"bkcolor3", [](C& c, V v) { c.setBkColor3(ParseColor(v)); }},
        {"bordercolor", [](C& c, V v) { c.setBorderColor(ParseColor(v)); }},
        {"focusbordercolor", [](C& c, V v) { c.setFocusBorderColor(ParseColor(v)); }},
        {"colorhsl", [](C& c, V v) { c.color_hsl_ = ParseBool(v); }},
        {"bordersize", [](C& c, V v) { c.setBorderSize(ParseBorderSize(v)); }},
        {"borderstyle", [](C& c, V v) { c.border_style_ = ParseInt(v); }},
        {"borderround", [](C& c, V v) { c.setBorderRound(ParsePair(v)); }},
        {"bkimage", [](C& c, V v) { c.setBkImage(v); }},
        {"width", [](C& c, V v) { c.setFixedWidth(ParseInt(v)); }},
        {"height", [](C& c, V v) { c.setFixedHeight(ParseInt(v)); }},
        {"minwidth", [](C& c, V v) { c.setMinWidth(ParseInt(v)); }},
        {"minheight", [](C& c, V v) { c.setMinHeight(ParseInt(v)); }},
        {"maxwidth", [](C& c, V v) { c.setMaxWidth(ParseInt(v)); }},
        {"maxheight", [](C& c, V v) { c.setMaxHeight(ParseInt(v)); }},
        {"name", [](C& c, V v) { c.setName(v); }},
        {"text", [](C& c, V v) { c.setText(v); }},
        {"tooltip", [](C& c, V v) { c.setToolTip(v); }},
        {"accessiblename", [](C& c, V v) { c.setAccessibleNameAttribute(v); }},
        {"userdata", [](C& c, V v) { c.setUserData(v); }},
        {"tag", [](C& c, V v) { c.setTag(ParseInt(v)); }},
        {"enabled", [](C& c, V v) { c.setEnabled(ParseBool(v)); }},
        {"mouse", [](C& c, V v) { c.setMouseEnabled(ParseBool(v)); }},
        {"keyboard", [](C& c, V v) { c.setKeyboardEnabled(ParseBool(v)); }},
        {"visible", [](C& c, V v) { c.setVisible(ParseBool(v)); }},
        {"float", [](C& c, V v) { c.setFloatAttribute(v); }},
        {"shortcut", [](C& c, V v) { c.setShortcut(v.empty() ? '\0' : v[0]); }},
        {"menu", [](C& c, V v) { c.menu_used_ = ParseBool(v); }},
        {"virtualwnd", [](C& c, V v) { c.virtual_wnd_.assign(v); }},
    };
    if (!ApplyAttribute(ATTRIBUTES, *this, name, value)) {
        setCustomAttribute(name, value);
    }
}

void CControlUI::setPosAttribute(UiRect pos) {
    setFixedXY(UiPoint{pos.left, pos.top});
    setFixedWidth(pos.right - pos.left);
    setFixedHeight(pos.bottom - pos.top);
}

void CControlUI::setFloatAttribute(std::string_view value) {
    // "true" or "false", or four percentages of the parent, which also make it float.
    if (value.find(',') == std::string_view::npos) {
        setFloat(ParseBool(value));
        return;
    }
    setFloatPercent(ParseFloatPercent(value));
    setFloat(true);
}

void CControlUI::setCustomAttribute(std::string_view name, std::string_view value) {
    if (name.empty() || value.empty()) {
        return;
    }
    for (const auto& [key, text] : custom_attributes_) {
        if (key == name) {
            return; // the first value stays
        }
    }
    custom_attributes_.emplace_back(std::string(name), std::string(value));
}

bool CControlUI::activate() {
    return isVisible() && isEnabled();
}

CControlUI* CControlUI::findControl(UiPoint point) {
    if (!isVisible() || !item_.contains(point)) {
        return nullptr;
    }
    if (cover_ != nullptr) {
        if (CControlUI* hit = cover_->findControl(point)) {
            return hit;
        }
    }
    return mouse_enabled_ ? this : nullptr;
}

void CControlUI::handleEvent(UiEvent& event) {
    // A copy: a handler may attach further handlers.
    auto handlers = on_event;
    for (auto& handler : handlers) {
        if (!handler(event)) {
            return;
        }
    }
    doEvent(event);
}

void CControlUI::doEvent(UiEvent& event) {
    switch (event.kind) {
    case UiEventKind::SETCURSOR:
        if (manager_ != nullptr) {
            manager_->setCursor(CursorShape::ARROW);
        }
        return;
    case UiEventKind::SETFOCUS:
        focused_ = true;
        invalidate();
        return;
    case UiEventKind::KILLFOCUS:
        focused_ = false;
        invalidate();
        return;
    case UiEventKind::TIMER:
        sendNotify("timer", static_cast<std::intptr_t>(event.wparam), event.lparam);
        return;
    case UiEventKind::CONTEXTMENU:
        if (menu_used_) {
            sendNotify("menu", static_cast<std::intptr_t>(event.wparam), event.lparam);
            return;
        }
        break;
    default:
        break;
    }
    // Containers see their children's unhandled events.
    if (parent_ != nullptr) {
        parent_->doEvent(event);
    }
}

bool CControlUI::drawImage(DrawContext& dc, ImageDescription& image, const UiRect* dest,
                           int alpha) {
    if (manager_ == nullptr || image.isEmpty()) {
        return false;
    }
    return manager_->drawImage(dc, item_, paint_rect_, image, dest, alpha);
}

void CControlUI::doPaint(DrawContext& dc, const UiRect& paint) {
    paint_rect_ = IntersectRect(paint, item_);
    if (paint_rect_.isEmpty()) {
        return;
    }
    dc.pushClip(paint_rect_);
    const bool round = border_round_.cx > 0 || border_round_.cy > 0;
    if (round) {
        dc.pushRoundClip(item_, border_round_);
    }
    paintBkColor(dc);
    paintBkImage(dc);
    paintStatusImage(dc);
    paintText(dc);
    paintBorder(dc);
    if (round) {
        dc.popClip();
    }
    dc.popClip();
}

void CControlUI::paintBkColor(DrawContext& dc) {
    if (bk_color_ == 0) {
        return;
    }
    if (bk_color2_ != 0) {
        if (bk_color3_ != 0) {
            const int middle = item_.top + item_.height() / 2;
            FillGradient(dc, UiRect{item_.left, item_.top, item_.right, middle}, bk_color_,
                         bk_color2_, true);
            FillGradient(dc, UiRect{item_.left, middle, item_.right, item_.bottom}, bk_color2_,
                         bk_color3_, true);
        } else {
            FillGradient(dc, item_, bk_color_, bk_color2_, true);
        }
        return;
    }
    // A translucent colour blends over the whole item (the clip keeps it to the painted
    // part); an opaque one just fills what is painted.
    FillColor(dc, (bk_color_ >> 24) < 255 ? item_ : paint_rect_, bk_color_);
}

void CControlUI::paintBkImage(DrawContext& dc) {
    drawImage(dc, bk_image_);
}

void CControlUI::paintStatusImage(DrawContext&) {}

void CControlUI::paintText(DrawContext&) {}

namespace {

void StrokeLine(cairo_t* cr, double x0, double y0, double x1, double y1, int width) {
    cairo_set_line_width(cr, width);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

} // namespace

void CControlUI::paintBorder(DrawContext& dc) {
    const UiRect& b = border_size_;
    if (b.left <= 0 && b.top <= 0 && b.right <= 0 && b.bottom <= 0) {
        return;
    }
    if (border_color_ == 0 && focus_border_color_ == 0) {
        return;
    }
    const std::uint32_t color =
        (focused_ && focus_border_color_ != 0) ? focus_border_color_ : border_color_;
    if ((color >> 24) == 0) {
        return;
    }
    cairo_t* cr = dc.cairo();
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    SetSourceArgb(cr, color);
    const UiRect& r = item_;
    if (border_round_.cx > 0 || border_round_.cy > 0) {
        // The pen runs inside the item rectangle.
        const double half = b.left / 2.0;
        cairo_set_line_width(cr, b.left);
        cairo_new_path(cr);
        cairo_save(cr);
        cairo_translate(cr, half, half);
        RoundRectPath(cr, UiRect{r.left, r.top, r.right - b.left, r.bottom - b.left},
                      border_round_);
        cairo_restore(cr);
        cairo_stroke(cr);
    } else if (b.left == b.top && b.left == b.right && b.left == b.bottom) {
        const double half = b.left / 2.0;
        cairo_set_line_width(cr, b.left);
        cairo_rectangle(cr, r.left + half, r.top + half, r.width() - b.left, r.height() - b.left);
        cairo_stroke(cr);
    } else {
        if (b.left > 0) {
            StrokeLine(cr, r.left + b.left / 2.0, r.top, r.left + b.left / 2.0, r.bottom, b.left);
        }
        if (b.top > 0) {
            StrokeLine(cr, r.left, r.top + b.top / 2.0, r.right, r.top + b.top / 2.0, b.top);
        }
        if (b.right > 0) {
            StrokeLine(cr, r.right - b.right / 2.0, r.top, r.right - b.right / 2.0, r.bottom,
                       b.right);
        }
        if (b.bottom > 0) {
            StrokeLine(cr, r.left, r.bottom - b.bottom / 2.0, r.right, r.bottom - b.bottom / 2.0,
                       b.bottom);
        }
    }
    cairo_restore(cr);
}

void CControlUI::applyAttributeList(std::string_view list) {
    size_t p = 0;
    const size_t n = list.size();
    while (p < n) {
        size_t name_start = p;
        while (p < n && list[p] != '=') {
            ++p;
        }
        std::string_view name = list.substr(name_start, p - name_start);
        if (p >= n) {
            return;
        }
        ++p; // '='
        if (p >= n || list[p] != '"') {
            return;
        }
        ++p;
        size_t value_start = p;
        while (p < n && list[p] != '"') {
            ++p;
        }
        if (p >= n) {
            return;
        }
        std::string_view value = list.substr(value_start, p - value_start);
        ++p; // closing quote
        setAttribute(name, value);
        if (p >= n || list[p] != ' ') {
            return;
        }
        ++p;
    }
}

std::string CControlUI::getCustomAttribute(std::string_view name) const {
    for (const auto& [key, text] : custom_attributes_) {
        if (key == name) {
            return text;
        }
    }
    return {};
}

} // namespace inkwarden
