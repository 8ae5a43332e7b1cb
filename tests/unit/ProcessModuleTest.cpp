// The Process table over real child processes: output captured into this process's log,
// time-outs, a grandchild that keeps the output pipe open, exit codes and the argument
// conventions; and termination of real processes by path, folder, name and mask.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChildPrograms.h"
#include "ImportHook.h"
#include "LineBuffer.h"
#include "LogCapture.h"
#include "LogRegistry.h"
#include "ModuleChunk.h"
#include "ProcessModule.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "UniqueAny.h"

namespace {

using Lines = std::vector<std::string>;

// Ten megabytes of captured output are logged: the log of this process may grow to 64 MB
// without rotating, so that every line can be read back.
LogCapture& TestLog() {
  static ScopedRegValue limit(
      HKEY_LOCAL_MACHINE,
      LoggingKey(L"PurgeKitTests", L"unit_process-" + std::to_wstring(::GetCurrentProcessId())),
      L"LogMaxSizeKB");
  static const bool limitSet = limit.SetDword(64 * 1024);
  static LogCapture capture(L"unit_process");
  EXPECT_TRUE(limitSet);
  return capture;
}

const std::string kChild = LuaQuoted(TEST_CHILD_EXE);

class ProcessModule : public testing::Test {
 protected:
  void SetUp() override { TestLog().Mark(); }

  // The lines that the captured output under `name` produced, in order.
  static Lines OutputLines(const std::string& name) {
    Lines lines;
    const std::string prefix = " I: [" + name + "] ";
    for (const auto& entry : TestLog().Entries()) {
      if (entry.compare(0, prefix.size(), prefix) == 0)
        lines.push_back(entry.substr(prefix.size()));
    }
    return lines;
  }
  static bool HasEntryStartingWith(const std::string& start) {
    for (const auto& entry : TestLog().Entries()) {
      if (entry.compare(0, start.size(), start) == 0) return true;
    }
    return false;
  }

  // A copy of the child program in the test's folder.
  std::wstring ChildCopy(const std::wstring& relative) {
    return CopyProgram(TEST_CHILD_EXE, folder_ / relative);
  }

  ScratchFolder folder_;
};

TEST(LineBuffer, SplitsChunksIntoLines) {
  struct Case {
    const char* what;
    std::vector<std::string> chunks;
    Lines lines;
  };
  const Case cases[] = {
      {"CR and LF in two chunks", {"a\r", "\nb"}, {"a", "b"}},
      {"a line across chunks", {"abc", "def\n"}, {"abcdef"}},
      {"a line across three chunks", {"ab", "cd", "ef"}, {"abcdef"}},
      {"a NUL in a chunk", {std::string("x\0y\nz", 5), "w\n"}, {"xw"}},
      {"no empty lines", {"\r\n\r\n1\r\n\n\r2\n\n"}, {"1", "2"}},
      {"CR LF split across chunks", {"one\r", "\ntwo\r", "\n"}, {"one", "two"}},
      {"pending line ended by a lone line end", {"tail", "\n", "next"}, {"tail", "next"}},
      {"a long line", {std::string(10000, 'q')}, {std::string(10000, 'q')}},
  };
  for (const auto& c : cases) {
    Lines lines;
    Lua::Process::LineBuffer buffer([&lines](const char* line) { lines.push_back(line); });
    for (std::string chunk : c.chunks) {
      chunk.push_back('\0');
      buffer.Feed(chunk.data());
    }
    buffer.Flush();
    EXPECT_EQ(lines, c.lines) << c.what;
  }
}

TEST(ProcessTable, HoldsItsFunctionsAndConstants) {
  EXPECT_EQ(RunLua("local names = {} for k in pairs(Process) do names[#names + 1] = k end "
                   "table.sort(names) return table.concat(names, ',')"),
            "StartProcess,StartProcessAndWaitForCompletion,TerminateAllFromPath,TerminateByName,"
            "TerminateByNameMask,TerminateByPath");
  EXPECT_EQ(RunLua("return CreationFlags_CREATE_IGNORE_SYSTEM_DEFAULT"), "-2147483648");
  EXPECT_EQ(RunLua("return CreationFlags_DETACHED_PROCESS + CreationFlags_CREATE_NO_WINDOW + "
                   "CreationFlags_PROFILE_SERVER + CreationFlags_CREATE_BREAKAWAY_FROM_JOB"),
            std::to_string(0x8 + 0x8000000 + 0x40000000 + 0x1000000));
  EXPECT_EQ(RunLua("return CP_UTF8 .. ',' .. CP_ACP .. ',' .. CP_OEMCP"), "65001,0,1");
  EXPECT_EQ(RunLua("return Process.CP_UTF8"), "nil");
}

TEST(MatchRules, CompareAsTheirFunctionsSay) {
  using namespace Lua::Process;
  struct Case {
    bool (*rule)(const std::wstring&, const std::wstring&);
    const wchar_t* image;
    const wchar_t* text;
    bool matches;
  };
  const Case cases[] = {
      {MatchPathPrefix, L"C:\\App\\x.exe", L"C:\\App", true},
      {MatchPathPrefix, L"c:\\app\\sub\\y.exe", L"C:\\App", true},
      {MatchPathPrefix, L"C:\\Application\\z.exe", L"C:\\App", false},
      {MatchPathPrefix, L"C:\\App\\", L"C:\\App", false},
      {MatchPathPrefix, L"C:\\App\\x.exe", L"C:\\App\\", true},
      {MatchPathPrefix, L"C:\\App\\x.exe", L"", false},
      {MatchPath, L"C:\\App\\x.exe", L"c:\\APP\\X.EXE", true},
      {MatchPath, L"C:\\App\\x.exe", L"C:\\App\\x.ex", false},
      {MatchName, L"C:\\Windows\\notepad.exe", L"NOTEPAD.EXE", true},
      {MatchName, L"C:\\Windows\\notepad.exe", L"notepad", false},
      {MatchNameMask, L"C:\\Windows\\Notepad.exe", L"note*", false},
      {MatchNameMask, L"C:\\Windows\\Notepad.exe", L"Note*", true},
      {MatchNameMask, L"C:\\Windows\\Notepad.exe", L"N?tepad.exe", true},
      // Only A to Z are folded.
      {MatchPath, L"C:\\\u00C4\\x.exe", L"C:\\\u00E4\\x.exe", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.rule(c.image, c.text), c.matches)
        << WideToUtf8(c.image) << " / " << WideToUtf8(c.text);
  }
}

TEST_F(ProcessModule, CapturesOutputWrittenInPieces) {
  const std::string call = "return Process.StartProcessAndWaitForCompletion(" + kChild +
                           ", [[write \"a\\r\" \"\\nb\\r\\n\" abc \"def\\n\" \"x\\0y\\n\" "
                           "\"bad \\xff\\xfe utf8\\n\" \"last\"]], 30000, 8, '', 'pieces')";
  ASSERT_EQ(RunLua(call), "true") << TestLog().Dump();
  // What follows a NUL in a chunk is dropped, line end included, so x's line goes on in the
  // next chunk; invalid UTF-8 reaches the log as it came.
  EXPECT_EQ(OutputLines("pieces"), (Lines{"a", "b", "abcdef", "xbad \xff\xfe utf8", "last"}));
  EXPECT_TRUE(TestLog().Has(
      " I: Lua::Process::StartProcessWithArgumentsAndWaitForCompletion: Process completed, exit "
      "code : 0 (as int:0)"));
}

TEST_F(ProcessModule, ConvertsOtherCodePagesToUtf8) {
  // Code page 437 ("\x81" is u with diaeresis); in code page 932 a lone lead byte is invalid
  // and its line is logged with empty text.
  ASSERT_EQ(RunLua("return Process.StartProcessAndWaitForCompletion(" + kChild +
                   ", [[write \"gr\\x81n\\n\"]], 30000, 8, '', 'oem', CP_OEMCP)"),
            "true");
  EXPECT_EQ(OutputLines("oem"), Lines{"gr\xC3\xBCn"});
  EXPECT_TRUE(HasEntryStartingWith(
      " I: Lua::Process::StartProcessWithArgumentsAndWaitForCompletion: Create process:'"));
  EXPECT_NE(TestLog().Dump().find("log name:oem, output code page:CP_OEMCP (437)"),
            std::string::npos)
      << TestLog().Dump();

  TestLog().Mark();
  ASSERT_EQ(RunLua("return Process.StartProcessAndWaitForCompletion(" + kChild +
                   ", [[write \"ok\\n\" \"\\x82\\n\"]], 30000, 8, '', 'sjis', 932)"),
            "true");
  EXPECT_EQ(OutputLines("sjis"), (Lines{"ok", ""}));
}

TEST_F(ProcessModule, TakesTenMegabytesOfOutput) {
  const DWORD before = ::GetTickCount();
  ASSERT_EQ(RunLua("return Process.StartProcessAndWaitForCompletion(" + kChild +
                   ", 'bulk 10485760', 120000, 8, '', 'bulk')"),
            "true");
  const Lines lines = OutputLines("bulk");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "end of output");
  // The log rotates on the way; every surviving line came through whole.
  for (size_t i = 0; i + 1 < lines.size(); ++i) ASSERT_EQ(lines[i], std::string(999, 'x'));
  RecordProperty("bulk_ms", std::to_string(::GetTickCount() - before));
}

TEST_F(ProcessModule, ATimeOutReturnsInTimeAndLeavesTheChildRunning) {
  const std::wstring copy = ChildCopy(L"forever.exe");
  const DWORD before = ::GetTickCount();
  EXPECT_EQ(RunLua("return Process.StartProcessAndWaitForCompletion(" + LuaQuoted(copy) +
                   ", 'forever', 1500, 8, '', 'forever')"),
            "false");
  const DWORD elapsed = ::GetTickCount() - before;
  EXPECT_GE(elapsed, 1500u);
  EXPECT_LT(elapsed, 3500u);
  EXPECT_EQ(OutputLines("forever"), Lines{"started"});
  EXPECT_TRUE(TestLog().Has(
      "*E: Lua::Process::StartProcessWithArgumentsAndWaitForCompletion: Process wait timeout "
      "1500 ms elapsed"));
  // Still running: ending it by its path finds it.
  TestLog().Mark();
  EXPECT_TRUE(Lua::Process::TerminateProcesses(copy, Lua::Process::MatchPath));
  EXPECT_TRUE(HasEntryStartingWith(" I: Lua::Process::TerminateProcesses: Terminating process ["))
      << TestLog().Dump();
}

// A child that leaves a grandchild holding its standard output: the call returns soon after
// the child's end, with the child's lines, instead of waiting for the grandchild.
TEST_F(ProcessModule, AGrandchildHoldingThePipeDoesNotHoldTheCall) {
  const std::wstring copy = ChildCopy(L"parent.exe");
  const DWORD before = ::GetTickCount();
  EXPECT_EQ(RunLua("return Process.StartProcessAndWaitForCompletion(" + LuaQuoted(copy) +
                   ", 'parent 60000', 30000, 8, '', 'parent')"),
            "true");
  const DWORD elapsed = ::GetTickCount() - before;
  EXPECT_LT(elapsed, 5000u);
  EXPECT_EQ(OutputLines("parent"), Lines{"child line"});
  EXPECT_TRUE(HasEntryStartingWith(
      ".W: Lua::Process::ProcessOutputLogger::Wait: [parent] Output still open 1000 ms after"))
      << TestLog().Dump();
  // The grandchild still runs.
  TestLog().Mark();
  EXPECT_TRUE(Lua::Process::TerminateProcesses(copy, Lua::Process::MatchPath));
  EXPECT_TRUE(HasEntryStartingWith(" I: Lua::Process::TerminateProcesses: Terminating process ["))
      << TestLog().Dump();
}

TEST_F(ProcessModule, ResultsAndLinesOfTheWaitingStart) {
  struct Case {
    std::string arguments;
    std::string result;
    std::string line;  // an entry that must be in the log
  };
  const std::string prefix = "Lua::Process::StartProcessWithArgumentsAndWaitForCompletion: ";
  const std::string create = " I: " + prefix + "Create process:'" + WideToUtf8(TEST_CHILD_EXE);
  const Case cases[] = {
      {kChild, "false",
       create + "' with args:'', mode:0x8, wait timeout(msecs):30000, working dir:, log name:, "
                "output code page:CP_UTF8 (65001)"},
      // The nil ends the optional list: the 5000 is not read.
      {kChild + ", '', nil, 5000", "false",
       create + "' with args:'', mode:0x8, wait timeout(msecs):30000, working dir:, log name:, "
                "output code page:CP_UTF8 (65001)"},
      {kChild + ", 'exit 3010', -1, CreationFlags_CREATE_NO_WINDOW", "false",
       " I: " + prefix + "Process completed, exit code : 3010 (as int:3010)"},
      {kChild + ", 'exit 0xFFFFFFFF'", "false",
       " I: " + prefix + "Process completed, exit code : 4294967295 (as int:-1)"},
      {kChild + ", 'exit 0', 5000, 0x80000008, nil, 'x'", "true",
       create + "' with args:'exit 0', mode:0x80000008, wait timeout(msecs):5000, working dir:, "
                "log name:, output code page:CP_UTF8 (65001)"},
      {kChild + ", 'exit 0', 4294967295, 8, '', 'cp', 3", "true",
       create + "' with args:'exit 0', mode:0x8, wait timeout(msecs):4294967295, working dir:, "
                "log name:cp, output code page:CP_THREAD_ACP (1252)"},
      {"'C:\\\\missing\\\\nothing.exe'", "false", "*E: " + prefix + "Failed to create process : 3"},
  };
  for (const auto& c : cases) {
    TestLog().Mark();
    EXPECT_EQ(RunLua("return Process.StartProcessAndWaitForCompletion(" + c.arguments + ")"),
              c.result)
        << c.arguments;
    EXPECT_TRUE(TestLog().Has(c.line)) << c.arguments << "\n" << TestLog().Dump();
  }
  EXPECT_THAT(RunLua("return Process.StartProcessAndWaitForCompletion({})"),
              testing::EndsWith("bad argument #1 to 'StartProcessAndWaitForCompletion' (string "
                                "expected, got table)"));
  EXPECT_THAT(RunLua("return Process.StartProcessAndWaitForCompletion(" + kChild + ", '', {})"),
              testing::EndsWith("bad argument #3 to 'StartProcessAndWaitForCompletion' (number "
                                "expected, got table)"));
}

TEST_F(ProcessModule, StartProcessDoesNotWait) {
  const std::wstring copy = ChildCopy(L"started.exe");
  const DWORD before = ::GetTickCount();
  EXPECT_EQ(RunLua("return Process.StartProcess(" + LuaQuoted(copy) + ", 'keep 20000', 8, " +
                   LuaQuoted(folder_.Path()) + ")"),
            "true");
  EXPECT_LT(::GetTickCount() - before, 2000u);
  EXPECT_TRUE(TestLog().Has(
      " I: Lua::Process::StartProcessWithArguments: Create process:'" + WideToUtf8(copy) +
      "' with args:'keep 20000', mode:0x8, working dir:" + WideToUtf8(folder_.Path())));
  EXPECT_TRUE(Lua::Process::TerminateProcesses(copy, Lua::Process::MatchPath));
  EXPECT_TRUE(HasEntryStartingWith(" I: Lua::Process::TerminateProcesses: Terminating process ["));

  TestLog().Mark();
  EXPECT_EQ(RunLua("return Process.StartProcess('C:\\\\missing\\\\nothing.exe')"), "false");
  EXPECT_TRUE(
      TestLog().Has("*E: Lua::Process::StartProcessWithArguments: Failed to create process : 3"));
}

TEST_F(ProcessModule, TerminateAllFromPathEndsWhatLiesBelowTheFolderOnly) {
  const std::wstring x = ChildCopy(L"App\\x.exe");
  const std::wstring y = ChildCopy(L"App\\sub\\y.exe");
  const std::wstring z = ChildCopy(L"Application\\z.exe");
  const UniqueHandle px = StartChild(x, L"keep 60000");
  const UniqueHandle py = StartChild(y, L"keep 60000");
  const UniqueHandle pz = StartChild(z, L"keep 60000");
  ASSERT_TRUE(px && py && pz);
  ::Sleep(300);

  std::wstring folder = folder_ / L"App";
  for (auto& c : folder) c = static_cast<wchar_t>(towupper(c));
  EXPECT_EQ(RunLua("return Process.TerminateAllFromPath(" + LuaQuoted(folder) + ")"), "true");
  EXPECT_FALSE(IsRunning(px));
  EXPECT_FALSE(IsRunning(py));
  EXPECT_TRUE(IsRunning(pz));
  DWORD code = 1;
  ::GetExitCodeProcess(px.get(), &code);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(TestLog().Has(" I: Lua::Process::TerminateProcesses: Terminating process [" +
                            std::to_string(::GetProcessId(px.get())) + "] '" + WideToUtf8(x) + "'"))
      << TestLog().Dump();

  TestLog().Mark();
  // No folder, or a whole drive, is refused: false, nothing ended.
  EXPECT_EQ(RunLua("return Process.TerminateAllFromPath('')"), "false");
  EXPECT_EQ(RunLua("return Process.TerminateAllFromPath('" +
                   WideToUtf8(folder_.Path().substr(0, 2)) + "\\\\')"),
            "false");
  EXPECT_EQ(RunLua("return Process.TerminateByPath(" + LuaQuoted(folder_ / L"nothing.exe") + ")"),
            "true");
  EXPECT_FALSE(HasEntryStartingWith(" I: Lua::Process::TerminateProcesses: Terminating"));
  EXPECT_TRUE(IsRunning(pz));
  EXPECT_EQ(RunLua("return Process.TerminateByPath(" + LuaQuoted(z) + ")"), "true");
  EXPECT_FALSE(IsRunning(pz));
}

TEST_F(ProcessModule, NamesIgnoreCaseAndMasksDoNot) {
  const std::wstring note = ChildCopy(L"Note.exe");
  const UniqueHandle first = StartChild(note, L"keep 60000");
  ASSERT_TRUE(first);
  ::Sleep(300);
  EXPECT_EQ(RunLua("return Process.TerminateByNameMask('note*')"), "true");
  EXPECT_TRUE(IsRunning(first));
  EXPECT_EQ(RunLua("return Process.TerminateByNameMask('Not?.*')"), "true");
  EXPECT_FALSE(IsRunning(first));

  const UniqueHandle second = StartChild(note, L"keep 60000");
  ASSERT_TRUE(second);
  ::Sleep(300);
  EXPECT_EQ(RunLua("return Process.TerminateByName('NOTE.EXE')"), "true");
  EXPECT_FALSE(IsRunning(second));
  EXPECT_THAT(RunLua("return Process.TerminateByName(nil)"),
              testing::EndsWith("bad argument #1 to 'TerminateByName' (string expected, got nil)"));
}

// An id may be reused between the process list and the open: the handle then holds another
// process. Wine gives no control over ids, so the open is pointed at another process through
// the import: the id of the listed process, whose path matches, leads to a bystander at
// another path, which must be left running.
DWORD g_reusedId = 0;
DWORD g_bystanderId = 0;
decltype(&::OpenProcess) g_realOpenProcess = nullptr;

HANDLE WINAPI OpenReusedId(DWORD access, BOOL inherit, DWORD id) {
  return g_realOpenProcess(access, inherit, id == g_reusedId ? g_bystanderId : id);
}

TEST_F(ProcessModule, AnIdReusedBeforeTheOpenEndsNothingElse_OpenProcessSeam) {
  const std::wstring listed = ChildCopy(L"Listed\\target.exe");
  const std::wstring other = ChildCopy(L"Other\\bystander.exe");
  const UniqueHandle target = StartChild(listed, L"keep 60000");
  const UniqueHandle bystander = StartChild(other, L"keep 60000");
  ASSERT_TRUE(target && bystander);
  ::Sleep(300);
  g_reusedId = ::GetProcessId(target.get());
  g_bystanderId = ::GetProcessId(bystander.get());
  {
    ImportHook hook("kernel32.dll", "OpenProcess", reinterpret_cast<void*>(&OpenReusedId));
    ASSERT_TRUE(hook.IsActive());
    g_realOpenProcess = reinterpret_cast<decltype(&::OpenProcess)>(hook.Original());
    EXPECT_EQ(RunLua("return Process.TerminateByPath(" + LuaQuoted(listed) + ")"), "true");
  }
  EXPECT_TRUE(IsRunning(bystander));
  EXPECT_FALSE(HasEntryStartingWith(" I: Lua::Process::TerminateProcesses: Terminating"))
      << TestLog().Dump();
  // Without the reuse the same call ends the listed process.
  EXPECT_EQ(RunLua("return Process.TerminateByPath(" + LuaQuoted(listed) + ")"), "true");
  EXPECT_FALSE(IsRunning(target));
  EXPECT_TRUE(IsRunning(bystander));
  ::TerminateProcess(bystander.get(), 0);
}

// The platform waits on at most 64 handles at once (more fail at once with 87): every one
// of more than 64 ended processes is waited for. The waits are watched through the import.
struct WaitCall {
  DWORD count;
  DWORD result;
};
std::vector<WaitCall> g_waits;
decltype(&::WaitForMultipleObjects) g_realWaitForMultiple = nullptr;

DWORD WINAPI WatchingWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL all,
                                            DWORD timeoutMs) {
  const DWORD result = g_realWaitForMultiple(count, handles, all, timeoutMs);
  g_waits.push_back({count, result});
  return result;
}

TEST_F(ProcessModule, MoreThanSixtyFourProcessesAreAllWaitedFor) {
  const std::wstring sleeper = ChildCopy(L"Many\\sleeper.exe");
  std::vector<UniqueHandle> processes;
  for (int i = 0; i < 70; ++i) {
    processes.push_back(StartChild(sleeper, L"keep 120000"));
    ASSERT_TRUE(processes.back()) << i;
  }
  ::Sleep(500);
  g_waits.clear();
  const DWORD before = ::GetTickCount();
  {
    ImportHook hook("kernel32.dll", "WaitForMultipleObjects",
                    reinterpret_cast<void*>(&WatchingWaitForMultipleObjects));
    ASSERT_TRUE(hook.IsActive());
    g_realWaitForMultiple = reinterpret_cast<decltype(&::WaitForMultipleObjects)>(hook.Original());
    EXPECT_EQ(RunLua("return Process.TerminateAllFromPath(" + LuaQuoted(folder_ / L"Many") + ")"),
              "true");
  }
  EXPECT_LT(::GetTickCount() - before, 10000u);
  ASSERT_EQ(g_waits.size(), 2u);
  EXPECT_EQ(g_waits[0].count, 64u);
  EXPECT_EQ(g_waits[1].count, 6u);
  for (const auto& wait : g_waits) EXPECT_LT(wait.result, WAIT_OBJECT_0 + wait.count);
  size_t running = 0;
  for (const auto& process : processes) running += IsRunning(process) ? 1 : 0;
  EXPECT_EQ(running, 0u);
  EXPECT_EQ(TestLog().Entries().size(), 70u) << TestLog().Dump();
}

}  // namespace
