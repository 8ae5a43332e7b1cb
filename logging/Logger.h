#pragma once

#include <atomic>
#include <cstdarg>

namespace KvTzkLogging {

enum LogSeverity : int {
  LogFatal = 1,
  LogError = 2,
  LogWarning = 3,
  LogInfo = 4,
  LogDebug = 5,
  LogVerbose = 6,
};

enum LogInitFlags : int {
  NoNamedMutex = 0x1,
  HeaderAtDebug = 0x2,
  DeferredStart = 0x4,
  PerUserFile = 0x8,
  UtcTime = 0x10,
  RestrictedDirectoryAcl = 0x20,
};

// The abstract logger: level filtering and the convenience calls. A message is
// accepted when its level is less than or equal to the current level.
class Logger {
 public:
  virtual ~Logger() = default;

  virtual void InitA(const char* nameSpace, const char* directory, const char* baseName, int level,
                     int flags) = 0;
  virtual void InitW(const wchar_t* nameSpace, const wchar_t* directory, const wchar_t* baseName,
                     int level, int flags) = 0;
  virtual void End() = 0;
  virtual void Flush() = 0;
  virtual void LogVW(int level, const char* function, const wchar_t* format, va_list args) = 0;
  virtual void LogVA(int level, const char* function, const char* format, va_list args) = 0;
  // The last line of a process that is about to end because of a fault: a finished text,
  // written with little stack, no heap and no registry reading, and without waiting for
  // long on a lock that the faulted code may have left held.
  virtual void LogLastLine(int level, const char* function, const char* text) = 0;
  virtual bool IsEnabled(int level) { return !IsDisabled(level); }
  virtual bool IsDisabled(int level) { return level > level_.load(); }
  virtual const char* LevelName(int level);
  virtual int HeaderLevel(int flags) { return (flags & HeaderAtDebug) ? LogDebug : LogInfo; }
  virtual void LogFA(int level, const char* format, ...);
  virtual void LogFW(int level, const wchar_t* format, ...);

  int CurrentLevel() const { return level_.load(); }

 protected:
  std::atomic<int> level_{0};
};

}  // namespace KvTzkLogging
