#include "ProgramRunner.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "UniqueAny.h"

namespace {

UniqueHandle TokenWithoutAdministrators() {
  UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(),
                          TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, token.put())) {
    return {};
  }
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &admins)) {
    return {};
  }
  SID_AND_ATTRIBUTES deny{admins, 0};
  UniqueHandle restricted;
  const BOOL made =
      ::CreateRestrictedToken(token.get(), 0, 1, &deny, 0, nullptr, 0, nullptr, restricted.put());
  ::FreeSid(admins);
  if (!made) return {};
  return restricted;
}

// The errors with which Wine fails to create a process that it was able to find and map.
bool IsWineStartFailure(DWORD error) {
  switch (error) {
    case ERROR_INTERNAL_ERROR:  // the new process ended while it was being set up
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
    case ERROR_COMMITMENT_LIMIT: return true;
    default: return false;
  }
}

}  // namespace

const char* const kStartRetriedMarker = "WINE START RETRIED";

bool StartRetried(const std::wstring& exe, const std::function<bool()>& start) {
  constexpr int kRetries = 2;
  for (int retry = 1;; ++retry) {
    if (start()) return true;
    const DWORD error = ::GetLastError();
    if (retry > kRetries || !IsWineStartFailure(error)) {
      ::SetLastError(error);
      return false;
    }
    std::fprintf(stderr, "%s (%d of %d): starting %s failed with error %lu; starting it again\n",
                 kStartRetriedMarker, retry, kRetries, WideToUtf8(exe).c_str(), error);
    ::Sleep(500);
  }
}

RunResult RunProgram(const std::wstring& exe, const std::wstring& arguments,
                     const RunOptions& options) {
  RunResult result;
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  UniqueHandle readPipe;
  UniqueHandle writePipe;
  std::optional<ScratchFolder> outputFolder;
  UniqueFileHandle outputFile;
  std::wstring outputPath;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (options.capture == OutputCapture::Pipe) {
    if (!::CreatePipe(readPipe.put(), writePipe.put(), &inheritable, 0)) return result;
    ::SetHandleInformation(readPipe.get(), HANDLE_FLAG_INHERIT, 0);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writePipe.get();
    startup.hStdError = writePipe.get();
    startup.hStdInput = nullptr;
  } else if (options.capture == OutputCapture::File) {
    outputFolder.emplace(L"stdout");
    outputPath = *outputFolder / L"out.txt";
    outputFile.reset(::CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                   CREATE_ALWAYS, 0, nullptr));
    if (!outputFile) return result;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outputFile.get();
    startup.hStdError = outputFile.get();
  }

  const DWORD flags = options.onSuspended ? CREATE_SUSPENDED : 0;
  const BOOL inherit = options.capture != OutputCapture::None;
  PROCESS_INFORMATION info{};
  UniqueHandle token;
  if (options.withoutAdministrators) {
    token = TokenWithoutAdministrators();
    if (!token) return result;
  }
  const auto start = [&] {
    if (token) {
      return ::CreateProcessAsUserW(token.get(), exe.c_str(), commandLine.data(), nullptr, nullptr,
                                    inherit, flags, nullptr, nullptr, &startup, &info) != FALSE;
    }
    return ::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, inherit, flags,
                            nullptr, nullptr, &startup, &info) != FALSE;
  };
  const bool created = options.retryFailedStart ? StartRetried(exe, start) : start();
  if (!created) {
    std::fprintf(stderr, "starting %s failed with error %lu\n", WideToUtf8(exe).c_str(),
                 ::GetLastError());
    return result;
  }
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);
  result.started = true;

  // Read the pipe while the child runs, so that a large output can't block it.
  std::thread reader;
  UniqueHandle readerDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (options.capture == OutputCapture::Pipe) {
    writePipe.reset();
    reader = std::thread([&] {
      result.output = ReadToEnd(readPipe.get());
      ::SetEvent(readerDone.get());
    });
  }
  if (options.onSuspended) options.onSuspended(process.get(), options.context);
  if (options.onSuspended) ::ResumeThread(thread.get());
  if (::WaitForSingleObject(process.get(), options.timeoutMs) != WAIT_OBJECT_0) {
    result.timedOut = true;
    ::TerminateProcess(process.get(), 255);
    ::WaitForSingleObject(process.get(), 5000);
  }
  ::GetExitCodeProcess(process.get(), &result.exitCode);
  if (reader.joinable()) {
    // A process the child started may hold the pipe's write end after the child ended (Wine
    // starts its desktop process from the first program that needs one, with the program's
    // handles): the output is then whatever came before the child ended.
    DWORD wait = 10000;
    while (::WaitForSingleObject(readerDone.get(), wait) != WAIT_OBJECT_0) {
      ::CancelSynchronousIo(pthread_gethandle(reader.native_handle()));
      wait = 100;
    }
    reader.join();
  }
  if (options.capture == OutputCapture::File) {
    outputFile.reset();
    result.output = ReadFileBytes(outputPath);
  }
  return result;
}

std::wstring PurgeKit64Path() { return PURGEKIT64_EXE; }
std::wstring PurgeKit32Path() { return PURGEKIT32_EXE; }
std::wstring FixturePath(const std::wstring& relative) {
  return std::wstring(TEST_FIXTURES_DIR) + L"\\" + relative;
}

const char* const kNoWine32Reason =
    "32-bit programs cannot run under Wine here (this machine runs no 32-bit code, 32-bit Wine "
    "is missing, or PURGEKIT_WINE64_ONLY=1 chose the 64-bit-only road)";

bool Wine32Available() {
  static const bool available = [] {
    // Where the tools found that this machine runs no 32-bit code (PURGEKIT_RUNS_32BIT, see
    // tools/wine-env.sh), Wine fails the probe's start with ERROR_INTERNAL_ERROR every time:
    // that is the answer, not a start to retry.
    RunOptions options;
    const char* runs = std::getenv("PURGEKIT_RUNS_32BIT");
    options.retryFailedStart = runs == nullptr || std::strcmp(runs, "yes") == 0;
    // The probe exits 42 only when it really ran as a 32-bit process.
    return RunProgram(WOW64_PROBE_EXE, L"", options).exitCode == 42;
  }();
  return available;
}
