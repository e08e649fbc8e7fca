#pragma once

#include <string>
#include <string_view>

namespace inkwarden {

// The system's temporary folder: $TMPDIR when set and not empty, else /tmp, without
// trailing "/" (so "/" itself gives the empty text).
std::string TempFolder();

// The text before the last "/"; empty when there is none.
std::string ParentPath(const std::string& path);

// Whether the process runs with the rights of root (its effective user id is 0): then it
// installs for the whole machine, otherwise for its user.
bool RunsAsRoot();

// The user's home folder: $HOME when it is absolute, else the home of the process's user in
// the password database, else "/".
std::string HomeFolder();

// The user's folders for data and configuration: $XDG_DATA_HOME and $XDG_CONFIG_HOME when
// they are absolute paths (a relative one is invalid and ignored), else ~/.local/share and
// ~/.config.
std::string UserDataFolder();
std::string UserConfigFolder();

// The folder that the text of a user-dirs.dirs file (xdg-user-dirs, in shell syntax) gives
// to variable, such as XDG_DESKTOP_DIR: a double-quoted path that is absolute or starts with
// $HOME, which stands for home. The last usable assignment wins; empty when there is none.
std::string ParseUserDirsFolder(std::string_view text, std::string_view variable,
                                const std::string& home);

// The user's desktop folder: XDG_DESKTOP_DIR in $XDG_CONFIG_HOME/user-dirs.dirs, else
// $XDG_DESKTOP_DIR when it is absolute, else ~/Desktop.
std::string UserDesktopFolder();

} // namespace inkwarden
