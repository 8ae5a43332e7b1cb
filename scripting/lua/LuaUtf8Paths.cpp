// The UTF-8 forms of the C runtime and Windows calls through which Lua reaches files,
// commands and libraries (see LuaUtf8Paths.h). Built into the Lua library; the macros of the
// header are not seen here, so the names below are the runtime's own.
#include <windows.h>

#include <process.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "StringUtils.h"

namespace {

// The wide form of a UTF-8 name; false (errno EILSEQ) when it is not valid UTF-8.
bool ToWide(const char* text, std::wstring& wide) {
  wide.clear();
  if (text == nullptr || *text == '\0') return true;
  wide = Utf8ToWide(text);
  if (!wide.empty()) return true;
  errno = EILSEQ;
  return false;
}

// Copies the UTF-8 form of `wide` with its terminator into the buffer; false when it does
// not fit or has no exact UTF-8 form.
bool CopyUtf8(const std::wstring& wide, char* buffer, size_t size) {
  std::string text;
  if (!WideToUtf8Exact(wide, text) || text.size() >= size) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

FILE* LuaUtf8Fopen(const char* name, const char* mode) {
  std::wstring wideName;
  std::wstring wideMode;
  if (!ToWide(name, wideName) || !ToWide(mode, wideMode)) return nullptr;
  return ::_wfopen(wideName.c_str(), wideMode.c_str());
}

FILE* LuaUtf8Freopen(const char* name, const char* mode, FILE* file) {
  std::wstring wideName;
  std::wstring wideMode;
  if (!ToWide(name, wideName) || !ToWide(mode, wideMode)) {
    // As a failed freopen does: the old stream is closed either way.
    if (file != nullptr) std::fclose(file);
    return nullptr;
  }
  return ::_wfreopen(wideName.c_str(), wideMode.c_str(), file);
}

int LuaUtf8Remove(const char* name) {
  std::wstring wide;
  if (!ToWide(name, wide)) return -1;
  return ::_wremove(wide.c_str());
}

int LuaUtf8Rename(const char* from, const char* to) {
  std::wstring wideFrom;
  std::wstring wideTo;
  if (!ToWide(from, wideFrom) || !ToWide(to, wideTo)) return -1;
  return ::_wrename(wideFrom.c_str(), wideTo.c_str());
}

char* LuaUtf8Getenv(const char* name) {
  thread_local std::string value;
  std::wstring wideName;
  if (!ToWide(name, wideName) || wideName.empty()) return nullptr;
  std::wstring wideValue(64, L'\0');
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), wideValue.data(),
                                                   static_cast<DWORD>(wideValue.size()));
    if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return nullptr;
    if (length < wideValue.size()) {
      wideValue.resize(length);
      break;
    }
    wideValue.assign(length, L'\0');
  }
  // A value that has no exact UTF-8 form is not handed out in another one.
  if (!WideToUtf8Exact(wideValue, value)) return nullptr;
  return value.data();
}

int LuaUtf8System(const char* command) {
  if (command == nullptr) return ::_wsystem(nullptr);
  std::wstring wide;
  if (!ToWide(command, wide)) return -1;
  return ::_wsystem(wide.c_str());
}

FILE* LuaUtf8Popen(const char* command, const char* mode) {
  std::wstring wideCommand;
  std::wstring wideMode;
  if (!ToWide(command, wideCommand) || !ToWide(mode, wideMode)) return nullptr;
  return ::_wpopen(wideCommand.c_str(), wideMode.c_str());
}

bool LuaUtf8TempName(char* buffer, size_t size) {
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return false;
  wchar_t name[MAX_PATH] = {};
  if (::GetTempFileNameW(folder, L"lua", 0, name) == 0) return false;
  if (CopyUtf8(name, buffer, size)) return true;
  ::DeleteFileW(name);
  return false;
}

HMODULE LuaUtf8LoadLibraryEx(const char* path, HANDLE file, DWORD flags) {
  std::wstring wide;
  if (!ToWide(path, wide)) {
    ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return nullptr;
  }
  return ::LoadLibraryExW(wide.c_str(), file, flags);
}

DWORD LuaUtf8ModuleFileName(HMODULE module, char* buffer, DWORD size) {
  std::wstring wide(32768, L'\0');
  const DWORD length = ::GetModuleFileNameW(module, wide.data(), static_cast<DWORD>(wide.size()));
  if (length == 0 || length >= wide.size()) return 0;
  wide.resize(length);
  if (size == 0) return 0;
  // Lua asks only for the program's own path, with a buffer of MAX_PATH + 1 bytes, to put
  // its folder into the default search paths, which the script host replaces before any
  // script runs; a path it can't get fails every Lua state. The UTF-8 form of a folder named
  // outside ASCII takes up to three bytes a character, so it may not fit where the 8-bit
  // call's text would. Then the short form of the same path is given, and where the volume
  // keeps no short names the current directory ("."), which the default search paths hold
  // already.
  if (CopyUtf8(wide, buffer, size)) return static_cast<DWORD>(std::strlen(buffer));
  const DWORD needed = ::GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (needed != 0) {
    std::wstring shortForm(needed, L'\0');
    const DWORD shortLength = ::GetShortPathNameW(wide.c_str(), shortForm.data(), needed);
    if (shortLength != 0 && shortLength < needed) {
      shortForm.resize(shortLength);
      if (CopyUtf8(shortForm, buffer, size)) return static_cast<DWORD>(std::strlen(buffer));
    }
  }
  if (CopyUtf8(L".\\", buffer, size)) return static_cast<DWORD>(std::strlen(buffer));
  buffer[0] = '\0';
  ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}
