// Silent runs of the real programs over a probe script: the System table (Wine reports a
// server edition to a program started while the machine's product type says so), the
// Sysnative folder of each program, and the profiles folder, whose library both programs
// bind on first use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"

namespace {

// The 32-bit program finds no PurgeKit64.exe in the probe's folder and runs the script itself.
std::vector<LogLine> RunProbe(const std::wstring& program) {
  ScopedLogRoot root;
  const LoggedRun run = RunForLog(
      program, L"--silent --language en --scripts \"" + FixturePath(L"run\\system") + L"\"");
  EXPECT_EQ(run.result.exitCode, 0u);
  return LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
}

TEST(SystemModule, IsWindowsServerFollowsTheEditionWineReports) {
  {
    ScopedRegValue productType(HKEY_LOCAL_MACHINE,
                               L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                               L"ProductType", KEY_WOW64_64KEY);
    ASSERT_TRUE(productType.SetString(L"ServerNT"));
    const std::vector<LogLine> lines = RunProbe(PurgeKit64Path());
    EXPECT_GE(IndexOf(lines, "[probe.lua] server: true"), 0) << Dump(lines);
  }
  const std::vector<LogLine> lines = RunProbe(PurgeKit64Path());
  EXPECT_GE(IndexOf(lines, "[probe.lua] server: false"), 0) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[probe.lua] tables: Atom,Path,Meta,System"), 0) << Dump(lines);
}

TEST(SystemModule, FoldersOfEachProgram) {
  const std::vector<LogLine> lines64 = RunProbe(PurgeKit64Path());
  EXPECT_GE(IndexOf(lines64, "[probe.lua] sysnative: C:\\windows\\system32"), 0) << Dump(lines64);
  EXPECT_GE(IndexOf(lines64, "[probe.lua] profiles: C:\\users"), 0) << Dump(lines64);

  if (!Wine32Available()) GTEST_SKIP() << kNoWine32Reason;
  const std::vector<LogLine> lines32 = RunProbe(PurgeKit32Path());
  EXPECT_GE(IndexOf(lines32, "[probe.lua] sysnative: C:\\windows\\Sysnative"), 0) << Dump(lines32);
  EXPECT_GE(IndexOf(lines32, "[probe.lua] profiles: C:\\users"), 0) << Dump(lines32);
}

}  // namespace
