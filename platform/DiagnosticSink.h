#pragma once

#include "platform/UniqueFd.h"

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace inkwarden {

// The support log's place: $XDG_STATE_HOME/inkwarden/installer.log, by default
// ~/.local/state/inkwarden/installer.log (root's too: the log is the person's, not the
// machine's).
std::string InstallerLogPath();

// Where the program's diagnostic lines go: to standard output as written, and, once a log is
// opened, to the log file too, each line with its time, the file kept to its last bytes. Any
// thread may write; each call's text reaches the file in one piece.
class DiagnosticSink {
public:
    static constexpr std::size_t LOG_LIMIT = 1 << 20;
    // What a proxy's password or a URL's user information becomes in the log.
    static constexpr const char* CONCEALED = "***";

    static DiagnosticSink& Shared();

    DiagnosticSink() = default;
    DiagnosticSink(const DiagnosticSink&) = delete;
    DiagnosticSink& operator=(const DiagnosticSink&) = delete;

    // From now on lines also go to the file at path; its folder is created private (0700)
    // when missing. False (with errno set) when the file cannot be opened: the lines still
    // reach standard output.
    bool OpenLog(const std::string& path, std::size_t limit = LOG_LIMIT);
    void CloseLog();
    std::string LogPath() const;
    // Lines written when standard output is no one's business (tests): the file only.
    void SetEcho(bool echo);

    // A text that must never reach the file, such as a proxy's password.
    void Conceal(const std::string& secret);

    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Write(std::string_view text);

private:
    // The text as the file gets it: user information in URLs, authorization header values and
    // concealed texts replaced. Under the lock.
    std::string Redact(std::string_view text) const;
    // Prefixes every line start with the time.
    std::string Stamp(std::string_view text);
    void AppendToLog(const std::string& text);
    // Keeps the file's last bytes, from a line start, so that text still fits the limit.
    void TrimLog(std::size_t incoming);
    // Another process may have trimmed (replaced) the file: follow the name.
    void FollowRename();

    mutable std::mutex mutex_;
    std::string path_;
    std::size_t limit_ = LOG_LIMIT;
    UniqueFd file_;
    bool echo_ = true;
    bool line_start_ = true;
    std::vector<std::string> secrets_;
};

// The shared sink's Print: the program's diagnostic lines.
void PrintDiagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace inkwarden
