#pragma once
// Fonts for text drawn without anti-aliasing.

#include "platform/Graphics.h"

// A font handle made from the font's height, style (bold weight 700, else 400; italic,
// underline, strike-out), character set, face name ("Default", in any case, becomes
// "MS UI Gothic") and pitch, without anti-aliasing. Null on failure; the caller deletes it.
HFONT GetNonAntiAliasedFont(TFont* font);
