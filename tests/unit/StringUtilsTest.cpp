#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "StringUtils.h"

namespace {

TEST(Utf8ToWide, EmptyAndInvalidInputGiveEmptyNeverPartial) {
  EXPECT_EQ(Utf8ToWide(""), L"");
  EXPECT_EQ(Utf8ToWide("\xff"), L"");
  EXPECT_EQ(Utf8ToWide("abc\xc3"), L"");  // cut sequence at the end
  EXPECT_EQ(Utf8ToWide("a\x80z"), L"");   // stray continuation byte inside
  EXPECT_EQ(Utf8ToWide("\xc3\xa9t\xc3\xa9"), L"\u00e9t\u00e9");
}

TEST(Utf8ToWide, EmbeddedNulIsKept) {
  const std::string bytes("a\0b", 3);
  const std::wstring wide = Utf8ToWide(bytes);
  ASSERT_EQ(wide.size(), 3u);
  EXPECT_EQ(wide[1], L'\0');
  EXPECT_EQ(wide[2], L'b');
}

TEST(WideToUtf8, RoundTripsAndKeepsUnpairedSurrogate) {
  EXPECT_EQ(WideToUtf8(L""), "");
  EXPECT_EQ(WideToUtf8(L"\u65e5\u672c"), "\xe6\x97\xa5\xe6\x9c\xac");
  EXPECT_EQ(Utf8ToWide(WideToUtf8(L"\U0001F600 ok")), L"\U0001F600 ok");
  // Flags 0: an unpaired surrogate is not rejected.
  EXPECT_FALSE(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))).empty());
}

TEST(WideToUtf8Exact, RefusesWhatWouldComeBackAsAnotherText) {
  std::string utf8 = "left over";
  EXPECT_TRUE(WideToUtf8Exact(L"", utf8));
  EXPECT_EQ(utf8, "");
  EXPECT_TRUE(WideToUtf8Exact(L"\u03a9\U0001F600", utf8));
  EXPECT_EQ(utf8, "\xce\xa9\xf0\x9f\x98\x80");
  for (const std::wstring& text :
       {std::wstring(L"a") + wchar_t(0xD800) + L"b", std::wstring(1, wchar_t(0xDC00))}) {
    EXPECT_FALSE(WideToUtf8Exact(text, utf8));
    EXPECT_EQ(utf8, "");
  }
}

TEST(AcpConversions, Cp1252RoundTrip) {
  EXPECT_EQ(AcpToWide("caf\xe9"), L"caf\u00e9");
  EXPECT_EQ(WideToAcp(L"caf\u00e9"), "caf\xe9");
}

TEST(AcpConversions, CharactersOutsideTheCodePageFailTheWholeConversion) {
  ASSERT_EQ(::GetACP(), 1252u);
  // Best-fit would make a full-width backslash a path separator, an omega an "O", and fill
  // the rest with "?".
  for (const wchar_t* text : {L"a\uff3c..\uff3c..\uff3cescape.lua", L"\u03a9mega.lua",
                              L"prod\u00fc\u65e5.lua", L"\u0141ukasz", L"\u65e5\u672c"}) {
    EXPECT_EQ(WideToAcp(text), "") << WideToUtf8(text);
    EXPECT_EQ(WideToMultiByte(text, 1252), "") << WideToUtf8(text);
  }
  // The OEM code page is held to the same rule; UTF-8 takes everything.
  EXPECT_EQ(WideToMultiByte(L"\u0141", CP_OEMCP), "");
  EXPECT_EQ(WideToMultiByte(L"x\u00fc\u65e5", CP_UTF8), "x\xc3\xbc\xe6\x97\xa5");
  EXPECT_EQ(WideToAcp(L"\u20ac 5 \u00e0 la carte"), "\x80 5 \xe0 la carte");
}

struct MatchCase {
  std::wstring text;
  std::wstring pattern;
  bool ignoreCase;
  bool expected;
};

TEST(WildcardMatch, Table) {
  const MatchCase cases[] = {
      {L"", L"*", false, true},
      {L"", L"", false, true},
      {L"", L"?", false, false},
      {L"abc", L"a*", false, true},
      {L"abc", L"*c", false, true},
      {L"abc", L"a?c", false, true},
      {L"abc", L"*b*", false, true},
      {L"abc", L"a**c", false, true},
      {L"abc", L"a*d", false, false},
      {L"abc", L"ab", false, false},
      {L"ab", L"a?c", false, false},
      {L"abcd", L"a?c", false, false},
      {L"ABC", L"abc", false, false},
      {L"ABC", L"abc", true, true},
      {L"abc", L"", false, false},
      {L"abc", L"***", false, true},
      {L"a*c", L"a?c", false, true},
      {L"aXbXc", L"*X*X*", false, true},
      {L"setup.EXE", L"*.exe", false, false},
      {L"setup.EXE", L"*.exe", true, true},
      {L"aaaaaaaaaaaaaaaaaaaaaab", L"*a*a*a*a*a*c", false, false},
      // A star gives back what it took when the rest needs it.
      {L"aab", L"*ab", false, true},
      {L"abcbd", L"a*b?", false, true},
      {L"abcbd", L"a*bc", false, false},
      {L"mississippi", L"m*iss*ppi", false, true},
      {L"mississippi", L"m*iss*ppix", false, false},
      {L"abab", L"*ab*ab", false, true},
      {L"abab", L"*ab*ab*ab", false, false},
      {L"ab", L"?*?", false, true},
      {L"a", L"?*?", false, false},
      {L"abc", L"*?", false, true},
      {L"abc", L"*?*?*?*?", false, false},
      {L"x.tar.gz", L"*.gz", false, true},
      {L"x.tar.gz", L"*.tar", false, false},
      {L"a", L"a*", false, true},
      {L"abc", L"abc*", false, true},
      {L"abc", L"abcd*", false, false},
      // Letter case: only with ignoreCase, for '?' and literal units alike, stars too.
      {L"Setup.Exe", L"s?TUP*", true, true},
      {L"Setup.Exe", L"s?TUP*", false, false},
      {L"KVSvc64", L"kv*64", true, true},
      {L"KVSvc64", L"kv*64", false, false},
      // Units are compared one by one: a surrogate pair is two units, NUL one.
      {L"\U0001F600", L"?", false, false},
      {L"\U0001F600", L"??", false, true},
      {L"\U0001F600x", L"*x", false, true},
      {std::wstring(L"a\0b", 3), L"a?b", false, true},
      {std::wstring(L"a\0b", 3), L"a", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WildcardMatch(c.text, c.pattern, c.ignoreCase), c.expected)
        << "text '" << testing::PrintToString(c.text) << "' pattern '"
        << testing::PrintToString(c.pattern) << "'";
  }
}

// The definition, one unit or one star at a time.
bool MatchesByDefinition(std::wstring_view text, std::wstring_view pattern) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == L'*') {
    return MatchesByDefinition(text, pattern.substr(1)) ||
           (!text.empty() && MatchesByDefinition(text.substr(1), pattern));
  }
  return !text.empty() && (pattern[0] == L'?' || pattern[0] == text[0]) &&
         MatchesByDefinition(text.substr(1), pattern.substr(1));
}

// Every string of at most maxLength units over the alphabet, the empty one included.
std::vector<std::wstring> AllStrings(const std::wstring& alphabet, size_t maxLength) {
  std::vector<std::wstring> all = {L""};
  for (size_t begin = 0, length = 0; length < maxLength; ++length) {
    const size_t end = all.size();
    for (size_t i = begin; i < end; ++i) {
      for (const wchar_t unit : alphabet) all.push_back(all[i] + unit);
    }
    begin = end;
  }
  return all;
}

TEST(WildcardMatch, AgreesWithTheDefinitionOnEveryShortTextAndPattern) {
  int mismatches = 0;
  for (const std::wstring& text : AllStrings(L"ab", 6)) {
    for (const std::wstring& pattern : AllStrings(L"ab?*", 5)) {
      const bool expected = MatchesByDefinition(text, pattern);
      if (WildcardMatch(text, pattern, false) == expected) continue;
      ADD_FAILURE() << "text '" << WideToUtf8(text) << "' pattern '" << WideToUtf8(pattern)
                    << "' should " << (expected ? "" : "not ") << "match";
      if (++mismatches == 10) return;
    }
  }
}

// A mask with many stars against a name it almost matches: an answer, not a hang.
TEST(WildcardMatch, ManyStarsAnswerAtOnce) {
  std::wstring mask;
  for (int i = 0; i < 20; ++i) mask += L"*a";
  mask += L"*b";
  const std::wstring name(40, L'a');
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_FALSE(WildcardMatch(name, mask, false));
  EXPECT_TRUE(WildcardMatch(name + L"b", mask, false));
  EXPECT_FALSE(WildcardMatch(std::wstring(100000, L'a'), mask, true));
  EXPECT_LT(::GetTickCount64() - start, 5000u);
}

TEST(StartsEndsWith, Table) {
  EXPECT_TRUE(StartsWith(L"abc", L"", false));
  EXPECT_TRUE(StartsWith(L"", L"", false));
  EXPECT_FALSE(StartsWith(L"ab", L"abc", false));
  EXPECT_TRUE(StartsWith(L"\\??\\C:\\X", L"\\??\\c:", true));
  EXPECT_FALSE(StartsWith(L"\\??\\C:\\X", L"\\??\\c:", false));
  EXPECT_TRUE(EndsWith(L"abc", L"", false));
  EXPECT_FALSE(EndsWith(L"ab", L"xab", false));
  EXPECT_FALSE(EndsWith(L"page.HTML", L".html", false));
  EXPECT_TRUE(EndsWith(L"page.HTML", L".html", true));
  EXPECT_TRUE(EndsWith(L"page.html", L".html", false));
}

TEST(Contains, IsExactAndCaseSensitive) {
  const StringList list = {L"en", L"pt-br", L""};
  EXPECT_TRUE(Contains(list, L"en"));
  EXPECT_TRUE(Contains(list, L""));
  EXPECT_FALSE(Contains(list, L"EN"));
  EXPECT_FALSE(Contains(list, L"pt"));
  EXPECT_FALSE(Contains({}, L""));
}

TEST(SplitJoin, Table) {
  struct Case {
    const wchar_t* text;
    StringList pieces;
  };
  const Case cases[] = {
      {L"", {L""}},         {L"a", {L"a"}},       {L"a,b", {L"a", L"b"}},
      {L"a,", {L"a", L""}}, {L",a", {L"", L"a"}}, {L"a,,b", {L"a", L"", L"b"}},
      {L",", {L"", L""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Split(c.text, L','), c.pieces) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(Join(c.pieces, L','), c.text);
  }
  EXPECT_EQ(Join({}, L','), L"");
  EXPECT_EQ(Join({L"x", L""}, L'|'), L"x|");
  // Multi-string values are split and joined at the NUL unit.
  const std::wstring multi(L"one\0two", 7);
  EXPECT_EQ(Split(multi, L'\0'), (StringList{L"one", L"two"}));
  EXPECT_EQ(Join({L"one", L"two"}, L'\0'), multi);
}

TEST(ReplaceAll, Table) {
  EXPECT_EQ(ReplaceAll(L"aaa", L"a", L"aa"), L"aaaaaa");
  EXPECT_EQ(ReplaceAll(L"abc", L"", L"x"), L"abc");
  EXPECT_EQ(ReplaceAll(L"(c) %YEAR% K, %YEAR%", L"%YEAR%", L"2026"), L"(c) 2026 K, 2026");
  EXPECT_EQ(ReplaceAll(L"abab", L"ab", L""), L"");
  EXPECT_EQ(ReplaceAll(L"xyz", L"q", L"r"), L"xyz");
}

TEST(IsValidUtf8, AcceptsShortestFormsOnly) {
  struct Case {
    std::string bytes;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"plain", true},
      {std::string("a\0b", 3), true},  // NUL is a character; refusing it is the caller's rule
      {"\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", true},
      {"\xff\xfe\xfd", false},
      {"abc\xc3", false},           // cut at the end
      {"a\x80z", false},            // stray continuation byte
      {"\xc0\xaf", false},          // overlong slash
      {"\xe0\x80\xaf", false},      // overlong, three bytes
      {"\xed\xa0\x80", false},      // surrogate half
      {"\xf4\x90\x80\x80", false},  // above U+10FFFF
      {"\xe6\x97", false},          // cut inside a three-byte sequence
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
  }
}

TEST(EscapeForLog, ShowsControlCharactersAndStrayBytesEscaped) {
  struct Case {
    std::string bytes;
    const wchar_t* shown;
  };
  const Case cases[] = {
      {"C:\\canary\\a.txt", L"C:\\canary\\a.txt"},
      {std::string("a.txt\0.bak", 10), L"a.txt\\x00.bak"},
      {"line\r\nnext\t\x7f", L"line\\x0D\\x0Anext\\x09\\x7F"},
      {"\xff\xfe\xfd", L"\\xFF\\xFE\\xFD"},
      {"caf\xc3\xa9 \xc2\x85", L"caf\u00e9 \\xC2\\x85"},  // U+0085 is a C1 control
      {"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeForLog(c.bytes), c.shown) << testing::PrintToString(c.bytes);
  }
}

}  // namespace
