#pragma once

#include <string>
#include <string_view>

namespace inkwarden {

// UTF-16 little-endian bytes to UTF-8. An odd trailing byte is dropped and an unpaired
// surrogate becomes U+FFFD, so the result is always valid UTF-8.
std::string Utf16LeToUtf8(std::string_view bytes);

// UTF-8 to UTF-16 little-endian bytes; invalid sequences become U+FFFD.
std::string Utf8ToUtf16Le(std::string_view text);

} // namespace inkwarden
