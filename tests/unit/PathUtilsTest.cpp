// The path and file helpers on real files under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "ImportHook.h"
#include "PathUtils.h"
#include "ScratchFolder.h"
#include "SddlText.h"
#include "SecurityAttributes.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "UniqueAny.h"

namespace {

TEST(CombinePath, JoinsWithExactlyOneBackslash) {
  struct Case {
    const wchar_t* first;
    const wchar_t* second;
    const wchar_t* joined;
  } cases[] = {
      {L"", L"x", L"x"},
      {L"", L"", L""},
      {L"C:\\a\\", L"", L"C:\\a"},
      {L"C:\\a\\", L"b", L"C:\\a\\b"},
      {L"C:\\a", L"b", L"C:\\a\\b"},
      {L"C:\\a", L"\\b", L"C:\\a\\\\b"},
      {L"C:\\a", L"b/c", L"C:\\a\\b/c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CombinePath(c.first, c.second), c.joined)
        << WideToUtf8(c.first) << " + " << WideToUtf8(c.second);
  }
}

TEST(SplitPath, SplitsAtTheLastBackslashOrFailsLeavingTheOutputs) {
  struct Case {
    const wchar_t* path;
    bool ok;
    const wchar_t* directory;
    const wchar_t* name;
  } cases[] = {
      {L"C:\\dir\\file", true, L"C:\\dir", L"file"},
      {L"C:\\dir\\", true, L"C:", L"dir"},
      {L"C:\\", true, L"", L"C:"},
      {L"name", true, L"", L"name"},
      {L"a/b", true, L"", L"a/b"},
      {L"\\name", false, nullptr, nullptr},
      {L"", false, nullptr, nullptr},
      {L"\\", false, nullptr, nullptr},
      {L"C:\\dir\\\\", false, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    std::wstring directory = L"untouched";
    std::wstring name = L"untouched";
    EXPECT_EQ(SplitPath(c.path, directory, name), c.ok) << WideToUtf8(c.path);
    EXPECT_EQ(directory, c.ok ? c.directory : L"untouched") << WideToUtf8(c.path);
    EXPECT_EQ(name, c.ok ? c.name : L"untouched") << WideToUtf8(c.path);
  }
}

TEST(CheckChangeablePath, TakesOnlyFullyQualifiedPathsBelowARoot) {
  struct Case {
    const wchar_t* path;
    PathFault fault;
  } cases[] = {
      {L"C:\\Program Files\\Korvane", PathFault::None},
      {L"c:\\x.txt", PathFault::None},
      {L"C:\\dir\\", PathFault::None},
      {L"C:\\dir\\.sub", PathFault::None},
      {L"C:\\dir\\a.b", PathFault::None},
      {L"\\\\server\\share\\dir", PathFault::None},
      {L"", PathFault::NotFullyQualified},
      {L"x", PathFault::NotFullyQualified},
      {L".\\x", PathFault::NotFullyQualified},
      {L"\\x", PathFault::NotFullyQualified},
      {L"D:", PathFault::NotFullyQualified},
      {L"D:x", PathFault::NotFullyQualified},
      {L"1:\\x", PathFault::NotFullyQualified},
      {L"C:\\", PathFault::Root},
      {L"C:\\\\", PathFault::Root},
      {L"\\\\server", PathFault::Root},
      {L"\\\\server\\share", PathFault::Root},
      {L"\\\\server\\share\\", PathFault::Root},
      {L"\\\\?\\D:", PathFault::DeviceNamespace},
      {L"\\\\?\\D:\\canary", PathFault::DeviceNamespace},
      {L"\\\\.\\D:", PathFault::DeviceNamespace},
      {L"\\\\?\\", PathFault::DeviceNamespace},
      {L"\\??\\C:\\x", PathFault::DeviceNamespace},
      {L"//?/D:/x", PathFault::DeviceNamespace},
      {L"C:\\a\\\\b", PathFault::EmptyComponent},
      {L"C:\\a\\.\\b", PathFault::DotComponent},
      {L"C:\\a\\..", PathFault::DotComponent},
      {L"C:\\...", PathFault::DotComponent},
      {L"C:\\ \\x", PathFault::DotComponent},
      {L"\\\\server\\..\\x", PathFault::DotComponent},
      // The system strips a trailing dot or blank: "twin." would name "twin".
      {L"C:\\canary\\twin.", PathFault::TrailingDotOrBlank},
      {L"C:\\canary\\twin ", PathFault::TrailingDotOrBlank},
      {L"C:\\canary.\\a.txt", PathFault::TrailingDotOrBlank},
      {L"C:\\canary \\a.txt", PathFault::TrailingDotOrBlank},
      {L"C:\\canary\\sub.\\", PathFault::TrailingDotOrBlank},
      {L"\\\\server\\share.\\x", PathFault::TrailingDotOrBlank},
      {L"C:\\canary\\*", PathFault::Wildcard},
      {L"C:\\canary\\a?.txt", PathFault::Wildcard},
      {L"C:\\canary\\<", PathFault::Wildcard},
      {L"C:\\canary\\\"x", PathFault::Wildcard},
      {L"C:/canary", PathFault::BadCharacter},
      {L"C:\\canary\\a.txt:stream", PathFault::BadCharacter},
      {L"C:\\canary\\a\tb", PathFault::BadCharacter},
      {L"C:\\canary\\a|b", PathFault::BadCharacter},
      {L"C:\\canary\\CON", PathFault::ReservedName},
      {L"C:\\nul.txt\\x", PathFault::ReservedName},
      {L"\\\\server\\prn\\x", PathFault::ReservedName},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckChangeablePath(c.path), c.fault) << WideToUtf8(c.path);
  }
  EXPECT_EQ(CheckChangeablePath(std::wstring(L"C:\\a\0b", 6)), PathFault::BadCharacter);
}

TEST(ExtendedPath, TakesOnlyPathsThatNeedNoNormalising) {
  struct Case {
    const wchar_t* path;
    const wchar_t* extended;
  } cases[] = {
      {L"C:\\Program Files\\Korvane", L"\\\\?\\C:\\Program Files\\Korvane"},
      {L"C:\\dir\\", L"\\\\?\\C:\\dir"},
      {L"C:\\", L"\\\\?\\C:\\"},
      {L"C:\\twin.", L"\\\\?\\C:\\twin."},
      {L"C:\\a\\CON", L"\\\\?\\C:\\a\\CON"},
      {L"\\\\server\\share\\dir", L"\\\\?\\UNC\\server\\share\\dir"},
      {L"\\\\server\\share\\", L"\\\\?\\UNC\\server\\share"},
      // Already in the device namespace.
      {L"\\\\?\\C:\\x", L"\\\\?\\C:\\x"},
      {L"\\\\.\\C:", L"\\\\.\\C:"},
      // Only the normal form resolves these: they stay as they are.
      {L"", L""},
      {L"x\\y", L"x\\y"},
      {L"\\x", L"\\x"},
      {L"C:x", L"C:x"},
      {L"C:\\a\\..\\b", L"C:\\a\\..\\b"},
      {L"C:\\a\\.", L"C:\\a\\."},
      {L"C:\\a\\\\b", L"C:\\a\\\\b"},
      {L"C:\\a/b", L"C:\\a/b"},
      {L"\\\\server\\..\\x", L"\\\\server\\..\\x"},
      {L"\\??\\C:\\x", L"\\??\\C:\\x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtendedPath(c.path), c.extended) << WideToUtf8(c.path);
  }
}

TEST(IsReservedDeviceName, NamesTheDevicesWithOrWithoutExtension) {
  for (const wchar_t* name :
       {L"CON", L"con", L"Nul", L"AUX", L"PRN", L"COM1", L"com9", L"LPT1", L"LPT9", L"NUL.txt",
        L"CON .log", L"AUX  ", L"COM\u00b9", L"lpt\u00b3.x", L"COM0"}) {
    EXPECT_TRUE(IsReservedDeviceName(name)) << WideToUtf8(name);
  }
  for (const wchar_t* name :
       {L"CONSOLE", L"COM", L"COMx", L"COM10", L"LPT", L"xNUL", L"NULL", L"CO N", L"", L"a.CON"}) {
    EXPECT_FALSE(IsReservedDeviceName(name)) << WideToUtf8(name);
  }
}

TEST(PathTests, TellFilesFromDirectoriesAndMissingPaths) {
  ScratchFolder scratch(L"exists");
  ASSERT_TRUE(WriteFileBytes(scratch / L"file.txt", "x"));
  EXPECT_TRUE(PathExists(scratch / L"file.txt"));
  EXPECT_TRUE(IsFile(scratch / L"file.txt"));
  EXPECT_FALSE(IsDirectory(scratch / L"file.txt"));
  EXPECT_TRUE(PathExists(scratch.Path()));
  EXPECT_TRUE(IsDirectory(scratch.Path()));
  EXPECT_FALSE(IsFile(scratch.Path()));
  for (const std::wstring& missing : {scratch / L"none", std::wstring()}) {
    EXPECT_FALSE(PathExists(missing));
    EXPECT_FALSE(IsFile(missing));
    EXPECT_FALSE(IsDirectory(missing));
  }
}

TEST(CreateDirectoryRecursive, CreatesEveryMissingLevelAndRefusesAFileInTheWay) {
  ScratchFolder scratch(L"mkdir");
  EXPECT_TRUE(CreateDirectoryRecursive(L"", nullptr));
  EXPECT_TRUE(CreateDirectoryRecursive(scratch / L"a\\b\\c\\", nullptr));
  EXPECT_TRUE(IsDirectory(scratch / L"a\\b\\c"));
  EXPECT_TRUE(CreateDirectoryRecursive(scratch / L"a\\b", nullptr));

  ASSERT_TRUE(WriteFileBytes(scratch / L"file", "x"));
  EXPECT_FALSE(CreateDirectoryRecursive(scratch / L"file", nullptr));
  EXPECT_FALSE(CreateDirectoryRecursive(scratch / L"file\\below", nullptr));
  EXPECT_TRUE(IsFile(scratch / L"file"));
}

// What CreateDirectoryW was handed: the path and the descriptor, as SDDL.
struct DirectoryCreation {
  std::wstring path;
  bool withAttributes = false;
  std::string sddl;
};
std::vector<DirectoryCreation> g_creations;
decltype(&::CreateDirectoryW) g_realCreateDirectory = nullptr;

BOOL WINAPI RecordingCreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
  DirectoryCreation creation;
  creation.path = path;
  if (attributes != nullptr) {
    creation.withAttributes = true;
    creation.sddl = DaclSddl(attributes);
  }
  g_creations.push_back(creation);
  return g_realCreateDirectory(path, attributes);
}

// Wine neither keeps nor enforces file ACLs (a descriptor read back from disk is made
// from Unix modes), so the protection is checked on what CreateDirectoryW is handed.
TEST(CreateUniqueTempDirectory, HandsTheProtectedWorkDirectoryDescriptorToCreateDirectory) {
  ScratchFolder scratch(L"workdir-acl");
  SecurityAttributes attributes;
  attributes.InitWorkDirectory();
  ASSERT_NE(attributes.Get(), nullptr);

  g_creations.clear();
  std::wstring created;
  {
    ImportHook hook("kernel32.dll", "CreateDirectoryW",
                    reinterpret_cast<void*>(&RecordingCreateDirectoryW));
    ASSERT_TRUE(hook.IsActive());
    g_realCreateDirectory = reinterpret_cast<decltype(&::CreateDirectoryW)>(hook.Original());
    created = CreateUniqueTempDirectory(scratch.Path(), attributes.Get());
  }
  ASSERT_FALSE(created.empty());
  ASSERT_EQ(g_creations.size(), 1u);
  EXPECT_EQ(g_creations[0].path, created);
  ASSERT_TRUE(g_creations[0].withAttributes);
  // "P": the DACL is protected, so nothing is inherited from the parent folder.
  EXPECT_EQ(g_creations[0].sddl,
            NormalSddl("D:P(D;OICI;GA;;;AN)(D;OICI;GA;;;NU)(D;OICI;GA;;;LS)"
                       "(A;OICI;0x1200a9;;;BG)(A;OICI;0x1200a9;;;BU)(A;OICI;GA;;;BA)"
                       "(A;OICI;GA;;;LA)(A;OICI;GA;;;SY)"));
  EXPECT_TRUE(IsDirectory(created));
}

TEST(CreateUniqueTempDirectory, NamesEachDirectoryAfterTheTickCountAndTheAttempt) {
  ScratchFolder scratch(L"workdir-name");
  const DWORD before = ::GetTickCount();
  const std::wstring first = CreateUniqueTempDirectory(scratch.Path(), nullptr);
  const std::wstring second = CreateUniqueTempDirectory(scratch.Path() + L"\\", nullptr);
  const DWORD after = ::GetTickCount();
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second);
  EXPECT_TRUE(IsDirectory(first));
  EXPECT_TRUE(IsDirectory(second));

  const std::wregex form(L"kv(\\d+)(\\d)\\.tmp");
  for (const auto& path : {first, second}) {
    std::wstring directory;
    std::wstring name;
    ASSERT_TRUE(SplitPath(path, directory, name));
    EXPECT_EQ(directory, scratch.Path());
    std::wsmatch match;
    ASSERT_TRUE(std::regex_match(name, match, form)) << WideToUtf8(name);
    // The tick count and the attempt run together: kv<tick><attempt>.tmp.
    const std::wstring digits = match[1].str() + match[2].str();
    bool fits = false;
    for (DWORD tick = before; tick <= after && !fits; ++tick) {
      const std::wstring prefix = std::to_wstring(tick);
      fits = digits.size() > prefix.size() && digits.compare(0, prefix.size(), prefix) == 0;
    }
    EXPECT_TRUE(fits) << WideToUtf8(name) << " outside ticks " << before << ".." << after;
  }
}

// Collisions through the import hook: CreateDirectoryW answers "already exists" for the
// first `refusals` calls (or fails with `error`), so the attempts don't depend on how fast
// the tick count moves.
struct ScriptedCreateDirectory {
  unsigned refusals = 0;
  DWORD error = ERROR_ALREADY_EXISTS;
  std::vector<std::wstring> tried;
};
ScriptedCreateDirectory g_script;

BOOL WINAPI ScriptedCreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
  g_script.tried.push_back(path);
  if (g_script.tried.size() <= g_script.refusals) {
    ::SetLastError(g_script.error);
    return FALSE;
  }
  return g_realCreateDirectory(path, attributes);
}

std::wstring CreateScripted(const std::wstring& parent, unsigned refusals, DWORD error) {
  g_script = ScriptedCreateDirectory{refusals, error, {}};
  ImportHook hook("kernel32.dll", "CreateDirectoryW",
                  reinterpret_cast<void*>(&ScriptedCreateDirectoryW));
  EXPECT_TRUE(hook.IsActive());
  g_realCreateDirectory = reinterpret_cast<decltype(&::CreateDirectoryW)>(hook.Original());
  return CreateUniqueTempDirectory(parent, nullptr);
}

// kv<tick><attempt>.tmp with a tick count read between `before` and `after`.
bool IsAttemptName(const std::wstring& name, DWORD before, DWORD after, size_t attempt) {
  for (DWORD tick = before; tick <= after; ++tick) {
    if (name == L"kv" + std::to_wstring(tick) + std::to_wstring(attempt) + L".tmp") return true;
  }
  return false;
}

TEST(CreateUniqueTempDirectory, TakesTheNextAttemptWhileTheNameIsTaken) {
  ScratchFolder scratch(L"workdir-collide");
  const DWORD before = ::GetTickCount();
  const std::wstring created = CreateScripted(scratch.Path(), 2, ERROR_ALREADY_EXISTS);
  const DWORD after = ::GetTickCount();
  ASSERT_EQ(g_script.tried.size(), 3u);
  for (size_t attempt = 0; attempt < 3; ++attempt) {
    std::wstring directory;
    std::wstring name;
    ASSERT_TRUE(SplitPath(g_script.tried[attempt], directory, name));
    EXPECT_EQ(directory, scratch.Path());
    EXPECT_TRUE(IsAttemptName(name, before, after, attempt)) << WideToUtf8(name);
  }
  EXPECT_EQ(created, g_script.tried[2]);
  EXPECT_TRUE(IsDirectory(created));
}

TEST(CreateUniqueTempDirectory, GivesUpAfterTenThousandCollisions) {
  ScratchFolder scratch(L"workdir-full");
  EXPECT_EQ(CreateScripted(scratch.Path(), 20000, ERROR_ALREADY_EXISTS), L"");
  EXPECT_EQ(g_script.tried.size(), 10000u);
  std::wstring directory;
  std::wstring name;
  ASSERT_TRUE(SplitPath(g_script.tried.back(), directory, name));
  EXPECT_TRUE(EndsWith(name, L"9999.tmp", false)) << WideToUtf8(name);
  EXPECT_TRUE(ListTree(scratch.Path()).empty());
}

TEST(CreateUniqueTempDirectory, GivesUpOnAnyOtherError) {
  ScratchFolder scratch(L"workdir-fail");
  EXPECT_EQ(CreateUniqueTempDirectory(L"", nullptr), L"");
  EXPECT_EQ(CreateUniqueTempDirectory(scratch / L"missing\\parent", nullptr), L"");
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  EXPECT_EQ(CreateScripted(scratch.Path(), 1, ERROR_ACCESS_DENIED), L"");
  EXPECT_EQ(g_script.tried.size(), 1u);
  EXPECT_TRUE(ListTree(scratch.Path()).empty());
}

TEST(DeleteDirectoryTree, RemovesEverythingBelowIncludingReadOnlyAndDotNamedEntries) {
  ScratchFolder scratch(L"deltree");
  const std::wstring root = scratch / L"tree";
  ASSERT_TRUE(CreateDirectoryRecursive(root + L"\\sub\\deeper\\deepest", nullptr));
  ASSERT_TRUE(CreateDirectoryRecursive(root + L"\\..dots", nullptr));
  ASSERT_TRUE(CreateDirectoryRecursive(root + L"\\empty", nullptr));
  for (const wchar_t* file : {L"a.txt", L".hidden", L"..x", L"sub\\b.txt",
                              L"sub\\deeper\\deepest\\c.txt", L"..dots\\d.txt"}) {
    ASSERT_TRUE(WriteFileBytes(root + L"\\" + file, "content"));
  }
  const std::wstring readOnly = root + L"\\sub\\readonly.txt";
  ASSERT_TRUE(WriteFileBytes(readOnly, "locked"));
  ASSERT_TRUE(::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(WriteFileBytes(scratch / L"beside.txt", "stays"));

  EXPECT_TRUE(DeleteDirectoryTree(root, false));
  EXPECT_FALSE(PathExists(root));
  EXPECT_EQ(ListTree(scratch.Path()), std::vector<std::wstring>{L"beside.txt"});
}

TEST(DeleteDirectoryTree, RefusesWhatIsNoDirectoryAndDeletesNothing) {
  ScratchFolder scratch(L"deltree-file");
  ASSERT_TRUE(WriteFileBytes(scratch / L"file.txt", "x"));
  EXPECT_FALSE(DeleteDirectoryTree(scratch / L"file.txt", true));
  EXPECT_FALSE(DeleteDirectoryTree(scratch / L"missing", true));
  EXPECT_FALSE(DeleteDirectoryTree(L"", true));
  EXPECT_TRUE(IsFile(scratch / L"file.txt"));
}

TEST(DeleteDirectoryTree, WithoutDelayRemovesTheRestAndReportsTheHeldFile) {
  ScratchFolder scratch(L"deltree-held");
  const std::wstring root = scratch / L"tree";
  ASSERT_TRUE(CreateDirectoryRecursive(root + L"\\sub", nullptr));
  ASSERT_TRUE(WriteFileBytes(root + L"\\free.txt", "x"));
  ASSERT_TRUE(WriteFileBytes(root + L"\\sub\\held.txt", "x"));
  ASSERT_TRUE(WriteFileBytes(root + L"\\sub\\other.txt", "x"));
  UniqueFileHandle held(::CreateFileW((root + L"\\sub\\held.txt").c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);

  EXPECT_FALSE(DeleteDirectoryTree(root, false));
  EXPECT_EQ(ListTree(root), (std::vector<std::wstring>{L"sub", L"sub\\held.txt"}));
  held.reset();
  EXPECT_TRUE(DeleteDirectoryTree(root, false));
  EXPECT_FALSE(PathExists(root));
}

TEST(MatchPendingFileOperation, MatchesPathPrefixesBehindTheFourCharacterPrefix) {
  // One rename pair whose destination is empty (a deletion).
  const std::wstring entries(L"\\??\\C:\\Temp\\a.txt\0\0", 19);
  struct Case {
    const wchar_t* path;
    StringList exclusions;
    bool match;
  } cases[] = {
      {L"C:\\Temp", {}, true},
      {L"c:\\temp\\A.TXT", {}, true},
      {L"C:\\Te", {}, true},
      {L"C:\\Temp\\b", {}, false},
      {L"C:\\Temp\\a.txt.bak", {}, false},
      {L"", {}, false},
      {L"C:\\Temp", {L"c:\\temp\\a"}, false},
      {L"C:\\Temp", {L"C:\\Other", L"C:\\Temp\\b"}, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchPendingFileOperation(entries.data(), entries.size(), c.path, c.exclusions),
              c.match)
        << WideToUtf8(c.path);
  }
}

TEST(MatchPendingFileOperation, ExaminesOnlyCompleteEntriesLongEnoughForPrefixAndPath) {
  const std::wstring path = L"C:\\x";
  // Exactly four characters longer than the path: examined.
  const std::wstring exact(L"\\??\\C:\\x\0", 9);
  EXPECT_TRUE(MatchPendingFileOperation(exact.data(), exact.size(), path, {}));
  // Three characters of prefix: too short.
  const std::wstring shorter(L"??\\C:\\x\0", 8);
  EXPECT_FALSE(MatchPendingFileOperation(shorter.data(), shorter.size(), path, {}));
  // Five characters of prefix: exactly four are dropped, so the path no longer starts it.
  const std::wstring longer(L"!\\??\\C:\\x\0", 10);
  EXPECT_FALSE(MatchPendingFileOperation(longer.data(), longer.size(), path, {}));
  // The destination of a pair is examined like its source.
  const std::wstring target(L"\\??\\D:\\y\0\\??\\C:\\x\\z\0", 20);
  EXPECT_TRUE(MatchPendingFileOperation(target.data(), target.size(), path, {}));
  // A last entry without its terminator inside the count is not examined.
  EXPECT_FALSE(MatchPendingFileOperation(exact.data(), exact.size() - 1, path, {}));
  EXPECT_FALSE(MatchPendingFileOperation(exact.data(), 0, path, {}));
}

TEST(FormatWide, TruncatesIntoTheBuffer) {
  wchar_t buffer[8] = {};
  EXPECT_EQ(FormatWide(buffer, 8, _TRUNCATE, L"kv%lu%Iu.tmp", 123456ul, size_t{0}), -1);
  EXPECT_STREQ(buffer, L"kv12345");
  wchar_t wide[128] = {};
  EXPECT_EQ(FormatWide(wide, 128, _TRUNCATE, L"kv%lu%Iu.tmp", 123456ul, size_t{1}), 13);
  EXPECT_STREQ(wide, L"kv1234561.tmp");
}

}  // namespace
