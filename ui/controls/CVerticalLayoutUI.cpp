#include "ui/controls/CVerticalLayoutUI.h"

#include <algorithm>

namespace inkwarden {
void* CVerticalLayoutUI::getInterface(std::string_view name) {
    if (name == "VerticalLayout") {
        return this;
    }
    return CContainerUI::getInterface(name);
}

void CVerticalLayoutUI::setPos(UiRect rect, bool invalidate_area) {
    CControlUI::setPos(rect, invalidate_area);
    const UiRect inner = innerRect();
    // 1. Nothing to stack.
    if (items_.empty()) {
        return;
    }
    const int W = inner.width();
    const int H = inner.height();
    const int gap = getChildPadding();

    // 2. Pass 1: the fixed heights and the number of adjustable children.
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
        const int limit_w = std::min(fw >= 1 ? fw : child->getMaxWidth(), W - pad.left - pad.right);
        const int limit_h = std::min(fh >= 1 ? fh : child->getMaxHeight(), H);
        UiSize est = child->estimateSize(UiSize{limit_w, limit_h});
        if (est.cy == 0) {
            ++adjustables;
        } else {
            est.cy = ClampSize(est.cy, child->getMinHeight(), child->getMaxHeight());
        }
        fixed_total += pad.top + pad.bottom + est.cy;
    }

    // 3. What each adjustable child gets.
    fixed_total += (n - 1) * gap;
    const int expand = adjustables > 0 ? std::max(0, (H - fixed_total) / adjustables) : 0;

    // 4. Pass 2: place them.
    int y = inner.top;
    int remaining = H;
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
        remaining -= pad.top;
        const int fw = child->getFixedWidth();
        const int fh = child->getFixedHeight();
        const int limit_w = std::min(fw >= 1 ? fw : child->getMaxWidth(), W - pad.left - pad.right);
        const int limit_h = std::min(fh >= 1 ? fh : child->getMaxHeight(), remaining);
        fixed_left -= pad.top + pad.bottom;
        if (placed > 1) {
            fixed_left -= gap;
        }
        UiSize est = child->estimateSize(UiSize{limit_w, limit_h});

        int h;
        if (est.cy != 0) {
            h = ClampSize(est.cy, child->getMinHeight(), child->getMaxHeight());
            fixed_left -= h;
        } else {
            ++adjustables_seen;
            h = expand;
            // The last adjustable child takes whatever the divisions left over.
            if (adjustables_seen == adjustables) {
                h = std::max(0, remaining - pad.bottom - fixed_left);
            }
            h = ClampSize(h, child->getMinHeight(), child->getMaxHeight());
        }

        // The estimated width is not used.
        const int max_w = child->getMaxWidth();
        int w = std::min(limit_w, std::max(0, max_w != 0 ? max_w : W - pad.left - pad.right));
        if (w < child->getMinWidth()) {
            w = child->getMinWidth();
        }

        int x;
        switch (getChildAlign()) {
        case ALIGN_CENTER:
            x = (inner.left + inner.right) / 2 - w / 2;
            break;
        case ALIGN_RIGHT:
            x = inner.right - pad.right - w;
            break;
        default:
            x = inner.left + pad.left;
            break;
        }
        child->setPos(UiRect{x, y + pad.top, x + w, y + pad.top + h}, false);
        y += pad.top + h + pad.bottom + gap;
        remaining -= h + pad.bottom + gap;
    }
}

} // namespace inkwarden
