// inkwarden-tool: support and authoring commands around the installer.
#include "Subcommands.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

namespace inkwarden::tool {
namespace {

const Subcommand SUBCOMMANDS[] = {
    {"help", "help", nullptr},
    {"fetch", "fetch [--connections N] URL PATH", FetchCommand},
    {"machine-id", "machine-id [--verbose]", MachineIdCommand},
    {"cipher", "cipher encrypt|decrypt  (standard input to standard output)", CipherCommand},
    {"query", "query [--service URL] [--public-key FILE]", QueryCommand},
    {"event", "event CODE [--service URL]", EventCommand},
    {"file-version", "file-version FILE", FileVersionCommand},
    {"install",
     "install --folder DIR [--service URL] [--test-url URL] [--no-desktop-link] [--no-start-link]",
     InstallCommand},
    {"skin render", "skin render [--size WxH] [--page N] [--set NAME=VALUE ...] -o OUT.png [SKIN]",
     SkinRenderCommand},
    {"skin show", "skin show [SKIN] [--page N] [--screenshot OUT.png --after MS]", SkinShowCommand},
    {"skin layout", "skin layout [--size WxH] [--page N|all] [SKIN]", SkinLayoutCommand},
    {"release keygen", "release keygen --private FILE --public FILE", ReleaseKeygenCommand},
    {"release digest", "release digest FILE", ReleaseDigestCommand},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: inkwarden-tool SUBCOMMAND [ARGS]\n\nsubcommands:\n");
    for (const Subcommand& command : SUBCOMMANDS) {
        std::fprintf(out, "  %s\n", command.usage);
    }
}

} // namespace
} // namespace inkwarden::tool

int main(int argc, char** argv) {
    using namespace inkwarden::tool;
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const char* name = argv[1];
    if (std::strcmp(name, "help") == 0 || std::strcmp(name, "--help") == 0 ||
        std::strcmp(name, "-h") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    // Two-word names ("skin layout") are tried before one-word ones.
    if (argc >= 3) {
        const std::string two = std::string(name) + " " + argv[2];
        for (const Subcommand& command : SUBCOMMANDS) {
            if (command.run != nullptr && two == command.name) {
                return command.run(argc - 3, argv + 3);
            }
        }
    }
    for (const Subcommand& command : SUBCOMMANDS) {
        if (command.run != nullptr && std::strcmp(command.name, name) == 0) {
            return command.run(argc - 2, argv + 2);
        }
    }
    std::fprintf(stderr, "inkwarden-tool: unknown subcommand '%s'\n", name);
    PrintUsage(stderr);
    return 2;
}
