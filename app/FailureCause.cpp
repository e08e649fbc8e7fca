#include "app/FailureCause.h"

#include "net/DownloadCause.h"
#include "platform/Translation.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

namespace inkwarden {
namespace {

constexpr double MEGABYTE = 1e6;
// Below this many megabytes a decimal tells more than the whole number.
constexpr double DECIMAL_BELOW = 10.0;

// The engine's causes that a person reads on the page, in the catalogue.
constexpr const char* ENGINE_CAUSES[] = {
    N_("cancelled"),
    N_("the download did not complete"),
    N_("the file changed on the server"),
    N_("the server sends more than the release says"),
    N_("the transfer library could not start a transfer"),
    N_("the server announced an empty file"),
};

std::string Substitute(const char* format, std::initializer_list<std::string_view> values) {
    // Positional only in order: each "%s" takes the next value, "%%" is a percent sign.
    std::string text;
    auto next = values.begin();
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (next != values.end()) {
                text += *next++;
            }
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            text += '%';
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

std::optional<std::string> TranslatedEngineCause(const std::string& cause) {
    for (const char* known : ENGINE_CAUSES) {
        if (cause == known) {
            return std::string(Tr(known));
        }
    }
    // A refused answer names its status: the words around the number are translated.
    constexpr std::string_view STATUS = "HTTP status ";
    if (cause.compare(0, STATUS.size(), STATUS) == 0) {
        const std::size_t digits = cause.find_first_not_of("0123456789", STATUS.size());
        const std::string code = cause.substr(STATUS.size(), digits - STATUS.size());
        if (!code.empty()) {
            return Substitute(Tr("HTTP status %s"), {code}) +
                   (digits == std::string::npos ? std::string() : cause.substr(digits));
        }
    }
    return std::nullopt;
}

} // namespace

static_assert(std::string_view(ENGINE_CAUSES[2]) == download_cause::FILE_CHANGED);

std::string FormatCause(const char* format, const std::string& value) {
    return Substitute(format, {value});
}

std::string MegabytesText(std::uint64_t bytes) {
    const double megabytes = static_cast<double>(bytes) / MEGABYTE;
    char text[32];
    std::snprintf(text, sizeof text, megabytes < DECIMAL_BELOW ? "%.1f MB" : "%.0f MB", megabytes);
    return text;
}

std::string NoRoomText(std::uint64_t needed, std::uint64_t free, const std::string& volume) {
    return Substitute(Tr("The install needs %s, %s free on %s; free some space and try again."),
                      {MegabytesText(needed), MegabytesText(free), volume});
}

std::string ServiceErrorText(long status) {
    return Substitute(Tr("The update service has a problem (HTTP %s); try again later."),
                      {std::to_string(status)});
}

std::string DownloadFailedText(const std::string& cause) {
    if (cause.empty()) {
        return Tr("The download failed; check the network and try again.");
    }
    // The address the cause may end with is for the log; the page has no room for it.
    std::string shown = TranslatedEngineCause(cause).value_or(cause);
    const std::size_t address = shown.find(" (http");
    if (address != std::string::npos && shown.back() == ')') {
        shown.erase(address);
    }
    return Substitute(Tr("The download failed: %s."), {shown});
}

std::string FolderErrorWords(int error) {
    switch (error) {
    case EROFS:
        return Tr("it is read-only");
    case EACCES:
        return Tr("you may not write to it");
    case EPERM:
        return Tr("it belongs to another user");
    case ENOTDIR:
    case ELOOP:
        return Tr("it is a link or not a folder");
    case ENOSPC:
    case EDQUOT:
        return Tr("the disk is full");
    default:
        return std::strerror(error);
    }
}

std::string TempFolderText(const std::string& folder, int error) {
    return Substitute(Tr("The installer cannot use its temporary folder %s: %s."),
                      {folder, FolderErrorWords(error)});
}

} // namespace inkwarden
