#include "ui/draw/ImageDescription.h"

#include "ui/markup/ColorFormat.h"
#include "ui/markup/ValueFormats.h"

#include <algorithm>
#include <utility>

namespace inkwarden {
namespace {

constexpr int MAX_FADE = 255; // opaque

// Control characters and the space separate keys, '=' and values.
bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u != 0 && u <= ' ';
}

using Setter = void (*)(ImageDescription&, std::string_view);

// What each key sets; unknown keys are ignored.
const std::pair<std::string_view, Setter> SETTERS[] = {
    {"file", [](ImageDescription& d, std::string_view v) { d.file.assign(v); }},
    {"res", [](ImageDescription& d, std::string_view v) { d.res.assign(v); }},
    {"restype", [](ImageDescription& d, std::string_view v) { d.res_type.assign(v); }},
    {"color",
     [](ImageDescription& d, std::string_view v) {
         d.has_color = true;
         d.color = ParseColor(v);
     }},
    {"dest", [](ImageDescription& d, std::string_view v) { d.dest = ParseRect(v); }},
    {"source", [](ImageDescription& d, std::string_view v) { d.source = ParseRect(v); }},
    {"corner", [](ImageDescription& d, std::string_view v) { d.corner = ParseRect(v); }},
    {"scale9", [](ImageDescription& d, std::string_view v) { d.corner = ParseRect(v); }},
    {"mask", [](ImageDescription& d, std::string_view v) { d.mask = ParseColor(v); }},
    {"fade", [](ImageDescription& d,
                std::string_view v) { d.fade = std::clamp(ParseInt(v), 0, MAX_FADE); }},
    {"hole", [](ImageDescription& d, std::string_view v) { d.hole = ParseBool(v); }},
    {"xtiled", [](ImageDescription& d, std::string_view v) { d.xtiled = ParseBool(v); }},
    {"ytiled", [](ImageDescription& d, std::string_view v) { d.ytiled = ParseBool(v); }},
    {"hsl", [](ImageDescription& d, std::string_view v) { d.hsl = ParseBool(v); }},
};

// Reads key='value' pairs off the text, one after the other.
class PairScanner {
public:
    explicit PairScanner(std::string_view text) : text_(text) {}

    // The next complete pair; false when none follows, which ends the list.
    bool next(std::string_view& key, std::string_view& value) {
        skipBlanks();
        const size_t key_start = p_;
        while (p_ < text_.size() && text_[p_] != '=' && !IsBlank(text_[p_]))
            ++p_;
        key = text_.substr(key_start, p_ - key_start);
        skipBlanks();
        if (!take('='))
            return false;
        skipBlanks();
        if (!take('\''))
            return false;
        const size_t value_start = p_;
        while (p_ < text_.size() && text_[p_] != '\'')
            ++p_;
        // An unterminated value is not applied.
        if (!take('\''))
            return false;
        value = text_.substr(value_start, p_ - 1 - value_start);
        return true;
    }
    // Only a plain space continues the list; a tab or line break ends it.
    bool continues() { return take(' '); }

private:
    void skipBlanks() {
        while (p_ < text_.size() && IsBlank(text_[p_]))
            ++p_;
    }
    bool take(char c) {
        if (p_ >= text_.size() || text_[p_] != c)
            return false;
        ++p_;
        return true;
    }

    std::string_view text_;
    size_t p_ = 0;
};

} // namespace

void ImageDescription::setText(std::string_view value) {
    clear();
    text.assign(value);
    bool any_pair = false;
    PairScanner scanner(value);
    std::string_view key;
    std::string_view item;
    while (scanner.next(key, item)) {
        any_pair = true;
        if (!item.empty()) {
            const auto setter = std::find_if(std::begin(SETTERS), std::end(SETTERS),
                                             [&](const auto& entry) { return entry.first == key; });
            if (setter != std::end(SETTERS))
                setter->second(*this, item);
        }
        if (!scanner.continues())
            break;
    }
    if (!any_pair)
        file.assign(value); // a bare file name
}

} // namespace inkwarden
