#pragma once

#include <string>

namespace inkwarden {

// The installer's own temporary folder, where the package is downloaded: $INKWARDEN_CACHE_DIR
// when it is absolute (tests and packagers), else /var/cache/inkwarden for root and
// $XDG_CACHE_HOME/inkwarden (~/.cache/inkwarden) for anyone else.
std::string InstallerCacheFolder();

// Makes folder this user's private folder, so that no other user's file can stand in the way
// of the package or be swapped in: a missing folder is created with mode 0700 (missing
// parents too, also 0700); an existing one must be a real folder, not a link, owned by the
// effective user and not shared (sticky), and its mode is set to 0700. Then it must be writable.
// Returns 0, or the error number: ENOTDIR for a link or another kind of file, EPERM for another
// owner or a shared folder, or what the system said.
int MakePrivateFolder(const std::string& folder);

} // namespace inkwarden
