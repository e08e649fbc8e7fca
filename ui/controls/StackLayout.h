#pragma once

#include "ui/base/UiGeometry.h"

namespace inkwarden {

class CContainerUI;
class CControlUI;

// The stacking of the vertical and horizontal layouts, written once for either axis. The
// main axis is the one children stack along; the cross axis is the other.
//
// Pass 1 adds up what the visible, stacked children want along the main axis (their padding
// and estimated sizes) and counts the adjustable ones, which want nothing; pass 2 places the
// children in order, gives each adjustable child an equal share of what is left and the last
// one the remainder, sizes them across and aligns them within the inner rectangle. Floating
// children are placed by their own rule.
class StackLayout {
public:
    enum class Axis { HORIZONTAL, VERTICAL };

    explicit StackLayout(Axis axis);

    // Lays out the container's children in its inner rectangle.
    void arrange(CContainerUI& container) const;

private:
    enum class Along { MAIN, CROSS };

    // Pass 1's sums over the visible, stacked children.
    struct Totals {
        int stacked = 0;     // visible, non-floating children
        int adjustable = 0;  // stacked children that take a share of the free space
        int fixed_total = 0; // main-axis padding and sizes of the others, and the gaps
    };

    Totals measure(CContainerUI& container, const UiRect& inner) const;
    void place(CContainerUI& container, const UiRect& inner, const Totals& totals) const;
    // A child's main-axis size as pass 1 counts it; 0 for an adjustable child.
    int wantedSize(CControlUI& child, UiSize limits) const;
    bool sharesWithoutAsking(const CControlUI& child) const;
    // Whether the child takes a share of the free space, given its estimated size.
    bool isAdjustable(const CControlUI& child, int estimate) const;
    // The limits a child's estimate is asked within.
    int mainLimit(const CControlUI& child, int available) const;
    int crossLimit(const CControlUI& child, const UiRect& inner) const;
    // The child's size across: its maximum within the inner rectangle, at least its minimum.
    int crossSize(const CControlUI& child, int limit, const UiRect& inner) const;
    int crossStart(const CContainerUI& container, const CControlUI& child, const UiRect& inner,
                   int size) const;

    // Rectangles, sizes and a child's geometry seen along one axis.
    int start(const UiRect& r, Along along) const;
    int end(const UiRect& r, Along along) const;
    int length(const UiRect& r, Along along) const { return end(r, along) - start(r, along); }
    int of(UiSize size, Along along) const;
    int fixedSize(const CControlUI& c, Along along) const;
    int minSize(const CControlUI& c, Along along) const;
    int maxSize(const CControlUI& c, Along along) const;
    UiSize sizeOf(int main, int cross) const;
    UiRect rectOf(int main_start, int main_size, int cross_start, int cross_size) const;

    bool horizontal_;
};

} // namespace inkwarden
