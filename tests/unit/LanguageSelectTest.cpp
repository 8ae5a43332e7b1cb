// Choosing the language: the ranked match on a display language and the option's part of
// the choice. The choice by the display language of a whole process is tested with
// language_probe under several locales (tests/TextTests.cmake).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KvOptionParser.h"
#include "LanguageSelect.h"
#include "Settings.h"

namespace {

using Languages = std::vector<std::wstring>;

const Languages kShipped = {L"bg", L"cs", L"da", L"de",    L"el", L"en", L"es",    L"es-MX",
                            L"et", L"fi", L"fr", L"fr-CA", L"hr", L"hu", L"it",    L"ja",
                            L"ko", L"lt", L"nl", L"no",    L"pl", L"pt", L"pt-BR", L"ro",
                            L"ru", L"sl", L"sv", L"tr",    L"vi", L"zh", L"zh-HK", L"zh-TW"};

LANGID Lang(WORD primary, WORD sub) { return MAKELANGID(primary, sub); }

TEST(MatchLanguage, DisplayLanguagesAgainstTheShippedList) {
  struct Case {
    LANGID id;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {Lang(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), L"pt-BR"},  // language-country
      {Lang(LANG_PORTUGUESE, SUBLANG_PORTUGUESE), L"pt"},               // language
      {Lang(LANG_SPANISH, SUBLANG_SPANISH_MEXICAN), L"es-MX"},
      {Lang(LANG_SPANISH, SUBLANG_SPANISH_MODERN), L"es"},
      {Lang(LANG_SPANISH, SUBLANG_SPANISH_ARGENTINA), L"es"},
      {Lang(LANG_FRENCH, SUBLANG_FRENCH_CANADIAN), L"fr-CA"},
      {Lang(LANG_FRENCH, SUBLANG_FRENCH_BELGIAN), L"fr"},
      {Lang(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), L"zh"},
      {Lang(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), L"zh-TW"},
      {Lang(LANG_CHINESE, SUBLANG_CHINESE_HONGKONG), L"zh-HK"},
      {Lang(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"en"},
      {Lang(LANG_ENGLISH, SUBLANG_ENGLISH_UK), L"en"},
      {Lang(LANG_GERMAN, SUBLANG_GERMAN_AUSTRIAN), L"de"},
      {Lang(LANG_NORWEGIAN, SUBLANG_NORWEGIAN_BOKMAL), L"no"},  // nb-NO: by the country
      {Lang(LANG_THAI, SUBLANG_THAI_THAILAND), L"en"},          // the fallback
      {Lang(LANG_ARABIC, SUBLANG_ARABIC_EGYPT), L"en"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "language id 0x" << std::hex << c.id << " (" << GetLocaleLanguageName(c.id)
                 << "-" << GetLocaleCountryName(c.id) << ")");
    EXPECT_EQ(MatchLanguage(c.id, kShipped, L"en"), c.expected);
  }
}

TEST(MatchLanguage, PassesRankAboveListPosition) {
  const LANGID brazil = Lang(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN);
  const LANGID thai = Lang(LANG_THAI, SUBLANG_THAI_THAILAND);
  struct Case {
    const char* what;
    LANGID id;
    Languages list;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {"language-country beats an earlier language", brazil, {L"pt", L"pt-BR"}, L"pt-BR"},
      {"language beats an earlier country", brazil, {L"br", L"pt"}, L"pt"},
      {"country beats an earlier fallback", brazil, {L"en", L"br"}, L"br"},
      {"fallback beats the first entry", thai, {L"de", L"fr", L"en"}, L"en"},
      {"the first entry without any match", thai, {L"de", L"fr"}, L"de"},
      {"the list's own spelling comes back", brazil, {L"PT-br"}, L"PT-br"},
      {"an empty list gives nothing", brazil, {}, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(MatchLanguage(c.id, c.list, L"en"), c.expected);
  }
}

TEST(MatchLanguage, LocaleNames) {
  const LANGID brazil = Lang(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN);
  EXPECT_EQ(GetLocaleLanguageName(brazil), L"pt");
  EXPECT_EQ(GetLocaleCountryName(brazil), L"BR");
  EXPECT_EQ(GetLocaleEnglishLanguageName(brazil), L"Portuguese");
  EXPECT_EQ(GetLocaleString(0xFFFF, LOCALE_SISO639LANGNAME), L"");
  EXPECT_TRUE(EqualsNoCase(L"zh-tw", L"ZH-TW"));
  EXPECT_FALSE(EqualsNoCase(L"zh", L"zh-TW"));
}

// In this process: the singletons as a run uses them.
class LanguageSelectInProcess : public testing::Test {
 protected:
  void SetUp() override {
    KvOptionParser::Instance().Reset();
    ASSERT_TRUE(KvOptionParser::Instance().AddOption(ValueRequired, L"language", L'l'));
  }
  void TearDown() override { KvOptionParser::Instance().Reset(); }
};

TEST_F(LanguageSelectInProcess, NoSelectableLanguageEndsTheChoice) {
  ASSERT_TRUE(Settings::Instance().LoadFromString(Customizations, L"LuaCopyright=x\r\n"));
  ASSERT_TRUE(KvOptionParser::Instance().ParseArgs({L"--language", L"en"}));
  const std::wstring before = Settings::Instance().GetSelectedLanguage();
  LanguageSelect select;
  EXPECT_FALSE(select.SelectDefaultLanguage());
  EXPECT_EQ(select.GetLanguage(), L"");
  EXPECT_EQ(Settings::Instance().GetSelectedLanguage(), before);
}

TEST_F(LanguageSelectInProcess, OptionMustNameAnEntryExactly) {
  ASSERT_TRUE(
      Settings::Instance().LoadFromString(Customizations, L"de:U=1\r\nzz:U=2\r\nGLOBAL:U=3\r\n"));
  ASSERT_TRUE(KvOptionParser::Instance().ParseArgs({L"-l", L"zz"}));
  LanguageSelect select;
  EXPECT_TRUE(select.SelectDefaultLanguage());
  EXPECT_EQ(select.GetLanguage(), L"zz");
  EXPECT_EQ(Settings::Instance().GetSelectedLanguage(), L"zz");

  const Languages list = Settings::Instance().GetLanguages();
  for (const wchar_t* value : {L"ZZ", L"GLOBAL", L"d", L"de "}) {
    KvOptionParser::Instance().Reset();
    ASSERT_TRUE(KvOptionParser::Instance().AddOption(ValueRequired, L"language", L'l'));
    ASSERT_TRUE(KvOptionParser::Instance().ParseArgs({L"-l", value}));
    LanguageSelect other;
    EXPECT_FALSE(other.SelectLanguageFromCommandLine(list)) << value;
    EXPECT_EQ(other.GetLanguage(), L"");
  }
}

}  // namespace
