#pragma once

#include "ui/base/UiGeometry.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace inkwarden {

class ImageEntry;

// One image attribute value, parsed once when it is set. Loading and drawing come with
// the paint manager's image cache; `entry` and `load_attempted` belong to that step.
struct ImageDescription {
    std::string text;     // the attribute value as written
    std::string file;     // zip entry or path ("file", or the whole text when bare)
    std::string res;      // module resource name ("res")
    std::string res_type; // "restype"
    bool has_color = false;
    std::uint32_t color = 0; // "color": a 1x1 image of this colour
    UiRect dest;
    UiRect source;
    UiRect corner;
    std::uint32_t mask = 0;
    int fade = 255;
    bool hole = false;
    bool xtiled = false;
    bool ytiled = false;
    bool hsl = false;

    const ImageEntry* entry = nullptr;
    bool load_attempted = false;
    // The variant scale `entry` was loaded for; drawing at another scale loads again.
    int entry_variant = 1;

    bool isEmpty() const { return text.empty(); }

    // Resets everything and parses `value`. A malformed pair ends the list but keeps what
    // was parsed before it.
    void setText(std::string_view value);
    void clear() { *this = ImageDescription{}; }
};

} // namespace inkwarden
