#include "platform/Translation.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <libintl.h>
#include <string_view>
#include <unistd.h>

namespace inkwarden {

namespace {

std::string g_language = SOURCE_LANGUAGE;
std::function<const char*(const char*)> g_override;

// The catalogue for one locale name, or "" when we have none for it.
std::string CatalogueFor(std::string_view name,
                         const std::function<bool(const std::string&)>& has_catalogue) {
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX" || name.substr(0, 2) == "en") {
        return SOURCE_LANGUAGE;
    }
    // Every Chinese locale reads the simplified Chinese texts.
    const std::string wanted = name.substr(0, 2) == "zh" ? "zh_CN" : std::string(name);
    if (has_catalogue(wanted)) {
        return wanted;
    }
    const std::string language = wanted.substr(0, wanted.find('_'));
    return language != wanted && has_catalogue(language) ? language : std::string();
}

bool HasCatalogue(const std::string& folder, const std::string& language) {
    const std::string file = folder + "/" + language + "/LC_MESSAGES/" + TEXT_DOMAIN + ".mo";
    return ::access(file.c_str(), R_OK) == 0;
}

} // namespace

std::string PickLanguage(const std::function<const char*(const char*)>& get_env,
                         const std::function<bool(const std::string&)>& has_catalogue) {
    const auto set = [&](const char* name) {
        const char* value = get_env(name);
        return value != nullptr && *value != '\0' ? value : nullptr;
    };
    const char* locale = set("LC_ALL")        ? set("LC_ALL")
                         : set("LC_MESSAGES") ? set("LC_MESSAGES")
                         : set("LANG")        ? set("LANG")
                                              : "C";
    const std::string_view locale_name(locale);
    // gettext ignores LANGUAGE under the C locale; so do we.
    if (set("LANGUAGE") && locale_name != "C" && locale_name != "POSIX") {
        std::string_view list = set("LANGUAGE");
        while (!list.empty()) {
            const std::size_t colon = list.find(':');
            std::string found = CatalogueFor(list.substr(0, colon), has_catalogue);
            if (!found.empty()) {
                return found;
            }
            list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
        }
    }
    std::string found = CatalogueFor(locale_name, has_catalogue);
    return found.empty() ? SOURCE_LANGUAGE : found;
}

std::string InitTranslation(const std::vector<std::string>& locale_folders) {
    std::string folder_found;
    const std::string language = PickLanguage([](const char* name) { return std::getenv(name); },
                                              [&](const std::string& candidate) {
                                                  for (const std::string& folder : locale_folders) {
                                                      if (HasCatalogue(folder, candidate)) {
                                                          folder_found = folder;
                                                          return true;
                                                      }
                                                  }
                                                  return false;
                                              });
    if (std::setlocale(LC_ALL, "") == nullptr) {
        // A locale that is not generated on this machine: keep UTF-8 at least.
        std::setlocale(LC_ALL, "C.UTF-8");
    }
    g_language = SOURCE_LANGUAGE;
    if (language == SOURCE_LANGUAGE) {
        // English is the texts as written; GTK's own texts follow.
        ::setenv("LANGUAGE", SOURCE_LANGUAGE, 1);
        return g_language;
    }
    // gettext looks at LANGUAGE only when the messages locale is not plain C: a locale
    // missing on this machine still gets its texts through C.UTF-8.
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    if (messages == nullptr || std::strcmp(messages, "C") == 0 ||
        std::strcmp(messages, "POSIX") == 0) {
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    }
    ::setenv("LANGUAGE", language.c_str(), 1);
    ::bindtextdomain(TEXT_DOMAIN, folder_found.c_str());
    ::bind_textdomain_codeset(TEXT_DOMAIN, "UTF-8");
    g_language = language;
    return g_language;
}

const std::string& CurrentLanguage() {
    return g_language;
}

const char* Tr(const char* text) {
    if (text == nullptr || *text == '\0') {
        return text; // the empty msgid is the catalogue's header
    }
    if (g_override) {
        return g_override(text);
    }
    if (g_language == SOURCE_LANGUAGE) {
        return text;
    }
    return ::dgettext(TEXT_DOMAIN, text);
}

void SetTranslationOverride(std::function<const char*(const char*)> override_text) {
    g_override = std::move(override_text);
}

} // namespace inkwarden
