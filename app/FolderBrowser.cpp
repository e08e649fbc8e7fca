#include "app/FolderBrowser.h"

namespace inkwarden {

std::string BrowseForFolder(INativeWindowLayer& layer, NativeWindowId owner,
                            const std::string& initial_folder, const std::string& prompt) {
    return layer.pickFolder(owner, Tr(FOLDER_BROWSER_TITLE), prompt, initial_folder).value_or("");
}

} // namespace inkwarden
