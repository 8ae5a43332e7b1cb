#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// What the logging library reads from the registry: the level, the debugger output and the
// size limit (REG_DWORD values, read again at every refresh) and the root directory of the
// log files (read once). Every value is optional; nothing is ever written.
namespace KvTzkLogging {

enum LogRootKind : int {
  AdminRoot = 0,         // a member of the Administrators group
  UserRoot = 1,          // any other process that is not at low integrity
  LowIntegrityRoot = 2,  // a low-integrity process that is not an administrator
};

// The key of the logging values, always opened in the 32-bit view so that both programs
// read the same values on 64-bit Windows.
extern const wchar_t kLoggingKey[];
// The Shell Folders key, read in the program's default view.
extern const wchar_t kShellFoldersKey[];
// The Shell Folders value of the low-integrity application data folder.
extern const wchar_t kLowIntegrityAppData[];

constexpr DWORD kDefaultMaxSizeKB = 50;

// One REG_DWORD of one key, or defaultValue when the key or value is missing, has another
// type or is not four bytes long.
DWORD ReadDwordValue(HKEY hive, const std::wstring& keyPath, const wchar_t* valueName, REGSAM view,
                     DWORD defaultValue);
// The value from the first of the three keys (Logging\dir\name, Logging\dir, Logging) that
// yields one. 0xFFFFFFFF in the first two keys counts as absent; in the last it is returned.
DWORD ReadConfigDword(const wchar_t* valueName, const std::wstring& dir, const std::wstring& name,
                      DWORD defaultValue);
// LogMaxSizeKB times 1024, in bytes. 64 bits in both programs, so that every value that the
// registry can hold gives the same limit in the 32-bit program as in the 64-bit one.
uint64_t ReadMaxSize(const std::wstring& dir, const std::wstring& name);
int ReadLogLevel(const std::wstring& dir, const std::wstring& name, int defaultLevel);
bool ReadDebugOutputLogging(const std::wstring& dir, const std::wstring& name);

// A REG_SZ or REG_EXPAND_SZ value, not expanded, or empty. The text ends at its first zero
// character, so a value with a zero inside can't name a path other than the one it shows.
std::wstring ReadRegString(HKEY hive, const std::wstring& keyPath, const wchar_t* valueName,
                           REGSAM view);
// The text with its environment variables expanded, or empty on failure.
std::wstring ExpandEnvString(const std::wstring& text);

// The root directory of the log files for the kind of process; possibly empty.
std::wstring GetLogRoot(LogRootKind kind);

}  // namespace KvTzkLogging
