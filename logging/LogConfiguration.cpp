#include "LogConfiguration.h"

#include <cstring>

#include "Win32Registry.h"

namespace KvTzkLogging {

const wchar_t kLoggingKey[] = L"SOFTWARE\\Korvane\\TZK\\Logging";
const wchar_t kShellFoldersKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kLowIntegrityAppData[] = L"{A520A1A4-1780-4FF6-BD18-167343C5AF16}";

namespace {

constexpr DWORD kAbsent = 0xFFFFFFFF;

}  // namespace

DWORD ReadDwordValue(HKEY hive, const std::wstring& keyPath, const wchar_t* valueName, REGSAM view,
                     DWORD defaultValue) {
  Win32Registry registry;
  registry.SetRoot(hive);
  registry.SetAccess(view);
  ByteList bytes;
  uint32_t type = REG_NONE;
  if (!registry.GetRawValue(keyPath, valueName, bytes, type) || type != REG_DWORD ||
      bytes.size() != sizeof(DWORD)) {
    return defaultValue;
  }
  DWORD value = 0;
  std::memcpy(&value, bytes.data(), sizeof(value));
  return value;
}

DWORD ReadConfigDword(const wchar_t* valueName, const std::wstring& dir, const std::wstring& name,
                      DWORD defaultValue) {
  const std::wstring root = kLoggingKey;
  DWORD value = ReadDwordValue(HKEY_LOCAL_MACHINE, root + L"\\" + dir + L"\\" + name, valueName,
                               KEY_WOW64_32KEY, kAbsent);
  if (value == kAbsent) {
    value =
        ReadDwordValue(HKEY_LOCAL_MACHINE, root + L"\\" + dir, valueName, KEY_WOW64_32KEY, kAbsent);
  }
  if (value == kAbsent) {
    value = ReadDwordValue(HKEY_LOCAL_MACHINE, root, valueName, KEY_WOW64_32KEY, defaultValue);
  }
  return value;
}

uint64_t ReadMaxSize(const std::wstring& dir, const std::wstring& name) {
  return static_cast<uint64_t>(ReadConfigDword(L"LogMaxSizeKB", dir, name, kDefaultMaxSizeKB)) *
         1024;
}

int ReadLogLevel(const std::wstring& dir, const std::wstring& name, int defaultLevel) {
  return static_cast<int>(
      ReadConfigDword(L"LogLevel", dir, name, static_cast<DWORD>(defaultLevel)));
}

bool ReadDebugOutputLogging(const std::wstring& dir, const std::wstring& name) {
  return ReadConfigDword(L"DebugOutputLogging", dir, name, 0) != 0;
}

std::wstring ReadRegString(HKEY hive, const std::wstring& keyPath, const wchar_t* valueName,
                           REGSAM view) {
  Win32Registry registry;
  registry.SetRoot(hive);
  registry.SetAccess(view);
  std::wstring text;
  if (!registry.GetString(keyPath, valueName, text)) return {};
  const size_t zero = text.find(L'\0');
  if (zero != std::wstring::npos) text.resize(zero);
  return text;
}

std::wstring ExpandEnvString(const std::wstring& text) {
  std::wstring expanded = text;
  ExpandEnvironmentStringsInPlace(expanded);
  return expanded;
}

std::wstring GetLogRoot(LogRootKind kind) {
  if (kind == LowIntegrityRoot) {
    return ReadRegString(HKEY_CURRENT_USER, kShellFoldersKey, kLowIntegrityAppData, 0);
  }
  const bool admin = kind == AdminRoot;
  const HKEY hive = admin ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  std::wstring root = ReadRegString(hive, kLoggingKey, L"RootPath", KEY_WOW64_32KEY);
  if (!root.empty()) return root;
  root = ReadRegString(hive, kShellFoldersKey, admin ? L"Common AppData" : L"Local AppData", 0);
  if (!root.empty()) return root;
  return ExpandEnvString(admin ? L"%ProgramData%" : L"%LOCALAPPDATA%");
}

}  // namespace KvTzkLogging
