#pragma once
// The window's font: 宋体 at a character height of 15 pixels at 96 dpi,
// scaled for the monitor; where the system lacks it, a face that has the
// Chinese characters.
#include "win32/win32_text.h"

namespace picrelink::win32 {

// A pixel count at 96 dpi, at dpi.
int Scaled(int pixels, UINT dpi);

// The first installed face among 宋体 and its Chinese fallbacks.
std::wstring WindowFontFace();

// A new font of the window's face with a character height of pixels at 96
// dpi; the caller deletes it.
HFONT CreateWindowFont(int pixels, UINT dpi);

// A font of the window's face no taller than pixels at 96 dpi in which text
// is at most room pixels wide: one pixel smaller at a time, down to half
// the height. Null when the window's own font (pixels at dpi) fits already;
// else the caller deletes it.
HFONT CreateFittingFont(int pixels, UINT dpi, std::wstring_view text, int room);

// Width and height of text drawn in font.
SIZE TextExtent(HFONT font, std::wstring_view text);
// The height of a line of font.
int LineHeight(HFONT font);

}  // namespace picrelink::win32
