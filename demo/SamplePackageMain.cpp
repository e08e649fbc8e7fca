// The sample package: installs the product that it carries inside itself, as the installer
// asks on its command line:
//   PACKAGE -install_path:FOLDER -desktop_link:1|0 -start_link:1|0 -bootup:1|0 -silent
//           -union_id:N
// Besides the product it installs the product's icon into the user's icon theme and the
// chosen desktop entries (desktop shortcut, applications menu, autostart) for the user.
#include "BuildConfig.h"
#include "SampleProduct.h"
#include "platform/DirectoryHelpers.h"
#include "platform/Paths.h"
#include "platform/RegistryFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

// The product's bytes and its icons, linked in by the build.
extern "C" const unsigned char inkwarden_product_start[];
extern "C" const unsigned char inkwarden_product_end[];
extern "C" const unsigned char inkwarden_icon_48_start[];
extern "C" const unsigned char inkwarden_icon_48_end[];
extern "C" const unsigned char inkwarden_icon_256_start[];
extern "C" const unsigned char inkwarden_icon_256_end[];
extern "C" const unsigned char inkwarden_icon_svg_start[];
extern "C" const unsigned char inkwarden_icon_svg_end[];

namespace {

using namespace inkwarden::demo;

constexpr const char* USAGE =
    "Usage: inkwarden-sample-package -install_path:FOLDER -desktop_link:1|0 -start_link:1|0\n"
    "                                -bootup:1|0 -silent -union_id:N\n"
    "Installs the sample product as FOLDER/InkwardenMain.exe with its icon and the chosen\n"
    "desktop entries (desktop shortcut, applications menu, autostart), and records FOLDER in\n"
    "the registry file.\n"
    "\n"
    "      --help      show this help and exit\n"
    "      --version   show the version and exit\n";

// Folders, the product and its desktop entries: rwxr-xr-x; the icons: rw-r--r--.
constexpr unsigned INSTALLED_MODE = 0755;
constexpr unsigned ICON_MODE = 0644;
constexpr int USAGE_ERROR = 2;
constexpr int INSTALL_ERROR = 1;

struct Options {
    std::string install_path;
    int desktop_link = -1;
    int start_link = -1;
    int bootup = -1;
    bool silent = false;
    bool has_union_id = false;
    long union_id = 0;
};

// The icon in the sizes a desktop asks the hicolor theme for.
struct IconFile {
    const char* size_folder;
    const char* extension;
    const unsigned char* start;
    const unsigned char* end;
};

const IconFile ICONS[] = {
    {"48x48", "png", inkwarden_icon_48_start, inkwarden_icon_48_end},
    {"256x256", "png", inkwarden_icon_256_start, inkwarden_icon_256_end},
    {"scalable", "svg", inkwarden_icon_svg_start, inkwarden_icon_svg_end},
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "inkwarden package: %s\n", message.c_str());
    return INSTALL_ERROR;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "inkwarden package: %s\n%s", message.c_str(), USAGE);
    return USAGE_ERROR;
}

bool ParseFlag(const std::string& value, int& flag) {
    if (value == "0" || value == "1") {
        flag = value == "1";
        return true;
    }
    return false;
}

bool WriteFile(const std::string& path, const void* data, size_t size, mode_t mode) {
    const std::string temporary = path + ".part";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, bytes + written, size - written);
        if (n <= 0) {
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        written += static_cast<size_t>(n);
    }
    const bool ok = ::fchmod(fd, mode) == 0 && ::close(fd) == 0;
    return ok && ::rename(temporary.c_str(), path.c_str()) == 0;
}

// Whether text can stand in a desktop entry: UTF-8 without control characters other than
// those the string escapes carry (tab and line breaks).
bool FitsDesktopEntry(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            if ((lead < 0x20 && lead != '\t' && lead != '\n' && lead != '\r') || lead == 0x7F) {
                return false;
            }
            continue;
        }
        // The sequence's length and the range of its second byte, which rules out overlong
        // forms, surrogates and code points above U+10FFFF.
        int continuation = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            continuation = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            continuation = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            continuation = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        for (int k = 1; k <= continuation; ++k) {
            const auto byte = static_cast<unsigned char>(i + k < text.size() ? text[i + k] : 0);
            if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += static_cast<std::size_t>(continuation);
    }
    return true;
}

// A value of type string: backslashes and the control characters it may hold are escaped.
std::string EscapeString(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// One argument of the Exec key, before the string escapes: in double quotes, with ", `, $
// and \ escaped by a backslash, and % doubled, since a lone % starts a field code.
std::string QuoteExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        } else if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    return quoted + "\"";
}

// The Exec key's command line, before the string escapes. GLib looks for the program before it
// turns %% into %, and so never finds one whose path holds a %: such a product starts
// through env.
std::string ExecCommand(const std::string& product) {
    const std::string command = QuoteExecArgument(product) + " " + PRODUCT_OPTION;
    return product.find('%') == std::string::npos ? command : "env " + command;
}

// The entry that starts the product in its folder, as the installer's start button does.
std::string DesktopEntry(const std::string& folder, const std::string& product) {
    const std::string id = PRODUCT_ID;
    const std::string lines[] = {
        "[Desktop Entry]",
        "Type=Application",
        "Version=1.4",
        "Name=Inkwarden",
        "Name[zh_CN]=墨守精灵",
        "Comment=Printer assistant",
        "Comment[zh_CN]=打印助手",
        "Icon=" + id,
        "TryExec=" + EscapeString(product),
        "Exec=" + EscapeString(ExecCommand(product)),
        "Path=" + EscapeString(folder),
        "Terminal=false",
        "StartupWMClass=" + id,
        "Categories=Utility;",
    };
    std::string entry;
    for (const std::string& line : lines) {
        entry += line + "\n";
    }
    return entry;
}

bool WriteDesktopEntry(const std::string& entry_folder, const std::string& entry) {
    return inkwarden::CreateDirectoryChain(entry_folder, INSTALLED_MODE) &&
           WriteFile(entry_folder + "/" + PRODUCT_ID + ".desktop", entry.data(), entry.size(),
                     INSTALLED_MODE);
}

bool InstallIcons() {
    const std::string theme = inkwarden::UserDataFolder() + "/icons/hicolor/";
    for (const IconFile& icon : ICONS) {
        const std::string folder = theme + icon.size_folder + "/apps";
        const std::string path = folder + "/" + PRODUCT_ID + "." + icon.extension;
        if (!inkwarden::CreateDirectoryChain(folder, INSTALLED_MODE) ||
            !WriteFile(path, icon.start, static_cast<size_t>(icon.end - icon.start), ICON_MODE)) {
            return false;
        }
    }
    return true;
}

// The options of the command line; false with the reason when one is bad or missing.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t colon = arg.find(':');
        const std::string name = arg.substr(0, colon);
        const std::string value = colon == std::string::npos ? "" : arg.substr(colon + 1);
        if (name == "-install_path" && colon != std::string::npos) {
            options.install_path = value;
        } else if (name == "-desktop_link" && ParseFlag(value, options.desktop_link)) {
        } else if (name == "-start_link" && ParseFlag(value, options.start_link)) {
        } else if (name == "-bootup" && ParseFlag(value, options.bootup)) {
        } else if (arg == "-silent") {
            options.silent = true;
        } else if (name == "-union_id" && !value.empty()) {
            char* end = nullptr;
            options.union_id = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0') {
                error = "bad option " + arg;
                return false;
            }
            options.has_union_id = true;
        } else {
            error = "bad option " + arg;
            return false;
        }
    }
    if (options.install_path.empty() || options.install_path[0] != '/') {
        error = "-install_path: needs an absolute folder";
        return false;
    }
    if (options.desktop_link < 0 || options.start_link < 0 || options.bootup < 0 ||
        !options.silent || !options.has_union_id) {
        error = "missing option: -install_path, -desktop_link, -start_link, -bootup, "
                "-silent and -union_id are all required";
        return false;
    }
    return true;
}

// The entries the options ask for; nullptr when all went well, else what failed.
const char* InstallDesktopEntries(const Options& options, const std::string& product) {
    if (!options.desktop_link && !options.start_link && !options.bootup) {
        return nullptr;
    }
    const std::string& folder = options.install_path;
    if (!FitsDesktopEntry(folder)) {
        return "the desktop entries: the folder name is no UTF-8 text or holds control "
               "characters";
    }
    if (!InstallIcons()) {
        return "the icon into the user's icon theme";
    }
    const std::string entry = DesktopEntry(folder, product);
    if (options.desktop_link && !WriteDesktopEntry(inkwarden::UserDesktopFolder(), entry)) {
        return "the desktop shortcut";
    }
    if (options.start_link &&
        !WriteDesktopEntry(inkwarden::UserDataFolder() + "/applications", entry)) {
        return "the applications-menu entry";
    }
    if (options.bootup && !WriteDesktopEntry(inkwarden::UserConfigFolder() + "/autostart", entry)) {
        return "the autostart entry";
    }
    return nullptr;
}

// The product, the chosen shortcuts and the recorded folder.
int Install(const Options& options) {
    const std::string folder = options.install_path;
    const std::string product = folder + "/" + PRODUCT_FILE;
    if (!inkwarden::CreateDirectoryChain(folder, INSTALLED_MODE)) {
        return Fail("cannot create " + folder + ": " + std::strerror(errno));
    }
    const size_t size = static_cast<size_t>(inkwarden_product_end - inkwarden_product_start);
    if (!WriteFile(product, inkwarden_product_start, size, INSTALLED_MODE)) {
        return Fail("cannot write " + product + ": " + std::strerror(errno));
    }
    if (const char* failed = InstallDesktopEntries(options, product)) {
        return Fail(std::string("cannot write ") + failed);
    }
    if (!inkwarden::WriteMachineString(
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Inkwarden", "InstallLocation",
            folder)) {
        return Fail("cannot record the install location in " + inkwarden::RegistryPath());
    }
    std::printf("inkwarden package: installed %s (union %ld)\n", product.c_str(), options.union_id);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf(
                "inkwarden-sample-package %s\nCarries the sample product as Inkwarden %s.\n",
                inkwarden::build_config::VERSION, INKWARDEN_PRODUCT_VERSION);
            return 0;
        }
    }
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        return UsageError(error);
    }
    return Install(options);
}
