// Feeds arbitrary bytes to the markup parser in every encoding, as a zip archive through
// the skin package, and as the markup entry of a real zip made from them (looked up with
// backslashes and another case), then walks whatever tree came out.
#include "ui/markup/MarkupDocument.h"
#include "ui/markup/SkinPackage.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>
#include <zip.h>

namespace {

// A zip in memory holding the bytes as "skin/main_frame.xml", stored or deflated.
std::vector<unsigned char> MakeZip(const std::uint8_t* data, std::size_t size, bool deflate) {
    std::vector<unsigned char> out;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_error_fini(&error);
    if (buffer == nullptr) {
        return out;
    }
    zip_source_keep(buffer); // the archive's close must leave the written bytes to us
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, nullptr);
    if (archive == nullptr) {
        zip_source_free(buffer);
        zip_source_free(buffer);
        return out;
    }
    zip_source_t* entry = zip_source_buffer(archive, data, size, 0);
    const zip_int64_t index =
        entry == nullptr ? -1 : zip_file_add(archive, "skin/main_frame.xml", entry, 0);
    if (index < 0) {
        zip_source_free(entry);
    } else {
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                 deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        zip_source_free(buffer);
        return out;
    }
    if (zip_source_open(buffer) == 0) {
        zip_source_seek(buffer, 0, SEEK_END);
        const zip_int64_t length = zip_source_tell(buffer);
        zip_source_seek(buffer, 0, SEEK_SET);
        if (length > 0) {
            out.resize(static_cast<std::size_t>(length));
            if (zip_source_read(buffer, out.data(), out.size()) != length) {
                out.clear();
            }
        }
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    return out;
}

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

    const std::vector<unsigned char> zip = MakeZip(data, size, size % 2 == 0);
    SkinPackage::reset();
    SkinPackage::setResourceZipMemory(zip);
    MarkupDocument zipped;
    zipped.loadFromFile("SKIN\\Main_Frame.XML", TextEncoding::Utf8);
    Walk(zipped.root(), 4096);
    SkinPackage::reset();
    return 0;
}
