// skin layout [--size WxH] [--page N|all] [SKIN]: builds a skin off-screen, lays it out and
// prints the control tree with every control's rectangle, so that skin authors can check a
// layout without running the installer.
#include "Subcommands.h"
#include "ui/devtools/SkinLayoutListing.h"
#include "ui/devtools/SkinSource.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace inkwarden::tool {
namespace {

constexpr const char* SKIN_FILE = "main_frame.xml";
// Limits of the arguments, far beyond any skin.
constexpr long MAX_SIDE = 100000;
constexpr long PAGE_LIMIT = 100000;

bool ParseSize(const char* text, UiSize& size) {
    char* end = nullptr;
    const long cx = std::strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X')) {
        return false;
    }
    const char* rest = end + 1;
    const long cy = std::strtol(rest, &end, 10);
    if (end == rest || *end != '\0' || cx < 0 || cy < 0 || cx > MAX_SIDE || cy > MAX_SIDE) {
        return false;
    }
    size = UiSize{static_cast<int>(cx), static_cast<int>(cy)};
    return true;
}

// The compiled-in skin, a skin folder, or a zip file (its folder the resource path).
bool SelectSkin(const std::string& skin, std::string& error) {
    switch (SelectSkinSource(skin)) {
    case SkinSourceError::NONE:
        return true;
    case SkinSourceError::NO_COMPILED_IN_SKIN:
        error = "this program carries no skin resource";
        return false;
    case SkinSourceError::NO_SUCH_PATH:
        error = "no such folder or zip file: " + skin;
        return false;
    }
    return false;
}

} // namespace

int SkinLayoutCommand(int argc, char** argv) {
    SkinLayoutOptions options;
    std::string skin;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size" && i + 1 < argc) {
            if (!ParseSize(argv[++i], options.size)) {
                std::fprintf(stderr, "skin layout: --size wants WIDTHxHEIGHT, not '%s'\n", argv[i]);
                return USAGE_ERROR;
            }
        } else if (arg == "--page" && i + 1 < argc) {
            const std::string value = argv[++i];
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value == "all") {
                options.all_pages = true;
            } else if (!value.empty() && *end == '\0' && n >= 0 && n < PAGE_LIMIT) {
                options.page = static_cast<int>(n);
            } else {
                std::fprintf(stderr, "skin layout: --page wants a page number or 'all'\n");
                return USAGE_ERROR;
            }
        } else if (!arg.empty() && arg[0] != '-' && skin.empty()) {
            skin = arg;
        } else {
            return USAGE_ERROR;
        }
    }
    std::string error;
    std::string out;
    if (!SelectSkin(skin, error) || !ListSkinLayout(SKIN_FILE, options, out, error)) {
        std::fprintf(stderr, "skin layout: %s\n", error.c_str());
        return 1;
    }
    std::fputs(out.c_str(), stdout);
    return 0;
}

} // namespace inkwarden::tool
