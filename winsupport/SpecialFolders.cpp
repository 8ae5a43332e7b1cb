#include "SpecialFolders.h"

#include <windows.h>

#include <vector>

std::wstring GetPathFromApi(unsigned (*function)(wchar_t* buffer, unsigned size)) {
  std::vector<wchar_t> buffer(261);
  for (;;) {
    const unsigned size = static_cast<unsigned>(buffer.size());
    const unsigned result = function(buffer.data(), size);
    if (result == 0) return {};
    if (result <= size) {
      // Some functions count the terminating NUL when the text exactly fills the buffer.
      size_t length = result;
      while (length > 0 && buffer[length - 1] == L'\0') --length;
      return std::wstring(buffer.data(), length);
    }
    buffer.assign(result, L'\0');
  }
}

std::wstring GetWindowsDirectoryPath() {
  return GetPathFromApi([](wchar_t* buffer, unsigned size) {
    return static_cast<unsigned>(::GetWindowsDirectoryW(buffer, size));
  });
}

std::wstring GetSystemDirectoryPath() {
  return GetPathFromApi([](wchar_t* buffer, unsigned size) {
    return static_cast<unsigned>(::GetSystemDirectoryW(buffer, size));
  });
}

std::wstring GetTempDirectoryPath() {
  return GetPathFromApi([](wchar_t* buffer, unsigned size) {
    return static_cast<unsigned>(::GetTempPathW(size, buffer));
  });
}
