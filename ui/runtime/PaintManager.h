#pragma once

#include "ui/base/Notification.h"
#include "ui/base/UiEvent.h"
#include "ui/base/UiGeometry.h"
#include "ui/draw/DrawContext.h"
#include "ui/draw/FontEntry.h"
#include "ui/draw/ImageDescription.h"
#include "ui/draw/ImageEntry.h"
#include "ui/draw/ImageLoader.h"
#include "ui/native/INativeWindowLayer.h"
#include "ui/runtime/ControlAccessibility.h"
#include "ui/runtime/ImageCache.h"
#include "ui/runtime/InputRouter.h"
#include "ui/runtime/LayeredPresentation.h"
#include "ui/runtime/ResourceRegistry.h"
#include "ui/runtime/TimerTable.h"
#include "ui/runtime/WindowAttributes.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace inkwarden {

class CControlUI;
class IMessageFilterUI;
class INotifyUI;

// One per skinned window, and the front the toolkit talks to: owns the control tree, its
// fonts, named images, default attribute lists, window attributes and the name map;
// dispatches the window's messages (input to its InputRouter), runs control timers, lays
// out and paints (double-buffered, or per-pixel alpha through its LayeredPresentation) and
// delivers notifications. UI thread only. The window layer given to init must outlive the
// manager.
class PaintManager {
public:
    // Process-wide default colours (AARRGGBB).
    static constexpr std::uint32_t DEFAULT_DISABLED_COLOR =
        WindowAttributes::DEFAULT_DISABLED_COLOR;
    static constexpr std::uint32_t DEFAULT_FONT_COLOR = WindowAttributes::DEFAULT_FONT_COLOR;
    static constexpr std::uint32_t DEFAULT_LINK_FONT_COLOR =
        WindowAttributes::DEFAULT_LINK_FONT_COLOR;
    static constexpr std::uint32_t DEFAULT_LINK_HOVER_FONT_COLOR =
        WindowAttributes::DEFAULT_LINK_HOVER_FONT_COLOR;
    static constexpr std::uint32_t DEFAULT_SELECTED_BK_COLOR =
        WindowAttributes::DEFAULT_SELECTED_BK_COLOR;

    using ImageRegistration = ResourceRegistry::ImageRegistration;
    using TimerEntry = TimerTable::TimerEntry;

    // Posted once to deliver the queued asynchronous notifications.
    static constexpr UINT MSG_ASYNC_NOTIFY = WM_APP + 1;
    // Batches the layered window's repaints.
    static constexpr std::uintptr_t LAYERED_REPAINT_TIMER = LayeredPresentation::REPAINT_TIMER;
    static constexpr unsigned LAYERED_REPAINT_MS = LayeredPresentation::REPAINT_MS;
    // Native timer ids of control timers cycle through this many values.
    static constexpr unsigned TIMER_ID_RANGE = TimerTable::ID_RANGE;
    // How long the mouse rests on a control before it counts as hovering.
    static constexpr unsigned DEFAULT_HOVER_TIME_MS = InputRouter::DEFAULT_HOVER_TIME_MS;
    // The focus ring lies this far outside the focused control: an outer band in the focus
    // ring colour, then an inner line in its second colour.
    static constexpr int FOCUS_RING_OUTSET = InputRouter::FOCUS_RING_OUTSET;
    static constexpr int FOCUS_RING_INNER = InputRouter::FOCUS_RING_INNER;

    PaintManager();
    ~PaintManager();
    PaintManager(const PaintManager&) = delete;
    PaintManager& operator=(const PaintManager&) = delete;

    // Resets the per-window state and remembers the window. A null window makes an
    // off-screen manager (tools and tests) that still takes the skin's window attributes.
    void init(void* window, std::string_view name = {});
    bool hasWindow() const { return initialised_; }
    void* getWindow() const { return window_; }
    const std::string& getName() const { return name_; }

    // Binds the manager to a native window of a layer: the window runtime below.
    void init(INativeWindowLayer* layer, NativeWindowId window, std::string_view name = {});
    INativeWindowLayer* getLayer() const { return layer_; }
    NativeWindowId getNativeWindow() const { return native_window_; }

    // Window runtime: the window host hands every message it does not handle itself to
    // messageHandler; true means handled, with the answer in result.
    bool messageHandler(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    bool preMessageHandler(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    // The message loop's first look at every message, over all managers; true consumes it.
    static bool translateMessage(const NativeMessage& msg);
    void addPreMessageFilter(IMessageFilterUI* filter);
    void removePreMessageFilter(IMessageFilterUI* filter);
    void addMessageFilter(IMessageFilterUI* filter);
    void removeMessageFilter(IMessageFilterUI* filter);
    // Deepest topmost visible, mouse-enabled control under a client point.
    CControlUI* findControl(UiPoint point) const;
    bool setTimer(CControlUI* control, UINT key, UINT elapse);
    bool killTimer(CControlUI* control, UINT key);
    void killTimers(CControlUI* control);
    void removeAllTimers();
    void setFocus(CControlUI* control, bool focus_window);
    bool focusNext(bool forward = true);
    // Focus moved as the keyboard moves it (Tab, a shortcut, a screen reader): the focused
    // control shows the focus ring until a mouse button is pressed.
    void setFocusByKeyboard(CControlUI* control);
    bool isFocusRingShown() const { return input_.isFocusRingShown(); }
    // The area the focus ring of a control takes: its rectangle and the ring around it.
    static UiRect focusRingRect(const CControlUI* control) {
        return InputRouter::focusRingRect(control);
    }
    void invalidateAll();
    void setCapture();
    void releaseCapture();
    bool isCaptured() const { return input_.isCaptured(); }
    // Forgets every control of a subtree (the window is going away).
    void reapObjects(CControlUI* control);

    // Paints what is pending now, as WM_PAINT or the layered repaint timer would, then
    // announces what changed to the accessibility listener.
    void paint();
    // Device pixels per logical pixel of the window (1 without one).
    int getScale() const;
    // The window's controls for assistive technologies.
    ControlAccessibility& getAccessibility() { return accessibility_; }
    // True when painting goes through the per-pixel alpha buffer.
    bool usesLayeredPaint() const;
    // The buffer of the last paint (layered or off-screen); invalid before the first.
    const DrawContext& getPaintBuffer() const;
    const std::vector<TimerEntry>& getTimers() const { return timers_.entries(); }
    CControlUI* getHot() const { return input_.hot(); }
    CControlUI* getPressed() const { return input_.pressed(); }
    UiPoint getMousePos() const { return input_.mousePosition(); }
    unsigned getHoverTime() const { return input_.hoverTime(); }
    void setHoverTime(unsigned ms) { input_.setHoverTime(ms); }
    void setCursor(CursorShape shape);
    // Controls that keep receiving mouse-leave while the mouse is over their children.
    void addMouseLeaveNeeded(CControlUI* control);
    void removeMouseLeaveNeeded(CControlUI* control);
    // Native child windows (edit fields) and the controls that own them.
    void addNativeWindow(CControlUI* control, NativeWindowId window);
    void removeNativeWindow(NativeWindowId window);
    CControlUI* getNativeWindowOwner(NativeWindowId window) const;
    // The control gets focus back on the next paint.
    void setFocusNeeded(CControlUI* control);
    // Deletes a control (already taken out of its parent) once the queued notifications
    // have been delivered.
    void addDelayedCleanup(CControlUI* control);

    // Images through the manager's cache: the registered image's resource type and mask
    // apply when the description names none.
    const ImageEntry* loadImage(const std::string& name, const std::string& res_type,
                                std::uint32_t mask);
    // Draws an image description over item (dest, when given, replaces the description's
    // destination); fade is scaled by alpha / 255. False when the image did not load.
    bool drawImage(DrawContext& dc, const UiRect& item, const UiRect& paint,
                   ImageDescription& image, const UiRect* dest = nullptr, int alpha = 255);
    ImageLoader& getImageLoader() { return images_.loader(); }

    // Takes ownership of the tree (the old one is destroyed).
    bool attachRoot(CControlUI* root);
    CControlUI* getRoot() const { return root_.get(); }
    // Lays the root out at the client rectangle, as a paint would.
    void layoutRoot(UiRect client);
    bool isFirstLayoutPending() const { return first_layout_; }
    bool isLayoutNeeded() const { return layout_needed_; }
    bool isFocusNeeded() const { return input_.isFocusNeeded(); }
    void needUpdate() { update_needed_ = true; }
    bool isUpdateNeeded() const { return update_needed_; }

    // Invalidation is recorded as one dirty rectangle until the window paints it.
    void invalidate(UiRect rect);
    const UiRect& getDirtyRect() const { return dirty_; }
    void clearDirtyRect() { dirty_ = UiRect{}; }

    // Names: the first control with a name keeps it.
    bool initControl(CControlUI* control);
    CControlUI* findControlByName(std::string_view name) const;
    // Forgets every reference to a control that goes away.
    void releaseControl(CControlUI* control);

    CControlUI* getFocus() const { return input_.focus(); }
    void setFocus(CControlUI* control) { setFocus(control, true); }

    void addNotifier(INotifyUI* notifier);
    void removeNotifier(INotifyUI* notifier);
    void sendNotify(CControlUI* sender, std::string_view type, std::intptr_t wparam = 0,
                    std::intptr_t lparam = 0, bool async = false, bool allow_repeat = false);
    void sendNotify(Notification& msg, bool async = false, bool allow_repeat = false);
    // Delivers the queued asynchronous notifications in order.
    void deliverAsyncNotifications();
    size_t asyncQueueSize() const { return async_queue_.size(); }

    // Option groups.
    void addOptionGroup(const std::string& group, CControlUI* control);
    void removeOptionGroup(const std::string& group, CControlUI* control);
    const std::vector<CControlUI*>* getOptionGroup(const std::string& group) const;

    // Fonts, keyed by the id's decimal text.
    FontEntry* addFont(int id, const std::string& face, int size, bool bold, bool underline,
                       bool italic, bool shared = false);
    // Registers the font to be made when first used (the skin's fonts).
    void declareFont(int id, const std::string& face, int size, bool bold, bool underline,
                     bool italic, bool shared = false);
    void setDefaultFont(const std::string& face, int size, bool bold, bool underline, bool italic,
                        bool shared = false);
    // Own font of that id, else the shared one, else the default font.
    FontEntry* getFont(int id);
    FontEntry* getDefaultFont();
    static void removeAllSharedFonts();

    // Images by name.
    void addImage(const std::string& name, const std::string& res_type, std::uint32_t mask,
                  bool shared = false);
    const ImageRegistration* getImage(const std::string& name) const;

    // Default attribute lists per control class.
    void addDefaultAttributeList(const std::string& control_class, const std::string& list,
                                 bool shared = false);
    const std::string* getDefaultAttributeList(const std::string& control_class) const;
    static void removeAllSharedDefaultAttributeLists();

    // The skin's Window attributes.
    void setWindowAttribute(std::string_view name, std::string_view value);
    std::string getWindowAttribute(std::string_view name) const;
    UiSize getInitSize() const { return attributes_.initSize(); }
    const UiRect& getSizeBox() const { return attributes_.sizeBox(); }
    const UiRect& getCaptionRect() const { return attributes_.caption(); }
    UiSize getRoundCorner() const { return attributes_.roundCorner(); }
    UiSize getMinInfo() const { return attributes_.minInfo(); }
    UiSize getMaxInfo() const { return attributes_.maxInfo(); }
    bool isShowDirty() const { return attributes_.showDirty(); }
    bool isNoActivate() const { return attributes_.noActivate(); }
    int getOpacity() const { return attributes_.opacity(); }
    bool isLayered() const { return attributes_.layered(); }
    int getLayeredOpacity() const { return attributes_.layeredOpacity(); }
    const ImageDescription& getLayeredImage() const { return attributes_.layeredImage(); }
    std::uint32_t getDefaultDisabledColor() const { return attributes_.disabledColor(); }
    std::uint32_t getDefaultFontColor() const { return attributes_.fontColor(); }
    std::uint32_t getDefaultLinkFontColor() const { return attributes_.linkColor(); }
    std::uint32_t getDefaultLinkHoverFontColor() const { return attributes_.linkHoverColor(); }
    std::uint32_t getDefaultSelectedBkColor() const { return attributes_.selectedColor(); }
    std::uint32_t getFocusRingColor() const { return attributes_.focusRingColor(); }
    std::uint32_t getFocusRingColor2() const { return attributes_.focusRingColor2(); }
    // The client rectangle of the window, or the root's without one.
    UiRect getClientRect() const;
    // The window host resizes the native window through this while no tree is attached.
    std::function<void(UiSize)> on_resize_window;

    // Process-wide text table (%{n} in texts).
    static void setMultiLanguageString(int id, const std::string& text);
    static const std::string* getMultiLanguageString(int id);
    static void removeAllMultiLanguageStrings();

    // Process-wide resource settings, kept by the skin package.
    static void setResourcePath(const std::string& path);
    static std::string getResourcePath();
    static void setResourceZip(const std::string& file_name, bool cached = true);
    static void setResourceZipMemory(std::span<const unsigned char> bytes);
    static std::string getResourceZip();

private:
    // One handler per message or message family; each answers whether it handled the
    // message, with the answer in result where the message has one.
    bool runMessageFilters(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    bool onLayeredFrame(UINT message, WPARAM wparam, LRESULT& result);
    bool onClose();
    bool onEraseBackground(LRESULT& result);
    bool onPaint(LRESULT& result);
    bool onSize(WPARAM wparam, LPARAM lparam, LRESULT& result);
    bool onTimer(WPARAM wparam, LPARAM lparam);
    bool onMouseActivate(LRESULT& result);
    bool onChildNotification(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    bool onKillFocus(WPARAM wparam);
    bool onAsyncNotify(LRESULT& result);
    bool onDpiChanged(LRESULT& result);

    bool isMinimized() const;
    void paintFocusRing(DrawContext& dc, const UiRect& area);
    // The painting part of paint().
    void paintPending();
    // The window's tree goes to the layer, or is taken back from it.
    void offerAccessibility(bool offered);
    // The paint step after pending focus: the pending layouts.
    void layoutPending(const UiRect& client);

    void deliver(Notification& msg);
    void postAsyncNotify();
    bool isOwnNativeWindow(NativeWindowId window) const;

    bool initialised_ = false;
    void* window_ = nullptr;
    INativeWindowLayer* layer_ = nullptr;
    NativeWindowId native_window_ = 0;
    std::string name_;

    std::unique_ptr<CControlUI> root_;
    bool async_posted_ = false;

    InputRouter input_{*this};
    TimerTable timers_;
    std::vector<IMessageFilterUI*> filters_;
    std::vector<std::pair<CControlUI*, NativeWindowId>> native_windows_;
    std::vector<std::unique_ptr<CControlUI>> delayed_cleanup_;

    DrawContext offscreen_;
    bool first_layout_ = false;
    bool layout_needed_ = false;
    bool update_needed_ = false;
    UiRect dirty_;

    std::unordered_map<std::string, CControlUI*> names_;
    std::vector<INotifyUI*> notifiers_;
    std::vector<Notification> async_queue_;
    std::map<std::string, std::vector<CControlUI*>> option_groups_;

    ResourceRegistry resources_;
    ImageCache images_{resources_}; // after the registry it reads
    WindowAttributes attributes_;
    ControlAccessibility accessibility_{*this};
    LayeredPresentation presentation_{attributes_, images_}; // after what it reads
};

} // namespace inkwarden
