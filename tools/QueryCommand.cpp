// inkwarden-tool query: what this machine would get from the version service.
#include "Subcommands.h"
#include "net/HttpClient.h"
#include "release/LatestVersionQuery.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace inkwarden::tool {

int QueryCommand(int argc, char** argv) {
    std::string url = LATEST_VERSION_URL;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--service") == 0 && i + 1 < argc) {
            url = std::string(argv[++i]) + LATEST_VERSION_PATH;
        } else {
            return USAGE_ERROR;
        }
    }
    HttpClient client;
    const LatestVersionInfo info = QueryLatestVersion(client, APP_ID, UNION_ID, url);
    std::printf("Soft_name: %s\n", info.Soft_name.c_str());
    std::printf("Version_number: %s\n", info.Version_number.c_str());
    std::printf("Version_description: %s\n", info.Version_description.c_str());
    std::printf("Download_url: %s\n", info.Download_url.c_str());
    std::printf("Download_silent_url: %s\n", info.Download_silent_url.c_str());
    std::printf("Pubdate: %s\n", info.Pubdate.c_str());
    const bool has_url = !info.Download_silent_url.empty() || !info.Download_url.empty();
    if (!has_url) {
        std::fprintf(stderr, "inkwarden-tool: no package URL came back from %s\n", url.c_str());
    }
    return has_url ? 0 : 1;
}

} // namespace inkwarden::tool
