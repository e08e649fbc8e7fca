// skin render: draws a skin headless through the paint manager, layered alpha included,
// into a PNG, with a tab page selected and simple control values set first.
#include "Subcommands.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/COptionUI.h"
#include "ui/controls/CProgressUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/controls/ForEachControl.h"
#include "ui/devtools/HeadlessSkinView.h"
#include "ui/devtools/SkinSource.h"
#include "ui/draw/DrawContext.h"
#include "ui/markup/ValueFormats.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace inkwarden::tool {
namespace {

constexpr const char* SKIN_FILE = "main_frame.xml";
// Limits of the arguments, far beyond any skin.
constexpr long MAX_PAGE = 1000;
constexpr int MAX_SIDE = 10000;

bool ParseSize(const char* text, UiSize& size) {
    int w = 0;
    int h = 0;
    char extra = 0;
    if (std::sscanf(text, "%dx%d%c", &w, &h, &extra) != 2 || w <= 0 || h <= 0 || w > MAX_SIDE ||
        h > MAX_SIDE) {
        return false;
    }
    size = UiSize{w, h};
    return true;
}

// Points the skin package at the skin; false with a reason when it cannot be used.
bool SelectSkin(const std::string& skin, std::string& error) {
    std::error_code ec;
    if (!skin.empty() && std::filesystem::is_directory(skin, ec) &&
        !std::filesystem::exists(std::filesystem::path(skin) / SKIN_FILE, ec)) {
        error = skin + ": no " + SKIN_FILE + " in this folder";
        return false;
    }
    switch (SelectSkinSource(skin)) {
    case SkinSourceError::NONE:
        return true;
    case SkinSourceError::NO_COMPILED_IN_SKIN:
        error = "no compiled-in skin";
        return false;
    case SkinSourceError::NO_SUCH_PATH:
        error = skin + ": no such folder or file";
        return false;
    }
    return false;
}

// NAME=VALUE or NAME.ATTRIBUTE=VALUE on the built tree.
bool ApplySetting(HeadlessSkinView& view, const std::string& setting, std::string& error) {
    const size_t eq = setting.find('=');
    if (eq == std::string::npos || eq == 0) {
        error = "--set " + setting + ": expected NAME=VALUE";
        return false;
    }
    std::string name = setting.substr(0, eq);
    const std::string value = setting.substr(eq + 1);
    std::string attribute;
    if (const size_t dot = name.find('.'); dot != std::string::npos) {
        attribute = name.substr(dot + 1);
        name.resize(dot);
    }
    CControlUI* control = view.manager().findControlByName(name);
    if (control == nullptr) {
        error = "--set: no control named \"" + name + "\"";
        return false;
    }
    auto* progress = static_cast<CProgressUI*>(control->getInterface("Progress"));
    auto* option = static_cast<COptionUI*>(control->getInterface("Option"));
    if (attribute.empty()) {
        attribute = progress != nullptr ? "value" : option != nullptr ? "selected" : "text";
    }
    if (attribute == "value" && progress != nullptr) {
        progress->setValue(ParseInt(value));
    } else if (attribute == "selected" && option != nullptr) {
        option->selected(ParseBool(value), false);
    } else if (attribute == "visible") {
        control->setVisible(ParseBool(value));
    } else if (attribute == "text") {
        control->setText(value);
    } else {
        control->setAttribute(attribute, value);
    }
    return true;
}

// The command line, read into its options.
struct RenderOptions {
    UiSize size;
    int scale = 1;
    int page = -1;
    std::vector<std::string> settings;
    std::string out;
    std::string skin;
};

// 0 when the arguments are usable, else USAGE_ERROR (with the reason told when there is one).
int ParseArguments(int argc, char** argv, RenderOptions& options) {
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--size" && has_value) {
            if (!ParseSize(argv[++i], options.size)) {
                std::fprintf(stderr, "skin render: --size wants WxH, e.g. 570x460\n");
                return USAGE_ERROR;
            }
        } else if (arg == "--scale" && has_value) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 1 || n > DrawContext::MAX_SCALE) {
                std::fprintf(stderr, "skin render: --scale wants a whole number from 1 to %d\n",
                             DrawContext::MAX_SCALE);
                return 2;
            }
            options.scale = static_cast<int>(n);
        } else if (arg == "--page" && has_value) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 0 || n > MAX_PAGE) {
                std::fprintf(stderr, "skin render: --page wants a page number\n");
                return USAGE_ERROR;
            }
            options.page = static_cast<int>(n);
        } else if (arg == "--set" && has_value) {
            options.settings.emplace_back(argv[++i]);
        } else if (arg == "-o" && has_value) {
            options.out = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && options.skin.empty()) {
            options.skin = arg;
        } else {
            return USAGE_ERROR;
        }
    }
    if (options.out.empty()) {
        return USAGE_ERROR;
    }
    return 0;
}

// Selects the page in the tree's first tab layout; false with a reason when there is none.
bool SelectPage(HeadlessSkinView& view, int page, std::string& error) {
    CTabLayoutUI* tab = nullptr;
    ForEachControl(view.manager().getRoot(), [&tab](CControlUI* c) {
        tab = static_cast<CTabLayoutUI*>(c->getInterface("TabLayout"));
        return tab != nullptr ? VisitResult::STOP : VisitResult::CONTINUE;
    });
    if (tab == nullptr) {
        error = "--page: the skin has no tab layout";
        return false;
    }
    if (!tab->selectItem(page)) {
        error = "--page " + std::to_string(page) + ": the tab layout has " +
                std::to_string(tab->getCount()) + " pages";
        return false;
    }
    return true;
}

} // namespace

int SkinRenderCommand(int argc, char** argv) {
    RenderOptions options;
    if (const int usage = ParseArguments(argc, argv, options); usage != 0) {
        return usage;
    }
    std::string error;
    if (!SelectSkin(options.skin, error)) {
        std::fprintf(stderr, "skin render: %s\n", error.c_str());
        return 1;
    }
    HeadlessSkinView view;
    view.setScale(options.scale);
    if (!view.load(SKIN_FILE, options.size, error)) {
        std::fprintf(stderr, "skin render: %s: %s\n", SKIN_FILE, error.c_str());
        return 1;
    }
    // The first paint lays out and announces the window, as on screen.
    view.settle();
    if (options.page >= 0 && !SelectPage(view, options.page, error)) {
        std::fprintf(stderr, "skin render: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& setting : options.settings) {
        if (!ApplySetting(view, setting, error)) {
            std::fprintf(stderr, "skin render: %s\n", error.c_str());
            return 1;
        }
    }
    view.settle();
    if (!view.savePng(options.out)) {
        std::fprintf(stderr, "skin render: cannot write %s\n", options.out.c_str());
        return 1;
    }
    // The image's size in pixels: the window's size times the scale.
    const HeadlessWindowLayer::Presented* shown = view.layer().presented(view.window());
    std::printf("%s: %dx%d%s%s\n", options.out.c_str(), shown->width, shown->height,
                options.scale > 1 ? (", scale " + std::to_string(options.scale)).c_str() : "",
                view.manager().usesLayeredPaint() ? ", per-pixel alpha" : "");
    return 0;
}

} // namespace inkwarden::tool
