#include "platform/Paths.h"

#include "platform/FileReader.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace inkwarden {
namespace {

// An environment variable that names an absolute path; empty otherwise.
std::string AbsolutePathVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

// user-dirs.dirs is a few lines; anything larger is no such file.
constexpr std::uint64_t MAX_USER_DIRS_SIZE = 64 * 1024;

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    return text;
}

// The folder of one line "NAME=\"VALUE\"" when it assigns variable; nothing otherwise. Inside
// the quotes a backslash takes the next character literally where the shell would.
std::optional<std::string> ParseUserDirsLine(std::string_view line, std::string_view variable,
                                             const std::string& home) {
    line = SkipBlanks(line);
    if (!line.starts_with(variable)) {
        return std::nullopt;
    }
    line = SkipBlanks(line.substr(variable.size()));
    if (!line.starts_with('=')) {
        return std::nullopt;
    }
    line = SkipBlanks(line.substr(1));
    if (!line.starts_with('"')) {
        return std::nullopt;
    }
    line.remove_prefix(1);
    std::string folder;
    if (line.starts_with("$HOME") && (line.size() == 5 || line[5] == '/' || line[5] == '"')) {
        folder = home;
        while (!folder.empty() && folder.back() == '/') {
            folder.pop_back(); // the value brings its own "/"
        }
        line.remove_prefix(5);
    } else if (!line.starts_with('/')) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            while (folder.size() > 1 && folder.back() == '/') {
                folder.pop_back();
            }
            return folder.empty() ? std::string("/") : folder;
        }
        if (c == '\\' && i + 1 < line.size() &&
            std::string_view("$`\"\\").find(line[i + 1]) != std::string_view::npos) {
            folder += line[++i];
        } else {
            folder += c;
        }
    }
    return std::nullopt; // no closing quote
}

std::string UnderHome(const char* relative) {
    std::string home = HomeFolder();
    if (home.back() != '/') {
        home += '/';
    }
    return home + relative;
}

std::string UserFolder(const char* variable, const char* under_home) {
    const std::string folder = AbsolutePathVariable(variable);
    return folder.empty() ? UnderHome(under_home) : folder;
}

} // namespace

std::string TempFolder() {
    const char* variable = std::getenv("TMPDIR");
    std::string folder = (variable != nullptr && *variable != '\0') ? variable : "/tmp";
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

std::string ParentPath(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool RunsAsRoot() {
    return ::geteuid() == 0;
}

std::string HomeFolder() {
    std::string home = AbsolutePathVariable("HOME");
    if (!home.empty()) {
        return home;
    }
    // getpwuid_r with a buffer of the size the system suggests.
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(static_cast<std::size_t>(size > 0 ? size : 16384), '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return "/";
}

std::string UserDataFolder() {
    return UserFolder("XDG_DATA_HOME", ".local/share");
}

std::string UserConfigFolder() {
    return UserFolder("XDG_CONFIG_HOME", ".config");
}

std::string ParseUserDirsFolder(std::string_view text, std::string_view variable,
                                const std::string& home) {
    std::string folder;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (auto line_folder = ParseUserDirsLine(text.substr(0, end), variable, home)) {
            folder = std::move(*line_folder);
        }
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return folder;
}

std::string UserDesktopFolder() {
    if (const auto text =
            ReadRegularFile(UserConfigFolder() + "/user-dirs.dirs", MAX_USER_DIRS_SIZE)) {
        const std::string folder = ParseUserDirsFolder(*text, "XDG_DESKTOP_DIR", HomeFolder());
        if (!folder.empty()) {
            return folder;
        }
    }
    const std::string folder = AbsolutePathVariable("XDG_DESKTOP_DIR");
    return folder.empty() ? UnderHome("Desktop") : folder;
}

} // namespace inkwarden
