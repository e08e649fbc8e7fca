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

private:
    std::map<std::string, std::unique_ptr<FontEntry>> fonts_;
    std::unique_ptr<FontEntry> default_font_;
    std::map<std::string, ImageRegistration> images_;
    std::map<std::string, std::string> default_attributes_;
};

} // namespace inkwarden
