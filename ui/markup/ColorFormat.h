#pragma once

#include <cstdint>
#include <string_view>

namespace inkwarden {

// "#AARRGGBB": leading whitespace and the "#" are optional; reading stops at the first
// character that is not a hexadecimal digit. Values past 32 bits saturate.
std::uint32_t ParseColor(std::string_view text);

} // namespace inkwarden
