// Feeds arbitrary bytes to the markup parser in every encoding, and once more as a zip
// archive through the skin package, then walks whatever tree came out.
#include "ui/MarkupDocument.h"
#include "ui/SkinPackage.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

void Walk(inkwarden::MarkupNode node, int budget) {
    for (; node.isValid() && budget > 0; node = node.nextSibling(), --budget) {
        for (int i = 0; i < node.attributeCount(); ++i) {
            (void)node.attributeName(i);
            (void)node.attributeValue(i);
        }
        (void)node.attributeValue("name");
        (void)node.value();
        Walk(node.firstChild(), budget / 2);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace inkwarden;
    for (TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Utf16, TextEncoding::Ansi}) {
        MarkupDocument doc;
        doc.loadFromMemory(data, size, encoding);
        Walk(doc.root(), 4096);
    }
    // The in-memory archive keeps the first one set, so reset for every input.
    SkinPackage::reset();
    SkinPackage::setResourceZipMemory(std::span<const unsigned char>(data, size));
    MarkupDocument doc;
    doc.loadFromFile("main_frame.xml", TextEncoding::Utf8);
    Walk(doc.root(), 4096);
    return 0;
}
