#include "LaunchProcess.h"

#include <cwchar>
#include <new>

#include "PathUtils.h"

std::unique_ptr<wchar_t[]> BuildQuotedCommandLine(const wchar_t* path, const wchar_t* arguments) {
  if (path == nullptr) return nullptr;
  const bool withArguments = arguments != nullptr;
  const size_t size = std::wcslen(path) + (withArguments ? std::wcslen(arguments) + 4 : 3);
  std::unique_ptr<wchar_t[]> commandLine(new (std::nothrow) wchar_t[size]);
  if (!commandLine) return nullptr;
  const int written =
      withArguments ? FormatWide(commandLine.get(), size, _TRUNCATE, L"\"%s\" %s", path, arguments)
                    : FormatWide(commandLine.get(), size, _TRUNCATE, L"\"%s\"", path);
  if (written < 0) return nullptr;
  return commandLine;
}

HANDLE LaunchProcess(const wchar_t* path, const wchar_t* arguments, DWORD creationFlags,
                     const wchar_t* workingDirectory, void* environment,
                     const STARTUPINFOW* startupInfo) {
  // The extended flag makes CreateProcessW read a STARTUPINFOEXW past the plain record
  // passed here.
  if ((creationFlags & EXTENDED_STARTUPINFO_PRESENT) != 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // The program is not long-path aware; CreateProcessW may fault on a longer name.
  if (path != nullptr && std::wcslen(path) >= MAX_PATH) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  std::unique_ptr<wchar_t[]> commandLine = BuildQuotedCommandLine(path, arguments);
  if (!commandLine) return nullptr;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (startupInfo != nullptr) startup = *startupInfo;
  const BOOL inherit = (startup.dwFlags & STARTF_USESTDHANDLES) != 0;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(path, commandLine.get(), nullptr, nullptr, inherit, creationFlags,
                        environment, workingDirectory, &startup, &info)) {
    return nullptr;
  }
  UniqueHandle thread(info.hThread);
  return info.hProcess;
}
