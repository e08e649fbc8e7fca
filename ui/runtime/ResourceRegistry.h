#pragma once

#include "ui/draw/FontEntry.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace inkwarden {

// The named resources of one window over those that the whole process shares: fonts by id,
// image registrations and default attribute lists by name. A lookup takes the window's own
// entry first, then the shared one. The text table (%{n} in texts) is process-wide only.
// UI thread only; the shared part is unguarded like the rest of the toolkit.
class ResourceRegistry {
public:
    // An image declared by the skin; decoding happens on first use.
    struct ImageRegistration {
        std::string name;
        std::string res_type;
        std::uint32_t mask = 0;
        bool shared = false;
    };

    // Fonts, keyed by the id's decimal text; registering an id again replaces its font.
    FontEntry* addFont(int id, const std::string& face, int size, bool bold, bool underline,
                       bool italic, bool shared);
    // The same, with the font made on first use: a skin declares fonts for pages that may
    // never show, and resolving a face costs the window's start.
    void declareFont(int id, const std::string& face, int size, bool bold, bool underline,
                     bool italic, bool shared);
    void setDefaultFont(const std::string& face, int size, bool bold, bool underline, bool italic,
                        bool shared);
    // Own font of that id, else the shared one, else the default font.
    FontEntry* getFont(int id);
    // Own default font, else the shared one, made from the system's face on first use.
    FontEntry* getDefaultFont();
    static void removeAllSharedFonts();

    void addImage(const std::string& name, const std::string& res_type, std::uint32_t mask,
                  bool shared);
    const ImageRegistration* getImage(const std::string& name) const;

    // Default attribute lists per control class.
    void addDefaultAttributeList(const std::string& control_class, const std::string& list,
                                 bool shared);
    const std::string* getDefaultAttributeList(const std::string& control_class) const;
    // Also forgets the shared image registrations.
    static void removeAllSharedDefaultAttributeLists();

    static void setText(int id, const std::string& text);
    static const std::string* getText(int id);
    static void removeAllTexts();

    // A registered font, made when it is first asked for; one whose face resolves to nothing
    // stays empty and lookups pass it by.
    struct FontSlot {
        std::string face;
        int size = 0;
        bool bold = false;
        bool underline = false;
        bool italic = false;
        std::unique_ptr<FontEntry> font;
        bool made = false;
        FontEntry* get();
    };

private:
    std::map<std::string, FontSlot> fonts_;
    std::unique_ptr<FontEntry> default_font_;
    std::map<std::string, ImageRegistration> images_;
    std::map<std::string, std::string> default_attributes_;
};

} // namespace inkwarden
