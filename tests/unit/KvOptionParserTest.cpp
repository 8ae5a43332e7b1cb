// The command-line parser: tokenizer, the three option spellings and every error text.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "KvOptionParser.h"

namespace {

// The options the program registers, plus one that takes an optional value.
void RegisterOptions(KvOptionParser& parser) {
  ASSERT_TRUE(parser.AddOption(Flag, L"testui", 0));
  ASSERT_TRUE(parser.AddOption(Flag, L"help", L'h'));
  ASSERT_TRUE(parser.AddOption(Flag, L"silent", L's'));
  ASSERT_TRUE(parser.AddOption(Flag, L"restart", L'r'));
  ASSERT_TRUE(parser.AddOption(ValueRequired, L"language", L'l'));
  ASSERT_TRUE(parser.AddOption(ValueRequired, L"products", L'p'));
  ASSERT_TRUE(parser.AddOption(ValueRequired, L"scripts", 0));
  ASSERT_TRUE(parser.AddOption(ValueOptional, L"verbose", L'v'));
}

const wchar_t* const kNames[] = {L"testui",   L"help",     L"silent",  L"restart",
                                 L"language", L"products", L"scripts", L"verbose"};

// What the parser ended with: "name" or "name=value" for every option given, then the
// positional arguments, each in angle brackets so that an empty one shows.
std::wstring Describe(const KvOptionParser& parser) {
  std::wstring text;
  for (const wchar_t* name : kNames) {
    if (!parser.IsSpecified(name)) continue;
    if (!text.empty()) text += L' ';
    text += name;
    if (parser.HasValue(name)) text += L"=" + parser.GetValue(name);
  }
  for (const std::wstring& arg : parser.GetPositionalArgs()) {
    if (!text.empty()) text += L' ';
    text += L"<" + arg + L">";
  }
  return text;
}

struct ParseCase {
  const wchar_t* commandLine;
  bool ok;
  // On success what Describe shows; on failure the error text.
  const wchar_t* expected;
};

const ParseCase kCases[] = {
    // The first token is the program itself, quoted or not.
    {L"prog", true, L""},
    {L"\"C:\\Program Files\\Korvane\\PurgeKit64.exe\" -s", true, L"silent"},
    {L"prog    -s     -r   ", true, L"silent restart"},
    // Long names ignore case, short names do not.
    {L"prog --SILENT", true, L"silent"},
    {L"prog /Silent", true, L"silent"},
    {L"prog -S", false, L"Unknown option: -S"},
    {L"prog /H", false, L"Unknown option: /H"},
    {L"prog --testui", true, L"testui"},
    // One option, any spelling, only once; the message names the registered option.
    {L"prog -s --silent", false, L"Option 'silent' specified twice"},
    {L"prog /s -s", false, L"Option 'silent' specified twice"},
    {L"prog -l en --LANGUAGE de", false, L"Option 'language' specified twice"},
    {L"prog /l=en /language=de", false, L"Option 'language' specified twice"},
    // Values.
    {L"prog --language en", true, L"language=en"},
    {L"prog -l en", true, L"language=en"},
    {L"prog /language=en", true, L"language=en"},
    {L"prog /l=en", true, L"language=en"},
    {L"prog /products=a=b:c", true, L"products=a=b:c"},
    {L"prog -p halcyra,logs -s", true, L"silent products=halcyra,logs"},
    {L"prog --language=en", false, L"Unknown option: --language=en"},
    {L"prog /language en", false, L"Option 'language' requires a value"},
    {L"prog /language=", false, L"Option 'language' requires a value"},
    {L"prog --language -s", false, L"Option 'language' requires a value"},
    {L"prog --language /s", false, L"Option 'language' requires a value"},
    {L"prog -s --language", false, L"Option 'language' requires a value"},
    {L"prog /silent=1", false, L"Option 'silent' has no value"},
    {L"prog /silent=", true, L"silent"},
    {L"prog /language=-s", true, L"language=-s"},
    {L"prog -l \"\"", true, L"language"},
    // Tokens that are not options are positional, also after a flag.
    {L"prog --silent yes", true, L"silent <yes>"},
    {L"prog -s \"\"", true, L"silent <>"},
    // An optional value is taken when the next token is not an option.
    {L"prog -v -s", true, L"silent verbose"},
    {L"prog -v 3", true, L"verbose=3"},
    {L"prog /verbose=3 4", true, L"verbose=3 <4>"},
    {L"prog /verbose 4", true, L"verbose=4"},
    {L"prog -v", true, L"verbose"},
    // Quotes keep blanks; a backslash is an ordinary character, also before a quote.
    {L"prog --scripts \"C:\\my dir\"", true, L"scripts=C:\\my dir"},
    {L"prog /scripts=\"C:\\my dir\\\" -s", true, L"silent scripts=C:\\my dir\\"},
    {L"prog \"/scripts=C:\\a b\"", true, L"scripts=C:\\a b"},
    {L"prog --scripts C:\\x\" \"y", true, L"scripts=C:\\x y"},
    {L"prog \"--silent\"", true, L"silent"},
    {L"prog \"a\"\"b\"", true, L"<a\"b>"},
    {L"prog \"\"", true, L"<>"},
    {L"prog \"\"\"", false, L"Mismatching quotes"},
    {L"prog --language \"en", false, L"Mismatching quotes"},
    // A tab does not separate tokens.
    {L"prog -s\t-r", false, L"Unknown option: -s\t-r"},
    // No bundling of short names and no single-dash long names.
    {L"prog -sr", false, L"Unknown option: -sr"},
    {L"prog -silent", false, L"Unknown option: -silent"},
    {L"prog --", false, L"Unknown option: --"},
    {L"prog ---silent", false, L"Unknown option: ---silent"},
    {L"prog /=x", false, L"Unknown option: /=x"},
    {L"prog -x", false, L"Unknown option: -x"},
    // A dash or a slash alone, and an empty command line, fail without a text.
    {L"prog -", false, L""},
    {L"prog /", false, L""},
    {L"prog -s /", false, L""},
    {L"", false, L""},
    {L"   ", false, L""},
};

TEST(KvOptionParser, CommandLines) {
  for (const ParseCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << "command line: [" << c.commandLine << "]");
    KvOptionParser parser;
    RegisterOptions(parser);
    EXPECT_EQ(parser.ParseCommandLine(c.commandLine), c.ok);
    if (c.ok) {
      EXPECT_EQ(Describe(parser), c.expected);
      EXPECT_EQ(parser.GetError(), L"");
    } else {
      EXPECT_EQ(parser.GetError(), c.expected);
    }
  }
}

TEST(KvOptionParser, Tokenizer) {
  struct SplitCase {
    const wchar_t* text;
    bool closed;
    std::vector<std::wstring> tokens;
  };
  const SplitCase cases[] = {
      {L"a  b", true, {L"a", L"b"}},
      {L" a\tb ", true, {L"a\tb"}},
      {L"\"a b\"c d", true, {L"a bc", L"d"}},
      {L"x\"\"y", true, {L"xy"}},
      {L"\"a\"\"b\"", true, {L"a\"b"}},
      {L"\"\" \"\"", true, {L"", L""}},
      {L"\"\"\"", false, {L"\""}},
      {L"a \"b c", false, {L"a", L"b c"}},
      {L"C:\\dir\\ \\\\server\\share\\", true, {L"C:\\dir\\", L"\\\\server\\share\\"}},
      {L"", true, {}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "text: [" << c.text << "]");
    std::vector<std::wstring> tokens{L"stale"};
    EXPECT_EQ(KvOptionParser::SplitCommandLine(c.text, tokens), c.closed);
    EXPECT_EQ(tokens, c.tokens);
  }
  std::vector<std::wstring> tokens{L"kept"};
  EXPECT_FALSE(KvOptionParser::SplitCommandLine(nullptr, tokens));
}

TEST(KvOptionParser, ParsesOnlyOnceUntilReset) {
  KvOptionParser parser;
  RegisterOptions(parser);
  ASSERT_TRUE(parser.ParseCommandLine(L"prog -s"));
  EXPECT_FALSE(parser.ParseCommandLine(L"prog -r"));
  EXPECT_EQ(parser.GetError(), L"Already parsed");
  EXPECT_FALSE(parser.IsSpecified(L"restart"));
  EXPECT_FALSE(parser.ParseArgs({}));

  parser.Reset();
  EXPECT_EQ(parser.GetError(), L"");
  EXPECT_FALSE(parser.IsSpecified(L"silent"));
  // Reset also forgets the options.
  EXPECT_FALSE(parser.ParseCommandLine(L"prog -s"));
  EXPECT_EQ(parser.GetError(), L"Unknown option: -s");
}

TEST(KvOptionParser, FailedParseKeepsMarksAndAllowsAnotherParse) {
  KvOptionParser parser;
  RegisterOptions(parser);
  EXPECT_FALSE(parser.ParseArgs({L"-s", L"--bogus", L"-r"}));
  EXPECT_EQ(parser.GetError(), L"Unknown option: --bogus");
  EXPECT_TRUE(parser.IsSpecified(L"silent"));
  EXPECT_FALSE(parser.IsSpecified(L"restart"));
  // The parsed flag stays clear, so another parse runs (and sees silent given before).
  EXPECT_TRUE(parser.ParseArgs({L"-r"}));
  EXPECT_FALSE(parser.ParseArgs({L"-h"}));
  EXPECT_EQ(parser.GetError(), L"Already parsed");
}

TEST(KvOptionParser, ArgvDropsTheProgram) {
  KvOptionParser parser;
  RegisterOptions(parser);
  const wchar_t* argv[] = {L"prog", L"-l", L"pt-BR", L"C:\\a b"};
  EXPECT_TRUE(parser.ParseArgv(4, argv));
  EXPECT_EQ(Describe(parser), L"language=pt-BR <C:\\a b>");

  KvOptionParser empty;
  EXPECT_FALSE(empty.ParseArgv(0, argv));
}

TEST(KvOptionParser, Registration) {
  KvOptionParser parser;
  EXPECT_TRUE(parser.AddOption(Flag, L"silent", L's'));
  EXPECT_FALSE(parser.AddOption(Flag, L"SILENT", L'x'));
  EXPECT_FALSE(parser.AddOption(Flag, L"other", L's'));
  EXPECT_TRUE(parser.AddOption(Flag, L"other", L'S'));
  EXPECT_TRUE(parser.AddOption(Flag, L"scripts", 0));
  EXPECT_TRUE(parser.AddOption(Flag, L"testui", 0));

  // Unknown names answer as not given.
  EXPECT_FALSE(parser.IsSpecified(L"nothing"));
  EXPECT_FALSE(parser.HasValue(L"nothing"));
  EXPECT_EQ(parser.GetValue(L"nothing"), L"");
  EXPECT_EQ(parser.GetIntValue(L"nothing"), 0);
  // Queries ignore case like the long spelling does.
  ASSERT_TRUE(parser.ParseCommandLine(L"prog -S"));
  EXPECT_TRUE(parser.IsSpecified(L"OTHER"));
  EXPECT_FALSE(parser.IsSpecified(L"silent"));
}

TEST(KvOptionParser, IntValues) {
  const std::pair<const wchar_t*, int> cases[] = {
      {L"42", 42},
      {L"  -7", -7},
      {L"+5x", 5},
      {L"x5", 0},
      {L"   ", 0},
      {L"2147483647", INT_MAX},
      {L"2147483648", INT_MAX},
      {L"-2147483648", INT_MIN},
      {L"-99999999999999999999", INT_MIN},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(testing::Message() << "value: [" << text << "]");
    KvOptionParser parser;
    ASSERT_TRUE(parser.AddOption(ValueRequired, L"count", L'c'));
    ASSERT_TRUE(parser.ParseArgs({L"/c=" + std::wstring(text)}));
    EXPECT_EQ(parser.GetIntValue(L"count"), expected);
  }
}

TEST(KvOptionParser, OverlongErrorIsCutNotLost) {
  KvOptionParser parser;
  RegisterOptions(parser);
  const std::wstring token = L"--" + std::wstring(5000, L'x');
  EXPECT_FALSE(parser.ParseArgs({token}));
  const std::wstring error = parser.GetError();
  EXPECT_EQ(error.size(), 1023u);
  EXPECT_EQ(error.substr(0, 20), L"Unknown option: --xx");
}

}  // namespace
