// inkwarden-tool query: what this machine would get from the version service, and whether the
// reply is signed and the signature holds for the installer's key.
#include "BuildConfig.h"
#include "Subcommands.h"
#include "TransferOptions.h"
#include "net/HttpClient.h"
#include "release/LatestVersionQuery.h"
#include "release/ReleaseCheck.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace inkwarden::tool {
namespace {

// The whole file; false when it cannot be opened or read (a folder opens but does not read).
bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::stringstream content;
    content << in.rdbuf();
    text = content.str();
    return !in.bad();
}

void PrintRelease(const ReleaseReply& reply) {
    const LatestVersionInfo& info = reply.info;
    std::printf("Soft_name: %s\n", info.Soft_name.c_str());
    std::printf("Version_number: %s\n", info.Version_number.c_str());
    std::printf("Version_description: %s\n", info.Version_description.c_str());
    std::printf("Download_url: %s\n", info.Download_url.c_str());
    std::printf("Download_silent_url: %s\n", info.Download_silent_url.c_str());
    std::printf("Pubdate: %s\n", info.Pubdate.c_str());
    const PackageFields& package = reply.package;
    std::printf("%s: %s\n", PACKAGE_SHA256_FIELD,
                package.sha256 ? package.sha256->c_str() : "(not given)");
    std::printf("%s: %s\n", PACKAGE_SIZE_FIELD,
                package.size ? std::to_string(*package.size).c_str() : "(not given)");
}

} // namespace

int QueryCommand(int argc, char** argv) {
    std::string url = LATEST_VERSION_URL;
    std::string key_text = build_config::RELEASE_PUBLIC_KEY;
    std::string key_source = "the compiled-in key";
    for (int i = 0; i < argc; ++i) {
        const TransferOption shared = TakeTransferOption(argc, argv, i);
        if (shared == TransferOption::INVALID) {
            return USAGE_ERROR;
        }
        if (shared == TransferOption::TAKEN) {
            --i; // the loop steps on
            continue;
        }
        if (std::strcmp(argv[i], "--service") == 0 && i + 1 < argc) {
            url = std::string(argv[++i]) + LATEST_VERSION_PATH;
        } else if (std::strcmp(argv[i], "--public-key") == 0 && i + 1 < argc) {
            key_source = argv[++i];
            if (!ReadText(key_source, key_text)) {
                std::fprintf(stderr, "inkwarden-tool: cannot read %s\n", key_source.c_str());
                return USAGE_ERROR;
            }
            // A key named but empty must not turn into "no key": that would pass anything.
            if (key_text.empty()) {
                std::fprintf(stderr, "inkwarden-tool: %s is empty\n", key_source.c_str());
                return USAGE_ERROR;
            }
        } else {
            return USAGE_ERROR;
        }
    }
    const bool key_required = !key_text.empty();
    const std::optional<ReleasePublicKey> key = ReleasePublicKey::FromPem(key_text);
    if (key_required && !key) {
        std::fprintf(stderr, "inkwarden-tool: %s is not a PEM Ed25519 public key\n",
                     key_source.c_str());
        return USAGE_ERROR;
    }
    HttpClient client;
    const ReleaseReply reply = QueryRelease(client, APP_ID, UNION_ID, url, key ? &*key : nullptr);
    if (!reply.cause.empty()) {
        std::fprintf(stderr, "inkwarden-tool: %s (%s)\n", reply.cause.c_str(), url.c_str());
    }
    PrintRelease(reply);
    std::printf("signature: %s\n", reply.answered ? ReplySignatureText(reply.signature) : "-");
    if (reply.certified_until) {
        std::printf("signing key: certified by the root until %s\n",
                    UtcTimeText(*reply.certified_until).c_str());
    }
    if (key_required && reply.answered && reply.signature != ReplySignature::VALID) {
        std::printf("(the reply was not deciphered: with a key its signature must hold first)\n");
    }
    const ReleaseCheck check = CheckReleaseReply(reply, key_required);
    std::printf("check: %s%s\n", ReleaseCheckText(check),
                key_required ? "" : " (no key: unsigned replies are taken)");

    const bool has_url =
        !reply.info.Download_silent_url.empty() || !reply.info.Download_url.empty();
    if (!has_url) {
        std::fprintf(stderr, "inkwarden-tool: no package URL came back from %s\n", url.c_str());
    }
    return has_url && check == ReleaseCheck::PASSED ? 0 : 1;
}

} // namespace inkwarden::tool
