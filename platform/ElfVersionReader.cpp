#include "platform/ElfVersionReader.h"

#include "platform/ByteView.h"

#include <cstdint>
#include <nlohmann/json.hpp>

namespace inkwarden {
namespace {

constexpr std::uint32_t SHT_NOTE = 7;
constexpr std::uint32_t NT_FDO_PACKAGING_METADATA = 0xCAFE1A7E;
constexpr std::uint16_t SHN_XINDEX = 0xFFFF;
constexpr std::string_view NOTE_SECTION = ".note.package";
constexpr std::string_view NOTE_OWNER("FDO\0", 4);

struct SectionHeader {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
    std::uint64_t align = 0;
};

class ElfImage {
public:
    bool parse(std::string_view bytes) {
        if (bytes.size() < 16 || bytes.substr(0, 4) != "\x7f"
                                                       "ELF") {
            return false;
        }
        const auto elf_class = static_cast<std::uint8_t>(bytes[4]);
        const auto data = static_cast<std::uint8_t>(bytes[5]);
        if ((elf_class != 1 && elf_class != 2) || (data != 1 && data != 2)) {
            return false;
        }
        wide_ = elf_class == 2;
        image_ = ByteView(bytes, data == 2);

        const auto shoff = wide_ ? image_.u64(40) : as64(image_.u32(32));
        const auto shentsize = image_.u16(wide_ ? 58 : 46);
        const auto shnum = image_.u16(wide_ ? 60 : 48);
        const auto shstrndx = image_.u16(wide_ ? 62 : 50);
        if (!shoff || !shentsize || !shnum || !shstrndx || *shoff == 0 ||
            *shentsize < (wide_ ? 64 : 40)) {
            return false;
        }
        table_ = *shoff;
        entry_size_ = *shentsize;
        count_ = *shnum;
        std::uint32_t names_index = *shstrndx;
        // Many sections: the real count and name-table index live in section 0.
        if (count_ == 0 || names_index == SHN_XINDEX) {
            const auto first = section(0, true);
            if (!first) {
                return false;
            }
            if (count_ == 0) {
                count_ = first->size;
            }
            if (names_index == SHN_XINDEX) {
                names_index = first->link;
            }
        }
        if (count_ == 0 || count_ > image_.size() / entry_size_ ||
            !image_.contains(table_, count_ * entry_size_)) {
            return false;
        }
        const auto names = section(names_index);
        if (!names || !image_.contains(names->offset, names->size)) {
            return false;
        }
        names_ = image_.bytes().substr(names->offset, names->size);
        return true;
    }

    std::optional<std::string> packageNote() const {
        for (std::uint64_t i = 0; i < count_; ++i) {
            const auto header = section(i);
            if (!header || header->type != SHT_NOTE || sectionName(header->name) != NOTE_SECTION) {
                continue;
            }
            const auto notes = image_.slice(header->offset, header->size);
            if (!notes) {
                return std::nullopt;
            }
            if (auto found = findNote(*notes, header->align == 8 ? 8 : 4)) {
                return found;
            }
        }
        return std::nullopt;
    }

private:
    static std::optional<std::uint64_t> as64(std::optional<std::uint32_t> value) {
        if (!value) {
            return std::nullopt;
        }
        return *value;
    }

    std::optional<SectionHeader> section(std::uint64_t index, bool unchecked = false) const {
        if (!unchecked && index >= count_) {
            return std::nullopt;
        }
        const std::uint64_t at = table_ + index * entry_size_;
        if (!image_.contains(at, wide_ ? 64 : 40)) {
            return std::nullopt;
        }
        SectionHeader h;
        h.name = *image_.u32(at);
        h.type = *image_.u32(at + 4);
        if (wide_) {
            h.offset = *image_.u64(at + 24);
            h.size = *image_.u64(at + 32);
            h.link = *image_.u32(at + 40);
            h.align = *image_.u64(at + 48);
        } else {
            h.offset = *image_.u32(at + 16);
            h.size = *image_.u32(at + 20);
            h.link = *image_.u32(at + 24);
            h.align = *image_.u32(at + 32);
        }
        return h;
    }

    std::string_view sectionName(std::uint32_t offset) const {
        if (offset >= names_.size()) {
            return {};
        }
        const std::string_view rest = names_.substr(offset);
        return rest.substr(0, rest.find('\0'));
    }

    static std::optional<std::string> findNote(const ByteView& notes, std::uint64_t align) {
        auto padded = [align](std::uint64_t n) { return (n + align - 1) / align * align; };
        std::uint64_t at = 0;
        while (notes.contains(at, 12)) {
            const std::uint64_t name_size = *notes.u32(at);
            const std::uint64_t desc_size = *notes.u32(at + 4);
            const std::uint32_t type = *notes.u32(at + 8);
            const std::uint64_t name_at = at + 12;
            const std::uint64_t desc_at = name_at + padded(name_size);
            if (!notes.contains(name_at, padded(name_size)) ||
                !notes.contains(desc_at, desc_size)) {
                return std::nullopt;
            }
            if (type == NT_FDO_PACKAGING_METADATA &&
                notes.bytes().substr(name_at, name_size) == NOTE_OWNER) {
                std::string_view json = notes.bytes().substr(desc_at, desc_size);
                while (!json.empty() && json.back() == '\0') {
                    json.remove_suffix(1);
                }
                return std::string(json);
            }
            at = desc_at + padded(desc_size);
        }
        return std::nullopt;
    }

    ByteView image_;
    bool wide_ = false;
    std::uint64_t table_ = 0;
    std::uint64_t entry_size_ = 0;
    std::uint64_t count_ = 0;
    std::string_view names_;
};

} // namespace

std::optional<std::string> FindElfPackageNote(std::string_view image) {
    ElfImage elf;
    if (!elf.parse(image)) {
        return std::nullopt;
    }
    return elf.packageNote();
}

std::optional<FileVersionRecord> ReadElfVersion(std::string_view image) {
    const auto note = FindElfPackageNote(image);
    if (!note) {
        return std::nullopt;
    }
    const auto json = nlohmann::json::parse(*note, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return std::nullopt;
    }
    FileVersionRecord record;
    const auto version = json.find("version");
    if (version != json.end() && version->is_string()) {
        record.file_version = version->get<std::string>();
        record.product_version = record.file_version;
    }
    const auto name = json.find("name");
    if (name != json.end() && name->is_string()) {
        record.product_name = name->get<std::string>();
    }
    // The fixed versions are the version text read as four 16-bit parts, shown signed.
    const auto parts = ParseVersionParts(record.file_version);
    record.fixed_file_version = FormatVersionParts(
        static_cast<std::uint16_t>(parts[0]), static_cast<std::uint16_t>(parts[1]),
        static_cast<std::uint16_t>(parts[2]), static_cast<std::uint16_t>(parts[3]));
    record.fixed_product_version = record.fixed_file_version;
    record.file_version_parts = ParseVersionParts(record.fixed_file_version);
    record.product_version_parts = record.file_version_parts;
    return record;
}

} // namespace inkwarden
