// release keygen, digest, certify and bundle: what a vendor needs to sign releases. keygen
// makes a key pair (the root's public half configures the build); digest gives the package
// fields of the version reply for a package file (size, SHA-256 and, with a piece size, the
// pieces' digests); certify lets the offline root vouch
// for an online signing key; bundle makes an offline release folder signed by the root.
#include "Subcommands.h"
#include "demo/ReleaseSigner.h"
#include "platform/FileWriter.h"
#include "platform/UniqueFd.h"
#include "release/OfflineBundle.h"
#include "release/PackageDigest.h"
#include "release/PackageFields.h"
#include "release/ReleasePublicKey.h"
#include "release/SigningKeyCertificate.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace inkwarden::tool {
namespace {

constexpr mode_t PRIVATE_KEY_MODE = 0600;
constexpr mode_t PUBLIC_KEY_MODE = 0644;
constexpr mode_t BUNDLE_FILE_MODE = 0644;
constexpr mode_t BUNDLE_FOLDER_MODE = 0755;
// Certificates and bundles last from a day to ten years.
constexpr long MAX_DAYS = 3650;
constexpr std::size_t COPY_CHUNK = 1 << 16;

// Writes text into a new file; an existing one is never overwritten (a lost signing key
// cannot be made again).
bool WriteNewFile(const std::string& path, std::string_view text, mode_t mode,
                  const char* command = "keygen") {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd) {
        std::fprintf(stderr, "inkwarden-tool release %s: cannot create %s: %s\n", command,
                     path.c_str(), std::strerror(errno));
        return false;
    }
    if (!WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0) {
        std::fprintf(stderr, "inkwarden-tool release %s: cannot write %s\n", command, path.c_str());
        return false;
    }
    return true;
}

// "--name value" pairs, each name once and each one of names; false otherwise.
bool ParsePairs(int argc, char** argv, const std::vector<std::string>& names,
                std::map<std::string, std::string>& values) {
    if (argc % 2 != 0) {
        return false;
    }
    for (int i = 0; i < argc; i += 2) {
        const std::string name = argv[i];
        bool known = false;
        for (const std::string& wanted : names) {
            known = known || wanted == name;
        }
        if (!known || !values.emplace(name, argv[i + 1]).second || values[name].empty()) {
            return false;
        }
    }
    return values.size() == names.size();
}

std::optional<long> ParseDays(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long days = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || days < 1 || days > MAX_DAYS) {
        return std::nullopt;
    }
    return days;
}

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    text = content.str();
    return in.good() && !text.empty();
}

std::optional<demo::ReleaseSigner> LoadRoot(const std::string& path, const char* command) {
    std::string error;
    std::optional<demo::ReleaseSigner> root = demo::ReleaseSigner::FromPemFile(path, error);
    if (!root) {
        std::fprintf(stderr, "inkwarden-tool release %s: %s\n", command, error.c_str());
    }
    return root;
}

UtcTime DaysFromNow(long days) {
    return UtcNow() + std::chrono::days(days);
}

// Copies a regular file into a new file.
bool CopyIntoNewFile(const std::string& from, const std::string& to) {
    UniqueFd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!source || ::fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fprintf(stderr, "inkwarden-tool release bundle: cannot read %s\n", from.c_str());
        return false;
    }
    UniqueFd target(
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, BUNDLE_FILE_MODE));
    if (!target) {
        std::fprintf(stderr, "inkwarden-tool release bundle: cannot create %s: %s\n", to.c_str(),
                     std::strerror(errno));
        return false;
    }
    std::vector<char> buffer(COPY_CHUNK);
    for (;;) {
        const ssize_t got = ::read(source.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 0) {
            return ::fsync(target.get()) == 0;
        }
        if (got < 0 || !WriteAll(target.get(),
                                 std::string_view(buffer.data(), static_cast<std::size_t>(got)))) {
            std::fprintf(stderr, "inkwarden-tool release bundle: cannot copy %s\n", from.c_str());
            return false;
        }
    }
}

// A piece size as the release fields allow it; nothing otherwise.
std::optional<std::int64_t> ParsePieceSize(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long long size = std::strtoll(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || !IsPieceSize(size)) {
        return std::nullopt;
    }
    return size;
}

// The package fields of a file: one JSON object ready to merge into a release's data, or its
// members alone, ready to paste into one.
std::string DigestText(const PackageDigest& digest, std::int64_t piece_size, bool json) {
    nlohmann::ordered_json fields = nlohmann::ordered_json::object();
    fields[PACKAGE_SHA256_FIELD] = digest.sha256;
    fields[PACKAGE_SIZE_FIELD] = digest.size;
    if (piece_size > 0) {
        fields[PACKAGE_PIECE_SIZE_FIELD] = piece_size;
        fields[PACKAGE_PIECE_SHA256_FIELD] = digest.piece_sha256;
    }
    if (json) {
        return fields.dump(1) + "\n";
    }
    std::string members;
    for (auto member = fields.begin(); member != fields.end(); ++member) {
        members += (members.empty() ? "\"" : ",\n\"") + member.key() + "\": " + member->dump();
    }
    return members + "\n";
}

} // namespace

int ReleaseKeygenCommand(int argc, char** argv) {
    std::string private_path, public_path;
    for (int i = 0; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--private") == 0) {
            private_path = argv[i + 1];
        } else if (std::strcmp(argv[i], "--public") == 0) {
            public_path = argv[i + 1];
        }
    }
    if (argc != 4 || private_path.empty() || public_path.empty() || private_path == public_path) {
        return USAGE_ERROR;
    }
    const std::optional<demo::ReleaseSigner> signer = demo::ReleaseSigner::Generate();
    const std::string private_pem = signer ? signer->privatePem() : "";
    const std::string public_pem = signer ? signer->publicPem() : "";
    if (private_pem.empty() || public_pem.empty()) {
        std::fprintf(stderr, "inkwarden-tool release keygen: cannot make an Ed25519 key\n");
        return 1;
    }
    if (!WriteNewFile(private_path, private_pem, PRIVATE_KEY_MODE)) {
        return 1;
    }
    if (!WriteNewFile(public_path, public_pem, PUBLIC_KEY_MODE)) {
        ::unlink(private_path.c_str()); // half a pair is of no use
        return 1;
    }
    std::printf("private key: %s (mode 0600; it signs the version replies: keep it on the "
                "service)\n",
                private_path.c_str());
    std::printf("public key: %s (build with -DINKWARDEN_RELEASE_PUBLIC_KEY=%s)\n",
                public_path.c_str(), public_path.c_str());
    return 0;
}

int ReleaseDigestCommand(int argc, char** argv) {
    bool json = false;
    std::int64_t piece_size = 0;
    int i = 0;
    for (; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--piece-size") == 0) {
            const std::optional<std::int64_t> size = ParsePieceSize(argv[++i]);
            if (!size) {
                std::fprintf(stderr,
                             "inkwarden-tool release digest: --piece-size takes a power of "
                             "two from %lld to %lld\n",
                             static_cast<long long>(MIN_PIECE_SIZE),
                             static_cast<long long>(MAX_PIECE_SIZE));
                return USAGE_ERROR;
            }
            piece_size = *size;
        } else {
            return USAGE_ERROR;
        }
    }
    if (i + 1 != argc) {
        return USAGE_ERROR;
    }
    const std::optional<PackageDigest> digest = DigestFile(argv[i], piece_size);
    if (!digest) {
        std::fprintf(stderr, "inkwarden-tool release digest: cannot read %s\n", argv[i]);
        return 1;
    }
    std::fputs(DigestText(*digest, piece_size, json).c_str(), stdout);
    return 0;
}

int ReleaseCertifyCommand(int argc, char** argv) {
    std::map<std::string, std::string> values;
    if (!ParsePairs(argc, argv, {"--root-private", "--signing-public", "--days"}, values)) {
        return USAGE_ERROR;
    }
    const std::optional<long> days = ParseDays(values["--days"]);
    if (!days) {
        std::fprintf(stderr, "inkwarden-tool release certify: --days takes 1 to %ld\n", MAX_DAYS);
        return USAGE_ERROR;
    }
    const std::optional<demo::ReleaseSigner> root = LoadRoot(values["--root-private"], "certify");
    if (!root) {
        return 1;
    }
    std::string pem;
    const std::string& signing_path = values["--signing-public"];
    const std::optional<ReleasePublicKey> signing =
        ReadText(signing_path, pem) ? ReleasePublicKey::FromPem(pem) : std::nullopt;
    if (!signing) {
        std::fprintf(stderr, "inkwarden-tool release certify: %s is not a PEM Ed25519 public key\n",
                     signing_path.c_str());
        return 1;
    }
    // A root that certified itself would only hide that the root is online.
    if (signing->raw() == root->publicBytes()) {
        std::fprintf(stderr, "inkwarden-tool release certify: the signing key is the root key\n");
        return 1;
    }
    const std::string value = root->certify(signing->raw(), DaysFromNow(*days));
    if (value.empty()) {
        std::fprintf(stderr, "inkwarden-tool release certify: cannot sign\n");
        return 1;
    }
    std::printf("%s\n", value.c_str());
    return 0;
}

int ReleaseBundleCommand(int argc, char** argv) {
    std::map<std::string, std::string> values;
    if (!ParsePairs(argc, argv, {"--root-private", "--package", "--version", "--days", "--out"},
                    values)) {
        return USAGE_ERROR;
    }
    const std::optional<long> days = ParseDays(values["--days"]);
    if (!days) {
        std::fprintf(stderr, "inkwarden-tool release bundle: --days takes 1 to %ld\n", MAX_DAYS);
        return USAGE_ERROR;
    }
    const std::string& package = values["--package"];
    const std::string& folder = values["--out"];
    OfflineRelease release;
    release.version_number = values["--version"];
    release.package_file = package.substr(package.rfind('/') + 1);
    release.not_after = DaysFromNow(*days);
    if (!IsPlainFileName(release.package_file) || release.package_file == BUNDLE_RELEASE_FILE ||
        release.package_file == BUNDLE_SIGNATURE_FILE) {
        std::fprintf(stderr, "inkwarden-tool release bundle: %s cannot be the package's name\n",
                     release.package_file.c_str());
        return USAGE_ERROR;
    }
    const std::optional<demo::ReleaseSigner> root = LoadRoot(values["--root-private"], "bundle");
    if (!root) {
        return 1;
    }
    if (::mkdir(folder.c_str(), BUNDLE_FOLDER_MODE) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "inkwarden-tool release bundle: cannot make %s: %s\n", folder.c_str(),
                     std::strerror(errno));
        return 1;
    }
    // The copy is what gets described: a package that changes meanwhile cannot slip in.
    const std::string copy = folder + "/" + release.package_file;
    if (!CopyIntoNewFile(package, copy)) {
        return 1;
    }
    const std::optional<PackageDigest> digest = DigestFile(copy);
    if (!digest) {
        std::fprintf(stderr, "inkwarden-tool release bundle: cannot read %s\n", copy.c_str());
        return 1;
    }
    release.package.size = digest->size;
    release.package.sha256 = digest->sha256;
    const std::string text = OfflineReleaseText(release);
    const std::optional<ReleaseSignatureBytes> signature = root->sign(SignedBundleMessage(text));
    if (!signature) {
        std::fprintf(stderr, "inkwarden-tool release bundle: cannot sign\n");
        return 1;
    }
    if (!WriteNewFile(folder + "/" + BUNDLE_RELEASE_FILE, text, BUNDLE_FILE_MODE, "bundle") ||
        !WriteNewFile(folder + "/" + BUNDLE_SIGNATURE_FILE, SignatureHeaderValue(*signature),
                      BUNDLE_FILE_MODE, "bundle")) {
        return 1;
    }
    std::printf("bundle: %s (version %s, %s, %lld bytes, valid until %s)\n", folder.c_str(),
                release.version_number.c_str(), release.package_file.c_str(),
                static_cast<long long>(digest->size), UtcTimeText(release.not_after).c_str());
    return 0;
}

} // namespace inkwarden::tool
