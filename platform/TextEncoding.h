#pragma once

#include <string>
#include <string_view>

namespace inkwarden {

// UTF-16 little-endian bytes to UTF-8. An odd trailing byte is dropped and an unpaired
// surrogate becomes U+FFFD, so the result is always valid UTF-8.
std::string Utf16LeToUtf8(std::string_view bytes);

// UTF-8 to UTF-16 little-endian bytes; invalid sequences become U+FFFD.
std::string Utf8ToUtf16Le(std::string_view text);

// Equal when the texts differ at most in the case of ASCII letters. Bytes of multibyte
// characters compare as they are, so no locale can make two different names equal.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace inkwarden
