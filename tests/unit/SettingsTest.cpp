// The text tables: line and section rules, lookups with their marker and fallbacks, and
// loading from a module's resources.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ProgramRunner.h"
#include "Settings.h"
#include "UniqueAny.h"

namespace {

const std::wstring kMarker(1, L'\x25BA');

struct Lookup {
  const wchar_t* section;
  const wchar_t* key;
  // nullptr: the key is missing there, so the marker and the key come back.
  const wchar_t* value;
};

struct LoadCase {
  const char* what;
  std::wstring text;
  bool loaded;
  std::vector<Lookup> lookups;
};

TEST(Settings, LinesSectionsAndKeys) {
  const LoadCase cases[] = {
      {"CR LF lines",
       L"en:Title=A\r\nde:Title=B\r\n",
       true,
       {{L"en", L"Title", L"A"}, {L"de", L"Title", L"B"}}},
      {"LF lines, the last without a line end",
       L"en:Title=A\nde:Title=B",
       true,
       {{L"en", L"Title", L"A"}, {L"de", L"Title", L"B"}}},
      {"lone CR, CR CR LF and empty lines",
       L"\r\n\r\nen:Title=A\rde:Title=B\r\r\n\n\nen:Next=N\r\n",
       true,
       {{L"en", L"Title", L"A"}, {L"de", L"Title", L"B"}, {L"en", L"Next", L"N"}}},
      {"a line without a language is GLOBAL",
       L"Title=x\r\n",
       true,
       {{L"GLOBAL", L"Title", L"x"}, {L"en", L"Title", nullptr}}},
      {"values keep '=' and ':'",
       L"en:Title=A=B\r\nen:Url=https://h.example/a?b=c:d\r\nKey=en:v\r\n",
       true,
       {{L"en", L"Title", L"A=B"},
        {L"en", L"Url", L"https://h.example/a?b=c:d"},
        {L"GLOBAL", L"Key", L"en:v"},
        {L"en", L"Key", nullptr}}},
      {"only the first ':' ends the section",
       L"a:b:c=d\r\n",
       true,
       {{L"a", L"b:c", L"d"}, {L"a", L"b", nullptr}}},
      {"keys ignore case, a later line wins",
       L"en:title=x\r\nen:Title=y\r\n",
       true,
       {{L"en", L"TITLE", L"y"}, {L"en", L"title", L"y"}}},
      {"sections do not ignore case",
       L"EN:Title=x\r\n",
       true,
       {{L"EN", L"Title", L"x"}, {L"en", L"Title", nullptr}}},
      {"lines without '=' are skipped",
       L"just text\r\nen:A=1\r\nen:B\r\n",
       true,
       {{L"en", L"A", L"1"}, {L"en", L"B", nullptr}}},
      {"nothing is trimmed",
       L"en: Title = v \r\n",
       true,
       {{L"en", L" Title ", L" v "}, {L"en", L"Title", nullptr}}},
      {"an empty value is a value", L"en:Empty=\r\n", true, {{L"en", L"Empty", L""}}},
      {"a byte-order mark stays in the first section",
       L"\xFEFF"
       L"en:Title=x\r\nen:Next=y\r\n",
       true,
       {{L"\xFEFF"
         L"en",
         L"Title", L"x"},
        {L"en", L"Title", nullptr},
        {L"en", L"Next", L"y"}}},
      {"no line with '='", L"en:Title\r\nde:Next\r\n", false, {}},
      {"only line ends", L"\r\n\n\r", false, {}},
      {"empty", L"", false, {}},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.what);
    Settings settings;
    EXPECT_EQ(settings.LoadFromString(Localizations, c.text), c.loaded);
    for (const Lookup& lookup : c.lookups) {
      SCOPED_TRACE(testing::Message()
                   << "section [" << lookup.section << "] key [" << lookup.key << "]");
      const std::wstring expected =
          lookup.value != nullptr ? std::wstring(lookup.value) : kMarker + lookup.key;
      EXPECT_EQ(settings.GetString(lookup.key, lookup.section), expected);
    }
  }
}

TEST(Settings, LoadingAgainReplacesTheWholeTable) {
  Settings settings;
  ASSERT_TRUE(settings.LoadFromString(Localizations, L"en:Title=old\r\nen:Next=n\r\n"));
  ASSERT_TRUE(settings.LoadFromString(Localizations, L"en:Title=new\r\n"));
  EXPECT_EQ(settings.GetString(L"Title", L"en"), L"new");
  EXPECT_EQ(settings.GetString(L"Next", L"en"), kMarker + L"Next");
  // A failed load leaves the table empty, not half old.
  EXPECT_FALSE(settings.LoadFromString(Localizations, L"nothing"));
  EXPECT_EQ(settings.GetString(L"Title", L"en"), kMarker + L"Title");
}

TEST(Settings, SelectedLanguageDecidesTexts) {
  Settings settings;
  ASSERT_TRUE(settings.LoadFromString(Localizations,
                                      L"en:Title=Tool\r\nde:Title=Werkzeug\r\nen:Only=E\r\n"
                                      L"Global=G\r\n"));
  ASSERT_TRUE(settings.LoadFromString(Customizations, L"de:UrlEULT=d\r\nen:UrlEULT=e\r\n"));

  // Nothing selected yet: every text shows as missing.
  EXPECT_EQ(settings.GetSelectedLanguage(), L"xx");
  EXPECT_EQ(settings.GetString(L"Title"), kMarker + L"Title");

  EXPECT_TRUE(settings.SelectLanguage(L"de"));
  EXPECT_EQ(settings.GetSelectedLanguage(), L"de");
  EXPECT_EQ(settings.GetString(L"title"), L"Werkzeug");
  // Another language or GLOBAL never stands in for a missing text.
  EXPECT_EQ(settings.GetString(L"Only"), kMarker + L"Only");
  EXPECT_EQ(settings.GetString(L"Global"), kMarker + L"Global");
  // An explicit language wins over the selection.
  EXPECT_EQ(settings.GetString(L"Title", L"en"), L"Tool");
}

TEST(Settings, OnlyCustomizationSectionsAreSelectable) {
  Settings settings;
  ASSERT_TRUE(settings.LoadFromString(Localizations, L"fr:Title=Outil\r\n"));
  ASSERT_TRUE(settings.LoadFromString(
      Customizations, L"et:U=1\r\nes-MX:U=2\r\nGLOBAL:U=3\r\nes:U=4\r\nLOCAL:U=5\r\nG=6\r\n"));

  EXPECT_EQ(settings.GetLanguages(), (std::vector<std::wstring>{L"es", L"es-MX", L"et"}));

  const std::pair<const wchar_t*, bool> cases[] = {
      {L"es-MX", true},  {L"ES", false}, {L"es-mx", false}, {L"GLOBAL", false},
      {L"LOCAL", false}, {L"fr", false}, {L"", false},      {L"es", true},
  };
  for (const auto& [language, accepted] : cases) {
    SCOPED_TRACE(testing::Message() << "language [" << language << "]");
    const std::wstring before = settings.GetSelectedLanguage();
    EXPECT_EQ(settings.SelectLanguage(language), accepted);
    EXPECT_EQ(settings.GetSelectedLanguage(), accepted ? language : before);
  }
}

TEST(Settings, CustomizationFallbacks) {
  Settings settings;
  ASSERT_TRUE(
      settings.LoadFromString(Customizations,
                              L"en:UrlEULT=https://en\r\nde:UrlEULT=https://de\r\nde:Both=de\r\n"
                              L"Both=global\r\nLuaCopyright=Lua\r\n"));
  // With no language selected the lookup falls through to GLOBAL.
  EXPECT_EQ(settings.GetCustomization(L"UrlEULT"), L"");
  EXPECT_EQ(settings.GetCustomization(L"luacopyright"), L"Lua");

  ASSERT_TRUE(settings.SelectLanguage(L"de"));
  EXPECT_EQ(settings.GetCustomization(L"UrlEULT"), L"https://de");
  EXPECT_EQ(settings.GetCustomization(L"Both"), L"de");
  EXPECT_EQ(settings.GetCustomization(L"LuaCopyright"), L"Lua");
  EXPECT_EQ(settings.GetCustomization(L"Missing"), L"");

  settings.SetCustomization(L"urleult", L"https://local");
  EXPECT_EQ(settings.GetCustomization(L"UrlEULT"), L"https://local");
  // LOCAL is never a language.
  EXPECT_EQ(settings.GetLanguages(), (std::vector<std::wstring>{L"de", L"en"}));
}

TEST(Settings, LoadFromModuleResources) {
  UniqueModule program(
      ::LoadLibraryExW(PurgeKit64Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(program);
  Settings settings;
  EXPECT_TRUE(settings.Load(Localizations, program.get(), 101));
  EXPECT_TRUE(settings.Load(Customizations, program.get(), 102));
  ASSERT_TRUE(settings.SelectLanguage(L"de"));
  EXPECT_EQ(settings.GetString(L"Cancel"), L"Abbrechen");
  EXPECT_NE(settings.GetCustomization(L"UrlEULT").find(L"eula_deu.html"), std::wstring::npos);

  // Missing resources: another id, and a module without any (this test program).
  EXPECT_EQ(settings.LoadResource(program.get(), 1103), L"");
  EXPECT_FALSE(settings.Load(Localizations, program.get(), 1103));
  EXPECT_FALSE(settings.Load(Customizations, ::GetModuleHandleW(nullptr), 102));
  // A resource that isn't there leaves the table as it was.
  EXPECT_EQ(settings.GetLanguages().size(), 32u);
}

TEST(Settings, ReadersSeeWholeTextsWhileTheLanguageChanges) {
  Settings settings;
  ASSERT_TRUE(settings.LoadFromString(Localizations, L"en:Title=" + std::wstring(300, L'e') +
                                                         L"\r\nde:Title=" +
                                                         std::wstring(500, L'd') + L"\r\n"));
  ASSERT_TRUE(settings.LoadFromString(Customizations, L"en:U=1\r\nde:U=2\r\n"));
  ASSERT_TRUE(settings.SelectLanguage(L"en"));
  std::atomic<bool> stop{false};
  std::thread selector([&] {
    for (int i = 0; i < 2000; ++i) settings.SelectLanguage(i % 2 ? L"de" : L"en");
    stop = true;
  });
  int torn = 0;
  while (!stop) {
    const std::wstring title = settings.GetString(L"Title");
    if (title != std::wstring(300, L'e') && title != std::wstring(500, L'd')) ++torn;
  }
  selector.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
