#pragma once

#include "ui/base/UiGeometry.h"

#include <string>

namespace inkwarden {

class CControlUI;

// A laid-out control tree as text, one control a line: depth, class and name indented by
// depth, item rectangle (l,t,r,b), "visible" or "hidden". Skin authors read it; the layout
// tests compare it against committed tables.
struct SkinLayoutOptions {
    UiSize size;            // client size; 0x0 = the skin's "size"
    int page = -1;          // page selected in every tab layout; -1 = as the skin selects
    bool all_pages = false; // every page in turn, each under a "page N" line
};

// Lines for a tree as it stands.
std::string FormatControlTree(CControlUI* root);

// Builds skin_file through the current resource settings into an off-screen manager, lays
// it out and lists it. False with a reason when the skin cannot be built or has no such page.
bool ListSkinLayout(const std::string& skin_file, const SkinLayoutOptions& options,
                    std::string& out, std::string& error);

} // namespace inkwarden
