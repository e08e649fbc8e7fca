#pragma once

#include <string>

namespace inkwarden {

// The release that the version service announces. Empty when the query failed; partly filled
// when the reply stopped parsing part-way (fields are read in this order).
struct LatestVersionInfo {
    std::string Soft_name;
    std::string Version_number;
    std::string Version_description;
    std::string Download_url;
    std::string Download_silent_url;
    std::string Pubdate;

    bool operator==(const LatestVersionInfo&) const = default;
};

} // namespace inkwarden
