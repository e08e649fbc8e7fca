#include "ui/devtools/SkinSource.h"

#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"

#include <filesystem>
#include <system_error>

namespace inkwarden {
namespace {

// The installer's own skin archive among the module resources.
constexpr const char* SKIN_RESOURCE_TYPE = "ZIPRES";
constexpr int SKIN_RESOURCE_ID = 105;

} // namespace

SkinSourceError SelectSkinSource(const std::string& skin) {
    SkinPackage::reset();
    if (skin.empty()) {
        const auto bytes = ModuleResources::find(SKIN_RESOURCE_TYPE, SKIN_RESOURCE_ID);
        if (bytes.empty()) {
            return SkinSourceError::NO_COMPILED_IN_SKIN;
        }
        SkinPackage::setResourceZipMemory(bytes);
        return SkinSourceError::NONE;
    }
    std::error_code ec;
    const std::filesystem::path path(skin);
    if (std::filesystem::is_directory(path, ec)) {
        SkinPackage::setResourcePath(path.string());
        return SkinSourceError::NONE;
    }
    if (!std::filesystem::is_regular_file(path, ec)) {
        return SkinSourceError::NO_SUCH_PATH;
    }
    const std::filesystem::path folder = path.parent_path();
    SkinPackage::setResourcePath(folder.empty() ? std::string(".") : folder.string());
    SkinPackage::setResourceZip(path.filename().string(), true);
    return SkinSourceError::NONE;
}

} // namespace inkwarden
