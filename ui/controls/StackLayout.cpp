#include "ui/controls/StackLayout.h"

#include "ui/controls/CContainerUI.h"

#include <algorithm>

namespace inkwarden {

StackLayout::StackLayout(Axis axis) : horizontal_(axis == Axis::HORIZONTAL) {}

void StackLayout::arrange(CContainerUI& container) const {
    const UiRect inner = container.innerRect();
    if (container.getCount() == 0) {
        return; // nothing to stack
    }
    place(container, inner, measure(container, inner));
}

StackLayout::Totals StackLayout::measure(CContainerUI& container, const UiRect& inner) const {
    Totals totals;
    for (int i = 0; i < container.getCount(); ++i) {
        CControlUI& child = *container.getItemAt(i);
        if (!child.isVisible() || child.isFloat()) {
            continue;
        }
        ++totals.stacked;
        const UiRect& pad = child.getPadding();
        const UiSize limits =
            sizeOf(mainLimit(child, length(inner, Along::MAIN)), crossLimit(child, inner));
        int size = wantedSize(child, limits);
        if (size == 0) {
            ++totals.adjustable;
        } else {
            size = CContainerUI::ClampSize(size, minSize(child, Along::MAIN),
                                           maxSize(child, Along::MAIN));
        }
        totals.fixed_total += start(pad, Along::MAIN) + end(pad, Along::MAIN) + size;
    }
    totals.fixed_total += (totals.stacked - 1) * container.getChildPadding();
    return totals;
}

void StackLayout::place(CContainerUI& container, const UiRect& inner, const Totals& totals) const {
    const int gap = container.getChildPadding();
    const int free = length(inner, Along::MAIN) - totals.fixed_total;
    const int share = totals.adjustable > 0 ? std::max(0, free / totals.adjustable) : 0;
    int position = start(inner, Along::MAIN);
    int remaining = length(inner, Along::MAIN);
    int fixed_left = totals.fixed_total;
    int placed = 0;
    int adjustables_seen = 0;
    for (int i = 0; i < container.getCount(); ++i) {
        CControlUI& child = *container.getItemAt(i);
        if (!child.isVisible()) {
            continue;
        }
        if (child.isFloat()) {
            container.setFloatPos(&child);
            continue;
        }
        ++placed;
        const UiRect& pad = child.getPadding();
        const int pad_start = start(pad, Along::MAIN);
        const int pad_end = end(pad, Along::MAIN);
        remaining -= pad_start;
        const int cross_limit = crossLimit(child, inner);
        // What the rest still needs: the fixed sizes, padding and gaps not placed yet.
        fixed_left -= pad_start + pad_end;
        if (placed > 1) {
            fixed_left -= gap;
        }
        const int estimate =
            of(child.estimateSize(sizeOf(mainLimit(child, remaining), cross_limit)), Along::MAIN);
        const int lo = minSize(child, Along::MAIN);
        const int hi = maxSize(child, Along::MAIN);
        int size;
        if (!isAdjustable(child, estimate)) {
            size = CContainerUI::ClampSize(estimate, lo, hi);
            fixed_left -= size;
        } else {
            ++adjustables_seen;
            // The last adjustable child takes whatever the divisions left over.
            size = adjustables_seen == totals.adjustable
                       ? std::max(0, remaining - pad_end - fixed_left)
                       : share;
            size = CContainerUI::ClampSize(size, lo, hi);
        }
        const int across = crossSize(child, cross_limit, inner);
        child.setPos(
            rectOf(position + pad_start, size, crossStart(container, child, inner, across), across),
            false);
        position += pad_start + size + pad_end + gap;
        remaining -= size + pad_end + gap;
    }
}

int StackLayout::wantedSize(CControlUI& child, UiSize limits) const {
    if (sharesWithoutAsking(child)) {
        return 0;
    }
    return of(child.estimateSize(limits), Along::MAIN);
}

bool StackLayout::sharesWithoutAsking(const CControlUI& child) const {
    // A row's child without a fixed width shares the free space whatever its text would
    // want (a button without a width); a column asks every child for its height.
    return horizontal_ && fixedSize(child, Along::MAIN) == 0;
}

bool StackLayout::isAdjustable(const CControlUI& child, int estimate) const {
    return sharesWithoutAsking(child) || estimate == 0;
}

int StackLayout::mainLimit(const CControlUI& child, int available) const {
    const int fixed = fixedSize(child, Along::MAIN);
    return std::min(fixed >= 1 ? fixed : maxSize(child, Along::MAIN), available);
}

int StackLayout::crossLimit(const CControlUI& child, const UiRect& inner) const {
    const UiRect& pad = child.getPadding();
    const int fixed = fixedSize(child, Along::CROSS);
    return std::min(fixed >= 1 ? fixed : maxSize(child, Along::CROSS),
                    length(inner, Along::CROSS) - start(pad, Along::CROSS) -
                        end(pad, Along::CROSS));
}

int StackLayout::crossSize(const CControlUI& child, int limit, const UiRect& inner) const {
    // The estimated size across is not used.
    const UiRect& pad = child.getPadding();
    const int max = maxSize(child, Along::CROSS);
    const int room =
        length(inner, Along::CROSS) - start(pad, Along::CROSS) - end(pad, Along::CROSS);
    const int size = std::min(limit, std::max(0, max != 0 ? max : room));
    return std::max(size, minSize(child, Along::CROSS));
}

int StackLayout::crossStart(const CContainerUI& container, const CControlUI& child,
                            const UiRect& inner, int size) const {
    const UiRect& pad = child.getPadding();
    const int align = horizontal_ ? container.getChildVAlign() : container.getChildAlign();
    const int centre = horizontal_ ? CContainerUI::ALIGN_VCENTER : CContainerUI::ALIGN_CENTER;
    const int far = horizontal_ ? CContainerUI::ALIGN_BOTTOM : CContainerUI::ALIGN_RIGHT;
    if (align == centre) {
        // Centred in the inner rectangle; the padding across does not count.
        return (start(inner, Along::CROSS) + end(inner, Along::CROSS)) / 2 - size / 2;
    }
    if (align == far) {
        return end(inner, Along::CROSS) - end(pad, Along::CROSS) - size;
    }
    return start(inner, Along::CROSS) + start(pad, Along::CROSS);
}

int StackLayout::start(const UiRect& r, Along along) const {
    return (along == Along::MAIN) == horizontal_ ? r.left : r.top;
}

int StackLayout::end(const UiRect& r, Along along) const {
    return (along == Along::MAIN) == horizontal_ ? r.right : r.bottom;
}

int StackLayout::of(UiSize size, Along along) const {
    return (along == Along::MAIN) == horizontal_ ? size.cx : size.cy;
}

int StackLayout::fixedSize(const CControlUI& c, Along along) const {
    return (along == Along::MAIN) == horizontal_ ? c.getFixedWidth() : c.getFixedHeight();
}

int StackLayout::minSize(const CControlUI& c, Along along) const {
    return (along == Along::MAIN) == horizontal_ ? c.getMinWidth() : c.getMinHeight();
}

int StackLayout::maxSize(const CControlUI& c, Along along) const {
    return (along == Along::MAIN) == horizontal_ ? c.getMaxWidth() : c.getMaxHeight();
}

UiSize StackLayout::sizeOf(int main, int cross) const {
    return horizontal_ ? UiSize{main, cross} : UiSize{cross, main};
}

UiRect StackLayout::rectOf(int main_start, int main_size, int cross_start, int cross_size) const {
    return horizontal_
               ? UiRect{main_start, cross_start, main_start + main_size, cross_start + cross_size}
               : UiRect{cross_start, main_start, cross_start + cross_size, main_start + main_size};
}

} // namespace inkwarden
