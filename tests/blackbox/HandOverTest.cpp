// The real PurgeKit32.exe in WoW64 under Wine hands the run to the 64-bit program in its work
// directory: the built-in archive's PurgeKit64.exe, a real PurgeKit64.exe beside scripts, or
// a stand-in that shows the command line and directory it was started with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChildPrograms.h"
#include "LogReader.h"
#include "LogRegistry.h"
#include "PathUtils.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestFiles.h"

namespace {

struct Outcome {
  RunResult result;
  std::vector<LogLine> all;     // every process's lines
  std::vector<LogLine> parent;  // PurgeKit32's own
};

// Runs PurgeKit32.exe with its log (and its child's) at level 5, which shows the work
// directory.
Outcome Run32(const std::wstring& arguments) {
  ScopedLogRoot root;
  ScopedRegValue level(HKEY_LOCAL_MACHINE, LoggingKey(), L"LogLevel");
  EXPECT_TRUE(level.SetDword(5));

  const LoggedRun run = RunForLog(PurgeKit32Path(), arguments);
  Outcome outcome{run.result, ReadLogLines(root.Directory()), {}};
  outcome.parent = LinesOfProcess(outcome.all, run.processId);
  return outcome;
}

// The text after "prefix" in the first line holding it; empty when none does.
std::string After(const std::vector<LogLine>& lines, const std::string& prefix) {
  const int index = IndexOf(lines, prefix);
  if (index < 0) return "";
  const std::string& text = lines[index].text;
  return text.substr(text.find(prefix) + prefix.size());
}

// The scripts of a folder below fixtures\run, copied into the folder.
bool CopyScripts(const std::wstring& fixtureName, const ScratchFolder& folder) {
  const std::wstring fixture = FixturePath(L"run\\" + fixtureName);
  for (const std::wstring& name : FolderEntries(fixture, L"*.lua")) {
    if (!::CopyFileW(CombinePath(fixture, name).c_str(), (folder / name).c_str(), FALSE)) {
      return false;
    }
  }
  return true;
}

TEST(HandOver, TheArchivesProgramRunsFromTheWorkDirectoryAndItsCodeIsReturned) {
  if (!Wine32Available()) GTEST_SKIP() << kNoWine32Reason;
  // The built-in archive carries PurgeKit64.exe with the product scripts: the 64-bit program
  // prints the help with the archive's products.
  const Outcome outcome = Run32(L"--silent --help --language en");
  ASSERT_TRUE(outcome.result.started);
  EXPECT_EQ(outcome.result.exitCode, 0u);
  // The child's text reaches the standard output PurgeKit32 was given.
  EXPECT_NE(outcome.result.output.find("halcyra|tunlora|"), std::string::npos)
      << outcome.result.output;

  const std::string workDir = After(outcome.parent, "UiTool::CreateWorkDir: Working directory: ");
  ASSERT_FALSE(workDir.empty()) << Dump(outcome.all);
  EXPECT_GE(IndexOf(outcome.parent, "UiTool::RunNative: Executing 64-bit version"), 0);
  EXPECT_GE(IndexOf(outcome.parent, "UiTool::RunNative: 64-bit finished with: 0"), 0);
  EXPECT_GE(IndexOf(outcome.parent, "wWinMain: Exiting with code: 0"), 0);
  // The child used the parent's work directory and left it to the parent, which removed it.
  EXPECT_EQ(
      After(outcome.all, "UiTool::CreateWorkDir: Using scripts directory from command-line: "),
      workDir)
      << Dump(outcome.all);
  EXPECT_FALSE(PathExists(Utf8ToWide(workDir)))
      << Dump(outcome.parent) << testing::PrintToString(ListTree(Utf8ToWide(workDir)));
}

TEST(HandOver, TheCommandLineCarriesTheForwardedOptions) {
  if (!Wine32Available()) GTEST_SKIP() << kNoWine32Reason;
  ScratchFolder scripts(L"hand over");
  CopyProgram(HANDOVER_STANDIN_EXE, scripts / L"PurgeKit64.exe");
  const std::string dir = WideToUtf8(scripts.Path());
  const std::string exe = "\"" + dir + "\\PurgeKit64.exe\"  --scripts \"" + dir + "\"";
  const std::wstring scriptsOption = L" --scripts \"" + scripts.Path() + L"\"";

  struct Case {
    std::wstring arguments;
    std::string commandLine;
    DWORD code;
  };
  const Case cases[] = {
      {L"--silent" + scriptsOption, exe + " --language en --silent", 0},
      // The language that was selected; the ids as typed.
      {L"-s -r -h -l de -p halcyra,logs" + scriptsOption,
       exe + " --language de --help --silent --restart --products halcyra,logs", 99},
      {L"/products=x --silent" + scriptsOption + L" --language ja",
       exe + " --language ja --silent --products x", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    ASSERT_TRUE(WriteFileBytes(scripts / L"exit.txt", std::to_string(c.code)));
    const Outcome outcome = Run32(c.arguments);
    ASSERT_TRUE(outcome.result.started);
    EXPECT_EQ(outcome.result.exitCode, c.code);
    // The stand-in's command line, then its current directory: the work directory.
    EXPECT_EQ(outcome.result.output, c.commandLine + "\n" + dir);
    EXPECT_GE(IndexOf(outcome.parent,
                      "UiTool::RunNative: 64-bit finished with: " + std::to_string(c.code)),
              0)
        << Dump(outcome.parent);
  }
  // A `scripts` folder is never removed.
  EXPECT_TRUE(FileExists(scripts / L"PurgeKit64.exe"));
}

TEST(HandOver, ARealRemovalNeedingARebootEndsWith99) {
  if (!Wine32Available()) GTEST_SKIP() << kNoWine32Reason;
  ScratchFolder scripts;
  CopyProgram(PurgeKit64Path(), scripts / L"PurgeKit64.exe");
  ASSERT_TRUE(CopyScripts(L"reboot", scripts));
  const Outcome outcome = Run32(L"--silent --language en --scripts \"" + scripts.Path() + L"\"");
  ASSERT_TRUE(outcome.result.started);
  EXPECT_EQ(outcome.result.exitCode, 99u);
  EXPECT_GE(IndexOf(outcome.parent, "UiTool::RunNative: 64-bit finished with: 99"), 0)
      << Dump(outcome.all);
  // Only the child removed anything: the parent's run ended with the hand-over.
  EXPECT_GE(IndexOf(outcome.all, "Reboot needed"), 0) << Dump(outcome.all);
  EXPECT_LT(IndexOf(outcome.parent, "Reboot needed"), 0) << Dump(outcome.parent);
}

TEST(HandOver, AChildThatCannotStartGives1AndNoFallback) {
  if (!Wine32Available()) GTEST_SKIP() << kNoWine32Reason;
  ScratchFolder scripts;
  scripts.Write(L"PurgeKit64.exe", "not a program\r\n");
  ASSERT_TRUE(CopyScripts(L"done", scripts));
  const Outcome outcome = Run32(L"--silent --language en --scripts \"" + scripts.Path() + L"\"");
  ASSERT_TRUE(outcome.result.started);
  EXPECT_EQ(outcome.result.exitCode, 1u);
  EXPECT_EQ(outcome.result.output, "");
  const std::string error =
      After(outcome.parent, "UiTool::RunNative: Failed to launch 64-bit version: ");
  EXPECT_NE(error, "") << Dump(outcome.parent);
  EXPECT_NE(error, "0");
  // The scripts were not run in the 32-bit process instead.
  EXPECT_LT(IndexOf(outcome.all, "cleanup"), 0) << Dump(outcome.all);
}

TEST(HandOver, WithoutThe64BitProgramThe32BitOneRunsItself) {
  if (!Wine32Available()) GTEST_SKIP() << kNoWine32Reason;
  const Outcome outcome =
      Run32(L"--silent --language en --scripts \"" + FixturePath(L"run\\done") + L"\"");
  ASSERT_TRUE(outcome.result.started);
  EXPECT_EQ(outcome.result.exitCode, 0u);
  EXPECT_LT(IndexOf(outcome.all, "Executing 64-bit version"), 0);
  EXPECT_GE(IndexOf(outcome.parent, "cleanup halcyra"), 0) << Dump(outcome.all);
}

}  // namespace
