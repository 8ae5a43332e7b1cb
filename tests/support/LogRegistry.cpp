#include "LogRegistry.h"

#include "UniqueAny.h"

namespace {

constexpr wchar_t kLoggingRoot[] = L"SOFTWARE\\Korvane\\TZK\\Logging";

}  // namespace

std::wstring LoggingKey(const std::wstring& dir, const std::wstring& name) {
  std::wstring key = kLoggingRoot;
  if (!dir.empty()) key += L"\\" + dir;
  if (!name.empty()) key += L"\\" + name;
  return key;
}

ScopedRegValue::ScopedRegValue(HKEY hive, std::wstring key, std::wstring value, REGSAM view)
    : hive_(hive), key_(std::move(key)), value_(std::move(value)), view_(view) {
  for (std::wstring part = key_;;) {
    HKEY probe = nullptr;
    if (::RegOpenKeyExW(hive_, part.c_str(), 0, KEY_QUERY_VALUE | view_, &probe) == ERROR_SUCCESS) {
      ::RegCloseKey(probe);
      existingKey_ = part;
      break;
    }
    const size_t slash = part.rfind(L'\\');
    if (slash == std::wstring::npos) break;
    part.resize(slash);
  }
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(hive_, key_.c_str(), 0, KEY_QUERY_VALUE | view_, &raw) != ERROR_SUCCESS) {
    return;
  }
  const UniqueHKey opened(raw);
  DWORD size = 0;
  if (::RegQueryValueExW(opened.get(), value_.c_str(), nullptr, &type_, nullptr, &size) !=
      ERROR_SUCCESS) {
    return;
  }
  data_.resize(size);
  if (::RegQueryValueExW(opened.get(), value_.c_str(), nullptr, &type_, data_.data(), &size) ==
      ERROR_SUCCESS) {
    data_.resize(size);
    existed_ = true;
  }
}

ScopedRegValue::~ScopedRegValue() {
  if (existed_) {
    SetRaw(type_, data_.data(), static_cast<DWORD>(data_.size()));
    return;
  }
  Remove();
  // Remove the keys made for the value, deepest first, while they hold nothing.
  for (std::wstring part = key_; part.size() > existingKey_.size();
       part = part.substr(0, part.rfind(L'\\'))) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(hive_, part.c_str(), 0, KEY_QUERY_VALUE | view_, &raw) != ERROR_SUCCESS) {
      break;
    }
    const UniqueHKey key(raw);
    DWORD subkeys = 1;
    DWORD values = 1;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                           &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys != 0 || values != 0 ||
        ::RegDeleteKeyExW(hive_, part.c_str(), view_, 0) != ERROR_SUCCESS ||
        part.find(L'\\') == std::wstring::npos) {
      break;
    }
  }
}

bool ScopedRegValue::SetRaw(DWORD type, const void* data, DWORD size) {
  HKEY raw = nullptr;
  if (::RegCreateKeyExW(hive_, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view_, nullptr, &raw,
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const UniqueHKey key(raw);
  return ::RegSetValueExW(key.get(), value_.c_str(), 0, type, static_cast<const BYTE*>(data),
                          size) == ERROR_SUCCESS;
}

bool ScopedRegValue::SetDword(DWORD data) { return SetRaw(REG_DWORD, &data, sizeof(data)); }

bool ScopedRegValue::SetString(const std::wstring& text, DWORD type) {
  return SetRaw(type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool ScopedRegValue::Remove() {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(hive_, key_.c_str(), 0, KEY_SET_VALUE | view_, &raw) != ERROR_SUCCESS) {
    return true;
  }
  const UniqueHKey key(raw);
  const LSTATUS status = ::RegDeleteValueW(key.get(), value_.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

ScopedLogRoot::ScopedLogRoot() : rootPath_(HKEY_LOCAL_MACHINE, kLoggingRoot, L"RootPath") {
  rootPath_.SetString(root_.Path());
}

ScopedLogRoot::~ScopedLogRoot() = default;

std::wstring ScopedLogRoot::Directory(const std::wstring& dir) const {
  return Root() + L"\\Korvane\\Log\\" + dir;
}

std::wstring ScopedLogRoot::File(int generation, const std::wstring& dir,
                                 const std::wstring& name) const {
  std::wstring path = Directory(dir) + L"\\" + name;
  if (generation > 0) path += L"." + std::to_wstring(generation);
  return path + L".log";
}
