#pragma once

#include <map>
#include <string>
#include <vector>

namespace inkwarden {

// The command line's options: name (with its leading dash, as typed) to value, ordered
// byte-wise; the first occurrence of a name wins.
using OptionMap = std::map<std::string, std::string>;

// The options of the process's arguments (the program path first, which is skipped). Each
// argument is split at its first character that is one of separator's; an argument without
// one is ignored. The platform hands the arguments over already split and unquoted.
OptionMap ParseCommandLine(const std::vector<std::string>& arguments, const std::string& separator);
OptionMap ParseCommandLine(int argc, const char* const* argv, const std::string& separator);

// The value the installer takes for "-test_url": every name that matches it ignoring case
// overwrites the one before, walking in key order, so the last one byte-wise wins.
std::string TestUrlOption(const OptionMap& options);

// The value for "-offline_dir" (an offline release folder), taken the same way.
std::string OfflineDirOption(const OptionMap& options);

// What the program is asked for: to run, or only to tell its usage or version (the usual
// "--help" and "--version", which carry no separator and so are no options).
enum class ProgramRequest { RUN, HELP, VERSION };

// The first "--help" or "--version" among the arguments after the program; RUN when there
// is neither.
ProgramRequest FindProgramRequest(const std::vector<std::string>& arguments);

} // namespace inkwarden
