#pragma once

#include <cstdint>

namespace inkwarden {

class MarkupDocument;

// A cursor into a parsed document: the document and an element index. Index 0 or no
// document is the invalid node. Every string it hands out points into the document's
// buffer and lives as long as the document's current load.
class MarkupNode {
public:
    static constexpr int MAX_ATTRIBUTES = 64;

    MarkupNode() = default;
    MarkupNode(const MarkupDocument* document, int index);

    bool isValid() const;
    MarkupNode parent() const;
    MarkupNode firstChild() const;
    MarkupNode nextSibling() const;
    bool hasChildren() const;
    const char* name() const;
    const char* value() const;

    // Attributes are parsed on first use, at most MAX_ATTRIBUTES of them.
    int attributeCount();
    const char* attributeName(int index);
    const char* attributeValue(int index);
    // Exact-case lookup; "" when absent.
    const char* attributeValue(const char* name);
    bool hasAttribute(const char* name);

private:
    struct Attribute {
        std::uint32_t name;
        std::uint32_t value;
    };

    void parseAttributes();
    int findAttribute(const char* name);

    const MarkupDocument* document_ = nullptr;
    int index_ = 0;
    int attribute_count_ = -1; // -1: not parsed yet
    Attribute attributes_[MAX_ATTRIBUTES];
};

} // namespace inkwarden
