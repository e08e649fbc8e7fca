#include "ui/native/gtk/GtkWindowLayer.h"

#include "platform/UniqueResource.h"
#include "ui/base/UiColor.h"
#include "ui/draw/DrawContext.h"
#include "ui/native/gtk/GtkKeyMap.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtk/gtk.h>
#include <vector>

namespace inkwarden {

namespace {

using SurfacePtr = UniqueResource<cairo_surface_t, cairo_surface_destroy>;
using RegionPtr = UniqueResource<cairo_region_t, cairo_region_destroy>;
// A top-level widget (or a child the layer put in a container) that the layer destroys.
using WidgetPtr = UniqueResource<GtkWidget, gtk_widget_destroy>;
using PixbufPtr = UniqueResource<GdkPixbuf, g_object_unref>;

using ErrorPtr = UniqueResource<GError, g_error_free>;

LPARAM PointParam(int x, int y) {
    return MAKELPARAM(x, y);
}

WPARAM KeyStateFlags(guint state) {
    WPARAM flags = 0;
    if (state & GDK_BUTTON1_MASK)
        flags |= MK_LBUTTON;
    if (state & GDK_BUTTON3_MASK)
        flags |= MK_RBUTTON;
    if (state & GDK_BUTTON2_MASK)
        flags |= MK_MBUTTON;
    if (state & GDK_SHIFT_MASK)
        flags |= MK_SHIFT;
    if (state & GDK_CONTROL_MASK)
        flags |= MK_CONTROL;
    return flags;
}

std::optional<GdkWindowEdge> EdgeOf(LRESULT hit) {
    switch (hit) {
    case HTLEFT:
        return GDK_WINDOW_EDGE_WEST;
    case HTRIGHT:
        return GDK_WINDOW_EDGE_EAST;
    case HTTOP:
        return GDK_WINDOW_EDGE_NORTH;
    case HTTOPLEFT:
        return GDK_WINDOW_EDGE_NORTH_WEST;
    case HTTOPRIGHT:
        return GDK_WINDOW_EDGE_NORTH_EAST;
    case HTBOTTOM:
        return GDK_WINDOW_EDGE_SOUTH;
    case HTBOTTOMLEFT:
        return GDK_WINDOW_EDGE_SOUTH_WEST;
    case HTBOTTOMRIGHT:
        return GDK_WINDOW_EDGE_SOUTH_EAST;
    default:
        return std::nullopt;
    }
}

int Utf8Length(const std::string& s) {
    return static_cast<int>(g_utf8_strlen(s.c_str(), static_cast<gssize>(s.size())));
}

} // namespace

struct GtkWindowLayer::Window {
    NativeWindowId id = 0;
    NativeWindowId parent = 0;
    bool is_edit = false;
    bool is_child = false; // drawn inside its parent's overlay
    std::uint32_t style = 0;
    MessageSink sink;
    WidgetPtr widget;           // the GtkWindow, or the child widget in the parent's fixed
    GtkWidget* area = nullptr;  // drawing area (owned by widget)
    GtkWidget* fixed = nullptr; // holds child windows and edits (owned by widget)
    SurfacePtr buffer;          // last presented pixels
    PresentMode mode = PresentMode::OPAQUE;
    std::uint8_t constant_alpha = 255;
    UiRect rect; // last known window rectangle (screen, or parent client)
    std::map<std::uintptr_t, guint> timers;
    guint hover_source = 0;
    unsigned hover_ms = 0;
    bool track_leave = false;
    bool pointer_inside = false;
    NativeWindowId saved_focus = 0; // logical focus while the toplevel is inactive
    gulong changed_handler = 0;
    WidgetPtr tooltip;
    PixbufPtr large_icon;
    PixbufPtr small_icon;
};

// What a signal handler is given: the layer and the window's id, looked up on each event
// so that events for a window that is gone are ignored.
struct GtkWindowLayer::Binding {
    GtkWindowLayer* layer;
    NativeWindowId id;
};

struct GtkWindowLayer::Callbacks {
    static Binding* B(gpointer data) { return static_cast<Binding*>(data); }
    static gboolean button(GtkWidget*, GdkEvent* e, gpointer d) {
        return B(d)->layer->onButton(B(d)->id, e);
    }
    static gboolean motion(GtkWidget*, GdkEvent* e, gpointer d) {
        return B(d)->layer->onMotion(B(d)->id, e);
    }
    static gboolean crossing(GtkWidget*, GdkEvent* e, gpointer d) {
        return B(d)->layer->onCrossing(B(d)->id, e);
    }
    static gboolean scroll(GtkWidget*, GdkEvent* e, gpointer d) {
        return B(d)->layer->onScroll(B(d)->id, e);
    }
    static gboolean key(GtkWidget*, GdkEvent* e, gpointer d) {
        return B(d)->layer->onKey(B(d)->id, e);
    }
    static gboolean focusIn(GtkWidget*, GdkEvent*, gpointer d) {
        return B(d)->layer->onFocus(B(d)->id, true);
    }
    static gboolean focusOut(GtkWidget*, GdkEvent*, gpointer d) {
        return B(d)->layer->onFocus(B(d)->id, false);
    }
    static gboolean configure(GtkWidget*, GdkEvent* e, gpointer d) {
        return B(d)->layer->onConfigure(B(d)->id, e);
    }
    static gboolean windowState(GtkWidget*, GdkEvent* e, gpointer d) {
        return B(d)->layer->onWindowState(B(d)->id, e);
    }
    static gboolean deleteEvent(GtkWidget*, GdkEvent*, gpointer d) {
        return B(d)->layer->onDelete(B(d)->id);
    }
    static gboolean draw(GtkWidget*, cairo_t* cr, gpointer d) {
        return B(d)->layer->onDraw(B(d)->id, cr);
    }
    static void changed(GtkEditable*, gpointer d) { B(d)->layer->onEditChanged(B(d)->id); }
    static void digitsOnly(GtkEditable* editable, gchar* text, gint length, gint*, gpointer) {
        for (gint i = 0; i < length; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                g_signal_stop_emission_by_name(editable, "insert-text");
                return;
            }
        }
    }
    static void freeBinding(gpointer d, GClosure*) { delete B(d); }
};

namespace {

struct TimerRecord {
    std::weak_ptr<GtkWindowLayer*> alive;
    NativeWindowId window;
    std::uintptr_t id;
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

} // namespace

std::unique_ptr<GtkWindowLayer> GtkWindowLayer::open() {
    // Windows paint through cairo image surfaces; loading the GL stack at display open costs
    // start-up time and tens of MiB for nothing. A user's own setting is kept.
    g_setenv("GDK_GL", "disable", FALSE);
    if (!gtk_init_check(nullptr, nullptr))
        return nullptr;
    return std::unique_ptr<GtkWindowLayer>(new GtkWindowLayer());
}

GtkWindowLayer::GtkWindowLayer() : alive_(std::make_shared<GtkWindowLayer*>(this)) {
    loop_ = g_main_loop_new(nullptr, FALSE);
}

GtkWindowLayer::~GtkWindowLayer() {
    *alive_ = nullptr;
    // Top-level windows first; their children go with them.
    std::vector<NativeWindowId> roots;
    for (const auto& [id, w] : windows_)
        if (w->parent == 0 || !exists(w->parent))
            roots.push_back(id);
    for (NativeWindowId id : roots)
        if (exists(id))
            destroy(id);
    for (auto& [shape, cursor] : cursors_)
        g_object_unref(cursor);
    g_main_loop_unref(static_cast<GMainLoop*>(loop_));
}

GtkWindowLayer::Window* GtkWindowLayer::find(NativeWindowId window) const {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.get();
}

GtkWindowLayer::Window* GtkWindowLayer::toplevelOf(NativeWindowId window) const {
    Window* w = find(window);
    while (w != nullptr && (w->is_edit || w->is_child))
        w = find(w->parent);
    return w;
}

void GtkWindowLayer::connect(GtkWidget* widget, const char* signal, void* handler,
                             NativeWindowId id) {
    g_signal_connect_data(widget, signal, G_CALLBACK(handler), new Binding{this, id},
                          Callbacks::freeBinding, GConnectFlags(0));
}

NativeWindowId GtkWindowLayer::create(const WindowCreateParams& params) {
    auto w = std::make_unique<Window>();
    const NativeWindowId id = next_id_++;
    w->id = id;
    w->parent = params.parent;
    w->style = params.style;
    w->sink = params.sink;
    w->rect = params.rect;
    const int width = std::max(1, params.rect.width());
    const int height = std::max(1, params.rect.height());

    Window* parent = find(params.parent);
    w->is_child = (params.style & WS_CHILD) != 0 && parent != nullptr && parent->fixed != nullptr;

    GtkWidget* overlay = gtk_overlay_new();
    w->area = gtk_drawing_area_new();
    w->fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(overlay), w->area);
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay), w->fixed);
    gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(overlay), w->fixed, TRUE);
    gtk_widget_add_events(w->area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                       GDK_POINTER_MOTION_MASK | GDK_ENTER_NOTIFY_MASK |
                                       GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK |
                                       GDK_SMOOTH_SCROLL_MASK);
    connect(w->area, "draw", reinterpret_cast<void*>(Callbacks::draw), id);
    connect(w->area, "button-press-event", reinterpret_cast<void*>(Callbacks::button), id);
    connect(w->area, "button-release-event", reinterpret_cast<void*>(Callbacks::button), id);
    connect(w->area, "motion-notify-event", reinterpret_cast<void*>(Callbacks::motion), id);
    connect(w->area, "enter-notify-event", reinterpret_cast<void*>(Callbacks::crossing), id);
    connect(w->area, "leave-notify-event", reinterpret_cast<void*>(Callbacks::crossing), id);
    connect(w->area, "scroll-event", reinterpret_cast<void*>(Callbacks::scroll), id);

    if (w->is_child) {
        gtk_widget_set_size_request(overlay, width, height);
        gtk_fixed_put(GTK_FIXED(parent->fixed), overlay, params.rect.left, params.rect.top);
        w->widget.reset(overlay);
    } else {
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window), params.title.c_str());
        gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
        gtk_widget_set_app_paintable(window, TRUE);
        GdkScreen* screen = gtk_widget_get_screen(window);
        if (GdkVisual* visual = gdk_screen_get_rgba_visual(screen))
            gtk_widget_set_visual(window, visual);
        gtk_window_set_default_size(GTK_WINDOW(window), width, height);
        gtk_window_move(GTK_WINDOW(window), params.rect.left, params.rect.top);
        if (params.ex_style & WS_EX_TOOLWINDOW) {
            gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window), TRUE);
            gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_UTILITY);
        }
        if (params.ex_style & WS_EX_TOPMOST)
            gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
        if (parent != nullptr) {
            if (Window* owner = toplevelOf(parent->id))
                gtk_window_set_transient_for(GTK_WINDOW(window), GTK_WINDOW(owner->widget.get()));
        }
        gtk_container_add(GTK_CONTAINER(window), overlay);
        gtk_widget_add_events(window, GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK |
                                          GDK_FOCUS_CHANGE_MASK | GDK_STRUCTURE_MASK);
        connect(window, "key-press-event", reinterpret_cast<void*>(Callbacks::key), id);
        connect(window, "key-release-event", reinterpret_cast<void*>(Callbacks::key), id);
        connect(window, "focus-in-event", reinterpret_cast<void*>(Callbacks::focusIn), id);
        connect(window, "focus-out-event", reinterpret_cast<void*>(Callbacks::focusOut), id);
        connect(window, "configure-event", reinterpret_cast<void*>(Callbacks::configure), id);
        connect(window, "window-state-event", reinterpret_cast<void*>(Callbacks::windowState), id);
        connect(window, "delete-event", reinterpret_cast<void*>(Callbacks::deleteEvent), id);
        w->widget.reset(window);
    }
    gtk_widget_show_all(overlay);
    windows_.emplace(id, std::move(w));

    send(id, WM_NCCREATE, 0, static_cast<LPARAM>(id));
    if (!exists(id) || send(id, WM_CREATE, 0, 0) == -1) {
        if (exists(id))
            destroy(id);
        return 0;
    }
    if (exists(id) && !find(id)->is_child)
        applyMinMaxInfo(id);
    if (exists(id) && (params.style & WS_VISIBLE))
        show(id, ShowCommand::SHOW);
    return exists(id) ? id : 0;
}

void GtkWindowLayer::destroy(NativeWindowId window) {
    if (find(window) == nullptr)
        return;
    send(window, WM_DESTROY, 0, 0);
    std::vector<NativeWindowId> children;
    for (const auto& [id, w] : windows_)
        if (w->parent == window)
            children.push_back(id);
    for (NativeWindowId child : children)
        destroy(child);
    Window* w = find(window);
    if (w == nullptr)
        return;
    for (const auto& [timer, source] : w->timers)
        g_source_remove(source);
    w->timers.clear();
    if (w->hover_source != 0)
        g_source_remove(w->hover_source);
    w->hover_source = 0;
    send(window, WM_NCDESTROY, 0, 0);
    // Taken out of the registry before GTK sees the destroy, so that its last events
    // find no window.
    auto node = windows_.extract(window);
    if (capture_ == window)
        releaseCapture();
    if (focus_ == window)
        focus_ = 0;
    if (pointer_window_ == window)
        pointer_window_ = 0;
    if (!node.empty() && node.mapped()->is_edit && node.mapped()->changed_handler != 0)
        g_signal_handler_disconnect(node.mapped()->widget.get(), node.mapped()->changed_handler);
}

void GtkWindowLayer::applyMinMaxInfo(NativeWindowId window) {
    const UiRect work = workArea(window);
    MINMAXINFO info;
    info.max_size = {work.width(), work.height()};
    info.max_position = {work.left, work.top};
    info.max_track_size = {work.width(), work.height()};
    send(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    Window* w = find(window);
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

NativeWindowId GtkWindowLayer::parentOf(NativeWindowId window) const {
    const Window* w = find(window);
    return w == nullptr ? 0 : w->parent;
}

bool GtkWindowLayer::dispatchQueued(NativeWindowId window, UINT message, WPARAM wparam,
                                    LPARAM lparam) {
    if (hook_) {
        // A copy: the hook may replace itself.
        const PreTranslateHook hook = hook_;
        if (hook(NativeMessage{window, message, wparam, lparam}))
            return false;
    }
    if (!exists(window))
        return false;
    send(window, message, wparam, lparam);
    return true;
}

bool GtkWindowLayer::exists(NativeWindowId window) const {
    return find(window) != nullptr;
}

LRESULT GtkWindowLayer::defaultProc(NativeWindowId window, UINT message, WPARAM wparam,
                                    LPARAM lparam) {
    switch (message) {
    case WM_NCCREATE:
        return 1;
    case WM_CLOSE:
        destroy(window);
        return 0;
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_NCLBUTTONDOWN: {
        const UiPoint p{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        const auto hit = static_cast<LRESULT>(wparam);
        if (hit == HTCAPTION)
            beginMoveDrag(window, p);
        else if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT)
            beginResizeDrag(window, hit, p);
        return 0;
    }
    case WM_NCLBUTTONDBLCLK:
        if (static_cast<LRESULT>(wparam) == HTCAPTION)
            show(window, isMaximized(window) ? ShowCommand::RESTORE : ShowCommand::MAXIMIZE);
        return 0;
    case WM_SYSKEYDOWN:
        if (wparam == VK_F4)
            send(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND:
        switch (wparam & 0xFFF0) {
        case SC_CLOSE:
            send(window, WM_CLOSE, 0, 0);
            break;
        case SC_MINIMIZE:
            show(window, ShowCommand::MINIMIZE);
            break;
        case SC_MAXIMIZE:
            show(window, ShowCommand::MAXIMIZE);
            break;
        case SC_RESTORE:
            show(window, ShowCommand::RESTORE);
            break;
        default:
            break;
        }
        return 0;
    case WM_MOUSEACTIVATE:
        return MA_ACTIVATE;
    default:
        return 0;
    }
}

LRESULT GtkWindowLayer::send(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) {
    Window* w = find(window);
    if (w == nullptr)
        return 0;
    if (!w->sink)
        return defaultProc(window, message, wparam, lparam);
    // A copy: the sink may destroy its own window.
    MessageSink sink = w->sink;
    return sink(message, wparam, lparam);
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
    Window* w = find(window);
    if (w == nullptr)
        return {};
    GtkWidget* widget = w->is_edit ? w->widget.get() : w->area;
    int width = gtk_widget_get_allocated_width(widget);
    int height = gtk_widget_get_allocated_height(widget);
    if (!gtk_widget_get_realized(widget) || width <= 1) {
        width = w->rect.width();
        height = w->rect.height();
    }
    return {0, 0, width, height};
}

UiRect GtkWindowLayer::windowRect(NativeWindowId window) const {
    Window* w = find(window);
    if (w == nullptr)
        return {};
    if (w->is_edit || w->is_child)
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
    Window* w = find(window);
    if (w == nullptr)
        return;
    const int width = std::max(1, rect.width());
    const int height = std::max(1, rect.height());
    const bool resized = width != w->rect.width() || height != w->rect.height();
    w->rect = rect;
    if (w->is_edit || w->is_child) {
        Window* parent = find(w->parent);
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
    if (Window* w = toplevelOf(window)) {
        if (GdkWindow* gdk = gtk_widget_get_window(w->widget.get()))
            monitor = gdk_display_get_monitor_at_window(display, gdk);
    }
    if (monitor == nullptr)
        monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr)
        monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr)
        return {0, 0, 1024, 768};
    GdkRectangle r;
    gdk_monitor_get_workarea(monitor, &r);
    return {r.x, r.y, r.x + r.width, r.y + r.height};
}

void GtkWindowLayer::show(NativeWindowId window, ShowCommand command) {
    Window* w = find(window);
    if (w == nullptr)
        return;
    GtkWidget* widget = w->widget.get();
    if (w->is_edit || w->is_child) {
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
    Window* w = find(window);
    return w != nullptr && gtk_widget_get_visible(w->widget.get());
}

namespace {

GdkWindowState StateOf(GtkWidget* widget) {
    GdkWindow* gdk = gtk_widget_get_window(widget);
    return gdk == nullptr ? GdkWindowState(0) : gdk_window_get_state(gdk);
}

} // namespace

bool GtkWindowLayer::isMinimized(NativeWindowId window) const {
    Window* w = find(window);
    return w != nullptr && !w->is_edit && !w->is_child &&
           (StateOf(w->widget.get()) & GDK_WINDOW_STATE_ICONIFIED) != 0;
}

bool GtkWindowLayer::isMaximized(NativeWindowId window) const {
    Window* w = find(window);
    return w != nullptr && !w->is_edit && !w->is_child &&
           (StateOf(w->widget.get()) & GDK_WINDOW_STATE_MAXIMIZED) != 0;
}

void GtkWindowLayer::setTitle(NativeWindowId window, const std::string& title) {
    Window* w = find(window);
    if (w != nullptr && !w->is_edit && !w->is_child)
        gtk_window_set_title(GTK_WINDOW(w->widget.get()), title.c_str());
}

void GtkWindowLayer::setIcon(NativeWindowId window, const DrawContext& image, bool large) {
    Window* w = find(window);
    if (w == nullptr || w->is_edit || w->is_child || image.surface() == nullptr)
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
    Window* w = toplevelOf(window);
    if (w == nullptr)
        return false;
    GdkWindow* gdk = gtk_widget_get_window(w->widget.get());
    if (gdk == nullptr || !gdk_window_is_viewable(gdk))
        return false;
    // What the display server shows, read back from the window.
    PixbufPtr pixbuf(gdk_pixbuf_get_from_window(gdk, 0, 0, gdk_window_get_width(gdk),
                                                gdk_window_get_height(gdk)));
    if (!pixbuf)
        return false;
    GError* error = nullptr;
    const bool saved = gdk_pixbuf_save(pixbuf.get(), path.c_str(), "png", &error, nullptr) != FALSE;
    if (error != nullptr)
        g_error_free(error);
    return saved;
}

void GtkWindowLayer::invalidate(NativeWindowId window, const UiRect& rect) {
    Window* w = find(window);
    if (w == nullptr || w->is_edit)
        return;
    // The toolkit paints on WM_PAINT and presents; the draw handler only shows the result.
    post(window, WM_PAINT, 0, 0);
    (void)rect;
}

bool GtkWindowLayer::supportsPerPixelAlpha(NativeWindowId window) const {
    Window* w = toplevelOf(window);
    if (w == nullptr)
        return false;
    GdkScreen* screen = gtk_widget_get_screen(w->widget.get());
    return gdk_screen_get_rgba_visual(screen) != nullptr && gdk_screen_is_composited(screen);
}

void GtkWindowLayer::present(NativeWindowId window, const DrawContext& buffer, const UiRect& area,
                             PresentMode mode, std::uint8_t constant_alpha) {
    Window* w = find(window);
    if (w == nullptr || w->is_edit || buffer.surface() == nullptr)
        return;
    const int width = buffer.width();
    const int height = buffer.height();
    if (!w->buffer || cairo_image_surface_get_width(w->buffer.get()) != width ||
        cairo_image_surface_get_height(w->buffer.get()) != height) {
        w->buffer.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    }
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

bool GtkWindowLayer::onDraw(NativeWindowId id, void* data) {
    Window* w = find(id);
    if (w == nullptr)
        return FALSE;
    auto* cr = static_cast<cairo_t*>(data);
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
    Window* w = find(window);
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

bool GtkWindowLayer::setTimer(NativeWindowId window, std::uintptr_t id, unsigned elapse_ms) {
    Window* w = find(window);
    if (w == nullptr)
        return false;
    if (const auto it = w->timers.find(id); it != w->timers.end()) {
        g_source_remove(it->second);
        w->timers.erase(it);
    }
    auto* record = new TimerRecord{alive_, window, id};
    const guint source = g_timeout_add_full(
        G_PRIORITY_DEFAULT, std::max(1u, elapse_ms),
        [](gpointer data) -> gboolean {
            const auto* r = static_cast<TimerRecord*>(data);
            if (const auto alive = r->alive.lock(); alive && *alive != nullptr)
                (*alive)->onTimer(r->window, r->id);
            return G_SOURCE_CONTINUE;
        },
        record, [](gpointer data) { delete static_cast<TimerRecord*>(data); });
    w->timers[id] = source;
    return true;
}

void GtkWindowLayer::onTimer(NativeWindowId id, std::uintptr_t timer) {
    Window* w = find(id);
    if (w != nullptr && w->timers.count(timer) != 0)
        dispatchQueued(id, WM_TIMER, timer, 0);
}

bool GtkWindowLayer::killTimer(NativeWindowId window, std::uintptr_t id) {
    Window* w = find(window);
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
    return static_cast<std::uint32_t>(g_get_monotonic_time() / 1000);
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

void GtkWindowLayer::setCursor(CursorShape shape) {
    cursor_ = shape;
    Window* w = find(pointer_window_);
    if (w == nullptr)
        return;
    GdkWindow* gdk = gtk_widget_get_window(w->area);
    if (gdk == nullptr)
        return;
    auto it = cursors_.find(shape);
    if (it == cursors_.end()) {
        const char* name = shape == CursorShape::HAND    ? "pointer"
                           : shape == CursorShape::IBEAM ? "text"
                                                         : "default";
        GdkCursor* cursor = gdk_cursor_new_from_name(gdk_window_get_display(gdk), name);
        if (cursor == nullptr)
            return;
        it = cursors_.emplace(shape, cursor).first;
    }
    gdk_window_set_cursor(gdk, it->second);
}

void GtkWindowLayer::changeFocus(NativeWindowId window) {
    const NativeWindowId old = focus_;
    if (old == window)
        return;
    focus_ = window;
    if (old != 0)
        send(old, WM_KILLFOCUS, static_cast<WPARAM>(window), 0);
    if (window != 0 && exists(window) && focus_ == window)
        send(window, WM_SETFOCUS, static_cast<WPARAM>(old), 0);
}

void GtkWindowLayer::setFocus(NativeWindowId window) {
    Window* w = find(window);
    if (w == nullptr)
        return;
    Window* top = toplevelOf(window);
    if (w->is_edit) {
        gtk_widget_grab_focus(w->widget.get());
    } else if (top != nullptr) {
        // Keys go to the window itself, not to an entry that had GTK's focus.
        gtk_window_set_focus(GTK_WINDOW(top->widget.get()), nullptr);
        if (gtk_widget_get_visible(top->widget.get()) &&
            !gtk_window_is_active(GTK_WINDOW(top->widget.get())))
            gtk_window_present(GTK_WINDOW(top->widget.get()));
    }
    changeFocus(window);
}

UiPoint GtkWindowLayer::cursorPosition(NativeWindowId window) const {
    Window* w = find(window);
    if (w == nullptr)
        return {};
    GtkWidget* widget = w->is_edit ? w->widget.get() : w->area;
    GdkWindow* gdk = gtk_widget_get_window(widget);
    if (gdk == nullptr)
        return {};
    GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(gdk));
    double x = 0;
    double y = 0;
    gdk_window_get_device_position_double(gdk, gdk_seat_get_pointer(seat), &x, &y, nullptr);
    return {static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y))};
}

void GtkWindowLayer::trackMouse(NativeWindowId window, unsigned hover_ms) {
    Window* w = find(window);
    if (w == nullptr)
        return;
    w->track_leave = true;
    w->hover_ms = hover_ms;
    if (w->hover_source != 0)
        g_source_remove(w->hover_source);
    w->hover_source = 0;
    if (!w->pointer_inside) {
        // The pointer is already elsewhere: the leave is due at once.
        post(window, WM_MOUSELEAVE, 0, 0);
        w->track_leave = false;
        return;
    }
    if (hover_ms == 0)
        return;
    auto* record = new TimerRecord{alive_, window, 0};
    w->hover_source = g_timeout_add_full(
        G_PRIORITY_DEFAULT, hover_ms,
        [](gpointer data) -> gboolean {
            const auto* r = static_cast<TimerRecord*>(data);
            if (const auto alive = r->alive.lock(); alive && *alive != nullptr)
                (*alive)->onHoverElapsed(r->window);
            return G_SOURCE_REMOVE;
        },
        record, [](gpointer data) { delete static_cast<TimerRecord*>(data); });
}

void GtkWindowLayer::onHoverElapsed(NativeWindowId id) {
    Window* w = find(id);
    if (w == nullptr)
        return;
    w->hover_source = 0;
    if (w->hover_ms == 0)
        return;
    w->hover_ms = 0; // one hover per trackMouse
    const UiPoint p = cursorPosition(id);
    dispatchQueued(id, WM_MOUSEHOVER, 0, PointParam(p.x, p.y));
}

void GtkWindowLayer::beginMoveDrag(NativeWindowId window, UiPoint screen_point) {
    Window* w = toplevelOf(window);
    if (w == nullptr)
        return;
    capture_ = 0;
    gtk_window_begin_move_drag(GTK_WINDOW(w->widget.get()),
                               static_cast<gint>(press_button_ ? press_button_ : 1), screen_point.x,
                               screen_point.y, press_time_);
}

void GtkWindowLayer::beginResizeDrag(NativeWindowId window, LRESULT hit_code,
                                     UiPoint screen_point) {
    Window* w = toplevelOf(window);
    const auto edge = EdgeOf(hit_code);
    if (w == nullptr || !edge)
        return;
    capture_ = 0;
    gtk_window_begin_resize_drag(GTK_WINDOW(w->widget.get()), *edge,
                                 static_cast<gint>(press_button_ ? press_button_ : 1),
                                 screen_point.x, screen_point.y, press_time_);
}

namespace {

// The client point of a root point in a window's drawing area.
UiPoint ClientPoint(GtkWidget* area, double x_root, double y_root) {
    int ox = 0;
    int oy = 0;
    if (GdkWindow* gdk = gtk_widget_get_window(area))
        gdk_window_get_origin(gdk, &ox, &oy);
    return {static_cast<int>(std::floor(x_root)) - ox, static_cast<int>(std::floor(y_root)) - oy};
}

} // namespace

bool GtkWindowLayer::onButton(NativeWindowId id, GdkEvent* event) {
    const GdkEventButton& b = event->button;
    // Double clicks are found below; GDK's own double and triple presses would repeat them.
    if (b.type == GDK_2BUTTON_PRESS || b.type == GDK_3BUTTON_PRESS)
        return TRUE;
    const bool left = b.button == 1;
    const bool right = b.button == 3;
    if (!left && !right)
        return FALSE;
    NativeWindowId target = capture_ != 0 && exists(capture_) ? capture_ : id;
    Window* w = find(target);
    if (w == nullptr)
        return FALSE;
    const UiPoint client = ClientPoint(w->area, b.x_root, b.y_root);
    const int sx = static_cast<int>(std::floor(b.x_root));
    const int sy = static_cast<int>(std::floor(b.y_root));

    if (b.type == GDK_BUTTON_RELEASE) {
        WPARAM keys = KeyStateFlags(b.state) & ~(left ? MK_LBUTTON : MK_RBUTTON);
        dispatchQueued(target, left ? WM_LBUTTONUP : WM_RBUTTONUP, keys,
                       PointParam(client.x, client.y));
        return TRUE;
    }

    press_button_ = b.button;
    press_time_ = b.time;
    GtkSettings* settings = gtk_widget_get_settings(w->area);
    gint double_time = 400;
    gint double_distance = 5;
    g_object_get(settings, "gtk-double-click-time", &double_time, "gtk-double-click-distance",
                 &double_distance, nullptr);
    const bool is_double = !last_press_was_double_ && last_press_window_ == target &&
                           last_press_button_ == b.button &&
                           b.time - last_press_time_ <= static_cast<guint32>(double_time) &&
                           std::abs(sx - last_press_x_) <= double_distance &&
                           std::abs(sy - last_press_y_) <= double_distance;
    last_press_was_double_ = is_double;
    last_press_window_ = target;
    last_press_button_ = b.button;
    last_press_time_ = b.time;
    last_press_x_ = sx;
    last_press_y_ = sy;

    // Clicking a window gives it the keyboard, unless an edit of it has GTK's focus.
    if (Window* top = toplevelOf(target); top != nullptr && focus_ != target) {
        Window* focused = find(focus_);
        if (focused == nullptr || !focused->is_edit || toplevelOf(focus_) != top)
            setFocus(target);
    }

    const LRESULT hit =
        capture_ == target ? HTCLIENT : send(target, WM_NCHITTEST, 0, PointParam(sx, sy));
    if (!exists(target))
        return TRUE;
    const WPARAM keys = KeyStateFlags(b.state) | (left ? MK_LBUTTON : MK_RBUTTON);
    if (hit == HTCLIENT) {
        UINT message = left ? (is_double ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN) : WM_RBUTTONDOWN;
        dispatchQueued(target, message, keys, PointParam(client.x, client.y));
    } else if (left) {
        dispatchQueued(target, is_double ? WM_NCLBUTTONDBLCLK : WM_NCLBUTTONDOWN,
                       static_cast<WPARAM>(hit), PointParam(sx, sy));
    }
    return TRUE;
}

bool GtkWindowLayer::onMotion(NativeWindowId id, GdkEvent* event) {
    const GdkEventMotion& m = event->motion;
    NativeWindowId target = capture_ != 0 && exists(capture_) ? capture_ : id;
    Window* w = find(target);
    if (w == nullptr)
        return FALSE;
    pointer_window_ = id;
    if (Window* under = find(id))
        under->pointer_inside = true;
    // Moving restarts the hover wait.
    if (w->hover_ms != 0 && w->hover_source != 0)
        trackMouse(target, w->hover_ms);
    const UiPoint client = ClientPoint(w->area, m.x_root, m.y_root);
    dispatchQueued(target, WM_MOUSEMOVE, KeyStateFlags(m.state), PointParam(client.x, client.y));
    gdk_event_request_motions(&m);
    return TRUE;
}

bool GtkWindowLayer::onCrossing(NativeWindowId id, GdkEvent* event) {
    const GdkEventCrossing& c = event->crossing;
    Window* w = find(id);
    if (w == nullptr || c.detail == GDK_NOTIFY_INFERIOR)
        return FALSE;
    if (c.type == GDK_ENTER_NOTIFY) {
        w->pointer_inside = true;
        pointer_window_ = id;
        setCursor(cursor_);
        return FALSE;
    }
    // Leaving for one of our own entries over the window is not leaving the window.
    if (c.mode != GDK_CROSSING_NORMAL && c.mode != GDK_CROSSING_UNGRAB)
        return FALSE;
    w->pointer_inside = false;
    if (w->hover_source != 0)
        g_source_remove(w->hover_source);
    w->hover_source = 0;
    w->hover_ms = 0;
    if (w->track_leave) {
        w->track_leave = false;
        dispatchQueued(id, WM_MOUSELEAVE, 0, 0);
    }
    return FALSE;
}

bool GtkWindowLayer::onScroll(NativeWindowId id, GdkEvent* event) {
    const GdkEventScroll& s = event->scroll;
    int delta = 0;
    switch (s.direction) {
    case GDK_SCROLL_UP:
        delta = WHEEL_DELTA;
        break;
    case GDK_SCROLL_DOWN:
        delta = -WHEEL_DELTA;
        break;
    case GDK_SCROLL_SMOOTH:
        delta = static_cast<int>(std::lround(-s.delta_y * WHEEL_DELTA));
        break;
    default:
        return FALSE;
    }
    if (delta == 0)
        return TRUE;
    // Like the original platform, the wheel goes to the window with the keyboard.
    Window* top = toplevelOf(id);
    NativeWindowId target = focus_ != 0 && toplevelOf(focus_) == top ? focus_ : id;
    const int sx = static_cast<int>(std::floor(s.x_root));
    const int sy = static_cast<int>(std::floor(s.y_root));
    dispatchQueued(target, WM_MOUSEWHEEL,
                   MAKEWPARAM(static_cast<int>(KeyStateFlags(s.state)), delta), PointParam(sx, sy));
    return TRUE;
}

bool GtkWindowLayer::onKey(NativeWindowId id, GdkEvent* event) {
    const GdkEventKey& k = event->key;
    Window* self = find(id);
    if (self == nullptr)
        return FALSE;
    NativeWindowId target = id;
    if (!self->is_edit) {
        // An entry with GTK's focus gets its keys through its own handler.
        GtkWidget* focused = gtk_window_get_focus(GTK_WINDOW(self->widget.get()));
        if (focused != nullptr && GTK_IS_ENTRY(focused))
            return FALSE;
        if (focus_ != 0 && toplevelOf(focus_) == self)
            target = focus_;
    }
    // The key's own symbol without modifiers, so Shift+1 is still the key 1.
    guint base = k.keyval;
    gdk_keymap_translate_keyboard_state(gdk_keymap_get_for_display(gdk_display_get_default()),
                                        k.hardware_keycode, GdkModifierType(0), k.group, &base,
                                        nullptr, nullptr, nullptr);
    const UINT vk = VirtualKeyFromKeyval(base) != 0 ? VirtualKeyFromKeyval(base)
                                                    : VirtualKeyFromKeyval(k.keyval);
    const bool alt = (k.state & GDK_MOD1_MASK) != 0 || vk == VK_MENU;
    const bool control = (k.state & GDK_CONTROL_MASK) != 0;
    if (k.type == GDK_KEY_RELEASE) {
        keys_down_.erase(k.hardware_keycode);
        if (vk == 0)
            return FALSE;
        const auto lparam = static_cast<LPARAM>(0xC0000001u | (alt ? 0x20000000u : 0));
        dispatchQueued(target, alt ? WM_SYSKEYUP : WM_KEYUP, vk, lparam);
        return !self->is_edit || vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_TAB;
    }
    const bool repeat = !keys_down_.insert(k.hardware_keycode).second;
    bool delivered = true;
    if (vk != 0) {
        const auto lparam =
            static_cast<LPARAM>(1u | (repeat ? 0x40000000u : 0) | (alt ? 0x20000000u : 0));
        delivered = dispatchQueued(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lparam);
    }
    if (!exists(id))
        return TRUE;
    if (self->is_edit) {
        // The entry types the text itself; keys it has no use for stay with the toolkit,
        // and so does a key the message loop took.
        return !delivered || vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_TAB;
    }
    // A key down the message loop took makes no character.
    if (!delivered || !exists(target))
        return TRUE;
    if (const unsigned ch = CharacterFromKeyval(k.keyval, control && !alt); ch != 0)
        dispatchQueued(target, alt ? WM_SYSCHAR : WM_CHAR, ch, 1);
    return TRUE;
}

bool GtkWindowLayer::onFocus(NativeWindowId id, bool in) {
    Window* w = find(id);
    if (w == nullptr)
        return FALSE;
    if (w->is_edit) {
        if (in)
            changeFocus(id);
        return FALSE;
    }
    if (in) {
        // The window is active again: its last focus (or itself) gets the keyboard.
        const NativeWindowId restore =
            w->saved_focus != 0 && exists(w->saved_focus) ? w->saved_focus : id;
        w->saved_focus = 0;
        if (Window* r = find(restore); r != nullptr && r->is_edit)
            gtk_widget_grab_focus(r->widget.get());
        changeFocus(restore);
    } else if (focus_ != 0 && toplevelOf(focus_) == w) {
        w->saved_focus = focus_;
        changeFocus(0);
    }
    return FALSE;
}

bool GtkWindowLayer::onConfigure(NativeWindowId id, GdkEvent* event) {
    Window* w = find(id);
    if (w == nullptr)
        return FALSE;
    const GdkEventConfigure& c = event->configure;
    int x = c.x;
    int y = c.y;
    if (GdkWindow* gdk = gtk_widget_get_window(w->widget.get()))
        gdk_window_get_origin(gdk, &x, &y);
    const UiRect old = w->rect;
    w->rect = {x, y, x + c.width, y + c.height};
    if (old.left != x || old.top != y)
        send(id, WM_MOVE, 0, PointParam(x, y));
    if (exists(id) && (old.width() != c.width || old.height() != c.height)) {
        const WPARAM kind = isMaximized(id) ? SIZE_MAXIMIZED : SIZE_RESTORED;
        send(id, WM_SIZE, kind, MAKELPARAM(c.width, c.height));
    }
    return FALSE;
}

bool GtkWindowLayer::onWindowState(NativeWindowId id, GdkEvent* event) {
    const GdkEventWindowState& s = event->window_state;
    if ((s.changed_mask & GDK_WINDOW_STATE_ICONIFIED) &&
        (s.new_window_state & GDK_WINDOW_STATE_ICONIFIED))
        send(id, WM_SIZE, SIZE_MINIMIZED, 0);
    return FALSE;
}

bool GtkWindowLayer::onDelete(NativeWindowId id) {
    // The toolkit decides; GTK never destroys the window by itself.
    send(id, WM_CLOSE, 0, 0);
    return TRUE;
}

NativeWindowId GtkWindowLayer::createEdit(const EditCreateParams& params) {
    Window* parent = find(params.parent);
    if (parent == nullptr || parent->fixed == nullptr)
        return 0;
    auto w = std::make_unique<Window>();
    const NativeWindowId id = next_id_++;
    w->id = id;
    w->parent = params.parent;
    w->is_edit = true;
    w->style = params.style;
    w->sink = params.sink;
    w->rect = params.rect;

    GtkWidget* entry = gtk_entry_new();
    GtkEntry* e = GTK_ENTRY(entry);
    gtk_entry_set_has_frame(e, FALSE);
    gtk_widget_set_size_request(entry, std::max(1, params.rect.width()),
                                std::max(1, params.rect.height()));
    // A bare entry: the control under it draws the frame and background.
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(
        css, "entry { min-height: 0; padding: 0 2px; border: none; box-shadow: none; }", -1,
        nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(entry), GTK_STYLE_PROVIDER(css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
    PangoAttrList* attrs = pango_attr_list_new();
    if (params.font != nullptr)
        pango_attr_list_insert(attrs, pango_attr_font_desc_new(params.font));
    const WideChannels c = ToWideChannels(params.text_color);
    pango_attr_list_insert(attrs, pango_attr_foreground_new(c.red, c.green, c.blue));
    gtk_entry_set_attributes(e, attrs);
    pango_attr_list_unref(attrs);
    gtk_entry_set_max_length(e, std::max(0, params.limit));
    gtk_entry_set_text(e, params.text.c_str());
    if (params.style & ES_PASSWORD) {
        gtk_entry_set_visibility(e, FALSE);
        const gunichar ch = params.password_char.empty()
                                ? gunichar('*')
                                : g_utf8_get_char_validated(params.password_char.c_str(), -1);
        gtk_entry_set_invisible_char(e, ch == gunichar(-1) || ch == gunichar(-2) ? '*' : ch);
    }
    if (params.style & ES_READONLY)
        gtk_editable_set_editable(GTK_EDITABLE(entry), FALSE);
    const float align = (params.style & ES_CENTER) ? 0.5f : (params.style & ES_RIGHT) ? 1.0f : 0.0f;
    gtk_entry_set_alignment(e, align);
    if (params.style & ES_NUMBER) {
        gtk_entry_set_input_purpose(e, GTK_INPUT_PURPOSE_DIGITS);
        g_signal_connect(entry, "insert-text", G_CALLBACK(Callbacks::digitsOnly), nullptr);
    }
    connect(entry, "key-press-event", reinterpret_cast<void*>(Callbacks::key), id);
    connect(entry, "key-release-event", reinterpret_cast<void*>(Callbacks::key), id);
    connect(entry, "focus-in-event", reinterpret_cast<void*>(Callbacks::focusIn), id);
    g_signal_connect_data(entry, "changed", G_CALLBACK(Callbacks::changed), new Binding{this, id},
                          Callbacks::freeBinding, GConnectFlags(0));
    w->changed_handler =
        g_signal_handler_find(entry, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                              reinterpret_cast<gpointer>(Callbacks::changed), nullptr);
    gtk_fixed_put(GTK_FIXED(parent->fixed), entry, params.rect.left, params.rect.top);
    gtk_widget_show(entry);
    w->widget.reset(entry);
    windows_.emplace(id, std::move(w));
    return id;
}

void GtkWindowLayer::onEditChanged(NativeWindowId id) {
    Window* w = find(id);
    if (w != nullptr)
        send(w->parent, WM_COMMAND, MAKEWPARAM(0, EN_CHANGE), static_cast<LPARAM>(id));
}

std::string GtkWindowLayer::editText(NativeWindowId edit) const {
    Window* w = find(edit);
    if (w == nullptr || !w->is_edit)
        return {};
    return gtk_entry_get_text(GTK_ENTRY(w->widget.get()));
}

void GtkWindowLayer::setEditText(NativeWindowId edit, const std::string& text) {
    Window* w = find(edit);
    if (w == nullptr || !w->is_edit)
        return;
    // Only the user's typing is reported as a change.
    g_signal_handler_block(w->widget.get(), w->changed_handler);
    gtk_entry_set_text(GTK_ENTRY(w->widget.get()), text.c_str());
    g_signal_handler_unblock(w->widget.get(), w->changed_handler);
}

void GtkWindowLayer::setEditSelection(NativeWindowId edit, int start, int end) {
    Window* w = find(edit);
    if (w == nullptr || !w->is_edit)
        return;
    const int length = Utf8Length(gtk_entry_get_text(GTK_ENTRY(w->widget.get())));
    if (end < 0 || end > length)
        end = length;
    start = std::clamp(start, 0, end);
    gtk_editable_select_region(GTK_EDITABLE(w->widget.get()), start, end);
}

std::pair<int, int> GtkWindowLayer::editSelection(NativeWindowId edit) const {
    Window* w = find(edit);
    if (w == nullptr || !w->is_edit)
        return {0, 0};
    gint start = 0;
    gint end = 0;
    if (!gtk_editable_get_selection_bounds(GTK_EDITABLE(w->widget.get()), &start, &end)) {
        start = end = gtk_editable_get_position(GTK_EDITABLE(w->widget.get()));
    }
    return {std::min(start, end), std::max(start, end)};
}

int GtkWindowLayer::messageBox(NativeWindowId owner, const std::string& text,
                               const std::string& caption, UINT flags) {
    GtkWindow* parent = nullptr;
    if (Window* top = toplevelOf(owner))
        parent = GTK_WINDOW(top->widget.get());
    GtkMessageType type = GTK_MESSAGE_OTHER;
    switch (flags & MB_ICONMASK) {
    case MB_ICONERROR:
        type = GTK_MESSAGE_ERROR;
        break;
    case MB_ICONQUESTION:
        type = GTK_MESSAGE_QUESTION;
        break;
    case MB_ICONWARNING:
        type = GTK_MESSAGE_WARNING;
        break;
    case MB_ICONINFORMATION:
        type = GTK_MESSAGE_INFO;
        break;
    default:
        break;
    }
    const UINT kind = flags & MB_TYPEMASK;
    const GtkButtonsType buttons = kind == MB_OKCANCEL ? GTK_BUTTONS_OK_CANCEL
                                   : kind == MB_YESNO  ? GTK_BUTTONS_YES_NO
                                                       : GTK_BUTTONS_OK;
    GtkWidget* dialog =
        gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, buttons, "%s", text.c_str());
    WidgetPtr holder(dialog);
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    if (parent == nullptr)
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    switch (response) {
    case GTK_RESPONSE_OK:
        return IDOK;
    case GTK_RESPONSE_YES:
        return IDYES;
    case GTK_RESPONSE_NO:
        return IDNO;
    default:
        // Closing a box that has only OK answers OK, as on the original platform.
        return kind == MB_OK ? IDOK : kind == MB_YESNO ? IDNO : IDCANCEL;
    }
}

void GtkWindowLayer::showTooltip(NativeWindowId owner, const std::string& text, UiPoint at) {
    Window* w = find(owner);
    if (w == nullptr)
        return;
    if (!w->tooltip) {
        GtkWidget* tip = gtk_window_new(GTK_WINDOW_POPUP);
        gtk_window_set_type_hint(GTK_WINDOW(tip), GDK_WINDOW_TYPE_HINT_TOOLTIP);
        gtk_style_context_add_class(gtk_widget_get_style_context(tip), "tooltip");
        GtkWidget* label = gtk_label_new(nullptr);
        gtk_widget_set_margin_start(label, 6);
        gtk_widget_set_margin_end(label, 6);
        gtk_widget_set_margin_top(label, 4);
        gtk_widget_set_margin_bottom(label, 4);
        gtk_container_add(GTK_CONTAINER(tip), label);
        w->tooltip.reset(tip);
    }
    GtkWidget* tip = w->tooltip.get();
    gtk_label_set_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(tip))), text.c_str());
    int ox = 0;
    int oy = 0;
    if (GdkWindow* gdk = gtk_widget_get_window(w->is_edit ? w->widget.get() : w->area))
        gdk_window_get_origin(gdk, &ox, &oy);
    gtk_window_resize(GTK_WINDOW(tip), 1, 1);
    gtk_window_move(GTK_WINDOW(tip), ox + at.x, oy + at.y);
    gtk_widget_show_all(tip);
}

void GtkWindowLayer::hideTooltip(NativeWindowId owner) {
    Window* w = find(owner);
    if (w != nullptr && w->tooltip)
        gtk_widget_hide(w->tooltip.get());
}

bool GtkWindowLayer::openUrl(const std::string& url) {
    if (url.empty() || !g_uri_parse_scheme(url.c_str()))
        return false;
    GError* error = nullptr;
    const gboolean ok = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
    ErrorPtr holder(error);
    return ok != FALSE;
}

std::optional<std::string> GtkWindowLayer::pickFolder(NativeWindowId owner,
                                                      const std::string& title,
                                                      const std::string& prompt,
                                                      const std::string& initial_folder) {
    GtkWindow* parent = nullptr;
    if (Window* top = toplevelOf(owner))
        parent = GTK_WINDOW(top->widget.get());
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        title.c_str(), parent, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel",
        GTK_RESPONSE_CANCEL, "_Select", GTK_RESPONSE_ACCEPT, nullptr);
    WidgetPtr holder(dialog);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_create_folders(chooser, TRUE);
    if (!prompt.empty()) {
        GtkWidget* label = gtk_label_new(prompt.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        gtk_widget_set_margin_start(label, 8);
        gtk_widget_set_margin_top(label, 8);
        GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
        gtk_box_pack_start(GTK_BOX(content), label, FALSE, FALSE, 0);
        gtk_box_reorder_child(GTK_BOX(content), label, 0);
        gtk_widget_show(label);
    }
    if (!initial_folder.empty()) {
        // Select the folder itself when it exists, else open the nearest parent that does.
        std::string folder = initial_folder;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        if (g_file_test(folder.c_str(), G_FILE_TEST_IS_DIR)) {
            gtk_file_chooser_set_filename(chooser, folder.c_str());
        } else {
            gchar* dir = g_path_get_dirname(folder.c_str());
            while (!g_file_test(dir, G_FILE_TEST_IS_DIR) && std::strlen(dir) > 1) {
                gchar* up = g_path_get_dirname(dir);
                g_free(dir);
                dir = up;
            }
            if (g_file_test(dir, G_FILE_TEST_IS_DIR))
                gtk_file_chooser_set_current_folder(chooser, dir);
            g_free(dir);
        }
    }
    if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_ACCEPT)
        return std::nullopt;
    gchar* name = gtk_file_chooser_get_filename(chooser);
    if (name == nullptr)
        return std::nullopt;
    std::string result = name;
    g_free(name);
    return result;
}

} // namespace inkwarden
