// Opens one window through the GTK layer and prints every message it receives, so that a
// test driving it with xdotool can read what the layer delivered.
#include "ui/draw/DrawContext.h"
#include "ui/native/gtk/GtkWindowLayer.h"

#include <cairo.h>
#include <cstdio>
#include <thread>

using namespace inkwarden;

int main() {
    auto layer = GtkWindowLayer::open();
    if (!layer) {
        std::fprintf(stderr, "no display\n");
        return 2;
    }
    NativeWindowId window = 0;
    DrawContext buffer(300, 200);
    cairo_t* cr = buffer.cairo();
    cairo_set_source_rgba(cr, 1, 0, 0, 1);
    cairo_rectangle(cr, 0, 0, 150, 200);
    cairo_fill(cr);
    cairo_set_source_rgba(cr, 0, 0, 1, 0.5);
    cairo_rectangle(cr, 150, 0, 150, 200);
    cairo_fill(cr);

    WindowCreateParams params;
    params.title = "LayerProbe";
    params.rect = {100, 100, 400, 300};
    params.style = WS_POPUP;
    params.sink = [&](UINT m, WPARAM w, LPARAM l) -> LRESULT {
        const int x = GET_X_LPARAM(l);
        const int y = GET_Y_LPARAM(l);
        switch (m) {
        case WM_NCHITTEST: {
            const UiRect r = layer->windowRect(window);
            return y - r.top < 35 ? HTCAPTION : HTCLIENT;
        }
        case WM_LBUTTONDOWN:
            std::printf("WM_LBUTTONDOWN %d %d\n", x, y);
            break;
        case WM_LBUTTONUP:
            std::printf("WM_LBUTTONUP %d %d\n", x, y);
            break;
        case WM_KEYDOWN:
            std::printf("WM_KEYDOWN %u\n", static_cast<unsigned>(w));
            break;
        case WM_CHAR:
            std::printf("WM_CHAR %u\n", static_cast<unsigned>(w));
            break;
        case WM_SYSKEYDOWN:
            std::printf("WM_SYSKEYDOWN %u\n", static_cast<unsigned>(w));
            break;
        case WM_NCLBUTTONDOWN:
            std::printf("WM_NCLBUTTONDOWN %d\n", static_cast<int>(w));
            break;
        case WM_MOVE:
            std::printf("WM_MOVE %d %d\n", x, y);
            break;
        case WM_CLOSE:
            std::printf("WM_CLOSE\n");
            std::fflush(stdout);
            layer->quit(3);
            return 0;
        case WM_APP + 1:
            std::printf("WM_APP+1 %u\n", static_cast<unsigned>(w));
            break;
        default:
            break;
        }
        std::fflush(stdout);
        return layer->defaultProc(window, m, w, l);
    };
    window = layer->create(params);
    layer->show(window, ShowCommand::SHOW);
    layer->present(window, buffer, buffer.bounds(), PresentMode::PER_PIXEL, 255);

    // A window that is gone before its post runs: the post must be dropped.
    WindowCreateParams gone_params;
    gone_params.rect = {0, 0, 10, 10};
    gone_params.sink = [](UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_APP + 2)
            std::printf("DEAD WINDOW RAN\n");
        return m == WM_NCCREATE ? 1 : 0;
    };
    const NativeWindowId gone = layer->create(gone_params);
    layer->post(gone, WM_APP + 2, 0, 0);
    layer->destroy(gone);

    std::thread poster([&] { layer->post(window, WM_APP + 1, 42, 0); });
    std::printf("READY\n");
    std::fflush(stdout);
    const int code = layer->run();
    poster.join();
    return code;
}
