// The log file context in this process: location, directories, rotation refusals, the
// cross-process mutex and the refresh of the configuration. Each test has a fresh root
// folder of its own and unique directory and file names, so that only its own registry keys
// (Logging\<dir>\<name>) apply.
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "FileContext.h"
#include "HeldFile.h"
#include "LogReader.h"
#include "LogRegistry.h"
#include "LoggerWin.h"
#include "PendingOperations.h"
#include "ScratchFolder.h"
#include "SddlText.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "UniqueAny.h"

using namespace KvTzkLogging;

namespace {

constexpr wchar_t kDir[] = L"FileContextTest";

std::wstring UniqueName(const char* hint) {
  return std::wstring(hint, hint + strlen(hint)) + L"-" + std::to_wstring(::GetCurrentProcessId());
}

// A log file whose names listed in `links` are reported as links that the system opened as
// themselves, as Windows does (a real file stands in for the link).
class TestFile : public FileSystem::File {
 public:
  std::set<std::wstring>* links = nullptr;
  std::set<std::wstring>* unremovable = nullptr;
  std::vector<std::wstring>* removed = nullptr;

 protected:
  DWORD Attributes(HANDLE file, const std::wstring& name) override {
    const DWORD attributes = File::Attributes(file, name);
    if (links->count(name) > 0 && attributes != INVALID_FILE_ATTRIBUTES) {
      return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
    }
    return attributes;
  }
  bool RemoveLink(HANDLE link, const std::wstring& name) override {
    removed->push_back(name);
    if (unremovable->count(name) > 0) return false;
    links->erase(name);
    return File::RemoveLink(link, name);
  }
};

// The path operations with a window onto what the context asks of them. Wine makes no
// junctions, so a directory listed in `reparse` is reported as a reparse point (an empty real
// directory stands in for the link); the rest reaches the real file system.
class TestPath : public FileSystem::Path {
 public:
  std::vector<std::wstring> calls;  // "remove <path>", "make <path>"
  std::set<std::wstring> reparse;
  std::set<std::wstring> unremovable;
  std::set<std::wstring> missingOnce;  // reported missing once, whether it exists or not
  bool fakeDirectories = false;        // CreateDirs succeeds without touching the disk
  bool failMoves = false;
  size_t createStart = 0;
  SECURITY_ATTRIBUTES* createSecurity = nullptr;
  // Names in the log folder that the file reports as links.
  std::set<std::wstring> fileLinks;
  std::set<std::wstring> unremovableFileLinks;
  std::vector<std::wstring> removedFileLinks;

  std::unique_ptr<FileSystem::File> NewFile() override {
    auto file = std::make_unique<TestFile>();
    file->links = &fileLinks;
    file->unremovable = &unremovableFileLinks;
    file->removed = &removedFileLinks;
    return file;
  }

  bool CreateDirs(const std::wstring& path, size_t start, SECURITY_ATTRIBUTES* security,
                  FileSystem::Folder& folder) override {
    createStart = start;
    createSecurity = security;
    if (fakeDirectories) return true;
    return Path::CreateDirs(path, start, security, folder);
  }
  bool Move(const FileSystem::Folder& folder, const std::wstring& from,
            const std::wstring& to) override {
    if (failMoves) {
      ::SetLastError(ERROR_SHARING_VIOLATION);
      return false;
    }
    return Path::Move(folder, from, to);
  }

 protected:
  DWORD OpenFolder(HANDLE parent, const std::wstring& name, const std::wstring& path,
                   UniqueFileHandle& folder) override {
    if (missingOnce.erase(path) > 0) return ERROR_FILE_NOT_FOUND;
    return Path::OpenFolder(parent, name, path, folder);
  }
  DWORD Attributes(HANDLE folder, const std::wstring& path) override {
    const DWORD attributes = Path::Attributes(folder, path);
    if (reparse.count(path) > 0 && attributes != INVALID_FILE_ATTRIBUTES) {
      return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
    }
    return attributes;
  }
  bool MakeDirectory(HANDLE parent, const std::wstring& name, const std::wstring& path,
                     SECURITY_ATTRIBUTES* security, UniqueFileHandle& folder) override {
    calls.push_back(L"make " + path);
    return Path::MakeDirectory(parent, name, path, security, folder);
  }
  bool RemoveLink(HANDLE link, const std::wstring& path) override {
    calls.push_back(L"remove " + path);
    if (unremovable.count(path) > 0) {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    reparse.erase(path);
    return Path::RemoveLink(link, path);
  }
};

// A context whose process kind and root are given by the test, since Wine runs every
// process as an administrator at high integrity.
class TestContext : public FileContext {
 public:
  bool admin = true;
  bool low = false;
  std::wstring root;
  std::vector<LogRootKind> kindsAsked;
  int lowIntegrityQueries = 0;
  // With securitySeam, the answers of the test of who may change the log folder, one per
  // call (false once they run out), and of its taking over.
  bool securitySeam = false;
  std::vector<bool> othersMayChange;
  bool takeOverSucceeds = true;
  int takeOvers = 0;

  TestContext(std::unique_ptr<FileSystem::Path> path, const std::wstring& ns,
              const std::wstring& name, int flags, std::wstring rootFolder)
      : FileContext(std::move(path), ns, kDir, name, LogInfo, flags), root(std::move(rootFolder)) {}

  void WriteText(const std::string& text) { Write(text.data(), text.size()); }

 protected:
  bool ProcessIsAdmin() override { return admin; }
  bool ProcessIsLowIntegrity() override {
    ++lowIntegrityQueries;
    return low;
  }
  std::wstring LogRoot(LogRootKind kind) override {
    kindsAsked.push_back(kind);
    return root;
  }
  bool FolderOthersMayChange(HANDLE folder) override {
    if (!securitySeam) return FileContext::FolderOthersMayChange(folder);
    if (othersMayChange.empty()) return false;
    const bool answer = othersMayChange.front();
    othersMayChange.erase(othersMayChange.begin());
    return answer;
  }
  bool TakeFolderOver(HANDLE folder, bool inheritable) override {
    ++takeOvers;
    if (!securitySeam) return FileContext::TakeFolderOver(folder, inheritable);
    return takeOverSucceeds;
  }
};

// Gives the folder a DACL of Everyone full access; under Wine its mode becomes 0777.
bool MakeEveryoneFull(const std::wstring& folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  const UniqueLocal held(descriptor);
  return ::SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, descriptor) != FALSE;
}

// Makes root + relative with every directory on the way.
void MakeDirectories(const std::wstring& root, const std::wstring& relative) {
  for (size_t end = relative.find(L'\\', 1);; end = relative.find(L'\\', end + 1)) {
    ::CreateDirectoryW((root + relative.substr(0, end)).c_str(), nullptr);
    if (end == std::wstring::npos) break;
  }
}

struct Fixture {
  TestPath* path = nullptr;
  std::unique_ptr<TestContext> context;
};

Fixture MakeContext(const std::wstring& root, const std::wstring& name, int flags = 0,
                    const std::wstring& ns = L"") {
  Fixture fixture;
  auto path = std::make_unique<TestPath>();
  fixture.path = path.get();
  fixture.context = std::make_unique<TestContext>(std::move(path), ns, name, flags, root);
  return fixture;
}

TEST(LogFileLocation, NamespacesFileNamesAndMutexName) {
  struct Case {
    const wchar_t* ns;
    const wchar_t* expected;  // basePath below the root
  };
  const Case cases[] = {
      {L"", L"\\Korvane\\Log\\FileContextTest\\PurgeKit"},
      {L"default", L"\\Korvane\\Log\\FileContextTest\\PurgeKit"},
      {L"fl_default", L"\\Korvane\\Log\\FileContextTest\\PurgeKit"},
      {L"ptw_default", L"\\Korvane\\Log\\FileContextTest\\PurgeKit"},
      {L"Default", L"\\Korvane\\NS\\Default\\Log\\FileContextTest\\PurgeKit"},
      {L"fl_default2", L"\\Korvane\\NS\\fl_default2\\Log\\FileContextTest\\PurgeKit"},
  };
  const std::wstring root = L"C:\\ProgramData";
  for (const auto& c : cases) {
    Fixture f = MakeContext(root, L"PurgeKit", 0, c.ns);
    f.path->fakeDirectories = true;
    ASSERT_TRUE(f.context->Init()) << c.ns;
    EXPECT_EQ(f.context->BasePath(), root + c.expected) << c.ns;
    EXPECT_EQ(f.path->createStart, root.size() + 1) << c.ns;
  }

  Fixture f = MakeContext(root, L"PurgeKit");
  f.path->fakeDirectories = true;
  ASSERT_TRUE(f.context->Init());
  const std::wstring base = L"C:\\ProgramData\\Korvane\\Log\\FileContextTest\\PurgeKit";
  EXPECT_EQ(f.context->FileName(0), base + L".log");
  EXPECT_EQ(f.context->FileName(1), base + L".1.log");
  EXPECT_EQ(f.context->FileName(2), base + L".2.log");
  EXPECT_EQ(f.context->MutexName(false),
            L"Global\\KvTzkLogging_C:_ProgramData_Korvane_Log_FileContextTest_PurgeKit");
  EXPECT_EQ(f.context->MutexName(true),
            L"Local\\KvTzkLogging_C:_ProgramData_Korvane_Log_FileContextTest_PurgeKit");
  // The location is decided once: later calls only read the size limit again.
  EXPECT_FALSE(f.context->Init());
  EXPECT_EQ(f.context->kindsAsked.size(), 1u);
}

// Wine runs every process as an administrator at high integrity, and cannot lower a token
// (SetTokenInformation with TokenIntegrityLevel succeeds and changes nothing): the other kinds
// of process are given through the context's token seam, while directories, files and mutex
// are real.
TEST(LogFileLocation, TheKindOfProcessChoosesRootSecurityFileNameAndMutex) {
  struct Case {
    const char* label;
    bool admin;
    bool low;
    int flags;
    LogRootKind kind;
    std::string sddl;  // of the directories' security attributes
    bool sidInName;
    const wchar_t* mutexPrefix;
  };
  const Case cases[] = {
      {"administrator", true, false, 0, AdminRoot, kInheritedDirSddl, false, L"Global\\"},
      {"administrator, restricted", true, false, RestrictedDirectoryAcl, AdminRoot,
       kRestrictedDirSddl, false, L"Global\\"},
      {"administrator, per user", true, false, PerUserFile, AdminRoot, kInheritedDirSddl, true,
       L"Global\\"},
      {"administrator at low integrity", true, true, 0, AdminRoot, kInheritedDirSddl, false,
       L"Global\\"},
      {"user, per user ignored", false, false, PerUserFile | RestrictedDirectoryAcl, UserRoot,
       "(none)", false, L"Global\\"},
      {"low integrity", false, true, 0, LowIntegrityRoot, "(none)", false, L"Local\\"},
  };
  const std::wstring sid = GetUserSidString();
  ASSERT_EQ(sid.rfind(L"S-1-5-", 0), 0u);
  int index = 0;
  for (const auto& c : cases) {
    const ScratchFolder rootFolder;
    const std::wstring& root = rootFolder.Path();
    const std::wstring name = UniqueName("kind") + L"-" + std::to_wstring(index++);
    Fixture f = MakeContext(root, name, c.flags);
    f.context->admin = c.admin;
    f.context->low = c.low;
    ASSERT_TRUE(f.context->Init()) << c.label;
    ASSERT_EQ(f.context->kindsAsked.size(), 1u);
    EXPECT_EQ(f.context->kindsAsked[0], c.kind) << c.label;
    EXPECT_EQ(f.context->lowIntegrityQueries, c.admin ? 0 : 1) << c.label;
    EXPECT_EQ(f.context->IsLowIntegrityProcess(), !c.admin && c.low) << c.label;
    EXPECT_EQ(DaclSddl(f.path->createSecurity), NormalSddl(c.sddl)) << c.label;
    EXPECT_EQ(f.path->createSecurity, f.context->DirSecurityAttributes()) << c.label;
    const std::wstring base = root + L"\\Korvane\\Log\\" + kDir + L"\\" + name;
    EXPECT_EQ(f.context->BasePath(), c.sidInName ? base + L"." + sid : base) << c.label;

    // The mutex exists under its name, and the line reaches the file.
    const std::wstring mutexName = f.context->MutexName(f.context->IsLowIntegrityProcess());
    EXPECT_EQ(mutexName.rfind(c.mutexPrefix, 0), 0u) << c.label;
    const UniqueHandle opened(::OpenMutexW(SYNCHRONIZE, FALSE, mutexName.c_str()));
    EXPECT_TRUE(opened) << c.label;
    f.context->WriteText("line\r\n");
    EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "line\r\n") << c.label;
    f.context.reset();
  }
}

// Wine cannot make junctions: the path seam reports chosen directories as reparse points.
TEST(LogFileDirectories, ReparsePointsAreReplacedAndTheRootIsNeverTouched) {
  struct Case {
    const char* label;
    std::vector<std::wstring> reparse;  // relative to the root; "" is the root itself
    std::vector<std::wstring> unremovable;
    std::vector<std::wstring> missingOnce;
    const char* plainFile;  // a file standing where a directory belongs
    bool initialised;
    std::vector<std::wstring> removed;
  };
  const std::wstring korvane = L"\\Korvane";
  const std::wstring log = L"\\Korvane\\Log";
  const std::wstring dir = L"\\Korvane\\Log\\FileContextTest";
  const Case cases[] = {
      {"junction at the maker's folder", {korvane}, {}, {}, nullptr, true, {korvane}},
      {"junction at the log directory", {dir}, {}, {}, nullptr, true, {dir}},
      {"the root is a junction", {L""}, {}, {}, nullptr, true, {}},
      {"a junction that can't be removed", {log}, {log}, {}, nullptr, false, {log}},
      {"made meanwhile by another process", {}, {}, {log}, nullptr, true, {}},
      {"a plain file in the way", {}, {}, {}, "Korvane", false, {}},
  };
  for (const auto& c : cases) {
    const ScratchFolder rootFolder;
    const std::wstring& root = rootFolder.Path();
    Fixture f = MakeContext(root, UniqueName("dirs"));
    for (const auto& relative : c.reparse) {
      MakeDirectories(root, relative);  // the last one stands in for the link
      f.path->reparse.insert(root + relative);
    }
    for (const auto& relative : c.unremovable) f.path->unremovable.insert(root + relative);
    for (const auto& relative : c.missingOnce) {
      MakeDirectories(root, relative);
      f.path->missingOnce.insert(root + relative);
    }
    if (c.plainFile != nullptr) {
      const std::string name = c.plainFile;
      ASSERT_TRUE(WriteFileBytes(root + L"\\" + std::wstring(name.begin(), name.end()), "x"));
    }

    EXPECT_EQ(f.context->Init(), c.initialised) << c.label;
    std::vector<std::wstring> removed;
    for (const auto& call : f.path->calls) {
      // Nothing at or above the root is ever created or removed.
      const std::wstring target = call.substr(call.find(L' ') + 1);
      EXPECT_EQ(target.rfind(root + L"\\", 0), 0u) << c.label;
      EXPECT_GT(target.size(), root.size() + 1) << c.label;
      if (call.rfind(L"remove ", 0) == 0) removed.push_back(target.substr(root.size()));
    }
    EXPECT_EQ(removed, c.removed) << c.label;
    const DWORD attributes = ::GetFileAttributesW(root.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << c.label;
    if (c.initialised) {
      const DWORD made = ::GetFileAttributesW((root + dir).c_str());
      EXPECT_NE(made, INVALID_FILE_ATTRIBUTES) << c.label;
      EXPECT_TRUE(f.path->reparse.empty() || c.reparse == std::vector<std::wstring>{L""})
          << c.label;
      f.context->WriteText("written\r\n");
      EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "written\r\n") << c.label;
    } else {
      // No location: every line is dropped, and the location is never tried again.
      EXPECT_TRUE(f.context->BasePath().empty()) << c.label;
      EXPECT_EQ(f.context->Mutex(), nullptr) << c.label;
      f.context->WriteText("dropped\r\n");
      EXPECT_FALSE(f.context->Init()) << c.label;
      EXPECT_EQ(f.context->kindsAsked.size(), 1u) << c.label;
    }
    f.context.reset();
  }
}

// Wine keeps neither owners nor DACLs of files (it reads them back from Unix modes): what the
// test of who may change the log folder and its taking over answer comes through the context's
// seam, while the folders and the file are real.
TEST(LogFileDirectories, AFolderOthersMayChangeIsTakenOverOrNotWritten_SecuritySeam) {
  struct Case {
    const char* label;
    bool admin;
    std::vector<bool> othersMayChange;  // the answers before and after the taking over
    bool takeOverSucceeds;
    int takeOvers;
    bool written;
  };
  const Case cases[] = {
      {"nobody else may change it", true, {false}, true, 0, true},
      {"taken over", true, {true, false}, true, 1, true},
      {"the taking over fails", true, {true}, false, 1, false},
      {"others may still change it afterwards", true, {true, true}, true, 1, false},
      {"not an administrator: its own folder is not looked at", false, {true}, true, 0, true},
  };
  int index = 0;
  for (const auto& c : cases) {
    const ScratchFolder rootFolder;
    Fixture f = MakeContext(rootFolder.Path(), UniqueName("owned") + std::to_wstring(index++));
    f.context->admin = c.admin;
    f.context->securitySeam = true;
    f.context->othersMayChange = c.othersMayChange;
    f.context->takeOverSucceeds = c.takeOverSucceeds;
    EXPECT_EQ(f.context->Init(), c.written) << c.label;
    EXPECT_EQ(f.context->takeOvers, c.takeOvers) << c.label;
    EXPECT_EQ(f.context->FileLogOff(), !c.written) << c.label;
    EXPECT_EQ(f.context->LogFolder().trusted, c.admin && c.written) << c.label;
    const std::wstring file =
        rootFolder.Path() + L"\\Korvane\\Log\\" + kDir + L"\\" + f.context->LeafName(0);
    f.context->WriteText("line\r\n");
    EXPECT_EQ(ReadFileBytes(file), c.written ? "line\r\n" : "") << c.label;
    EXPECT_EQ(FileExists(file), c.written) << c.label;
    f.context.reset();
  }
}

// Under Wine a folder of mode 0777 reads as one that Everyone may change (0x1301ff): the
// administrator's context takes it over, and Everyone's entry goes.
TEST(LogFileDirectories, AnAdministratorsFolderOfMode0777IsTakenOver) {
  const ScratchFolder rootFolder;
  const std::wstring& root = rootFolder.Path();
  MakeDirectories(root, std::wstring(L"\\Korvane\\Log\\") + kDir);
  const std::wstring folder = root + L"\\Korvane\\Log\\" + kDir;
  ASSERT_TRUE(MakeEveryoneFull(folder));
  ASSERT_NE(FileSecurityText(folder).find(";0x1301ff;;;WD)"), std::string::npos)
      << FileSecurityText(folder);
  Fixture f = MakeContext(root, UniqueName("open"));
  ASSERT_TRUE(f.context->Init());
  EXPECT_EQ(f.context->takeOvers, 1);
  EXPECT_EQ(FileSecurityText(folder).find(";;;WD)"), std::string::npos) << FileSecurityText(folder);
  f.context->WriteText("line\r\n");
  EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "line\r\n");
  // The folders above are not taken over.
  ASSERT_TRUE(MakeEveryoneFull(root + L"\\Korvane"));
  Fixture again = MakeContext(root, UniqueName("above"));
  ASSERT_TRUE(again.context->Init());
  EXPECT_EQ(again.context->takeOvers, 0);
  EXPECT_NE(FileSecurityText(root + L"\\Korvane").find(";0x1301ff;;;WD)"), std::string::npos);
}

// A generation that can't be deleted (another program holds it without delete sharing) is
// scheduled for the restart in an administrator's folder, which passed the test of who may
// change it, and nowhere else.
TEST(LogFileRotation, WhatCannotBeDeletedWaitsForTheRestartOnlyInATrustedFolder) {
  for (const bool admin : {true, false}) {
    PendingOperationsGuard pending;
    const ScratchFolder rootFolder;
    const std::wstring name = UniqueName("held") + (admin ? L"-admin" : L"-user");
    ScopedRegValue limit(HKEY_LOCAL_MACHINE, LoggingKey(kDir, name), L"LogMaxSizeKB");
    ASSERT_TRUE(limit.SetDword(0));
    Fixture f = MakeContext(rootFolder.Path(), name);
    f.context->admin = admin;
    ASSERT_TRUE(f.context->Init());
    ASSERT_TRUE(WriteFileBytes(f.context->FileName(0), "full\r\n"));
    ASSERT_TRUE(WriteFileBytes(f.context->FileName(2), "oldest\r\n"));
    {
      HeldFile holder(f.context->FileName(2));
      ASSERT_TRUE(holder.IsHeld());
      f.context->WriteText("new\r\n");
    }
    EXPECT_EQ(HasEntry(PendingOperationsGuard::Entries(), f.context->FileName(2)), admin) << admin;
    EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "new\r\n") << admin;
    f.context.reset();
  }
}

// Wine follows a Unix symbolic link on every open; Windows opens the link itself: the file's
// seam reports the log file as such a link (a real file with other content stands in for it).
TEST(LogFileRotation, ALinkInPlaceOfTheLogFileIsRemovedAsTheLinkAndAFreshFileMade_LinkSeam) {
  for (const bool removable : {true, false}) {
    const ScratchFolder rootFolder;
    const std::wstring name = UniqueName("linked") + (removable ? L"-removable" : L"-stuck");
    Fixture f = MakeContext(rootFolder.Path(), name);
    ASSERT_TRUE(f.context->Init());
    ASSERT_TRUE(WriteFileBytes(f.context->FileName(0), "the link's target\r\n"));
    f.path->fileLinks.insert(f.context->LeafName(0));
    if (!removable) f.path->unremovableFileLinks.insert(f.context->LeafName(0));
    f.context->WriteText("line\r\n");
    f.context->WriteText("next\r\n");
    EXPECT_EQ(f.path->removedFileLinks, std::vector<std::wstring>{f.context->LeafName(0)})
        << removable;
    if (removable) {
      EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "line\r\nnext\r\n");
      EXPECT_FALSE(f.context->FileLogOff());
    } else {
      // Nothing is written through it, moved or deleted, and the file log stops.
      EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "the link's target\r\n");
      EXPECT_TRUE(f.context->FileLogOff());
    }
    EXPECT_FALSE(FileExists(f.context->FileName(1))) << removable;
    f.context.reset();
  }
}

// A current file that can't be moved aside: a UTF-16 file is never written to, while an
// ordinary file is appended to rather than overwritten.
TEST(LogFileRotation, AFileThatCannotBeMovedAsideIsNeverOverwritten) {
  struct Case {
    const char* label;
    std::string content;
    bool hardLink;
    std::string expected;
  };
  const std::string utf16(
      "\xFF\xFE"
      "a\0b\0\r\0\n\0",
      10);
  const Case cases[] = {
      {"UTF-16 file", utf16, false, utf16},
      {"file with a second hard link", "linked\r\n", true, "linked\r\n"},
      {"full ordinary file", "old\r\n", false, "old\r\nnew\r\n"},
  };
  int index = 0;
  for (const auto& c : cases) {
    const ScratchFolder rootFolder;
    const std::wstring& root = rootFolder.Path();
    const std::wstring name = UniqueName("stuck") + L"-" + std::to_wstring(index++);
    ScopedRegValue limit(HKEY_LOCAL_MACHINE, LoggingKey(kDir, name), L"LogMaxSizeKB");
    ASSERT_TRUE(limit.SetDword(0));  // 3 bytes: every fixture is full
    Fixture f = MakeContext(root, name);
    ASSERT_TRUE(f.context->Init());
    ASSERT_TRUE(WriteFileBytes(f.context->FileName(0), c.content));
    const std::wstring link = root + L"\\second-link.log";
    if (c.hardLink) {
      ASSERT_TRUE(::CreateHardLinkW(link.c_str(), f.context->FileName(0).c_str(), nullptr));
    }
    f.path->failMoves = true;
    f.context->WriteText("new\r\n");
    EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), c.expected) << c.label;
    EXPECT_FALSE(FileExists(f.context->FileName(1))) << c.label;
    if (c.hardLink) {
      EXPECT_EQ(ReadFileBytes(link), c.content) << c.label;
    }

    // Once the file can be moved, it becomes .1.log unchanged and the line starts a new one.
    f.path->failMoves = false;
    f.context->WriteText("new\r\n");
    if (c.expected == c.content) {
      EXPECT_EQ(ReadFileBytes(f.context->FileName(1)), c.content) << c.label;
      EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "new\r\n") << c.label;
    }
    f.context.reset();
  }
}

// A current file that can't be opened at all (a folder has its name) is no full file: nothing
// of the older generations is moved or deleted for it, and the line is dropped.
TEST(LogFileRotation, ACurrentFileThatCannotBeOpenedMovesAndDeletesNothing) {
  const ScratchFolder rootFolder;
  Fixture f = MakeContext(rootFolder.Path(), UniqueName("unopened"));
  ASSERT_TRUE(f.context->Init());
  ASSERT_TRUE(::CreateDirectoryW(f.context->FileName(0).c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(f.context->FileName(1), "previous\r\n"));
  ASSERT_TRUE(WriteFileBytes(f.context->FileName(2), "oldest\r\n"));
  f.context->WriteText("dropped\r\n");
  EXPECT_EQ(ReadFileBytes(f.context->FileName(1)), "previous\r\n");
  EXPECT_EQ(ReadFileBytes(f.context->FileName(2)), "oldest\r\n");
  EXPECT_FALSE(f.context->FileLogOff());
}

TEST(LogFileRotation, TheLimitIsCheckedBeforeEachLine) {
  struct Case {
    DWORD limitKB;
    size_t existing;  // bytes already in the current file
    bool rotates;
  };
  const Case cases[] = {
      {50, 51199, false}, {50, 51200, true}, {1, 1023, false},
      {1, 1024, true},    {0, 2, false},     {0, 3, true},
  };
  int index = 0;
  for (const auto& c : cases) {
    const ScratchFolder rootFolder;
    const std::wstring& root = rootFolder.Path();
    const std::wstring name = UniqueName("limit") + L"-" + std::to_wstring(index++);
    ScopedRegValue limit(HKEY_LOCAL_MACHINE, LoggingKey(kDir, name), L"LogMaxSizeKB");
    ASSERT_TRUE(limit.SetDword(c.limitKB));
    Fixture f = MakeContext(root, name);
    ASSERT_TRUE(f.context->Init());
    EXPECT_EQ(f.context->MaxSize(), std::max<uint64_t>(3, c.limitKB * 1024ull));
    const std::string existing(c.existing, 'x');
    ASSERT_TRUE(WriteFileBytes(f.context->FileName(0), existing));
    f.context->WriteText("next\r\n");
    if (c.rotates) {
      EXPECT_EQ(ReadFileBytes(f.context->FileName(1)), existing) << c.existing;
      EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "next\r\n") << c.existing;
    } else {
      // A line may carry the file beyond the limit.
      EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), existing + "next\r\n") << c.existing;
      EXPECT_FALSE(FileExists(f.context->FileName(1))) << c.existing;
    }
    f.context.reset();
  }
}

TEST(LogFileRotation, DeleteByRenameFreesTheNameAtOnce) {
  const ScratchFolder rootFolder;
  Fixture f = MakeContext(rootFolder.Path(), UniqueName("rename"));
  ASSERT_TRUE(f.context->Init());
  const std::wstring path = f.context->FileName(2);
  for (const bool inUse : {false, true}) {
    ASSERT_TRUE(WriteFileBytes(path, "old\r\n"));
    // Another process reading the file, sharing it for deletion as the writers do.
    const UniqueFileHandle reader(
        inUse ? ::CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr)
              : INVALID_HANDLE_VALUE);
    f.context->DeleteByRename(path);
    EXPECT_FALSE(FileExists(path)) << inUse;
    ASSERT_TRUE(WriteFileBytes(path, "new\r\n")) << inUse;
    EXPECT_EQ(ReadFileBytes(path), "new\r\n") << inUse;
    ASSERT_TRUE(::DeleteFileW(path.c_str()));
  }
}

// Holds a named mutex on a thread of its own until told to let go, or ends without
// releasing it (the mutex is then abandoned).
class MutexHolder {
 public:
  MutexHolder(const std::wstring& name, bool abandon) {
    thread_ = std::thread([this, name, abandon] {
      UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
      held_ = mutex && ::WaitForSingleObject(mutex.get(), 5000) == WAIT_OBJECT_0;
      ready_ = true;
      if (abandon) return;
      while (!letGo_) ::Sleep(10);
      if (held_) ::ReleaseMutex(mutex.get());
    });
    while (!ready_) ::Sleep(1);
  }
  ~MutexHolder() { LetGo(); }
  void LetGo() {
    letGo_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool Held() const { return held_; }

 private:
  std::atomic<bool> held_{false};
  std::atomic<bool> ready_{false};
  std::atomic<bool> letGo_{false};
  std::thread thread_;
};

TEST(LogFileMutex, AHolderElsewhereCostsTheLineAfterHalfASecond) {
  const ScratchFolder rootFolder;
  const std::wstring& root = rootFolder.Path();
  Fixture f = MakeContext(root, UniqueName("held"));
  ASSERT_TRUE(f.context->Init());
  const std::wstring name = f.context->MutexName(false);
  {
    MutexHolder holder(name, false);
    ASSERT_TRUE(holder.Held());
    const ULONGLONG start = ::GetTickCount64();
    f.context->WriteText("dropped\r\n");
    const ULONGLONG waited = ::GetTickCount64() - start;
    EXPECT_GE(waited, 450u);
    EXPECT_LT(waited, 2000u);
    EXPECT_FALSE(FileExists(f.context->FileName(0)));
  }
  f.context->WriteText("after release\r\n");
  EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "after release\r\n");

  // A mutex abandoned by a thread that ended while holding it is taken over.
  {
    MutexHolder holder(name, true);
    ASSERT_TRUE(holder.Held());
    holder.LetGo();
  }
  f.context->WriteText("after abandon\r\n");
  EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "after release\r\nafter abandon\r\n");
  // Every write let go of the mutex again.
  MutexHolder after(name, false);
  EXPECT_TRUE(after.Held());
}

// A mutex of the context's name that exists before it: waited for only where the owner is
// the system's, the Administrators' or this process's user's and the handle can tell; any
// other is left alone, each line is written at once even while another thread holds it, and
// the notice says why.
TEST(LogFileMutex, AnExistingMutexIsWaitedForOnlyWhereItIsTheProgramsOwn) {
  struct Case {
    const char* label;
    const wchar_t* sddl;
    bool waited;
    const char* notice;  // how the notice goes on after the name
  };
  const Case cases[] = {
      {"the Administrators', synchronise and read control", L"O:BAD:(A;;0x00120000;;;WD)", true,
       ""},
      {"this user's", L"D:(A;;GA;;;WD)", true, ""},
      {"the Administrators', synchronise only: as its owner this process reads it",
       L"O:BAD:(A;;0x00100000;;;WD)", true, ""},
      {"another user's", L"O:S-1-5-21-0-0-0-1001D:(A;;GA;;;WD)", false,
       "' exists and is owned by S-1-5-21-0-0-0-1001, not by the system, the Administrators or "
       "this process's user"},
      {"another user's, open to nobody else", L"O:S-1-5-21-0-0-0-1001D:", false,
       "' exists but can't be opened for waiting (error 5)"},
  };
  int index = 0;
  for (const auto& c : cases) {
    const ScratchFolder rootFolder;
    const std::wstring& root = rootFolder.Path();
    const std::wstring contextName = UniqueName("existing") + L"-" + std::to_wstring(index++);
    Fixture f = MakeContext(root, contextName);
    // The name the context will take, made before it exists.
    std::wstring name =
        L"Global\\KvTzkLogging_" + root + L"\\Korvane\\Log\\" + kDir + L"\\" + contextName;
    std::replace(name.begin() + 19, name.end(), L'\\', L'_');
    std::wstring sddl = c.sddl;
    if (sddl.rfind(L"O:", 0) != 0) sddl = L"O:" + GetUserSidString() + sddl;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
    const UniqueLocal descriptorHolder(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    const UniqueHandle existing(::CreateMutexW(&attributes, FALSE, name.c_str()));
    ASSERT_TRUE(existing) << c.label;

    ASSERT_TRUE(f.context->Init()) << c.label;
    ASSERT_EQ(f.context->MutexName(false), name) << c.label;
    if (c.waited) {
      EXPECT_EQ(f.context->MutexNotice(), L"") << c.label;
      ASSERT_NE(f.context->Mutex(), nullptr) << c.label;
      f.context->WriteText("one\r\n");
      f.context->WriteText("two\r\n");
      EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "one\r\ntwo\r\n") << c.label;
      // Released after each line: another thread gets it at once.
      std::atomic<DWORD> result{WAIT_FAILED};
      std::thread([&] { result = ::WaitForSingleObject(existing.get(), 0); }).join();
      EXPECT_TRUE(result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) << c.label;
      continue;
    }
    EXPECT_EQ(f.context->Mutex(), nullptr) << c.label;
    const std::string notice = WideToUtf8(f.context->MutexNotice());
    EXPECT_EQ(notice, "The log mutex '" + WideToUtf8(name) + c.notice +
                          ": it is not waited for, and this process's lines are ordered by its "
                          "own lock only")
        << c.label;
    // Held elsewhere the whole time, it costs no line and no wait.
    std::atomic<bool> letGo{false};
    std::atomic<bool> holding{false};
    std::thread holder([&] {
      holding = ::WaitForSingleObject(existing.get(), 5000) == WAIT_OBJECT_0;
      while (!letGo) ::Sleep(10);
      ::ReleaseMutex(existing.get());
    });
    while (!holding) ::Sleep(1);
    const ULONGLONG start = ::GetTickCount64();
    f.context->WriteText("one\r\n");
    f.context->WriteText("two\r\n");
    f.context->Flush();
    EXPECT_LT(::GetTickCount64() - start, 400u) << c.label;
    letGo = true;
    holder.join();
    EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "one\r\ntwo\r\n") << c.label;
    f.context.reset();
  }
}

TEST(LogFileMutex, WithoutNamedMutexNoNameIsTaken) {
  const ScratchFolder rootFolder;
  const std::wstring& root = rootFolder.Path();
  Fixture f = MakeContext(root, UniqueName("unnamed"), NoNamedMutex);
  ASSERT_TRUE(f.context->Init());
  ASSERT_NE(f.context->Mutex(), nullptr);
  const std::wstring name = f.context->MutexName(false);
  const UniqueHandle opened(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(opened);
  f.context->WriteText("line\r\n");
  EXPECT_EQ(ReadFileBytes(f.context->FileName(0)), "line\r\n");
}

// A logger with a clock of the test's own over a real file context in a fresh root.
class ClockedLogger : public LoggerWin {
 public:
  uint64_t tick = 1000;
  std::wstring root;
  std::wstring logFile;

  std::unique_ptr<FileContext> CreateFileContext(const std::wstring& ns, const std::wstring&,
                                                 const std::wstring& name, int,
                                                 int flags) override {
    return std::make_unique<TestContext>(std::make_unique<FileSystem::Path>(), ns, name, flags,
                                         root);
  }
  void Log(int level, const wchar_t* text) { LogFW(level, L"%s", text); }

 protected:
  uint64_t TickCount() override { return tick; }
};

TEST(LogFileRefresh, ChangedValuesTakeEffectAtTheNextRefreshAndNotBefore) {
  const std::wstring name = UniqueName("refresh");
  ScopedRegValue level(HKEY_LOCAL_MACHINE, LoggingKey(kDir, name), L"LogLevel");
  ScopedRegValue limit(HKEY_LOCAL_MACHINE, LoggingKey(kDir, name), L"LogMaxSizeKB");
  ASSERT_TRUE(level.SetDword(4));
  ASSERT_TRUE(limit.SetDword(50));
  const ScratchFolder folder;
  ClockedLogger logger;
  logger.root = folder.Path();
  logger.InitW(nullptr, kDir, name.c_str(), LogInfo, 0);
  const std::wstring directory = logger.root + L"\\Korvane\\Log\\" + kDir;
  logger.Log(LogDebug, L"debug before the change");

  ASSERT_TRUE(level.SetDword(5));
  ASSERT_TRUE(limit.SetDword(0));
  logger.tick += 60000;
  logger.Log(LogDebug, L"debug within the minute");
  logger.Log(LogInfo, L"info within the minute");
  EXPECT_FALSE(FileExists(directory + L"\\" + name + L".1.log"));

  // The refresh at the next level test reads both values; the caller's last error survives
  // it, whether the message is written or dropped.
  logger.tick += 1;
  ::SetLastError(4321);
  logger.Log(LogDebug, L"debug after the refresh");
  EXPECT_EQ(::GetLastError(), 4321u);
  logger.Log(LogInfo, L"info after the refresh");
  ASSERT_TRUE(level.SetDword(3));
  logger.tick += 60001;
  ::SetLastError(8765);
  logger.Log(LogInfo, L"info dropped after the second refresh");
  EXPECT_EQ(::GetLastError(), 8765u);
  logger.End();

  std::vector<std::string> texts;
  for (const auto& line : ReadLogLines(directory, name)) {
    if (line.wellFormed) texts.push_back(line.tag + ": " + line.text);
  }
  const std::vector<std::string> expected = {
      " I: ***  LOGGING STARTED  *** (UTC+0:00, session: 0x1)",
      " I: info within the minute",
      " D: debug after the refresh",
      " I: info after the refresh",
  };
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[0].substr(0, 28), expected[0].substr(0, 28));
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.end()),
            std::vector<std::string>(expected.begin() + 1, expected.end()));
  // With the 3-byte limit now read, each line after the refresh has a file of its own.
  EXPECT_EQ(ParseLogLines(ReadFileBytes(directory + L"\\" + name + L".log")).size(), 1u);
  EXPECT_EQ(ParseLogLines(ReadFileBytes(directory + L"\\" + name + L".1.log")).size(), 1u);
}

}  // namespace
