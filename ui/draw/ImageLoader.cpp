#include "ui/draw/ImageLoader.h"

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

std::optional<ImageEntry> ImageLoader::load(const std::string& name,
                                            const std::string& resource_type,
                                            std::uint32_t mask) const {
    const auto bytes = readBytes(name, resource_type);
    if (!bytes)
        return std::nullopt;
    return ImageEntry::decode(bytes->data(), bytes->size(), mask);
}

} // namespace inkwarden
