// Silent runs of the real PurgeKit64.exe: a product script wipes a product folder that holds a
// file another process keeps open, and one removes next to what it must leave alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HeldFile.h"
#include "LogReader.h"
#include "LogRegistry.h"
#include "PendingOperations.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestFiles.h"

namespace {

TEST(FilesRun, AHeldFileAsksForARestartAndTheLookAlikeFolderStays) {
  PendingOperationsGuard pending;
  ScratchFolder base(L"files-run");
  base.Write(L"Halcyra\\bin\\agent.exe", "a");
  base.Write(L"Halcyra\\readme.txt", "r");
  const std::wstring held = base.Write(L"Halcyra\\bin\\service.dll", "s");
  const std::wstring sibling = base.Write(L"HalcyraShared\\shared.dat", "keep");
  HeldFile holder(held);
  ASSERT_TRUE(holder.IsHeld());
  ASSERT_TRUE(::SetEnvironmentVariableW(L"PURGEKIT_TEST_FILES", base.Path().c_str()));

  ScopedLogRoot root;
  ScopedRegValue level(HKEY_LOCAL_MACHINE, LoggingKey(), L"LogLevel");
  ASSERT_TRUE(level.SetDword(5));  // the delay lines are details
  const LoggedRun run = RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" +
                                                        FixturePath(L"run\\files") + L"\"");
  ::SetEnvironmentVariableW(L"PURGEKIT_TEST_FILES", nullptr);
  const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.exitCode, 99u) << Dump(lines);

  const int found = IndexOf(lines, "[files.lua] files found true");
  const int delayed =
      IndexOf(lines, "FileOps::WipeFileInternal: Delay delete: '" + WideToUtf8(held) + "'");
  const int reboot = IndexOf(lines, "Status::SetRebootNeeded: Reboot is needed");
  EXPECT_GE(found, 0) << Dump(lines);
  EXPECT_GT(delayed, found) << Dump(lines);
  EXPECT_GT(reboot, delayed) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "FileOps::WipeDirectoryInternal: Delay delete: '" +
                               WideToUtf8(base / L"Halcyra") + "'"),
            0)
      << Dump(lines);
  EXPECT_GE(IndexOf(lines, "wWinMain: Exiting with code: 99"), 0) << Dump(lines);

  EXPECT_EQ(ListTree(base / L"Halcyra"), (std::vector<std::wstring>{L"bin", L"bin\\service.dll"}));
  EXPECT_TRUE(HasEntry(PendingOperationsGuard::Entries(), held));
  EXPECT_EQ(ReadFileBytes(sibling), "keep");
}

// A folder that still holds files, and a path below a file: nothing but the named file goes,
// nothing waits for the restart, and the run ends as a plain success.
TEST(FilesRun, WhatARemovalDidNotNameIsNeitherTakenOverNorScheduled) {
  PendingOperationsGuard pending;
  ScratchFolder base(L"files-kept");
  const std::wstring named = base.Write(L"Kept\\a.txt", "a");
  const std::wstring file = base.Write(L"Kept\\b.txt", "b");
  base.Write(L"Kept\\c.txt", "c");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"PURGEKIT_TEST_FILES", base.Path().c_str()));

  ScopedLogRoot root;
  const LoggedRun run = RunForLog(
      PurgeKit64Path(), L"--silent --language en --scripts \"" + FixturePath(L"run\\kept") + L"\"");
  ::SetEnvironmentVariableW(L"PURGEKIT_TEST_FILES", nullptr);
  const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.exitCode, 0u) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[kept.lua] file and parent true"), 0) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[kept.lua] folder false"), 0) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[kept.lua] below a file false"), 0) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "wWinMain: Exiting with code: 0"), 0) << Dump(lines);

  EXPECT_EQ(ListTree(base / L"Kept"), (std::vector<std::wstring>{L"b.txt", L"c.txt"}));
  EXPECT_EQ(ReadFileBytes(file), "b");
  const auto entries = PendingOperationsGuard::Entries();
  EXPECT_FALSE(HasEntry(entries, base / L"Kept") || HasEntry(entries, file) ||
               HasEntry(entries, named));
}

}  // namespace
