#include "app/InstallerLanguage.h"

#include "BuildConfig.h"
#include "platform/Paths.h"
#include "platform/Translation.h"
#include "ui/controls/DialogBuilder.h"
#include "ui/runtime/ImageCache.h"

namespace inkwarden {

std::vector<std::string> LocaleFolders(const std::string& program_path) {
    std::vector<std::string> folders;
    const std::string program_folder = ParentPath(program_path);
    if (!program_folder.empty()) {
        folders.push_back(ParentPath(program_folder) + "/share/locale");
    }
    folders.emplace_back(build_config::LOCALE_DIR);
    return folders;
}

std::string InitInstallerLanguage(const std::string& program_path) {
    const std::string language = InitTranslation(LocaleFolders(program_path));
    DialogBuilder::setTextTranslator(&Tr);
    ImageCache::setLanguageFolder(language == SOURCE_LANGUAGE ? "" : language);
    return language;
}

} // namespace inkwarden
