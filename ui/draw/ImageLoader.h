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
//
// At scale 2 and above a file image prefers its 2x variant beside it ("png/bg@2x.png" for
// "png/bg.png"), when that is exactly twice the size of the 1x image; it is then loaded as
// an image of the 1x image's logical size.
class ImageLoader {
public:
    // The largest variant a skin carries.
    static constexpr int MAX_VARIANT_SCALE = 2;

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
    // The variant of a file image (variant > 1), when it exists and is exactly `variant`
    // times the size of the 1x image; else nothing, and the 1x image stands in.
    std::optional<ImageEntry> loadVariant(const std::string& name, std::uint32_t mask,
                                          int variant) const;

    // The variant that drawing at `scale` looks for: 1 or 2.
    static int variantScale(int scale);
    // "png/bg.png" -> "png/bg@2x.png"; a name without an extension gets "@2x" appended.
    static std::string variantName(const std::string& name, int variant);

private:
    ResourceReader resource_reader_;
    SkinFileReader skin_file_reader_;
};

} // namespace inkwarden
