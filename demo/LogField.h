#pragma once

#include <string>
#include <string_view>

namespace inkwarden::demo {

// A value from the network as it may appear in one log line: printable ASCII other than the
// backslash stays, everything else (line breaks, terminal escapes, blanks, bytes above 0x7E)
// becomes \n, \r, \t, \\ or \xNN. A field can therefore neither start a line of its own nor
// pass for the words around it.
std::string EscapeLogField(std::string_view value);

} // namespace inkwarden::demo
