// The System table in a silent run of the real PurgeKit64.exe: Wine reports a server edition
// to a program started while the machine's product type says so.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"

namespace {

std::vector<LogLine> RunProbe() {
  ScopedLogRoot root;
  const LoggedRun run = RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" +
                                                        FixturePath(L"run\\system") + L"\"");
  EXPECT_EQ(run.result.exitCode, 0u);
  return LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
}

TEST(SystemModule, IsWindowsServerFollowsTheEditionWineReports) {
  {
    ScopedRegValue productType(HKEY_LOCAL_MACHINE,
                               L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                               L"ProductType", KEY_WOW64_64KEY);
    ASSERT_TRUE(productType.SetString(L"ServerNT"));
    const std::vector<LogLine> lines = RunProbe();
    EXPECT_GE(IndexOf(lines, "[probe.lua] server: true"), 0) << Dump(lines);
  }
  const std::vector<LogLine> lines = RunProbe();
  EXPECT_GE(IndexOf(lines, "[probe.lua] server: false"), 0) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[probe.lua] tables: Atom,Path,Meta,System"), 0) << Dump(lines);
}

}  // namespace
