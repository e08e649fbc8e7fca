#pragma once

#include "ui/native/INativeWindowLayer.h"

#include <string>

namespace inkwarden {

// The window title of the folder browser.
inline constexpr const char* FOLDER_BROWSER_TITLE = "浏览计算机";

// Lets the user pick a folder in the platform's folder picker owned by the window: folders
// only, with a location entry, the initial folder selected when it is not empty, the prompt
// above the tree. The chosen folder, or empty when the user cancels.
std::string BrowseForFolder(INativeWindowLayer& layer, NativeWindowId owner,
                            const std::string& initial_folder, const std::string& prompt);

} // namespace inkwarden
