#include "ui/controls/CTabLayoutUI.h"

#include "ui/markup/ValueFormats.h"
#include "ui/runtime/PaintManager.h"

#include <algorithm>

namespace inkwarden {

void* CTabLayoutUI::getInterface(std::string_view name) {
    if (name == "TabLayout") {
        return this;
    }
    return CContainerUI::getInterface(name);
}

bool CTabLayoutUI::add(CControlUI* control) {
    return addAt(control, getCount());
}

bool CTabLayoutUI::addAt(CControlUI* control, int index) {
    if (!CContainerUI::addAt(control, index)) {
        return false;
    }
    // The first visible page becomes the selected one; every other page is hidden, and a
    // page inserted before the selection moves it up.
    if (cur_sel_ == -1 && control->isVisible()) {
        cur_sel_ = getItemIndex(control);
    } else {
        if (cur_sel_ >= index) {
            cur_sel_ += 1;
        }
        control->setVisible(false);
    }
    return true;
}

bool CTabLayoutUI::removeAt(int index, bool do_not_destroy) {
    if (!CContainerUI::removeAt(index, do_not_destroy)) {
        return false;
    }
    if (cur_sel_ == index) {
        if (getCount() > 0) {
            cur_sel_ = 0;
            getItemAt(0)->setVisible(true);
        } else {
            cur_sel_ = -1;
        }
        needParentUpdate();
    } else if (cur_sel_ > index) {
        cur_sel_ -= 1;
    }
    return true;
}

void CTabLayoutUI::removeAll() {
    cur_sel_ = -1;
    CContainerUI::removeAll();
    needParentUpdate();
}

bool CTabLayoutUI::selectItem(int index, bool notify) {
    if (index < 0 || index >= getCount()) {
        return false;
    }
    if (index == cur_sel_) {
        return true;
    }
    const int old = cur_sel_;
    cur_sel_ = index;
    for (int i = 0; i < getCount(); ++i) {
        getItemAt(i)->setVisible(i == index);
    }
    getItemAt(index)->setFocus();
    needParentUpdate();
    if (manager_ != nullptr) {
        // Focus moves on to the page's first tab stop (after the next layout).
        manager_->focusNext();
        if (notify) {
            manager_->sendNotify(this, "tabselect", cur_sel_, old);
        }
    }
    return true;
}

void CTabLayoutUI::setPos(UiRect rect, bool invalidate_area) {
    CControlUI::setPos(rect, invalidate_area);
    const UiRect inner = innerRect();
    for (int i = 0; i < getCount(); ++i) {
        CControlUI* page = getItemAt(i);
        if (!page->isVisible()) {
            continue;
        }
        if (page->isFloat()) {
            setFloatPos(page);
            continue;
        }
        if (i != cur_sel_) {
            continue;
        }
        const UiRect& pad = page->getPadding();
        UiRect area{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right,
                    inner.bottom - pad.bottom};
        UiSize est = page->estimateSize(UiSize{inner.width(), inner.height()});
        int w = est.cx != 0 ? est.cx : std::max(0, area.width());
        w = ClampSize(w, page->getMinWidth(), page->getMaxWidth());
        int h = est.cy != 0 ? est.cy : std::max(0, area.height());
        h = ClampSize(h, page->getMinHeight(), page->getMaxHeight());
        page->setPos(UiRect{area.left, area.top, area.left + w, area.top + h}, false);
    }
}

void CTabLayoutUI::setAttribute(std::string_view name, std::string_view value) {
    // The tab's one attribute of its own selects a page and then goes on to the container,
    // which keeps it as a custom attribute.
    if (name == "selectedid") {
        selectItem(ParseInt(value));
    }
    CContainerUI::setAttribute(name, value);
}

} // namespace inkwarden
