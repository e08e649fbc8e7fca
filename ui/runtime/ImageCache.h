#pragma once

#include "ui/base/UiGeometry.h"
#include "ui/draw/ImageDescription.h"
#include "ui/draw/ImageEntry.h"
#include "ui/draw/ImageLoader.h"
#include "ui/runtime/ResourceRegistry.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace inkwarden {

class DrawContext;

// A window's decoded images. Each image (per resource type, mask and variant scale) and
// each colour is decoded once and kept, failures too, so that a broken image is never tried
// again. Files come through the skin package, resources from the module's resource table.
// Drawing into a context of scale 2 or more takes the images' 2x variants (ImageLoader).
class ImageCache {
public:
    // The registry's image registrations supply the resource type and mask that a
    // description leaves out; it must outlive the cache.
    explicit ImageCache(const ResourceRegistry& resources);
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    const ImageEntry* load(const std::string& name, const std::string& res_type, std::uint32_t mask,
                           int scale = 1);
    // A 1x1 image of the colour.
    const ImageEntry* loadColor(std::uint32_t color);
    // Draws a description over item, loading its image on first use (dest, when given,
    // replaces the description's destination); fade is scaled by alpha / 255. False when
    // the image did not load.
    bool draw(DrawContext& dc, const UiRect& item, const UiRect& paint, ImageDescription& image,
              const UiRect* dest, int alpha);
    ImageLoader& loader() { return loader_; }

    // Process-wide: images with words painted in have a copy per language in a folder of
    // that name beside them ("png/zh_CN/install_normal.png"); a skin file drawn while a
    // language is set takes that copy where there is one. Empty: the files as named.
    static void setLanguageFolder(const std::string& language);

private:
    const ImageEntry* loadFile(const std::string& name, const std::string& type, std::uint32_t mask,
                               int scale);

    // The entry under key, made by load() on first use.
    template <typename Load> const ImageEntry* remember(const std::string& key, Load load);

    const ResourceRegistry& resources_;
    ImageLoader loader_;
    std::map<std::string, std::unique_ptr<ImageEntry>> entries_;
};

} // namespace inkwarden
