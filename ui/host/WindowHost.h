#pragma once

#include "ui/native/INativeWindowLayer.h"

#include <functional>
#include <string>

namespace inkwarden {

// Process-wide settings of the window host: the window layer every window lives on, the
// module whose folder and resources the toolkit uses, the message loop, and how a fatal
// error ends the process. Set up on the UI thread before the first window is created.
class WindowHost {
public:
    // The layer the program chose: the desktop's, or a headless one in tests. Borrowed.
    static void setLayer(INativeWindowLayer* layer);
    static INativeWindowLayer* layer();

    // The module is the program file; its folder is where relative skin folders start.
    static void setInstance(const std::string& module_path);
    static const std::string& getInstance();
    // The module's folder with a trailing "/"; empty when no instance was set.
    static std::string getInstancePath();
    // The module resources come from (default: the instance). This platform's resources
    // are the table compiled into the program, so this only names where they came from.
    static void setResourceModule(const std::string& module_path);
    static const std::string& getResourceModule();

    // Runs the layer's loop until the quit message, offering every message to the paint
    // managers first; returns the quit code (-1 without a layer).
    static int messageLoop();
    // Asks the running loop to end with this code; callable from any thread.
    static void postQuitMessage(int exit_code);

    // Ends the process after a fatal error; tests replace it to see the code.
    using ExitHandler = std::function<void(int exit_code)>;
    static void setExitHandler(ExitHandler handler);
    static void exitProcess(int exit_code);
};

} // namespace inkwarden
