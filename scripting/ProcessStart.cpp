// Starting programs for the scripts, with or without waiting, and capturing their output.
#include <memory>
#include <string>

#include "LaunchProcess.h"
#include "Log.h"
#include "ProcessModule.h"
#include "ProcessOutputLogger.h"
#include "UniqueAny.h"

namespace Lua::Process {

namespace {

using namespace KvTzkLogging;

const wchar_t* OrNull(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

std::wstring CodePageName(int codePage) {
  switch (codePage) {
    case CP_ACP: return L"CP_ACP";
    case CP_OEMCP: return L"CP_OEMCP";
    case CP_THREAD_ACP: return L"CP_THREAD_ACP";
    case CP_UTF8: return L"CP_UTF8";
    default: return std::to_wstring(codePage);
  }
}

}  // namespace

unsigned long GetCodePageValue(int codePage) {
  CPINFOEXW info{};
  if (!::GetCPInfoExW(static_cast<UINT>(codePage), 0, &info)) {
    LogFuncW(LogError, "Lua::Process::GetCodePageValue", L"Failed GetCPInfoExW: %lu",
             ::GetLastError());
    return 0;
  }
  return info.CodePage;
}

bool StartProcessWithArgumentsAndWaitForCompletion(const std::wstring& application,
                                                   const std::wstring& arguments, DWORD timeoutMs,
                                                   DWORD creationFlags,
                                                   const std::wstring& workingDirectory,
                                                   const std::wstring& logName, int codePage) {
  constexpr char kFunction[] = "Lua::Process::StartProcessWithArgumentsAndWaitForCompletion";
  const unsigned long codePageValue = GetCodePageValue(codePage);
  LogFuncW(LogInfo, kFunction,
           L"Create process:'%s' with args:'%s', mode:0x%x, wait timeout(msecs):%lu, working "
           L"dir:%s, log name:%s, output code page:%s (%lu)",
           application.c_str(), arguments.c_str(), creationFlags, timeoutMs,
           workingDirectory.c_str(), logName.c_str(), CodePageName(codePage).c_str(),
           codePageValue);

  std::unique_ptr<ProcessOutputRedirector> redirector;
  if (logName.empty()) {
    redirector = std::make_unique<DummyProcessOutputRedirector>();
  } else {
    redirector = std::make_unique<ProcessOutputLogger>(logName, codePage);
  }
  if (!redirector->Init()) return false;

  const UniqueHandle process(LaunchProcess(application.c_str(), OrNull(arguments), creationFlags,
                                           OrNull(workingDirectory), nullptr,
                                           redirector->GetStartupInfo()));
  if (!process) {
    LogFuncW(LogError, kFunction, L"Failed to create process : %lu", ::GetLastError());
    return false;
  }
  redirector->Run();
  const DWORD waited = ::WaitForSingleObject(process.get(), timeoutMs);
  const DWORD waitError = waited == WAIT_FAILED ? ::GetLastError() : ERROR_SUCCESS;
  redirector->Wait(waited != WAIT_OBJECT_0);

  if (waited == WAIT_TIMEOUT) {
    LogFuncW(LogError, kFunction, L"Process wait timeout %lu ms elapsed", timeoutMs);
    return false;
  }
  if (waited != WAIT_OBJECT_0) {
    LogFuncW(LogError, kFunction, L"Process wait failed, error: %lu", waitError);
    return false;
  }
  DWORD exitCode = 0;
  if (!::GetExitCodeProcess(process.get(), &exitCode)) {
    LogFuncW(LogError, kFunction, L"Couldn't read exit code : %lu", ::GetLastError());
    return false;
  }
  LogFuncW(LogInfo, kFunction, L"Process completed, exit code : %lu (as int:%d)", exitCode,
           static_cast<int>(exitCode));
  return exitCode == 0;
}

bool StartProcessWithArguments(const std::wstring& application, const std::wstring& arguments,
                               DWORD creationFlags, const std::wstring& workingDirectory) {
  constexpr char kFunction[] = "Lua::Process::StartProcessWithArguments";
  LogFuncW(LogInfo, kFunction, L"Create process:'%s' with args:'%s', mode:0x%x, working dir:%s",
           application.c_str(), arguments.c_str(), creationFlags, workingDirectory.c_str());
  const UniqueHandle process(LaunchProcess(application.c_str(), OrNull(arguments), creationFlags,
                                           OrNull(workingDirectory), nullptr, nullptr));
  if (!process) {
    LogFuncW(LogError, kFunction, L"Failed to create process : %lu", ::GetLastError());
    return false;
  }
  return true;
}

}  // namespace Lua::Process
