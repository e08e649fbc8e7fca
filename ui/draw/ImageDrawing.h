#pragma once

#include "ui/base/UiGeometry.h"
#include "ui/draw/DrawContext.h"
#include "ui/draw/ImageEntry.h"

#include <cstdint>

namespace inkwarden {

// The drawing values of a parsed image description.
struct ImageDrawParams {
    UiRect dest;   // offsets inside the control's rectangle; all 0 = the whole rectangle
    UiRect source; // part of the image; all 0 = the whole image
    UiRect corner; // nine-slice insets
    std::uint8_t fade = 255;
    bool hole = false;
    bool xtiled = false;
    bool ytiled = false;
};

// The destination and source rectangles that params select for this control and image.
UiRect ImageDestRect(const UiRect& item, const UiRect& dest);
UiRect ImageSourceRect(const ImageEntry& image, const UiRect& source);

// Draws the image into item as a nine-slice: centre, edges, corners, each only where it
// meets paint. Scaled pieces use nearest-neighbour sampling, each piece sampled only from
// its own part of the image. Returns false when there is nothing to draw from.
bool DrawImage(DrawContext& dc, const UiRect& item, const UiRect& paint, const ImageEntry& image,
               const ImageDrawParams& params);

// AARRGGBB fills: alpha 0 draws nothing, 255 fills solidly, anything else blends.
void FillColor(DrawContext& dc, const UiRect& rect, std::uint32_t argb);
// Two-colour gradient, top to bottom when vertical, else left to right; blended with the
// average of the two alphas.
void FillGradient(DrawContext& dc, const UiRect& rect, std::uint32_t from, std::uint32_t to,
                  bool vertical);

} // namespace inkwarden
