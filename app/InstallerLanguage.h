#pragma once

#include <string>
#include <vector>

namespace inkwarden {

// Where the installer's message catalogues are looked for: share/locale beside the
// program's folder (the build tree and any install prefix), then the configured one.
std::vector<std::string> LocaleFolders(const std::string& program_path);

// Picks the user's language from the environment and sends the skin's words and the
// images with words in them through it. Returns the language ("en" or "zh_CN").
std::string InitInstallerLanguage(const std::string& program_path);

} // namespace inkwarden
