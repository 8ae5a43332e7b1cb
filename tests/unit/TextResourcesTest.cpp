// The text resources as built into both programs: their exact format, every text in every
// language, the licence addresses and the library notices.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "ProgramRunner.h"
#include "Settings.h"
#include "StringUtils.h"
#include "UniqueAny.h"
#include "lua.h"

namespace {

const std::vector<std::wstring> kLanguages = {
    L"bg",    L"cs", L"da", L"de", L"el", L"en", L"es", L"es-MX", L"et",    L"fi",   L"fr",
    L"fr-CA", L"hr", L"hu", L"it", L"ja", L"ko", L"lt", L"nl",    L"no",    L"pl",   L"pt",
    L"pt-BR", L"ro", L"ru", L"sl", L"sv", L"tr", L"vi", L"zh",    L"zh-HK", L"zh-TW"};

const std::set<std::wstring> kKeys = {L"Title",
                                      L"Cancel",
                                      L"Next",
                                      L"Close",
                                      L"Reboot",
                                      L"Start",
                                      L"Welcome",
                                      L"CopyrightKV",
                                      L"RadioAll",
                                      L"RadioSelect",
                                      L"Name",
                                      L"Detected",
                                      L"Removing",
                                      L"Finished",
                                      L"FinishedReboot",
                                      L"ErrorGeneric",
                                      L"ErrorPrivileges",
                                      L"ProductId_halcyra",
                                      L"ProductId_quarantine",
                                      L"ProductId_logs",
                                      L"ProductId_wbx_quarantine"};

// Texts that are rightly the same as the English ones: the product's brand name, and words
// that these languages write exactly as English does.
const std::set<std::pair<std::wstring, std::wstring>> kSameAsEnglish = {
    {L"da", L"Start"},  // "Start" is the Danish button word
    {L"no", L"Start"},  // and the Norwegian one
    {L"de", L"Name"},   // German "Name"
};
const std::set<std::wstring> kBrandKeys = {L"ProductId_halcyra"};  // "Korvane Halcyra"

// Languages whose script is not Latin: every translated text holds letters beyond ASCII.
const std::set<std::wstring> kNonLatin = {L"bg", L"el", L"ja",    L"ko",
                                          L"ru", L"zh", L"zh-HK", L"zh-TW"};

// The page code of every language's licence terms.
const std::map<std::wstring, std::wstring> kEulaCodes = {
    {L"bg", L"bgr"},    {L"cs", L"csy"},    {L"da", L"dan"},    {L"de", L"deu"}, {L"el", L"ell"},
    {L"en", L"enu"},    {L"es", L"esn"},    {L"es-MX", L"esm"}, {L"et", L"eti"}, {L"fi", L"fin"},
    {L"fr", L"fra"},    {L"fr-CA", L"frc"}, {L"hu", L"hun"},    {L"hr", L"hrv"}, {L"it", L"ita"},
    {L"ja", L"jpn"},    {L"ko", L"kor"},    {L"lt", L"lth"},    {L"nl", L"nld"}, {L"no", L"nor"},
    {L"pl", L"plk"},    {L"pt", L"ptg"},    {L"pt-BR", L"ptb"}, {L"ro", L"rom"}, {L"ru", L"rus"},
    {L"sl", L"slv"},    {L"sv", L"sve"},    {L"tr", L"trk"},    {L"vi", L"vit"}, {L"zh", L"chs"},
    {L"zh-HK", L"zhh"}, {L"zh-TW", L"cht"}};

// The bytes of one "PROPERTIES" resource of a program; empty when it is missing.
std::string ReadProperties(const std::wstring& program, unsigned id) {
  UniqueModule module(::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return {};
  HRSRC info = ::FindResourceExW(module.get(), L"PROPERTIES", MAKEINTRESOURCEW(id),
                                 MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  if (info == nullptr) return {};
  HGLOBAL data = ::LoadResource(module.get(), info);
  const char* bytes = data != nullptr ? static_cast<const char*>(::LockResource(data)) : nullptr;
  if (bytes == nullptr) return {};
  return std::string(bytes, ::SizeofResource(module.get(), info));
}

using Section = std::map<std::wstring, std::wstring>;
using Table = std::map<std::wstring, Section>;

// Reads a resource in the strict format it must have, and reports every deviation: a
// byte-order mark, a line not ended by CR LF, an empty line, a line that isn't UTF-8 or
// lacks '=', and a key given twice in one section (keys ignore case).
Table ParseStrict(const std::string& bytes, std::vector<std::string>& problems) {
  Table table;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) problems.push_back("starts with a BOM");
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      problems.push_back("the last line has no CR LF");
      break;
    }
    const std::string line = bytes.substr(start, end - start);
    start = end + 2;
    if (line.find_first_of("\r\n") != std::string::npos) problems.push_back("lone CR or LF");
    if (line.empty()) {
      problems.push_back("empty line");
      continue;
    }
    const std::wstring wide = Utf8ToWide(line);
    const size_t equals = wide.find(L'=');
    if (wide.empty() || equals == std::wstring::npos) {
      problems.push_back("not UTF-8 or no '=': " + line);
      continue;
    }
    const std::wstring head = wide.substr(0, equals);
    const size_t colon = head.find(L':');
    const std::wstring section = colon == std::wstring::npos ? L"GLOBAL" : head.substr(0, colon);
    const std::wstring key = colon == std::wstring::npos ? head : head.substr(colon + 1);
    for (const auto& [existing, value] : table[section]) {
      if (_wcsicmp(existing.c_str(), key.c_str()) == 0) problems.push_back("key twice: " + line);
    }
    table[section][key] = wide.substr(equals + 1);
  }
  return table;
}

class BuiltTexts : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    localizations_ = ReadProperties(PurgeKit64Path(), 101);
    customizations_ = ReadProperties(PurgeKit64Path(), 102);
  }
  static Table Parse(const std::string& bytes) {
    std::vector<std::string> problems;
    Table table = ParseStrict(bytes, problems);
    EXPECT_EQ(problems, std::vector<std::string>{});
    return table;
  }
  static std::string localizations_;
  static std::string customizations_;
};
std::string BuiltTexts::localizations_;
std::string BuiltTexts::customizations_;

TEST_F(BuiltTexts, BothProgramsCarryTheSameNeutralResources) {
  ASSERT_FALSE(localizations_.empty());
  ASSERT_FALSE(customizations_.empty());
  EXPECT_EQ(ReadProperties(PurgeKit32Path(), 101), localizations_);
  EXPECT_EQ(ReadProperties(PurgeKit32Path(), 102), customizations_);
}

TEST_F(BuiltTexts, ExactFormat) {
  for (const std::string* bytes : {&localizations_, &customizations_}) {
    std::vector<std::string> problems;
    ParseStrict(*bytes, problems);
    EXPECT_EQ(problems, std::vector<std::string>{});
  }
}

TEST_F(BuiltTexts, EveryLanguageHasEveryText) {
  Table texts = Parse(localizations_);
  std::vector<std::wstring> sections;
  for (const auto& [section, values] : texts) sections.push_back(section);
  EXPECT_EQ(sections, kLanguages);
  for (const std::wstring& language : kLanguages) {
    SCOPED_TRACE(testing::Message() << "language " << language);
    std::set<std::wstring> keys;
    for (const auto& [key, value] : texts[language]) {
      keys.insert(key);
      EXPECT_FALSE(value.empty()) << key;
      if (value.empty()) continue;
      EXPECT_NE(value.front(), L' ') << key;
      EXPECT_NE(value.back(), L' ') << key;
    }
    EXPECT_EQ(keys, kKeys);
  }
}

TEST_F(BuiltTexts, TranslationsAreNotEnglishStandIns) {
  Table texts = Parse(localizations_);
  const Section& english = texts[L"en"];
  for (const std::wstring& language : kLanguages) {
    if (language == L"en") continue;
    for (const auto& [key, value] : texts[language]) {
      SCOPED_TRACE(testing::Message() << language << ":" << key << "=" << value);
      if (kBrandKeys.count(key) != 0) continue;
      if (kSameAsEnglish.count({language, key}) != 0) {
        EXPECT_EQ(value, english.at(key)) << "listed as the same as English but isn't";
        continue;
      }
      EXPECT_NE(value, english.at(key));
      if (kNonLatin.count(language) != 0) {
        bool beyondAscii = false;
        for (wchar_t c : value) beyondAscii = beyondAscii || c > 0x7F;
        EXPECT_TRUE(beyondAscii);
      }
    }
  }
}

TEST_F(BuiltTexts, CopyrightCarriesTheYearAndOneLink) {
  Table texts = Parse(localizations_);
  for (const std::wstring& language : kLanguages) {
    const std::wstring text = texts[language][L"CopyrightKV"];
    SCOPED_TRACE(testing::Message() << language << ": " << text);
    const size_t year = text.find(L"%YEAR%");
    ASSERT_NE(year, std::wstring::npos);
    EXPECT_EQ(text.find(L"%YEAR%", year + 1), std::wstring::npos);
    EXPECT_NE(text.find(L"Korvane"), std::wstring::npos);
    const size_t open = text.find(L"[#]");
    ASSERT_NE(open, std::wstring::npos);
    const size_t close = text.find(L"[#]", open + 3);
    ASSERT_NE(close, std::wstring::npos);
    EXPECT_GT(close, open + 3) << "empty link text";
    EXPECT_EQ(text.find(L"[#]", close + 3), std::wstring::npos);
  }
}

TEST_F(BuiltTexts, LicenceAddressForEveryLanguage) {
  Table values = Parse(customizations_);
  std::vector<std::wstring> sections;
  for (const auto& [section, entries] : values) {
    if (section != L"GLOBAL") sections.push_back(section);
  }
  EXPECT_EQ(sections, kLanguages);
  std::set<std::wstring> seen;
  for (const std::wstring& language : kLanguages) {
    const Section& entries = values[language];
    ASSERT_EQ(entries.size(), 1u) << "only UrlEULT per language";
    const std::wstring url = entries.begin()->second;
    SCOPED_TRACE(testing::Message() << language << ": " << url);
    EXPECT_EQ(entries.begin()->first, L"UrlEULT");
    // https, a host under the reserved .example domain, the licence page of the language.
    ASSERT_TRUE(StartsWith(url, L"https://", false));
    const size_t pathStart = url.find(L'/', 8);
    ASSERT_NE(pathStart, std::wstring::npos);
    const std::wstring host = url.substr(8, pathStart - 8);
    EXPECT_TRUE(EndsWith(host, L".example", false));
    for (wchar_t c : host) {
      EXPECT_TRUE((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'.' || c == L'-')
          << "host character " << static_cast<int>(c);
    }
    EXPECT_EQ(url.substr(pathStart), L"/eula/latest/eula_" + kEulaCodes.at(language) + L".html");
    EXPECT_TRUE(seen.insert(url).second) << "address shared with another language";
  }
}

TEST_F(BuiltTexts, LibraryNoticesMatchTheLinkedVersions) {
  Table values = Parse(customizations_);
  const Section& global = values[L"GLOBAL"];
  EXPECT_EQ(global.size(), 2u);
  ASSERT_EQ(global.count(L"LuaCopyright"), 1u);
  ASSERT_EQ(global.count(L"ZlibCopyright"), 1u);

  // LUA_COPYRIGHT is the release, blanks, then the copyright line.
  const std::string luaCopyright = LUA_COPYRIGHT;
  const std::string luaLine = luaCopyright.substr(luaCopyright.find("Copyright"));
  EXPECT_EQ(global.at(L"LuaCopyright"), Utf8ToWide(std::string(LUA_RELEASE) + " " + luaLine));
  const std::wstring zlib = global.at(L"ZlibCopyright");
  EXPECT_TRUE(StartsWith(zlib, Utf8ToWide("zlib " ZLIB_VERSION " Copyright (C) "), false)) << zlib;
  EXPECT_TRUE(EndsWith(zlib, L" Jean-loup Gailly and Mark Adler", false)) << zlib;
}

TEST_F(BuiltTexts, SettingsOffersTheLanguagesInCodeUnitOrder) {
  Settings settings;
  ASSERT_TRUE(settings.LoadFromString(Localizations, Utf8ToWide(localizations_)));
  ASSERT_TRUE(settings.LoadFromString(Customizations, Utf8ToWide(customizations_)));
  EXPECT_EQ(settings.GetLanguages(), kLanguages);
  for (const std::wstring& language : kLanguages) {
    ASSERT_TRUE(settings.SelectLanguage(language));
    for (const std::wstring& key : kKeys) {
      EXPECT_NE(settings.GetString(key)[0], Settings::kMissingTextMarker) << language << key;
    }
    EXPECT_FALSE(settings.GetCustomization(L"UrlEULT").empty());
    EXPECT_FALSE(settings.GetCustomization(L"LuaCopyright").empty());
  }
}

}  // namespace
