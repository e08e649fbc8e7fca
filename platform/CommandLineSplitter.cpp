#include "platform/CommandLineSplitter.h"

namespace inkwarden {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> arguments;
    if (line.empty()) {
        return arguments;
    }
    std::size_t i = 0;

    // The program: no escapes at all, so a path like "C:\dir\" stays as typed.
    std::string program;
    if (line[0] == '"') {
        ++i;
        while (i < line.size() && line[i] != '"') {
            program += line[i++];
        }
        if (i < line.size()) {
            ++i; // the closing quote
        }
    } else {
        while (i < line.size() && !IsBlank(line[i])) {
            program += line[i++];
        }
    }
    arguments.push_back(std::move(program));

    // quotes counts the quote run as the rules see it: 1 while inside a quoted part.
    int quotes = 0;
    std::size_t backslashes = 0;
    bool in_argument = false;
    std::string current;
    while (true) {
        while (!in_argument && i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        in_argument = true;
        const char c = line[i];
        if (IsBlank(c) && quotes == 0) {
            arguments.push_back(std::move(current));
            current.clear();
            in_argument = false;
            backslashes = 0;
            continue;
        }
        if (c == '\\') {
            current += c;
            ++backslashes;
            ++i;
            continue;
        }
        if (c == '"') {
            current.resize(current.size() - backslashes / 2);
            if (backslashes % 2 == 1) {
                current.back() = '"'; // the last backslash escaped this quote
            } else {
                ++quotes;
            }
            ++i;
            backslashes = 0;
            // A run of quotes: every third one is a literal quote.
            while (i < line.size() && line[i] == '"') {
                if (++quotes == 3) {
                    current += '"';
                    quotes = 0;
                }
                ++i;
            }
            if (quotes == 2) {
                quotes = 0;
            }
            continue;
        }
        current += c;
        backslashes = 0;
        ++i;
    }
    if (in_argument) {
        arguments.push_back(std::move(current));
    }
    return arguments;
}

} // namespace inkwarden
