#include "ui/markup/MarkupDocument.h"

#include "ui/markup/SkinPackage.h"

#include <cstring>
#include <new>
#include <vector>

namespace inkwarden {
namespace {

constexpr size_t MAX_ERROR_MESSAGE = 99;
constexpr size_t MAX_ERROR_LOCATION = 49;
// Offsets are 32-bit; a skin file is at most a few MiB, so this only stops absurd input.
constexpr size_t MAX_TEXT = 0x7fffffffu;
// The element table grows by half plus this many entries.
constexpr std::uint64_t ELEMENT_TABLE_STEP = 500;
// Open levels reserved up front; deeper documents grow the list.
constexpr size_t USUAL_DEPTH = 32;

// Character classes, looked up per byte. Whitespace is 1..32; name characters are letters,
// digits, "_", ":" and every byte of a multi-byte character.
enum : unsigned char { BLANK = 1, NAME = 2 };

struct CharTable {
    unsigned char kind[256] = {};
    constexpr CharTable() {
        for (int c = 1; c <= 32; ++c) {
            kind[c] = BLANK;
        }
        for (int c = '0'; c <= '9'; ++c) {
            kind[c] = NAME;
        }
        for (int c = 'a'; c <= 'z'; ++c) {
            kind[c] = NAME;
            kind[c - 'a' + 'A'] = NAME;
        }
        kind[static_cast<unsigned char>('_')] = NAME;
        kind[static_cast<unsigned char>(':')] = NAME;
        for (int c = 0x80; c <= 0xff; ++c) {
            kind[c] = NAME;
        }
    }
};

constexpr CharTable CHARS;

inline bool IsBlank(char c) {
    return CHARS.kind[static_cast<unsigned char>(c)] == BLANK;
}

inline bool IsNameChar(char c) {
    return CHARS.kind[static_cast<unsigned char>(c)] == NAME;
}

inline char* SkipBlanks(char* p) {
    while (IsBlank(*p)) {
        ++p;
    }
    return p;
}

// A lead byte range of UTF-8 with the sequence length and the range its second byte must
// fall in (the narrower ranges rule out overlong forms, surrogates and code points above
// U+10FFFF).
struct Utf8Lead {
    unsigned char first;
    unsigned char last;
    unsigned char length;
    unsigned char low;
    unsigned char high;
};

constexpr Utf8Lead UTF8_LEADS[] = {
    {0xc2, 0xdf, 2, 0x80, 0xbf}, {0xe0, 0xe0, 3, 0xa0, 0xbf}, {0xe1, 0xec, 3, 0x80, 0xbf},
    {0xed, 0xed, 3, 0x80, 0x9f}, {0xee, 0xef, 3, 0x80, 0xbf}, {0xf0, 0xf0, 4, 0x90, 0xbf},
    {0xf1, 0xf3, 4, 0x80, 0xbf}, {0xf4, 0xf4, 4, 0x80, 0x8f},
};

const Utf8Lead* FindUtf8Lead(unsigned char c) {
    for (const Utf8Lead& lead : UTF8_LEADS) {
        if (c >= lead.first && c <= lead.last) {
            return &lead;
        }
    }
    return nullptr;
}

// Returns the offset of the first byte that breaks UTF-8, or size when the text is valid.
// Overlong forms, surrogates and code points above U+10FFFF are invalid.
size_t FindInvalidUtf8(const unsigned char* s, size_t size) {
    size_t i = 0;
    while (i < size) {
        // Plain ASCII runs are the common case: check eight bytes at a time.
        while (i + 8 <= size) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if (word & 0x8080808080808080ull) {
                break;
            }
            i += 8;
        }
        if (i >= size) {
            break;
        }
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        const Utf8Lead* lead = FindUtf8Lead(c);
        if (lead == nullptr) {
            return i;
        }
        const size_t length = lead->length;
        if (size - i < length || s[i + 1] < lead->low || s[i + 1] > lead->high) {
            return i;
        }
        for (size_t k = 2; k < length; ++k) {
            if ((s[i + k] & 0xc0) != 0x80) {
                return i;
            }
        }
        i += length;
    }
    return size;
}

void AppendUtf8(std::vector<char>& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else {
        out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    }
}

// The five entities; anything else after "&" stays as written.
struct Entity {
    std::string_view text;
    char character;
};

constexpr Entity ENTITIES[] = {
    {"&amp;", '&'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'},
};

inline bool DecodeEntity(const char*& p, char& out) {
    for (const Entity& entity : ENTITIES) {
        // The letter after "&" tells most entities apart before a full compare.
        if (p[1] == entity.text[1] &&
            std::strncmp(p, entity.text.data(), entity.text.size()) == 0) {
            out = entity.character;
            p += entity.text.size();
            return true;
        }
    }
    return false;
}

} // namespace

MarkupDocument::MarkupDocument(bool keep_whitespace) : keep_whitespace_(keep_whitespace) {}

MarkupDocument::~MarkupDocument() = default;

void MarkupDocument::clear() {
    buffer_.reset();
    buffer_size_ = 0;
    elements_.reset();
    element_count_ = 0;
    element_capacity_ = 0;
}

MarkupNode MarkupDocument::root() const {
    if (element_count_ < 2) {
        return MarkupNode();
    }
    return MarkupNode(this, 1);
}

void MarkupDocument::startLoad() {
    clear();
    error_message_.clear();
    error_location_.clear();
}

bool MarkupDocument::copyText(const char* data, size_t size) {
    takeBuffer(size);
    if (!buffer_) {
        return fail("Not enough memory for the text", nullptr);
    }
    if (size != 0) {
        std::memcpy(buffer_.get(), data, size);
    }
    buffer_[size] = '\0';
    return true;
}

bool MarkupDocument::loadFromString(std::string_view text) {
    startLoad();
    if (text.size() > MAX_TEXT) {
        return fail("Text too large", nullptr);
    }
    if (!copyText(text.data(), text.size())) {
        return false;
    }
    return parse();
}

bool MarkupDocument::loadFromMemory(const unsigned char* data, size_t size, TextEncoding encoding) {
    startLoad();
    if (data == nullptr) {
        size = 0;
    }
    if (size > MAX_TEXT) {
        return fail("Text too large", nullptr);
    }
    switch (encoding) {
    case TextEncoding::Utf8: {
        if (size >= 3 && data[0] == 0xef && data[1] == 0xbb && data[2] == 0xbf) {
            data += 3;
            size -= 3;
        }
        // The code page here is UTF-8 itself, so the conversion is a check and a copy.
        const size_t bad = FindInvalidUtf8(data, size);
        if (bad != size) {
            return failDecoding("Text is not valid UTF-8", bad);
        }
        break;
    }
    case TextEncoding::Utf16:
        return loadUtf16(data, size);
    case TextEncoding::Ansi:
        break;
    }
    if (!copyText(reinterpret_cast<const char*>(data), size)) {
        return false;
    }
    // The text ends at its first NUL byte, as every string handed out does.
    buffer_size_ = std::strlen(buffer_.get());
    return parse();
}

bool MarkupDocument::loadUtf16(const unsigned char* data, size_t size) {
    if (size < 2 ||
        !((data[0] == 0xff && data[1] == 0xfe) || (data[0] == 0xfe && data[1] == 0xff))) {
        return failDecoding("UTF-16 text must begin with a byte-order mark", 0);
    }
    const bool big_endian = data[0] == 0xfe;
    if (size % 2 != 0) {
        return failDecoding("UTF-16 text has an odd number of bytes", size - 1);
    }
    auto unit = [&](size_t at) -> std::uint32_t {
        return big_endian ? (data[at] << 8 | data[at + 1]) : (data[at + 1] << 8 | data[at]);
    };
    std::vector<char> out;
    out.reserve(size);
    for (size_t i = 2; i < size; i += 2) {
        std::uint32_t cp = unit(i);
        if (cp >= 0xd800 && cp <= 0xdbff) {
            // A high surrogate needs its low one next.
            if (i + 3 >= size) {
                return failDecoding("Text is not valid UTF-16", i);
            }
            const std::uint32_t low = unit(i + 2);
            if (low < 0xdc00 || low > 0xdfff) {
                return failDecoding("Text is not valid UTF-16", i);
            }
            cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
            i += 2;
        } else if (cp >= 0xdc00 && cp <= 0xdfff) {
            return failDecoding("Text is not valid UTF-16", i);
        }
        AppendUtf8(out, cp);
    }
    if (!copyText(out.data(), out.size())) {
        return false;
    }
    buffer_size_ = std::strlen(buffer_.get());
    return parse();
}

bool MarkupDocument::loadFromFile(const std::string& name, TextEncoding encoding) {
    startLoad();
    std::vector<unsigned char> bytes;
    std::string error;
    if (!SkinPackage::readFile(name, bytes, error)) {
        error_message_ = error.substr(0, MAX_ERROR_MESSAGE);
        error_location_ = name.substr(0, MAX_ERROR_LOCATION);
        return false;
    }
    return loadFromMemory(bytes.data(), bytes.size(), encoding);
}

void MarkupDocument::takeBuffer(size_t size) {
    buffer_.reset(new (std::nothrow) char[size + 1]);
    buffer_size_ = buffer_ ? size : 0;
}

bool MarkupDocument::fail(const char* message, const char* where) {
    error_message_.assign(message, std::min(std::strlen(message), MAX_ERROR_MESSAGE));
    error_location_.clear();
    if (where != nullptr) {
        size_t length = ::strnlen(where, MAX_ERROR_LOCATION + 1);
        if (length > MAX_ERROR_LOCATION) {
            length = MAX_ERROR_LOCATION;
            // Never cut a multi-byte character in two.
            while (length > 0 && (static_cast<unsigned char>(where[length]) & 0xc0) == 0x80) {
                --length;
            }
        }
        error_location_.assign(where, length);
    }
    clear();
    return false;
}

bool MarkupDocument::failDecoding(const char* message, size_t offset) {
    fail(message, nullptr);
    error_location_ = "at byte " + std::to_string(offset);
    return false;
}

bool MarkupDocument::reserveElement() {
    if (element_count_ < element_capacity_) {
        return true;
    }
    const std::uint64_t grown =
        std::uint64_t{element_capacity_} / 2 + element_capacity_ + ELEMENT_TABLE_STEP;
    if (grown > 0xffffffffu / sizeof(Element)) {
        return false;
    }
    const auto capacity = static_cast<std::uint32_t>(grown);
    std::unique_ptr<Element[]> table(new (std::nothrow) Element[capacity]);
    if (!table) {
        return false;
    }
    if (element_count_ != 0) {
        std::memcpy(table.get(), elements_.get(), element_count_ * sizeof(Element));
    }
    elements_ = std::move(table);
    element_capacity_ = capacity;
    return true;
}

char* MarkupDocument::decodeText(char* p, char delimiter, char*& decoded_end) {
    // Nothing to rewrite until the first entity or space; scan that prefix only.
    while (*p != '\0' && *p != delimiter && *p != '&' && (*p != ' ' || keep_whitespace_)) {
        ++p;
    }
    char* out = p;
    while (*p != '\0' && *p != delimiter) {
        const char c = *p;
        if (c == '&') {
            char decoded;
            const char* q = p;
            if (DecodeEntity(q, decoded)) {
                *out++ = decoded;
                p = const_cast<char*>(q);
            } else {
                *out++ = *p++;
            }
        } else if (c == ' ' && !keep_whitespace_) {
            *out++ = ' ';
            p = SkipBlanks(p + 1);
        } else {
            *out++ = *p++;
        }
    }
    decoded_end = out;
    for (char* fill = out; fill < p; ++fill) {
        *fill = ' ';
    }
    return p;
}

bool MarkupDocument::parseAttributes(char*& p) {
    for (;;) {
        p = SkipBlanks(p);
        if (*p == '\0' || *p == '>' || *p == '/') {
            return true;
        }
        char* name_end = p;
        while (IsNameChar(*name_end)) {
            ++name_end;
        }
        p = SkipBlanks(name_end);
        if (*p != '=') {
            return fail("Error while parsing attributes", p);
        }
        p = SkipBlanks(p + 1);
        if (*p != '"') {
            return fail("Expected attribute value", p);
        }
        char* value = p + 1;
        char* value_end = nullptr;
        char* close = decodeText(value, '"', value_end);
        if (*close == '\0') {
            return fail("Error while parsing attribute string", value);
        }
        *name_end = '\0';
        *value_end = '\0';
        if (value_end != close) {
            // Left-over bytes read as blanks when the node parses its attributes.
            *close = ' ';
        }
        p = close + 1;
    }
}

bool MarkupDocument::parse() {
    char* const base = buffer_.get();
    element_count_ = 0;
    if (!reserveElement()) {
        return fail("Not enough memory for the element table", nullptr);
    }
    elements_[0] = Element{0, 0, 0, 0, 0}; // placeholder; its child field links the top level
    element_count_ = 1;

    // The recursion of the grammar is kept in the table itself (parent links) plus the last
    // child per open level, so nesting depth never costs stack.
    ParseState state;
    state.last_child.reserve(USUAL_DEPTH);
    state.last_child.push_back(0);
    char* p = base;
    for (;;) {
        p = SkipBlanks(p);
        if (*p == '\0') {
            if (state.depth <= 1) {
                return true;
            }
            return fail("Expected start tag", p);
        }
        if (*p != '<') {
            return fail("Expected start tag", p);
        }
        if (p[1] == '/' && state.depth > 0) {
            if (!closeElement(p, state)) {
                return false;
            }
            continue;
        }
        p = SkipBlanks(p + 1);
        state.terminateText();
        if (*p == '!' || *p == '?') {
            // Comments and declarations: skipped up to the first closing pair, whatever
            // stands inside.
            const char* end = std::strstr(p + 1, *p == '!' ? "->" : "?>");
            p = end != nullptr ? const_cast<char*>(end) + 2 : base + buffer_size_;
            continue;
        }
        const Scan scan = openElement(p, state);
        if (scan != Scan::MORE) {
            return scan == Scan::END;
        }
    }
}

void MarkupDocument::ParseState::terminateText() {
    // A text's terminating NUL may fall on the "<" that ends it, so it is written only once
    // that "<" has been read.
    if (pending_nul != nullptr) {
        *pending_nul = '\0';
        pending_nul = nullptr;
    }
}

bool MarkupDocument::closeElement(char*& p, ParseState& state) {
    state.terminateText();
    p += 2;
    const char* name = buffer_.get() + elements_[state.current].name;
    const size_t length = std::strlen(name);
    if (std::strncmp(p, name, length) != 0) {
        return fail("Unmatched closing tag", p);
    }
    p = SkipBlanks(p + length);
    if (*p != '>') {
        return fail("Unmatched closing tag", p);
    }
    ++p;
    state.current = elements_[state.current].parent;
    --state.depth;
    state.last_child.pop_back();
    return true;
}

MarkupDocument::Scan MarkupDocument::openElement(char*& p, ParseState& state) {
    char* const base = buffer_.get();
    if (!reserveElement()) {
        fail("Not enough memory for the element table", p);
        return Scan::FAILED;
    }
    const std::uint32_t index = element_count_++;
    elements_[index] = Element{static_cast<std::uint32_t>(p - base), 0, 0, state.current, 0};
    std::uint32_t& last = state.last_child.back();
    (last == 0 ? elements_[state.current].child : elements_[last].next) = index;
    last = index;

    while (IsNameChar(*p)) {
        ++p;
    }
    if (*p == '\0') {
        fail("Error parsing element name", p);
        return Scan::FAILED;
    }
    char* name_end = p;
    if (!parseAttributes(p)) {
        return Scan::FAILED;
    }
    if (p[0] == '/' && p[1] == '>') {
        // An empty element: its data is the empty text at the "/".
        elements_[index].data = static_cast<std::uint32_t>(p - base);
        *name_end = '\0';
        *p = '\0';
        p += 2;
        return Scan::MORE;
    }
    if (*p != '>') {
        fail("Expected start-tag closing", p);
        return Scan::FAILED;
    }
    *name_end = '\0';
    ++p;
    elements_[index].data = static_cast<std::uint32_t>(p - base);
    char* text_end = nullptr;
    p = decodeText(p, '<', text_end);
    if (*p == '\0') {
        *text_end = '\0';
        // Missing end tags are tolerated in the document element and its children.
        if (state.depth + 1 <= 2) {
            return Scan::END;
        }
        fail("Expected start tag", p);
        return Scan::FAILED;
    }
    state.pending_nul = text_end;
    state.current = index;
    ++state.depth;
    state.last_child.push_back(0);
    return Scan::MORE;
}

} // namespace inkwarden
