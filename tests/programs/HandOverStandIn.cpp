// Stands in for PurgeKit64.exe in the hand-over tests: writes its command line, a line feed
// and its current directory (UTF-8) to standard output, and exits with the number that the
// file "exit.txt" of its current directory holds (0 without one).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "StringUtils.h"

namespace {

void Write(const std::wstring& text) {
  const std::string bytes = WideToUtf8(text);
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

}  // namespace

int wmain() {
  wchar_t directory[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, directory);
  Write(std::wstring(::GetCommandLineW()) + L"\n" + directory);

  HANDLE file =
      ::CreateFileW(L"exit.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char number[16] = {};
  DWORD read = 0;
  ::ReadFile(file, number, sizeof(number) - 1, &read, nullptr);
  ::CloseHandle(file);
  return std::atoi(number);
}
