#pragma once

#include <string>

// Paths are wide strings whose only separator is the backslash.

std::wstring RemoveTrailingBackslash(const std::wstring& path);
// Joins two parts with exactly one backslash between them, unless one part is empty.
std::wstring CombinePath(const std::wstring& first, const std::wstring& second);
