#include "platform/CommandLineSplitter.h"

#include <gtest/gtest.h>

namespace inkwarden {
namespace {

using Arguments = std::vector<std::string>;

struct Case {
    const char* line;
    Arguments expected;
};

void ExpectSplits(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(SplitCommandLine(c.line), c.expected) << "line: " << c.line;
    }
}

TEST(CommandLineSplitter, BlanksQuotesAndEmptyArguments) {
    ExpectSplits({
        {"", {}},
        {"prog", {"prog"}},
        {"prog a b\tc", {"prog", "a", "b", "c"}},
        {"prog   a  ", {"prog", "a"}},
        {"prog \"a b\" c", {"prog", "a b", "c"}},
        {"prog a\"b c\"d", {"prog", "ab cd"}},
        {"prog \"\"", {"prog", ""}},
        {"prog \"\" x", {"prog", "", "x"}},
        {"prog \"unterminated arg", {"prog", "unterminated arg"}},
        {"prog -install_path:\"/opt/Program Files (x86)/Inkwarden\" -silent",
         {"prog", "-install_path:/opt/Program Files (x86)/Inkwarden", "-silent"}},
        {"prog 墨守 \"打印 助手\"", {"prog", "墨守", "打印 助手"}},
    });
}

TEST(CommandLineSplitter, BackslashesCountOnlyBeforeAQuote) {
    ExpectSplits({
        {"prog a\\b", {"prog", "a\\b"}},
        {"prog a\\\\b", {"prog", "a\\\\b"}},
        {"prog a\\\"b", {"prog", "a\"b"}},               // 1: literal quote
        {"prog a\\\\\"b c\"", {"prog", "a\\b c"}},       // 2: one backslash, quote toggles
        {"prog a\\\\\\\"b", {"prog", "a\\\"b"}},         // 3: one backslash, literal quote
        {"prog a\\\\\\\\\"b c\"", {"prog", "a\\\\b c"}}, // 4: two, toggle
        {"prog \"C:\\dir\\\\\" next", {"prog", "C:\\dir\\", "next"}},
        {"prog \"a\\\\\"", {"prog", "a\\"}},
        {"prog trailing\\", {"prog", "trailing\\"}},
    });
}

TEST(CommandLineSplitter, DoubledQuotesInsideQuotesGiveALiteralQuoteAndEndTheQuotedPart) {
    ExpectSplits({
        {"prog \"a\"\"b\"", {"prog", "a\"b"}},
        {"prog \"a\"\"b c\"", {"prog", "a\"b", "c"}},
        {"prog a\"b\"\" c d", {"prog", "ab\"", "c", "d"}},
        {"prog \"\"\"", {"prog", "\""}},
        {"prog \"\"\"\"", {"prog", "\""}},
        {"prog \"\"\"\"\"\"", {"prog", "\"\""}},
    });
}

TEST(CommandLineSplitter, ProgramHasNoEscapesAndEndsAtItsClosingQuote) {
    ExpectSplits({
        {"\"/tmp/my dir/InkwardenTemp.exe\" -silent", {"/tmp/my dir/InkwardenTemp.exe", "-silent"}},
        {"\"C:\\dir\\\" x", {"C:\\dir\\", "x"}},
        {"a\\\"b c", {"a\\\"b", "c"}},
        {"\"prog\"next", {"prog", "next"}},
        {"\"prog", {"prog"}},
        {"\"\" x", {"", "x"}},
        {" leading", {"", "leading"}},
    });
}

} // namespace
} // namespace inkwarden
