#pragma once

#include "platform/Translation.h"
#include "ui/native/INativeWindowLayer.h"

#include <string>

namespace inkwarden {

// The window title of the folder browser.
inline constexpr const char* FOLDER_BROWSER_TITLE = N_("Choose the install folder");

// Lets the user pick a folder in the platform's folder picker owned by the window: folders
// only, with a location entry, the initial folder selected when it is not empty, the prompt
// above the tree. The chosen folder, or empty when the user cancels.
std::string BrowseForFolder(INativeWindowLayer& layer, NativeWindowId owner,
                            const std::string& initial_folder, const std::string& prompt);

} // namespace inkwarden
