#include "ui/devtools/SkinLayoutListing.h"

#include "ui/controls/CControlUI.h"
#include "ui/controls/CTabLayoutUI.h"
#include "ui/controls/DialogBuilder.h"
#include "ui/controls/ForEachControl.h"
#include "ui/runtime/PaintManager.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace inkwarden {
namespace {

// Where the rectangles start, so that a listing lines up for reading and diffing.
constexpr size_t TREE_COLUMN = 52;

bool IsTabLayout(CControlUI* control) {
    return std::strcmp(control->getClass(), "TabLayout") == 0;
}

std::string FormatLine(CControlUI* control, int depth) {
    std::string line = std::to_string(depth);
    line.resize(std::max<size_t>(line.size() + 1, 3), ' ');
    line.append(static_cast<size_t>(depth) * 2, ' ');
    line += control->getClass();
    const std::string name = control->getName();
    if (!name.empty()) {
        line += ' ';
        line += name;
    }
    line.resize(std::max(line.size() + 1, TREE_COLUMN), ' ');
    const UiRect& r = control->getPos();
    char tail[80];
    std::snprintf(tail, sizeof tail, "%d,%d,%d,%d %s\n", r.left, r.top, r.right, r.bottom,
                  control->isVisible() ? "visible" : "hidden");
    return line + tail;
}

// One fresh build per listing, so that no page keeps rectangles from an earlier layout.
bool ListOnePage(const std::string& skin_file, UiSize size, int page, std::string& out,
                 std::string& error, int* page_count) {
    PaintManager manager;
    manager.init(nullptr, "skin layout");
    DialogBuilder builder;
    CControlUI* root = builder.create(skin_file, nullptr, &manager);
    if (root == nullptr) {
        const std::string message = builder.lastErrorMessage();
        error = "cannot build " + skin_file + (message.empty() ? "" : ": " + message);
        return false;
    }
    manager.attachRoot(root);
    if (size.cx == 0 && size.cy == 0) {
        size = manager.getInitSize();
    }
    bool refused = false;
    int pages = 1;
    ForEachControl(root, [&](CControlUI* control) {
        if (!IsTabLayout(control)) {
            return;
        }
        auto* tab = static_cast<CTabLayoutUI*>(control);
        pages = std::max(pages, tab->getCount());
        if (page >= 0 && !tab->selectItem(page, false)) {
            refused = true;
        }
    });
    if (page_count != nullptr) {
        *page_count = pages;
    }
    if (refused) {
        error = "the skin has no page " + std::to_string(page);
        return false;
    }
    manager.layoutRoot(UiRect{0, 0, size.cx, size.cy});
    out += FormatControlTree(root);
    return true;
}

} // namespace

std::string FormatControlTree(CControlUI* root) {
    std::string out;
    if (root != nullptr) {
        ForEachControl(root,
                       [&](CControlUI* control, int depth) { out += FormatLine(control, depth); });
    }
    return out;
}

bool ListSkinLayout(const std::string& skin_file, const SkinLayoutOptions& options,
                    std::string& out, std::string& error) {
    error.clear();
    if (!options.all_pages) {
        return ListOnePage(skin_file, options.size, options.page, out, error, nullptr);
    }
    int pages = 1;
    for (int page = 0; page < pages; ++page) {
        out += "page " + std::to_string(page) + "\n";
        if (!ListOnePage(skin_file, options.size, page, out, error, &pages)) {
            return false;
        }
    }
    return true;
}

} // namespace inkwarden
