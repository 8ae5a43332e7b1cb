// The two halves of a real restart, run by tests/scripts/RestartCarriesOutPendingDeletes.sh
// in a Wine prefix of their own, whose server it restarts between them (Wine carries out the
// pending file operations when its server next starts; it has no reboot). Not a test of the
// suite by itself: --gtest_filter picks the half.
#include <gtest/gtest.h>

#include <string>

#include "FileOps.h"
#include "HeldFile.h"
#include "LogCapture.h"
#include "PathUtils.h"
#include "PendingOperations.h"
#include "Status.h"
#include "StringUtils.h"
#include "TestFiles.h"

namespace {

const std::wstring kTree = std::wstring(TEST_SCRATCH_DIR) + L"\\restart-tree";

TEST(Restart, BeforeTheTreeIsWipedAndTheHeldFileScheduled) {
  RemoveFolderTree(kTree);
  ASSERT_TRUE(CreateDirectoryRecursive(kTree + L"\\bin\\plugins", nullptr));
  ASSERT_TRUE(WriteFileBytes(kTree + L"\\readme.txt", "r"));
  ASSERT_TRUE(WriteFileBytes(kTree + L"\\bin\\plugins\\one.dll", "1"));
  const std::wstring readOnly = kTree + L"\\bin\\settings.ini";
  ASSERT_TRUE(WriteFileBytes(readOnly, "s"));
  ASSERT_TRUE(::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  const std::wstring held = kTree + L"\\bin\\agent.exe";
  ASSERT_TRUE(WriteFileBytes(held, "a"));
  HeldFile holder(held);
  ASSERT_TRUE(holder.IsHeld());

  LogCapture log(L"restart");
  Status::Instance().Clear();
  EXPECT_TRUE(FileOps::WipeRecursive(kTree));
  EXPECT_TRUE(Status::Instance().IsRebootNeeded());
  EXPECT_EQ(ListTree(kTree), (std::vector<std::wstring>{L"bin", L"bin\\agent.exe"}));
  EXPECT_TRUE(HasEntry(PendingOperationsGuard::Entries(), held));
  EXPECT_TRUE(log.Has(" D: FileOps::WipeFileInternal: Delay delete: '" + WideToUtf8(held) + "'"))
      << log.Dump();
}

TEST(Restart, AfterNothingOfTheTreeRemains) {
  EXPECT_FALSE(PathExists(kTree));
  EXPECT_FALSE(HasEntry(PendingOperationsGuard::Entries(), kTree + L"\\bin\\agent.exe"));
}

}  // namespace
