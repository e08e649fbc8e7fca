// The sample package: installs the product that it carries inside itself, as the installer
// asks on its command line:
//   PACKAGE -install_path:FOLDER -desktop_link:1|0 -start_link:1|0 -bootup:1|0 -silent
//           -union_id:N
#include "platform/DirectoryHelpers.h"
#include "platform/RegistryFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// The product's bytes, linked in by the build.
extern "C" const unsigned char inkwarden_product_start[];
extern "C" const unsigned char inkwarden_product_end[];

namespace {

// Folders, the product and its shortcuts: rwxr-xr-x.
constexpr unsigned INSTALLED_MODE = 0755;

struct Options {
    std::string install_path;
    int desktop_link = -1;
    int start_link = -1;
    int bootup = -1;
    bool silent = false;
    bool has_union_id = false;
    long union_id = 0;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "inkwarden package: %s\n", message.c_str());
    return 2;
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

std::string XdgFolder(const char* variable, const char* fallback_under_home) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value == '/') {
        return value;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "/root") + "/" + fallback_under_home;
}

bool WriteDesktopEntry(const std::string& folder, const std::string& product) {
    if (!inkwarden::CreateDirectoryChain(folder, INSTALLED_MODE)) {
        return false;
    }
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Inkwarden\n"
                              "Name[zh_CN]=墨守精灵\n"
                              "Comment=Printer assistant\n"
                              "Exec=\"" +
                              product +
                              "\" -printer_detect\n"
                              "Terminal=false\n"
                              "Categories=Utility;\n";
    return WriteFile(folder + "/inkwarden.desktop", entry.data(), entry.size(), INSTALLED_MODE);
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

// The product, the chosen shortcuts and the recorded folder.
int Install(const Options& options) {
    const std::string folder = options.install_path;
    const std::string product = folder + "/InkwardenMain.exe";
    if (!inkwarden::CreateDirectoryChain(folder, INSTALLED_MODE)) {
        return Fail("cannot create " + folder + ": " + std::strerror(errno));
    }
    const size_t size = static_cast<size_t>(inkwarden_product_end - inkwarden_product_start);
    if (!WriteFile(product, inkwarden_product_start, size, INSTALLED_MODE)) {
        return Fail("cannot write " + product + ": " + std::strerror(errno));
    }
    if (options.desktop_link &&
        !WriteDesktopEntry(XdgFolder("XDG_DESKTOP_DIR", "Desktop"), product)) {
        return Fail("cannot write the desktop shortcut");
    }
    if (options.start_link &&
        !WriteDesktopEntry(XdgFolder("XDG_DATA_HOME", ".local/share") + "/applications", product)) {
        return Fail("cannot write the applications-menu entry");
    }
    if (options.bootup &&
        !WriteDesktopEntry(XdgFolder("XDG_CONFIG_HOME", ".config") + "/autostart", product)) {
        return Fail("cannot write the autostart entry");
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
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        return Fail(error);
    }
    return Install(options);
}
