#pragma once

#include "ui/base/UiGeometry.h"

#include <memory>
#include <string>
#include <string_view>

typedef struct _PangoFontDescription PangoFontDescription;
typedef struct _PangoLayout PangoLayout;
typedef struct _cairo cairo_t;

namespace inkwarden {

// One registered font: a Pango description plus an off-screen layout for measuring, so
// text can be measured without a display.
class FontEntry {
public:
    // Nothing when the face cannot be resolved to any font.
    static std::unique_ptr<FontEntry> create(const std::string& face, int size, bool bold,
                                             bool underline, bool italic);
    ~FontEntry();
    FontEntry(const FontEntry&) = delete;
    FontEntry& operator=(const FontEntry&) = delete;

    const std::string& face() const { return face_; }
    int size() const { return size_; }
    bool bold() const { return bold_; }
    bool underline() const { return underline_; }
    bool italic() const { return italic_; }
    const PangoFontDescription* description() const { return description_; }

    // Ascent plus descent in pixels.
    int charHeight() const { return char_height_; }
    int ascent() const { return ascent_; }
    // The family that the face resolved to (after the skin's font aliases).
    std::string resolvedFamily() const;

    // Logical size of `text` laid out in one line, or wrapped at `wrap_width` pixels when
    // that is > 0.
    UiSize measureText(std::string_view text, int wrap_width = 0) const;

private:
    FontEntry() = default;

    std::string face_;
    int size_ = 0;
    bool bold_ = false;
    bool underline_ = false;
    bool italic_ = false;
    int char_height_ = 0;
    int ascent_ = 0;
    PangoFontDescription* description_ = nullptr;
    cairo_t* cairo_ = nullptr;
    PangoLayout* layout_ = nullptr;
};

} // namespace inkwarden
