#pragma once

#include <cstdint>
#include <string>

namespace inkwarden {

// The failure page's words with the figures that let a person act: which folder, how much
// room, which status. Each returns the text in the user's language.

// A translated format with one "%s" filled in.
std::string FormatCause(const char* format, const std::string& value);

// "48 MB", "3.2 MB": decimal megabytes as a disk's free space is shown.
std::string MegabytesText(std::uint64_t bytes);

// "The install needs 48 MB, 3 MB free on /home; free some space or choose another folder."
std::string NoRoomText(std::uint64_t needed, std::uint64_t free, const std::string& volume);

// "The update service has a problem (HTTP 503); try again later."
std::string ServiceErrorText(long status);

// "The download failed: the file changed on the server." The engine's own causes are
// translated; the transfer library's words come as they are.
std::string DownloadFailedText(const std::string& cause);

// "The installer cannot use its temporary folder /var/cache/inkwarden: it is read-only."
std::string TempFolderText(const std::string& folder, int error);

// Why a folder cannot be used, from the error number, e.g. "it belongs to another user".
std::string FolderErrorWords(int error);

} // namespace inkwarden
