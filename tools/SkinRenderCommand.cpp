// skin render: draws a skin headless through the paint manager, layered alpha included,
// into a PNG, with a tab page selected and simple control values set first.
#include "Subcommands.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/COptionUI.h"
#include "ui/controls/CProgressUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/controls/IContainerUI.h"
#include "ui/devtools/HeadlessSkinView.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"
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

constexpr const char* USAGE = "usage: inkwarden-tool skin render [--size WxH] [--page N] "
                              "[--set NAME=VALUE ...] -o OUT.png [SKIN]\n"
                              "  SKIN: a folder with main_frame.xml or a zip archive "
                              "(default: the compiled-in skin)\n"
                              "  NAME: a control name (progress: value, option: selected, "
                              "other: text) or NAME.ATTRIBUTE\n";

constexpr const char* SKIN_FILE = "main_frame.xml";

bool ParseSize(const char* text, UiSize& size) {
    int w = 0;
    int h = 0;
    char extra = 0;
    if (std::sscanf(text, "%dx%d%c", &w, &h, &extra) != 2 || w <= 0 || h <= 0 || w > 10000 ||
        h > 10000) {
        return false;
    }
    size = UiSize{w, h};
    return true;
}

// Points the skin package at the skin; false with a reason when it cannot be used.
bool SelectSkin(const std::string& skin, std::string& error) {
    if (skin.empty()) {
        const auto zip = ModuleResources::find("ZIPRES", 105);
        if (zip.empty()) {
            error = "no compiled-in skin";
            return false;
        }
        SkinPackage::setResourceZipMemory(zip);
        return true;
    }
    std::error_code ec;
    const std::filesystem::path path(skin);
    if (std::filesystem::is_directory(path, ec)) {
        if (!std::filesystem::exists(path / SKIN_FILE, ec)) {
            error = skin + ": no " + SKIN_FILE + " in this folder";
            return false;
        }
        SkinPackage::setResourcePath(path.string());
        return true;
    }
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = skin + ": no such folder or file";
        return false;
    }
    const std::filesystem::path parent = path.parent_path();
    SkinPackage::setResourcePath(parent.empty() ? std::string(".") : parent.string());
    SkinPackage::setResourceZip(path.filename().string(), true);
    return true;
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

} // namespace

int SkinRenderCommand(int argc, char** argv) {
    UiSize size;
    int page = -1;
    std::vector<std::string> settings;
    std::string out;
    std::string skin;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--size" && has_value) {
            if (!ParseSize(argv[++i], size)) {
                std::fprintf(stderr, "skin render: --size wants WxH, e.g. 570x460\n");
                return 2;
            }
        } else if (arg == "--page" && has_value) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 0 || n > 1000) {
                std::fprintf(stderr, "skin render: --page wants a page number\n");
                return 2;
            }
            page = static_cast<int>(n);
        } else if (arg == "--set" && has_value) {
            settings.emplace_back(argv[++i]);
        } else if (arg == "-o" && has_value) {
            out = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && skin.empty()) {
            skin = arg;
        } else {
            std::fputs(USAGE, stderr);
            return 2;
        }
    }
    if (out.empty()) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    std::string error;
    if (!SelectSkin(skin, error)) {
        std::fprintf(stderr, "skin render: %s\n", error.c_str());
        return 1;
    }
    HeadlessSkinView view;
    if (!view.load(SKIN_FILE, size, error)) {
        std::fprintf(stderr, "skin render: %s: %s\n", SKIN_FILE, error.c_str());
        return 1;
    }
    // The first paint lays out and announces the window, as on screen.
    view.settle();
    if (page >= 0) {
        CTabLayoutUI* tab = nullptr;
        // The first tab layout of the tree, in tree order.
        std::vector<CControlUI*> stack{view.manager().getRoot()};
        while (!stack.empty() && tab == nullptr) {
            CControlUI* c = stack.back();
            stack.pop_back();
            tab = static_cast<CTabLayoutUI*>(c->getInterface("TabLayout"));
            if (auto* container = static_cast<IContainerUI*>(c->getInterface("IContainer"))) {
                for (int k = container->getCount() - 1; k >= 0; --k) {
                    stack.push_back(container->getItemAt(k));
                }
            }
        }
        if (tab == nullptr) {
            std::fprintf(stderr, "skin render: --page: the skin has no tab layout\n");
            return 1;
        }
        if (!tab->selectItem(page)) {
            std::fprintf(stderr, "skin render: --page %d: the tab layout has %d pages\n", page,
                         tab->getCount());
            return 1;
        }
    }
    for (const std::string& setting : settings) {
        if (!ApplySetting(view, setting, error)) {
            std::fprintf(stderr, "skin render: %s\n", error.c_str());
            return 1;
        }
    }
    view.settle();
    if (!view.savePng(out)) {
        std::fprintf(stderr, "skin render: cannot write %s\n", out.c_str());
        return 1;
    }
    const UiRect client = view.layer().clientRect(view.window());
    std::printf("%s: %dx%d%s\n", out.c_str(), client.width(), client.height(),
                view.manager().usesLayeredPaint() ? ", per-pixel alpha" : "");
    return 0;
}

} // namespace inkwarden::tool
