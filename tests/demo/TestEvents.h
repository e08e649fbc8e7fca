#pragma once

#include <string>

namespace inkwarden::test {

// An event body as the installer sends it, with a check value that matches.
std::string EventBody(int code, const std::string& machine_id = "0123456789ABCDEF0123456789ABCDEF");

} // namespace inkwarden::test
