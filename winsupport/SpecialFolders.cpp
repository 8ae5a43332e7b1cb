#include "SpecialFolders.h"

#include <windows.h>

std::wstring GetSystemDirectoryPath() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return {};
  return std::wstring(buffer, length);
}
