#pragma once

#include <windows.h>

#include "GdiPlus.h"

namespace KvUI {

// Decodes an image resource (type "PNG" in this program) with GDI+; empty when the resource
// is missing. Bytes GDI+ can't decode give an image whose drawing does nothing.
SharedImage LoadImageResource(HMODULE module, const wchar_t* name, const wchar_t* type);

}  // namespace KvUI
