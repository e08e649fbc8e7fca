#include "ui/native/gtk/GtkKeyMap.h"

#include <gdk/gdk.h>

namespace inkwarden {

UINT VirtualKeyFromKeyval(unsigned keyval) {
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z)
        return static_cast<UINT>(keyval - GDK_KEY_a + 'A');
    if ((keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) ||
        (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9))
        return static_cast<UINT>(keyval);
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24)
        return static_cast<UINT>(VK_F1 + (keyval - GDK_KEY_F1));
    if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9)
        return static_cast<UINT>(0x60 + (keyval - GDK_KEY_KP_0));
    switch (keyval) {
    case GDK_KEY_BackSpace:
        return VK_BACK;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
        return VK_TAB;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
        return VK_RETURN;
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R:
        return VK_SHIFT;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R:
        return VK_CONTROL;
    case GDK_KEY_Alt_L:
    case GDK_KEY_Alt_R:
    case GDK_KEY_Meta_L:
    case GDK_KEY_Meta_R:
        return VK_MENU;
    case GDK_KEY_Pause:
        return VK_PAUSE;
    case GDK_KEY_Caps_Lock:
        return VK_CAPITAL;
    case GDK_KEY_Escape:
        return VK_ESCAPE;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space:
        return VK_SPACE;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up:
        return VK_PRIOR;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down:
        return VK_NEXT;
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
        return VK_END;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
        return VK_HOME;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
        return VK_LEFT;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
        return VK_UP;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
        return VK_RIGHT;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
        return VK_DOWN;
    case GDK_KEY_Insert:
    case GDK_KEY_KP_Insert:
        return VK_INSERT;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
        return VK_DELETE;
    // The US layout's punctuation keys, by their unshifted symbol.
    case GDK_KEY_semicolon:
        return 0xBA;
    case GDK_KEY_equal:
        return 0xBB;
    case GDK_KEY_comma:
        return 0xBC;
    case GDK_KEY_minus:
        return 0xBD;
    case GDK_KEY_period:
        return 0xBE;
    case GDK_KEY_slash:
        return 0xBF;
    case GDK_KEY_grave:
        return 0xC0;
    case GDK_KEY_bracketleft:
        return 0xDB;
    case GDK_KEY_backslash:
        return 0xDC;
    case GDK_KEY_bracketright:
        return 0xDD;
    case GDK_KEY_apostrophe:
        return 0xDE;
    default:
        return 0;
    }
}

unsigned CharacterFromKeyval(unsigned keyval, bool control) {
    switch (keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
        return '\r';
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
        return '\t';
    case GDK_KEY_BackSpace:
        return '\b';
    case GDK_KEY_Escape:
        return 0x1B;
    default:
        break;
    }
    const gunichar c = gdk_keyval_to_unicode(keyval);
    if (control) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            return (c & 0x1F);
        return 0;
    }
    if (c < 0x20 || c == 0x7F)
        return 0;
    return c;
}

} // namespace inkwarden
