#include "ui/markup/MarkupNode.h"

#include "ui/markup/MarkupDocument.h"

#include <cstring>

namespace inkwarden {

MarkupNode::MarkupNode(const MarkupDocument* document, int index)
    : document_(document), index_(index) {}

bool MarkupNode::isValid() const {
    return document_ != nullptr && index_ > 0 &&
           static_cast<std::uint32_t>(index_) < document_->element_count_;
}

MarkupNode MarkupNode::parent() const {
    if (!isValid()) {
        return MarkupNode();
    }
    return MarkupNode(document_, static_cast<int>(document_->elements_[index_].parent));
}

MarkupNode MarkupNode::firstChild() const {
    if (!isValid()) {
        return MarkupNode();
    }
    return MarkupNode(document_, static_cast<int>(document_->elements_[index_].child));
}

MarkupNode MarkupNode::nextSibling() const {
    if (!isValid()) {
        return MarkupNode();
    }
    return MarkupNode(document_, static_cast<int>(document_->elements_[index_].next));
}

bool MarkupNode::hasChildren() const {
    return isValid() && document_->elements_[index_].child != 0;
}

const char* MarkupNode::name() const {
    if (!isValid()) {
        return "";
    }
    return document_->buffer_.get() + document_->elements_[index_].name;
}

const char* MarkupNode::value() const {
    if (!isValid()) {
        return "";
    }
    return document_->buffer_.get() + document_->elements_[index_].data;
}

void MarkupNode::parseAttributes() {
    attribute_count_ = 0;
    if (!isValid()) {
        return;
    }
    // After the document's parse, the start tag reads: name NUL, then per attribute its
    // name NUL, blanks and "=" up to the opening quote, the value NUL, and blanks where
    // the decoded value left bytes over. The tag ends at ">" or at the content offset.
    char* const base = document_->buffer_.get();
    const MarkupDocument::Element& element = document_->elements_[index_];
    const char* end = base + element.data;
    const char* p = base + element.name;
    p += std::strlen(p) + 1;
    while (p < end && attribute_count_ < MAX_ATTRIBUTES) {
        while (p < end && static_cast<unsigned char>(*p) >= 1 &&
               static_cast<unsigned char>(*p) <= 32) {
            ++p;
        }
        if (p >= end || *p == '>' || *p == '/') {
            break;
        }
        const char* name = p;
        p += std::strlen(p) + 1;
        while (p < end && *p != '"') {
            ++p;
        }
        if (p >= end) {
            break;
        }
        ++p;
        const char* value = p;
        p += std::strlen(p) + 1;
        attributes_[attribute_count_++] = Attribute{static_cast<std::uint32_t>(name - base),
                                                    static_cast<std::uint32_t>(value - base)};
    }
}

int MarkupNode::attributeCount() {
    if (attribute_count_ < 0) {
        parseAttributes();
    }
    return attribute_count_;
}

const char* MarkupNode::attributeName(int index) {
    if (index < 0 || index >= attributeCount()) {
        return "";
    }
    return document_->buffer_.get() + attributes_[index].name;
}

const char* MarkupNode::attributeValue(int index) {
    if (index < 0 || index >= attributeCount()) {
        return "";
    }
    return document_->buffer_.get() + attributes_[index].value;
}

int MarkupNode::findAttribute(const char* name) {
    const int count = attributeCount();
    const char* base = count > 0 ? document_->buffer_.get() : nullptr;
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(base + attributes_[i].name, name) == 0) {
            return i;
        }
    }
    return -1;
}

const char* MarkupNode::attributeValue(const char* name) {
    if (name == nullptr) {
        return "";
    }
    const int index = findAttribute(name);
    return index < 0 ? "" : document_->buffer_.get() + attributes_[index].value;
}

bool MarkupNode::hasAttribute(const char* name) {
    return name != nullptr && findAttribute(name) >= 0;
}

} // namespace inkwarden
