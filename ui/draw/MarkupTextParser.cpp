#include "ui/draw/MarkupTextParser.h"

#include <cstring>
#include <utility>

namespace inkwarden {

namespace {

constexpr std::string_view KNOWN_TAGS = "abcfinprsuvxy";
// Digits past this bound are read no further, so that the number cannot overflow.
constexpr long MAX_DECIMAL = 1000000;
constexpr std::uint32_t ALPHA_MASK = 0xFF000000;

bool IsTagEnd(char c) {
    return c == '>' || c == '}';
}

std::uint32_t ParseHex(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i < text.size() && text[i] == '#')
        ++i;
    std::uint32_t value = 0;
    for (int digits = 0; i < text.size() && digits < 8; ++i, ++digits) {
        const char c = text[i];
        std::uint32_t d;
        if (c >= '0' && c <= '9')
            d = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            break;
        value = (value << 4) | d;
    }
    return value;
}

int ParseDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < MAX_DECIMAL; ++i)
        value = value * 10 + (text[i] - '0');
    return static_cast<int>(negative ? -value : value);
}

class Parser {
public:
    Parser(std::string_view text, bool single_line, const MarkupTextParser::Colors& colors,
           bool link_hot)
        : text_(text), single_line_(single_line), colors_(colors), link_hot_(link_hot) {}

    std::vector<MarkupSpan> run() {
        std::size_t i = 0;
        while (i < text_.size()) {
            const char c = text_[i];
            if ((c == '<' || c == '{') && i + 1 < text_.size()) {
                if (const std::size_t next = tryTag(i); next != 0) {
                    i = next;
                    continue;
                }
            }
            appendText(text_.substr(i, 1));
            ++i;
        }
        return std::move(spans_);
    }

private:
    // Handles a tag at position i; returns the position after it, or 0 when it is text.
    std::size_t tryTag(std::size_t i) {
        const char letter = text_[i + 1];
        if (letter == '/') {
            if (i + 2 >= text_.size() || KNOWN_TAGS.find(text_[i + 2]) == std::string_view::npos)
                return 0;
            const std::size_t end = findEnd(i + 3);
            if (end == std::string_view::npos)
                return 0;
            close(text_[i + 2]);
            return end + 1;
        }
        if (letter < 'a' || letter > 'z' || KNOWN_TAGS.find(letter) == std::string_view::npos ||
            i + 2 >= text_.size())
            return 0;
        const char after = text_[i + 2];
        if (after != ' ' && !IsTagEnd(after))
            return 0;
        const std::size_t end = IsTagEnd(after) ? i + 2 : findEnd(i + 3);
        if (end == std::string_view::npos)
            return 0;
        const std::string_view args =
            end > i + 3 ? text_.substr(i + 3, end - (i + 3)) : std::string_view{};
        open(letter, args);
        if (letter == 'r')
            return raw(end + 1, text_[i]);
        return end + 1;
    }

    std::size_t findEnd(std::size_t from) const {
        for (std::size_t j = from; j < text_.size(); ++j)
            if (IsTagEnd(text_[j]))
                return j;
        return std::string_view::npos;
    }

    void open(char letter, std::string_view args) {
        switch (letter) {
        case 'n':
            if (!single_line_)
                appendText("\n");
            return;
        case 'p':
            // A paragraph starts on a line of its own.
            if (!single_line_ && !spans_.empty())
                appendText("\n");
            break;
        case 'i':
            return; // inline images are not drawn
        default:
            break;
        }
        stack_.emplace_back(letter, style_);
        switch (letter) {
        case 'a':
            style_.link = true;
            style_.color = link_hot_ ? colors_.link_hover : colors_.link;
            break;
        case 'b':
            style_.bold = true;
            break;
        case 'c': {
            std::uint32_t color = ParseHex(args);
            // A colour without alpha is opaque.
            if ((color & ALPHA_MASK) == 0)
                color |= ALPHA_MASK;
            style_.color = color;
            break;
        }
        case 'f':
            style_.font_id = ParseDecimal(args);
            break;
        case 's':
            style_.background = colors_.selected_background;
            break;
        case 'u':
            style_.underline = true;
            break;
        default:
            break; // p, r, v, x, y change nothing drawn here
        }
    }

    void close(char letter) {
        for (std::size_t k = stack_.size(); k-- > 0;) {
            if (stack_[k].first == letter) {
                style_ = stack_[k].second;
                stack_.resize(k);
                return;
            }
        }
    }

    // Raw text runs to the matching "</r>" or "{/r}" without any further tags.
    std::size_t raw(std::size_t from, char opener) {
        const char closing[4] = {opener, '/', 'r', opener == '<' ? '>' : '}'};
        const std::size_t end = text_.find(std::string_view(closing, 4), from);
        const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
        appendText(text_.substr(from, stop - from));
        if (end == std::string_view::npos)
            return text_.size();
        close('r');
        return end + 4;
    }

    void appendText(std::string_view piece) {
        if (piece.empty())
            return;
        if (!spans_.empty() && spans_.back().style == style_)
            spans_.back().text.append(piece);
        else
            spans_.push_back({std::string(piece), style_});
    }

    std::string_view text_;
    bool single_line_;
    const MarkupTextParser::Colors& colors_;
    bool link_hot_;
    MarkupStyle style_;
    std::vector<std::pair<char, MarkupStyle>> stack_;
    std::vector<MarkupSpan> spans_;
};

} // namespace

std::vector<MarkupSpan> MarkupTextParser::parse(std::string_view text, bool single_line,
                                                const Colors& colors, bool link_hot) {
    return Parser(text, single_line, colors, link_hot).run();
}

std::string MarkupTextParser::plainText(const std::vector<MarkupSpan>& spans) {
    std::string out;
    for (const auto& span : spans)
        out += span.text;
    return out;
}

} // namespace inkwarden
