#pragma once

#include <windows.h>

#include <string>

namespace KvUI {

// The DrawText format that shows a static control's text the way its style asks.
UINT StyleToDrawTextFormat(LONG_PTR style);
// Measures text into rect (DT_CALCRECT) with that font.
void MeasureText(HDC dc, RECT* rect, const std::wstring& text, HFONT font, UINT format);
// Draws text into rect, transparently, in colour. Multi-line text is placed inside rect
// (top, centred with DT_VCENTER, bottom with DT_BOTTOM), and rect becomes the block's box.
void DrawTextAligned(HDC dc, RECT* rect, const std::wstring& text, HFONT font, COLORREF colour,
                     UINT format);

}  // namespace KvUI
