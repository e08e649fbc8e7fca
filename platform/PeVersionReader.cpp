#include "platform/PeVersionReader.h"

#include "platform/ByteView.h"

#include <cstdint>

namespace inkwarden {
namespace {

constexpr std::uint32_t RT_VERSION = 16;
constexpr std::uint32_t SUBDIRECTORY_FLAG = 0x80000000u;
constexpr std::uint32_t NAMED_ENTRY_FLAG = 0x80000000u;
constexpr std::uint16_t PE32_MAGIC = 0x10B;
constexpr std::uint16_t PE32_PLUS_MAGIC = 0x20B;
constexpr std::uint32_t RESOURCE_DIRECTORY_INDEX = 2;
constexpr std::uint64_t SECTION_HEADER_SIZE = 40;
constexpr std::uint64_t DIRECTORY_HEADER_SIZE = 16;
constexpr std::uint64_t DIRECTORY_ENTRY_SIZE = 8;
constexpr std::uint64_t DATA_ENTRY_SIZE = 16;

struct Section {
    std::uint32_t virtual_address;
    std::uint32_t virtual_size;
    std::uint32_t raw_size;
    std::uint32_t raw_offset;
};

class PeImage {
public:
    explicit PeImage(std::string_view bytes) : image_(bytes) {}

    bool parseHeaders() {
        if (image_.size() < 64 || image_.bytes().substr(0, 2) != "MZ") {
            return false;
        }
        const auto pe_offset = image_.u32(0x3C);
        if (!pe_offset || !image_.contains(*pe_offset, 24) ||
            image_.bytes().substr(*pe_offset, 4) != std::string_view("PE\0\0", 4)) {
            return false;
        }
        const std::uint64_t coff = *pe_offset + 4;
        const std::uint16_t section_count = *image_.u16(coff + 2);
        const std::uint16_t optional_size = *image_.u16(coff + 16);
        const std::uint64_t optional = coff + 20;
        const auto magic = image_.u16(optional);
        if (!magic) {
            return false;
        }
        // The data directories follow the fixed fields, whose size depends on the format.
        std::uint64_t count_offset = 0;
        if (*magic == PE32_MAGIC) {
            count_offset = 92;
        } else if (*magic == PE32_PLUS_MAGIC) {
            count_offset = 108;
        } else {
            return false;
        }
        const auto directory_count = image_.u32(optional + count_offset);
        const std::uint64_t resource_entry =
            optional + count_offset + 4 + 8 * RESOURCE_DIRECTORY_INDEX;
        if (!directory_count || *directory_count <= RESOURCE_DIRECTORY_INDEX ||
            resource_entry + 8 > optional + optional_size) {
            return false;
        }
        const auto resource_rva = image_.u32(resource_entry);
        if (!resource_rva || *resource_rva == 0) {
            return false;
        }
        resource_rva_ = *resource_rva;

        sections_offset_ = optional + optional_size;
        section_count_ = section_count;
        return image_.contains(sections_offset_, section_count_ * SECTION_HEADER_SIZE);
    }

    // The file offset of an address inside the image and how many bytes of its section
    // follow it in the file.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> locate(std::uint32_t rva) const {
        for (std::uint32_t i = 0; i < section_count_; ++i) {
            const std::uint64_t header = sections_offset_ + i * SECTION_HEADER_SIZE;
            const Section s{*image_.u32(header + 12), *image_.u32(header + 8),
                            *image_.u32(header + 16), *image_.u32(header + 20)};
            const std::uint64_t span = s.virtual_size != 0 ? s.virtual_size : s.raw_size;
            if (rva < s.virtual_address || rva - s.virtual_address >= span) {
                continue;
            }
            const std::uint64_t delta = rva - s.virtual_address;
            if (delta >= s.raw_size) {
                return std::nullopt; // in the section, but not stored in the file
            }
            const std::uint64_t offset = std::uint64_t{s.raw_offset} + delta;
            if (offset >= image_.size()) {
                return std::nullopt;
            }
            const std::uint64_t in_file =
                std::min<std::uint64_t>(s.raw_size - delta, image_.size() - offset);
            return std::make_pair(offset, in_file);
        }
        return std::nullopt;
    }

    std::optional<std::string_view> versionBlock() const {
        const auto root = locate(resource_rva_);
        if (!root) {
            return std::nullopt;
        }
        const auto resources = image_.slice(root->first, root->second);
        // Type level: the entry with id 16; name and language levels: their first entry.
        auto type = findEntry(*resources, 0, RT_VERSION);
        if (!type || !(*type & SUBDIRECTORY_FLAG)) {
            return std::nullopt;
        }
        auto name = firstEntry(*resources, *type & ~SUBDIRECTORY_FLAG);
        if (!name || !(*name & SUBDIRECTORY_FLAG)) {
            return std::nullopt;
        }
        auto language = firstEntry(*resources, *name & ~SUBDIRECTORY_FLAG);
        if (!language || (*language & SUBDIRECTORY_FLAG)) {
            return std::nullopt;
        }
        const auto data_rva = resources->u32(*language);
        const auto data_size = resources->u32(*language + 4);
        if (!data_rva || !resources->contains(*language, DATA_ENTRY_SIZE)) {
            return std::nullopt;
        }
        const auto data = locate(*data_rva);
        if (!data || *data_size > data->second) {
            return std::nullopt;
        }
        return image_.bytes().substr(data->first, *data_size);
    }

private:
    static std::optional<std::uint32_t> firstEntry(const ByteView& resources,
                                                   std::uint64_t directory) {
        const auto named = resources.u16(directory + 12);
        const auto ids = resources.u16(directory + 14);
        if (!named || !ids || *named + *ids == 0) {
            return std::nullopt;
        }
        return resources.u32(directory + DIRECTORY_HEADER_SIZE + 4);
    }

    static std::optional<std::uint32_t> findEntry(const ByteView& resources,
                                                  std::uint64_t directory, std::uint32_t id) {
        const auto named = resources.u16(directory + 12);
        const auto ids = resources.u16(directory + 14);
        if (!named || !ids) {
            return std::nullopt;
        }
        const std::uint32_t count = std::uint32_t{*named} + *ids;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t entry =
                directory + DIRECTORY_HEADER_SIZE + i * DIRECTORY_ENTRY_SIZE;
            const auto name = resources.u32(entry);
            const auto target = resources.u32(entry + 4);
            if (!name || !target) {
                return std::nullopt;
            }
            if (!(*name & NAMED_ENTRY_FLAG) && *name == id) {
                return target;
            }
        }
        return std::nullopt;
    }

    ByteView image_;
    std::uint32_t resource_rva_ = 0;
    std::uint64_t sections_offset_ = 0;
    std::uint32_t section_count_ = 0;
};

} // namespace

std::optional<std::string_view> FindPeVersionBlock(std::string_view image) {
    PeImage pe(image);
    if (!pe.parseHeaders()) {
        return std::nullopt;
    }
    return pe.versionBlock();
}

} // namespace inkwarden
