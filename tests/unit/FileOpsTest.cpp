// Forced file and directory removal, the two queries and the special folders on the real
// (Wine) file system and registry. Wine keeps no file ACLs and can't make junctions: the DACL
// of the ownership step is watched on its way to the system (import hook), and reparse points
// are made by marking a real directory in the enumeration (FileOps' entry seam).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FileOps.h"
#include "HeldFile.h"
#include "ImportHook.h"
#include "LogCapture.h"
#include "PathUtils.h"
#include "PendingOperations.h"
#include "ScratchFolder.h"
#include "SecurityCallWatch.h"
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

  SecurityCallWatch security;
  ASSERT_TRUE(security.IsActive());
  const bool wiped = FileOps::WipeRecursive(root);
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

  // A file in use is scheduled as it is: no new owner gets past another program's handle, so
  // none is set, on the file or on the folders that follow it to the restart.
  EXPECT_TRUE(security.Calls().empty());
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
// A file "link.txt" is marked the same way, as a symbolic link to a file reads.
void MarkLinkAsReparsePoint(const std::wstring&, WIN32_FIND_DATAW& entry) {
  const std::wstring name = entry.cFileName;
  if (name == L"link" || name == L"link.txt") {
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

// Removals of chosen paths answer a chosen error, as a denied, held or odd object would (import
// hooks on DeleteFileW and RemoveDirectoryW); every other path is removed as usual.
std::vector<std::wstring> g_failingPaths;
DWORD g_failingError = 0;
decltype(&::DeleteFileW) g_realDeleteFile = nullptr;
decltype(&::RemoveDirectoryW) g_realRemoveDirectory = nullptr;

bool FailsHere(LPCWSTR path) {
  for (const auto& failing : g_failingPaths) {
    if (ExtendedPath(failing) == path) {
      ::SetLastError(g_failingError);
      return true;
    }
  }
  return false;
}

BOOL WINAPI FailingDeleteFileW(LPCWSTR path) {
  return FailsHere(path) ? FALSE : g_realDeleteFile(path);
}

BOOL WINAPI FailingRemoveDirectoryW(LPCWSTR path) {
  return FailsHere(path) ? FALSE : g_realRemoveDirectory(path);
}

class FailingRemoval {
 public:
  FailingRemoval(std::vector<std::wstring> paths, DWORD error) {
    g_failingPaths = std::move(paths);
    g_failingError = error;
    g_realDeleteFile = reinterpret_cast<decltype(&::DeleteFileW)>(deleteFile_.Original());
    g_realRemoveDirectory =
        reinterpret_cast<decltype(&::RemoveDirectoryW)>(removeDirectory_.Original());
  }
  ~FailingRemoval() { g_failingPaths.clear(); }
  bool IsActive() const { return deleteFile_.IsActive() && removeDirectory_.IsActive(); }

 private:
  ImportHook deleteFile_{"kernel32.dll", "DeleteFileW",
                         reinterpret_cast<void*>(&FailingDeleteFileW)};
  ImportHook removeDirectory_{"kernel32.dll", "RemoveDirectoryW",
                              reinterpret_cast<void*>(&FailingRemoveDirectoryW)};
};

bool WipeNormalFile(const std::wstring& path) {
  return FileOps::WipeFileInternal(path, FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileOpsTest, OnlyDeniedOrInUseTakesOwnershipOrTheRestart_RemovalHookSeam) {
  struct Case {
    const char* what;
    bool (*remove)(const std::wstring&);
    DWORD error;  // of every removal of the object, also after a new owner
    bool result;
    bool owned;
    bool atRestart;
    const char* line;  // the error line with the path at %s, or none
  };
  const Case cases[] = {
      {"file denied", WipeNormalFile, ERROR_ACCESS_DENIED, true, true, true, nullptr},
      // Another program's handle: a new owner changes nothing of it, the restart does.
      {"file in use", WipeNormalFile, ERROR_SHARING_VIOLATION, true, false, true, nullptr},
      {"file locked", WipeNormalFile, ERROR_LOCK_VIOLATION, true, false, true, nullptr},
      {"file name that can't exist", WipeNormalFile, ERROR_INVALID_NAME, false, false, false,
       "*E: FileOps::WipeFileInternal: DeleteFile('%s') failed: 123"},
      {"file on a drive not ready", WipeNormalFile, ERROR_NOT_READY, false, false, false,
       "*E: FileOps::WipeFileInternal: DeleteFile('%s') failed: 21"},
      {"file path too long", WipeNormalFile, ERROR_FILENAME_EXCED_RANGE, false, false, false,
       "*E: FileOps::WipeFileInternal: DeleteFile('%s') failed: 206"},
      // Its folder is there, so the file is too: Windows answers so for a path it can't take.
      {"file whose path is not found in its folder", WipeNormalFile, ERROR_PATH_NOT_FOUND, false,
       false, false, "*E: FileOps::WipeFileInternal: DeleteFile('%s') failed: 3"},
      {"empty directory denied", FileOps::WipeDirectoryInternal, ERROR_ACCESS_DENIED, true, true,
       true, nullptr},
      {"empty directory in use", FileOps::WipeDirectoryInternal, ERROR_SHARING_VIOLATION, true,
       false, true, nullptr},
      {"directory that is a file", FileOps::WipeDirectoryInternal, ERROR_DIRECTORY, false, false,
       false, "*E: FileOps::WipeDirectoryInternal: RemoveDirectory('%s') failed: 267"},
      {"directory whose path is not found in its folder", FileOps::WipeDirectoryInternal,
       ERROR_PATH_NOT_FOUND, false, false, false,
       "*E: FileOps::WipeDirectoryInternal: RemoveDirectory('%s') failed: 3"},
      // The if-empty removal is one plain removal, whatever stands in its way.
      {"directory denied, if empty", FileOps::DoRemoveDirectory, ERROR_ACCESS_DENIED, false, false,
       false, "*E: FileOps::DoRemoveDirectory: RemoveDirectory('%s') failed: 5"},
      {"directory in use, if empty", FileOps::DoRemoveDirectory, ERROR_SHARING_VIOLATION, false,
       false, false, "*E: FileOps::DoRemoveDirectory: RemoveDirectory('%s') failed: 32"},
      {"directory not empty, if empty", FileOps::DoRemoveDirectory, ERROR_DIR_NOT_EMPTY, false,
       false, false, " I: FileOps::DoRemoveDirectory: Directory '%s' kept: it is not empty"},
  };
  int serial = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const bool file = c.remove == WipeNormalFile;
    const std::wstring path = scratch_ / (L"object" + std::to_wstring(serial++));
    if (file) {
      ASSERT_TRUE(WriteFileBytes(path, "x"));
    } else {
      ASSERT_TRUE(CreateDirectoryRecursive(path, nullptr));
    }
    Status::Instance().Clear();
    log_.Mark();
    bool result = false;
    SecurityCallWatch security;
    {
      FailingRemoval failing({path}, c.error);
      ASSERT_TRUE(failing.IsActive() && security.IsActive());
      result = c.remove(path);
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(!security.Calls().empty(), c.owned);
    EXPECT_EQ(HasEntry(PendingOperationsGuard::Entries(), path), c.atRestart);
    EXPECT_EQ(Status::Instance().IsRebootNeeded(), c.atRestart);
    EXPECT_TRUE(PathExists(path));
    // Every false result says what stayed and why.
    EXPECT_EQ(c.line != nullptr, !c.result);
    if (c.line != nullptr) {
      std::string line = c.line;
      line.replace(line.find("%s"), 2, WideToUtf8(path));
      EXPECT_TRUE(log_.Has(line)) << log_.Dump();
    }
  }
}

// The link itself as the system answers for it by name (import hook on GetFileAttributesW).
std::wstring g_namedLink;
decltype(&::GetFileAttributesW) g_realGetFileAttributes = nullptr;

DWORD WINAPI LinkMarkingGetFileAttributesW(LPCWSTR path) {
  DWORD attributes = g_realGetFileAttributes(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && ExtendedPath(g_namedLink) == path) {
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return attributes;
}

TEST_F(FileOpsTest, ALinkWhoseRemovalFailsIsLeftAndNeverTakenOver_JunctionSeam_RemovalHookSeam) {
  const std::wstring root = scratch_ / L"tree";
  scratch_.Write(L"tree\\app\\app.exe", "a");
  const std::wstring target = scratch_.Write(L"tree\\link\\user-data.txt", "keep");
  const std::wstring fileLink = scratch_.Write(L"tree\\link.txt", "points elsewhere");
  const std::wstring link = root + L"\\link";
  FileOps::SetEntryHookForTests(&MarkLinkAsReparsePoint);
  SecurityCallWatch security;
  ASSERT_TRUE(security.IsActive());
  FailingRemoval failing({link, fileLink}, ERROR_ACCESS_DENIED);
  ASSERT_TRUE(failing.IsActive());

  EXPECT_FALSE(FileOps::WipeRecursive(root));
  EXPECT_EQ(ListTree(root),
            (std::vector<std::wstring>{L"link", L"link.txt", L"link\\user-data.txt"}));
  EXPECT_TRUE(log_.Has("*E: FileOps::WipeDirectoryInternal: Link '" + WideToUtf8(link) +
                       "' not removed: 5"))
      << log_.Dump();
  EXPECT_TRUE(
      log_.Has("*E: FileOps::WipeFileInternal: Link '" + WideToUtf8(fileLink) + "' not removed: 5"))
      << log_.Dump();

  // The link named by the script itself.
  ImportHook attributes("kernel32.dll", "GetFileAttributesW",
                        reinterpret_cast<void*>(&LinkMarkingGetFileAttributesW));
  ASSERT_TRUE(attributes.IsActive());
  g_realGetFileAttributes =
      reinterpret_cast<decltype(&::GetFileAttributesW)>(attributes.Original());
  g_namedLink = link;
  EXPECT_FALSE(FileOps::WipeRecursive(link));
  EXPECT_FALSE(FileOps::WipeDirectoryInternal(link));
  EXPECT_FALSE(FileOps::DoRemoveDirectory(link));
  EXPECT_FALSE(FileOps::WipeFileInternal(fileLink, FILE_ATTRIBUTE_REPARSE_POINT));
  g_namedLink.clear();

  EXPECT_TRUE(security.Calls().empty());
  EXPECT_EQ(ReadFileBytes(target), "keep");
  const auto pending = PendingOperationsGuard::Entries();
  EXPECT_FALSE(HasEntry(pending, link) || HasEntry(pending, fileLink) || HasEntry(pending, root));
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
}

// The listing of one folder is denied, as a protected product folder answers (import hook on
// FindFirstFileExW); every other folder is listed as usual.
std::wstring g_deniedPattern;
decltype(&::FindFirstFileExW) g_realFindFirstFile = nullptr;

HANDLE WINAPI DenyingFindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID entry,
                                      FINDEX_SEARCH_OPS search, LPVOID filter, DWORD flags) {
  if (g_deniedPattern == pattern) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return g_realFindFirstFile(pattern, level, entry, search, filter, flags);
}

TEST_F(FileOpsTest, AFolderThatCantBeListedIsNeverTakenForEmpty_FindFirstFileHookSeam) {
  struct Case {
    const char* what;
    bool (*remove)(const std::wstring& parent);
    std::vector<std::wstring> left;  // the scratch folder's tree afterwards
    const char* function;            // that logs the listing's failure
  };
  const Case cases[] = {
      // The only entry goes as named; its parent stays.
      {"parent if empty",
       [](const std::wstring& parent) {
         return FileOps::WipeRecursiveAndParentIfEmpty(parent + L"\\B");
       },
       {L"parent"},
       "WipeRecursiveAndParentIfEmpty"},
      // Nothing of what it holds is touched; the folder itself would go only if empty.
      {"named tree",
       FileOps::WipeRecursive,
       {L"parent", L"parent\\B", L"parent\\B\\f.txt"},
       "WipeRecursive"},
      {"mask",
       [](const std::wstring& parent) { return FileOps::WipeEntriesByMask(parent, L"*"); },
       {L"parent", L"parent\\B", L"parent\\B\\f.txt"},
       "WipeEntriesByMask"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder(L"denied");
    folder.Write(L"parent\\B\\f.txt", "f");
    const std::wstring parent = folder / L"parent";
    log_.Mark();
    SecurityCallWatch security;
    ImportHook find("kernel32.dll", "FindFirstFileExW",
                    reinterpret_cast<void*>(&DenyingFindFirstFileExW));
    ASSERT_TRUE(find.IsActive() && security.IsActive());
    g_realFindFirstFile = reinterpret_cast<decltype(&::FindFirstFileExW)>(find.Original());
    g_deniedPattern = ExtendedPath(parent) + L"\\*";
    EXPECT_FALSE(c.remove(parent));
    g_deniedPattern.clear();
    EXPECT_EQ(ListTree(folder.Path()), c.left);
    EXPECT_TRUE(security.Calls().empty());
    EXPECT_FALSE(HasEntry(PendingOperationsGuard::Entries(), parent));
    EXPECT_FALSE(Status::Instance().IsRebootNeeded());
    EXPECT_TRUE(log_.Has(std::string("*E: FileOps::") + c.function + ": Cannot list '" +
                         WideToUtf8(parent) + "': 5"))
        << log_.Dump();
  }
}

// The attributes of one folder can't be read, as a folder that denies its reading answers
// (import hook on GetFileAttributesW); every other path reads as usual.
std::wstring g_unreadable;
decltype(&::GetFileAttributesW) g_realGetAttributesForUnreadable = nullptr;

DWORD WINAPI UnreadableGetFileAttributesW(LPCWSTR path) {
  if (ExtendedPath(g_unreadable) == path) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_FILE_ATTRIBUTES;
  }
  return g_realGetAttributesForUnreadable(path);
}

TEST_F(FileOpsTest, WhatCantBeToldFromALinkIsTakenForOne_GetFileAttributesHookSeam) {
  const std::wstring folder = scratch_ / L"unreadable";
  scratch_.Write(L"unreadable\\a.txt", "a");
  scratch_.Write(L"unreadable\\sub\\b.txt", "b");
  SecurityCallWatch security;
  ImportHook attributes("kernel32.dll", "GetFileAttributesW",
                        reinterpret_cast<void*>(&UnreadableGetFileAttributesW));
  ASSERT_TRUE(attributes.IsActive() && security.IsActive());
  g_realGetAttributesForUnreadable =
      reinterpret_cast<decltype(&::GetFileAttributesW)>(attributes.Original());
  g_unreadable = folder;

  // Never listed, entered or taken over: only removed as a link would be, which a folder that
  // holds anything survives.
  EXPECT_FALSE(FileOps::WipeRecursive(folder));
  EXPECT_FALSE(FileOps::WipeEntriesByMask(folder, L"*"));
  EXPECT_FALSE(FileOps::WipeDirectoryInternal(folder));
  g_unreadable.clear();

  EXPECT_EQ(ListTree(folder), (std::vector<std::wstring>{L"a.txt", L"sub", L"sub\\b.txt"}));
  EXPECT_TRUE(security.Calls().empty());
  EXPECT_FALSE(HasEntry(PendingOperationsGuard::Entries(), folder));
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
  EXPECT_TRUE(log_.Has(".W: FileOps::WipeRecursive: Cannot read the attributes of '" +
                       WideToUtf8(folder) + "': 5; taken for a link"))
      << log_.Dump();
  EXPECT_TRUE(
      log_.Has("*E: FileOps::WipeEntriesByMask: Link '" + WideToUtf8(folder) + "' not entered"))
      << log_.Dump();
}

TEST_F(FileOpsTest, AFolderThatHoldsFilesAndAFileTakenForAParentStayAsTheyAre) {
  const std::wstring canary = scratch_ / L"canary";
  const std::wstring kept = scratch_.Write(L"canary\\a.txt", "a");
  scratch_.Write(L"canary\\b.txt", "b");
  SecurityCallWatch security;
  ASSERT_TRUE(security.IsActive());

  EXPECT_FALSE(FileOps::DoRemoveDirectory(canary));
  EXPECT_FALSE(FileOps::WipeDirectoryInternal(canary));
  EXPECT_FALSE(FileOps::WipeRecursiveAndParentIfEmpty(kept + L"\\x"));
  EXPECT_FALSE(FileOps::WipeRecursiveAndParentIfEmpty(kept + L"\\x\\y"));
  // A file named as a tree is no tree: its listing fails, and no folder removal reaches it.
  EXPECT_FALSE(FileOps::WipeRecursive(kept));

  EXPECT_EQ(ListTree(canary), (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
  EXPECT_EQ(ReadFileBytes(kept), "a");
  EXPECT_TRUE(security.Calls().empty());
  const auto pending = PendingOperationsGuard::Entries();
  EXPECT_FALSE(HasEntry(pending, canary) || HasEntry(pending, kept));
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
  EXPECT_TRUE(
      log_.Has("*E: FileOps::WipeRecursiveAndParentIfEmpty: Not a directory, left alone: '" +
               WideToUtf8(kept) + "'"))
      << log_.Dump();
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

// Whether a folder holds an entry, asked past every hook of these tests (FindFirstFileW is
// hooked by none of them; the removals list with FindFirstFileExW).
bool HoldsEntries(LPCWSTR folder) {
  WIN32_FIND_DATAW entry{};
  const UniqueFindHandle find(::FindFirstFileW((std::wstring(folder) + L"\\*").c_str(), &entry));
  if (!find) return false;
  do {
    const std::wstring_view name = entry.cFileName;
    if (name != L"." && name != L"..") return true;
  } while (::FindNextFileW(find.get(), &entry));
  return false;
}

// Windows answers ERROR_ACCESS_DENIED before it looks at emptiness when a folder's DACL grants
// the administrators no DELETE (a folder of the system's own, say): import hook on
// RemoveDirectoryW answering so for every folder that still holds an entry; empty ones go.
decltype(&::RemoveDirectoryW) g_realRemoveDirectoryForDenial = nullptr;

BOOL WINAPI DenyingNonEmptyRemoveDirectoryW(LPCWSTR path) {
  if (HoldsEntries(path)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return g_realRemoveDirectoryForDenial(path);
}

TEST_F(FileOpsTest, AFolderNotKnownToBeEmptyIsNeverTakenOver_DeniedNonEmptyRemoveDirectorySeam) {
  struct Case {
    const char* what;
    bool (*remove)(const std::wstring& folder);
    std::vector<std::wstring> left;  // the folder's tree afterwards
    const char* line;                // with the folder at %s
  };
  const Case cases[] = {
      // The if-empty removal, also the parent step of DeleteFileAndParent.
      {"if empty",
       FileOps::DoRemoveDirectory,
       {L"a.txt", L"link", L"link\\inside.txt"},
       "*E: FileOps::DoRemoveDirectory: RemoveDirectory('%s') failed: 5"},
      {"named directory",
       FileOps::WipeDirectoryInternal,
       {L"a.txt", L"link", L"link\\inside.txt"},
       "*E: FileOps::WipeDirectoryInternal: Directory '%s' not removed: it is not empty"},
      // A link inside that stays (a junction, by the entry seam) holds the folder.
      {"tree with an entry that stays",
       FileOps::WipeRecursive,
       {L"link", L"link\\inside.txt"},
       "*E: FileOps::WipeDirectoryInternal: RemoveDirectory('%s') failed: 5"},
      // Nothing of it is known.
      {"tree that can't be listed",
       [](const std::wstring& folder) {
         g_deniedPattern = ExtendedPath(folder) + L"\\*";
         const bool result = FileOps::WipeRecursive(folder);
         g_deniedPattern.clear();
         return result;
       },
       {L"a.txt", L"link", L"link\\inside.txt"},
       "*E: FileOps::WipeRecursive: Cannot list '%s': 5"},
  };
  FileOps::SetEntryHookForTests(&MarkLinkAsReparsePoint);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder scratch(L"denied-folder");
    const std::wstring folder = scratch / L"system";
    scratch.Write(L"system\\a.txt", "a");
    scratch.Write(L"system\\link\\inside.txt", "elsewhere");
    log_.Mark();
    Status::Instance().Clear();
    SecurityCallWatch security;
    ImportHook remove("kernel32.dll", "RemoveDirectoryW",
                      reinterpret_cast<void*>(&DenyingNonEmptyRemoveDirectoryW));
    ImportHook find("kernel32.dll", "FindFirstFileExW",
                    reinterpret_cast<void*>(&DenyingFindFirstFileExW));
    ASSERT_TRUE(remove.IsActive() && find.IsActive() && security.IsActive());
    g_realRemoveDirectoryForDenial =
        reinterpret_cast<decltype(&::RemoveDirectoryW)>(remove.Original());
    g_realFindFirstFile = reinterpret_cast<decltype(&::FindFirstFileExW)>(find.Original());

    EXPECT_FALSE(c.remove(folder));
    EXPECT_EQ(ListTree(folder), c.left);
    EXPECT_TRUE(security.Calls().empty());
    EXPECT_FALSE(HasEntry(PendingOperationsGuard::Entries(), folder));
    EXPECT_FALSE(Status::Instance().IsRebootNeeded());
    std::string line = c.line;
    line.replace(line.find("%s"), 2, WideToUtf8(folder));
    EXPECT_TRUE(log_.Has(line)) << log_.Dump();
  }
}

// Windows keeps a folder's read-only bit (Explorer sets it on customised folders) and refuses to
// remove the folder while it is set (ERROR_ACCESS_DENIED); Wine drops the bit. Import hooks on
// GetFileAttributesW, SetFileAttributesW and RemoveDirectoryW keep the bit of the folders
// listed here as Windows would, and the entry seam shows it in listings.
std::vector<std::wstring> g_readOnlyFolders;  // in the \\?\ form
struct ReadOnlyOriginals {
  decltype(&::GetFileAttributesW) getAttributes = nullptr;
  decltype(&::SetFileAttributesW) setAttributes = nullptr;
  decltype(&::RemoveDirectoryW) removeDirectory = nullptr;
} g_readOnly;

std::vector<std::wstring>::iterator ReadOnlyFolder(const std::wstring& path) {
  return std::find(g_readOnlyFolders.begin(), g_readOnlyFolders.end(), ExtendedPath(path));
}

DWORD WINAPI ReadOnlyGetFileAttributesW(LPCWSTR path) {
  const DWORD attributes = g_readOnly.getAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || ReadOnlyFolder(path) == g_readOnlyFolders.end()) {
    return attributes;
  }
  return attributes | FILE_ATTRIBUTE_READONLY;
}

BOOL WINAPI ReadOnlySetFileAttributesW(LPCWSTR path, DWORD attributes) {
  const auto folder = ReadOnlyFolder(path);
  if (folder != g_readOnlyFolders.end() && (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    g_readOnlyFolders.erase(folder);
  } else if (folder == g_readOnlyFolders.end() && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
             IsDirectory(path)) {
    g_readOnlyFolders.push_back(ExtendedPath(path));
  }
  return g_readOnly.setAttributes(path, attributes);
}

BOOL WINAPI ReadOnlyRefusingRemoveDirectoryW(LPCWSTR path) {
  if (ReadOnlyFolder(path) != g_readOnlyFolders.end()) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return g_readOnly.removeDirectory(path);
}

void MarkReadOnlyFolders(const std::wstring& directory, WIN32_FIND_DATAW& entry) {
  if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
      ReadOnlyFolder(CombinePath(directory, entry.cFileName)) != g_readOnlyFolders.end()) {
    entry.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  }
}

TEST_F(FileOpsTest, AReadOnlyFolderLosesItsBitBeforeItsRemoval_ReadOnlyFolderSeam) {
  const std::wstring tree = scratch_ / L"tree";
  scratch_.Write(L"tree\\sub\\file.txt", "f");
  const std::wstring empty = scratch_ / L"empty";
  const std::wstring ifEmpty = scratch_ / L"ifempty";
  const std::wstring kept = scratch_ / L"kept";
  scratch_.Write(L"kept\\k.txt", "k");
  ASSERT_TRUE(CreateDirectoryRecursive(empty, nullptr) &&
              CreateDirectoryRecursive(ifEmpty, nullptr));
  SecurityCallWatch security;
  ImportHook getAttributes("kernel32.dll", "GetFileAttributesW",
                           reinterpret_cast<void*>(&ReadOnlyGetFileAttributesW));
  ImportHook setAttributes("kernel32.dll", "SetFileAttributesW",
                           reinterpret_cast<void*>(&ReadOnlySetFileAttributesW));
  ImportHook remove("kernel32.dll", "RemoveDirectoryW",
                    reinterpret_cast<void*>(&ReadOnlyRefusingRemoveDirectoryW));
  ASSERT_TRUE(getAttributes.IsActive() && setAttributes.IsActive() && remove.IsActive() &&
              security.IsActive());
  g_readOnly.getAttributes =
      reinterpret_cast<decltype(g_readOnly.getAttributes)>(getAttributes.Original());
  g_readOnly.setAttributes =
      reinterpret_cast<decltype(g_readOnly.setAttributes)>(setAttributes.Original());
  g_readOnly.removeDirectory =
      reinterpret_cast<decltype(g_readOnly.removeDirectory)>(remove.Original());
  FileOps::SetEntryHookForTests(&MarkReadOnlyFolders);
  for (const auto& folder : {tree, tree + L"\\sub", empty, ifEmpty, kept}) {
    ASSERT_TRUE(::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_READONLY));
  }
  ASSERT_EQ(g_readOnlyFolders.size(), 5u);

  EXPECT_TRUE(FileOps::WipeRecursive(tree));
  EXPECT_TRUE(FileOps::WipeDirectoryInternal(empty));
  EXPECT_TRUE(FileOps::DoRemoveDirectory(ifEmpty));
  // What stays keeps its bit.
  EXPECT_FALSE(FileOps::DoRemoveDirectory(kept));

  EXPECT_EQ(ListTree(scratch_.Path()), (std::vector<std::wstring>{L"kept", L"kept\\k.txt"}));
  EXPECT_NE(::GetFileAttributesW(kept.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(security.Calls().empty());
  const auto pending = PendingOperationsGuard::Entries();
  for (const auto& folder : {tree, empty, ifEmpty, kept}) {
    EXPECT_FALSE(HasEntry(pending, folder)) << WideToUtf8(folder);
  }
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
  g_readOnlyFolders.clear();
}

// Windows' MAX_PATH rule, which Wine does not keep: a path of MAX_PATH (260) characters or more
// that is not in the \\?\ form fails with ERROR_PATH_NOT_FOUND (import hooks on the file
// functions the removals call); every other path goes through.
bool BreaksMaxPath(LPCWSTR path) {
  const std::wstring_view text(path);
  if (text.size() < MAX_PATH || text.substr(0, 4) == L"\\\\?\\") return false;
  ::SetLastError(ERROR_PATH_NOT_FOUND);
  return true;
}

struct MaxPathOriginals {
  decltype(&::FindFirstFileExW) find = nullptr;
  decltype(&::DeleteFileW) deleteFile = nullptr;
  decltype(&::RemoveDirectoryW) removeDirectory = nullptr;
  decltype(&::GetFileAttributesW) getAttributes = nullptr;
  decltype(&::SetFileAttributesW) setAttributes = nullptr;
  decltype(&::MoveFileExW) move = nullptr;
} g_maxPath;

HANDLE WINAPI MaxPathFindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID entry,
                                      FINDEX_SEARCH_OPS search, LPVOID filter, DWORD flags) {
  return BreaksMaxPath(pattern) ? INVALID_HANDLE_VALUE
                                : g_maxPath.find(pattern, level, entry, search, filter, flags);
}
BOOL WINAPI MaxPathDeleteFileW(LPCWSTR path) {
  return BreaksMaxPath(path) ? FALSE : g_maxPath.deleteFile(path);
}
BOOL WINAPI MaxPathRemoveDirectoryW(LPCWSTR path) {
  return BreaksMaxPath(path) ? FALSE : g_maxPath.removeDirectory(path);
}
DWORD WINAPI MaxPathGetFileAttributesW(LPCWSTR path) {
  return BreaksMaxPath(path) ? INVALID_FILE_ATTRIBUTES : g_maxPath.getAttributes(path);
}
BOOL WINAPI MaxPathSetFileAttributesW(LPCWSTR path, DWORD attributes) {
  return BreaksMaxPath(path) ? FALSE : g_maxPath.setAttributes(path, attributes);
}
BOOL WINAPI MaxPathMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  return BreaksMaxPath(from) ? FALSE : g_maxPath.move(from, to, flags);
}

class MaxPathRule {
 public:
  MaxPathRule() {
    g_maxPath.find = reinterpret_cast<decltype(g_maxPath.find)>(find_.Original());
    g_maxPath.deleteFile = reinterpret_cast<decltype(g_maxPath.deleteFile)>(delete_.Original());
    g_maxPath.removeDirectory =
        reinterpret_cast<decltype(g_maxPath.removeDirectory)>(remove_.Original());
    g_maxPath.getAttributes =
        reinterpret_cast<decltype(g_maxPath.getAttributes)>(getAttributes_.Original());
    g_maxPath.setAttributes =
        reinterpret_cast<decltype(g_maxPath.setAttributes)>(setAttributes_.Original());
    g_maxPath.move = reinterpret_cast<decltype(g_maxPath.move)>(move_.Original());
  }
  bool IsActive() const {
    return find_.IsActive() && delete_.IsActive() && remove_.IsActive() &&
           getAttributes_.IsActive() && setAttributes_.IsActive() && move_.IsActive();
  }

 private:
  ImportHook find_{"kernel32.dll", "FindFirstFileExW",
                   reinterpret_cast<void*>(&MaxPathFindFirstFileExW)};
  ImportHook delete_{"kernel32.dll", "DeleteFileW", reinterpret_cast<void*>(&MaxPathDeleteFileW)};
  ImportHook remove_{"kernel32.dll", "RemoveDirectoryW",
                     reinterpret_cast<void*>(&MaxPathRemoveDirectoryW)};
  ImportHook getAttributes_{"kernel32.dll", "GetFileAttributesW",
                            reinterpret_cast<void*>(&MaxPathGetFileAttributesW)};
  ImportHook setAttributes_{"kernel32.dll", "SetFileAttributesW",
                            reinterpret_cast<void*>(&MaxPathSetFileAttributesW)};
  ImportHook move_{"kernel32.dll", "MoveFileExW", reinterpret_cast<void*>(&MaxPathMoveFileExW)};
};

TEST_F(FileOpsTest, ATreeDeeperThanMaxPathIsRemovedWhole_MaxPathSeam) {
  // Eleven levels of folders named with 100 characters each, a file in every one.
  const std::wstring root = scratch_ / L"long";
  std::wstring folder = root;
  ASSERT_TRUE(::CreateDirectoryW(ExtendedPath(folder).c_str(), nullptr));
  for (wchar_t level = 0; level < 11; ++level) {
    folder += L"\\" + std::wstring(100, static_cast<wchar_t>(L'a' + level));
    ASSERT_TRUE(::CreateDirectoryW(ExtendedPath(folder).c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(ExtendedPath(folder + L"\\file.txt"), "x"));
  }
  ASSERT_GT(folder.size(), 1000u);
  const std::wstring readOnly = folder + L"\\readonly.txt";
  ASSERT_TRUE(WriteFileBytes(ExtendedPath(readOnly), "r"));
  ASSERT_TRUE(::SetFileAttributesW(ExtendedPath(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
  const std::wstring lone = folder + L"\\file.txt";
  std::wstring parent;
  std::wstring name;
  ASSERT_TRUE(SplitPath(folder, parent, name));
  SecurityCallWatch security;
  MaxPathRule rule;
  ASSERT_TRUE(rule.IsActive() && security.IsActive());

  // One file, what a mask takes in a long folder, the tree.
  EXPECT_TRUE(FileOps::WipeFileInternal(lone, FILE_ATTRIBUTE_NORMAL));
  EXPECT_FALSE(PathExists(ExtendedPath(lone)));
  EXPECT_TRUE(FileOps::WipeEntriesByMask(parent, L"f*"));
  EXPECT_FALSE(PathExists(ExtendedPath(parent + L"\\file.txt")));
  EXPECT_TRUE(PathExists(ExtendedPath(readOnly)));
  EXPECT_TRUE(FileOps::WipeRecursive(root));

  EXPECT_FALSE(PathExists(ExtendedPath(root)));
  EXPECT_TRUE(security.Calls().empty());
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
  EXPECT_TRUE(log_.Entries().empty()) << log_.Dump();
}

TEST_F(FileOpsTest, AFolderThatWaitsOnlyForDeletionsOfTheWalkFollowsThemToTheRestart) {
  const std::wstring tree = scratch_ / L"tree";
  scratch_.Write(L"tree\\top.txt", "t");
  const std::wstring held = scratch_.Write(L"tree\\sub\\pending.txt", "p");
  HeldFile holder(held, HeldFile::Sharing::Delete);
  ASSERT_TRUE(holder.IsHeld());

  EXPECT_TRUE(FileOps::WipeRecursive(tree));
  // The file's deletion waits for the holder's handle; the folders wait for the restart.
  const auto pending = PendingOperationsGuard::Entries();
  EXPECT_TRUE(HasEntry(pending, tree + L"\\sub"));
  EXPECT_TRUE(HasEntry(pending, tree));
  EXPECT_FALSE(HasEntry(pending, held));
  EXPECT_TRUE(Status::Instance().IsRebootNeeded());
  for (const auto& folder : {tree + L"\\sub", tree}) {
    EXPECT_TRUE(
        log_.Has(" D: FileOps::WipeDirectoryInternal: Delay delete: '" + WideToUtf8(folder) + "'"))
        << log_.Dump();
  }
  holder.End();
  EXPECT_EQ(ListTree(tree), std::vector<std::wstring>{L"sub"});
}

// A file put into a folder after the walk listed it: import hook on RemoveDirectoryW writing
// it just before the folder's removal.
std::wstring g_lateFolder;
decltype(&::RemoveDirectoryW) g_realRemoveDirectoryForLateFile = nullptr;

BOOL WINAPI LateFileRemoveDirectoryW(LPCWSTR path) {
  if (!g_lateFolder.empty() && ExtendedPath(g_lateFolder) == path) {
    WriteFileBytes(g_lateFolder + L"\\late.txt", "late");
    g_lateFolder.clear();
  }
  return g_realRemoveDirectoryForLateFile(path);
}

TEST_F(FileOpsTest, AFolderThatHoldsWhatTheWalkDidNotRemoveStays_RemoveDirectoryHookSeam) {
  const std::wstring tree = scratch_ / L"tree";
  const std::wstring sub = tree + L"\\sub";
  const std::wstring held = scratch_.Write(L"tree\\sub\\pending.txt", "p");
  HeldFile holder(held, HeldFile::Sharing::Delete);
  ASSERT_TRUE(holder.IsHeld());
  SecurityCallWatch security;
  ImportHook remove("kernel32.dll", "RemoveDirectoryW",
                    reinterpret_cast<void*>(&LateFileRemoveDirectoryW));
  ASSERT_TRUE(remove.IsActive() && security.IsActive());
  g_realRemoveDirectoryForLateFile =
      reinterpret_cast<decltype(&::RemoveDirectoryW)>(remove.Original());
  g_lateFolder = sub;

  EXPECT_FALSE(FileOps::WipeRecursive(tree));
  holder.End();
  EXPECT_EQ(ListTree(tree), (std::vector<std::wstring>{L"sub", L"sub\\late.txt"}));
  const auto pending = PendingOperationsGuard::Entries();
  EXPECT_FALSE(HasEntry(pending, sub) || HasEntry(pending, tree));
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
  EXPECT_TRUE(security.Calls().empty());
  EXPECT_TRUE(log_.Has("*E: FileOps::WipeDirectoryInternal: Directory '" + WideToUtf8(sub) +
                       "' kept: it holds 'late.txt', which was not removed"))
      << log_.Dump();
  EXPECT_TRUE(log_.Has(".W: FileOps::WipeDirectoryInternal: Directory '" + WideToUtf8(tree) +
                       "' kept: it is not empty"))
      << log_.Dump();
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
