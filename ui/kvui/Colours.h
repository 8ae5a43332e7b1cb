#pragma once

#include <windows.h>

namespace KvUI {

// Colours of the toolkit and the pages (COLORREF, red in the low byte).
constexpr COLORREF kAccent = 0xD96C00;
constexpr COLORREF kAccentHover = 0xA65300;
constexpr COLORREF kTitle = 0x993300;
constexpr COLORREF kGreyText = 0xACACAC;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kDisabledFill = 0xF0F0F0;
constexpr COLORREF kOutlineHoverFill = 0xF8F8F8;

}  // namespace KvUI
