#pragma once

#include <optional>
#include <string_view>

namespace inkwarden {

// The bytes of a PE image's version resource (type 16, its first name, the first language
// of that name), as a view into the image; nothing when the image is not a PE image, has no
// such resource, or any header, table or offset on the way lies outside the image.
std::optional<std::string_view> FindPeVersionBlock(std::string_view image);

} // namespace inkwarden
