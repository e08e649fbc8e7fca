// Opens one window through the GTK layer and prints every message it receives, so that a
// test driving it with xdotool can read what the layer delivered.
#include "ui/draw/DrawContext.h"
#include "ui/native/gtk/GtkWindowLayer.h"

#include <cairo.h>
#include <cstdio>
#include <thread>

using namespace inkwarden;

namespace {

// The probe's own messages: one posted from another thread, one to a window that is gone.
constexpr UINT PROBE_POST = WM_APP + 1;
constexpr UINT PROBE_DEAD_POST = WM_APP + 2;
constexpr WPARAM PROBE_POST_VALUE = 42;
// The top band of the window is its caption.
constexpr int CAPTION_HEIGHT = 35;
// The exit code of a probe that was asked to close.
constexpr int CLOSED_EXIT_CODE = 3;

// What a line shows of a message: the client point, wParam, or nothing.
enum class Shown { POINT, WPARAM_VALUE };

struct TracedMessage {
    UINT message;
    const char* name;
    Shown shown;
};

const TracedMessage TRACED[] = {
    {WM_LBUTTONDOWN, "WM_LBUTTONDOWN", Shown::POINT},
    {WM_LBUTTONUP, "WM_LBUTTONUP", Shown::POINT},
    {WM_MOVE, "WM_MOVE", Shown::POINT},
    {WM_KEYDOWN, "WM_KEYDOWN", Shown::WPARAM_VALUE},
    {WM_CHAR, "WM_CHAR", Shown::WPARAM_VALUE},
    {WM_SYSKEYDOWN, "WM_SYSKEYDOWN", Shown::WPARAM_VALUE},
    {WM_NCLBUTTONDOWN, "WM_NCLBUTTONDOWN", Shown::WPARAM_VALUE},
    {PROBE_POST, "WM_APP+1", Shown::WPARAM_VALUE},
};

void Trace(UINT message, WPARAM wparam, LPARAM lparam) {
    for (const TracedMessage& t : TRACED) {
        if (t.message != message)
            continue;
        if (t.shown == Shown::POINT)
            std::printf("%s %d %d\n", t.name, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
        else
            std::printf("%s %u\n", t.name, static_cast<unsigned>(wparam));
        std::fflush(stdout);
    }
}

// Opaque red on the left half, half-transparent blue on the right.
DrawContext ProbePixels() {
    DrawContext buffer(300, 200);
    cairo_t* cr = buffer.cairo();
    cairo_set_source_rgba(cr, 1, 0, 0, 1);
    cairo_rectangle(cr, 0, 0, 150, 200);
    cairo_fill(cr);
    cairo_set_source_rgba(cr, 0, 0, 1, 0.5);
    cairo_rectangle(cr, 150, 0, 150, 200);
    cairo_fill(cr);
    return buffer;
}

// The probe's window; `window` is its id once create() returns.
void OpenProbeWindow(GtkWindowLayer& layer, NativeWindowId& window) {
    WindowCreateParams params;
    params.title = "LayerProbe";
    params.rect = {100, 100, 400, 300};
    params.style = WS_POPUP;
    params.sink = [&layer, &window](UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_NCHITTEST) {
            const UiRect r = layer.windowRect(window);
            return GET_Y_LPARAM(l) - r.top < CAPTION_HEIGHT ? HTCAPTION : HTCLIENT;
        }
        if (m == WM_CLOSE) {
            std::printf("WM_CLOSE\n");
            std::fflush(stdout);
            layer.quit(CLOSED_EXIT_CODE);
            return 0;
        }
        Trace(m, w, l);
        return layer.defaultProc(window, m, w, l);
    };
    window = layer.create(params);
}

// A window that is gone before its post runs: the post must be dropped.
void PostToAGoneWindow(GtkWindowLayer& layer) {
    WindowCreateParams params;
    params.rect = {0, 0, 10, 10};
    params.sink = [](UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == PROBE_DEAD_POST)
            std::printf("DEAD WINDOW RAN\n");
        return m == WM_NCCREATE ? 1 : 0;
    };
    const NativeWindowId gone = layer.create(params);
    layer.post(gone, PROBE_DEAD_POST, 0, 0);
    layer.destroy(gone);
}

} // namespace

int main() {
    auto layer = GtkWindowLayer::open();
    if (!layer) {
        std::fprintf(stderr, "no display\n");
        return 2;
    }
    const DrawContext buffer = ProbePixels();
    NativeWindowId window = 0;
    OpenProbeWindow(*layer, window);
    layer->show(window, ShowCommand::SHOW);
    layer->present(window, buffer, buffer.bounds(), PresentMode::PER_PIXEL, 255);
    PostToAGoneWindow(*layer);

    std::thread poster([&] { layer->post(window, PROBE_POST, PROBE_POST_VALUE, 0); });
    std::printf("READY\n");
    std::fflush(stdout);
    const int code = layer->run();
    poster.join();
    return code;
}
