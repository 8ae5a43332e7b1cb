#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "FileContext.h"
#include "Logger.h"

namespace KvTzkLogging {

// The function-name part of a line: "Class::Method: ", or nothing for no name.
std::string FunctionPrefix(const char* function);

class LoggerWin : public Logger {
 public:
  LoggerWin();
  ~LoggerWin() override;
  LoggerWin(const LoggerWin&) = delete;
  LoggerWin& operator=(const LoggerWin&) = delete;

  void InitA(const char* nameSpace, const char* directory, const char* baseName, int level,
             int flags) override;
  void InitW(const wchar_t* nameSpace, const wchar_t* directory, const wchar_t* baseName, int level,
             int flags) override;
  void End() override;
  void Flush() override;
  void LogVW(int level, const char* function, const wchar_t* format, va_list args) override;
  void LogVA(int level, const char* function, const char* format, va_list args) override;
  void LogLastLine(int level, const char* function, const char* text) override;
  bool IsDisabled(int level) override;

  virtual std::unique_ptr<FileContext> CreateFileContext(const std::wstring& nameSpace,
                                                         const std::wstring& directory,
                                                         const std::wstring& baseName, int level,
                                                         int flags);

 protected:
  // Platform readings, kept apart so that the clock and the start header's values can be
  // driven by tests.
  virtual uint64_t TickCount() { return ::GetTickCount64(); }
  virtual bool TimeZoneOffsetMinutes(long& minutes);
  virtual bool SessionId(DWORD& session);

 private:
  void Refresh();
  // One line with a function name, from the logger itself.
  void LogNotice(int level, const char* function, const wchar_t* format, ...);
  void WriteHeader(int level);
  void WriteLine(int level, const SYSTEMTIME& time, const std::string& prefix,
                 const std::string& message);
  void TakeTime(SYSTEMTIME& time) const;
  int FormatLine(char* line, size_t capacity, int level, const SYSTEMTIME& time, const char* prefix,
                 const char* message);

  std::atomic<bool> debugOutput_{false};
  int flags_ = 0;
  CRITICAL_SECTION lock_;
  std::unique_ptr<FileContext> fileContext_;
  std::atomic<uint64_t> lastRefreshTick_{0};
};

}  // namespace KvTzkLogging
