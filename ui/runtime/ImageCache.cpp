#include "ui/runtime/ImageCache.h"

#include "ui/draw/ImageDrawing.h"
#include "ui/markup/ModuleResources.h"
#include "ui/markup/SkinPackage.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

namespace inkwarden {
namespace {

// Skin names use either slash.
std::string ForwardSlashes(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

} // namespace

ImageCache::ImageCache(const ResourceRegistry& resources) : resources_(resources) {
    loader_.setSkinFileReader([](const std::string& name) -> std::optional<std::string> {
        std::vector<unsigned char> bytes;
        std::string error;
        if (!SkinPackage::readFile(ForwardSlashes(name), bytes, error)) {
            return std::nullopt;
        }
        return std::string(bytes.begin(), bytes.end());
    });
    loader_.setResourceReader(
        [](const std::string& type, const std::string& name) -> std::optional<std::string> {
            int id = 0;
            const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), id);
            if (ec != std::errc{} || end != name.data() + name.size()) {
                return std::nullopt;
            }
            const auto bytes = ModuleResources::find(type, id);
            if (bytes.empty()) {
                return std::nullopt;
            }
            return std::string(bytes.begin(), bytes.end());
        });
}

const ImageEntry* ImageCache::load(const std::string& name, const std::string& res_type,
                                   std::uint32_t mask) {
    if (name.empty()) {
        return nullptr;
    }
    std::string type = res_type;
    if (const ResourceRegistry::ImageRegistration* registered = resources_.getImage(name)) {
        if (type.empty()) {
            type = registered->res_type;
        }
        if (mask == 0) {
            mask = registered->mask;
        }
    }
    // One decode per image and mask for this window.
    std::string key = type + '\x1f' + ForwardSlashes(name);
    if (mask != 0) {
        key += '\x1f' + std::to_string(mask);
    }
    auto it = entries_.find(key);
    if (it != entries_.end()) {
        return it->second.get();
    }
    std::optional<ImageEntry> image = loader_.load(name, type, mask);
    std::unique_ptr<ImageEntry> entry;
    if (image) {
        entry = std::make_unique<ImageEntry>(std::move(*image));
    }
    const ImageEntry* result = entry.get();
    entries_.emplace(key, std::move(entry)); // failures are remembered too
    return result;
}

const ImageEntry* ImageCache::loadColor(std::uint32_t color) {
    // One 1x1 image per colour and window, beside the files.
    const std::string key = "\x1f"
                            "color" +
                            std::to_string(color);
    auto it = entries_.find(key);
    if (it == entries_.end()) {
        std::optional<ImageEntry> entry = ImageEntry::fromColor(color);
        it =
            entries_.emplace(key, entry ? std::make_unique<ImageEntry>(std::move(*entry)) : nullptr)
                .first;
    }
    return it->second.get();
}

bool ImageCache::draw(DrawContext& dc, const UiRect& item, const UiRect& paint,
                      ImageDescription& image, const UiRect* dest, int alpha) {
    if (image.isEmpty()) {
        return false;
    }
    if (!image.load_attempted) {
        image.load_attempted = true;
        image.entry = image.has_color ? loadColor(image.color)
                                      : load(image.res.empty() ? image.file : image.res,
                                             image.res_type, image.mask);
    }
    if (image.entry == nullptr) {
        return false;
    }
    ImageDrawParams params;
    params.dest = dest != nullptr ? *dest : image.dest;
    params.source = image.source;
    params.corner = image.corner;
    params.fade =
        static_cast<std::uint8_t>(std::clamp(image.fade * std::clamp(alpha, 0, 255) / 255, 0, 255));
    params.hole = image.hole;
    params.xtiled = image.xtiled;
    params.ytiled = image.ytiled;
    if (params.fade == 0) {
        return true; // drawn, invisibly
    }
    return DrawImage(dc, item, paint, *image.entry, params);
}

} // namespace inkwarden
