// The markup parser beside pugixml on the same bytes: the installer's skin and a generated
// 4 MiB file; and the installer's skin parsed and built into controls.
#include "BuildConfig.h"
#include "ui/controls/CControlUI.h"
#include "ui/controls/DialogBuilder.h"
#include "ui/markup/MarkupDocument.h"
#include "ui/runtime/PaintManager.h"

#include <benchmark/benchmark.h>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>
#include <string>

namespace {

std::string SkinMarkup() {
    std::ifstream in(std::string(inkwarden::build_config::SOURCE_DIR) + "/skin/main_frame.xml",
                     std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Nested layouts of controls with skin-like attributes, just under 4 MiB.
std::string LargeMarkup() {
    std::string text = "<Window size=\"570,460\">\n";
    int n = 0;
    while (text.size() < 4 * 1024 * 1024 - 4096) {
        text += "  <HorizontalLayout height=\"16\" padding=\"0,63,10,0\">\n"
                "    <Button name=\"b" +
                std::to_string(n++) +
                "\" text=\"&lt;c #fee88a&gt;x\" width=\"140\" height=\"42\" "
                "normalimage=\"file='png\\install_normal.png' source='0,0,0,0' "
                "dest='0,0,140,42'\" />\n    <Label text=\"label\">text</Label>\n"
                "  </HorizontalLayout>\n";
    }
    return text + "</Window>\n";
}

void Ours(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        inkwarden::MarkupDocument doc;
        benchmark::DoNotOptimize(doc.loadFromString(text));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void Pugi(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        // Same work: copy the bytes, parse in place.
        pugi::xml_document doc;
        benchmark::DoNotOptimize(doc.load_buffer(text.data(), text.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// Parse and build as the window does at creation: a fresh manager takes the fonts, the
// window attributes and the tree; the tree is destroyed with it.
void OursBuild(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        inkwarden::PaintManager manager;
        manager.init(nullptr, "bench");
        inkwarden::DialogBuilder builder;
        inkwarden::CControlUI* root = builder.create(text, nullptr, &manager);
        benchmark::DoNotOptimize(root);
        manager.attachRoot(root);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

const std::string SKIN = SkinMarkup();
const std::string LARGE = LargeMarkup();

BENCHMARK_CAPTURE(Ours, skin, SKIN);
BENCHMARK_CAPTURE(Pugi, skin, SKIN);
BENCHMARK_CAPTURE(OursBuild, skin, SKIN);
BENCHMARK_CAPTURE(Ours, large_4mib, LARGE);
BENCHMARK_CAPTURE(Pugi, large_4mib, LARGE);

} // namespace
