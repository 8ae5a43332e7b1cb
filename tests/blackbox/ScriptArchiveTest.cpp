// The script archive that the build links into both programs as RCDATA 103: a plain ZIP
// of resources/scripts, and in the 32-bit program also the 64-bit program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "PathUtils.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "UniqueAny.h"
#include "unzip.h"
#include "zlib.h"

namespace {

struct Member {
  std::string name;
  unsigned long method = 0;
  unsigned long flags = 0;
  ZPOS64_T size = 0;
  unsigned long crc = 0;
};

// The archive resource of a program, copied into a file of the scratch folder.
bool CopyArchive(const std::wstring& program, const std::wstring& target) {
  UniqueModule module(::LoadLibraryExW(program.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) return false;
  const HRSRC info = ::FindResourceW(module.get(), MAKEINTRESOURCEW(103), RT_RCDATA);
  if (info == nullptr) return false;
  const HGLOBAL loaded = ::LoadResource(module.get(), info);
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  const DWORD size = ::SizeofResource(module.get(), info);
  if (data == nullptr) return false;
  return WriteFileBytes(target, std::string(static_cast<const char*>(data), size));
}

// minizip's own file functions open a narrow name in the ANSI code page, which cannot name
// every folder: the archive is opened by its wide name, and read with minizip's functions.
voidpf OpenWide(voidpf, const void* name, int) {
  return _wfopen(static_cast<const wchar_t*>(name), L"rb");
}

bool ListMembers(const std::wstring& zipPath, std::vector<Member>& members) {
  zlib_filefunc64_def functions{};
  fill_fopen64_filefunc(&functions);
  functions.zopen64_file = OpenWide;
  unzFile archive = unzOpen2_64(zipPath.c_str(), &functions);
  if (archive == nullptr) {
    // minizip can't open the shortest empty archive, the end record alone.
    std::string bytes;
    return ReadFileBytes(zipPath, bytes) && bytes.size() == 22 &&
           bytes.compare(0, 4, "PK\x05\x06") == 0 &&
           bytes.find_first_not_of('\0', 4) == std::string::npos;
  }
  unz_global_info64 global{};
  bool ok = unzGetGlobalInfo64(archive, &global) == UNZ_OK;
  for (ZPOS64_T i = 0; ok && i < global.number_entry; ++i) {
    ok = (i == 0 ? unzGoToFirstFile(archive) : unzGoToNextFile(archive)) == UNZ_OK;
    unz_file_info64 info{};
    char name[1024] = {};
    ok = ok && unzGetCurrentFileInfo64(archive, &info, name, sizeof(name), nullptr, 0, nullptr,
                                       0) == UNZ_OK;
    if (ok) {
      members.push_back(
          {name, info.compression_method, info.flag, info.uncompressed_size, info.crc});
    }
  }
  unzClose(archive);
  return ok;
}

// What the build packs for every program: the files below resources/scripts.
std::vector<std::string> ScriptFiles() {
  const std::wstring root = FixturePath(L"..\\..\\resources\\scripts");
  std::vector<std::string> names;
  for (const auto& relative : ListTree(root)) {
    if (IsDirectory(root + L"\\" + relative)) continue;
    std::string name = WideToUtf8(relative);
    std::replace(name.begin(), name.end(), '\\', '/');
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void ExpectPlainMembers(const std::vector<Member>& members) {
  for (const auto& member : members) {
    EXPECT_EQ(member.method, static_cast<unsigned long>(Z_DEFLATED)) << member.name;
    EXPECT_EQ(member.flags & 1, 0u) << member.name << " is encrypted";
    EXPECT_NE(member.name.back(), '/') << member.name << " is a directory entry";
    EXPECT_EQ(member.name.find('\\'), std::string::npos) << member.name;
  }
}

// The members of a program's archive, each of which must be a plain file entry.
void ReadPlainMembers(const std::wstring& program, std::vector<Member>& members) {
  ScratchFolder scratch(L"archive");
  ASSERT_TRUE(CopyArchive(program, scratch / L"archive.zip"));
  ASSERT_TRUE(ListMembers(scratch / L"archive.zip", members));
  ExpectPlainMembers(members);
}

TEST(ScriptArchive, The64BitProgramCarriesTheScripts) {
  std::vector<Member> members;
  ASSERT_NO_FATAL_FAILURE(ReadPlainMembers(PurgeKit64Path(), members));
  std::vector<std::string> names;
  for (const auto& member : members) names.push_back(member.name);
  EXPECT_EQ(names, ScriptFiles());
}

TEST(ScriptArchive, The32BitProgramCarriesTheScriptsAndThe64BitProgram) {
  std::vector<Member> members;
  ASSERT_NO_FATAL_FAILURE(ReadPlainMembers(PurgeKit32Path(), members));

  std::vector<std::string> names;
  const Member* program = nullptr;
  for (const auto& member : members) {
    if (member.name == "PurgeKit64.exe") {
      program = &member;
    } else {
      names.push_back(member.name);
    }
  }
  EXPECT_EQ(names, ScriptFiles());
  ASSERT_NE(program, nullptr);
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(PurgeKit64Path(), bytes));
  EXPECT_EQ(program->size, bytes.size());
  EXPECT_EQ(program->crc, crc32(0, reinterpret_cast<const Bytef*>(bytes.data()),
                                static_cast<uInt>(bytes.size())));
}

}  // namespace
