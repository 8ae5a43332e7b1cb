// The two halves of a run of the real PurgeKit64.exe around a real restart, run by
// tests/scripts/RestartCarriesOutPendingDeletes.sh in a Wine prefix of their own, whose server
// it restarts between them (Wine carries out the pending file operations when its server next
// starts). A product folder holds a file that another process keeps open with delete sharing:
// its deletion waits for that process, and the folders that hold it wait for the restart. Not a
// test of the suite by itself: --gtest_filter picks the half.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HeldFile.h"
#include "LogReader.h"
#include "LogRegistry.h"
#include "PathUtils.h"
#include "PendingOperations.h"
#include "ProgramRunner.h"
#include "StringUtils.h"
#include "TestFiles.h"

namespace {

const std::wstring kBase = std::wstring(TEST_SCRATCH_DIR) + L"\\restart-shared";
const std::wstring kProduct = kBase + L"\\Halcyra";

TEST(Restart, BeforeARunWipesATreeWhoseFileIsHeldWithDeleteSharing) {
  RemoveFolderTree(kBase);
  ASSERT_TRUE(CreateDirectoryRecursive(kProduct + L"\\bin\\plugins", nullptr));
  ASSERT_TRUE(CreateDirectoryRecursive(kBase + L"\\HalcyraShared", nullptr));
  ASSERT_TRUE(WriteFileBytes(kProduct + L"\\readme.txt", "r"));
  ASSERT_TRUE(WriteFileBytes(kProduct + L"\\bin\\plugins\\one.dll", "1"));
  ASSERT_TRUE(WriteFileBytes(kBase + L"\\HalcyraShared\\shared.dat", "keep"));
  const std::wstring held = kProduct + L"\\bin\\reader.dll";
  ASSERT_TRUE(WriteFileBytes(held, "h"));
  HeldFile holder(held, HeldFile::Sharing::Delete);
  ASSERT_TRUE(holder.IsHeld());

  ASSERT_TRUE(::SetEnvironmentVariableW(L"PURGEKIT_TEST_FILES", kBase.c_str()));
  ScopedLogRoot root;
  ScopedRegValue level(HKEY_LOCAL_MACHINE, LoggingKey(), L"LogLevel");
  ASSERT_TRUE(level.SetDword(5));
  const LoggedRun run = RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" +
                                                        FixturePath(L"run\\files") + L"\"");
  const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.exitCode, 99u) << Dump(lines);
  for (const auto& folder : {kProduct + L"\\bin", kProduct}) {
    EXPECT_GE(IndexOf(lines,
                      "FileOps::WipeDirectoryInternal: Delay delete: '" + WideToUtf8(folder) + "'"),
              0)
        << Dump(lines);
  }
  const auto pending = PendingOperationsGuard::Entries();
  EXPECT_TRUE(HasEntry(pending, kProduct + L"\\bin") && HasEntry(pending, kProduct));

  // The holder's handle was all that kept the file; the folders wait for the restart.
  holder.End();
  EXPECT_EQ(ListTree(kProduct), std::vector<std::wstring>{L"bin"});
}

TEST(Restart, AfterNothingOfTheHeldTreeRemains) {
  EXPECT_FALSE(PathExists(kProduct));
  EXPECT_EQ(ReadFileBytes(kBase + L"\\HalcyraShared\\shared.dat"), "keep");
  EXPECT_FALSE(HasEntry(PendingOperationsGuard::Entries(), kProduct));
  RemoveFolderTree(kBase);
}

}  // namespace
