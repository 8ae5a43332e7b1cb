#include "Settings.h"

#include <cwctype>

#include "Log.h"
#include "StringUtils.h"

using namespace KvTzkLogging;

namespace {

constexpr wchar_t kGlobal[] = L"GLOBAL";
constexpr wchar_t kLocal[] = L"LOCAL";
constexpr wchar_t kResourceType[] = L"PROPERTIES";

}  // namespace

bool Settings::KeyLess::operator()(const std::wstring& a, const std::wstring& b) const {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const wint_t x = std::towlower(a[i]);
    const wint_t y = std::towlower(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

Settings& Settings::Instance() {
  static Settings instance;
  return instance;
}

Settings::Settings() : selectedLanguage_(L"xx") {}

Settings::~Settings() = default;

Settings::Table& Settings::TableOf(SettingsScope scope) {
  return scope == Customizations ? customizations_ : localizations_;
}

bool Settings::Load(SettingsScope scope, HMODULE module, unsigned id) {
  const std::wstring text = LoadResource(module, id);
  if (text.empty()) return false;
  return LoadFromString(scope, text);
}

std::wstring Settings::LoadResource(HMODULE module, unsigned id) {
  HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), kResourceType);
  if (info == nullptr) {
    LogFuncW(LogWarning, "Settings::LoadResource", L"Didn't find properties, last error = %lu",
             ::GetLastError());
    return {};
  }
  HGLOBAL loaded = ::LoadResource(module, info);
  if (loaded == nullptr) {
    LogFuncW(LogWarning, "Settings::LoadResource", L"Failed to load resource, last error = %lu",
             ::GetLastError());
    return {};
  }
  const void* data = ::LockResource(loaded);
  if (data == nullptr) return {};
  const DWORD size = ::SizeofResource(module, info);
  LogFuncW(LogDebug, "Settings::LoadResource", L"Loading resource id %u (size %lu)", id, size);
  return Utf8ToWide(std::string(static_cast<const char*>(data), size));
}

bool Settings::LoadFromString(SettingsScope scope, const std::wstring& text) {
  std::lock_guard<std::mutex> guard(lock_);
  Table& table = TableOf(scope);
  table.clear();
  size_t count = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    if (end > start) count += ParseLine(table, text.substr(start, end - start));
    start = end + 1;
  }
  // "%Iu" is the runtime's spelling of a size_t; older system runtimes lack "%zu".
  LogFuncW(LogDebug, "Settings::LoadFromString", L"Loaded %Iu values", count);
  return count > 0;
}

size_t Settings::ParseLine(Table& table, const std::wstring& line) {
  const size_t equals = line.find(L'=');
  if (equals == std::wstring::npos) return 0;
  const std::wstring head = line.substr(0, equals);
  const size_t colon = head.find(L':');
  std::wstring section = kGlobal;
  std::wstring key = head;
  if (colon != std::wstring::npos) {
    section = head.substr(0, colon);
    key = head.substr(colon + 1);
  }
  table[section][key] = line.substr(equals + 1);
  return 1;
}

std::vector<std::wstring> Settings::GetLanguages() {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<std::wstring> languages;
  for (const auto& [section, values] : customizations_) {
    if (section != kGlobal && section != kLocal) languages.push_back(section);
  }
  return languages;
}

std::wstring Settings::GetSelectedLanguage() {
  std::lock_guard<std::mutex> guard(lock_);
  return selectedLanguage_;
}

bool Settings::SelectLanguage(const std::wstring& language) {
  std::lock_guard<std::mutex> guard(lock_);
  if (language != kGlobal && language != kLocal && customizations_.count(language) != 0) {
    selectedLanguage_ = language;
    LogFuncW(LogInfo, "Settings::SelectLanguage", L"Language '%s' selected", language.c_str());
    return true;
  }
  LogFuncW(LogWarning, "Settings::SelectLanguage", L"Failed to select '%ls' language",
           language.c_str());
  return false;
}

std::wstring Settings::GetString(const std::wstring& key, const std::wstring& language) {
  std::lock_guard<std::mutex> guard(lock_);
  const std::wstring& section = language.empty() ? selectedLanguage_ : language;
  const auto found = localizations_.find(section);
  if (found != localizations_.end()) {
    const auto value = found->second.find(key);
    if (value != found->second.end()) return value->second;
  }
  return std::wstring(1, kMissingTextMarker) + key;
}

std::wstring Settings::GetCustomization(const std::wstring& key) {
  std::lock_guard<std::mutex> guard(lock_);
  for (const std::wstring& section :
       {std::wstring(kLocal), selectedLanguage_, std::wstring(kGlobal)}) {
    const auto found = customizations_.find(section);
    if (found == customizations_.end()) continue;
    const auto value = found->second.find(key);
    if (value != found->second.end()) return value->second;
  }
  return {};
}

void Settings::SetCustomization(const std::wstring& key, const std::wstring& value) {
  std::lock_guard<std::mutex> guard(lock_);
  customizations_[kLocal][key] = value;
}
