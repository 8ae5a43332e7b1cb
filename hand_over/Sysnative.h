#pragma once

#include <string>

// The native system folder as a 32-bit process on 64-bit Windows reaches it: the Windows
// directory joined with "Sysnative". Not tested for existence (32-bit Windows has none).
std::wstring GetSysnativePath();
