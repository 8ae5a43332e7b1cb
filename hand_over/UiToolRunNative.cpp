// The 32-bit program on 64-bit Windows hands the run to the 64-bit program that its archive
// carried into the work directory, and ends with that program's exit code.
#include <windows.h>

#include "Console.h"
#include "ExitCode.h"
#include "HandOverParameters.h"
#include "KvOptionParser.h"
#include "LaunchProcess.h"
#include "Log.h"
#include "PathUtils.h"
#include "Settings.h"
#include "UiTool.h"
#include "UniqueAny.h"

using namespace KvTzkLogging;

namespace {

bool IsWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32");
  if (kernel == nullptr) return false;
  const auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")));
  BOOL wow64 = FALSE;
  if (isWow64Process != nullptr) isWow64Process(::GetCurrentProcess(), &wow64);
  return wow64 != FALSE;
}

}  // namespace

bool UiTool::RunNative(int* code) {
  if (!IsWow64()) return false;
  const std::wstring exe = CombinePath(workDir_, L"PurgeKit64.exe");
  if (!IsFile(exe)) return false;

  const std::wstring parameters = BuildHandOverParameters(
      workDir_, Settings::Instance().GetSelectedLanguage(), KvOptionParser::Instance());
  LogFuncW(LogInfo, "UiTool::RunNative", L"Executing 64-bit version");
  // The standard handles read next are the console's when the tool was started from one.
  AttachParentConsole();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  *code = ExitError;

  UniqueHandle process(
      LaunchProcess(exe.c_str(), parameters.c_str(), 0, workDir_.c_str(), nullptr, &startup));
  if (!process || process.get() == INVALID_HANDLE_VALUE) {
    LogFuncW(LogError, "UiTool::RunNative", L"Failed to launch 64-bit version: %lu",
             ::GetLastError());
    return true;
  }
  ::WaitForSingleObject(process.get(), INFINITE);
  DWORD exitCode = ExitError;
  ::GetExitCodeProcess(process.get(), &exitCode);
  LogFuncW(LogInfo, "UiTool::RunNative", L"64-bit finished with: %lu", exitCode);
  *code = static_cast<int>(exitCode);
  return true;
}
