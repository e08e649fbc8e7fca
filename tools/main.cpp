// inkwarden-tool: support and authoring commands around the installer.
#include "BuildConfig.h"
#include "Subcommands.h"
#include "TransferOptions.h"
#include "app/InstallerLanguage.h"
#include "net/ProxyChoice.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace inkwarden::tool {
namespace {

constexpr const char* SKIN_DETAILS =
    "  SKIN: a folder holding main_frame.xml, or a zip archive of one;\n"
    "        default: the installer's compiled-in skin\n";

const Subcommand SUBCOMMANDS[] = {
    {"help", "help [SUBCOMMAND]", nullptr, nullptr},
    {"fetch",
     "fetch [--connections N] [--no-resume] [--verbose] [--release FILE]\n"
     "                    [--mirror URL]... " IW_TRANSFER_SYNOPSIS " URL PATH",
     "  N: connections, 1 to 64 (default 6)\n"
     "  --mirror: another source of the same bytes, used beside URL\n"
     "  --no-resume: start afresh even where an earlier run left part of the file\n"
     "  --verbose: print the probe's header lines\n",
     FetchCommand},
    {"machine-id", "machine-id [--verbose]", nullptr, MachineIdCommand},
    {"cipher", "cipher encrypt|decrypt",
     "  enciphers standard input into Base64 text, or deciphers such text\n", CipherCommand},
    {"query", "query [--service URL] [--public-key FILE] " IW_TRANSFER_SYNOPSIS,
     "  FILE: PEM Ed25519 root public key that checks the signature (default: the build's)\n",
     QueryCommand},
    {"event", "event CODE [--service URL] " IW_TRANSFER_SYNOPSIS, nullptr, EventCommand},
    {"file-version", "file-version FILE", nullptr, FileVersionCommand},
    {"install",
     "install --folder DIR [--service URL] [--test-url URL | --offline BUNDLE]\n"
     "                      [--no-desktop-link] [--no-start-link] " IW_TRANSFER_SYNOPSIS,
     "  DIR: the absolute install folder\n"
     "  BUNDLE: an offline release folder; no version query is made\n",
     InstallCommand},
    {"skin render",
     "skin render [--size WxH] [--scale N] [--page N] [--set NAME=VALUE ...] -o OUT.png [SKIN]",
     "  N (scale): device pixels per pixel, 1 to 8; 2x images at 2 and above\n"
     "  NAME: a control name (progress: value, option: selected, other: text)\n"
     "        or NAME.ATTRIBUTE\n",
     SkinRenderCommand},
    {"skin show", "skin show [SKIN] [--page N] [--screenshot OUT.png [--after MS]]", nullptr,
     SkinShowCommand},
    {"skin layout", "skin layout [--size WxH] [--page N|all] [SKIN]", nullptr, SkinLayoutCommand},
    {"release keygen", "release keygen --private FILE --public FILE",
     "  writes a new Ed25519 key pair as PEM files; the private one only its owner reads\n",
     ReleaseKeygenCommand},
    {"release digest", "release digest [--json] [--piece-size N] FILE",
     "  prints the package fields of the version reply for FILE; with --piece-size (a power\n"
     "  of two from 65536 to 16777216) also its pieces' digests; with --json as one JSON\n"
     "  object, ready to merge into a release's data or to give to fetch --release\n",
     ReleaseDigestCommand},
    {"release certify", "release certify --root-private FILE --signing-public FILE --days N",
     "  prints the X-Inkwarden-Signing-Key value by which the root key certifies the signing\n"
     "  key for N days (1 to 3650); the service sends it beside its signatures\n",
     ReleaseCertifyCommand},
    {"release bundle",
     "release bundle --root-private FILE --package FILE --version V --days N --out DIR",
     "  makes an offline release in DIR: the package, release.json and release.json.sig,\n"
     "  signed by the root key and valid for N days (1 to 3650)\n",
     ReleaseBundleCommand},
};

bool IsHelp(std::string_view argument) {
    return argument == "--help" || argument == "-h";
}

bool InGroup(const Subcommand& command, std::string_view group) {
    const std::string_view name = command.name;
    return name.size() > group.size() && name.starts_with(group) && name[group.size()] == ' ';
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "Usage: inkwarden-tool SUBCOMMAND [ARGS]\n"
                      "       inkwarden-tool SUBCOMMAND --help\n"
                      "       inkwarden-tool --version\n"
                      "Support and authoring commands around the Inkwarden installer.\n\n"
                      "Subcommands:\n");
    for (const Subcommand& command : SUBCOMMANDS) {
        std::fprintf(out, "  %s\n", command.usage);
    }
}

void PrintSubcommandUsage(std::FILE* out, const Subcommand& command) {
    std::fprintf(out, "Usage: inkwarden-tool %s\n", command.usage);
    if (command.details != nullptr) {
        std::fputs(command.details, out);
    }
    // Every synopsis with a SKIN takes it the same way.
    if (std::string_view(command.usage).find("SKIN") != std::string_view::npos) {
        std::fputs(SKIN_DETAILS, out);
    }
    if (std::string_view(command.usage).find(IW_TRANSFER_SYNOPSIS) != std::string_view::npos) {
        std::fputs(TRANSFER_DETAILS, out);
    }
}

void PrintGroupUsage(std::FILE* out, std::string_view group) {
    std::fprintf(out, "Usage: inkwarden-tool %.*s SUBCOMMAND [ARGS]\n\nSubcommands:\n",
                 static_cast<int>(group.size()), group.data());
    for (const Subcommand& command : SUBCOMMANDS) {
        if (InGroup(command, group)) {
            std::fprintf(out, "  %s\n", command.usage);
        }
    }
}

bool IsGroup(std::string_view name) {
    for (const Subcommand& command : SUBCOMMANDS) {
        if (InGroup(command, name)) {
            return true;
        }
    }
    return false;
}

// The subcommand that the first one or two words name, two-word names first; words tells
// how many it took. "help" is found too: the caller answers it before running anything.
const Subcommand* FindSubcommand(int argc, char** argv, int& words) {
    if (argc >= 2) {
        const std::string two = std::string(argv[0]) + " " + argv[1];
        for (const Subcommand& command : SUBCOMMANDS) {
            if (two == command.name) {
                words = 2;
                return &command;
            }
        }
    }
    for (const Subcommand& command : SUBCOMMANDS) {
        if (argc >= 1 && std::string_view(argv[0]) == command.name) {
            words = 1;
            return &command;
        }
    }
    return nullptr;
}

int UnknownSubcommand(std::string_view name) {
    std::fprintf(stderr, "inkwarden-tool: unknown subcommand '%.*s'\n",
                 static_cast<int>(name.size()), name.data());
    PrintUsage(stderr);
    return USAGE_ERROR;
}

// "skin" alone, or with a word that no subcommand of it has: the group's subcommands.
int GroupWithoutSubcommand(std::string_view group, int argc, char** argv) {
    if (argc >= 1 && IsHelp(argv[0])) {
        PrintGroupUsage(stdout, group);
        return 0;
    }
    if (argc >= 1) {
        std::fprintf(stderr, "inkwarden-tool: unknown subcommand '%.*s %s'\n",
                     static_cast<int>(group.size()), group.data(), argv[0]);
    } else {
        std::fprintf(stderr, "inkwarden-tool: '%.*s' needs a subcommand\n",
                     static_cast<int>(group.size()), group.data());
    }
    PrintGroupUsage(stderr, group);
    return USAGE_ERROR;
}

// help [SUBCOMMAND]: the whole usage, or one subcommand's or group's.
int HelpCommand(int argc, char** argv) {
    int words = 0;
    if (argc == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (const Subcommand* command = FindSubcommand(argc, argv, words); command && words == argc) {
        PrintSubcommandUsage(stdout, *command);
        return 0;
    }
    if (argc == 1 && IsGroup(argv[0])) {
        PrintGroupUsage(stdout, argv[0]);
        return 0;
    }
    return UnknownSubcommand(argv[0]);
}

// A --help anywhere among the arguments answers instead of running.
int RunSubcommand(const Subcommand& command, int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (IsHelp(argv[i])) {
            PrintSubcommandUsage(stdout, command);
            return 0;
        }
    }
    const int code = command.run(argc, argv);
    if (code == USAGE_ERROR) {
        PrintSubcommandUsage(stderr, command);
    }
    return code;
}

} // namespace
} // namespace inkwarden::tool

int main(int argc, char** argv) {
    using namespace inkwarden::tool;
    inkwarden::FollowDesktopProxySettings();
    if (argc < 2) {
        PrintUsage(stderr);
        return USAGE_ERROR;
    }
    const std::string_view first = argv[1];
    if (first == "--version") {
        std::printf("inkwarden-tool %s\n", inkwarden::build_config::VERSION);
        return 0;
    }
    if (first == "help" || IsHelp(first)) {
        return HelpCommand(argc - 2, argv + 2);
    }
    // Messages for people (the install's failure line, the skin window) in their language.
    std::error_code error;
    inkwarden::InitInstallerLanguage(
        std::filesystem::read_symlink("/proc/self/exe", error).string());
    int words = 0;
    if (const Subcommand* command = FindSubcommand(argc - 1, argv + 1, words)) {
        return RunSubcommand(*command, argc - 1 - words, argv + 1 + words);
    }
    if (IsGroup(first)) {
        return GroupWithoutSubcommand(first, argc - 2, argv + 2);
    }
    return UnknownSubcommand(first);
}
