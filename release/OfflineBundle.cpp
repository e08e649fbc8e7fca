#include "release/OfflineBundle.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {
namespace {

// release.json is a few hundred bytes; a bigger file is not one.
constexpr std::size_t MAX_RELEASE_FILE = 1 << 16;
constexpr unsigned char FIRST_PRINTABLE = 0x20;
constexpr unsigned char DELETE_CHARACTER = 0x7f;

// A whole regular file of at most limit bytes; nothing otherwise.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > limit) {
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    while (text.size() <= limit) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            return text;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return std::nullopt; // it grew while being read
}

std::optional<std::string> StringField(const nlohmann::json& root, const char* name) {
    const auto field = root.find(name);
    if (field == root.end() || !field->is_string()) {
        return std::nullopt;
    }
    return field->get<std::string>();
}

} // namespace

const char* BundleCheckText(BundleCheck check) {
    switch (check) {
    case BundleCheck::PASSED:
        return "passed";
    case BundleCheck::NO_KEY:
        return "this installer has no release key to check an offline bundle with";
    case BundleCheck::UNREADABLE:
        return "the bundle's release.json or release.json.sig cannot be read";
    case BundleCheck::BAD_SIGNATURE:
        return "the bundle's signature does not hold";
    case BundleCheck::MALFORMED:
        return "the bundle's release.json lacks a field or has one in the wrong form";
    case BundleCheck::EXPIRED:
        return "the bundle has expired (Not_after lies in the past)";
    }
    return "?";
}

std::string SignedBundleMessage(std::string_view release_json) {
    std::string message = BUNDLE_CONTEXT;
    message += '\n';
    message += release_json;
    return message;
}

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < FIRST_PRINTABLE || byte == DELETE_CHARACTER) {
            return false;
        }
    }
    return true;
}

std::optional<OfflineRelease> ParseOfflineRelease(std::string_view text) {
    const nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        return std::nullopt;
    }
    OfflineRelease release;
    const auto version = StringField(root, VERSION_NUMBER_FIELD);
    const auto package_file = StringField(root, PACKAGE_FILE_FIELD);
    const auto not_after_text = StringField(root, NOT_AFTER_FIELD);
    const auto not_after = not_after_text ? ParseUtcTime(*not_after_text) : std::nullopt;
    if (!version || version->empty() || !package_file || !IsPlainFileName(*package_file) ||
        !not_after) {
        return std::nullopt;
    }
    // The package fields are read as the version reply's "data" object would carry them.
    release.package = ParsePackageFields(nlohmann::json{{"data", root}}.dump());
    if (release.package.malformed || !release.package.complete()) {
        return std::nullopt;
    }
    release.version_number = *version;
    release.package_file = *package_file;
    release.not_after = *not_after;
    return release;
}

std::string OfflineReleaseText(const OfflineRelease& release) {
    nlohmann::json root = nlohmann::json::object();
    root[VERSION_NUMBER_FIELD] = release.version_number;
    root[PACKAGE_FILE_FIELD] = release.package_file;
    root[PACKAGE_SIZE_FIELD] = release.package.size.value_or(0);
    root[PACKAGE_SHA256_FIELD] = release.package.sha256.value_or("");
    if (release.package.piece_size) {
        root[PACKAGE_PIECE_SIZE_FIELD] = *release.package.piece_size;
        root[PACKAGE_PIECE_SHA256_FIELD] = release.package.piece_sha256;
    }
    root[NOT_AFTER_FIELD] = UtcTimeText(release.not_after);
    return root.dump(1) + "\n";
}

OfflineBundle ReadOfflineBundle(const std::string& folder, const ReleasePublicKey* root,
                                UtcTime now) {
    OfflineBundle bundle;
    if (root == nullptr) {
        bundle.check = BundleCheck::NO_KEY;
        return bundle;
    }
    const std::optional<std::string> text =
        ReadSmallFile(folder + "/" + BUNDLE_RELEASE_FILE, MAX_RELEASE_FILE);
    std::optional<std::string> signature_text =
        ReadSmallFile(folder + "/" + BUNDLE_SIGNATURE_FILE, MAX_RELEASE_FILE);
    if (!text || !signature_text) {
        bundle.check = BundleCheck::UNREADABLE;
        return bundle;
    }
    // Tools that write Base64 end it with a line feed.
    if (!signature_text->empty() && signature_text->back() == '\n') {
        signature_text->pop_back();
    }
    const std::optional<ReleaseSignatureBytes> signature = ParseSignatureHeader(*signature_text);
    // Nothing in release.json is read before the signature has held on its exact bytes.
    if (!signature || !root->verify(SignedBundleMessage(*text), *signature)) {
        bundle.check = BundleCheck::BAD_SIGNATURE;
        return bundle;
    }
    const std::optional<OfflineRelease> release = ParseOfflineRelease(*text);
    if (!release) {
        bundle.check = BundleCheck::MALFORMED;
        return bundle;
    }
    if (!StillValid(release->not_after, now)) {
        bundle.check = BundleCheck::EXPIRED;
        return bundle;
    }
    bundle.check = BundleCheck::PASSED;
    bundle.release = *release;
    bundle.package_path = folder + "/" + release->package_file;
    return bundle;
}

} // namespace inkwarden
