#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "ProcessOutputRedirector.h"
#include "UniqueAny.h"

namespace Lua::Process {

// Captures a child's standard output and error through an anonymous pipe and logs them
// line by line, "[log name] line", from a reader thread of its own. The reader never
// outlives the logger: Wait and the destructor end and join it.
class ProcessOutputLogger : public ProcessOutputRedirector {
 public:
  // How long the reader may go on draining the pipe after the child has ended. A process
  // that inherited the pipe from the child (a grandchild) can hold it open for as long as
  // it lives; the reader is stopped when this time has passed.
  static constexpr DWORD kDrainTimeoutMs = 1000;

  // codePage: the code page the child writes in; 65001 (UTF-8) lines go to the log as
  // they are, any other code page is converted to UTF-8.
  ProcessOutputLogger(std::wstring logName, int codePage);
  ~ProcessOutputLogger() override;
  ProcessOutputLogger(const ProcessOutputLogger&) = delete;
  ProcessOutputLogger& operator=(const ProcessOutputLogger&) = delete;

  bool Init() override;
  STARTUPINFOW* GetStartupInfo() override { return &startupInfo_; }
  void Run() override;
  void Wait(bool stop) override;

  // A line in the logger's code page as UTF-8; empty when it isn't valid in that code page.
  std::string ConvertLine(const char* line) const;

 private:
  void ReaderThread();
  // Sets the stop flag, cancels the reader's blocked read until it has ended, and joins it.
  void StopReader();

  std::wstring logName_;
  int codePage_;
  UniqueHandle readPipe_;
  UniqueHandle writePipe_;
  STARTUPINFOW startupInfo_{};
  std::thread reader_;
  std::atomic<bool> stop_{false};
  // Set by the reader while it is inside (or about to enter) a read of the pipe.
  std::atomic<bool> reading_{false};
};

}  // namespace Lua::Process
