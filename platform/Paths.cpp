#include "platform/Paths.h"

#include <cstdlib>

namespace inkwarden {

std::string TempFolder() {
    const char* variable = std::getenv("TMPDIR");
    std::string folder = (variable != nullptr && *variable != '\0') ? variable : "/tmp";
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

std::string ParentPath(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

} // namespace inkwarden
