#pragma once

#include <windows.h>

#include "GdiObject.h"

// The toolkit's font factory has the name of the Windows function; the ANSI/Unicode macro
// of that name would rename it.
#ifdef CreateFont
#undef CreateFont
#endif

namespace KvUI {

enum FontFlags : unsigned {
  FontItalic = 1,
  FontUnderline = 2,
  FontStrikeOut = 4,
};

// A Segoe UI font of that point size for the screen; the face follows the weight (Light,
// Semilight on Windows 8 and later, regular, Semibold). Empty when creation fails.
GdiObject CreateFont(int pointSize, int weight, unsigned flags);

}  // namespace KvUI
