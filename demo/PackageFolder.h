#pragma once

#include "platform/UniqueFd.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace inkwarden::demo {

// The folder served under /packages/: which file a URL names and how it is opened. Both the
// package route and the reply's package fields go through here, so a reply describes exactly
// the file a download gets.
class PackageFolder {
public:
    // The file name that the URL path after "/packages/" names: a query string or fragment is
    // dropped, escapes are decoded, and the result must be a plain visible file name (no
    // separators, no control characters). None otherwise.
    static std::optional<std::string> NameFromUrlPath(std::string_view path);

    // The regular file name inside folder, also through symbolic links whose target lies inside
    // the folder; never a file outside it. An invalid descriptor when there is none.
    static UniqueFd Open(const std::string& folder, const std::string& name, struct stat& info);
};

} // namespace inkwarden::demo
