#include "release/PackageFields.h"

#include "release/Sha256.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <nlohmann/json.hpp>

namespace inkwarden {

std::optional<std::string> NormalizeSha256Text(const std::string& text) {
    if (text.size() != SHA256_HEX_DIGITS) {
        return std::nullopt;
    }
    std::string lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'F') {
            c = static_cast<char>(c - 'A' + 'a');
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return std::nullopt;
        }
    }
    return lower;
}

namespace {

// A reply that names more mirrors than any download would use is no release of ours.
constexpr size_t MAX_MIRRORS = 16;
constexpr size_t MAX_MIRROR_URL = 2048;

} // namespace

bool IsMirrorUrl(const std::string& text) {
    if (text.size() > MAX_MIRROR_URL) {
        return false;
    }
    std::string scheme_part = text.substr(0, text.find("://"));
    for (char& c : scheme_part) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (text.find("://") == std::string::npos ||
        (scheme_part != "http" && scheme_part != "https")) {
        return false;
    }
    // A host must follow; the rest may not break a request line.
    const size_t host = scheme_part.size() + 3;
    if (host >= text.size() || text[host] == '/' || text[host] == '?' || text[host] == '#' ||
        text[host] == ':') {
        return false;
    }
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7f;
    });
}

namespace {

// A JSON integer from 0 up; 12.0, "12", -1 and anything beyond 64 signed bits are not sizes.
std::optional<std::int64_t> SizeOf(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        const auto size = value.get<std::uint64_t>();
        if (size <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return static_cast<std::int64_t>(size);
        }
        return std::nullopt;
    }
    if (value.is_number_integer() && value.get<std::int64_t>() >= 0) {
        return value.get<std::int64_t>();
    }
    return std::nullopt;
}

// Every element a mirror URL; an empty array names none, which is no fault.
std::optional<std::vector<std::string>> MirrorsOf(const nlohmann::json& value) {
    if (!value.is_array() || value.size() > MAX_MIRRORS) {
        return std::nullopt;
    }
    std::vector<std::string> mirrors;
    for (const nlohmann::json& element : value) {
        if (!element.is_string() || !IsMirrorUrl(element.get<std::string>())) {
            return std::nullopt;
        }
        mirrors.push_back(element.get<std::string>());
    }
    return mirrors;
}

bool IsLowerSha256Text(const nlohmann::json& value) {
    if (!value.is_string()) {
        return false;
    }
    const std::string& text = value.get_ref<const std::string&>();
    return text.size() == SHA256_HEX_DIGITS &&
           text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::optional<std::int64_t> PieceSizeOf(const nlohmann::json& value) {
    const std::optional<std::int64_t> size = SizeOf(value);
    return size && IsPieceSize(*size) ? size : std::nullopt;
}

// The piece fields: both or neither, only beside size and SHA-256, one digest per piece.
void AddPieceFields(const nlohmann::json& data, PackageFields& fields) {
    const auto size = data.find(PACKAGE_PIECE_SIZE_FIELD);
    const auto digests = data.find(PACKAGE_PIECE_SHA256_FIELD);
    if (size == data.end() && digests == data.end()) {
        return;
    }
    const std::optional<std::int64_t> piece_size =
        size != data.end() ? PieceSizeOf(*size) : std::nullopt;
    const bool fits =
        piece_size && digests != data.end() && digests->is_array() && fields.complete() &&
        static_cast<std::int64_t>(digests->size()) == PieceCount(*fields.size, *piece_size) &&
        std::all_of(digests->begin(), digests->end(), IsLowerSha256Text);
    if (!fits) {
        fields.malformed = true;
        return;
    }
    fields.piece_size = piece_size;
    for (const nlohmann::json& digest : *digests) {
        fields.piece_sha256.push_back(digest.get<std::string>());
    }
}

PackageFields FieldsOfData(const nlohmann::json& data) {
    PackageFields fields;
    if (const auto sha256 = data.find(PACKAGE_SHA256_FIELD); sha256 != data.end()) {
        fields.sha256 =
            sha256->is_string() ? NormalizeSha256Text(sha256->get<std::string>()) : std::nullopt;
        fields.malformed = !fields.sha256.has_value();
    }
    if (const auto size = data.find(PACKAGE_SIZE_FIELD); size != data.end()) {
        fields.size = SizeOf(*size);
        fields.malformed = fields.malformed || !fields.size.has_value();
    }
    if (const auto mirrors = data.find(PACKAGE_MIRRORS_FIELD); mirrors != data.end()) {
        const auto urls = MirrorsOf(*mirrors);
        fields.mirrors = urls.value_or(std::vector<std::string>{});
        fields.malformed = fields.malformed || !urls.has_value();
    }
    AddPieceFields(data, fields);
    return fields;
}

} // namespace

bool IsPieceSize(std::int64_t piece_size) {
    return piece_size >= MIN_PIECE_SIZE && piece_size <= MAX_PIECE_SIZE &&
           (piece_size & (piece_size - 1)) == 0;
}

std::int64_t PieceCount(std::int64_t size, std::int64_t piece_size) {
    return piece_size > 0 ? size / piece_size + (size % piece_size != 0 ? 1 : 0) : 0;
}

PackageFields ParsePackageFields(const std::string& text) {
    const nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        return {};
    }
    const auto data = root.find("data");
    if (data == root.end() || !data->is_object()) {
        return {};
    }
    return FieldsOfData(*data);
}

PackageFields ParsePackageDataObject(const std::string& text) {
    const nlohmann::json data = nlohmann::json::parse(text, nullptr, false);
    if (data.is_discarded() || !data.is_object()) {
        return {};
    }
    return FieldsOfData(data);
}

} // namespace inkwarden
