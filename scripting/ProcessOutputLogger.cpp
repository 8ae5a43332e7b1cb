#include "ProcessOutputLogger.h"

#include <pthread.h>

#include <system_error>

#include "LineBuffer.h"
#include "Log.h"
#include "StringUtils.h"

namespace Lua::Process {

namespace {

using namespace KvTzkLogging;

constexpr DWORD kChunkSize = 4096;
constexpr DWORD kCancelRetryMs = 50;

// Logs one line of the child's output; no function name, the log name tells whose it is.
void LogOutputLine(const std::wstring& logName, const std::string& line) {
  LogA(LogInfo, "[%ls] %hs", logName.c_str(), line.c_str());
}

}  // namespace

ProcessOutputLogger::ProcessOutputLogger(std::wstring logName, int codePage)
    : logName_(std::move(logName)), codePage_(codePage) {}

ProcessOutputLogger::~ProcessOutputLogger() {
  if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) StopReader();
}

bool ProcessOutputLogger::Init() {
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
    LogFuncW(LogError, "Lua::Process::ProcessOutputLogger::Init", L"Failed to create pipe : %lu",
             ::GetLastError());
    return false;
  }
  readPipe_.reset(readEnd);
  writePipe_.reset(writeEnd);
  if (!::SetHandleInformation(readPipe_.get(), HANDLE_FLAG_INHERIT, 0)) {
    LogFuncW(LogError, "Lua::Process::ProcessOutputLogger::Init",
             L"Failed to make read pipe handle to be non-inheritable: %lu", ::GetLastError());
    return false;
  }
  startupInfo_ = STARTUPINFOW{};
  startupInfo_.cb = sizeof(startupInfo_);
  startupInfo_.dwFlags = STARTF_USESTDHANDLES;
  startupInfo_.hStdOutput = writePipe_.get();
  startupInfo_.hStdError = writePipe_.get();
  startupInfo_.hStdInput = nullptr;
  return true;
}

void ProcessOutputLogger::Run() {
  // Once the child (and whatever it passes the pipe on to) has closed its copy, reads
  // end with a broken pipe.
  writePipe_.reset();
  try {
    reader_ = std::thread(&ProcessOutputLogger::ReaderThread, this);
  } catch (const std::system_error& error) {
    LogFuncW(LogError, "Lua::Process::ProcessOutputLogger::Run",
             L"Failed to start the output reader: %S", error.what());
  }
}

void ProcessOutputLogger::Wait(bool stop) {
  if (!reader_.joinable() || reader_.get_id() == std::this_thread::get_id()) return;
  if (!stop) {
    // The child has ended: what it wrote is in the pipe. Normally the reader meets the end
    // of the pipe soon; a process that inherited the pipe from the child keeps it open.
    if (::WaitForSingleObject(pthread_gethandle(reader_.native_handle()), kDrainTimeoutMs) ==
        WAIT_OBJECT_0) {
      reader_.join();
      return;
    }
    LogFuncW(LogWarning, "Lua::Process::ProcessOutputLogger::Wait",
             L"[%s] Output still open %lu ms after the process ended (held by a process it "
             L"started); no longer reading it",
             logName_.c_str(), kDrainTimeoutMs);
  }
  StopReader();
}

void ProcessOutputLogger::StopReader() {
  stop_.exchange(true);
  const HANDLE thread = pthread_gethandle(reader_.native_handle());
  // A read that blocks while another process holds the pipe open is cancelled; the reader
  // then sees the stop flag. A cancel that comes just before the read starts finds nothing
  // to cancel, so it is repeated until the reader has ended.
  while (thread != nullptr && ::WaitForSingleObject(thread, kCancelRetryMs) == WAIT_TIMEOUT) {
    if (reading_.load()) ::CancelSynchronousIo(thread);
  }
  reader_.join();
}

std::string ProcessOutputLogger::ConvertLine(const char* line) const {
  return WideToUtf8(MultiByteToWide(line, static_cast<unsigned>(codePage_)));
}

void ProcessOutputLogger::ReaderThread() {
  const bool utf8 = codePage_ == CP_UTF8;
  LineBuffer lines([this, utf8](const char* line) {
    LogOutputLine(logName_, utf8 ? std::string(line) : ConvertLine(line));
  });
  char chunk[kChunkSize];
  for (;;) {
    reading_.store(true);
    if (stop_.load()) break;
    DWORD read = 0;
    const BOOL ok = ::ReadFile(readPipe_.get(), chunk, kChunkSize - 1, &read, nullptr);
    const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    reading_.store(false);
    if (!ok) {
      // A broken pipe: every writer is gone. A cancelled read: the caller stopped us.
      const bool expected =
          error == ERROR_BROKEN_PIPE || (error == ERROR_OPERATION_ABORTED && stop_.load());
      if (!expected) {
        LogFuncW(LogError, "Lua::Process::ProcessOutputLogger::ReaderThread",
                 L"Failed ReadFile: %lu", error);
      }
      break;
    }
    chunk[read] = '\0';
    if (chunk[0] == '\0') continue;
    lines.Feed(chunk);
  }
  reading_.store(false);
  lines.Flush();
}

}  // namespace Lua::Process
