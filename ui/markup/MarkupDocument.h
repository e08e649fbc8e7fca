#pragma once

#include "ui/markup/MarkupNode.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace inkwarden {

enum class TextEncoding { Utf8, Utf16, Ansi };

// The toolkit's markup dialect, parsed in one pass into a flat element table over one
// buffer. Names, attribute values and texts are terminated in place, so nodes hand out
// pointers into the buffer and nothing is copied out.
class MarkupDocument {
public:
    // Runs of whitespace that begin with a space collapse to one space unless kept.
    explicit MarkupDocument(bool keep_whitespace = false);
    ~MarkupDocument();
    MarkupDocument(const MarkupDocument&) = delete;
    MarkupDocument& operator=(const MarkupDocument&) = delete;

    bool loadFromString(std::string_view text);
    bool loadFromMemory(const unsigned char* data, size_t size, TextEncoding encoding);
    // Through the skin package: the resource zip when one is set, else the resource path.
    bool loadFromFile(const std::string& name, TextEncoding encoding);

    void clear();
    MarkupNode root() const;

    std::string lastErrorMessage() const { return error_message_; }
    std::string lastErrorLocation() const { return error_location_; }

private:
    friend class MarkupNode;

    // Offsets into the buffer and indexes into the table; 0 = none for child and sibling.
    struct Element {
        std::uint32_t name;
        std::uint32_t child;
        std::uint32_t next;
        std::uint32_t parent;
        std::uint32_t data;
    };

    // The parser's place in the tree while it runs.
    struct ParseState {
        std::vector<std::uint32_t> last_child; // per open level, its last child so far
        std::uint32_t current = 0;             // enclosing element; 0 = top level
        int depth = 0;                         // 1 = inside the document element
        char* pending_nul = nullptr;           // where the last text ends

        void terminateText();
    };
    // What reading an element leaves the parse with.
    enum class Scan { MORE, END, FAILED };

    void startLoad();
    // Copies the text into a buffer of its own, terminated; false when memory runs out.
    bool copyText(const char* data, size_t size);
    bool loadUtf16(const unsigned char* data, size_t size);
    bool parse();
    bool closeElement(char*& p, ParseState& state);
    Scan openElement(char*& p, ParseState& state);
    bool fail(const char* message, const char* where);
    bool failDecoding(const char* message, size_t offset);
    bool reserveElement();
    bool parseAttributes(char*& p);
    char* decodeText(char* p, char delimiter, char*& decoded_end);
    void takeBuffer(size_t size);

    bool keep_whitespace_;
    std::unique_ptr<char[]> buffer_;
    size_t buffer_size_ = 0; // without the terminating NUL
    std::unique_ptr<Element[]> elements_;
    std::uint32_t element_count_ = 0;
    std::uint32_t element_capacity_ = 0;
    std::string error_message_;
    std::string error_location_;
};

} // namespace inkwarden
