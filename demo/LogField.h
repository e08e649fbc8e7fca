#pragma once

#include <string>
#include <string_view>

namespace inkwarden::demo {

// A value from the network as it may appear in one log line: printable ASCII and the blank
// stay, the backslash and everything else (line breaks, tabs, terminal escapes, bytes above
// 0x7E) become \\, \n, \r, \t or \xNN. A field can therefore not start a line of its own.
std::string EscapeLogField(std::string_view value);

} // namespace inkwarden::demo
