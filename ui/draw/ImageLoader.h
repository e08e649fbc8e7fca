#pragma once

#include "ui/draw/ImageEntry.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace inkwarden {

// Finds an image's bytes where the skin says they are and decodes them:
// with a resource type, the module resource of that type and name; without one, the skin
// package's file (its resource zip entry, else resource path + name); when that finds
// nothing, the name itself as a file path.
class ImageLoader {
public:
    // Bytes of the module resource (type, name), or nothing.
    using ResourceReader =
        std::function<std::optional<std::string>(const std::string& type, const std::string& name)>;
    // Bytes of a skin file, or nothing.
    using SkinFileReader = std::function<std::optional<std::string>(const std::string& name)>;

    void setResourceReader(ResourceReader reader) { resource_reader_ = std::move(reader); }
    void setSkinFileReader(SkinFileReader reader) { skin_file_reader_ = std::move(reader); }

    std::optional<std::string> readBytes(const std::string& name,
                                         const std::string& resource_type) const;
    std::optional<ImageEntry> load(const std::string& name, const std::string& resource_type,
                                   std::uint32_t mask) const;

private:
    ResourceReader resource_reader_;
    SkinFileReader skin_file_reader_;
};

} // namespace inkwarden
