/* The floor that bench/installer_window compares the installer against: a plain GTK 3 window
 * of the installer's size with what its first frame minimally holds (an RGBA visual, no
 * decoration, one PNG and one line of Pango text), titled by its first argument.
 *   bench_bare_window TITLE PNG */
#include <gtk/gtk.h>
#include <stdio.h>

enum { WINDOW_WIDTH = 570, WINDOW_HEIGHT = 460 };

static gboolean on_draw(GtkWidget* widget, cairo_t* cr, gpointer data) {
    cairo_surface_t* image = data;
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_paint(cr);
    PangoLayout* layout = gtk_widget_create_pango_layout(widget, "Inkwarden 安装程序");
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, 20, 20);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return TRUE;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fputs("usage: bench_bare_window TITLE PNG\n", stderr);
        return 2;
    }
    /* Same as the installer's window layer: painting goes through cairo image surfaces. */
    g_setenv("GDK_GL", "disable", FALSE);
    if (!gtk_init_check(NULL, NULL)) {
        fputs("bench_bare_window: cannot open a display\n", stderr);
        return 1;
    }
    cairo_surface_t* image = cairo_image_surface_create_from_png(argv[2]);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
        fprintf(stderr, "bench_bare_window: cannot read %s\n", argv[2]);
        return 1;
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), argv[1]);
    gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
    gtk_window_set_default_size(GTK_WINDOW(window), WINDOW_WIDTH, WINDOW_HEIGHT);
    gtk_widget_set_app_paintable(window, TRUE);
    GdkVisual* visual = gdk_screen_get_rgba_visual(gtk_widget_get_screen(window));
    if (visual != NULL) {
        gtk_widget_set_visual(window, visual);
    }
    g_signal_connect(window, "draw", G_CALLBACK(on_draw), image);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    gtk_widget_show(window);
    gtk_main();
    cairo_surface_destroy(image);
    return 0;
}
