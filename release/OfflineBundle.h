#pragma once

#include "release/PackageFields.h"
#include "release/ReleasePublicKey.h"
#include "release/SigningKeyCertificate.h"

#include <string>
#include <string_view>

namespace inkwarden {

// An offline release bundle: a folder with the release description, the root key's signature
// over it, and the package it names.
inline constexpr const char* BUNDLE_RELEASE_FILE = "release.json";
inline constexpr const char* BUNDLE_SIGNATURE_FILE = "release.json.sig";
// The first line of the signed bytes, before release.json's exact bytes.
inline constexpr const char* BUNDLE_CONTEXT = "inkwarden-offline-release-1";
inline constexpr const char* VERSION_NUMBER_FIELD = "Version_number";
inline constexpr const char* PACKAGE_FILE_FIELD = "Package_file";
inline constexpr const char* NOT_AFTER_FIELD = "Not_after";

// What release.json says.
struct OfflineRelease {
    std::string version_number;
    std::string package_file; // a plain name in the bundle's folder
    PackageFields package;    // size and SHA-256, both there
    UtcTime not_after{};
};

// The checks of a bundle before its package is touched; the first one that failed, or PASSED.
enum class BundleCheck {
    PASSED,
    NO_KEY,        // the build has no release key: nothing could vouch for the bundle
    UNREADABLE,    // release.json or its signature cannot be read
    BAD_SIGNATURE, // the signature is malformed or does not hold under the root key
    MALFORMED,     // release.json lacks a field or has one in the wrong form
    EXPIRED,       // Not_after, with the slack, lies in the past
};

const char* BundleCheckText(BundleCheck check);

// The bytes the root key signs: the context, a line feed and release.json as it is.
std::string SignedBundleMessage(std::string_view release_json);

// A name that stays inside the folder: not empty, no "/", not "." or "..", no control
// character.
bool IsPlainFileName(std::string_view name);

// release.json's fields in their one form; nothing otherwise. Package fields that the
// version reply may carry are taken here too.
std::optional<OfflineRelease> ParseOfflineRelease(std::string_view text);

// release.json's text for a release, as the tool writes it.
std::string OfflineReleaseText(const OfflineRelease& release);

struct OfflineBundle {
    BundleCheck check = BundleCheck::UNREADABLE;
    OfflineRelease release; // filled once PASSED
    std::string package_path;
};

// Reads and checks the bundle in folder: the signature under root on the bytes as read, then
// the fields, then Not_after against now. The package itself is the caller's to check.
OfflineBundle ReadOfflineBundle(const std::string& folder, const ReleasePublicKey* root,
                                UtcTime now);

} // namespace inkwarden
