#pragma once

// What the sample package and the product it carries agree on.
namespace inkwarden::demo {

// The product's file in the install folder.
inline constexpr const char* PRODUCT_FILE = "InkwardenMain.exe";
// The product's option when a shortcut or the installer starts it.
inline constexpr const char* PRODUCT_OPTION = "-printer_detect";
// One name for the product's desktop entries, its icon and the class of its windows (X11
// WM_CLASS, Wayland app id), so that a desktop puts a running window under its menu entry.
inline constexpr const char* PRODUCT_ID = "inkwarden";

} // namespace inkwarden::demo
