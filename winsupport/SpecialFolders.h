#pragma once

#include <string>

// The system directory (System32 for a 64-bit process); empty when it can't be read.
std::wstring GetSystemDirectoryPath();
