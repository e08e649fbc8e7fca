#pragma once

#include "ui/base/WinMessages.h"

#include <string_view>

namespace inkwarden {

// An alignment word of the markup and the platform's alignment bit it stands for. Text
// ("align", "valign") and child alignment ("childalign", "childvalign") read the same words
// into the same bits.
struct AlignmentWord {
    std::string_view word;
    unsigned bits;
};

using AlignmentWords = AlignmentWord[3];

inline constexpr AlignmentWords HORIZONTAL_ALIGNMENT = {
    {"left", DT_LEFT}, {"center", DT_CENTER}, {"right", DT_RIGHT}};
inline constexpr AlignmentWords VERTICAL_ALIGNMENT = {
    {"top", DT_TOP}, {"vcenter", DT_VCENTER}, {"bottom", DT_BOTTOM}};

} // namespace inkwarden
