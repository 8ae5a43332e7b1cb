#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

// Which table a load fills.
enum SettingsScope : int {
  Localizations = 0,   // resource 101: the user-interface texts of every language
  Customizations = 1,  // resource 102: per-language and global values; its sections are
                       // the selectable languages
};

// The process-wide holder of the built-in texts. Both tables are keyed by section (a
// language, or "GLOBAL" for lines without one), then by key; keys are compared ignoring
// case. Every operation holds the lock for its whole duration and returns copies, so the
// UI thread and the main thread may both read while a language is being selected.
//
// Resource format ("PROPERTIES"): UTF-8 lines "language:Key=Value" or "Key=Value"; the
// value runs to the end of the line and may hold further '=' and ':'.
class Settings {
 public:
  // Before a language is selected every text shows as the missing-text marker.
  static constexpr wchar_t kMissingTextMarker = L'\x25BA';

  // Created on first use, destroyed at process exit.
  static Settings& Instance();

  Settings();
  virtual ~Settings();
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  // The sections of the customizations in code-unit order, without "GLOBAL" and "LOCAL".
  virtual std::vector<std::wstring> GetLanguages();
  virtual std::wstring GetSelectedLanguage();
  // Only a section of the customizations, spelled exactly; "GLOBAL" and "LOCAL" never.
  virtual bool SelectLanguage(const std::wstring& language);
  // Replaces the scope's table with the "PROPERTIES" resource id of the module. False when
  // the resource is missing, unreadable, not UTF-8 or holds no single entry.
  virtual bool Load(SettingsScope scope, HMODULE module, unsigned id);
  virtual bool LoadFromString(SettingsScope scope, const std::wstring& text);
  // The text of key in that language (empty: the selected one), or the marker followed by
  // the key when that language lacks it. No other language stands in for a missing text.
  virtual std::wstring GetString(const std::wstring& key, const std::wstring& language = L"");
  // The first of LOCAL, the selected language and GLOBAL that holds key; else empty.
  virtual std::wstring GetCustomization(const std::wstring& key);
  virtual void SetCustomization(const std::wstring& key, const std::wstring& value);
  // The resource's text, or empty when it can't be found, loaded or converted.
  virtual std::wstring LoadResource(HMODULE module, unsigned id);

 protected:
  struct KeyLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
  };
  using Section = std::map<std::wstring, std::wstring, KeyLess>;
  using Table = std::map<std::wstring, Section>;

  // Stores one "section:key=value" or "key=value" line; 0 for a line without '='.
  virtual size_t ParseLine(Table& table, const std::wstring& line);

 private:
  Table& TableOf(SettingsScope scope);

  Table localizations_;
  Table customizations_;
  std::wstring selectedLanguage_;
  std::mutex lock_;
};
