// Splits arbitrary command lines; quoting every argument again must give them back.
#include "platform/CommandLineSplitter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Quotes one argument so that the splitter gives it back unchanged.
std::string QuoteArgument(const std::string& argument) {
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            out.append(backslashes + 1, '\\');
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, '\\');
    return out + "\"";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto arguments = inkwarden::SplitCommandLine(line);
    if (arguments.size() < 2) {
        return 0;
    }
    std::string rebuilt = "prog";
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        rebuilt += " " + QuoteArgument(arguments[i]);
    }
    const auto again = inkwarden::SplitCommandLine(rebuilt);
    if (again.size() != arguments.size()) {
        std::abort();
    }
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (again[i] != arguments[i]) {
            std::abort();
        }
    }
    return 0;
}
