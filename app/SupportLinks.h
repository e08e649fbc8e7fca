#pragma once

#include "ui/native/INativeWindowLayer.h"

#include <cstddef>
#include <string>

namespace inkwarden {

// What the window's links open for a person who needs help: a web page, or the log to attach
// to a report. Where nothing can be started, the window says so rather than doing nothing.
class SupportLinks {
public:
    // The lines of the log a message box shows where no file manager starts.
    static constexpr std::size_t SHOWN_LINES = 20;
    // A line longer than this is cut in the box.
    static constexpr std::size_t SHOWN_LINE_WIDTH = 160;

    SupportLinks(INativeWindowLayer& layer, NativeWindowId owner) : layer_(layer), owner_(owner) {}

    // Opens url in the browser; where none starts, a message box gives the address.
    void OpenPage(const std::string& url);
    // Opens the folder that holds the log; where nothing opens it, a message box shows where
    // the log is and its last lines.
    void ShowLog(const std::string& log_path);

private:
    INativeWindowLayer& layer_;
    NativeWindowId owner_;
};

// The last count lines of the file at path (a read of its last bytes only), each cut to width.
std::string LastLines(const std::string& path, std::size_t count, std::size_t width);

} // namespace inkwarden
