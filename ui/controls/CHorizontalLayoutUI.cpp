#include "ui/controls/CHorizontalLayoutUI.h"

#include <algorithm>

namespace inkwarden {
void* CHorizontalLayoutUI::getInterface(std::string_view name) {
    if (name == "HorizontalLayout") {
        return this;
    }
    return CContainerUI::getInterface(name);
}

void CHorizontalLayoutUI::setPos(UiRect rect, bool invalidate_area) {
    CControlUI::setPos(rect, invalidate_area);
    const UiRect inner = innerRect();
    if (items_.empty()) {
        return;
    }
    const int W = inner.width();
    const int H = inner.height();
    const int gap = getChildPadding();

    // 1. Pass 1: a child without a fixed width is adjustable without being asked.
    int n = 0;
    int adjustables = 0;
    int fixed_total = 0;
    for (auto& item : items_) {
        CControlUI* child = item.get();
        if (!child->isVisible() || child->isFloat()) {
            continue;
        }
        ++n;
        const UiRect& pad = child->getPadding();
        const int fw = child->getFixedWidth();
        const int fh = child->getFixedHeight();
        const int limit_h =
            std::min(fh >= 1 ? fh : child->getMaxHeight(), H - pad.top - pad.bottom);
        const int limit_w = std::min(fw >= 1 ? fw : child->getMaxWidth(), W);
        int width = 0;
        if (fw == 0) {
            ++adjustables;
        } else {
            width = child->estimateSize(UiSize{limit_w, limit_h}).cx;
            if (width == 0) {
                ++adjustables;
            } else {
                width = ClampSize(width, child->getMinWidth(), child->getMaxWidth());
            }
        }
        fixed_total += pad.left + pad.right + width;
    }

    // 2. What each adjustable child gets.
    fixed_total += (n - 1) * gap;
    const int expand = adjustables > 0 ? std::max(0, (W - fixed_total) / adjustables) : 0;

    // 3. Pass 2: place them.
    int x = inner.left;
    int remaining = W;
    int fixed_left = fixed_total;
    int placed = 0;
    int adjustables_seen = 0;
    for (auto& item : items_) {
        CControlUI* child = item.get();
        if (!child->isVisible()) {
            continue;
        }
        if (child->isFloat()) {
            setFloatPos(child);
            continue;
        }
        ++placed;
        const UiRect& pad = child->getPadding();
        remaining -= pad.left;
        const int fw = child->getFixedWidth();
        const int fh = child->getFixedHeight();
        const int limit_w = std::min(fw >= 1 ? fw : child->getMaxWidth(), remaining);
        const int limit_h =
            std::min(fh >= 1 ? fh : child->getMaxHeight(), H - pad.top - pad.bottom);
        fixed_left -= pad.left + pad.right;
        if (placed > 1) {
            fixed_left -= gap;
        }
        UiSize est = child->estimateSize(UiSize{limit_w, limit_h});

        int w;
        if (fw != 0 && est.cx != 0) {
            w = ClampSize(est.cx, child->getMinWidth(), child->getMaxWidth());
            fixed_left -= w;
        } else {
            ++adjustables_seen;
            w = expand;
            if (adjustables_seen == adjustables) {
                w = std::max(0, remaining - pad.right - fixed_left);
            }
            w = ClampSize(w, child->getMinWidth(), child->getMaxWidth());
        }

        const int max_h = child->getMaxHeight();
        int h = std::min(limit_h, std::max(0, max_h != 0 ? max_h : H - pad.top - pad.bottom));
        if (h < child->getMinHeight()) {
            h = child->getMinHeight();
        }

        int y;
        switch (getChildVAlign()) {
        case ALIGN_VCENTER:
            y = (inner.top + inner.bottom) / 2 - h / 2;
            break;
        case ALIGN_BOTTOM:
            y = inner.bottom - pad.bottom - h;
            break;
        default:
            y = inner.top + pad.top;
            break;
        }
        child->setPos(UiRect{x + pad.left, y, x + pad.left + w, y + h}, false);
        x += pad.left + w + pad.right + gap;
        remaining -= w + pad.right + gap;
    }
}

} // namespace inkwarden
