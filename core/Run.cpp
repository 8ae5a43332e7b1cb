#include "Run.h"

#include "BuildInfo.h"
#include "ExitCode.h"
#include "Log.h"
#include "SystemDlls.h"
#include "UniqueAny.h"

using namespace KvTzkLogging;

int Run(HINSTANCE /*instance*/) {
  UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, BuildInfo::kSingleInstanceMutex));
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    LogFuncW(LogInfo, "Run", L"Another instance is already running");
    return ExitAlreadyRunning;
  }

  if (!SetSafeDllSearchPaths()) {
    LogFuncW(LogWarning, "Run", L"Failed to set default safe DLL search paths");
  }
  LoadSystemDll(L"UxTheme.dll");
  LoadSystemDll(L"WindowsCodecs.dll");

  return ExitSuccess;
}
