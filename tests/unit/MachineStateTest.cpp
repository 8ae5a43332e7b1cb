// Helpers that change machine-wide state: the pending file operations of the next
// restart and security descriptors of HKLM keys. Each test puts back what it changed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Ownership.h"
#include "PathUtils.h"
#include "PendingOperations.h"
#include "ScratchFolder.h"
#include "SecurityAttributes.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "UniqueAny.h"

namespace {

TEST(DeleteDirectoryTree, SchedulesAHeldFileAndItsFoldersForTheNextRestart) {
  PendingOperationsGuard guard;
  ScratchFolder scratch(L"deltree-pending");
  const std::wstring root = scratch / L"tree";
  const std::wstring heldFile = root + L"\\sub\\held.txt";
  ASSERT_TRUE(CreateDirectoryRecursive(root + L"\\sub\\free", nullptr));
  ASSERT_TRUE(WriteFileBytes(root + L"\\top.txt", "x"));
  ASSERT_TRUE(WriteFileBytes(root + L"\\sub\\free\\inner.txt", "x"));
  ASSERT_TRUE(WriteFileBytes(heldFile, "x"));
  UniqueFileHandle held(
      ::CreateFileW(heldFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  ASSERT_FALSE(HasPendingFileOperation(root, {}));

  // Everything it could not remove is scheduled, which counts as done.
  EXPECT_TRUE(DeleteDirectoryTree(root, true));
  EXPECT_EQ(ListTree(root), (std::vector<std::wstring>{L"sub", L"sub\\held.txt"}));

  const auto entries = PendingOperationsGuard::Entries();
  EXPECT_TRUE(HasEntry(entries, heldFile));
  EXPECT_TRUE(HasEntry(entries, root + L"\\sub"));
  EXPECT_TRUE(HasEntry(entries, root));
  EXPECT_FALSE(HasEntry(entries, root + L"\\top.txt"));
  EXPECT_FALSE(HasEntry(entries, root + L"\\sub\\free"));

  EXPECT_TRUE(HasPendingFileOperation(root, {}));
  EXPECT_TRUE(HasPendingFileOperation(heldFile, {}));
  EXPECT_FALSE(HasPendingFileOperation(root + L"\\top.txt", {}));
  EXPECT_FALSE(HasPendingFileOperation(root, {root}));
}

struct TestKey {
  std::wstring path;
  REGSAM view;
};

// A key that grants nobody anything, in one registry view. Wine gives a key made by
// RegCreateKeyExW its default descriptor whatever it is handed, so the DACL is set
// afterwards; and Wine grants DELETE whatever the DACL says, so the tests watch a right
// it does enforce, KEY_SET_VALUE.
bool CreateClosedKey(const TestKey& key) {
  UniqueHKey parent;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\PurgeKitTests", 0, nullptr, 0,
                        KEY_ALL_ACCESS | key.view, nullptr, parent.put(),
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  SecurityAttributes closed;
  if (!closed.InitFromSddl(L"D:P", false)) return false;
  UniqueHKey created;
  return ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.path.c_str(), 0, nullptr, 0,
                           KEY_READ | WRITE_DAC | key.view, nullptr, created.put(),
                           nullptr) == ERROR_SUCCESS &&
         ::RegSetKeySecurity(created.get(), DACL_SECURITY_INFORMATION,
                             closed.Get()->lpSecurityDescriptor) == ERROR_SUCCESS;
}

LONG OpenForWriting(const TestKey& key) {
  UniqueHKey opened;
  return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.path.c_str(), 0, KEY_SET_VALUE | key.view,
                         opened.put());
}

TEST(Ownership, TakesARegistryKeyInTheViewItIsAskedFor) {
  const std::wstring path =
      L"SOFTWARE\\PurgeKitTests\\Ownership" + std::to_wstring(::GetCurrentProcessId());
  const TestKey key32{path, KEY_WOW64_32KEY};
  const TestKey key64{path, KEY_WOW64_64KEY};
  ASSERT_TRUE(CreateClosedKey(key32));
  ASSERT_TRUE(CreateClosedKey(key64));
  ASSERT_EQ(OpenForWriting(key32), ERROR_ACCESS_DENIED);
  ASSERT_EQ(OpenForWriting(key64), ERROR_ACCESS_DENIED);

  UniqueSid administrators(CreateAdministratorsSid());
  SecurityAttributes everyone;
  everyone.InitEveryoneFullAccess();

  // The 32-bit view only: the 64-bit twin stays closed.
  EXPECT_EQ(SetRegistryKeyOwnerAndDacl(HKEY_LOCAL_MACHINE, path, administrators.get(),
                                       everyone.Get(), true),
            0u);
  EXPECT_EQ(OpenForWriting(key32), ERROR_SUCCESS);
  EXPECT_EQ(OpenForWriting(key64), ERROR_ACCESS_DENIED);

  // The default view of this 64-bit process.
  EXPECT_EQ(SetRegistryKeyOwnerAndDacl(HKEY_LOCAL_MACHINE, path, administrators.get(),
                                       everyone.Get(), false),
            0u);
  EXPECT_EQ(OpenForWriting(key64), ERROR_SUCCESS);

  EXPECT_EQ(::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_32KEY, 0), ERROR_SUCCESS);
  EXPECT_EQ(::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
  EXPECT_EQ(SetRegistryKeyOwnerAndDacl(HKEY_LOCAL_MACHINE, path, administrators.get(),
                                       everyone.Get(), true),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
