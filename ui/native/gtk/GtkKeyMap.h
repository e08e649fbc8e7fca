#pragma once

#include "ui/base/WinMessages.h"

namespace inkwarden {

// The virtual key of a GDK keyval (the unshifted one of the key); 0 for keys without one.
UINT VirtualKeyFromKeyval(unsigned keyval);

// The character a key press types, as the toolkit's WM_CHAR carries it (Return, Tab,
// Backspace and Escape included, Ctrl+letter as its control code); 0 for none.
unsigned CharacterFromKeyval(unsigned keyval, bool control);

} // namespace inkwarden
