#pragma once

#include <string>

namespace inkwarden {

// The system's temporary folder: $TMPDIR when set and not empty, else /tmp, without
// trailing "/" (so "/" itself gives the empty text).
std::string TempFolder();

// The text before the last "/"; empty when there is none.
std::string ParentPath(const std::string& path);

} // namespace inkwarden
