// The arguments the 32-bit program hands to the 64-bit one, byte for byte, for every
// combination of the forwarded options in the spellings a user may type.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "HandOverParameters.h"
#include "KvOptionParser.h"
#include "Sysnative.h"
#include "UiTool.h"

namespace {

std::wstring Parameters(const std::wstring& commandLine, const std::wstring& workDir,
                        const std::wstring& language) {
  KvOptionParser options;
  UiTool::RegisterOptions(options);
  EXPECT_TRUE(options.ParseCommandLine(commandLine.c_str())) << options.GetError();
  return BuildHandOverParameters(workDir, language, options);
}

TEST(HandOverParameters, EveryCombinationOfTheForwardedOptions) {
  const std::wstring workDir = L"C:\\users\\admin\\Temp\\kv123450.tmp";
  const std::wstring head = L" --scripts \"C:\\users\\admin\\Temp\\kv123450.tmp\" --language fr";
  // Each option in two of its spellings: even combinations type the long form, odd ones the
  // short or slash form.
  const wchar_t* typed[2][4] = {{L" --help", L" --silent", L" --restart", L" --products a,b"},
                                {L" -h", L" /s", L" -r", L" /products=a,b"}};
  const wchar_t* passed[4] = {L" --help", L" --silent", L" --restart", L" --products a,b"};
  for (int mask = 0; mask < 16; ++mask) {
    std::wstring commandLine = L"PurgeKit32.exe";
    std::wstring expected = head;
    for (int option = 0; option < 4; ++option) {
      if ((mask & (1 << option)) == 0) continue;
      commandLine += typed[mask % 2][option];
      expected += passed[option];
    }
    SCOPED_TRACE(testing::PrintToString(commandLine));
    EXPECT_EQ(Parameters(commandLine, workDir, L"fr"), expected);
  }
}

TEST(HandOverParameters, WhatIsNotForwardedAndWhatGoesAsItIs) {
  struct Case {
    const wchar_t* commandLine;
    const wchar_t* workDir;
    const wchar_t* language;
    const wchar_t* expected;
  };
  const Case cases[] = {
      // The selected language, not the typed one; the work directory whatever `scripts` said;
      // testui never.
      {L"p.exe --language de --scripts D:\\other --testui", L"C:\\work dir", L"en",
       L" --scripts \"C:\\work dir\" --language en"},
      // The ids unquoted, exactly as parsed (a quoted value with a blank stays one text).
      {L"p.exe -s -p \"halcyra, logs\"", L"C:\\w", L"pt-BR",
       L" --scripts \"C:\\w\" --language pt-BR --silent --products halcyra, logs"},
      {L"p.exe --products ,,", L"C:\\w", L"en",
       L" --scripts \"C:\\w\" --language en --products ,,"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.commandLine)));
    EXPECT_EQ(Parameters(c.commandLine, c.workDir, c.language), c.expected);
  }
}

TEST(HandOverParameters, SysnativeIsBelowTheWindowsDirectory) {
  // Wine's Windows directory is C:\windows.
  EXPECT_EQ(
      ::CompareStringOrdinal(GetSysnativePath().c_str(), -1, L"C:\\windows\\Sysnative", -1, TRUE),
      CSTR_EQUAL)
      << testing::PrintToString(GetSysnativePath());
}

}  // namespace
