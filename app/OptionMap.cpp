#include "app/OptionMap.h"

#include "platform/TextEncoding.h"

namespace inkwarden {

OptionMap ParseCommandLine(const std::vector<std::string>& arguments,
                           const std::string& separator) {
    OptionMap options;
    // From the second argument on: the first one is the program.
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        // An argument without a separator is no option.
        const std::size_t cut = argument.find_first_of(separator);
        if (cut == std::string::npos) {
            continue;
        }
        // emplace keeps the first occurrence.
        options.emplace(argument.substr(0, cut), argument.substr(cut + 1));
    }
    return options;
}

OptionMap ParseCommandLine(int argc, const char* const* argv, const std::string& separator) {
    // No arguments at all give an empty map.
    if (argc <= 0 || argv == nullptr) {
        return {};
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
    }
    return ParseCommandLine(arguments, separator);
}

ProgramRequest FindProgramRequest(const std::vector<std::string>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--help") {
            return ProgramRequest::HELP;
        }
        if (arguments[i] == "--version") {
            return ProgramRequest::VERSION;
        }
    }
    return ProgramRequest::RUN;
}

namespace {

// Every name that matches ignoring case overwrites the one before, in key order.
std::string LastValueIgnoringCase(const OptionMap& options, const std::string& wanted) {
    std::string value;
    for (const auto& [name, option_value] : options) {
        if (EqualsIgnoringAsciiCase(name, wanted)) {
            value = option_value;
        }
    }
    return value;
}

} // namespace

std::string TestUrlOption(const OptionMap& options) {
    return LastValueIgnoringCase(options, "-test_url");
}

std::string OfflineDirOption(const OptionMap& options) {
    return LastValueIgnoringCase(options, "-offline_dir");
}

} // namespace inkwarden
