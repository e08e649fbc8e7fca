#pragma once

#include <string_view>

namespace inkwarden {

// Writes all of bytes to fd, going on after short writes and interrupted calls; false when the
// file takes no more (a full disk, a closed pipe).
bool WriteAll(int fd, std::string_view bytes);

} // namespace inkwarden
