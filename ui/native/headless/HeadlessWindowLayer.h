#pragma once

#include "ui/native/IAccessibleTree.h"
#include "ui/native/WindowLayerBase.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace inkwarden {

// A window layer without a display, for tests: windows are records, the test injects
// messages, timers run on a virtual clock that advance() moves, posts wait for pump(),
// and message boxes answer from a script.
class HeadlessWindowLayer : public WindowLayerBase {
public:
    struct MessageBoxCall {
        NativeWindowId owner;
        std::string text;
        std::string caption;
        UINT flags;
    };
    struct Drag {
        NativeWindowId window;
        LRESULT hit_code; // HTCAPTION for a move
        UiPoint screen_point;
    };
    struct Presented {
        int width = 0; // device pixels
        int height = 0;
        int scale = 1;                     // device pixels per logical pixel
        std::vector<std::uint32_t> pixels; // premultiplied 0xAARRGGBB, top-down
        UiRect area;                       // logical
        PresentMode mode = PresentMode::OPAQUE;
        std::uint8_t constant_alpha = 255;
        int count = 0;
    };

    HeadlessWindowLayer();
    ~HeadlessWindowLayer() override;

    NativeWindowId create(const WindowCreateParams& params) override;
    bool post(NativeWindowId window, UINT message, WPARAM wparam, LPARAM lparam) override;
    int run() override; // pumps until quit; returns -1 when the queue runs dry first
    void quit(int exit_code) override;

    UiRect clientRect(NativeWindowId window) const override;
    UiRect windowRect(NativeWindowId window) const override;
    void setWindowRect(NativeWindowId window, const UiRect& rect) override;
    UiRect workArea(NativeWindowId window) const override;
    void show(NativeWindowId window, ShowCommand command) override;
    bool isVisible(NativeWindowId window) const override;
    bool isMinimized(NativeWindowId window) const override;
    bool isMaximized(NativeWindowId window) const override;
    void setTitle(NativeWindowId window, const std::string& title) override;
    void setIcon(NativeWindowId window, const DrawContext& image, bool large) override;
    bool saveScreenshot(NativeWindowId window, const std::string& path) const override;

    int scaleFactor(NativeWindowId window) const override;
    void invalidate(NativeWindowId window, const UiRect& rect) override;
    bool supportsPerPixelAlpha(NativeWindowId window) const override;
    void present(NativeWindowId window, const DrawContext& buffer, const UiRect& area,
                 PresentMode mode, std::uint8_t constant_alpha) override;
    void setRegion(NativeWindowId window, const UiRect& rect, UiSize corner) override;

    bool setTimer(NativeWindowId window, std::uintptr_t id, unsigned elapse_ms) override;
    bool killTimer(NativeWindowId window, std::uintptr_t id) override;
    std::uint32_t tickCount() const override { return static_cast<std::uint32_t>(now_ms_); }

    void setCapture(NativeWindowId window) override;
    void releaseCapture() override;
    void setCursor(CursorShape shape) override { cursor_ = shape; }
    void setFocus(NativeWindowId window) override;
    UiPoint cursorPosition(NativeWindowId window) const override;
    void trackMouse(NativeWindowId window, unsigned hover_ms) override;
    void beginMoveDrag(NativeWindowId window, UiPoint screen_point) override;
    void beginResizeDrag(NativeWindowId window, LRESULT hit_code, UiPoint screen_point) override;

    NativeWindowId createEdit(const EditCreateParams& params) override;
    std::string editText(NativeWindowId edit) const override;
    void setEditText(NativeWindowId edit, const std::string& text) override;
    void setEditSelection(NativeWindowId edit, int start, int end) override;
    std::pair<int, int> editSelection(NativeWindowId edit) const override;

    void setAccessibleTree(NativeWindowId window, IAccessibleTree* tree) override;

    int messageBox(NativeWindowId owner, const std::string& text, const std::string& caption,
                   UINT flags) override;
    void showTooltip(NativeWindowId owner, const std::string& text, UiPoint at) override;
    void hideTooltip(NativeWindowId owner) override;
    bool openUrl(const std::string& url) override;
    std::optional<std::string> pickFolder(NativeWindowId owner, const std::string& title,
                                          const std::string& prompt,
                                          const std::string& initial_folder) override;

    // Test side.
    // Moves the virtual clock, firing due timers in time order (equal times by id).
    void advance(unsigned ms);
    // Delivers the posts queued so far (and those they post); returns how many ran.
    int pump();
    std::size_t pendingPosts() const;
    // Mouse input as the platform would deliver it: a hit-test first, then the client or
    // non-client message. Points are client coordinates.
    void mouseMove(NativeWindowId window, UiPoint client, WPARAM keys = 0);
    void buttonDown(NativeWindowId window, UiPoint client, bool double_click = false);
    void buttonUp(NativeWindowId window, UiPoint client);
    void mouseLeave(NativeWindowId window);
    void hover(NativeWindowId window);
    // Key down (and up) on the focused window, with WM_CHAR for printable keys.
    void key(UINT vk, char character = 0);
    // A key pressed with Alt held, as the desktop delivers it: WM_SYSKEYDOWN and
    // WM_SYSKEYUP on the focused window.
    void altKey(UINT vk);
    // User typing into an edit: replaces its text and reports the change to the parent.
    void typeIntoEdit(NativeWindowId edit, const std::string& text);

    // Answers of the next message boxes in order; without one a box answers IDOK.
    void scriptMessageBoxAnswers(const std::vector<int>& answers) {
        box_answers_.assign(answers.begin(), answers.end());
    }
    const std::vector<MessageBoxCall>& messageBoxCalls() const { return box_calls_; }
    void scriptFolder(std::optional<std::string> folder) { folder_answer_ = std::move(folder); }
    void setPerPixelAlpha(bool supported) { per_pixel_alpha_ = supported; }
    // The scale of every window, as a desktop at GDK_SCALE would have it; windows that
    // exist hear of a change as WM_DPICHANGED.
    void setScaleFactor(int scale);

    // The tree a window offers (null when none), and what it announces once a test
    // listens to it.
    IAccessibleTree* accessibleTree(NativeWindowId window) const;
    bool listenToAccessibility(NativeWindowId window);
    const std::vector<AccessibleEvent>& accessibleEvents(NativeWindowId window) const;
    void clearAccessibleEvents(NativeWindowId window);
    void setWorkArea(const UiRect& rect) { work_area_ = rect; }

    const Presented* presented(NativeWindowId window) const;
    std::uint32_t presentedPixel(NativeWindowId window, int x, int y) const;
    bool savePresentedPng(NativeWindowId window, const std::string& path) const;
    const std::vector<UiRect>& invalidated(NativeWindowId window) const;
    void clearInvalidated(NativeWindowId window);

    CursorShape cursor() const { return cursor_; }
    const std::vector<Drag>& drags() const { return drags_; }
    const std::vector<std::string>& openedUrls() const { return urls_; }
    // As on a machine without a browser or file manager: every URL is recorded, none opens.
    void refuseUrls(bool refuse) { refuse_urls_ = refuse; }
    // Every setCapture (the window) and releaseCapture (0), in order.
    const std::vector<NativeWindowId>& captureLog() const { return capture_log_; }
    std::optional<int> quitCode() const { return quit_code_; }
    std::optional<std::string> tooltip(NativeWindowId owner) const;
    std::optional<unsigned> trackedHover(NativeWindowId window) const;
    UiRect region(NativeWindowId window) const;
    UiSize regionCorner(NativeWindowId window) const;
    bool hasTimer(NativeWindowId window, std::uintptr_t id) const;
    std::uint32_t editStyle(NativeWindowId edit) const;
    int editLimit(NativeWindowId edit) const;
    // Size of the icon last set (large or small); 0 x 0 when none.
    UiSize iconSize(NativeWindowId window, bool large) const;

private:
    struct Timer {
        unsigned elapse = 0;
        std::uint64_t due = 0;
    };
    // Keeps what a window's accessible tree announces.
    struct AccessibleLog : IAccessibleListener {
        void accessibleChanged(const AccessibleEvent& event) override { events.push_back(event); }
        std::vector<AccessibleEvent> events;
    };
    struct Window : WindowRecord {
        std::string title;
        std::uint32_t ex_style = 0;
        bool visible = false;
        bool minimized = false;
        bool maximized = false;
        UiRect restore_rect;
        UiRect region;
        UiSize region_corner;
        std::map<std::uintptr_t, Timer> timers;
        std::vector<UiRect> invalidated;
        std::unique_ptr<Presented> presented;
        std::optional<unsigned> tracked_hover;
        UiPoint cursor;
        std::string text;
        int limit = 0;
        std::pair<int, int> selection{0, 0};
        std::optional<std::string> tooltip;
        UiSize large_icon;
        UiSize small_icon;
        IAccessibleTree* accessible_tree = nullptr;
        std::unique_ptr<AccessibleLog> accessible_log;
    };
    struct Post {
        NativeWindowId window;
        UINT message;
        WPARAM wparam;
        LPARAM lparam;
    };

    Window* find(NativeWindowId window) const { return findAs<Window>(window); }
    void forgetWindow(WindowRecord& record) override;
    UiPoint toScreen(NativeWindowId window, UiPoint client) const;

    // The work area until a test sets its own.
    static constexpr UiRect DEFAULT_WORK_AREA{0, 0, 1920, 1040};

    std::uint64_t now_ms_ = 0;
    mutable std::mutex post_mutex_;
    std::deque<Post> posts_;
    std::optional<int> quit_code_;
    CursorShape cursor_ = CursorShape::ARROW;
    std::deque<int> box_answers_;
    std::vector<MessageBoxCall> box_calls_;
    std::optional<std::string> folder_answer_;
    std::vector<Drag> drags_;
    std::vector<std::string> urls_;
    bool refuse_urls_ = false;
    std::vector<NativeWindowId> capture_log_;
    bool per_pixel_alpha_ = true;
    int scale_ = 1;
    UiRect work_area_ = DEFAULT_WORK_AREA;
};

} // namespace inkwarden
