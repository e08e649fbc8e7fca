#pragma once

// Plain geometry records of the toolkit, in window client pixels.
namespace inkwarden {

struct UiPoint {
    int x = 0;
    int y = 0;
    bool operator==(const UiPoint&) const = default;
};

struct UiSize {
    int cx = 0;
    int cy = 0;
    bool operator==(const UiSize&) const = default;
};

struct UiRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    bool contains(UiPoint p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    bool operator==(const UiRect&) const = default;
};

// The common part of two rectangles; empty when they do not overlap.
inline UiRect IntersectRect(const UiRect& a, const UiRect& b) {
    const UiRect r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
                   a.right < b.right ? a.right : b.right,
                   a.bottom < b.bottom ? a.bottom : b.bottom};
    return r.isEmpty() ? UiRect{} : r;
}

// The smallest rectangle holding both; an empty one adds nothing.
inline UiRect UnionRect(const UiRect& a, const UiRect& b) {
    if (a.isEmpty()) {
        return b;
    }
    if (b.isEmpty()) {
        return a;
    }
    return UiRect{a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
                  a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom};
}

} // namespace inkwarden
