#pragma once

#include "ui/base/UiGeometry.h"

#include <string_view>

// The plain value formats of markup attributes.
namespace inkwarden {

// Decimal integer as a standard conversion reads it: stops at the first non-digit; "" is 0.
int ParseInt(std::string_view text);

// Control attributes: true exactly for "true".
bool ParseBool(std::string_view text);

// Font and Image elements: "true" in any letter case.
bool ParseBoolAnyCase(std::string_view text);

// "l,t,r,b": integers separated by exactly one arbitrary character; missing numbers are 0.
UiRect ParseRect(std::string_view text);

// "x,y" in the same form.
UiSize ParsePair(std::string_view text);

} // namespace inkwarden
