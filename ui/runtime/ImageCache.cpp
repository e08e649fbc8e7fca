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

std::string& LanguageFolder() {
    static std::string folder;
    return folder;
}

// "png/x.png" -> "png/<language>/x.png".
std::string LocalizedName(const std::string& name, const std::string& language) {
    std::string file = ForwardSlashes(name);
    const std::size_t slash = file.rfind('/');
    const std::size_t at = slash == std::string::npos ? 0 : slash + 1;
    return file.insert(at, language + "/");
}

} // namespace

void ImageCache::setLanguageFolder(const std::string& language) {
    LanguageFolder() = language;
}

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
                                   std::uint32_t mask, int scale) {
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
    // Only skin files come per language; a missing copy is remembered like any failure.
    if (type.empty() && !LanguageFolder().empty()) {
        if (const ImageEntry* image =
                loadFile(LocalizedName(name, LanguageFolder()), type, mask, scale)) {
            return image;
        }
    }
    return loadFile(name, type, mask, scale);
}

const ImageEntry* ImageCache::loadFile(const std::string& name, const std::string& type,
                                       std::uint32_t mask, int scale) {
    // One decode per image, mask and variant for this window.
    std::string key = type + '\x1f' + ForwardSlashes(name);
    if (mask != 0) {
        key += '\x1f' + std::to_string(mask);
    }
    // Drawing at 2x takes the 2x image when the skin has one; module resources have none.
    const int variant = ImageLoader::variantScale(scale);
    if (variant > 1 && type.empty()) {
        const ImageEntry* image = remember(key + "\x1f@" + std::to_string(variant), [&] {
            return loader_.loadVariant(name, mask, variant);
        });
        if (image != nullptr) {
            return image;
        }
    }
    return remember(key, [&] { return loader_.load(name, type, mask); });
}

template <typename Load> const ImageEntry* ImageCache::remember(const std::string& key, Load load) {
    auto it = entries_.find(key);
    if (it == entries_.end()) {
        std::optional<ImageEntry> image = load();
        // Failures are remembered too.
        it =
            entries_.emplace(key, image ? std::make_unique<ImageEntry>(std::move(*image)) : nullptr)
                .first;
    }
    return it->second.get();
}

const ImageEntry* ImageCache::loadColor(std::uint32_t color) {
    // One 1x1 image per colour and window, beside the files.
    return remember("\x1f"
                    "color" +
                        std::to_string(color),
                    [color] { return ImageEntry::fromColor(color); });
}

bool ImageCache::draw(DrawContext& dc, const UiRect& item, const UiRect& paint,
                      ImageDescription& image, const UiRect* dest, int alpha) {
    if (image.isEmpty()) {
        return false;
    }
    // Colours look the same at every scale.
    const int variant = image.has_color ? 1 : ImageLoader::variantScale(dc.scale());
    if (!image.load_attempted || image.entry_variant != variant) {
        image.load_attempted = true;
        image.entry_variant = variant;
        image.entry = image.has_color ? loadColor(image.color)
                                      : load(image.res.empty() ? image.file : image.res,
                                             image.res_type, image.mask, variant);
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
