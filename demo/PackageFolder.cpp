#include "demo/PackageFolder.h"

#include "demo/HttpMessage.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <memory>

namespace inkwarden::demo {
namespace {

std::optional<std::string> RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return std::string(resolved.get());
}

bool PlainFileName(const std::string& name) {
    if (name.empty() || name.front() == '.') {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == '/' || c == '\\' || byte < 0x20 || byte == 0x7f;
    });
}

} // namespace

std::optional<std::string> PackageFolder::NameFromUrlPath(std::string_view path) {
    path = path.substr(0, path.find_first_of("?#"));
    std::optional<std::string> name = PercentDecode(path);
    if (!name || !PlainFileName(*name)) {
        return std::nullopt;
    }
    return name;
}

UniqueFd PackageFolder::Open(const std::string& folder, const std::string& name,
                             struct stat& info) {
    const std::optional<std::string> root = RealPath(folder);
    const std::optional<std::string> target = RealPath(folder + "/" + name);
    if (!root || !target || target->size() <= root->size() + 1 ||
        target->compare(0, root->size() + 1, *root + "/") != 0) {
        return UniqueFd();
    }
    // The resolved path has no links left; one that appears meanwhile is refused.
    UniqueFd fd(::open(target->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return UniqueFd();
    }
    return fd;
}

} // namespace inkwarden::demo
