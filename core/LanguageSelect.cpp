#include "LanguageSelect.h"

#include <cwctype>
#include <utility>

#include "KvOptionParser.h"
#include "Log.h"
#include "Settings.h"
#include "StringUtils.h"

using namespace KvTzkLogging;

LanguageSelect::LanguageSelect(std::wstring language) : language_(std::move(language)) {}

LanguageSelect::~LanguageSelect() = default;

bool LanguageSelect::SelectDefaultLanguage() {
  const std::vector<std::wstring> languages = Settings::Instance().GetLanguages();
  LogFuncW(LogDebug, "LanguageSelect::SelectDefaultLanguage", L"Selectable: %s",
           Join(languages, L',').c_str());
  if (SelectLanguageFromCommandLine(languages) || SelectLanguageFromEnvironment(languages)) {
    Settings::Instance().SelectLanguage(language_);
    return true;
  }
  return false;
}

bool LanguageSelect::SelectLanguageFromCommandLine(const std::vector<std::wstring>& languages) {
  const std::wstring value = KvOptionParser::Instance().GetValue(L"language");
  if (value.empty()) return false;
  if (Contains(languages, value)) {
    language_ = value;
    LogFuncW(LogInfo, "LanguageSelect::SelectLanguageFromCommandLine",
             L"Selected '%s' as default language by command-line option", value.c_str());
    return true;
  }
  LogFuncW(LogWarning, "LanguageSelect::SelectLanguageFromCommandLine",
           L"User specified '%s' as language in command-line, but it's not selectable",
           value.c_str());
  return false;
}

bool LanguageSelect::SelectLanguageFromEnvironment(const std::vector<std::wstring>& languages) {
  const LANGID id = GetUserUiLanguage();
  LogFuncW(LogDebug, "LanguageSelect::SelectLanguageFromEnvironment",
           L"User display language is '%s' (%s-%s)", GetLocaleEnglishLanguageName(id).c_str(),
           GetLocaleLanguageName(id).c_str(), GetLocaleCountryName(id).c_str());
  const std::wstring match = MatchLanguage(id, languages, L"en");
  if (match.empty()) {
    LogFuncW(LogFatal, "LanguageSelect::SelectLanguageFromEnvironment",
             L"Unable to determine default language");
    return false;
  }
  LogFuncW(LogDebug, "LanguageSelect::SelectLanguageFromEnvironment",
           L"Selected '%s' as the default language", match.c_str());
  language_ = match;
  return true;
}

LANGID GetUserUiLanguage() { return ::GetUserDefaultUILanguage(); }

std::wstring GetLocaleString(LANGID id, LCTYPE type) {
  const int size = ::GetLocaleInfoW(id, type, nullptr, 0);
  if (size <= 0) return {};
  std::wstring buffer(static_cast<size_t>(size), L'\0');
  if (::GetLocaleInfoW(id, type, buffer.data(), size) == 0) return {};
  buffer.resize(static_cast<size_t>(size - 1));
  return buffer;
}

std::wstring GetLocaleLanguageName(LANGID id) {
  return GetLocaleString(id, LOCALE_SISO639LANGNAME);
}

std::wstring GetLocaleCountryName(LANGID id) {
  return GetLocaleString(id, LOCALE_SISO3166CTRYNAME);
}

std::wstring GetLocaleEnglishLanguageName(LANGID id) {
  return GetLocaleString(id, LOCALE_SENGLISHLANGUAGENAME);
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

std::wstring MatchLanguage(LANGID id, const std::vector<std::wstring>& languages,
                           const std::wstring& fallback) {
  const std::wstring language = GetLocaleLanguageName(id);
  const std::wstring country = GetLocaleCountryName(id);
  // Each candidate walks the whole list before the next one is tried, so a better kind of
  // match always wins over an earlier position in the list.
  for (const std::wstring& candidate : {language + L"-" + country, language, country, fallback}) {
    if (candidate.empty()) continue;
    for (const std::wstring& entry : languages) {
      if (EqualsNoCase(entry, candidate)) return entry;
    }
  }
  return languages.empty() ? std::wstring() : languages.front();
}
