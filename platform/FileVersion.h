#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace inkwarden {

// The version information of an executable. Texts are UTF-8; a missing entry is empty.
struct FileVersionRecord {
    std::string comments;
    std::string internal_name;
    std::string product_name;
    std::string company_name;
    std::string legal_copyright;
    std::string product_version;
    std::string file_description;
    std::string legal_trademarks;
    std::string private_build;
    std::string file_version;
    std::string original_filename;
    std::string special_build;
    // "%hd.%hd.%hd.%hd" of the fixed part; "0.0.0.0" when the file has version texts only.
    std::string fixed_file_version;
    std::string fixed_product_version;
    std::array<std::int16_t, 4> file_version_parts{};
    std::array<std::int16_t, 4> product_version_parts{};

    bool operator==(const FileVersionRecord&) const = default;
};

// Reads the version resource of a PE image or the package note of an ELF executable.
// Never fails: a missing, unreadable, foreign or malformed file gives the empty record.
FileVersionRecord ReadFileVersion(const std::string& path);

// The record for image bytes already in memory (what ReadFileVersion does after reading).
FileVersionRecord ReadFileVersionFromImage(std::string_view image);

// Formats four 16-bit parts as signed numbers joined by dots ("1.2.-25536.3").
std::string FormatVersionParts(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d);

// Reads up to four dot-separated numbers, each taken modulo 2^16, as "%hd" does; reading
// stops at the first part that is not a number and the remaining parts stay 0.
std::array<std::int16_t, 4> ParseVersionParts(std::string_view text);

} // namespace inkwarden
