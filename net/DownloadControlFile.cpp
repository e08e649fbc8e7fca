#include "net/DownloadControlFile.h"

#include "platform/FileWriter.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkwarden {
namespace {

constexpr std::string_view MAGIC = "inkwarden-download-control 1";
constexpr mode_t CONTROL_FILE_MODE = 0644;

uint64_t Fnv1a64(std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string Hex64(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// A whole text of decimal digits, without sign or leading zeros beyond a single "0".
std::optional<int64_t> ParseOffset(std::string_view text) {
    if (text.empty() || (text.size() > 1 && text[0] == '0')) {
        return std::nullopt;
    }
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

// Takes the next line (without its line feed) off text; false when no complete line is left.
bool NextLine(std::string_view& text, std::string_view& line) {
    const size_t feed = text.find('\n');
    if (feed == std::string_view::npos) {
        return false;
    }
    line = text.substr(0, feed);
    text.remove_prefix(feed + 1);
    return true;
}

// The value of a line "key value"; nothing when the line has another key.
std::optional<std::string_view> Field(std::string_view line, std::string_view key) {
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ' ') {
        return std::nullopt;
    }
    return line.substr(key.size() + 1);
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// A record's ranges must describe bytes of the file, in order, once each.
bool RangesFit(const std::vector<ByteRange>& ranges, int64_t length) {
    int64_t next = 0;
    for (const ByteRange& range : ranges) {
        if (range.first < next || range.last < range.first || range.last >= length) {
            return false;
        }
        next = range.last + 1;
    }
    return true;
}

} // namespace

std::string DownloadControlFile::Format(const ResumeState& state) {
    std::string text(MAGIC);
    text += "\nurl " + state.url + "\nlength " + std::to_string(state.length) + "\nvalidator " +
            state.validator + "\n";
    for (const ByteRange& range : state.completed) {
        text += "done " + std::to_string(range.first) + "-" + std::to_string(range.last) + "\n";
    }
    text += "end " + Hex64(Fnv1a64(text)) + "\n";
    return text;
}

std::optional<ResumeState> DownloadControlFile::Parse(std::string_view text) {
    const std::string_view whole = text;
    std::string_view line;
    if (!NextLine(text, line) || line != MAGIC) {
        return std::nullopt;
    }
    ResumeState state;
    std::optional<std::string_view> value;
    if (!NextLine(text, line) || !(value = Field(line, "url"))) {
        return std::nullopt;
    }
    state.url = std::string(*value);
    if (!NextLine(text, line) || !(value = Field(line, "length"))) {
        return std::nullopt;
    }
    const std::optional<int64_t> length = ParseOffset(*value);
    if (!length || *length == 0) {
        return std::nullopt;
    }
    state.length = *length;
    if (!NextLine(text, line) || !(value = Field(line, "validator"))) {
        return std::nullopt;
    }
    state.validator = std::string(*value);

    for (;;) {
        const size_t line_start = whole.size() - text.size();
        if (!NextLine(text, line)) {
            return std::nullopt;
        }
        if (const auto end = Field(line, "end")) {
            // The hash covers every byte before the end line, and nothing may follow it.
            if (!text.empty() || *end != Hex64(Fnv1a64(whole.substr(0, line_start)))) {
                return std::nullopt;
            }
            break;
        }
        const auto done = Field(line, "done");
        const size_t dash = done ? done->find('-') : std::string_view::npos;
        if (dash == std::string_view::npos) {
            return std::nullopt;
        }
        const auto first = ParseOffset(done->substr(0, dash));
        const auto last = ParseOffset(done->substr(dash + 1));
        if (!first || !last) {
            return std::nullopt;
        }
        state.completed.push_back({*first, *last});
    }
    if (state.url.empty() || !RangesFit(state.completed, state.length)) {
        return std::nullopt;
    }
    return state;
}

std::optional<ResumeState> DownloadControlFile::Read() const {
    // Never through a link, never a device or a pipe that could block, only our own file.
    UniqueFd file(::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid() || info.st_size > static_cast<off_t>(MAX_SIZE)) {
        return std::nullopt;
    }
    std::string text(static_cast<size_t>(info.st_size), '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(file.get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;
        }
        got += static_cast<size_t>(n);
    }
    return Parse(text);
}

bool DownloadControlFile::Write(const ResumeState& state) const {
    if (HasLineBreak(state.url) || HasLineBreak(state.validator)) {
        return false;
    }
    const std::string text = Format(state);
    if (text.size() > MAX_SIZE) {
        return false;
    }
    // A fresh file under a name of its own, whatever lay there (a link is removed, not
    // followed), then renamed over the record: a reader sees the old record or the new one.
    const std::string fresh = path_ + ".new";
    ::unlink(fresh.c_str());
    UniqueFd file(::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         CONTROL_FILE_MODE));
    if (!file) {
        return false;
    }
    const bool written = WriteAll(file.get(), text);
    file.reset();
    if (!written || std::rename(fresh.c_str(), path_.c_str()) != 0) {
        ::unlink(fresh.c_str());
        return false;
    }
    return true;
}

void DownloadControlFile::Remove() const {
    ::unlink(path_.c_str());
    ::unlink((path_ + ".new").c_str());
}

} // namespace inkwarden
