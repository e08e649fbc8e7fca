#pragma once

#include <functional>
#include <string>
#include <vector>

namespace inkwarden {

// The program's texts are written in English in the sources and the skin; a message
// catalogue (po/, compiled into share/locale/<language>/LC_MESSAGES/inkwarden.mo) gives
// them in the user's language.

// Marks a text for the catalogue where it is only stored; Tr translates it when shown.
#define N_(text) text

inline constexpr const char* TEXT_DOMAIN = "inkwarden";
inline constexpr const char* SOURCE_LANGUAGE = "en";

// The language for the environment, looked up the way gettext does: LANGUAGE (a priority
// list, ignored under the C locale), then the first of LC_ALL, LC_MESSAGES and LANG that is
// set. A locale "ll_CC.codeset@modifier" takes the catalogue "ll_CC", else "ll"; every zh*
// locale takes the simplified Chinese one ("zh_CN"). Without a catalogue: the source
// language "en" (C and POSIX included).
std::string PickLanguage(const std::function<const char*(const char*)>& get_env,
                         const std::function<bool(const std::string&)>& has_catalogue);

// Sets the locale from the environment and binds the catalogue. `locale_folders` are
// tried in order; the first that holds the picked language's catalogue is used. Returns
// the language the texts will be shown in (the source language when no folder holds the
// catalogue). Call once, before any thread starts: it sets LANGUAGE so that GTK's own
// texts and the programs started later follow the same choice.
std::string InitTranslation(const std::vector<std::string>& locale_folders);

// The language InitTranslation chose; "en" before it ran.
const std::string& CurrentLanguage();

// The text in the user's language; the text itself where the catalogue has none.
const char* Tr(const char* text);

// Stands in for the catalogue, for the layout tests' longer pseudo-language; nullptr
// restores it.
void SetTranslationOverride(std::function<const char*(const char*)> override_text);

} // namespace inkwarden
