#include "ui/native/gtk/GtkWindowLayer.h"

#include "ui/draw/DrawContext.h"
#include "ui/native/gtk/GtkDialogs.h"
#include "ui/native/gtk/GtkEditField.h"
#include "ui/native/gtk/GtkInputTranslator.h"
#include "ui/native/gtk/GtkSignalBinding.h"
#include "ui/native/gtk/GtkSkinArea.h"
#include "ui/native/gtk/GtkWindowRecord.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace inkwarden {

namespace {

using RegionPtr = UniqueResource<cairo_region_t, cairo_region_destroy>;

// The work area when the display names no monitor at all.
constexpr UiRect FALLBACK_WORK_AREA{0, 0, 1024, 768};

struct TimeoutRecord {
    std::weak_ptr<GtkWindowLayer*> alive;
    std::function<bool(GtkWindowLayer&)> callback;
};

struct PostRecord {
    std::weak_ptr<GtkWindowLayer*> alive;
    NativeWindowId window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    // Hands the record over visibly to thread checkers, which cannot see into GLib's locks.
    std::atomic<bool> published{false};
};

GdkWindowState StateOf(GtkWidget* widget) {
    GdkWindow* gdk = gtk_widget_get_window(widget);
    return gdk == nullptr ? GdkWindowState(0) : gdk_window_get_state(gdk);
}

// A display that does not let a window be read back (Wayland) hands out a fully transparent
// image: no screenshot at all.
bool IsFullyTransparent(const GdkPixbuf* pixbuf) {
    if (!gdk_pixbuf_get_has_alpha(pixbuf)) {
        return false;
    }
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (pixels[y * stride + x * channels + 3] != 0) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

std::unique_ptr<GtkWindowLayer> GtkWindowLayer::open() {
    // Windows paint through cairo image surfaces; loading the GL stack at display open costs
    // start-up time and tens of MiB for nothing. A user's own setting is kept.
    g_setenv("GDK_GL", "disable", FALSE);
    if (!gtk_init_check(nullptr, nullptr))
        return nullptr;
    return std::unique_ptr<GtkWindowLayer>(new GtkWindowLayer());
}

GtkWindowLayer::GtkWindowLayer()
    : alive_(std::make_shared<GtkWindowLayer*>(this)),
      input_(std::make_unique<GtkInputTranslator>(*this)),
      edits_(std::make_unique<GtkEditField>(*this)) {
    loop_ = g_main_loop_new(nullptr, FALSE);
}

GtkWindowLayer::~GtkWindowLayer() {
    *alive_ = nullptr;
    // Top-level windows first; their children go with them.
    std::vector<NativeWindowId> roots;
    for (const auto& [id, w] : records())
        if (w->parent == 0 || !exists(w->parent))
            roots.push_back(id);
    for (NativeWindowId id : roots)
        if (exists(id))
            destroy(id);
    g_main_loop_unref(static_cast<GMainLoop*>(loop_));
}

GtkWindowRecord* GtkWindowLayer::find(NativeWindowId window) const {
    return findAs<GtkWindowRecord>(window);
}

GtkWindowRecord* GtkWindowLayer::toplevelOf(NativeWindowId window) const {
    GtkWindowRecord* w = find(window);
    while (w != nullptr && !w->isToplevel())
        w = find(w->parent);
    return w;
}

GtkWidget* GtkWindowLayer::toplevelWidget(NativeWindowId window) const {
    const GtkWindowRecord* top = toplevelOf(window);
    return top == nullptr ? nullptr : top->widget.get();
}

NativeWindowId GtkWindowLayer::create(const WindowCreateParams& params) {
    auto w = std::make_unique<GtkWindowRecord>();
    const NativeWindowId id = allocateId();
    w->id = id;
    w->parent = params.parent;
    w->style = params.style;
    w->sink = params.sink;
    w->rect = params.rect;
    GtkWindowRecord* parent = find(params.parent);
    w->is_child = (params.style & WS_CHILD) != 0 && parent != nullptr && parent->fixed != nullptr;

    GtkWidget* overlay = buildClientArea(*w);
    if (w->is_child) {
        gtk_widget_set_size_request(overlay, std::max(1, params.rect.width()),
                                    std::max(1, params.rect.height()));
        gtk_fixed_put(GTK_FIXED(parent->fixed), overlay, params.rect.left, params.rect.top);
        w->widget.reset(overlay);
    } else {
        w->widget.reset(buildToplevel(params, parent, overlay, id));
    }
    gtk_widget_show_all(overlay);
    adopt(std::move(w));

    if (!deliverCreate(id))
        return 0;
    if (find(id)->isToplevel())
        applyMinMaxInfo(id);
    if (exists(id) && (params.style & WS_VISIBLE))
        show(id, ShowCommand::SHOW);
    return exists(id) ? id : 0;
}

GtkWidget* GtkWindowLayer::buildClientArea(GtkWindowRecord& w) {
    GtkWidget* overlay = gtk_overlay_new();
    w.area = NewSkinArea();
    w.fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(overlay), w.area);
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay), w.fixed);
    gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(overlay), w.fixed, TRUE);
    GtkSignalBinding::connect(w.area, "draw", G_CALLBACK(onDrawSignal), this, w.id);
    GtkSignalBinding::connect(w.area, "notify::scale-factor", G_CALLBACK(onScaleSignal), this,
                              w.id);
    input_->connectArea(w.area, w.id);
    return overlay;
}

GtkWidget* GtkWindowLayer::buildToplevel(const WindowCreateParams& params,
                                         const GtkWindowRecord* owner, GtkWidget* overlay,
                                         NativeWindowId id) {
    if (!params.app_id.empty()) {
        // Before the window is realised, which takes both: the X11 window class (name and
        // class alike, so that either matches the menu entry's StartupWMClass) and the
        // Wayland app id, which GDK takes from the program name.
        g_set_prgname(params.app_id.c_str());
        gdk_set_program_class(params.app_id.c_str());
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* gw = GTK_WINDOW(window);
    gtk_window_set_title(gw, params.title.c_str());
    gtk_window_set_decorated(gw, FALSE);
    gtk_widget_set_app_paintable(window, TRUE);
    if (GdkVisual* visual = gdk_screen_get_rgba_visual(gtk_widget_get_screen(window)))
        gtk_widget_set_visual(window, visual);
    gtk_window_set_default_size(gw, std::max(1, params.rect.width()),
                                std::max(1, params.rect.height()));
    gtk_window_move(gw, params.rect.left, params.rect.top);
    if (params.ex_style & WS_EX_TOOLWINDOW) {
        gtk_window_set_skip_taskbar_hint(gw, TRUE);
        gtk_window_set_type_hint(gw, GDK_WINDOW_TYPE_HINT_UTILITY);
    }
    if (params.ex_style & WS_EX_TOPMOST)
        gtk_window_set_keep_above(gw, TRUE);
    if (owner != nullptr) {
        if (GtkWidget* owner_window = toplevelWidget(owner->id))
            gtk_window_set_transient_for(gw, GTK_WINDOW(owner_window));
    }
    gtk_container_add(GTK_CONTAINER(window), overlay);
    input_->connectToplevel(window, id);
    return window;
}

void GtkWindowLayer::stopWindow(WindowRecord& record) {
    auto& w = static_cast<GtkWindowRecord&>(record);
    for (const auto& [timer, source] : w.timers)
        g_source_remove(source);
    w.timers.clear();
    if (w.hover_source != 0)
        g_source_remove(w.hover_source);
    w.hover_source = 0;
}

void GtkWindowLayer::forgetWindow(WindowRecord& record) {
    auto& w = static_cast<GtkWindowRecord&>(record);
    w.accessible.reset();
    input_->forget(w.id);
    if (w.is_edit)
        edits_->disconnect(w);
}

void GtkWindowLayer::applyMinMaxInfo(NativeWindowId window) {
    const UiRect work = workArea(window);
    MINMAXINFO info;
    info.max_size = {work.width(), work.height()};
    info.max_position = {work.left, work.top};
    info.max_track_size = {work.width(), work.height()};
    send(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    GtkWindowRecord* w = find(window);
    if (w == nullptr)
        return;
    GdkGeometry hints{};
    int mask = 0;
    if (info.min_track_size.x > 0 || info.min_track_size.y > 0) {
        hints.min_width = std::max(1, info.min_track_size.x);
        hints.min_height = std::max(1, info.min_track_size.y);
        mask |= GDK_HINT_MIN_SIZE;
    }
    if (info.max_track_size.x > 0 && info.max_track_size.y > 0) {
        hints.max_width = info.max_track_size.x;
        hints.max_height = info.max_track_size.y;
        mask |= GDK_HINT_MAX_SIZE;
    }
    if (mask != 0)
        gtk_window_set_geometry_hints(GTK_WINDOW(w->widget.get()), nullptr, &hints,
                                      GdkWindowHints(mask));
}

bool GtkWindowLayer::post(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* record = new PostRecord{alive_, window, message, wparam, lparam};
    record->published.store(true, std::memory_order_release);
    // Always queued, even on the UI thread: a post never runs inside its caller.
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            const auto* r = static_cast<PostRecord*>(data);
            if (!r->published.load(std::memory_order_acquire))
                return G_SOURCE_REMOVE;
            if (const auto alive = r->alive.lock(); alive && *alive != nullptr)
                (*alive)->deliverPost(r->window, r->message, r->wparam, r->lparam);
            return G_SOURCE_REMOVE;
        },
        record, [](gpointer data) { delete static_cast<PostRecord*>(data); });
    return true;
}

void GtkWindowLayer::deliverPost(NativeWindowId id, UINT message, WPARAM wparam, LPARAM lparam) {
    if (id == 0) {
        // A thread message: only WM_QUIT means something here.
        if (message == WM_QUIT)
            quit(static_cast<int>(wparam));
        return;
    }
    if (exists(id))
        dispatchQueued(id, message, wparam, lparam);
}

int GtkWindowLayer::run() {
    if (!quit_code_)
        g_main_loop_run(static_cast<GMainLoop*>(loop_));
    const int code = quit_code_.value_or(0);
    quit_code_.reset();
    return code;
}

void GtkWindowLayer::quit(int exit_code) {
    quit_code_ = exit_code;
    g_main_loop_quit(static_cast<GMainLoop*>(loop_));
}

UiRect GtkWindowLayer::clientRect(NativeWindowId window) const {
    GtkWindowRecord* w = find(window);
    if (w == nullptr)
        return {};
    GtkWidget* widget = w->eventWidget();
    int width = gtk_widget_get_allocated_width(widget);
    int height = gtk_widget_get_allocated_height(widget);
    // Before the first allocation GTK reports a 1 x 1 widget.
    if (!gtk_widget_get_realized(widget) || width <= 1) {
        width = w->rect.width();
        height = w->rect.height();
    }
    return {0, 0, width, height};
}

UiRect GtkWindowLayer::windowRect(NativeWindowId window) const {
    GtkWindowRecord* w = find(window);
    if (w == nullptr)
        return {};
    if (!w->isToplevel())
        return w->rect;
    GdkWindow* gdk = gtk_widget_get_window(w->widget.get());
    if (gdk == nullptr || !gtk_widget_get_visible(w->widget.get()))
        return w->rect;
    int x = 0;
    int y = 0;
    gdk_window_get_origin(gdk, &x, &y);
    return {x, y, x + gdk_window_get_width(gdk), y + gdk_window_get_height(gdk)};
}

void GtkWindowLayer::setWindowRect(NativeWindowId window, const UiRect& rect) {
    GtkWindowRecord* w = find(window);
    if (w == nullptr)
        return;
    const int width = std::max(1, rect.width());
    const int height = std::max(1, rect.height());
    const bool resized = width != w->rect.width() || height != w->rect.height();
    w->rect = rect;
    if (!w->isToplevel()) {
        GtkWindowRecord* parent = find(w->parent);
        gtk_widget_set_size_request(w->widget.get(), width, height);
        if (parent != nullptr)
            gtk_fixed_move(GTK_FIXED(parent->fixed), w->widget.get(), rect.left, rect.top);
    } else {
        gtk_window_move(GTK_WINDOW(w->widget.get()), rect.left, rect.top);
        gtk_window_resize(GTK_WINDOW(w->widget.get()), width, height);
    }
    // The toolkit lays out on WM_SIZE at once rather than when the server answers.
    if (resized && !w->is_edit)
        send(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

UiRect GtkWindowLayer::workArea(NativeWindowId window) const {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = nullptr;
    if (GtkWidget* top = toplevelWidget(window)) {
        if (GdkWindow* gdk = gtk_widget_get_window(top))
            monitor = gdk_display_get_monitor_at_window(display, gdk);
    }
    if (monitor == nullptr)
        monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr)
        monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr)
        return FALLBACK_WORK_AREA;
    GdkRectangle r;
    gdk_monitor_get_workarea(monitor, &r);
    return {r.x, r.y, r.x + r.width, r.y + r.height};
}

void GtkWindowLayer::show(NativeWindowId window, ShowCommand command) {
    GtkWindowRecord* w = find(window);
    if (w == nullptr)
        return;
    GtkWidget* widget = w->widget.get();
    if (!w->isToplevel()) {
        gtk_widget_set_visible(widget, command != ShowCommand::HIDE);
        return;
    }
    GtkWindow* gw = GTK_WINDOW(widget);
    switch (command) {
    case ShowCommand::HIDE:
        gtk_widget_hide(widget);
        break;
    case ShowCommand::SHOW:
        gtk_window_set_focus_on_map(gw, TRUE);
        gtk_widget_show(widget);
        gtk_window_present(gw);
        break;
    case ShowCommand::SHOW_NO_ACTIVATE:
        gtk_window_set_focus_on_map(gw, FALSE);
        gtk_widget_show(widget);
        break;
    case ShowCommand::MINIMIZE:
        gtk_window_iconify(gw);
        break;
    case ShowCommand::MAXIMIZE:
        gtk_widget_show(widget);
        gtk_window_maximize(gw);
        break;
    case ShowCommand::RESTORE:
        gtk_window_deiconify(gw);
        gtk_window_unmaximize(gw);
        gtk_widget_show(widget);
        break;
    }
}

bool GtkWindowLayer::isVisible(NativeWindowId window) const {
    GtkWindowRecord* w = find(window);
    return w != nullptr && gtk_widget_get_visible(w->widget.get());
}

bool GtkWindowLayer::isMinimized(NativeWindowId window) const {
    GtkWindowRecord* w = find(window);
    return w != nullptr && w->isToplevel() &&
           (StateOf(w->widget.get()) & GDK_WINDOW_STATE_ICONIFIED) != 0;
}

bool GtkWindowLayer::isMaximized(NativeWindowId window) const {
    GtkWindowRecord* w = find(window);
    return w != nullptr && w->isToplevel() &&
           (StateOf(w->widget.get()) & GDK_WINDOW_STATE_MAXIMIZED) != 0;
}

void GtkWindowLayer::setTitle(NativeWindowId window, const std::string& title) {
    GtkWindowRecord* w = find(window);
    if (w != nullptr && w->isToplevel())
        gtk_window_set_title(GTK_WINDOW(w->widget.get()), title.c_str());
}

void GtkWindowLayer::setIcon(NativeWindowId window, const DrawContext& image, bool large) {
    GtkWindowRecord* w = find(window);
    if (w == nullptr || !w->isToplevel() || image.surface() == nullptr)
        return;
    cairo_surface_flush(image.surface());
    PixbufPtr pixbuf(
        gdk_pixbuf_get_from_surface(image.surface(), 0, 0, image.width(), image.height()));
    if (!pixbuf)
        return;
    (large ? w->large_icon : w->small_icon) = std::move(pixbuf);
    GList* list = nullptr;
    if (w->large_icon)
        list = g_list_append(list, w->large_icon.get());
    if (w->small_icon)
        list = g_list_append(list, w->small_icon.get());
    // The window takes its own references.
    gtk_window_set_icon_list(GTK_WINDOW(w->widget.get()), list);
    g_list_free(list);
}

bool GtkWindowLayer::saveScreenshot(NativeWindowId window, const std::string& path) const {
    GtkWidget* top = toplevelWidget(window);
    if (top == nullptr)
        return false;
    GdkWindow* gdk = gtk_widget_get_window(top);
    if (gdk == nullptr || !gdk_window_is_viewable(gdk))
        return false;
    // What the display server shows, read back from the window.
    PixbufPtr pixbuf(gdk_pixbuf_get_from_window(gdk, 0, 0, gdk_window_get_width(gdk),
                                                gdk_window_get_height(gdk)));
    if (!pixbuf || IsFullyTransparent(pixbuf.get()))
        return false;
    GError* error = nullptr;
    const bool saved = gdk_pixbuf_save(pixbuf.get(), path.c_str(), "png", &error, nullptr) != FALSE;
    if (error != nullptr)
        g_error_free(error);
    return saved;
}

void GtkWindowLayer::invalidate(NativeWindowId window, const UiRect& rect) {
    GtkWindowRecord* w = find(window);
    if (w == nullptr || w->is_edit)
        return;
    // The toolkit paints on WM_PAINT and presents; the draw handler only shows the result.
    post(window, WM_PAINT, 0, 0);
    (void)rect;
}

int GtkWindowLayer::scaleFactor(NativeWindowId window) const {
    const GtkWindowRecord* w = find(window);
    return w == nullptr ? 1 : std::max(1, gtk_widget_get_scale_factor(w->eventWidget()));
}

void GtkWindowLayer::onScaleSignal(GtkWidget*, void*, void* data) {
    const GtkSignalBinding& b = GtkSignalBinding::of(data);
    auto* layer = b.as<GtkWindowLayer>();
    if (!layer->exists(b.id))
        return;
    const int dpi = static_cast<int>(USER_DEFAULT_SCREEN_DPI) * layer->scaleFactor(b.id);
    layer->send(b.id, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), 0);
}

void GtkWindowLayer::setAccessibleTree(NativeWindowId window, IAccessibleTree* tree) {
    GtkWindowRecord* w = find(window);
    if (w == nullptr || w->is_edit)
        return;
    w->accessible.reset();
    if (tree == nullptr)
        return;
    // A reader's action runs from the main loop, after its call has returned.
    w->accessible =
        std::make_unique<GtkAccessibleBridge>(w->area, *tree, [this, window](AccessibleId node) {
            addTimeout(0, [window, node](GtkWindowLayer& layer) {
                if (GtkWindowRecord* target = layer.find(window); target && target->accessible)
                    target->accessible->tree().doDefaultAction(node);
                return false;
            });
        });
}

bool GtkWindowLayer::supportsPerPixelAlpha(NativeWindowId window) const {
    GtkWidget* top = toplevelWidget(window);
    if (top == nullptr)
        return false;
    GdkScreen* screen = gtk_widget_get_screen(top);
    return gdk_screen_get_rgba_visual(screen) != nullptr && gdk_screen_is_composited(screen);
}

void GtkWindowLayer::present(NativeWindowId window, const DrawContext& buffer, const UiRect& area,
                             PresentMode mode, std::uint8_t constant_alpha) {
    GtkWindowRecord* w = find(window);
    if (w == nullptr || w->is_edit || buffer.surface() == nullptr)
        return;
    // The kept pixels have the buffer's scale, so that a window at that scale shows them
    // one to one.
    const int width = buffer.pixelWidth();
    const int height = buffer.pixelHeight();
    if (!w->buffer || cairo_image_surface_get_width(w->buffer.get()) != width ||
        cairo_image_surface_get_height(w->buffer.get()) != height) {
        w->buffer.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    }
    cairo_surface_set_device_scale(w->buffer.get(), buffer.scale(), buffer.scale());
    cairo_surface_flush(buffer.surface());
    cairo_t* cr = cairo_create(w->buffer.get());
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, buffer.surface(), 0, 0);
    cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
    cairo_fill(cr);
    cairo_destroy(cr);
    w->mode = mode;
    if (w->constant_alpha != constant_alpha) {
        w->constant_alpha = constant_alpha;
        gtk_widget_queue_draw(w->area);
    }
    gtk_widget_queue_draw_area(w->area, area.left, area.top, area.width(), area.height());
}

int GtkWindowLayer::onDrawSignal(GtkWidget*, cairo_t* cr, void* data) {
    const GtkSignalBinding& b = GtkSignalBinding::of(data);
    return b.as<GtkWindowLayer>()->onDraw(b.id, cr);
}

bool GtkWindowLayer::onDraw(NativeWindowId id, cairo_t* cr) {
    GtkWindowRecord* w = find(id);
    if (w == nullptr)
        return FALSE;
    // Clear first: with an RGBA visual nothing else sets the window's pixels.
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (w->mode == PresentMode::OPAQUE)
        cairo_set_source_rgb(cr, 0, 0, 0);
    else
        cairo_set_source_rgba(cr, 0, 0, 0, 0);
    cairo_paint(cr);
    if (!w->buffer)
        return TRUE;
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_source_surface(cr, w->buffer.get(), 0, 0);
    if (w->mode == PresentMode::PER_PIXEL && w->constant_alpha != 255)
        cairo_paint_with_alpha(cr, w->constant_alpha / 255.0);
    else
        cairo_paint(cr);
    return TRUE;
}

void GtkWindowLayer::setRegion(NativeWindowId window, const UiRect& rect, UiSize corner) {
    GtkWindowRecord* w = find(window);
    if (w == nullptr || w->is_edit)
        return;
    GtkWidget* widget = w->widget.get();
    if (rect.isEmpty()) {
        gtk_widget_shape_combine_region(widget, nullptr);
        gtk_widget_input_shape_combine_region(widget, nullptr);
        return;
    }
    // Rasterised as a 1-bit mask, so the corners follow the same curve the toolkit clips to.
    SurfacePtr mask(cairo_image_surface_create(CAIRO_FORMAT_A1, rect.right, rect.bottom));
    cairo_t* cr = cairo_create(mask.get());
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    RoundRectPath(cr, rect, corner);
    cairo_fill(cr);
    cairo_destroy(cr);
    RegionPtr region(gdk_cairo_region_create_from_surface(mask.get()));
    gtk_widget_shape_combine_region(widget, region.get());
    gtk_widget_input_shape_combine_region(widget, region.get());
}

unsigned GtkWindowLayer::addTimeout(unsigned ms, TimeoutCallback callback) {
    auto* record = new TimeoutRecord{alive_, std::move(callback)};
    return g_timeout_add_full(
        G_PRIORITY_DEFAULT, ms,
        [](gpointer data) -> gboolean {
            const auto* r = static_cast<TimeoutRecord*>(data);
            const auto alive = r->alive.lock();
            if (!alive || *alive == nullptr)
                return G_SOURCE_CONTINUE;
            return r->callback(**alive) ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
        },
        record, [](gpointer data) { delete static_cast<TimeoutRecord*>(data); });
}

bool GtkWindowLayer::setTimer(NativeWindowId window, std::uintptr_t id, unsigned elapse_ms) {
    GtkWindowRecord* w = find(window);
    if (w == nullptr)
        return false;
    if (const auto it = w->timers.find(id); it != w->timers.end()) {
        g_source_remove(it->second);
        w->timers.erase(it);
    }
    w->timers[id] = addTimeout(std::max(1u, elapse_ms), [window, id](GtkWindowLayer& layer) {
        layer.onTimer(window, id);
        return true;
    });
    return true;
}

void GtkWindowLayer::onTimer(NativeWindowId id, std::uintptr_t timer) {
    GtkWindowRecord* w = find(id);
    if (w != nullptr && w->timers.count(timer) != 0)
        dispatchQueued(id, WM_TIMER, timer, 0);
}

bool GtkWindowLayer::killTimer(NativeWindowId window, std::uintptr_t id) {
    GtkWindowRecord* w = find(window);
    if (w == nullptr)
        return false;
    const auto it = w->timers.find(id);
    if (it == w->timers.end())
        return false;
    g_source_remove(it->second);
    w->timers.erase(it);
    return true;
}

std::uint32_t GtkWindowLayer::tickCount() const {
    return static_cast<std::uint32_t>(g_get_monotonic_time() / G_TIME_SPAN_MILLISECOND);
}

// Capture routes motion and release to the capturing window while it holds it; GDK's
// implicit grab already keeps them on the pressed window while a button is down.
void GtkWindowLayer::setCapture(NativeWindowId window) {
    if (exists(window))
        capture_ = window;
}

void GtkWindowLayer::releaseCapture() {
    capture_ = 0;
}

void GtkWindowLayer::setFocus(NativeWindowId window) {
    GtkWindowRecord* w = find(window);
    if (w == nullptr)
        return;
    GtkWindowRecord* top = toplevelOf(window);
    if (w->is_edit) {
        gtk_widget_grab_focus(w->widget.get());
    } else if (top != nullptr) {
        GtkWindow* gw = GTK_WINDOW(top->widget.get());
        // Keys go to the window itself, not to an entry that had GTK's focus.
        gtk_window_set_focus(gw, nullptr);
        if (gtk_widget_get_visible(top->widget.get()) && !gtk_window_is_active(gw))
            gtk_window_present(gw);
    }
    changeFocus(window);
}

UiPoint GtkWindowLayer::cursorPosition(NativeWindowId window) const {
    GtkWindowRecord* w = find(window);
    if (w == nullptr)
        return {};
    GdkWindow* gdk = gtk_widget_get_window(w->eventWidget());
    if (gdk == nullptr)
        return {};
    GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(gdk));
    double x = 0;
    double y = 0;
    gdk_window_get_device_position_double(gdk, gdk_seat_get_pointer(seat), &x, &y, nullptr);
    return {static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y))};
}

void GtkWindowLayer::setCursor(CursorShape shape) {
    input_->setCursor(shape);
}

void GtkWindowLayer::trackMouse(NativeWindowId window, unsigned hover_ms) {
    input_->trackMouse(window, hover_ms);
}

void GtkWindowLayer::beginMoveDrag(NativeWindowId window, UiPoint screen_point) {
    input_->beginMoveDrag(window, screen_point);
}

void GtkWindowLayer::beginResizeDrag(NativeWindowId window, LRESULT hit_code,
                                     UiPoint screen_point) {
    input_->beginResizeDrag(window, hit_code, screen_point);
}

NativeWindowId GtkWindowLayer::createEdit(const EditCreateParams& params) {
    return edits_->create(params);
}

std::string GtkWindowLayer::editText(NativeWindowId edit) const {
    return edits_->text(edit);
}

void GtkWindowLayer::setEditText(NativeWindowId edit, const std::string& text) {
    edits_->setText(edit, text);
}

void GtkWindowLayer::setEditSelection(NativeWindowId edit, int start, int end) {
    edits_->setSelection(edit, start, end);
}

std::pair<int, int> GtkWindowLayer::editSelection(NativeWindowId edit) const {
    return edits_->selection(edit);
}

int GtkWindowLayer::messageBox(NativeWindowId owner, const std::string& text,
                               const std::string& caption, UINT flags) {
    return GtkDialogs::messageBox(toplevelWidget(owner), text, caption, flags);
}

void GtkWindowLayer::showTooltip(NativeWindowId owner, const std::string& text, UiPoint at) {
    if (GtkWindowRecord* w = find(owner))
        GtkDialogs::showTooltip(*w, text, at);
}

void GtkWindowLayer::hideTooltip(NativeWindowId owner) {
    if (GtkWindowRecord* w = find(owner))
        GtkDialogs::hideTooltip(*w);
}

bool GtkWindowLayer::openUrl(const std::string& url) {
    return GtkDialogs::openUrl(url);
}

std::optional<std::string> GtkWindowLayer::pickFolder(NativeWindowId owner,
                                                      const std::string& title,
                                                      const std::string& prompt,
                                                      const std::string& initial_folder) {
    return GtkDialogs::pickFolder(toplevelWidget(owner), title, prompt, initial_folder);
}

} // namespace inkwarden
