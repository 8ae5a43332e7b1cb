#include "LogConfiguration.h"

#include <vector>

#include "UniqueAny.h"

namespace KvTzkLogging {

const wchar_t kLoggingKey[] = L"SOFTWARE\\Korvane\\TZK\\Logging";
const wchar_t kShellFoldersKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kLowIntegrityAppData[] = L"{A520A1A4-1780-4FF6-BD18-167343C5AF16}";

namespace {

constexpr DWORD kAbsent = 0xFFFFFFFF;

UniqueHKey OpenForQuery(HKEY hive, const std::wstring& keyPath, REGSAM view) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(hive, keyPath.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
    return UniqueHKey();
  }
  return UniqueHKey(key);
}

}  // namespace

DWORD ReadDwordValue(HKEY hive, const std::wstring& keyPath, const wchar_t* valueName, REGSAM view,
                     DWORD defaultValue) {
  const UniqueHKey key = OpenForQuery(hive, keyPath, view);
  if (!key) return defaultValue;
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (::RegQueryValueExW(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    return defaultValue;
  }
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
  const UniqueHKey key = OpenForQuery(hive, keyPath, view);
  if (!key) return {};
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  if (::RegQueryValueExW(key.get(), valueName, nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  std::wstring text(buffer.data(), size / sizeof(wchar_t));
  const size_t zero = text.find(L'\0');
  if (zero != std::wstring::npos) text.resize(zero);
  return text;
}

std::wstring ExpandEnvString(const std::wstring& text) {
  const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (needed == 0) return {};
  std::vector<wchar_t> buffer(needed);
  const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed);
  if (written == 0 || written > needed) return {};
  return std::wstring(buffer.data(), written - 1);
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
