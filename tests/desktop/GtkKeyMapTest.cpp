#include "ui/native/gtk/GtkKeyMap.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

using namespace inkwarden;

TEST(GtkKeyMap, KeysMapToTheirVirtualKeys) {
    EXPECT_EQ(VirtualKeyFromKeyval(GDK_KEY_a), UINT('A'));
    EXPECT_EQ(VirtualKeyFromKeyval(GDK_KEY_Z), UINT('Z'));
    EXPECT_EQ(VirtualKeyFromKeyval(GDK_KEY_7), UINT('7'));
    EXPECT_EQ(VirtualKeyFromKeyval(GDK_KEY_F4), VK_F4);
    EXPECT_EQ(VirtualKeyFromKeyval(GDK_KEY_F12), VK_F12);
    EXPECT_EQ(VirtualKeyFromKeyval(GDK_KEY_KP_Enter), VK_RETURN);
    EXPECT_EQ(VirtualKeyFromKeyval(GDK_KEY_ISO_Left_Tab), VK_TAB);
    EXPECT_EQ(VirtualKeyFromKeyval(GDK_KEY_Alt_R), VK_MENU);
    EXPECT_EQ(VirtualKeyFromKeyval(GDK_KEY_Escape), VK_ESCAPE);
    EXPECT_EQ(VirtualKeyFromKeyval(GDK_KEY_VoidSymbol), 0u);
}

TEST(GtkKeyMap, CharactersAsTheToolkitReadsThem) {
    EXPECT_EQ(CharacterFromKeyval(GDK_KEY_a, false), unsigned('a'));
    EXPECT_EQ(CharacterFromKeyval(GDK_KEY_Return, false), unsigned('\r'));
    EXPECT_EQ(CharacterFromKeyval(GDK_KEY_BackSpace, false), unsigned('\b'));
    EXPECT_EQ(CharacterFromKeyval(GDK_KEY_a, true), 1u); // Ctrl+A
    EXPECT_EQ(CharacterFromKeyval(GDK_KEY_1, true), 0u);
    EXPECT_EQ(CharacterFromKeyval(GDK_KEY_Left, false), 0u);
    EXPECT_EQ(CharacterFromKeyval(GDK_KEY_Shift_L, false), 0u);
    EXPECT_EQ(CharacterFromKeyval(gdk_unicode_to_keyval(0x58A8), false), 0x58A8u); // 墨
}
