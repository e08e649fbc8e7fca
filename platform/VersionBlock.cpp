#include "platform/VersionBlock.h"

#include "platform/ByteView.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace inkwarden {
namespace {

constexpr std::uint16_t TEXT_TYPE = 1;
constexpr std::size_t HEADER_SIZE = 6;
constexpr std::size_t FIXED_INFO_OFFSET = 40; // 38 bytes of header and key, rounded up to 4
constexpr std::size_t FIXED_INFO_SIZE = 52;

constexpr std::uint64_t Align4(std::uint64_t offset) {
    return (offset + 3) & ~std::uint64_t{3};
}

// The string table's texts and the fields they fill.
const std::pair<const char*, std::string FileVersionRecord::*> STRING_FIELDS[] = {
    {"Comments", &FileVersionRecord::comments},
    {"InternalName", &FileVersionRecord::internal_name},
    {"ProductName", &FileVersionRecord::product_name},
    {"CompanyName", &FileVersionRecord::company_name},
    {"LegalCopyright", &FileVersionRecord::legal_copyright},
    {"ProductVersion", &FileVersionRecord::product_version},
    {"FileDescription", &FileVersionRecord::file_description},
    {"LegalTrademarks", &FileVersionRecord::legal_trademarks},
    {"PrivateBuild", &FileVersionRecord::private_build},
    {"FileVersion", &FileVersionRecord::file_version},
    {"OriginalFilename", &FileVersionRecord::original_filename},
    {"SpecialBuild", &FileVersionRecord::special_build},
};

// A version as two words of two 16-bit parts each, most significant first.
std::string FormatVersionWords(std::uint32_t most, std::uint32_t least) {
    constexpr unsigned PART_BITS = 16;
    constexpr std::uint32_t PART_MASK = 0xFFFF;
    return FormatVersionParts(most >> PART_BITS, most & PART_MASK, least >> PART_BITS,
                              least & PART_MASK);
}

struct Record {
    std::uint64_t end = 0;
    std::string key;
    std::string_view value;
    bool text = false;
    std::uint64_t children = 0;
};

// Parses the record at offset inside [.., limit); nothing when it does not fit.
std::optional<Record> ParseRecord(const ByteView& block, std::uint64_t offset,
                                  std::uint64_t limit) {
    const auto length = block.u16(offset);
    const auto value_length = block.u16(offset + 2);
    const auto type = block.u16(offset + 4);
    if (!length || !value_length || !type || *length < HEADER_SIZE || offset + *length > limit) {
        return std::nullopt;
    }
    Record record;
    record.end = offset + *length;
    std::uint64_t key_end = offset + HEADER_SIZE;
    while (true) {
        if (key_end + 2 > record.end) {
            return std::nullopt; // key without its terminator
        }
        if (*block.u16(key_end) == 0) {
            break;
        }
        key_end += 2;
    }
    record.key = Utf16LeToUtf8(block.bytes().substr(offset + HEADER_SIZE, key_end - offset - 6));
    record.text = *type == TEXT_TYPE;
    // A text value counts UTF-16 units, any other value bytes; never past the record.
    const std::uint64_t value_start = std::min(Align4(key_end + 2), record.end);
    const std::uint64_t wanted = record.text ? std::uint64_t{*value_length} * 2 : *value_length;
    const std::uint64_t value_size = std::min(wanted, record.end - value_start);
    record.value = block.bytes().substr(value_start, value_size);
    record.children = std::min(Align4(value_start + value_size), record.end);
    return record;
}

std::optional<Record> FindRecord(std::string_view bytes, std::string_view path) {
    const ByteView block(bytes);
    auto current = ParseRecord(block, 0, block.size());
    while (current) {
        while (!path.empty() && path.front() == '\\') {
            path.remove_prefix(1);
        }
        if (path.empty()) {
            return current;
        }
        const std::size_t cut = path.find('\\');
        const std::string_view key = path.substr(0, cut);
        path = cut == std::string_view::npos ? std::string_view{} : path.substr(cut);

        std::optional<Record> found;
        std::uint64_t offset = current->children;
        while (offset + HEADER_SIZE <= current->end) {
            auto child = ParseRecord(block, offset, current->end);
            if (!child) {
                break;
            }
            if (EqualsIgnoringAsciiCase(child->key, key)) {
                found = std::move(child);
                break;
            }
            offset = Align4(child->end); // length is at least 6, so the walk advances
        }
        current = std::move(found);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string_view> VersionBlock::queryValue(std::string_view path) const {
    auto record = FindRecord(bytes_, path);
    if (!record) {
        return std::nullopt;
    }
    return record->value;
}

std::optional<std::string> VersionBlock::queryText(std::string_view path) const {
    auto record = FindRecord(bytes_, path);
    if (!record) {
        return std::nullopt;
    }
    std::string_view value = record->value;
    for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
        if (value[i] == 0 && value[i + 1] == 0) {
            value = value.substr(0, i);
            break;
        }
    }
    return Utf16LeToUtf8(value);
}

FileVersionRecord VersionBlock::record() const {
    FileVersionRecord result;
    const ByteView block(bytes_);

    // The first translation gives the string table's name.
    const auto translation = queryValue("\\VarFileInfo\\Translation");
    if (!translation || translation->size() < 4) {
        return result;
    }
    const ByteView entry(*translation);
    const std::uint16_t language = *entry.u16(0);
    const std::uint16_t code_page = *entry.u16(2);

    // The fixed part sits at a fixed offset, present when the value length is set.
    std::array<std::uint32_t, 4> words{}; // file MS, file LS, product MS, product LS
    const auto value_length = block.u16(2);
    if (value_length && *value_length != 0 && block.contains(FIXED_INFO_OFFSET, FIXED_INFO_SIZE)) {
        for (std::size_t i = 0; i < words.size(); ++i) {
            words[i] = *block.u32(FIXED_INFO_OFFSET + 8 + 4 * i);
        }
    }

    // The twelve texts of that table.
    char table[16];
    std::snprintf(table, sizeof table, "%04x%04x", language, code_page);
    for (const auto& [name, field] : STRING_FIELDS) {
        result.*field =
            queryText(std::string("\\StringFileInfo\\") + table + "\\" + name).value_or("");
    }

    // Signed texts, read back into the parts.
    result.fixed_file_version = FormatVersionWords(words[0], words[1]);
    result.fixed_product_version = FormatVersionWords(words[2], words[3]);
    result.file_version_parts = ParseVersionParts(result.fixed_file_version);
    result.product_version_parts = ParseVersionParts(result.fixed_product_version);
    return result;
}

} // namespace inkwarden
