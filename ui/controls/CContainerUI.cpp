#include "ui/controls/CContainerUI.h"

#include "ui/controls/AttributeTable.h"
#include "ui/draw/DrawContext.h"
#include "ui/draw/ImageDrawing.h"
#include "ui/markup/ValueFormats.h"
#include "ui/runtime/PaintManager.h"

namespace inkwarden {

CContainerUI::~CContainerUI() {
    // Children first: they may still reach the manager through this container.
    items_.clear();
}

void* CContainerUI::getInterface(std::string_view name) {
    if (name == "IContainer") {
        return static_cast<IContainerUI*>(this);
    }
    if (name == "Container") {
        return static_cast<CContainerUI*>(this);
    }
    return CControlUI::getInterface(name);
}

CControlUI* CContainerUI::getItemAt(int index) const {
    if (index < 0 || index >= getCount()) {
        return nullptr;
    }
    return items_[static_cast<size_t>(index)].get();
}

int CContainerUI::getItemIndex(CControlUI* control) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].get() == control) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CContainerUI::setItemIndex(CControlUI* control, int index) {
    int from = getItemIndex(control);
    if (from < 0 || index < 0 || index >= getCount()) {
        return false;
    }
    std::unique_ptr<CControlUI> owned = std::move(items_[static_cast<size_t>(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + index, std::move(owned));
    needUpdate();
    return true;
}

void CContainerUI::adopt(CControlUI* control) {
    control->setManager(manager_, this, manager_ != nullptr);
    if (isVisible()) {
        needUpdate();
    } else {
        control->setInternVisible(false);
    }
}

bool CContainerUI::add(CControlUI* control) {
    if (control == nullptr) {
        return false;
    }
    adopt(control);
    items_.emplace_back(control);
    return true;
}

bool CContainerUI::addAt(CControlUI* control, int index) {
    if (control == nullptr || index < 0 || index > getCount()) {
        return false;
    }
    adopt(control);
    items_.emplace(items_.begin() + index, control);
    return true;
}

bool CContainerUI::remove(CControlUI* control, bool do_not_destroy) {
    int index = getItemIndex(control);
    if (index < 0) {
        return false;
    }
    return removeAt(index, do_not_destroy);
}

bool CContainerUI::removeAt(int index, bool do_not_destroy) {
    if (index < 0 || index >= getCount()) {
        return false;
    }
    std::unique_ptr<CControlUI> owned = std::move(items_[static_cast<size_t>(index)]);
    items_.erase(items_.begin() + index);
    if (do_not_destroy) {
        // Out of the tree: the manager forgets it (focus, hot, timers) as on deletion.
        if (manager_ != nullptr) {
            manager_->reapObjects(owned.get());
        }
        owned->setManager(nullptr, nullptr, false);
        owned.release(); // the caller owns it now
    }
    needUpdate();
    return true;
}

void CContainerUI::removeAll() {
    items_.clear();
    needUpdate();
}

void CContainerUI::setManager(PaintManager* manager, CControlUI* parent, bool init) {
    for (auto& item : items_) {
        item->setManager(manager, this, init);
    }
    CControlUI::setManager(manager, parent, init);
}

void CContainerUI::setVisible(bool visible) {
    if (isOwnVisible() == visible) {
        return;
    }
    CControlUI::setVisible(visible);
    for (auto& item : items_) {
        item->setInternVisible(isVisible());
    }
}

void CContainerUI::setInternVisible(bool visible) {
    CControlUI::setInternVisible(visible);
    for (auto& item : items_) {
        item->setInternVisible(isVisible());
    }
}

UiRect CContainerUI::innerRect() const {
    const UiRect& r = getPos();
    return UiRect{r.left + inset_.left, r.top + inset_.top, r.right - inset_.right,
                  r.bottom - inset_.bottom};
}

void CContainerUI::setFloatPos(CControlUI* child) {
    const UiRect& p = getPos();
    const int pw = p.width();
    const int ph = p.height();
    const FloatPercent& pct = child->getFloatPercent();
    const UiPoint xy = child->getFixedXY();
    UiRect rel;
    rel.left = static_cast<int>(pw * pct.left) + xy.x;
    rel.top = static_cast<int>(ph * pct.top) + xy.y;
    rel.right = static_cast<int>(pw * pct.right) + xy.x + child->getFixedWidth();
    rel.bottom = static_cast<int>(ph * pct.bottom) + xy.y + child->getFixedHeight();
    child->setPos(rel, false);
}

void CContainerUI::setPos(UiRect rect, bool invalidate_area) {
    CControlUI::setPos(rect, invalidate_area);
    const UiRect inner = innerRect();
    // A plain container gives every non-floating child the whole inner rectangle.
    for (auto& item : items_) {
        if (!item->isVisible()) {
            continue;
        }
        if (item->isFloat()) {
            setFloatPos(item.get());
        } else {
            item->setPos(inner, false);
        }
    }
}

CControlUI* CContainerUI::findControl(UiPoint point) {
    if (!isVisible() || !getPos().contains(point)) {
        return nullptr;
    }
    if (CControlUI* cover = getCover()) {
        if (CControlUI* hit = cover->findControl(point)) {
            return hit;
        }
    }
    if (mouse_child_) {
        const UiRect inner = innerRect();
        // Later children lie on top.
        for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
            CControlUI* hit = (*it)->findControl(point);
            if (hit != nullptr && ((*it)->isFloat() || inner.contains(point))) {
                return hit;
            }
        }
    }
    return isMouseEnabled() ? this : nullptr;
}

void CContainerUI::doPaint(DrawContext& dc, const UiRect& paint) {
    const UiRect area = IntersectRect(paint, getPos());
    if (area.isEmpty()) {
        return;
    }
    CControlUI::doPaint(dc, paint);
    if (items_.empty()) {
        return;
    }
    const UiRect inner = IntersectRect(innerRect(), area);
    for (auto& item : items_) {
        CControlUI* child = item.get();
        if (!child->isVisible()) {
            continue;
        }
        const bool floating = child->isFloat();
        const UiRect clip = floating ? area : inner;
        const UiRect child_area = IntersectRect(clip, child->getPos());
        if (child_area.isEmpty()) {
            continue;
        }
        child->doPaint(dc, child_area);
    }
}

void CContainerUI::setInset(UiRect inset) {
    inset_ = inset;
    needUpdate();
}

void CContainerUI::setChildPadding(int padding) {
    child_padding_ = padding;
    needUpdate();
}

void CContainerUI::alignFromWord(int& align, std::string_view value, const AlignmentWords& words) {
    // The whole value is one word; an unknown word leaves the alignment as it was, and the
    // layout runs again either way.
    for (const AlignmentWord& word : words) {
        if (value == word.word) {
            align = static_cast<int>(word.bits);
            break;
        }
    }
    needUpdate();
}

void CContainerUI::setAttribute(std::string_view name, std::string_view value) {
    using C = CContainerUI;
    using V = std::string_view;
    static constexpr AttributeSetter<CContainerUI> ATTRIBUTES[] = {
        {"inset", [](C& c, V v) { c.setInset(ParseRect(v)); }},
        {"childpadding", [](C& c, V v) { c.setChildPadding(ParseInt(v)); }},
        {"childalign", [](C& c, V v) { c.alignFromWord(c.child_align_, v, HORIZONTAL_ALIGNMENT); }},
        {"childvalign", [](C& c, V v) { c.alignFromWord(c.child_valign_, v, VERTICAL_ALIGNMENT); }},
        {"mousechild", [](C& c, V v) { c.mouse_child_ = ParseBool(v); }},
        {"vscrollbar", [](C& c, V v) { c.vscrollbar_ = ParseBool(v); }},
        {"hscrollbar", [](C& c, V v) { c.hscrollbar_ = ParseBool(v); }},
        {"vscrollbarstyle", [](C& c, V v) { c.vscrollbar_style_.assign(v); }},
        {"hscrollbarstyle", [](C& c, V v) { c.hscrollbar_style_.assign(v); }},
    };
    if (!ApplyAttribute(ATTRIBUTES, *this, name, value)) {
        CControlUI::setAttribute(name, value);
    }
}

} // namespace inkwarden
