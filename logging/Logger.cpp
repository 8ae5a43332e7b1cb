#include "Logger.h"

namespace KvTzkLogging {

const char* Logger::LevelName(int level) {
  switch (level) {
    case LogFatal: return "*F";
    case LogError: return "*E";
    case LogWarning: return ".W";
    case LogInfo: return " I";
    case LogDebug: return " D";
    case LogVerbose: return " V";
    default: return "  ";
  }
}

void Logger::LogFA(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogVA(level, nullptr, format, args);
  va_end(args);
}

void Logger::LogFW(int level, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  LogVW(level, nullptr, format, args);
  va_end(args);
}

}  // namespace KvTzkLogging
