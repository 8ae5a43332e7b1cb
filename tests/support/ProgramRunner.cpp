#include "ProgramRunner.h"

#include "UniqueAny.h"

RunResult RunProgram(const std::wstring& exe, const std::wstring& arguments,
                     const RunOptions& options) {
  RunResult result;
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const DWORD flags = options.onSuspended ? CREATE_SUSPENDED : 0;
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                        nullptr, &startup, &info)) {
    return result;
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  result.started = true;
  if (options.onSuspended) {
    options.onSuspended(process.get(), options.context);
    ::ResumeThread(thread.get());
  }
  if (::WaitForSingleObject(process.get(), options.timeoutMs) != WAIT_OBJECT_0) {
    result.timedOut = true;
    ::TerminateProcess(process.get(), 255);
    ::WaitForSingleObject(process.get(), 5000);
  }
  ::GetExitCodeProcess(process.get(), &result.exitCode);
  return result;
}

std::wstring PurgeKit64Path() { return PURGEKIT64_EXE; }
std::wstring PurgeKit32Path() { return PURGEKIT32_EXE; }

const char* const kNoWine32Reason =
    "32-bit Wine is not installed here, so a 32-bit program can't run (Wine would report "
    "exit code 0 without running it)";

bool Wine32Available() {
  // The probe exits 42 only when it really ran as a 32-bit process.
  static const bool available = RunProgram(WOW64_PROBE_EXE, L"").exitCode == 42;
  return available;
}
