#include "app/SupportLinks.h"

#include "app/FailureCause.h"
#include "platform/Paths.h"
#include "platform/Translation.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace inkwarden {
namespace {

constexpr const char* NO_BROWSER_TEXT = N_("No web browser could be started. The page is at:\n%s");
constexpr const char* NO_LOG_TEXT = N_("There is no log yet. It will be written to:\n%s");
constexpr const char* LOG_TEXT = N_("The installer's log is %s. Its last lines:\n\n%s");
constexpr const char* DETAILS_CAPTION = N_("Inkwarden Setup");
// Enough bytes for the lines shown, without reading a whole log.
constexpr std::size_t TAIL_BYTES = 16 * 1024;

std::string Fill(const char* format, const std::string& first, const std::string& second) {
    // The first "%s" takes first; the text after it is filled with second.
    const std::string text = format;
    const std::size_t at = text.find("%s");
    if (at == std::string::npos) {
        return text;
    }
    return text.substr(0, at) + first + FormatCause(text.substr(at + 2).c_str(), second);
}

// A file URI for an absolute path: every byte outside the unreserved set and "/" escaped.
std::string FileUri(const std::string& path) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            uri += c;
        } else {
            uri += '%';
            uri += HEX[byte >> 4];
            uri += HEX[byte & 0xF];
        }
    }
    return uri;
}

} // namespace

std::string LastLines(const std::string& path, std::size_t count, std::size_t width) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {};
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    const std::size_t take = std::min(size, TAIL_BYTES);
    std::string tail(take, '\0');
    const ssize_t got = ::pread(file.get(), tail.data(), take, static_cast<off_t>(size - take));
    tail.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < tail.size()) {
        std::size_t end = tail.find('\n', start);
        end = end == std::string::npos ? tail.size() : end;
        lines.push_back(tail.substr(start, end - start));
        start = end + 1;
    }
    // A cut first line is no line of the log.
    if (take < size && !lines.empty()) {
        lines.erase(lines.begin());
    }
    const std::size_t first = lines.size() > count ? lines.size() - count : 0;
    std::string shown;
    for (std::size_t i = first; i < lines.size(); ++i) {
        std::string line = lines[i];
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        shown += line.size() > width ? line.substr(0, width) + "…" : line;
        shown += '\n';
    }
    return shown;
}

void SupportLinks::OpenPage(const std::string& url) {
    if (!layer_.openUrl(url)) {
        layer_.messageBox(owner_, FormatCause(Tr(NO_BROWSER_TEXT), url), Tr(DETAILS_CAPTION),
                          MB_OK | MB_ICONINFORMATION);
    }
}

void SupportLinks::ShowLog(const std::string& log_path) {
    const std::string folder = ParentPath(log_path);
    struct stat info {};
    const bool written = ::stat(log_path.c_str(), &info) == 0;
    if (written && layer_.openUrl(FileUri(folder))) {
        return;
    }
    const std::string text =
        written ? Fill(Tr(LOG_TEXT), log_path, LastLines(log_path, SHOWN_LINES, SHOWN_LINE_WIDTH))
                : FormatCause(Tr(NO_LOG_TEXT), log_path);
    layer_.messageBox(owner_, text, Tr(DETAILS_CAPTION), MB_OK | MB_ICONINFORMATION);
}

} // namespace inkwarden
