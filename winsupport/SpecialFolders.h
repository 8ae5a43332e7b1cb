#pragma once

#include <string>

// Calls a Windows function that writes a path into a caller buffer and returns its
// length (or the size it needs); empty on failure. Long paths are returned whole.
std::wstring GetPathFromApi(unsigned (*function)(wchar_t* buffer, unsigned size));

std::wstring GetWindowsDirectoryPath();
// The system directory (System32 for a 64-bit process).
std::wstring GetSystemDirectoryPath();
// The temporary directory, with its trailing backslash.
std::wstring GetTempDirectoryPath();
