#include <windows.h>

#include "BuildInfo.h"
#include "FatalExceptionFilter.h"
#include "Log.h"
#include "Run.h"

using namespace KvTzkLogging;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  FatalExceptionFilter::Install();
  InitNsW(nullptr, L"PurgeKit", L"PurgeKit", LogInfo, 0);
  LogW(LogInfo, L"Binary version: %s, compilation time: %s %s", BuildInfo::kVersion,
       BuildInfo::kBuildDate, BuildInfo::kBuildTime);
  const int code = Run(instance);
  LogFuncW(LogInfo, "wWinMain", L"Exiting with code: %d", code);
  End();
  return code;
}
