#include "platform/CommandLineSplitter.h"

namespace inkwarden {
namespace {

constexpr char QUOTE = '"';
constexpr char BACKSLASH = '\\';
// In a run of quotes inside a quoted part, every third one is a literal quote.
constexpr int QUOTES_PER_LITERAL = 3;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The program, from the start of the line: no escapes at all, so a path like "C:\dir\" stays
// as typed. It ends at its closing quote when it begins with one, else at the first blank.
std::string ReadProgram(std::string_view line, std::size_t& i) {
    std::string program;
    if (line[0] == QUOTE) {
        ++i;
        while (i < line.size() && line[i] != QUOTE) {
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
    return program;
}

// The quote at i and the run of quotes after it. The backslashes before it (already in
// current) give half their number; an odd one escapes the quote. quotes counts the run as
// the rules see it: 1 while inside a quoted part.
void TakeQuotes(std::string_view line, std::size_t& i, std::size_t backslashes, int& quotes,
                std::string& current) {
    current.resize(current.size() - backslashes / 2);
    if (backslashes % 2 == 1) {
        current.back() = QUOTE; // the last backslash escaped this quote
    } else {
        ++quotes;
    }
    ++i;
    while (i < line.size() && line[i] == QUOTE) {
        if (++quotes == QUOTES_PER_LITERAL) {
            current += QUOTE;
            quotes = 0;
        }
        ++i;
    }
    if (quotes == 2) {
        quotes = 0;
    }
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> arguments;
    if (line.empty()) {
        return arguments;
    }
    std::size_t i = 0;
    arguments.push_back(ReadProgram(line, i));

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
            // A blank outside quotes ends the argument.
            arguments.push_back(std::move(current));
            current.clear();
            in_argument = false;
            backslashes = 0;
            continue;
        }
        if (c == QUOTE) {
            TakeQuotes(line, i, backslashes, quotes, current);
            backslashes = 0;
            continue;
        }
        // Backslashes are literal unless a quote follows them, so they are kept and counted.
        backslashes = c == BACKSLASH ? backslashes + 1 : 0;
        current += c;
        ++i;
    }
    if (in_argument) {
        arguments.push_back(std::move(current));
    }
    return arguments;
}

} // namespace inkwarden
