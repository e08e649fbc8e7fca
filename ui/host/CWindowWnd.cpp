#include "ui/host/CWindowWnd.h"

#include "platform/UniqueResource.h"
#include "ui/draw/DrawContext.h"
#include "ui/host/WindowHost.h"
#include "ui/markup/ModuleResources.h"

#include <cairo.h>
#include <cstring>
#include <map>
#include <memory>

namespace inkwarden {
namespace {

struct WindowClass {
    std::uint32_t style = 0;
    CWindowWnd::WindowProc proc;
};

std::map<std::string, WindowClass>& Classes() {
    static std::map<std::string, WindowClass> classes;
    return classes;
}

using SurfacePtr = UniqueResource<cairo_surface_t, cairo_surface_destroy>;

struct PngReader {
    std::span<const unsigned char> bytes;
    size_t offset = 0;
};

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->bytes.size() - reader->offset < length)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, reader->bytes.data() + reader->offset, length);
    reader->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

// The PNG scaled to size x size; invalid when the bytes are no PNG.
DrawContext ScaledIcon(std::span<const unsigned char> png, int size) {
    PngReader reader{png};
    SurfacePtr image(cairo_image_surface_create_from_png_stream(ReadPng, &reader));
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS)
        return {};
    const int width = cairo_image_surface_get_width(image.get());
    const int height = cairo_image_surface_get_height(image.get());
    if (width <= 0 || height <= 0)
        return {};
    DrawContext icon(size, size);
    cairo_t* cr = icon.cairo();
    cairo_save(cr);
    cairo_scale(cr, static_cast<double>(size) / width, static_cast<double>(size) / height);
    cairo_set_source_surface(cr, image.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
    cairo_paint(cr);
    cairo_restore(cr);
    icon.markDirty();
    return icon;
}

} // namespace

CWindowWnd::CWindowWnd() = default;
CWindowWnd::~CWindowWnd() = default;

INativeWindowLayer* CWindowWnd::layer() const {
    return WindowHost::layer();
}

bool CWindowWnd::registerClass(const std::string& name, std::uint32_t class_style,
                               WindowProc proc) {
    if (name.empty())
        return false;
    // An existing class is fine: the first registration stays.
    Classes().emplace(name, WindowClass{class_style, std::move(proc)});
    return true;
}

bool CWindowWnd::isClassRegistered(const std::string& name) {
    return Classes().count(name) != 0;
}

bool CWindowWnd::registerWindowClass() {
    const char* name = windowClassName();
    return name != nullptr && registerClass(name, classStyle());
}

bool CWindowWnd::registerSuperclass() {
    // Copy the existing class and remember its procedure under our own name.
    const auto base = Classes().find(superClassName());
    if (base == Classes().end())
        return false;
    const char* name = windowClassName();
    if (name == nullptr || !registerClass(name, base->second.style, base->second.proc))
        return false;
    old_proc_ = Classes().at(name).proc;
    return true;
}

NativeWindowId CWindowWnd::create(NativeWindowId parent, std::string_view name, std::uint32_t style,
                                  std::uint32_t ex_style, const UiRect& rect) {
    return create(parent, name, style, ex_style, rect.left, rect.top, rect.width(), rect.height());
}

NativeWindowId CWindowWnd::create(NativeWindowId parent, std::string_view name, std::uint32_t style,
                                  std::uint32_t ex_style, int x, int y, int cx, int cy) {
    if (superClassName() != nullptr && !registerSuperclass())
        return 0;
    if (superClassName() == nullptr && !registerWindowClass())
        return 0;
    INativeWindowLayer* host = layer();
    if (host == nullptr)
        return 0;
    const int left = x == CW_USEDEFAULT ? 0 : x;
    const int top = y == CW_USEDEFAULT ? 0 : y;
    const int width = cx == CW_USEDEFAULT ? 0 : cx;
    const int height = cy == CW_USEDEFAULT ? 0 : cy;
    WindowCreateParams params;
    params.parent = parent;
    params.title.assign(name);
    params.style = style;
    params.ex_style = ex_style;
    params.rect = {left, top, left + width, top + height};
    if (const char* app_id = applicationId()) {
        params.app_id = app_id;
    }
    params.sink = [this](UINT message, WPARAM wparam, LPARAM lparam) {
        return windowProc(message, wparam, lparam);
    };
    style_ = style;
    const NativeWindowId window = host->create(params);
    if (window == 0)
        hwnd_ = 0;
    return window;
}

LRESULT CWindowWnd::windowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        // The layer names the new window; from now on its messages reach this object.
        hwnd_ = static_cast<NativeWindowId>(lparam);
        attached_ = true;
    }
    if (message == WM_NCDESTROY && attached_) {
        const NativeWindowId window = hwnd_;
        const LRESULT result = callOldProc(message, wparam, lparam);
        subclassed_ = false;
        attached_ = false;
        hwnd_ = 0;
        // May delete this object.
        onFinalMessage(window);
        return result;
    }
    if (!attached_) {
        INativeWindowLayer* host = layer();
        return host == nullptr ? 0 : host->defaultProc(0, message, wparam, lparam);
    }
    return handleMessage(message, wparam, lparam);
}

LRESULT CWindowWnd::handleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    return callOldProc(message, wparam, lparam);
}

LRESULT CWindowWnd::callOldProc(UINT message, WPARAM wparam, LPARAM lparam) {
    if (old_proc_)
        return old_proc_(hwnd_, message, wparam, lparam);
    INativeWindowLayer* host = layer();
    return host == nullptr ? 0 : host->defaultProc(hwnd_, message, wparam, lparam);
}

void CWindowWnd::showWindow(bool show, bool take_focus) {
    if (INativeWindowLayer* host = layer(); host != nullptr && hwnd_ != 0) {
        host->show(hwnd_, !show        ? ShowCommand::HIDE
                          : take_focus ? ShowCommand::SHOW
                                       : ShowCommand::SHOW_NO_ACTIVATE);
    }
}

void CWindowWnd::close(UINT code) {
    INativeWindowLayer* host = layer();
    if (host == nullptr || hwnd_ == 0 || !host->exists(hwnd_))
        return;
    host->post(hwnd_, WM_CLOSE, static_cast<WPARAM>(code), 0);
}

void CWindowWnd::centerWindow() {
    INativeWindowLayer* host = layer();
    if (host == nullptr || hwnd_ == 0 || !host->exists(hwnd_))
        return;
    const UiRect rect = host->windowRect(hwnd_);
    const UiRect area = host->workArea(hwnd_);
    const NativeWindowId owner = host->parentOf(hwnd_);
    const UiRect center = owner == 0 || !host->exists(owner) || host->isMinimized(owner)
                              ? area
                              : host->windowRect(owner);
    const int width = rect.width();
    const int height = rect.height();
    int left = (center.left + center.right) / 2 - width / 2;
    int top = (center.top + center.bottom) / 2 - height / 2;
    // Back inside the work area, left and top edges first.
    if (left < area.left)
        left = area.left;
    else if (left + width > area.right)
        left = area.right - width;
    if (top < area.top)
        top = area.top;
    else if (top + height > area.bottom)
        top = area.bottom - height;
    host->setWindowRect(hwnd_, {left, top, left + width, top + height});
}

void CWindowWnd::setIcon(UINT resource_id) {
    INativeWindowLayer* host = layer();
    if (host == nullptr || hwnd_ == 0)
        return;
    const auto png = ModuleResources::find("ICON", static_cast<int>(resource_id));
    if (png.empty())
        return;
    for (const bool large : {true, false}) {
        const DrawContext icon = ScaledIcon(png, large ? LARGE_ICON_SIZE : SMALL_ICON_SIZE);
        if (icon.isValid())
            host->setIcon(hwnd_, icon, large);
    }
}

void CWindowWnd::resizeClient(int cx, int cy) {
    INativeWindowLayer* host = layer();
    if (host == nullptr || hwnd_ == 0)
        return;
    UiRect rect = host->windowRect(hwnd_);
    if (cx != -1)
        rect.right = rect.left + cx;
    if (cy != -1)
        rect.bottom = rect.top + cy;
    host->setWindowRect(hwnd_, rect);
}

LRESULT CWindowWnd::sendMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    INativeWindowLayer* host = layer();
    return host == nullptr || hwnd_ == 0 ? 0 : host->send(hwnd_, message, wparam, lparam);
}

bool CWindowWnd::postMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    INativeWindowLayer* host = layer();
    return host != nullptr && hwnd_ != 0 && host->post(hwnd_, message, wparam, lparam);
}

} // namespace inkwarden
