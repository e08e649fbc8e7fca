#include "ui/native/headless/HeadlessWindowLayer.h"

#include "ui/draw/DrawContext.h"

#include <algorithm>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace inkwarden {

namespace {

LPARAM PointParam(UiPoint p) {
    return MAKELPARAM(p.x, p.y);
}

} // namespace

HeadlessWindowLayer::HeadlessWindowLayer() = default;
HeadlessWindowLayer::~HeadlessWindowLayer() = default;

NativeWindowId HeadlessWindowLayer::create(const WindowCreateParams& params) {
    if (params.parent != 0 && !exists(params.parent))
        return 0;
    auto w = std::make_unique<Window>();
    w->id = allocateId();
    w->parent = params.parent;
    w->title = params.title;
    w->style = params.style;
    w->ex_style = params.ex_style;
    w->rect = params.rect;
    w->sink = params.sink;
    w->visible = (params.style & WS_VISIBLE) != 0;
    const NativeWindowId id = w->id;
    adopt(std::move(w));
    return deliverCreate(id) ? id : 0;
}

bool HeadlessWindowLayer::post(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) {
    std::lock_guard lock(post_mutex_);
    posts_.push_back({window, message, wparam, lparam});
    return true;
}

int HeadlessWindowLayer::pump() {
    std::deque<Post> batch;
    {
        std::lock_guard lock(post_mutex_);
        batch.swap(posts_);
    }
    int delivered = 0;
    while (!batch.empty()) {
        const Post p = batch.front();
        batch.pop_front();
        if (p.window == 0 && p.message == WM_QUIT) {
            quit(static_cast<int>(p.wparam));
            ++delivered;
            continue;
        }
        // Work posted for a window that is gone is dropped.
        if (find(p.window) == nullptr)
            continue;
        dispatchQueued(p.window, p.message, p.wparam, p.lparam);
        ++delivered;
        std::lock_guard lock(post_mutex_);
        batch.insert(batch.end(), posts_.begin(), posts_.end());
        posts_.clear();
    }
    return delivered;
}

std::size_t HeadlessWindowLayer::pendingPosts() const {
    std::lock_guard lock(post_mutex_);
    return posts_.size();
}

int HeadlessWindowLayer::run() {
    while (!quit_code_) {
        if (pump() == 0 && pendingPosts() == 0)
            break;
    }
    return quit_code_.value_or(-1);
}

void HeadlessWindowLayer::quit(int exit_code) {
    if (!quit_code_)
        quit_code_ = exit_code;
}

UiRect HeadlessWindowLayer::clientRect(NativeWindowId window) const {
    const Window* w = find(window);
    return w == nullptr ? UiRect{} : UiRect{0, 0, w->rect.width(), w->rect.height()};
}

UiRect HeadlessWindowLayer::windowRect(NativeWindowId window) const {
    const Window* w = find(window);
    return w == nullptr ? UiRect{} : w->rect;
}

void HeadlessWindowLayer::setWindowRect(NativeWindowId window, const UiRect& rect) {
    Window* w = find(window);
    if (w == nullptr)
        return;
    const bool resized = w->rect.width() != rect.width() || w->rect.height() != rect.height();
    w->rect = rect;
    if (resized)
        send(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rect.width(), rect.height()));
}

UiRect HeadlessWindowLayer::workArea(NativeWindowId) const {
    return work_area_;
}

void HeadlessWindowLayer::show(NativeWindowId window, ShowCommand command) {
    Window* w = find(window);
    if (w == nullptr)
        return;
    switch (command) {
    case ShowCommand::HIDE:
        w->visible = false;
        break;
    case ShowCommand::SHOW:
    case ShowCommand::SHOW_NO_ACTIVATE:
        w->visible = true;
        break;
    case ShowCommand::MINIMIZE:
        w->visible = true;
        w->minimized = true;
        send(window, WM_SIZE, SIZE_MINIMIZED, 0);
        break;
    case ShowCommand::MAXIMIZE:
        w->visible = true;
        w->minimized = false;
        if (!w->maximized) {
            w->restore_rect = w->rect;
            w->maximized = true;
            w->rect = work_area_;
            send(window, WM_SIZE, SIZE_MAXIMIZED,
                 MAKELPARAM(work_area_.width(), work_area_.height()));
        }
        break;
    case ShowCommand::RESTORE:
        w->visible = true;
        w->minimized = false;
        if (w->maximized) {
            w->maximized = false;
            w->rect = w->restore_rect;
        }
        send(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w->rect.width(), w->rect.height()));
        break;
    }
    if (command == ShowCommand::SHOW && w->visible)
        setFocus(window);
}

bool HeadlessWindowLayer::isVisible(NativeWindowId window) const {
    const Window* w = find(window);
    return w != nullptr && w->visible;
}

bool HeadlessWindowLayer::isMinimized(NativeWindowId window) const {
    const Window* w = find(window);
    return w != nullptr && w->minimized;
}

bool HeadlessWindowLayer::isMaximized(NativeWindowId window) const {
    const Window* w = find(window);
    return w != nullptr && w->maximized;
}

void HeadlessWindowLayer::setTitle(NativeWindowId window, const std::string& title) {
    if (Window* w = find(window))
        w->title = title;
}

void HeadlessWindowLayer::setIcon(NativeWindowId window, const DrawContext& image, bool large) {
    if (Window* w = find(window))
        (large ? w->large_icon : w->small_icon) = UiSize{image.width(), image.height()};
}

UiSize HeadlessWindowLayer::iconSize(NativeWindowId window, bool large) const {
    const Window* w = find(window);
    return w == nullptr ? UiSize{} : (large ? w->large_icon : w->small_icon);
}

bool HeadlessWindowLayer::saveScreenshot(NativeWindowId window, const std::string& path) const {
    return savePresentedPng(window, path);
}

void HeadlessWindowLayer::invalidate(NativeWindowId window, const UiRect& rect) {
    if (Window* w = find(window))
        w->invalidated.push_back(rect);
}

int HeadlessWindowLayer::scaleFactor(NativeWindowId) const {
    return scale_;
}

void HeadlessWindowLayer::setScaleFactor(int scale) {
    if (scale == scale_ || scale < 1)
        return;
    scale_ = scale;
    std::vector<NativeWindowId> tops;
    for (const auto& [id, w] : records())
        if (w->parent == 0)
            tops.push_back(id);
    const int dpi = static_cast<int>(USER_DEFAULT_SCREEN_DPI) * scale;
    for (NativeWindowId id : tops)
        if (exists(id))
            send(id, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), 0);
}

void HeadlessWindowLayer::setAccessibleTree(NativeWindowId window, IAccessibleTree* tree) {
    Window* w = find(window);
    if (w == nullptr)
        return;
    if (w->accessible_tree != nullptr)
        w->accessible_tree->setListener(nullptr);
    w->accessible_tree = tree;
    w->accessible_log.reset();
}

IAccessibleTree* HeadlessWindowLayer::accessibleTree(NativeWindowId window) const {
    const Window* w = find(window);
    return w == nullptr ? nullptr : w->accessible_tree;
}

bool HeadlessWindowLayer::listenToAccessibility(NativeWindowId window) {
    Window* w = find(window);
    if (w == nullptr || w->accessible_tree == nullptr)
        return false;
    if (!w->accessible_log) {
        w->accessible_log = std::make_unique<AccessibleLog>();
        w->accessible_tree->setListener(w->accessible_log.get());
    }
    return true;
}

const std::vector<AccessibleEvent>&
HeadlessWindowLayer::accessibleEvents(NativeWindowId window) const {
    static const std::vector<AccessibleEvent> none;
    const Window* w = find(window);
    return w == nullptr || !w->accessible_log ? none : w->accessible_log->events;
}

void HeadlessWindowLayer::clearAccessibleEvents(NativeWindowId window) {
    Window* w = find(window);
    if (w != nullptr && w->accessible_log)
        w->accessible_log->events.clear();
}

void HeadlessWindowLayer::forgetWindow(WindowRecord& record) {
    auto& w = static_cast<Window&>(record);
    if (w.accessible_tree != nullptr)
        w.accessible_tree->setListener(nullptr);
    w.accessible_tree = nullptr;
}

bool HeadlessWindowLayer::supportsPerPixelAlpha(NativeWindowId) const {
    return per_pixel_alpha_;
}

void HeadlessWindowLayer::present(NativeWindowId window, const DrawContext& buffer,
                                  const UiRect& area, PresentMode mode,
                                  std::uint8_t constant_alpha) {
    Window* w = find(window);
    if (w == nullptr || !buffer.isValid())
        return;
    if (!w->presented)
        w->presented = std::make_unique<Presented>();
    Presented& p = *w->presented;
    if (p.width != buffer.pixelWidth() || p.height != buffer.pixelHeight()) {
        p.width = buffer.pixelWidth();
        p.height = buffer.pixelHeight();
        p.pixels.assign(static_cast<std::size_t>(p.width) * p.height, 0);
    }
    p.scale = buffer.scale();
    const int s = buffer.scale();
    const UiRect clipped{std::max(area.left * s, 0), std::max(area.top * s, 0),
                         std::min(area.right * s, p.width), std::min(area.bottom * s, p.height)};
    for (int y = clipped.top; y < clipped.bottom; ++y)
        for (int x = clipped.left; x < clipped.right; ++x)
            p.pixels[static_cast<std::size_t>(y) * p.width + x] = buffer.pixel(x, y);
    p.area = area;
    p.mode = mode;
    p.constant_alpha = constant_alpha;
    ++p.count;
}

void HeadlessWindowLayer::setRegion(NativeWindowId window, const UiRect& rect, UiSize corner) {
    if (Window* w = find(window)) {
        w->region = rect;
        w->region_corner = corner;
    }
}

bool HeadlessWindowLayer::setTimer(NativeWindowId window, std::uintptr_t id, unsigned elapse_ms) {
    Window* w = find(window);
    if (w == nullptr)
        return false;
    const unsigned elapse = std::max(elapse_ms, 1u);
    w->timers[id] = Timer{elapse, now_ms_ + elapse};
    return true;
}

bool HeadlessWindowLayer::killTimer(NativeWindowId window, std::uintptr_t id) {
    Window* w = find(window);
    return w != nullptr && w->timers.erase(id) > 0;
}

void HeadlessWindowLayer::advance(unsigned ms) {
    const std::uint64_t end = now_ms_ + ms;
    for (;;) {
        // The next due timer of all windows, earliest first.
        NativeWindowId due_window = 0;
        std::uintptr_t due_id = 0;
        std::uint64_t due_at = end + 1;
        for (const auto& [wid, record] : records())
            for (const auto& [tid, t] : static_cast<const Window&>(*record).timers)
                if (t.due < due_at) {
                    due_at = t.due;
                    due_window = wid;
                    due_id = tid;
                }
        if (due_window == 0)
            break;
        now_ms_ = due_at;
        Timer& t = find(due_window)->timers[due_id];
        t.due = now_ms_ + t.elapse;
        send(due_window, WM_TIMER, due_id, 0);
    }
    now_ms_ = end;
}

void HeadlessWindowLayer::setCapture(NativeWindowId window) {
    capture_ = window;
    capture_log_.push_back(window);
}

void HeadlessWindowLayer::releaseCapture() {
    capture_ = 0;
    capture_log_.push_back(0);
}

void HeadlessWindowLayer::setFocus(NativeWindowId window) {
    if (window == 0 || exists(window))
        changeFocus(window);
}

UiPoint HeadlessWindowLayer::cursorPosition(NativeWindowId window) const {
    const Window* w = find(window);
    return w == nullptr ? UiPoint{} : w->cursor;
}

void HeadlessWindowLayer::trackMouse(NativeWindowId window, unsigned hover_ms) {
    if (Window* w = find(window))
        w->tracked_hover = hover_ms;
}

void HeadlessWindowLayer::beginMoveDrag(NativeWindowId window, UiPoint screen_point) {
    drags_.push_back({window, HTCAPTION, screen_point});
}

void HeadlessWindowLayer::beginResizeDrag(NativeWindowId window, LRESULT hit_code,
                                          UiPoint screen_point) {
    drags_.push_back({window, hit_code, screen_point});
}

NativeWindowId HeadlessWindowLayer::createEdit(const EditCreateParams& params) {
    WindowCreateParams wp;
    wp.parent = params.parent;
    wp.style = WS_CHILD | WS_VISIBLE | params.style;
    wp.rect = params.rect;
    wp.sink = params.sink;
    const NativeWindowId id = create(wp);
    if (Window* w = find(id)) {
        w->is_edit = true;
        w->limit = params.limit;
        w->text = params.text;
    }
    return id;
}

namespace {

// Characters of UTF-8 text, so that selections count as the user sees them.
int CharCount(const std::string& text) {
    return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) {
        // Continuation bytes are 10xxxxxx.
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

} // namespace

std::string HeadlessWindowLayer::editText(NativeWindowId edit) const {
    const Window* w = find(edit);
    return w == nullptr ? std::string{} : w->text;
}

void HeadlessWindowLayer::setEditText(NativeWindowId edit, const std::string& text) {
    if (Window* w = find(edit)) {
        w->text = text;
        w->selection = {0, 0};
    }
}

void HeadlessWindowLayer::setEditSelection(NativeWindowId edit, int start, int end) {
    Window* w = find(edit);
    if (w == nullptr)
        return;
    const int length = CharCount(w->text);
    if (end < 0 || end > length)
        end = length;
    start = std::clamp(start, 0, end);
    w->selection = {start, end};
}

std::pair<int, int> HeadlessWindowLayer::editSelection(NativeWindowId edit) const {
    const Window* w = find(edit);
    return w == nullptr ? std::pair{0, 0} : w->selection;
}

void HeadlessWindowLayer::typeIntoEdit(NativeWindowId edit, const std::string& text) {
    Window* w = find(edit);
    if (w == nullptr)
        return;
    w->text = text;
    const int length = CharCount(text);
    w->selection = {length, length};
    send(w->parent, WM_COMMAND, MAKEWPARAM(0, EN_CHANGE), static_cast<LPARAM>(edit));
}

int HeadlessWindowLayer::messageBox(NativeWindowId owner, const std::string& text,
                                    const std::string& caption, UINT flags) {
    box_calls_.push_back({owner, text, caption, flags});
    if (box_answers_.empty())
        return IDOK;
    const int answer = box_answers_.front();
    box_answers_.pop_front();
    return answer;
}

void HeadlessWindowLayer::showTooltip(NativeWindowId owner, const std::string& text, UiPoint) {
    if (Window* w = find(owner))
        w->tooltip = text;
}

void HeadlessWindowLayer::hideTooltip(NativeWindowId owner) {
    if (Window* w = find(owner))
        w->tooltip.reset();
}

bool HeadlessWindowLayer::openUrl(const std::string& url) {
    urls_.push_back(url);
    return !refuse_urls_;
}

std::optional<std::string> HeadlessWindowLayer::pickFolder(NativeWindowId, const std::string&,
                                                           const std::string&, const std::string&) {
    return folder_answer_;
}

UiPoint HeadlessWindowLayer::toScreen(NativeWindowId window, UiPoint client) const {
    UiPoint p = client;
    for (const Window* w = find(window); w != nullptr; w = find(w->parent)) {
        p.x += w->rect.left;
        p.y += w->rect.top;
    }
    return p;
}

void HeadlessWindowLayer::mouseMove(NativeWindowId window, UiPoint client, WPARAM keys) {
    if (Window* w = find(window))
        w->cursor = client;
    dispatchQueued(window, WM_MOUSEMOVE, keys, PointParam(client));
}

void HeadlessWindowLayer::buttonDown(NativeWindowId window, UiPoint client, bool double_click) {
    if (Window* w = find(window))
        w->cursor = client;
    const UiPoint screen = toScreen(window, client);
    const LRESULT hit =
        capture_ == window ? HTCLIENT : send(window, WM_NCHITTEST, 0, PointParam(screen));
    if (hit == HTCLIENT) {
        dispatchQueued(window, double_click ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON,
                       PointParam(client));
    } else {
        dispatchQueued(window, double_click ? WM_NCLBUTTONDBLCLK : WM_NCLBUTTONDOWN,
                       static_cast<WPARAM>(hit), PointParam(screen));
    }
}

void HeadlessWindowLayer::buttonUp(NativeWindowId window, UiPoint client) {
    if (Window* w = find(window))
        w->cursor = client;
    dispatchQueued(window, WM_LBUTTONUP, 0, PointParam(client));
}

void HeadlessWindowLayer::mouseLeave(NativeWindowId window) {
    if (Window* w = find(window))
        w->tracked_hover.reset();
    send(window, WM_MOUSELEAVE, 0, 0);
}

void HeadlessWindowLayer::hover(NativeWindowId window) {
    const Window* w = find(window);
    if (w == nullptr)
        return;
    send(window, WM_MOUSEHOVER, 0, PointParam(w->cursor));
}

void HeadlessWindowLayer::key(UINT vk, char character) {
    const NativeWindowId target = focus_;
    if (target == 0)
        return;
    // A key down that the hook consumes makes no character.
    if (dispatchQueued(target, WM_KEYDOWN, vk, KeyDownParam(false, false)) && character != 0 &&
        exists(target))
        dispatchQueued(target, WM_CHAR, static_cast<unsigned char>(character), 1);
    if (exists(target))
        dispatchQueued(target, WM_KEYUP, vk, KeyUpParam(false));
}

void HeadlessWindowLayer::altKey(UINT vk) {
    const NativeWindowId target = focus_;
    if (target == 0)
        return;
    dispatchQueued(target, WM_SYSKEYDOWN, vk, KeyDownParam(false, true));
    if (exists(target))
        dispatchQueued(target, WM_SYSKEYUP, vk, KeyUpParam(true));
}

const HeadlessWindowLayer::Presented* HeadlessWindowLayer::presented(NativeWindowId window) const {
    const Window* w = find(window);
    return w == nullptr ? nullptr : w->presented.get();
}

std::uint32_t HeadlessWindowLayer::presentedPixel(NativeWindowId window, int x, int y) const {
    const Presented* p = presented(window);
    if (p == nullptr || x < 0 || y < 0 || x >= p->width || y >= p->height)
        return 0;
    return p->pixels[static_cast<std::size_t>(y) * p->width + x];
}

bool HeadlessWindowLayer::savePresentedPng(NativeWindowId window, const std::string& path) const {
    const Presented* p = presented(window);
    if (p == nullptr || p->width == 0 || p->height == 0)
        return false;
    // PNG wants straight RGBA; opaque presents drop the buffer's alpha.
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(p->width) * p->height * 4);
    for (std::size_t i = 0; i < p->pixels.size(); ++i) {
        const std::uint32_t v = p->pixels[i];
        std::uint32_t a = p->mode == PresentMode::OPAQUE ? 255 : (v >> 24);
        std::uint32_t r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
        if (p->mode == PresentMode::PER_PIXEL && a != 0 && a != 255) {
            r = std::min(255u, r * 255 / a);
            g = std::min(255u, g * 255 / a);
            b = std::min(255u, b * 255 / a);
        }
        if (p->mode == PresentMode::PER_PIXEL)
            a = a * p->constant_alpha / 255;
        rgba[i * 4 + 0] = static_cast<std::uint8_t>(r);
        rgba[i * 4 + 1] = static_cast<std::uint8_t>(g);
        rgba[i * 4 + 2] = static_cast<std::uint8_t>(b);
        rgba[i * 4 + 3] = static_cast<std::uint8_t>(a);
    }
    return stbi_write_png(path.c_str(), p->width, p->height, 4, rgba.data(), p->width * 4) != 0;
}

const std::vector<UiRect>& HeadlessWindowLayer::invalidated(NativeWindowId window) const {
    static const std::vector<UiRect> none;
    const Window* w = find(window);
    return w == nullptr ? none : w->invalidated;
}

void HeadlessWindowLayer::clearInvalidated(NativeWindowId window) {
    if (Window* w = find(window))
        w->invalidated.clear();
}

std::optional<std::string> HeadlessWindowLayer::tooltip(NativeWindowId owner) const {
    const Window* w = find(owner);
    return w == nullptr ? std::nullopt : w->tooltip;
}

std::optional<unsigned> HeadlessWindowLayer::trackedHover(NativeWindowId window) const {
    const Window* w = find(window);
    return w == nullptr ? std::nullopt : w->tracked_hover;
}

UiRect HeadlessWindowLayer::region(NativeWindowId window) const {
    const Window* w = find(window);
    return w == nullptr ? UiRect{} : w->region;
}

UiSize HeadlessWindowLayer::regionCorner(NativeWindowId window) const {
    const Window* w = find(window);
    return w == nullptr ? UiSize{} : w->region_corner;
}

bool HeadlessWindowLayer::hasTimer(NativeWindowId window, std::uintptr_t id) const {
    const Window* w = find(window);
    return w != nullptr && w->timers.count(id) > 0;
}

std::uint32_t HeadlessWindowLayer::editStyle(NativeWindowId edit) const {
    const Window* w = find(edit);
    return w == nullptr ? 0 : w->style;
}

int HeadlessWindowLayer::editLimit(NativeWindowId edit) const {
    const Window* w = find(edit);
    return w == nullptr ? 0 : w->limit;
}

} // namespace inkwarden
