#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace inkwarden {

// The whole content of a regular file of at most max_size bytes; nothing for a missing or
// unreadable file, anything that is not a regular file (a pipe would block), or a larger one.
std::optional<std::string> ReadRegularFile(const std::string& path, std::uint64_t max_size);

} // namespace inkwarden
