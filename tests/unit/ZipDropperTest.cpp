// Unpacking the script archive from the program's resources. The test program carries
// its own archives (see MakeTestArchives.py): 103 as the programs do, and others whose
// members try to leave the target folder or that are damaged.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "PathUtils.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestArchives.h"
#include "TestFiles.h"
#include "ZipDropper.h"

namespace {

std::string Contents(const std::wstring& path) {
  std::string bytes;
  EXPECT_TRUE(ReadFileBytes(path, bytes)) << WideToUtf8(path);
  return bytes;
}

std::string Fixture(const std::wstring& relative) {
  return Contents(FixturePath(L"zip\\basic\\" + relative));
}

std::string LargeMember() {
  std::string bytes(kLargeMemberSize, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(((i * 7) + (i >> 9)) & 0xFF);
  }
  return bytes;
}

TEST(ZipDropper, UnpacksEveryMemberCreatingItsFoldersAndOverwriting) {
  ScratchFolder scratch(L"unzip");
  const std::wstring work = scratch / L"work";
  ASSERT_TRUE(CreateDirectoryRecursive(work, nullptr));
  // An older, longer file of the same name is replaced, not appended to.
  ASSERT_TRUE(WriteFileBytes(work + L"\\first.lua", std::string(10000, 'o')));

  ASSERT_TRUE(ZipDropper::ExtractFilesFromResource(work));
  EXPECT_EQ(ListTree(work),
            (std::vector<std::wstring>{L"deep", L"deep\\er", L"deep\\er\\note.txt", L"first.lua",
                                       L"large.bin", L"wbx", L"wbx\\qolagent.ps1"}));
  EXPECT_EQ(Contents(work + L"\\first.lua"), Fixture(L"first.lua"));
  EXPECT_EQ(Contents(work + L"\\wbx\\qolagent.ps1"), Fixture(L"wbx\\qolagent.ps1"));
  EXPECT_EQ(Contents(work + L"\\deep\\er\\note.txt"), Fixture(L"deep\\er\\note.txt"));
  EXPECT_TRUE(Contents(work + L"\\large.bin") == LargeMember());
  EXPECT_EQ(ListTree(scratch.Path()).size(), ListTree(work).size() + 1) << "nothing beside";
}

TEST(ZipDropper, AcceptsEmptyStoredAndFolderEntryArchives) {
  ScratchFolder scratch(L"unzip-forms");
  EXPECT_TRUE(ZipDropper::ExtractFilesFromResource(scratch.Path(), kEmptyArchive));
  EXPECT_TRUE(ListTree(scratch.Path()).empty());

  EXPECT_TRUE(ZipDropper::ExtractFilesFromResource(scratch.Path(), kStoredArchive));
  EXPECT_EQ(Contents(scratch / L"plain.txt"), "stored, not compressed\r\n");

  EXPECT_TRUE(ZipDropper::ExtractFilesFromResource(scratch.Path(), kFolderEntryArchive));
  EXPECT_EQ(Contents(scratch / L"folder\\inside.txt"), "inside\r\n");
}

TEST(ZipDropper, RefusesATargetThatIsNoDirectoryAndAMissingResource) {
  ScratchFolder scratch(L"unzip-target");
  ASSERT_TRUE(WriteFileBytes(scratch / L"file", "x"));
  EXPECT_FALSE(ZipDropper::ExtractFilesFromResource(L""));
  EXPECT_FALSE(ZipDropper::ExtractFilesFromResource(scratch / L"missing"));
  EXPECT_FALSE(ZipDropper::ExtractFilesFromResource(scratch / L"file"));
  EXPECT_FALSE(ZipDropper::ExtractFilesFromResource(scratch.Path(), kMissingArchive));
  EXPECT_EQ(ListTree(scratch.Path()), std::vector<std::wstring>{L"file"});
}

// Every path below a folder whose name holds "escape": the hostile members all do, in
// every part of their names, so anything they left behind shows up here, while files
// that tests running alongside write into the same trees do not disturb the check.
void CollectEscapes(const std::wstring& folder, bool recursive, std::set<std::wstring>& found) {
  for (const auto& relative : recursive ? ListTree(folder) : std::vector<std::wstring>{}) {
    if (relative.find(L"escape") != std::wstring::npos) found.insert(folder + L"\\" + relative);
  }
  if (!recursive) {
    for (const auto& name : FolderEntries(folder, L"*escape*")) found.insert(folder + L"\\" + name);
  }
}

std::set<std::wstring> Escapes(const std::wstring& scratchRoot) {
  std::set<std::wstring> found;
  CollectEscapes(L"C:", true, found);  // the whole Wine prefix drive
  CollectEscapes(scratchRoot, true, found);
  CollectEscapes(L"Z:", false, found);  // the Unix root, where "/x" would land
  wchar_t current[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, current);
  CollectEscapes(current, false, found);
  return found;
}

// Opens a test archive through the dropper's own file functions.
unzFile OpenTestArchive(WORD id) {
  zlib_filefunc64_def functions{};
  functions.zopen64_file = ZipDropper::ResourceOpen;
  functions.zread_file = ZipDropper::ResourceRead;
  functions.ztell64_file = ZipDropper::ResourceTell;
  functions.zseek64_file = ZipDropper::ResourceSeek;
  functions.zclose_file = ZipDropper::ResourceClose;
  return unzOpen2_64(MAKEINTRESOURCEW(id), &functions);
}

TEST(ZipDropper, RefusesMemberNamesThatCouldLeaveTheTargetFolder) {
  ScratchFolder scratch(L"unzip-hostile");
  const std::set<std::wstring> before = Escapes(scratch.Path());

  for (const auto& hostile : kHostileArchives) {
    const std::wstring caseRoot = scratch / std::to_wstring(hostile.id);
    const std::wstring work = caseRoot + L"\\deep\\work";
    ASSERT_TRUE(CreateDirectoryRecursive(work, nullptr));

    // The extraction ends at the hostile member: what came before stays, nothing after.
    EXPECT_FALSE(ZipDropper::ExtractFilesFromResource(work, hostile.id)) << hostile.member;
    EXPECT_EQ(ListTree(caseRoot),
              (std::vector<std::wstring>{L"deep", L"deep\\work", L"deep\\work\\before.txt"}))
        << hostile.member;

    // The member itself is refused as a bad archive entry before anything is made.
    unzFile archive = OpenTestArchive(hostile.id);
    ASSERT_NE(archive, nullptr) << hostile.member;
    ASSERT_EQ(unzGoToFirstFile(archive), UNZ_OK);
    ASSERT_EQ(unzGoToNextFile(archive), UNZ_OK);
    char buffer[ZipDropper::kBufferSize];
    EXPECT_EQ(ZipDropper::ExtractZipFile(archive, work, hostile.member, buffer), UNZ_BADZIPFILE)
        << hostile.member;
    unzClose(archive);
    EXPECT_EQ(ListTree(work), std::vector<std::wstring>{L"before.txt"}) << hostile.member;
  }

  const std::set<std::wstring> after = Escapes(scratch.Path());
  std::vector<std::wstring> appeared;
  for (const auto& path : after) {
    if (before.count(path) == 0) appeared.push_back(path);
  }
  EXPECT_TRUE(appeared.empty()) << WideToUtf8(Join(appeared, L'\n'));
}

TEST(ZipDropper, FailsCleanlyOnTruncatedOrDamagedArchives) {
  for (const auto& broken : kBrokenArchives) {
    ScratchFolder scratch(L"unzip-broken");
    EXPECT_FALSE(ZipDropper::ExtractFilesFromResource(scratch.Path(), broken.id)) << broken.damage;
    // The intact first member may have been written; the damaged one never completes.
    for (const auto& path : ListTree(scratch.Path())) {
      if (path == L"first.txt") {
        EXPECT_EQ(Contents(scratch / path), "first\r\n") << broken.damage;
      } else {
        EXPECT_EQ(path, L"second.txt") << broken.damage;
      }
    }
  }
}

TEST(ZipDropper, ResourceStreamStaysInsideTheResource) {
  voidpf stream = ZipDropper::ResourceOpen(nullptr, MAKEINTRESOURCEW(kBasicArchive), 1);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ZipDropper::ResourceSeek(nullptr, stream, 0, ZLIB_FILEFUNC_SEEK_END), 0);
  const ZPOS64_T size = ZipDropper::ResourceTell(nullptr, stream);
  EXPECT_GT(size, 22u);
  char buffer[64];
  EXPECT_EQ(ZipDropper::ResourceRead(nullptr, stream, buffer, sizeof(buffer)), 0u);

  EXPECT_EQ(ZipDropper::ResourceSeek(nullptr, stream, 10, ZLIB_FILEFUNC_SEEK_END), 0);
  EXPECT_EQ(ZipDropper::ResourceTell(nullptr, stream), size - 10);
  EXPECT_EQ(ZipDropper::ResourceRead(nullptr, stream, buffer, sizeof(buffer)), 10u);
  EXPECT_EQ(ZipDropper::ResourceTell(nullptr, stream), size);

  struct Seek {
    ZPOS64_T from;
    ZPOS64_T offset;
    int origin;
  } beyond[] = {
      {0, size + 1, ZLIB_FILEFUNC_SEEK_SET},
      {0, size + 1, ZLIB_FILEFUNC_SEEK_END},
      {5, size, ZLIB_FILEFUNC_SEEK_CUR},
      {5, ~ZPOS64_T{0} - 2, ZLIB_FILEFUNC_SEEK_CUR},  // would wrap around to 2
  };
  for (const auto& seek : beyond) {
    ASSERT_EQ(ZipDropper::ResourceSeek(nullptr, stream, seek.from, ZLIB_FILEFUNC_SEEK_SET), 0);
    EXPECT_EQ(ZipDropper::ResourceSeek(nullptr, stream, seek.offset, seek.origin), 1);
    EXPECT_EQ(ZipDropper::ResourceTell(nullptr, stream), size);
  }
  ASSERT_EQ(ZipDropper::ResourceSeek(nullptr, stream, 4, ZLIB_FILEFUNC_SEEK_SET), 0);
  EXPECT_EQ(ZipDropper::ResourceSeek(nullptr, stream, 3, 7), 1);
  EXPECT_EQ(ZipDropper::ResourceTell(nullptr, stream), 4u);
  EXPECT_EQ(ZipDropper::ResourceRead(nullptr, stream, buffer, 2), 2u);
  EXPECT_EQ(ZipDropper::ResourceTell(nullptr, stream), 6u);
  EXPECT_EQ(ZipDropper::ResourceClose(nullptr, stream), 0);

  EXPECT_EQ(ZipDropper::ResourceOpen(nullptr, MAKEINTRESOURCEW(kMissingArchive), 1), nullptr);
}

}  // namespace
