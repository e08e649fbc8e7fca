#pragma once

#include <string>

namespace inkwarden::test {

// Shows the installer's texts and images as the installer does under `locale` (LC_ALL set,
// LANGUAGE cleared), from the build tree's catalogues. Returns the language picked. Call
// before any thread of the test starts.
std::string UseLocale(const char* locale);

} // namespace inkwarden::test
