#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace inkwarden {

// Events that the event service did not acknowledge, kept on disk until a later reporter,
// in this run or the next, reaches the service: one small file per event body, written
// under a hidden name and renamed into place (a crash leaves no half event), readable by
// the user alone. The folder holds at most max_files events and max_bytes of them; the
// oldest go first. File names sort in the order the events were kept.
class EventSpool {
public:
    struct Limits {
        std::size_t max_files = 1000;
        std::uintmax_t max_bytes = 1 << 20;
    };

    explicit EventSpool(std::string folder);
    EventSpool(std::string folder, Limits limits);

    // $XDG_STATE_HOME/inkwarden/events when it is absolute, else ~/.local/state/inkwarden/events.
    static std::string DefaultFolder();

    const std::string& folder() const { return folder_; }

    // Keeps body after every event kept before it; false when it could not be written.
    bool Keep(const std::string& body);

    // The kept events' names, oldest first.
    std::vector<std::string> Pending() const;

    // The body kept under name; a file that is not an event body (damaged, cut short,
    // foreign) is removed and gives none.
    std::optional<std::string> Read(const std::string& name);

    void Remove(const std::string& name);

    // Forgets every kept event.
    void Clear();

private:
    void Trim();

    std::string folder_;
    Limits limits_;
    std::uint64_t sequence_ = 0;
};

} // namespace inkwarden
