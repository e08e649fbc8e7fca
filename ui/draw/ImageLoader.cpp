#include "ui/draw/ImageLoader.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace inkwarden {

namespace {

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

} // namespace

std::optional<std::string> ImageLoader::readBytes(const std::string& name,
                                                  const std::string& resource_type) const {
    if (name.empty())
        return std::nullopt;
    std::optional<std::string> bytes;
    if (!resource_type.empty()) {
        if (resource_reader_)
            bytes = resource_reader_(resource_type, name);
    } else if (skin_file_reader_) {
        bytes = skin_file_reader_(name);
    }
    if (!bytes)
        bytes = ReadWholeFile(name);
    return bytes;
}

int ImageLoader::variantScale(int scale) {
    return std::clamp(scale, 1, MAX_VARIANT_SCALE);
}

std::string ImageLoader::variantName(const std::string& name, int variant) {
    const std::string suffix = "@" + std::to_string(variant) + "x";
    const std::size_t folder_end = name.find_last_of("/\\");
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (folder_end != std::string::npos && dot < folder_end))
        return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

std::optional<ImageEntry> ImageLoader::loadVariant(const std::string& name, std::uint32_t mask,
                                                   int variant) const {
    if (variant <= 1 || name.empty())
        return std::nullopt;
    // The 1x image sets the logical size that the skin's rectangles refer to.
    const auto base = readBytes(name, {});
    if (!base)
        return std::nullopt;
    const auto base_size = ImageEntry::probeSize(base->data(), base->size());
    const auto bytes = readBytes(variantName(name, variant), {});
    if (!base_size || !bytes)
        return std::nullopt;
    std::optional<ImageEntry> image = ImageEntry::decode(bytes->data(), bytes->size(), mask);
    if (!image || image->width() != base_size->first * variant ||
        image->height() != base_size->second * variant || !image->setScale(variant))
        return std::nullopt;
    return image;
}

std::optional<ImageEntry> ImageLoader::load(const std::string& name,
                                            const std::string& resource_type,
                                            std::uint32_t mask) const {
    const auto bytes = readBytes(name, resource_type);
    if (!bytes)
        return std::nullopt;
    return ImageEntry::decode(bytes->data(), bytes->size(), mask);
}

} // namespace inkwarden
