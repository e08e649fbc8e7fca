// file-version FILE: the version information that the installer reads from an executable.
#include "Subcommands.h"
#include "platform/FileVersion.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

namespace inkwarden::tool {
namespace {

std::string JoinParts(const std::array<std::int16_t, 4>& parts) {
    return std::to_string(parts[0]) + " " + std::to_string(parts[1]) + " " +
           std::to_string(parts[2]) + " " + std::to_string(parts[3]);
}

} // namespace

int FileVersionCommand(int argc, char** argv) {
    // An option is none of ours: a file whose name starts with "-" goes as ./-name.
    if (argc != 1 || argv[0][0] == '-') {
        return USAGE_ERROR;
    }
    const FileVersionRecord record = ReadFileVersion(argv[0]);
    const std::pair<const char*, const std::string*> lines[] = {
        {"Comments", &record.comments},
        {"InternalName", &record.internal_name},
        {"ProductName", &record.product_name},
        {"CompanyName", &record.company_name},
        {"LegalCopyright", &record.legal_copyright},
        {"ProductVersion", &record.product_version},
        {"FileDescription", &record.file_description},
        {"LegalTrademarks", &record.legal_trademarks},
        {"PrivateBuild", &record.private_build},
        {"FileVersion", &record.file_version},
        {"OriginalFilename", &record.original_filename},
        {"SpecialBuild", &record.special_build},
        {"FixedFileVersion", &record.fixed_file_version},
        {"FixedProductVersion", &record.fixed_product_version},
    };
    for (const auto& [name, value] : lines) {
        std::printf("%s: %s\n", name, value->c_str());
    }
    std::printf("FileVersionParts: %s\n", JoinParts(record.file_version_parts).c_str());
    std::printf("ProductVersionParts: %s\n", JoinParts(record.product_version_parts).c_str());
    // A read record always has a fixed version text, "0.0.0.0" at least.
    if (record.fixed_file_version.empty()) {
        std::fprintf(stderr, "inkwarden-tool: %s: no version information\n", argv[0]);
        return 1;
    }
    return 0;
}

} // namespace inkwarden::tool
