#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace inkwarden {

// The machine's registry values as one text file in the registry export format: a header
// line, [HKEY_LOCAL_MACHINE\...] sections and "name"="text", @="text", dword: and hex:
// values, comments after ";". Later lines win over earlier ones, as on import. The lines
// are kept as they are, so that a change rewrites one value and leaves the rest alone.
class RegistryFile {
public:
    // A new file holding only the header.
    RegistryFile();

    // The file's bytes, UTF-8 (with or without BOM) or UTF-16LE with BOM; nothing when the
    // header is missing.
    static std::optional<RegistryFile> parse(std::string_view bytes);

    // The string value (REG_SZ) named name ("" for the default value) of the key under
    // HKEY_LOCAL_MACHINE; keys and names compare ignoring ASCII case. Nothing when the key
    // or value is missing or the value has another type.
    std::optional<std::string> readString(std::string_view key, std::string_view name) const;

    // Sets a string value, replacing the value's line or adding it to its key; false when
    // the key is empty or a text holds a line break or NUL, which the format cannot carry.
    bool setString(std::string_view key, std::string_view name, std::string_view text);

    // The bytes to store, in the encoding and line endings the file came with.
    std::string serialize() const;

private:
    std::vector<std::string> lines_; // UTF-8, without line endings
    std::string line_end_ = "\n";
    bool utf16_ = false;
    bool utf8_bom_ = false;
    bool final_line_end_ = true;
};

// The registry file: $INKWARDEN_REGISTRY when set and not empty; otherwise the machine's,
// /etc/inkwarden/machine.reg, for root, and the user's own,
// $XDG_CONFIG_HOME/inkwarden/machine.reg (~/.config/inkwarden/machine.reg), for anyone else,
// who installs for himself.
std::string RegistryPath();
// The same for a process that runs as root or not.
std::string RegistryPath(bool as_root);

// A string value under HKEY_LOCAL_MACHINE from the registry file; "" for anything missing,
// unreadable, corrupt or not a string.
std::string ReadMachineString(const std::string& key, const std::string& value_name);

// Sets a string value in the registry file, creating the file and its folder when missing.
// The file is replaced atomically (new file in the same folder, flushed, renamed), keeping
// all other content; a file that is not a registry file is left untouched (false).
bool WriteMachineString(const std::string& key, const std::string& value_name,
                        const std::string& text);

} // namespace inkwarden
