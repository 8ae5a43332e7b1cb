#include "Console.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <memory>
#include <string>

#include "StringUtils.h"

namespace {

constexpr size_t kFirstCapacity = 1024;
constexpr size_t kCapacityLimit = 100000;

// Formats with the C runtime's counted wide formatter, doubling the buffer from 1024 up to
// 65536 characters. False when the text (with its terminating NUL) fits none of them.
bool FormatText(const wchar_t* format, va_list args, std::wstring& text) {
  for (size_t capacity = kFirstCapacity; capacity < kCapacityLimit; capacity *= 2) {
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[capacity]);
    va_list copy;
    va_copy(copy, args);
    const int length = ::_vsnwprintf(buffer.get(), capacity - 1, format, copy);
    va_end(copy);
    if (length >= 0) {
      text.assign(buffer.get(), static_cast<size_t>(length));
      return true;
    }
  }
  return false;
}

bool IsFileOrPipe(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  const DWORD type = ::GetFileType(handle);
  return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

void WriteBytes(HANDLE handle, const std::string& bytes) {
  DWORD written = 0;
  if (!bytes.empty()) {
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

void WriteConsoleText(HANDLE handle, const std::wstring& text) {
  DWORD written = 0;
  ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

bool AttachParentConsole() {
  static const bool attached = [] {
    if (::AttachConsole(ATTACH_PARENT_PROCESS)) return true;
    // The process already has a console (started on a terminal under Wine, for one).
    return ::GetLastError() == ERROR_ACCESS_DENIED;
  }();
  return attached;
}

void PrintToConsole(const wchar_t* format, ...) {
  const bool attached = AttachParentConsole();
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const bool redirected = IsFileOrPipe(output);
  if (!attached && !redirected) return;

  std::wstring text;
  va_list args;
  va_start(args, format);
  const bool formatted = FormatText(format, args, text);
  va_end(args);
  if (!formatted) return;

  if (redirected) {
    WriteBytes(output, WideToUtf8(text));
    WriteBytes(output, "\n");
  } else {
    WriteConsoleText(output, text);
    WriteConsoleText(output, L"\n");
  }
}
