// Silent runs of the real PurgeKit64.exe whose product script ends running programs and
// starts an uninstaller with its output captured: exit code, log lines and which processes
// are left afterwards.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "ChildPrograms.h"
#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "UniqueAny.h"

namespace {

class ProcessRun : public testing::Test {
 protected:
  std::wstring ChildCopy(const std::wstring& relative) {
    return CopyProgram(TEST_CHILD_EXE, programs_ / relative);
  }
  // Runs the program on one product whose CleanupProduct runs `cleanup`.
  std::vector<LogLine> RunCleanup(const std::string& cleanup, RunResult& result, DWORD& elapsed) {
    scripts_.Write(L"product.lua",
                   "function GetProductId() return 'proc' end\n"
                   "function DetectProduct() return true end\n"
                   "function CleanupProduct()\n" +
                       cleanup + "\nend\n");
    ScopedLogRoot root;
    // The output goes to a file: an uninstaller's grandchild inherits the program's
    // inheritable handles, a pipe of ours among them.
    RunOptions options;
    options.capture = OutputCapture::File;
    const DWORD before = ::GetTickCount();
    const LoggedRun run =
        RunForLog(PurgeKit64Path(),
                  L"--silent --language en --scripts \"" + scripts_.Path() + L"\"", options);
    elapsed = ::GetTickCount() - before;
    result = run.result;
    return LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
  }

  // Whether a run that ends the processes started from `path` found one.
  bool TerminatedByPath(const std::wstring& path) {
    RunResult result;
    DWORD elapsed = 0;
    const auto lines =
        RunCleanup("return Process.TerminateByPath(" + LuaQuoted(path) + ")", result, elapsed);
    return HasLineContaining(lines, "Terminating process [");
  }

  ScratchFolder programs_{L"programs"};
  ScratchFolder scripts_{L"scripts"};
};

TEST_F(ProcessRun, EndsTheProductsProgramsAndLogsItsUninstallersOutput) {
  const std::wstring x = ChildCopy(L"App\\x.exe");
  const std::wstring z = ChildCopy(L"Application\\z.exe");
  const std::wstring uninstaller = ChildCopy(L"Setup\\uninstall.exe");
  const UniqueHandle px = StartChild(x, L"keep 60000");
  const UniqueHandle pz = StartChild(z, L"keep 60000");
  ASSERT_TRUE(px && pz);
  ::Sleep(300);

  // The uninstaller leaves a process behind that holds its standard output for a minute.
  RunResult result;
  DWORD elapsed = 0;
  const auto lines =
      RunCleanup("Process.TerminateAllFromPath(" + LuaQuoted(programs_ / L"App") + ")\n" +
                     "return Process.StartProcessAndWaitForCompletion(" + LuaQuoted(uninstaller) +
                     ", 'parent 60000', 30000, CreationFlags_CREATE_NO_WINDOW, '', 'uninstall')",
                 result, elapsed);
  ASSERT_TRUE(result.started);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0u) << Dump(lines);
  EXPECT_LT(elapsed, 20000u);
  EXPECT_FALSE(IsRunning(px));
  EXPECT_TRUE(IsRunning(pz));
  EXPECT_TRUE(HasLineContaining(lines, "Lua::Process::TerminateProcesses: Terminating process [" +
                                           std::to_string(::GetProcessId(px.get())) + "] '" +
                                           WideToUtf8(x) + "'"))
      << Dump(lines);
  const int output = IndexOf(lines, "[uninstall] child line");
  const int completed = IndexOf(lines, "Process completed, exit code : 0 (as int:0)");
  EXPECT_GE(output, 0) << Dump(lines);
  EXPECT_GT(completed, output);
  EXPECT_TRUE(HasLineContaining(lines, "Exiting with code: 0"));

  ::TerminateProcess(pz.get(), 0);
  // The grandchild outlived the call.
  EXPECT_TRUE(TerminatedByPath(uninstaller));
}

TEST_F(ProcessRun, AnUninstallerThatOutlivesItsTimeOutIsLeftRunning) {
  const std::wstring hanging = ChildCopy(L"Hang\\hang.exe");
  RunResult result;
  DWORD elapsed = 0;
  const auto lines = RunCleanup("local done = Process.StartProcessAndWaitForCompletion(" +
                                    LuaQuoted(hanging) + ", 'forever', 2000, 8, '', 'hang')\n" +
                                    "Log.Info('result ' .. tostring(done))\nreturn true",
                                result, elapsed);
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 0u) << Dump(lines);
  EXPECT_LT(elapsed, 15000u);
  EXPECT_TRUE(HasLineContaining(lines, "[hang] started")) << Dump(lines);
  EXPECT_TRUE(HasLineContaining(lines, "Process wait timeout 2000 ms elapsed"));
  EXPECT_TRUE(HasLineContaining(lines, "[product.lua] result false"));

  // The program has ended; its uninstaller still runs.
  EXPECT_TRUE(TerminatedByPath(hanging));
}

// Starts that would make the process start fault are refused: the call gives false with its
// line, and the run goes on to its normal end.
TEST_F(ProcessRun, StartsThatWouldFaultGiveFalseAndTheRunEndsNormally) {
  const std::string child = LuaQuoted(TEST_CHILD_EXE);
  const std::string tooLong = LuaQuoted(programs_ / std::wstring(1040, L'x') + L".exe");
  struct Case {
    std::string call;
    std::string failure;
  };
  const Case cases[] = {
      {"Process.StartProcessAndWaitForCompletion(" + child +
           ", 'exit 0', 5000, CreationFlags_EXTENDED_STARTUPINFO_PRESENT)",
       "StartProcessWithArgumentsAndWaitForCompletion: Failed to create process : 87"},
      {"Process.StartProcess(" + child + ", 'exit 0', CreationFlags_EXTENDED_STARTUPINFO_PRESENT)",
       "StartProcessWithArguments: Failed to create process : 87"},
      {"Process.StartProcessAndWaitForCompletion(" + tooLong + ")",
       "StartProcessWithArgumentsAndWaitForCompletion: Failed to create process : 206"},
      {"Process.StartProcess(" + tooLong + ")",
       "StartProcessWithArguments: Failed to create process : 206"},
  };
  std::string cleanup;
  for (size_t i = 0; i < std::size(cases); ++i) {
    cleanup += "Log.Info('call " + std::to_string(i) + " ' .. tostring(" + cases[i].call + "))\n";
  }
  RunResult result;
  DWORD elapsed = 0;
  const auto lines = RunCleanup(cleanup + "return true", result, elapsed);
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 0u) << Dump(lines);
  int previous = -1;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const int failure = IndexOf(lines, cases[i].failure);
    const int logged = IndexOf(lines, "[product.lua] call " + std::to_string(i) + " false");
    EXPECT_GT(failure, previous) << cases[i].call << "\n" << Dump(lines);
    EXPECT_GT(logged, failure) << cases[i].call;
    previous = logged;
  }
  EXPECT_TRUE(HasLineContaining(lines, "Exiting with code: 0"));
}

}  // namespace
