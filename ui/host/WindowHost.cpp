#include "ui/host/WindowHost.h"

#include "ui/runtime/PaintManager.h"

#include <atomic>
#include <cstdlib>

namespace inkwarden {
namespace {

// Read by postQuitMessage on any thread.
std::atomic<INativeWindowLayer*> g_layer{nullptr};

std::string& Instance() {
    static std::string path;
    return path;
}

std::string& ResourceModule() {
    static std::string path;
    return path;
}

WindowHost::ExitHandler& Exit() {
    static WindowHost::ExitHandler handler;
    return handler;
}

} // namespace

void WindowHost::setLayer(INativeWindowLayer* layer) {
    g_layer.store(layer);
}

INativeWindowLayer* WindowHost::layer() {
    return g_layer.load();
}

void WindowHost::setInstance(const std::string& module_path) {
    Instance() = module_path;
}

const std::string& WindowHost::getInstance() {
    return Instance();
}

std::string WindowHost::getInstancePath() {
    const std::string& module = Instance();
    const auto slash = module.find_last_of('/');
    return slash == std::string::npos ? std::string{} : module.substr(0, slash + 1);
}

void WindowHost::setResourceModule(const std::string& module_path) {
    ResourceModule() = module_path;
}

const std::string& WindowHost::getResourceModule() {
    return ResourceModule().empty() ? Instance() : ResourceModule();
}

int WindowHost::messageLoop() {
    INativeWindowLayer* host = layer();
    if (host == nullptr)
        return -1;
    host->setPreTranslateHook(&PaintManager::translateMessage);
    const int code = host->run();
    host->setPreTranslateHook({});
    return code;
}

void WindowHost::postQuitMessage(int exit_code) {
    if (INativeWindowLayer* host = layer())
        host->post(0, WM_QUIT, static_cast<WPARAM>(exit_code), 0);
}

void WindowHost::setExitHandler(ExitHandler handler) {
    Exit() = std::move(handler);
}

void WindowHost::exitProcess(int exit_code) {
    if (Exit()) {
        Exit()(exit_code);
        return;
    }
    std::exit(exit_code);
}

} // namespace inkwarden
