#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace inkwarden {

// Splits one command-line text into arguments by the Windows rules:
// - the first argument (the program) ends at the next quote when it begins with one,
//   else at the first blank or tab; it has no escapes, and the next argument may follow
//   a closing quote directly;
// - after it, blanks and tabs outside quotes separate arguments, and a quote toggles quoting;
// - 2n backslashes before a quote give n backslashes and the quote toggles; 2n+1 give n
//   backslashes and a literal quote; backslashes not before a quote are literal;
// - inside quotes, a quote directly followed by another gives a literal quote and ends the
//   quoted part.
// Works on bytes, so UTF-8 text passes through unchanged. An empty text gives no argument.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

} // namespace inkwarden
