#pragma once

// Builds small PE images with a version resource, so the readers meet the real layout.
#include "platform/TextEncoding.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace inkwarden::test {

inline void PutU16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

inline void PutU32(std::string& out, std::uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

inline void SetU32(std::string& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

inline void Pad4(std::string& out) {
    while (out.size() % 4 != 0) {
        out += '\0';
    }
}

// One record of a version block: header, UTF-16 key, value, children, each aligned to 4.
struct VersionNode {
    std::string key;
    std::string value; // raw bytes
    bool text = false;
    std::uint16_t value_length = 0; // units for text values, bytes otherwise
    std::vector<VersionNode> children;

    std::string bytes() const {
        std::string out(6, '\0');
        out += Utf8ToUtf16Le(key);
        PutU16(out, 0);
        Pad4(out);
        out += value;
        Pad4(out);
        for (const VersionNode& child : children) {
            out += child.bytes();
            Pad4(out);
        }
        out[0] = static_cast<char>(out.size() & 0xFF);
        out[1] = static_cast<char>(out.size() >> 8);
        out[2] = static_cast<char>(value_length & 0xFF);
        out[3] = static_cast<char>(value_length >> 8);
        out[4] = text ? 1 : 0;
        return out;
    }
};

inline VersionNode TextNode(const std::string& key, const std::string& utf8) {
    std::string value = Utf8ToUtf16Le(utf8);
    PutU16(value, 0);
    return {key, value, true, static_cast<std::uint16_t>(value.size() / 2), {}};
}

struct StringTable {
    std::string name; // such as "080404b0"
    std::vector<std::pair<std::string, std::string>> strings;
};

struct VersionLayout {
    std::uint16_t file[4] = {1, 0, 0, 0};
    std::uint16_t product[4] = {1, 0, 0, 0};
    bool fixed_info = true;
    std::vector<std::uint32_t> translations; // language | code page << 16
    std::vector<StringTable> tables;
};

inline std::string BuildVersionBlock(const VersionLayout& layout) {
    VersionNode root{"VS_VERSION_INFO", "", false, 0, {}};
    if (layout.fixed_info) {
        std::string fixed;
        PutU32(fixed, 0xFEEF04BD);
        PutU32(fixed, 0x00010000);
        PutU32(fixed, (std::uint32_t{layout.file[0]} << 16) | layout.file[1]);
        PutU32(fixed, (std::uint32_t{layout.file[2]} << 16) | layout.file[3]);
        PutU32(fixed, (std::uint32_t{layout.product[0]} << 16) | layout.product[1]);
        PutU32(fixed, (std::uint32_t{layout.product[2]} << 16) | layout.product[3]);
        fixed.resize(52, '\0');
        root.value = fixed;
        root.value_length = 52;
    }
    VersionNode strings{"StringFileInfo", "", true, 0, {}};
    for (const StringTable& table : layout.tables) {
        VersionNode node{table.name, "", true, 0, {}};
        for (const auto& [name, text] : table.strings) {
            node.children.push_back(TextNode(name, text));
        }
        strings.children.push_back(node);
    }
    root.children.push_back(strings);
    if (!layout.translations.empty()) {
        std::string list;
        for (std::uint32_t t : layout.translations) {
            PutU32(list, t);
        }
        VersionNode translation{
            "Translation", list, false, static_cast<std::uint16_t>(list.size()), {}};
        root.children.push_back({"VarFileInfo", "", true, 0, {translation}});
    }
    return root.bytes();
}

// A PE32+ image with one ".rsrc" section holding one resource of the given type, or no
// resource directory at all when with_resource is false.
inline std::string BuildPeImage(const std::string& resource, bool with_resource = true,
                                std::uint32_t type = 16) {
    constexpr std::uint32_t SECTION_RVA = 0x1000;
    constexpr std::uint32_t RAW_OFFSET = 0x200;
    std::string image(RAW_OFFSET, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    SetU32(image, 0x3C, 0x40);
    std::string pe("PE\0\0", 4);
    PutU16(pe, 0x8664);
    PutU16(pe, 1); // sections
    PutU32(pe, 0);
    PutU32(pe, 0);
    PutU32(pe, 0);
    PutU16(pe, 240); // optional header size
    PutU16(pe, 0x22);
    std::string optional(240, '\0');
    optional[0] = 0x0B;
    optional[1] = 0x02;
    SetU32(optional, 108, 16); // data directories
    if (with_resource) {
        SetU32(optional, 112 + 2 * 8, SECTION_RVA);
        SetU32(optional, 112 + 2 * 8 + 4, 88 + static_cast<std::uint32_t>(resource.size()));
    }

    std::string rsrc;
    auto directory = [&rsrc](std::uint32_t id, std::uint32_t target) {
        rsrc += std::string(12, '\0');
        PutU16(rsrc, 0); // named entries
        PutU16(rsrc, 1); // id entries
        PutU32(rsrc, id);
        PutU32(rsrc, target);
    };
    directory(type, 0x80000000u | 24);
    directory(1, 0x80000000u | 48);
    directory(0x0804, 72);
    PutU32(rsrc, SECTION_RVA + 88);
    PutU32(rsrc, static_cast<std::uint32_t>(resource.size()));
    PutU32(rsrc, 0);
    PutU32(rsrc, 0);
    rsrc += resource;

    std::string section(".rsrc\0\0\0", 8);
    PutU32(section, static_cast<std::uint32_t>(rsrc.size())); // virtual size
    PutU32(section, SECTION_RVA);
    PutU32(section, static_cast<std::uint32_t>(rsrc.size())); // raw size
    PutU32(section, RAW_OFFSET);
    section.resize(40, '\0');

    const std::string headers = pe + optional + section;
    image.replace(0x40, headers.size(), headers);
    return image + rsrc;
}

} // namespace inkwarden::test
