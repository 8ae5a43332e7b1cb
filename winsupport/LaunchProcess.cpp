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
