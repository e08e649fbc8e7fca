#include "platform/RegistryFile.h"

#include "platform/DirectoryHelpers.h"
#include "platform/FileReader.h"
#include "platform/FileWriter.h"
#include "platform/Paths.h"
#include "platform/TextEncoding.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {
namespace {

constexpr std::string_view HEADER = "Windows Registry Editor Version 5.00";
constexpr std::string_view OLD_HEADER = "REGEDIT4";
constexpr std::string_view ROOT = "HKEY_LOCAL_MACHINE";
constexpr std::string_view MACHINE_PATH = "/etc/inkwarden/machine.reg";
// Below the user's configuration folder.
constexpr std::string_view USER_PATH = "inkwarden/machine.reg";
constexpr std::uint64_t MAX_FILE_SIZE = 16u << 20;
constexpr unsigned REGISTRY_FOLDER_MODE = 0755;
constexpr mode_t NEW_FILE_MODE = 0644;

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view TrimBackslashes(std::string_view key) {
    while (!key.empty() && key.front() == '\\') {
        key.remove_prefix(1);
    }
    while (!key.empty() && key.back() == '\\') {
        key.remove_suffix(1);
    }
    return key;
}

// The key path below the root of a section line, or nothing when the line is no section or
// another root. deleted tells a [-...] section, which removes the key with its subkeys.
struct Section {
    std::string_view key;
    bool deleted = false;
};

std::optional<Section> ParseSection(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
        return std::nullopt;
    }
    line = line.substr(1, line.size() - 2);
    Section section;
    if (!line.empty() && line.front() == '-') {
        section.deleted = true;
        line.remove_prefix(1);
    }
    const std::size_t cut = line.find('\\');
    if (!EqualsIgnoringAsciiCase(line.substr(0, cut), ROOT)) {
        section.key = "\x01"; // a section of another root: matches no key
        return section;
    }
    section.key =
        cut == std::string_view::npos ? std::string_view{} : TrimBackslashes(line.substr(cut));
    return section;
}

// Reads a quoted text at text[i] (on the opening quote) with \\ and \" escapes.
std::optional<std::string> ParseQuoted(std::string_view text, std::size_t& i) {
    if (i >= text.size() || text[i] != '"') {
        return std::nullopt;
    }
    std::string out;
    for (++i; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            ++i;
            return out;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
            out += text[++i];
            continue;
        }
        out += c;
    }
    return std::nullopt; // no closing quote
}

enum class ValueKind { STRING, DELETED, OTHER };

struct Value {
    std::string name;
    ValueKind kind = ValueKind::OTHER;
    std::string text;
};

// hex(1): a string value written as the bytes of its UTF-16 text.
std::optional<std::string> DecodeHexString(std::string_view data) {
    std::string bytes;
    int digits = 0;
    int current = 0;
    for (const char c : data) {
        int v = -1;
        if (c >= '0' && c <= '9') {
            v = c - '0';
        } else if (Lower(c) >= 'a' && Lower(c) <= 'f') {
            v = Lower(c) - 'a' + 10;
        } else if (c == ',' || c == ' ' || c == '\t' || c == '\\' || c == '\r' || c == '\n') {
            if (digits != 0) {
                bytes += static_cast<char>(current);
                digits = current = 0;
            }
            continue;
        } else {
            return std::nullopt;
        }
        if (++digits > 2) {
            return std::nullopt;
        }
        current = current * 16 + v;
    }
    if (digits != 0) {
        bytes += static_cast<char>(current);
    }
    std::string text = Utf16LeToUtf8(bytes);
    const std::size_t end = text.find('\0');
    if (end != std::string::npos) {
        text.resize(end);
    }
    return text;
}

// A value line ("name"=..., @=...), or nothing when the line is none or malformed.
std::optional<Value> ParseValue(std::string_view line) {
    line = Trim(line);
    Value value;
    std::size_t i = 0;
    if (!line.empty() && line[0] == '@') {
        i = 1;
    } else if (auto name = ParseQuoted(line, i)) {
        value.name = std::move(*name);
    } else {
        return std::nullopt;
    }
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    if (i >= line.size() || line[i] != '=') {
        return std::nullopt;
    }
    const std::string_view data = Trim(line.substr(i + 1));
    if (!data.empty() && data[0] == '"') {
        std::size_t j = 0;
        auto text = ParseQuoted(data, j);
        if (!text || !Trim(data.substr(j)).empty()) {
            return std::nullopt;
        }
        value.kind = ValueKind::STRING;
        value.text = std::move(*text);
    } else if (data == "-") {
        value.kind = ValueKind::DELETED;
    } else if (data.size() > 7 && EqualsIgnoringAsciiCase(data.substr(0, 7), "hex(1):")) {
        if (auto text = DecodeHexString(data.substr(7))) {
            value.kind = ValueKind::STRING;
            value.text = std::move(*text);
        }
    }
    return value;
}

bool IsKeyOrSubkey(std::string_view key, std::string_view ancestor) {
    if (key.size() == ancestor.size()) {
        return EqualsIgnoringAsciiCase(key, ancestor);
    }
    return ancestor.empty() || (key.size() > ancestor.size() && key[ancestor.size()] == '\\' &&
                                EqualsIgnoringAsciiCase(key.substr(0, ancestor.size()), ancestor));
}

bool ContinuesOnNextLine(std::string_view line) {
    line = Trim(line);
    return !line.empty() && line.back() == '\\';
}

// One line as the format reads it: a line ending in a backslash goes on in the next one. A
// blank line ends the continuation (the dangling backslash stays, as at the end of the file),
// so that a section appended after it is never swallowed. Reads and writes must agree on this, or a
// write would change a line that a read never sees.
struct LogicalLine {
    std::size_t first = 0;
    std::size_t last = 0; // inclusive
    std::string text;
};

LogicalLine ReadLogicalLine(const std::vector<std::string>& lines, std::size_t first) {
    LogicalLine logical{first, first, lines[first]};
    while (ContinuesOnNextLine(logical.text) && logical.last + 1 < lines.size() &&
           !Trim(lines[logical.last + 1]).empty()) {
        logical.text = std::string(Trim(logical.text));
        logical.text.pop_back();
        logical.text += lines[++logical.last];
    }
    return logical;
}

std::string Escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::string ValueLine(std::string_view name, std::string_view text) {
    const std::string head = name.empty() ? "@" : "\"" + Escape(name) + "\"";
    return head + "=\"" + Escape(text) + "\"";
}

} // namespace

RegistryFile::RegistryFile() : lines_{std::string(HEADER), std::string()} {}

std::optional<RegistryFile> RegistryFile::parse(std::string_view bytes) {
    RegistryFile file;
    std::string text;
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
        file.utf16_ = true;
        text = Utf16LeToUtf8(bytes.substr(2));
    } else {
        if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
            file.utf8_bom_ = true;
            bytes.remove_prefix(3);
        }
        text = std::string(bytes);
    }
    file.lines_.clear();
    std::size_t start = 0;
    bool crlf = false;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            file.lines_.push_back(text.substr(start));
            file.final_line_end_ = false;
            break;
        }
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') {
            --stop;
            crlf = true;
        }
        file.lines_.push_back(text.substr(start, stop - start));
        start = end + 1;
    }
    file.line_end_ = crlf ? "\r\n" : "\n";

    for (const std::string& line : file.lines_) {
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty()) {
            continue;
        }
        if (trimmed == HEADER || trimmed == OLD_HEADER) {
            return file;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> RegistryFile::readString(std::string_view key,
                                                    std::string_view name) const {
    key = TrimBackslashes(key);
    std::optional<std::string> result;
    bool in_key = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LogicalLine logical = ReadLogicalLine(lines_, i);
        i = logical.last;
        const std::string_view trimmed = Trim(logical.text);
        if (trimmed.empty() || trimmed.front() == ';') {
            continue;
        }
        if (const auto section = ParseSection(trimmed)) {
            if (section->deleted) {
                if (IsKeyOrSubkey(key, section->key)) {
                    result.reset();
                }
                in_key = false;
            } else {
                in_key = EqualsIgnoringAsciiCase(section->key, key);
            }
            continue;
        }
        if (!in_key) {
            continue;
        }
        const auto value = ParseValue(trimmed);
        if (!value || !EqualsIgnoringAsciiCase(value->name, name)) {
            continue;
        }
        if (value->kind == ValueKind::STRING) {
            result = value->text;
        } else {
            result.reset();
        }
    }
    return result;
}

namespace {

// Where a value stands in the lines: the logical line that sets it last in a section of the
// key (first and one past last physical line), and one past the last value line of the
// key's last section.
struct ValuePlace {
    std::optional<std::size_t> value_line;
    std::size_t value_end = 0;
    std::optional<std::size_t> section_end;
};

ValuePlace FindValuePlace(const std::vector<std::string>& lines, std::string_view key,
                          std::string_view name) {
    ValuePlace place;
    bool in_key = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const LogicalLine logical = ReadLogicalLine(lines, i);
        const std::size_t first = logical.first;
        i = logical.last;
        const std::string_view trimmed = Trim(logical.text);
        if (const auto section = ParseSection(trimmed)) {
            in_key = !section->deleted && EqualsIgnoringAsciiCase(section->key, key);
            if (in_key) {
                place.section_end = i + 1;
            }
            continue;
        }
        if (!in_key) {
            continue;
        }
        if (!trimmed.empty() && trimmed.front() != ';') {
            place.section_end = i + 1;
        }
        if (const auto value = ParseValue(trimmed);
            value && EqualsIgnoringAsciiCase(value->name, name)) {
            place.value_line = first;
            place.value_end = i + 1;
        }
    }
    return place;
}

} // namespace

bool RegistryFile::setString(std::string_view key, std::string_view name, std::string_view text) {
    key = TrimBackslashes(key);
    auto unsafe = [](std::string_view s) {
        return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
    };
    if (key.empty() || unsafe(key) || unsafe(name) || unsafe(text)) {
        return false;
    }
    const std::string line = ValueLine(name, text);

    // Rewrite the last line that sets this value in a section of the key, or add the value
    // to the last such section.
    const std::vector<std::string> before = lines_;
    const ValuePlace place = FindValuePlace(lines_, key, name);
    if (place.value_line) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*place.value_line) + 1,
                     lines_.begin() + static_cast<std::ptrdiff_t>(place.value_end));
        lines_[*place.value_line] = line;
    } else if (place.section_end) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*place.section_end), line);
    }
    // A later deletion of the key, or no section yet: a new section at the end wins.
    if (readString(key, name) != std::optional<std::string>(std::string(text))) {
        lines_ = before;
        while (!lines_.empty() && Trim(lines_.back()).empty()) {
            lines_.pop_back();
        }
        lines_.emplace_back();
        lines_.push_back("[" + std::string(ROOT) + "\\" + std::string(key) + "]");
        lines_.push_back(line);
        lines_.emplace_back();
        final_line_end_ = true;
    }
    // Never report a value as set that a read would not find.
    if (readString(key, name) != std::optional<std::string>(std::string(text))) {
        lines_ = before;
        return false;
    }
    return true;
}

std::string RegistryFile::serialize() const {
    std::string text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i];
        if (i + 1 < lines_.size() || final_line_end_) {
            text += line_end_;
        }
    }
    if (utf16_) {
        return "\xFF\xFE" + Utf8ToUtf16Le(text);
    }
    return utf8_bom_ ? "\xEF\xBB\xBF" + text : text;
}

std::string RegistryPath() {
    return RegistryPath(RunsAsRoot());
}

std::string RegistryPath(bool as_root) {
    const char* variable = std::getenv("INKWARDEN_REGISTRY");
    if (variable != nullptr && *variable != '\0') {
        return variable;
    }
    return as_root ? std::string(MACHINE_PATH) : UserConfigFolder() + "/" + std::string(USER_PATH);
}

std::string ReadMachineString(const std::string& key, const std::string& value_name) {
    const auto bytes = ReadRegularFile(RegistryPath(), MAX_FILE_SIZE);
    if (!bytes) {
        return {};
    }
    const auto file = RegistryFile::parse(*bytes);
    if (!file) {
        return {};
    }
    return file->readString(key, value_name).value_or("");
}

bool WriteMachineString(const std::string& key, const std::string& value_name,
                        const std::string& text) {
    std::string path = RegistryPath();
    // A link keeps pointing at the file it named: the new content replaces its target.
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) {
        path = resolved;
    }

    RegistryFile file;
    mode_t mode = NEW_FILE_MODE;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        const auto bytes = ReadRegularFile(path, MAX_FILE_SIZE);
        if (!bytes) {
            return false;
        }
        auto parsed = RegistryFile::parse(*bytes);
        if (!parsed) {
            return false; // not ours to overwrite
        }
        file = std::move(*parsed);
        mode = info.st_mode & 07777;
    } else if (errno != ENOENT) {
        return false;
    }
    if (!file.setString(key, value_name, text)) {
        return false;
    }

    const std::size_t cut = path.rfind('/');
    const std::string folder = cut == std::string::npos ? "." : path.substr(0, cut);
    const std::string base = cut == std::string::npos ? path : path.substr(cut + 1);
    // The file's folder, made as needed (none to make for the root or the current folder).
    if (!folder.empty() && folder != "." && !CreateDirectoryChain(folder, REGISTRY_FOLDER_MODE)) {
        return false;
    }
    // folder is empty for a file in the root folder.
    std::string temporary = folder + "/." + base + ".XXXXXX";
    UniqueFd fd(::mkstemp(temporary.data()));
    if (!fd) {
        return false;
    }
    const bool written = WriteAll(fd.get(), file.serialize()) && ::fchmod(fd.get(), mode) == 0 &&
                         ::fsync(fd.get()) == 0;
    fd.reset();
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder's entry.
    UniqueFd directory(
        ::open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory) {
        ::fsync(directory.get());
    }
    return true;
}

} // namespace inkwarden
