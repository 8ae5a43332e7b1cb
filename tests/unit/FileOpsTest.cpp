// Forced file and directory removal, the two queries and the special folders on the real
// (Wine) file system and registry. Wine keeps no file ACLs and can't make junctions: the DACL
// of the ownership step is watched on its way to the system (import hook), and reparse points
// are made by marking a real directory in the enumeration (FileOps' entry seam).
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "FileOps.h"
#include "HeldFile.h"
#include "ImportHook.h"
#include "LogCapture.h"
#include "PathUtils.h"
#include "PendingOperations.h"
#include "ScratchFolder.h"
#include "SpecialFolders.h"
#include "Status.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "UniqueAny.h"

namespace {

class FileOpsTest : public testing::Test {
 protected:
  void SetUp() override { Status::Instance().Clear(); }
  void TearDown() override { FileOps::SetEntryHookForTests(nullptr); }

  LogCapture log_{L"fileops"};
  PendingOperationsGuard pending_;
  ScratchFolder scratch_;
};

// The DACLs handed to SetNamedSecurityInfoW, as SDDL.
std::vector<std::wstring> g_dacls;
decltype(&::SetNamedSecurityInfoW) g_realSetNamedSecurityInfo = nullptr;

DWORD WINAPI RecordingSetNamedSecurityInfoW(LPWSTR name, SE_OBJECT_TYPE type,
                                            SECURITY_INFORMATION info, PSID owner, PSID group,
                                            PACL dacl, PACL sacl) {
  SECURITY_DESCRIPTOR descriptor{};
  ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE);
  LPWSTR text = nullptr;
  if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          &descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    g_dacls.push_back(text);
    ::LocalFree(text);
  }
  return g_realSetNamedSecurityInfo(name, type, info, owner, group, dacl, sacl);
}

TEST_F(FileOpsTest, ATreeGoesAndWhatIsHeldIsDeletedAtTheNextRestart) {
  const std::wstring root = scratch_ / L"product";
  ASSERT_TRUE(CreateDirectoryRecursive(root + L"\\sub\\deep", nullptr));
  ASSERT_TRUE(CreateDirectoryRecursive(root + L"\\..data", nullptr));
  scratch_.Write(L"product\\top.txt", "t");
  scratch_.Write(L"product\\sub\\deep\\x.txt", "x");
  const std::wstring readOnly = scratch_.Write(L"product\\readonly.txt", "r");
  const std::wstring held = scratch_.Write(L"product\\sub\\held.bin", "h");
  ASSERT_TRUE(::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  HeldFile holder(held);
  ASSERT_TRUE(holder.IsHeld());
  ASSERT_FALSE(::DeleteFileW(held.c_str()));

  g_dacls.clear();
  bool wiped = false;
  {
    ImportHook hook("advapi32.dll", "SetNamedSecurityInfoW",
                    reinterpret_cast<void*>(&RecordingSetNamedSecurityInfoW));
    ASSERT_TRUE(hook.IsActive());
    g_realSetNamedSecurityInfo =
        reinterpret_cast<decltype(&::SetNamedSecurityInfoW)>(hook.Original());
    wiped = FileOps::WipeRecursive(root);
  }
  EXPECT_TRUE(wiped);
  EXPECT_EQ(ListTree(root), (std::vector<std::wstring>{L"sub", L"sub\\held.bin"}));
  EXPECT_TRUE(Status::Instance().IsRebootNeeded());
  const auto entries = PendingOperationsGuard::Entries();
  EXPECT_TRUE(HasEntry(entries, held));
  EXPECT_TRUE(HasEntry(entries, root + L"\\sub"));
  EXPECT_TRUE(HasEntry(entries, root));
  EXPECT_FALSE(HasEntry(entries, readOnly));
  EXPECT_TRUE(log_.Has(" D: FileOps::WipeFileInternal: Delay delete: '" + WideToUtf8(held) + "'"))
      << log_.Dump();
  EXPECT_TRUE(
      log_.Has(" D: FileOps::WipeDirectoryInternal: Delay delete: '" + WideToUtf8(root) + "'"))
      << log_.Dump();

  // Ownership was taken on the way, granting the administrators and the system only: what
  // waits for the restart is open to nobody else meanwhile.
  ASSERT_FALSE(g_dacls.empty());
  for (const auto& dacl : g_dacls) {
    EXPECT_EQ(dacl, L"D:(A;OICI;GA;;;BA)(A;OICI;GA;;;SY)");
  }
}

TEST_F(FileOpsTest, WhatIsNotThereCountsAsRemovedWithoutARestart) {
  const std::wstring nowhere = scratch_ / L"nowhere\\x";
  EXPECT_TRUE(FileOps::WipeFileInternal(nowhere + L"\\file.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(FileOps::WipeFileInternal(scratch_ / L"missing.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(FileOps::WipeDirectoryInternal(nowhere));
  EXPECT_TRUE(FileOps::DoRemoveDirectory(nowhere));
  EXPECT_TRUE(FileOps::WipeDirectoryInternal(L"C:\\nowhere\\x"));
  // A missing tree is not removed by anything: false, and nothing is attempted.
  EXPECT_FALSE(FileOps::WipeRecursive(nowhere));
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
  EXPECT_TRUE(log_.Entries().empty()) << log_.Dump();
  EXPECT_TRUE(PendingOperationsGuard::Entries().empty() ||
              !HasEntry(PendingOperationsGuard::Entries(), nowhere));
}

TEST_F(FileOpsTest, MasksCompareWithLetterCaseAndTakeFilesAndFoldersAlike) {
  const std::wstring folder = scratch_ / L"logs";
  // Names differing only in case are one name to the file system, so the look-alike is the
  // only one spelled that way.
  scratch_.Write(L"logs\\ABC.log", "A");
  scratch_.Write(L"logs\\abc.txt", "a");
  scratch_.Write(L"logs\\xabc.log", "x");
  scratch_.Write(L"logs\\abcdir\\inner\\deep.txt", "d");
  EXPECT_TRUE(FileOps::WipeEntriesByMask(folder, L"abc*"));
  EXPECT_EQ(FolderEntries(folder), (std::vector<std::wstring>{L"ABC.log", L"xabc.log"}));
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
  EXPECT_TRUE(FileOps::WipeEntriesByMask(folder, L"nothing*"));
  EXPECT_TRUE(FileOps::WipeEntriesByMask(scratch_ / L"missing", L"*"));
}

TEST_F(FileOpsTest, ParentGoesWithThePathOnlyWhenThePathIsAllItHolds) {
  struct Case {
    const char* what;
    std::vector<std::wstring> files;  // below the scratch folder, made before the call
    std::wstring path;
    std::vector<std::wstring> left;  // the scratch folder's tree afterwards
  };
  const Case cases[] = {
      {"only entry", {L"A\\B\\f.txt"}, L"A\\B", {}},
      {"a sibling", {L"A\\B\\f.txt", L"A\\other.txt"}, L"A\\B", {L"A", L"A\\other.txt"}},
      // The name is compared with case, the file system is not: B goes, A stays.
      {"other case", {L"A\\B\\f.txt"}, L"A\\b", {L"A"}},
      {"missing path, empty parent", {L"A\\"}, L"A\\B", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder(L"parent");
    for (const auto& file : c.files) {
      if (file.back() == L'\\') {
        ASSERT_TRUE(CreateDirectoryRecursive(folder / file.substr(0, file.size() - 1), nullptr));
      } else {
        folder.Write(file, "x");
      }
    }
    FileOps::WipeRecursiveAndParentIfEmpty(folder / c.path);
    EXPECT_EQ(ListTree(folder.Path()), c.left);
  }
}

// Wine can't make junctions: the seam marks the real directory "link" as a reparse point, the
// way a junction's entry reads on Windows. What lies in it stands for the junction's target.
void MarkLinkAsReparsePoint(const std::wstring&, WIN32_FIND_DATAW& entry) {
  if (std::wstring(entry.cFileName) == L"link") {
    entry.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
}

TEST_F(FileOpsTest, AReparsePointIsNeverEntered_JunctionSeam) {
  const std::wstring root = scratch_ / L"tree";
  scratch_.Write(L"tree\\app\\app.exe", "a");
  const std::wstring target = scratch_.Write(L"tree\\link\\user-data.txt", "keep");
  scratch_.Write(L"onlylink\\link\\deep\\file.txt", "f");
  FileOps::SetEntryHookForTests(&MarkLinkAsReparsePoint);

  EXPECT_FALSE(FileOps::ContainsFiles(scratch_ / L"onlylink", true));
  FileOps::WipeRecursive(root);
  EXPECT_EQ(ReadFileBytes(target), "keep");
  EXPECT_FALSE(PathExists(root + L"\\app"));

  FileOps::SetEntryHookForTests(nullptr);
  EXPECT_TRUE(FileOps::ContainsFiles(scratch_ / L"onlylink", true));
}

TEST_F(FileOpsTest, ListingsAndTheFileSearch) {
  const std::wstring root = scratch_ / L"list";
  scratch_.Write(L"list\\b.txt", "b");
  scratch_.Write(L"list\\a.txt", "a");
  scratch_.Write(L"list\\sub\\inner.txt", "i");
  ASSERT_TRUE(CreateDirectoryRecursive(scratch_ / L"empty\\one\\two", nullptr));
  EXPECT_EQ(FileOps::ListDirectory(root, true, false), (StringList{L"a.txt", L"b.txt"}));
  EXPECT_EQ(FileOps::ListDirectory(root, false, true), StringList{L"sub"});
  EXPECT_EQ(FileOps::ListDirectory(root, true, true).size(), 3u);
  EXPECT_TRUE(FileOps::ListDirectory(scratch_ / L"missing", true, true).empty());
  EXPECT_FALSE(FileOps::ContainsFiles(scratch_ / L"empty", true));
  EXPECT_TRUE(FileOps::ContainsFiles(root + L"\\sub", false));
  ASSERT_TRUE(::DeleteFileW((root + L"\\a.txt").c_str()));
  ASSERT_TRUE(::DeleteFileW((root + L"\\b.txt").c_str()));
  EXPECT_FALSE(FileOps::ContainsFiles(root, false));
  EXPECT_TRUE(FileOps::ContainsFiles(root, true));
}

// Another user's folders come from that user's own settings and the profile list.
constexpr wchar_t kFixtureSid[] = L"S-1-5-21-1000-2000-3000-1001";
const std::wstring kProfileListKey =
    std::wstring(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\") + kFixtureSid;
const std::wstring kUserFoldersKey =
    std::wstring(kFixtureSid) +
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

class UserFolders : public testing::Test {
 protected:
  void SetUp() override {
    TestRegistry machine;
    ASSERT_TRUE(machine.CreateKey(kProfileListKey));
    const wchar_t profile[] = L"%SystemDrive%\\Users\\fixture";
    ASSERT_TRUE(machine.SetRaw(kProfileListKey, L"ProfileImagePath", REG_EXPAND_SZ, profile,
                               sizeof(profile)));
    users_.SetRoot(HKEY_USERS);
    ASSERT_TRUE(users_.CreateKey(kUserFoldersKey));
    ASSERT_TRUE(users_.SetString(kUserFoldersKey, L"AppData",
                                 std::wstring(L"%USERPROFILE%\\AppData\\Roaming")));
  }
  void TearDown() override {
    Win32Registry machine;
    machine.DeleteKey(kProfileListKey);
    std::wstring parent = kUserFoldersKey;
    while (users_.DeleteKey(parent) && parent.find(L'\\') != std::wstring::npos) {
      parent.resize(parent.rfind(L'\\'));
    }
    ::RegDeleteKeyW(HKEY_USERS, kFixtureSid);
  }

  TestRegistry users_{KEY_WOW64_64KEY};
};

std::wstring Expanded(const std::wstring& text) {
  std::wstring copy = text;
  ExpandEnvironmentStringsInPlace(copy);
  return copy;
}

TEST_F(UserFolders, ResolveFromTheUsersSettingsAndTheProfileList) {
  const std::wstring profile = Expanded(L"%SystemDrive%\\Users\\fixture");
  EXPECT_EQ(GetUserSpecialFolder(FolderKind::AppData, kFixtureSid),
            profile + L"\\AppData\\Roaming");
  EXPECT_EQ(GetUserSpecialFolder(FolderKind::Profile, kFixtureSid), profile);
  // Not in the user's settings, and not in anyone's for an unknown SID: the shell, which would
  // answer for the current user, is not asked.
  EXPECT_EQ(GetUserSpecialFolder(FolderKind::Personal, kFixtureSid), L"");
  EXPECT_EQ(GetUserSpecialFolder(FolderKind::AppData, L"S-1-5-21-1-2-3-4"), L"");
  EXPECT_EQ(GetUserSpecialFolder(FolderKind::None, kFixtureSid), L"");
}

TEST(SpecialFolders, MachineAndCurrentUserFolders) {
  const std::wstring appData = GetSpecialFolder(FolderKind::AppData);
  EXPECT_FALSE(appData.empty());
  EXPECT_EQ(appData.find(L'%'), std::wstring::npos) << WideToUtf8(appData);
  EXPECT_EQ(GetSpecialFolder(FolderKind::Profile), Expanded(L"%USERPROFILE%"));
  EXPECT_EQ(GetSpecialFolder(FolderKind::CommonAppData), Expanded(L"%ProgramData%"));
  EXPECT_EQ(GetSpecialFolder(FolderKind::ProgramFiles), Expanded(L"%ProgramFiles%"));
  EXPECT_FALSE(GetSpecialFolder(FolderKind::ProgramFilesX86).empty());
  EXPECT_EQ(GetSpecialFolder(FolderKind::None), L"");
  // Wine reports the profiles directory's size one unit short and writes its terminator one
  // unit past the buffer; the text is whole and nothing more.
  std::wstring userDirectory;
  std::wstring userName;
  ASSERT_TRUE(SplitPath(Expanded(L"%USERPROFILE%"), userDirectory, userName));
  const std::wstring profiles = GetProfilesDirectoryPath();
  EXPECT_TRUE(EndsWith(profiles, userDirectory, true) && profiles.size() == userDirectory.size())
      << WideToUtf8(profiles);
}

}  // namespace
