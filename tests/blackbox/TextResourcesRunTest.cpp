// The program loads its texts from its own resources; when they are missing or unusable it
// logs why and ends with exit code 1 before it shows anything. Each case runs a copy of
// PurgeKit64.exe whose resources were rewritten with the resource update functions.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramCopy.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"

namespace {

constexpr wchar_t kArguments[] = L"--silent --help";

// A copy of the program with one text resource changed (nullptr: removed), or unchanged.
std::wstring MakeCopy(const std::wstring& copy, const std::pair<unsigned, const char*>* text) {
  if (text == nullptr) return MakeProgramCopy(copy, nullptr);
  ResourceChange change{L"PROPERTIES", static_cast<WORD>(text->first), std::nullopt};
  if (text->second != nullptr) change.bytes = text->second;
  return MakeProgramCopy(copy, &change);
}

// The lines of one run's process, with the logging level raised to 5 so that the
// counts of loaded values show.
std::vector<LogLine> RunAndReadLog(const std::wstring& exe, RunResult& result) {
  ScopedLogRoot root;
  ScopedRegValue level(HKEY_LOCAL_MACHINE, LoggingKey(), L"LogLevel");
  EXPECT_TRUE(level.SetDword(5));
  RunOptions options;
  options.timeoutMs = 30000;
  const LoggedRun run = RunForLog(exe, kArguments, options);
  result = run.result;
  return LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
}

// The tag of the first line whose text begins with the given text; empty when none does.
std::string TagOf(const std::vector<LogLine>& lines, const std::string& start) {
  for (const LogLine& line : lines) {
    if (line.text.rfind(start, 0) == 0) return line.tag;
  }
  return {};
}

TEST(TextResourcesRun, IntactTextsAreLoadedAndTheRunGoesOn) {
  const ScratchFolder scratch(L"texts");
  const std::wstring copy = MakeCopy(scratch / L"texts-unchanged.exe", nullptr);
  ASSERT_FALSE(copy.empty());
  RunResult original;
  const auto originalLines = RunAndReadLog(PurgeKit64Path(), original);
  RunResult result;
  const auto lines = RunAndReadLog(copy, result);
  ASSERT_TRUE(original.started);
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, original.exitCode);

  // 21 texts in each of 32 languages; one address per language and the two notices.
  EXPECT_EQ(TagOf(lines, "Settings::LoadResource: Loading resource id 101 (size "), " D")
      << Dump(lines);
  EXPECT_EQ(TagOf(lines, "Settings::LoadFromString: Loaded 672 values"), " D") << Dump(lines);
  EXPECT_EQ(TagOf(lines, "Settings::LoadResource: Loading resource id 102 (size "), " D");
  EXPECT_EQ(TagOf(lines, "Settings::LoadFromString: Loaded 34 values"), " D") << Dump(lines);
  EXPECT_EQ(TagOf(lines, "Run: Failed to load"), "") << Dump(lines);
  // The run went past the texts to the choice of the user interface.
  EXPECT_EQ(TagOf(lines, "Run: SILENT parameter provided. Running without GUI."), " I")
      << Dump(lines);
}

TEST(TextResourcesRun, UnusableTextsEndWithExitCode1) {
  // ERROR_RESOURCE_NAME_NOT_FOUND: the type is there, the id is not.
  const std::string kNotFound = "Settings::LoadResource: Didn't find properties, last error = 1814";
  const std::string kNoValues = "Settings::LoadFromString: Loaded 0 values";
  const std::string kNoTexts = "Run: Failed to load localizations";
  const std::string kNoCustomizations = "Run: Failed to load customizations";
  struct Case {
    const char* what;
    std::pair<unsigned, const char*> change;
    std::string cause;  // empty: no line of its own
    std::string failure;
  };
  const Case cases[] = {
      {"localizations missing", {101, nullptr}, kNotFound, kNoTexts},
      {"customizations missing", {102, nullptr}, kNotFound, kNoCustomizations},
      {"localizations without a single value",
       {101, "en:Title\r\nde:Next\r\n\r\n"},
       kNoValues,
       kNoTexts},
      {"customizations without a single value", {102, "\r\n\r\n"}, kNoValues, kNoCustomizations},
      {"localizations not UTF-8", {101, "en:Title=\xC3\x28\r\nen:Next=Next\r\n"}, "", kNoTexts},
      {"customizations not UTF-8", {102, "en:UrlEULT=\xFF\r\n"}, "", kNoCustomizations},
  };
  const ScratchFolder scratch(L"texts");
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring copy =
        MakeCopy(scratch / (L"texts-broken-" + std::to_wstring(index++) + L".exe"), &c.change);
    ASSERT_FALSE(copy.empty());
    RunResult result;
    const auto lines = RunAndReadLog(copy, result);
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1u);
    if (!c.cause.empty()) {
      EXPECT_EQ(TagOf(lines, c.cause), c.cause == kNotFound ? ".W" : " D") << Dump(lines);
    }
    EXPECT_EQ(TagOf(lines, c.failure), "*F") << Dump(lines);
    // The run ends at the first failure.
    if (c.failure == kNoTexts) {
      EXPECT_EQ(TagOf(lines, "Settings::LoadResource: Loading resource id 102"), "");
    }
    EXPECT_EQ(TagOf(lines, "wWinMain: Exiting with code: 1"), " I") << Dump(lines);
  }
}

}  // namespace
