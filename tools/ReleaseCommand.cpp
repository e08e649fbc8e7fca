// release keygen and release digest: what a vendor needs to sign releases. keygen makes the
// key pair (the public half configures the build, the private half signs on the service);
// digest gives the two package fields of the version reply for a package file.
#include "Subcommands.h"
#include "demo/ReleaseSigner.h"
#include "platform/FileWriter.h"
#include "platform/UniqueFd.h"
#include "release/PackageDigest.h"
#include "release/PackageFields.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace inkwarden::tool {
namespace {

constexpr mode_t PRIVATE_KEY_MODE = 0600;
constexpr mode_t PUBLIC_KEY_MODE = 0644;

// Writes text into a new file; an existing one is never overwritten (a lost signing key
// cannot be made again).
bool WriteNewFile(const std::string& path, std::string_view text, mode_t mode) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd) {
        std::fprintf(stderr, "inkwarden-tool release keygen: cannot create %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    if (!WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0) {
        std::fprintf(stderr, "inkwarden-tool release keygen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
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
    if (argc != 1) {
        return USAGE_ERROR;
    }
    const std::optional<PackageDigest> digest = DigestFile(argv[0]);
    if (!digest) {
        std::fprintf(stderr, "inkwarden-tool release digest: cannot read %s\n", argv[0]);
        return 1;
    }
    // Two members, ready for the reply's "data" object.
    std::printf("\"%s\": \"%s\",\n\"%s\": %lld\n", PACKAGE_SHA256_FIELD, digest->sha256.c_str(),
                PACKAGE_SIZE_FIELD, static_cast<long long>(digest->size));
    return 0;
}

} // namespace inkwarden::tool
