#include "Log.h"

#include "LoggerWin.h"

namespace KvTzkLogging {

Logger& GetLogger() {
  static LoggerWin logger;
  return logger;
}

Logger* CreateLogger() { return new LoggerWin(); }

void InitNsW(const wchar_t* nameSpace, const wchar_t* directory, const wchar_t* baseName, int level,
             int flags) {
  GetLogger().InitW(nameSpace, directory, baseName, level, flags);
}

void InitNsA(const char* nameSpace, const char* directory, const char* baseName, int level,
             int flags) {
  GetLogger().InitA(nameSpace, directory, baseName, level, flags);
}

void InitW(const wchar_t* directory, const wchar_t* baseName, int level, int flags) {
  GetLogger().InitW(nullptr, directory, baseName, level, flags);
}

void InitA(const char* directory, const char* baseName, int level, int flags) {
  GetLogger().InitA(nullptr, directory, baseName, level, flags);
}

void End() { GetLogger().End(); }

void Flush() { GetLogger().Flush(); }

bool IsEnabled(int level) { return GetLogger().IsEnabled(level); }

void LogFuncW(int level, const char* function, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  GetLogger().LogVW(level, function, format, args);
  va_end(args);
}

void LogFuncA(int level, const char* function, const char* format, ...) {
  va_list args;
  va_start(args, format);
  GetLogger().LogVA(level, function, format, args);
  va_end(args);
}

void LogW(int level, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  GetLogger().LogVW(level, nullptr, format, args);
  va_end(args);
}

void LogA(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  GetLogger().LogVA(level, nullptr, format, args);
  va_end(args);
}

void LogLastLineA(int level, const char* function, const char* text) {
  GetLogger().LogLastLine(level, function, text);
}

}  // namespace KvTzkLogging
