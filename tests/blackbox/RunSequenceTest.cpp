// Silent runs of the real PurgeKit64.exe under Wine: exit codes from their real causes, the
// console text, the log and what is left on disk afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestFiles.h"

namespace {

const std::string kErrorGenericEn = "An error occurred and the removal could not be completed.\n";
const std::string kUseHelp = "Use --help|-h option to view available parameters\n";

std::wstring Scripts(const std::wstring& name) { return FixturePath(L"run\\" + name); }

std::wstring ScriptsOption(const std::wstring& name) {
  return L"--scripts \"" + Scripts(name) + L"\"";
}

struct Outcome {
  RunResult result;
  std::vector<LogLine> lines;
};

Outcome RunLogged(const std::wstring& arguments, RunOptions options = {}) {
  ScopedLogRoot root;
  const LoggedRun run = RunForLog(PurgeKit64Path(), arguments, options);
  return {run.result, LinesOfProcess(ReadLogLines(root.Directory()), run.processId)};
}

TEST(RunSequence, ExitCodesFromTheirCauses) {
  struct Case {
    const char* what;
    std::wstring arguments;
    DWORD code;
    std::string output;   // the whole console text
    std::string logLine;  // a line the log must hold ("" for none)
  };
  const Case cases[] = {
      {"removal done", L"--silent --language en " + ScriptsOption(L"done"), 0, "",
       "Exiting with code: 0"},
      {"unknown option", L"--silent --bogus", 1,
       "Error in parameters: Unknown option: --bogus\n" + kUseHelp,
       "UiTool::ParseCommandLine: Error in parameters: Unknown option: --bogus"},
      {"value missing", L"--silent --products", 1,
       "Error in parameters: Option 'products' requires a value\n" + kUseHelp,
       "UiTool::ParseCommandLine: Command-line: '"},
      {"restart without silent", L"--restart", 1,
       "Error in parameters: Option 'restart' cannot be used without 'silent'\n" + kUseHelp,
       "Error in parameters: Option 'restart' cannot be used without 'silent'"},
      {"missing scripts folder", L"--silent --language en " + ScriptsOption(L"does-not-exist"), 1,
       kErrorGenericEn, "Exiting with code: 1"},
      {"folder without product", L"--silent --language en " + ScriptsOption(L"nolua"), 1,
       kErrorGenericEn, "Exiting with code: 1"},
      {"unknown product id",
       L"--silent --language en -p halcyra,nothere,,Logs " + ScriptsOption(L"done"), 1,
       "Invalid products selected nothere,,Logs\n",
       "CmdLineManager::ValidateProducts: Invalid products from command line: nothere,,Logs"},
      {"product marked failed", L"--silent --language en " + ScriptsOption(L"failed"), 1,
       kErrorGenericEn, "cleanup fine"},
      {"Lua error in cleanup", L"--silent --language en " + ScriptsOption(L"luaerror"), 1,
       kErrorGenericEn, "cleanup went wrong"},
      {"reboot needed", L"--silent --language en " + ScriptsOption(L"reboot"), 99, "",
       "Exiting with code: 99"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome outcome = RunLogged(c.arguments);
    ASSERT_TRUE(outcome.result.started);
    EXPECT_EQ(outcome.result.exitCode, c.code);
    EXPECT_EQ(outcome.result.output, c.output);
    if (!c.logLine.empty()) {
      EXPECT_GE(IndexOf(outcome.lines, c.logLine), 0) << Dump(outcome.lines);
    }
    EXPECT_GE(IndexOf(outcome.lines, "wWinMain: Exiting with code: " + std::to_string(c.code)), 0)
        << Dump(outcome.lines);
  }
}

TEST(RunSequence, NotAnAdministratorExits3) {
  RunOptions options;
  options.withoutAdministrators = true;
  const RunResult result =
      RunProgram(PurgeKit64Path(), L"--silent --language en " + ScriptsOption(L"done"), options);
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 3u);
  EXPECT_EQ(result.output,
            "You need administrator rights to run this tool. Run it again as an administrator.\n");
}

TEST(RunSequence, TestUiWalksThePagesWithoutAWorkDirectory) {
  const Outcome outcome = RunLogged(L"--silent --testui --language en");
  EXPECT_EQ(outcome.result.exitCode, 0u);
  // The silent manager prints only the error message of the three the test UI shows.
  EXPECT_EQ(outcome.result.output, kErrorGenericEn);
  EXPECT_GE(IndexOf(outcome.lines, "UiTool::CheckDebugCommands: Showing TestUI"), 0);
  EXPECT_LT(IndexOf(outcome.lines, "Working directory"), 0);
}

TEST(RunSequence, ProductsAreRemovedInPriorityOrderAndLogsOnlyWhenNamed) {
  struct Case {
    std::wstring products;
    std::vector<std::string> removed;  // in order
  };
  const Case cases[] = {
      {L"", {"cleanup quarantine", "cleanup halcyra"}},
      {L"-p logs", {"cleanup logs"}},
      {L"--products halcyra,logs", {"cleanup halcyra", "cleanup logs"}},
      {L"/products=quarantine", {"cleanup quarantine"}},
  };
  const std::vector<std::string> all = {"cleanup quarantine", "cleanup halcyra", "cleanup logs"};
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.products));
    const Outcome outcome = RunLogged(L"--silent " + c.products + L" " + ScriptsOption(L"done"));
    EXPECT_EQ(outcome.result.exitCode, 0u);
    int previous = -1;
    for (const auto& line : c.removed) {
      const int at = IndexOf(outcome.lines, line);
      EXPECT_GT(at, previous) << line << "\n" << Dump(outcome.lines);
      previous = at;
    }
    for (const auto& line : all) {
      if (std::find(c.removed.begin(), c.removed.end(), line) == c.removed.end()) {
        EXPECT_LT(IndexOf(outcome.lines, line), 0) << line;
      }
    }
  }
}

std::string ExpectedHelp(const std::string& ids) {
  const std::string languages =
      "bg|cs|da|de|el|en|es|es-MX|et|fi|fr|fr-CA|hr|hu|it|ja|ko|lt|nl|no|pl|pt|pt-BR|ro|ru|sl|"
      "sv|tr|vi|zh|zh-HK|zh-TW";
  return "Korvane PurgeKit optional parameters:\n"
         "\t--help|-h                    shows this help.\n"
         "\t--silent|-s                  silent mode, runs without GUI.\n"
         "\t--restart|-r                 restarts the computer if needed for silent mode.\n"
         "\t--products|-p <product_ids>  comma separated list of products to remove, where "
         "<product_id> can be one of the following:\n"
         "\t                             " +
         ids +
         ".\n"
         "\t--language|-l <lang_id>      language to use, where <lang_id> can be one of the "
         "following (automatically detected from the environment if not specified):\n"
         "\t                             " +
         languages + ".\n\n";
}

TEST(RunSequence, HelpListsEveryLoadedProductAndLanguageByteForByte) {
  for (const wchar_t* arguments : {L"--silent --help", L"-s -h -r -l de", L"--HELP --silent"}) {
    SCOPED_TRACE(WideToUtf8(arguments));
    const Outcome outcome = RunLogged(std::wstring(arguments) + L" " + ScriptsOption(L"done"));
    EXPECT_EQ(outcome.result.exitCode, 0u);
    // Undetected products are listed too; nothing is removed.
    EXPECT_EQ(outcome.result.output, ExpectedHelp("quarantine|halcyra|logs"));
    EXPECT_LT(IndexOf(outcome.lines, "cleanup"), 0);
  }
  // Without products there is no help: the run ends with the error message.
  const Outcome none = RunLogged(L"--silent --help --language en " + ScriptsOption(L"nolua"));
  EXPECT_EQ(none.result.exitCode, 1u);
  EXPECT_EQ(none.result.output, kErrorGenericEn);
}

std::set<std::wstring> WorkDirectories() {
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH + 1, temp);
  std::wstring folder = temp;
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  std::set<std::wstring> found;
  for (const auto& name : FolderEntries(folder, L"kv*.tmp")) found.insert(folder + L"\\" + name);
  return found;
}

TEST(RunSequence, CreatedWorkDirectoryIsRemovedEvenWhenTheRunFails) {
  ScopedRegValue level(HKEY_LOCAL_MACHINE, LoggingKey(), L"LogLevel");
  ASSERT_TRUE(level.SetDword(5));
  const auto before = WorkDirectories();
  // No product of the archive has this id, so the run fails after unpacking it.
  const Outcome outcome = RunLogged(L"--silent --language en --products nosuchproduct");
  EXPECT_EQ(outcome.result.exitCode, 1u);
  const int at = IndexOf(outcome.lines, "UiTool::CreateWorkDir: Working directory: ");
  ASSERT_GE(at, 0) << Dump(outcome.lines);
  const std::string text = outcome.lines[at].text;
  const std::wstring workDir =
      Utf8ToWide(text.substr(text.find("directory: ") + std::string("directory: ").size()));
  EXPECT_TRUE(WildcardMatch(workDir, L"*\\kv*.tmp", false)) << text;
  EXPECT_EQ(::GetFileAttributesW(workDir.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_GE(IndexOf(outcome.lines, "UiTool::CleanUp: Removing '"), 0) << Dump(outcome.lines);
  EXPECT_EQ(WorkDirectories(), before);
}

TEST(RunSequence, ScriptsFolderIsNeverRemoved) {
  const ScratchFolder folder(L"kept scripts");
  for (const wchar_t* name : {L"halcyra.lua", L"quarantine.lua", L"logs.lua"}) {
    ASSERT_TRUE(
        ::CopyFileW((Scripts(L"done") + L"\\" + name).c_str(), (folder / name).c_str(), FALSE));
  }
  const Outcome outcome = RunLogged(L"--silent --scripts \"" + folder.Path() + L"\"");
  EXPECT_EQ(outcome.result.exitCode, 0u);
  EXPECT_NE(::GetFileAttributesW((folder / L"halcyra.lua").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_LT(IndexOf(outcome.lines, "UiTool::CleanUp"), 0);
}

std::string LocalizedText(const std::string& language, const std::string& key) {
  const std::string bytes =
      ReadFileBytes(std::wstring(TEST_SOURCE_DIR) + L"\\resources\\texts\\localizations\\" +
                    Utf8ToWide(language) + L".txt");
  const std::string prefix = key + "=";
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    start = end + 1;
  }
  return {};
}

TEST(RunSequence, ConsoleTextReachesFilesAndPipesAsUtf8) {
  const std::string expected = LocalizedText("ja", "ErrorGeneric") + "\n";
  ASSERT_GT(expected.size(), 1u);
  for (OutputCapture capture : {OutputCapture::File, OutputCapture::Pipe}) {
    RunOptions options;
    options.capture = capture;
    const RunResult result =
        RunProgram(PurgeKit64Path(), L"--silent --language ja " + ScriptsOption(L"nolua"), options);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.output, expected) << (capture == OutputCapture::File ? "file" : "pipe");
  }
}

}  // namespace
