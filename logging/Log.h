#pragma once

#include "Logger.h"

// The process-wide logging calls. None of them reports a failure to its caller, and an
// accepted call leaves the thread's last-error code as it was.
namespace KvTzkLogging {

Logger& GetLogger();
// A separate logger, owned by the caller.
Logger* CreateLogger();

void InitNsW(const wchar_t* nameSpace, const wchar_t* directory, const wchar_t* baseName, int level,
             int flags);
void InitNsA(const char* nameSpace, const char* directory, const char* baseName, int level,
             int flags);
void InitW(const wchar_t* directory, const wchar_t* baseName, int level, int flags);
void InitA(const char* directory, const char* baseName, int level, int flags);
void End();
void Flush();
bool IsEnabled(int level);

// Wide formats follow the Windows C runtime: "%s" is wide, "%S" and "%hs" narrow.
void LogFuncW(int level, const char* function, const wchar_t* format, ...);
void LogFuncA(int level, const char* function, const char* format, ...);
void LogW(int level, const wchar_t* format, ...);
void LogA(int level, const char* format, ...);
// The last line before the process ends after a fault (Logger::LogLastLine).
void LogLastLineA(int level, const char* function, const char* text);

}  // namespace KvTzkLogging
