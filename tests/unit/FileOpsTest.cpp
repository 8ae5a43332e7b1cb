// Forced file and directory removal, the two queries and the special folders on the real
// (Wine) file system and registry. Wine keeps no file ACLs and can't make junctions: the DACL
// of the ownership step is watched on its way to the system (import hook), denials, refusals
// and attributes that Windows would answer come from the file-call seam (FileCallSeam), and
// reparse points are made by marking a real directory in the listing (FileOps' entry seam).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FileCallSeam.h"
#include "FileOps.h"
#include "HeldFile.h"
#include "ImportHook.h"
#include "LogCapture.h"
#include "PathUtils.h"
#include "PendingOperations.h"
#include "RestartStaging.h"
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
  // What waits for the restart is moved into a folder made below the scratch folder, not at the
  // root of the build tree's volume.
  void SetUp() override {
    Status::Instance().Clear();
    RestartStaging::Instance().SetParentForTests(staging_.Path());
  }
  void TearDown() override {
    FileOps::SetEntryHookForTests(nullptr);
    RestartStaging::Instance().SetParentForTests(L"");
  }

  LogCapture log_{L"fileops"};
  PendingOperationsGuard pending_;
  ScratchFolder staging_{L"staging"};
  ScratchFolder scratch_;
};

// A path without its \\?\ prefix, as the pending operations name it after theirs.
std::wstring Plain(const std::wstring& path) {
  return path.compare(0, 4, L"\\\\?\\") == 0 ? path.substr(4) : path;
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
void MarkLinkAsReparsePoint(const std::wstring&, NtFile::Entry& entry) {
  if (entry.name == L"link" || entry.name == L"link.txt") {
    entry.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    entry.reparseTag = IO_REPARSE_TAG_MOUNT_POINT;
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

bool WipeNormalFile(const std::wstring& path) {
  return FileOps::WipeFileInternal(path, FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileOpsTest, OnlyDeniedOrInUseTakesOwnershipOrTheRestart_FileCallSeam) {
  struct Case {
    const char* what;
    bool (*remove)(const std::wstring&);
    bool file;           // the object is a file, else a folder
    ACCESS_MASK rights;  // whose opens answer the error, also after a new owner
    DWORD error;
    DWORD deletion;  // what the deletion through a granted handle answers, or 0
    bool result;
    bool owned;
    bool atRestart;
    const char* line;  // the error line with the path at %s, or none
  };
  const Case cases[] = {
      {"file denied", WipeNormalFile, true, DELETE, ERROR_ACCESS_DENIED, 0, true, true, true,
       nullptr},
      // Another program's handle: a new owner changes nothing of it, the restart does.
      {"file in use", WipeNormalFile, true, DELETE, ERROR_SHARING_VIOLATION, 0, true, false, true,
       nullptr},
      {"file locked", WipeNormalFile, true, DELETE, ERROR_LOCK_VIOLATION, 0, true, false, true,
       nullptr},
      // A running program's image: the open for deletion is granted, the deletion refused.
      {"file mapped as an image", WipeNormalFile, true, 0, 0, ERROR_ACCESS_DENIED, true, false,
       true, nullptr},
      {"file name that can't exist", WipeNormalFile, true, DELETE, ERROR_INVALID_NAME, 0, false,
       false, false, "*E: FileOps::WipeFileInternal: DeleteFile('%s') failed: 123"},
      {"file on a drive not ready", WipeNormalFile, true, DELETE, ERROR_NOT_READY, 0, false, false,
       false, "*E: FileOps::WipeFileInternal: DeleteFile('%s') failed: 21"},
      // Its folder is there, so the file is too: Windows answers so for a path it can't take.
      {"file whose path is not found in its folder", WipeNormalFile, true, DELETE,
       ERROR_PATH_NOT_FOUND, 0, false, false, false,
       "*E: FileOps::WipeFileInternal: DeleteFile('%s') failed: 3"},
      {"empty directory denied", FileOps::WipeDirectoryInternal, false, DELETE, ERROR_ACCESS_DENIED,
       0, true, true, true, nullptr},
      {"empty directory in use", FileOps::WipeDirectoryInternal, false, DELETE,
       ERROR_SHARING_VIOLATION, 0, true, false, true, nullptr},
      {"directory that is a file", FileOps::WipeDirectoryInternal, true, 0, 0, 0, false, false,
       false, "*E: FileOps::WipeDirectoryInternal: RemoveDirectory('%s') failed: 267"},
      {"directory whose path is not found in its folder", FileOps::WipeDirectoryInternal, false,
       DELETE, ERROR_PATH_NOT_FOUND, 0, false, false, false,
       "*E: FileOps::WipeDirectoryInternal: RemoveDirectory('%s') failed: 3"},
      // The if-empty removal is one plain removal, whatever stands in its way.
      {"directory denied, if empty", FileOps::DoRemoveDirectory, false, DELETE, ERROR_ACCESS_DENIED,
       0, false, false, false, "*E: FileOps::DoRemoveDirectory: RemoveDirectory('%s') failed: 5"},
      {"directory in use, if empty", FileOps::DoRemoveDirectory, false, DELETE,
       ERROR_SHARING_VIOLATION, 0, false, false, false,
       "*E: FileOps::DoRemoveDirectory: RemoveDirectory('%s') failed: 32"},
      {"directory not empty, if empty", FileOps::DoRemoveDirectory, false, 0, 0,
       ERROR_DIR_NOT_EMPTY, false, false, false,
       " I: FileOps::DoRemoveDirectory: Directory '%s' kept: it is not empty"},
  };
  int serial = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring path = scratch_ / (L"object" + std::to_wstring(serial++));
    if (c.file) {
      ASSERT_TRUE(WriteFileBytes(path, "x"));
    } else {
      ASSERT_TRUE(CreateDirectoryRecursive(path, nullptr));
    }
    Status::Instance().Clear();
    log_.Mark();
    bool result = false;
    std::vector<FileCallSeam::Move> moves;
    SecurityCallWatch security;
    {
      FileCallSeam seam;
      ASSERT_TRUE(seam.IsActive() && security.IsActive());
      if (c.rights != 0) seam.DenyOpen(path, c.rights, c.error);
      if (c.deletion != 0) seam.FailDeletion(path, c.deletion);
      result = c.remove(path);
      moves = seam.Moves();
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(!security.Calls().empty(), c.owned);
    EXPECT_EQ(Status::Instance().IsRebootNeeded(), c.atRestart);
    // What waits for the restart waits by its own path only where it could not be moved out
    // of reach first: a file the walk holds open for deletion is moved.
    const bool moved = !moves.empty();
    EXPECT_EQ(moved, c.deletion == ERROR_ACCESS_DENIED);
    EXPECT_EQ(HasEntry(PendingOperationsGuard::Entries(), path), c.atRestart && !moved);
    if (moved) {
      EXPECT_TRUE(HasEntry(PendingOperationsGuard::Entries(), Plain(moves.front().to)));
      EXPECT_TRUE(PathExists(moves.front().to));
    } else {
      EXPECT_TRUE(PathExists(path));
    }
    // Every false result says what stayed and why.
    EXPECT_EQ(c.line != nullptr, !c.result);
    if (c.line != nullptr) {
      std::string line = c.line;
      line.replace(line.find("%s"), 2, WideToUtf8(path));
      EXPECT_TRUE(log_.Has(line)) << log_.Dump();
    }
  }
}

// Only a reparse point that stands for another object is a link. A file the system compressed
// (WOF), a cloud placeholder folder and their kin are what they are: removed, their read-only
// bit cleared, entered. The file-call seam gives them their tags, as Windows reports them.
TEST_F(FileOpsTest, OnlyReparsePointsThatStandForAnotherObjectAreLinks_FileCallSeam) {
  const std::wstring tree = scratch_ / L"tree";
  const std::wstring compressed = scratch_.Write(L"tree\\compressed.dll", "c");
  const std::wstring cloud = tree + L"\\cloud";
  scratch_.Write(L"tree\\cloud\\synced.txt", "s");
  const std::wstring junction = tree + L"\\junction";
  const std::wstring target = scratch_.Write(L"tree\\junction\\elsewhere.txt", "keep");
  const std::wstring named = scratch_.Write(L"named.dll", "n");
  for (const auto& file : {compressed, named}) {
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  }
  SecurityCallWatch security;
  FileCallSeam seam;
  ASSERT_TRUE(seam.IsActive() && security.IsActive());
  for (const auto& file : {compressed, named}) {
    seam.AddAttributes(file, FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_WOF);
  }
  seam.AddAttributes(cloud, FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_CLOUD_1);
  seam.AddAttributes(junction, FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_MOUNT_POINT);

  EXPECT_TRUE(
      FileOps::WipeFileInternal(named, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT));
  // The junction is not entered, and its removal as a link fails on the folder behind it.
  EXPECT_FALSE(FileOps::WipeRecursive(tree));
  EXPECT_EQ(ListTree(tree), (std::vector<std::wstring>{L"junction", L"junction\\elsewhere.txt"}));
  EXPECT_EQ(ReadFileBytes(target), "keep");
  EXPECT_FALSE(PathExists(named));
  EXPECT_TRUE(log_.Has("*E: FileOps::WipeDirectoryInternal: Link '" + WideToUtf8(junction) +
                       "' not removed: 145"))
      << log_.Dump();
  EXPECT_TRUE(security.Calls().empty());
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
}

// A file's security is shared by all its names (hard links): a hard link inside the tree to a
// file elsewhere must not leave that file the Administrators'. Its deletion denied (file-call
// seam), it waits for the restart with its security as it was.
TEST_F(FileOpsTest, AFileWithMoreNamesThanOneIsNeverTakenOver_FileCallSeam) {
  const std::wstring tree = scratch_ / L"tree";
  const std::wstring original = scratch_.Write(L"system\\shared.dll", "s");
  ASSERT_TRUE(CreateDirectoryRecursive(tree, nullptr));
  const std::wstring link = tree + L"\\shared.dll";
  ASSERT_TRUE(::CreateHardLinkW(link.c_str(), original.c_str(), nullptr));
  SecurityCallWatch security;
  FileCallSeam seam;
  ASSERT_TRUE(seam.IsActive() && security.IsActive());
  seam.DenyOpen(link, DELETE);

  EXPECT_TRUE(FileOps::WipeRecursive(tree));
  EXPECT_TRUE(security.Calls().empty());
  EXPECT_TRUE(seam.NewOwners().empty());
  EXPECT_TRUE(HasEntry(PendingOperationsGuard::Entries(), link));
  EXPECT_TRUE(Status::Instance().IsRebootNeeded());
  EXPECT_EQ(ReadFileBytes(original), "s");
  EXPECT_TRUE(log_.Has(".W: FileOps::WipeFileInternal: '" + WideToUtf8(link) +
                       "' has 2 names that share its security: it is not taken over"))
      << log_.Dump();
}

// What waits for the restart is moved, through the handle the walk holds, into the tool's own
// folder first, and that path is scheduled, then the folder: no one can redirect it before the
// boot. Where the move is refused, the object's own path is scheduled, and a warning says so.
TEST_F(FileOpsTest, WhatWaitsForTheRestartIsMovedOutOfReachFirst_FileCallSeam) {
  const std::wstring image = scratch_.Write(L"tree\\running.exe", "r");
  const std::wstring pinned = scratch_.Write(L"tree\\pinned.exe", "p");
  SecurityCallWatch security;
  FileCallSeam seam;
  ASSERT_TRUE(seam.IsActive() && security.IsActive());
  // Running programs' images: opened for deletion, their deletion refused.
  seam.FailDeletion(image, ERROR_ACCESS_DENIED);
  seam.FailDeletion(pinned, ERROR_ACCESS_DENIED);
  seam.FailMove(pinned, ERROR_ACCESS_DENIED);

  EXPECT_TRUE(FileOps::WipeRecursive(scratch_ / L"tree"));
  const auto moves = seam.Moves();
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_FALSE(PathExists(image));
  EXPECT_EQ(ReadFileBytes(moves.front().to), "r");
  std::wstring folder;
  std::wstring name;
  ASSERT_TRUE(SplitPath(Plain(moves.front().to), folder, name));
  EXPECT_TRUE(StartsWith(folder, staging_.Path(), true)) << WideToUtf8(folder);
  const auto pending = PendingOperationsGuard::Entries();
  const auto at = [&](const std::wstring& path) {
    for (size_t i = 0; i < pending.size(); ++i) {
      if (HasEntry({pending[i]}, path)) return static_cast<int>(i);
    }
    return -1;
  };
  EXPECT_GE(at(Plain(moves.front().to)), 0);
  EXPECT_GT(at(folder), at(Plain(moves.front().to)));
  EXPECT_FALSE(HasEntry(pending, image));
  EXPECT_TRUE(HasEntry(pending, pinned));
  EXPECT_TRUE(log_.Has(".W: FileOps::WipeFileInternal: Delay delete names '" + WideToUtf8(pinned) +
                       "' itself: it could not be moved out of reach first: 5"))
      << log_.Dump();
  EXPECT_TRUE(security.Calls().empty());
  EXPECT_TRUE(Status::Instance().IsRebootNeeded());
}

TEST_F(FileOpsTest, ALinkWhoseRemovalFailsIsLeftAndNeverTakenOver_JunctionSeam_FileCallSeam) {
  const std::wstring root = scratch_ / L"tree";
  scratch_.Write(L"tree\\app\\app.exe", "a");
  const std::wstring target = scratch_.Write(L"tree\\link\\user-data.txt", "keep");
  const std::wstring fileLink = scratch_.Write(L"tree\\link.txt", "points elsewhere");
  const std::wstring link = root + L"\\link";
  FileOps::SetEntryHookForTests(&MarkLinkAsReparsePoint);
  SecurityCallWatch security;
  FileCallSeam seam;
  ASSERT_TRUE(security.IsActive() && seam.IsActive());
  seam.DenyOpen(link, DELETE);
  seam.DenyOpen(fileLink, DELETE);

  EXPECT_FALSE(FileOps::WipeRecursive(root));
  EXPECT_EQ(ListTree(root),
            (std::vector<std::wstring>{L"link", L"link.txt", L"link\\user-data.txt"}));
  EXPECT_TRUE(log_.Has("*E: FileOps::WipeDirectoryInternal: Link '" + WideToUtf8(link) +
                       "' not removed: 5"))
      << log_.Dump();
  EXPECT_TRUE(
      log_.Has("*E: FileOps::WipeFileInternal: Link '" + WideToUtf8(fileLink) + "' not removed: 5"))
      << log_.Dump();

  // The link named by the script itself, as its own handle reads.
  seam.AddAttributes(link, FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_MOUNT_POINT);
  seam.AddAttributes(fileLink, FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK);
  EXPECT_FALSE(FileOps::WipeRecursive(link));
  EXPECT_FALSE(FileOps::WipeDirectoryInternal(link));
  EXPECT_FALSE(FileOps::DoRemoveDirectory(link));
  EXPECT_FALSE(FileOps::WipeFileInternal(fileLink, FILE_ATTRIBUTE_REPARSE_POINT));

  EXPECT_TRUE(security.Calls().empty());
  EXPECT_EQ(ReadFileBytes(target), "keep");
  const auto pending = PendingOperationsGuard::Entries();
  EXPECT_FALSE(HasEntry(pending, link) || HasEntry(pending, fileLink) || HasEntry(pending, root));
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
}

// A folder whose DACL grants the Administrators nothing, as a product protects its own (owner
// SYSTEM, a SYSTEM-only DACL): its listing and its deletion are denied until its owner changes,
// which the take-ownership privilege grants on Windows (file-call seam).
TEST_F(FileOpsTest, AProtectedFolderInsideWhatIsNamedIsTakenOverAndRemoved_FileCallSeam) {
  struct Case {
    const char* what;
    bool (*remove)(const std::wstring& parent);
    std::vector<std::wstring> left;  // the scratch folder's tree afterwards
  };
  const Case cases[] = {
      {"the named tree", FileOps::WipeRecursive, {L"product"}},
      {"a folder inside the tree",
       [](const std::wstring& parent) {
         std::wstring folder;
         std::wstring name;
         return SplitPath(parent, folder, name) && FileOps::WipeRecursive(folder);
       },
       {}},
      {"a match of a mask",
       [](const std::wstring& parent) {
         std::wstring folder;
         std::wstring name;
         return SplitPath(parent, folder, name) && FileOps::WipeEntriesByMask(folder, L"par*");
       },
       {L"product"}},
      {"the tree below a parent that goes with it", FileOps::WipeRecursiveAndParentIfEmpty, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchFolder folder(L"protected");
    folder.Write(L"product\\parent\\B\\f.txt", "f");
    folder.Write(L"product\\parent\\g.txt", "g");
    const std::wstring parent = folder / L"product\\parent";
    log_.Mark();
    SecurityCallWatch security;
    FileCallSeam seam;
    ASSERT_TRUE(seam.IsActive() && security.IsActive());
    seam.DenyOpen(parent, DELETE | FILE_LIST_DIRECTORY, ERROR_ACCESS_DENIED, true);
    EXPECT_TRUE(c.remove(parent)) << log_.Dump();
    EXPECT_EQ(ListTree(folder.Path()), c.left);
    // Taken over once, through its own handle, and no other object.
    EXPECT_EQ(seam.NewOwners().size(), 1u);
    EXPECT_TRUE(std::none_of(security.Calls().begin(), security.Calls().end(),
                             [](const SecurityCallWatch::Call& call) { return call.byName; }));
    EXPECT_FALSE(Status::Instance().IsRebootNeeded());
  }
}

// The same folder where it is not what the call removes (the folder a mask looks into, the
// parent a removal only takes along when it is empty): nothing of it changes.
TEST_F(FileOpsTest, AFolderThatCantBeListedOutsideTheTargetsIsLeftAlone_FileCallSeam) {
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
    FileCallSeam seam;
    ASSERT_TRUE(seam.IsActive() && security.IsActive());
    seam.DenyOpen(parent, FILE_LIST_DIRECTORY, ERROR_ACCESS_DENIED, true);
    EXPECT_FALSE(c.remove(parent));
    EXPECT_EQ(ListTree(folder.Path()), c.left);
    EXPECT_TRUE(security.Calls().empty());
    EXPECT_FALSE(HasEntry(PendingOperationsGuard::Entries(), parent));
    EXPECT_FALSE(Status::Instance().IsRebootNeeded());
    EXPECT_TRUE(log_.Has(std::string("*E: FileOps::") + c.function + ": Cannot list '" +
                         WideToUtf8(parent) + "': 5"))
        << log_.Dump();
  }
}

TEST_F(FileOpsTest, WhatStaysUnreadableAfterATakeOverIsReportedAndWhatIsEmptyGoes_FileCallSeam) {
  // The owner can't be changed (WRITE_OWNER denied too): nothing of the folder can be known,
  // so it gets one plain removal, which NTFS grants through the parent's right to delete its
  // children when the folder is empty.
  const std::wstring tree = scratch_ / L"tree";
  const std::wstring empty = tree + L"\\empty";
  const std::wstring full = tree + L"\\full";
  scratch_.Write(L"tree\\full\\f.txt", "f");
  ASSERT_TRUE(CreateDirectoryRecursive(empty, nullptr));
  SecurityCallWatch security;
  FileCallSeam seam;
  ASSERT_TRUE(seam.IsActive() && security.IsActive());
  for (const auto& folder : {empty, full}) {
    seam.DenyOpen(folder, FILE_LIST_DIRECTORY | WRITE_OWNER);
  }
  EXPECT_FALSE(FileOps::WipeRecursive(tree));
  EXPECT_EQ(ListTree(tree), (std::vector<std::wstring>{L"full", L"full\\f.txt"}));
  EXPECT_TRUE(security.Calls().empty());
  EXPECT_TRUE(log_.Has(".W: FileOps::WipeDirectoryInternal: TakeOwnership failed for '" +
                       WideToUtf8(full) + "': 5"))
      << log_.Dump();
  EXPECT_TRUE(log_.Has("*E: FileOps::WipeRecursive: Cannot list '" + WideToUtf8(full) + "': 5"))
      << log_.Dump();
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());

  // Alone, the empty one is all there is to the tree: true.
  const std::wstring lone = scratch_ / L"lone";
  ASSERT_TRUE(CreateDirectoryRecursive(lone + L"\\empty", nullptr));
  seam.DenyOpen(lone + L"\\empty", FILE_LIST_DIRECTORY | WRITE_OWNER);
  EXPECT_TRUE(FileOps::WipeRecursive(lone)) << log_.Dump();
  EXPECT_FALSE(PathExists(lone));
}

TEST_F(FileOpsTest, WhatCantBeToldFromALinkIsTakenForOne_FileCallSeam) {
  const std::wstring folder = scratch_ / L"unreadable";
  scratch_.Write(L"unreadable\\a.txt", "a");
  scratch_.Write(L"unreadable\\sub\\b.txt", "b");
  SecurityCallWatch security;
  FileCallSeam seam;
  ASSERT_TRUE(seam.IsActive() && security.IsActive());
  // The folder opens, and its attributes can't be read through the handle.
  seam.FailAttributeQuery(folder, ERROR_ACCESS_DENIED);

  // Never listed, entered or taken over: only removed as a link would be, which a folder that
  // holds anything survives.
  EXPECT_FALSE(FileOps::WipeRecursive(folder));
  EXPECT_FALSE(FileOps::WipeEntriesByMask(folder, L"*"));
  EXPECT_FALSE(FileOps::WipeDirectoryInternal(folder));

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

// Windows answers ERROR_ACCESS_DENIED to an open for deletion, before anything else, when a
// folder's DACL grants the administrators no DELETE (a folder of the system's own, say); the
// file-call seam answers so for the folder, which still lists.
TEST_F(FileOpsTest, AFolderNotKnownToBeEmptyIsNeverTakenOver_FileCallSeam) {
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
    FileCallSeam seam;
    ASSERT_TRUE(seam.IsActive() && security.IsActive());
    seam.DenyOpen(folder, DELETE);

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
// remove the folder while it is set (ERROR_ACCESS_DENIED); Wine drops the bit. The file-call
// seam keeps it for the folders named, in their attributes and their listing, until it is
// cleared through a handle.
TEST_F(FileOpsTest, AReadOnlyFolderLosesItsBitBeforeItsRemoval_FileCallSeam) {
  const std::wstring tree = scratch_ / L"tree";
  scratch_.Write(L"tree\\sub\\file.txt", "f");
  const std::wstring empty = scratch_ / L"empty";
  const std::wstring ifEmpty = scratch_ / L"ifempty";
  const std::wstring kept = scratch_ / L"kept";
  // Its security keeps the bit from the Administrators until they own it.
  const std::wstring guarded = scratch_ / L"guarded";
  scratch_.Write(L"kept\\k.txt", "k");
  scratch_.Write(L"guarded\\g.txt", "g");
  ASSERT_TRUE(CreateDirectoryRecursive(empty, nullptr) &&
              CreateDirectoryRecursive(ifEmpty, nullptr));
  SecurityCallWatch security;
  FileCallSeam seam;
  ASSERT_TRUE(seam.IsActive() && security.IsActive());
  for (const auto& folder : {tree, tree + L"\\sub", empty, ifEmpty, kept, guarded}) {
    seam.KeepReadOnly(folder);
  }
  seam.DenyOpen(guarded, FILE_WRITE_ATTRIBUTES, ERROR_ACCESS_DENIED, true);

  EXPECT_TRUE(FileOps::WipeRecursive(tree));
  EXPECT_TRUE(FileOps::WipeDirectoryInternal(empty));
  EXPECT_TRUE(FileOps::DoRemoveDirectory(ifEmpty));
  // What stays keeps its bit.
  EXPECT_FALSE(FileOps::DoRemoveDirectory(kept));
  EXPECT_TRUE(seam.IsReadOnly(kept));
  EXPECT_TRUE(security.Calls().empty());
  // The bit is cleared again once the folder is the Administrators'.
  EXPECT_TRUE(FileOps::WipeRecursive(guarded)) << log_.Dump();
  EXPECT_EQ(seam.NewOwners().size(), 1u);

  EXPECT_EQ(ListTree(scratch_.Path()), (std::vector<std::wstring>{L"kept", L"kept\\k.txt"}));
  const auto pending = PendingOperationsGuard::Entries();
  for (const auto& folder : {tree, empty, ifEmpty, kept, guarded}) {
    EXPECT_FALSE(HasEntry(pending, folder)) << WideToUtf8(folder);
  }
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
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
  decltype(&::CreateFileW) createFile = nullptr;
  decltype(&::GetFileAttributesW) getAttributes = nullptr;
  decltype(&::MoveFileExW) move = nullptr;
} g_maxPath;

HANDLE WINAPI MaxPathFindFirstFileExW(LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID entry,
                                      FINDEX_SEARCH_OPS search, LPVOID filter, DWORD flags) {
  return BreaksMaxPath(pattern) ? INVALID_HANDLE_VALUE
                                : g_maxPath.find(pattern, level, entry, search, filter, flags);
}
HANDLE WINAPI MaxPathCreateFileW(LPCWSTR path, DWORD access, DWORD share,
                                 LPSECURITY_ATTRIBUTES attributes, DWORD disposition, DWORD flags,
                                 HANDLE templateFile) {
  return BreaksMaxPath(path) ? INVALID_HANDLE_VALUE
                             : g_maxPath.createFile(path, access, share, attributes, disposition,
                                                    flags, templateFile);
}
DWORD WINAPI MaxPathGetFileAttributesW(LPCWSTR path) {
  return BreaksMaxPath(path) ? INVALID_FILE_ATTRIBUTES : g_maxPath.getAttributes(path);
}
BOOL WINAPI MaxPathMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  return BreaksMaxPath(from) ? FALSE : g_maxPath.move(from, to, flags);
}

// The calls by which the removals name a path: every other step goes through a handle.
class MaxPathRule {
 public:
  MaxPathRule() {
    g_maxPath.find = reinterpret_cast<decltype(g_maxPath.find)>(find_.Original());
    g_maxPath.createFile = reinterpret_cast<decltype(g_maxPath.createFile)>(create_.Original());
    g_maxPath.getAttributes =
        reinterpret_cast<decltype(g_maxPath.getAttributes)>(getAttributes_.Original());
    g_maxPath.move = reinterpret_cast<decltype(g_maxPath.move)>(move_.Original());
  }
  bool IsActive() const {
    return find_.IsActive() && create_.IsActive() && getAttributes_.IsActive() && move_.IsActive();
  }

 private:
  ImportHook find_{"kernel32.dll", "FindFirstFileExW",
                   reinterpret_cast<void*>(&MaxPathFindFirstFileExW)};
  ImportHook create_{"kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&MaxPathCreateFileW)};
  ImportHook getAttributes_{"kernel32.dll", "GetFileAttributesW",
                            reinterpret_cast<void*>(&MaxPathGetFileAttributesW)};
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

// A file put into a folder after the walk listed it: the file-call seam writes it just before
// the folder's deletion.
TEST_F(FileOpsTest, AFolderThatHoldsWhatTheWalkDidNotRemoveStays_FileCallSeam) {
  const std::wstring tree = scratch_ / L"tree";
  const std::wstring sub = tree + L"\\sub";
  const std::wstring held = scratch_.Write(L"tree\\sub\\pending.txt", "p");
  HeldFile holder(held, HeldFile::Sharing::Delete);
  ASSERT_TRUE(holder.IsHeld());
  SecurityCallWatch security;
  FileCallSeam seam;
  ASSERT_TRUE(seam.IsActive() && security.IsActive());
  seam.BeforeDeletion(sub, [&] { WriteFileBytes(sub + L"\\late.txt", "late"); });

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
