#include "PathUtils.h"

std::wstring RemoveTrailingBackslash(const std::wstring& path) {
  if (!path.empty() && path.back() == L'\\') return path.substr(0, path.size() - 1);
  return path;
}

std::wstring CombinePath(const std::wstring& first, const std::wstring& second) {
  if (first.empty()) return second;
  if (second.empty()) return RemoveTrailingBackslash(first);
  std::wstring result = first;
  if (result.back() != L'\\') result.push_back(L'\\');
  result += second;
  return result;
}
