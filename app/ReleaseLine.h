#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace inkwarden {

// The first page's line naming the release the install fetches, "Inkwarden 3.2.1.0 · 48.2 MB",
// in the user's language; without a size the version alone, without a version nothing.
std::string ReleaseLineText(const std::string& version, std::optional<std::int64_t> size);

} // namespace inkwarden
