#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Chooses the language of every text once per run: the `language` option when it names a
// selectable language exactly, else the best match for the user's display language, with
// English as the fallback. The selectable languages are those of the customizations.
class LanguageSelect {
 public:
  explicit LanguageSelect(std::wstring language = L"");
  virtual ~LanguageSelect();

  // Chooses and selects the language; false only when there is no selectable language.
  virtual bool SelectDefaultLanguage();

  bool SelectLanguageFromCommandLine(const std::vector<std::wstring>& languages);
  bool SelectLanguageFromEnvironment(const std::vector<std::wstring>& languages);

  // The chosen entry as the list spells it; empty until a language is chosen.
  const std::wstring& GetLanguage() const { return language_; }

 private:
  std::wstring language_;
};

// Locale queries on a Windows language id.
LANGID GetUserUiLanguage();
// Empty when Windows can't supply the information.
std::wstring GetLocaleString(LANGID id, LCTYPE type);
std::wstring GetLocaleLanguageName(LANGID id);         // ISO 639, e.g. "pt"
std::wstring GetLocaleCountryName(LANGID id);          // ISO 3166, e.g. "BR"
std::wstring GetLocaleEnglishLanguageName(LANGID id);  // e.g. "Portuguese"

// The list's own spelling of the best entry for the language id, ranked in whole passes:
// language-country, language, country (a language code equal to the user's country code:
// Norwegian Bokmål in Norway gets "no"), the fallback, the first entry. Empty list: empty.
std::wstring MatchLanguage(LANGID id, const std::vector<std::wstring>& languages,
                           const std::wstring& fallback);

// Same length and equal ignoring case.
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
