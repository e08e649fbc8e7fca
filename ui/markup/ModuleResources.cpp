#include "ui/markup/ModuleResources.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

struct Entry {
    std::span<const unsigned char> bytes;
    std::shared_ptr<std::vector<unsigned char>> owned; // null for compiled-in data
};

// Built on first use: the compiled-in table registers during static initialisation.
std::map<std::pair<std::string, int>, Entry>& Table() {
    static std::map<std::pair<std::string, int>, Entry> table;
    return table;
}

} // namespace

std::span<const unsigned char> ModuleResources::find(std::string_view type, int id) {
    const auto& table = Table();
    const auto found = table.find({UpperCase(type), id});
    if (found == table.end()) {
        return {};
    }
    return found->second.bytes;
}

void ModuleResources::registerResource(std::string_view type, int id,
                                       std::span<const unsigned char> bytes) {
    auto owned = std::make_shared<std::vector<unsigned char>>(bytes.begin(), bytes.end());
    Entry entry{std::span<const unsigned char>(owned->data(), owned->size()), owned};
    Table()[{UpperCase(type), id}] = std::move(entry);
}

void ModuleResources::registerStatic(std::string_view type, int id,
                                     std::span<const unsigned char> bytes) {
    Table()[{UpperCase(type), id}] = Entry{bytes, nullptr};
}

void ModuleResources::unregisterResource(std::string_view type, int id) {
    Table().erase({UpperCase(type), id});
}

} // namespace inkwarden
