// Silent runs of the real PurgeKit64.exe: a product script wipes a product folder that holds a
// file another process keeps open, and others remove next to what they must leave alone: a
// folder with more in it, folders held open elsewhere, a directory symbolic link, names ending
// in a dot or a blank.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HeldFile.h"
#include "LogReader.h"
#include "LogRegistry.h"
#include "PathUtils.h"
#include "PendingOperations.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestFiles.h"

namespace {

TEST(FilesRun, AHeldFileAsksForARestartAndTheLookAlikeFolderStays) {
  PendingOperationsGuard pending;
  ScratchFolder base(L"files-run");
  base.Write(L"Halcyra\\bin\\agent.exe", "a");
  base.Write(L"Halcyra\\readme.txt", "r");
  const std::wstring held = base.Write(L"Halcyra\\bin\\service.dll", "s");
  const std::wstring sibling = base.Write(L"HalcyraShared\\shared.dat", "keep");
  HeldFile holder(held);
  ASSERT_TRUE(holder.IsHeld());
  ASSERT_TRUE(::SetEnvironmentVariableW(L"PURGEKIT_TEST_FILES", base.Path().c_str()));

  ScopedLogRoot root;
  ScopedRegValue level(HKEY_LOCAL_MACHINE, LoggingKey(), L"LogLevel");
  ASSERT_TRUE(level.SetDword(5));  // the delay lines are details
  const LoggedRun run = RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" +
                                                        FixturePath(L"run\\files") + L"\"");
  ::SetEnvironmentVariableW(L"PURGEKIT_TEST_FILES", nullptr);
  const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.exitCode, 99u) << Dump(lines);

  const int found = IndexOf(lines, "[files.lua] files found true");
  const int delayed =
      IndexOf(lines, "FileOps::WipeFileInternal: Delay delete: '" + WideToUtf8(held) + "'");
  const int reboot = IndexOf(lines, "Status::SetRebootNeeded: Reboot is needed");
  EXPECT_GE(found, 0) << Dump(lines);
  EXPECT_GT(delayed, found) << Dump(lines);
  EXPECT_GT(reboot, delayed) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "FileOps::WipeDirectoryInternal: Delay delete: '" +
                               WideToUtf8(base / L"Halcyra") + "'"),
            0)
      << Dump(lines);
  EXPECT_GE(IndexOf(lines, "wWinMain: Exiting with code: 99"), 0) << Dump(lines);

  EXPECT_EQ(ListTree(base / L"Halcyra"), (std::vector<std::wstring>{L"bin", L"bin\\service.dll"}));
  EXPECT_TRUE(HasEntry(PendingOperationsGuard::Entries(), held));
  EXPECT_EQ(ReadFileBytes(sibling), "keep");
}

// A folder that still holds files, and a path below a file: nothing but the named file goes,
// nothing waits for the restart, and the run ends as a plain success.
TEST(FilesRun, WhatARemovalDidNotNameIsNeitherTakenOverNorScheduled) {
  PendingOperationsGuard pending;
  ScratchFolder base(L"files-kept");
  const std::wstring named = base.Write(L"Kept\\a.txt", "a");
  const std::wstring file = base.Write(L"Kept\\b.txt", "b");
  base.Write(L"Kept\\c.txt", "c");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"PURGEKIT_TEST_FILES", base.Path().c_str()));

  ScopedLogRoot root;
  const LoggedRun run = RunForLog(
      PurgeKit64Path(), L"--silent --language en --scripts \"" + FixturePath(L"run\\kept") + L"\"");
  ::SetEnvironmentVariableW(L"PURGEKIT_TEST_FILES", nullptr);
  const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.exitCode, 0u) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[kept.lua] file and parent true"), 0) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[kept.lua] folder false"), 0) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[kept.lua] below a file false"), 0) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "wWinMain: Exiting with code: 0"), 0) << Dump(lines);

  EXPECT_EQ(ListTree(base / L"Kept"), (std::vector<std::wstring>{L"b.txt", L"c.txt"}));
  EXPECT_EQ(ReadFileBytes(file), "b");
  const auto entries = PendingOperationsGuard::Entries();
  EXPECT_FALSE(HasEntry(entries, base / L"Kept") || HasEntry(entries, file) ||
               HasEntry(entries, named));
}

// One silent run of a fixture's scripts, with PURGEKIT_TEST_FILES naming the base folder, and
// the run's own log lines (level 5).
struct FixtureRun {
  LoggedRun run;
  std::vector<LogLine> lines;
};

FixtureRun RunFixture(const std::wstring& fixture, const std::wstring& base) {
  EXPECT_TRUE(::SetEnvironmentVariableW(L"PURGEKIT_TEST_FILES", base.c_str()));
  ScopedLogRoot root;
  ScopedRegValue level(HKEY_LOCAL_MACHINE, LoggingKey(), L"LogLevel");
  EXPECT_TRUE(level.SetDword(5));
  FixtureRun run;
  run.run = RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" +
                                            FixturePath(L"run\\" + fixture) + L"\"");
  ::SetEnvironmentVariableW(L"PURGEKIT_TEST_FILES", nullptr);
  run.lines = LinesOfProcess(ReadLogLines(root.Directory()), run.run.processId);
  return run;
}

// A folder that another program holds open without delete sharing answers every removal with
// a sharing violation, before it looks at whether the folder is empty: no owner, no DACL and no
// restart gets past that, so nothing of them changes, nothing waits for the restart, and the
// run ends as a plain success.
TEST(FilesRun, FoldersHeldOpenElsewhereAreNeitherTakenOverNorScheduled) {
  PendingOperationsGuard pending;
  ScratchFolder base(L"files-held");
  base.Write(L"held\\sub\\keep.txt", "k");
  base.Write(L"held2\\b.txt", "b");
  ASSERT_TRUE(CreateDirectoryRecursive(base / L"held3", nullptr));
  base.Write(L"held4\\a.txt", "a");
  base.Write(L"held4\\b.txt", "b");
  base.Write(L"held5\\a.txt", "a");
  const std::wstring canary = base.Write(L"canary\\c.txt", "c");
  const std::wstring folders[] = {base / L"held", base / L"held2", base / L"held3", base / L"held4",
                                  base / L"held5"};
  std::vector<std::string> security;
  std::vector<std::unique_ptr<HeldFile>> holders;
  for (const auto& folder : folders) {
    security.push_back(FileSecurityText(folder));
    holders.push_back(std::make_unique<HeldFile>(folder));
    ASSERT_TRUE(holders.back()->IsHeld()) << WideToUtf8(folder);
  }

  const FixtureRun run = RunFixture(L"held", base.Path());
  const auto& lines = run.lines;
  ASSERT_TRUE(run.run.result.started);
  EXPECT_EQ(run.run.result.exitCode, 0u) << Dump(lines);
  for (const char* result :
       {"folder holding more false", "if empty, holding more false", "if empty, empty false",
        "file and parent holding more true", "file and parent holding nothing else true"}) {
    EXPECT_GE(IndexOf(lines, std::string("[held.lua] ") + result), 0) << result << Dump(lines);
  }
  // Each false says what stayed and why.
  EXPECT_GE(IndexOf(lines, "FileOps::WipeDirectoryInternal: Directory '" + WideToUtf8(folders[0]) +
                               "' not removed: it is not empty"),
            0)
      << Dump(lines);
  for (const auto& folder : {folders[1], folders[2]}) {
    EXPECT_GE(IndexOf(lines, "FileOps::DoRemoveDirectory: RemoveDirectory('" + WideToUtf8(folder) +
                                 "') failed: 32"),
              0)
        << Dump(lines);
  }
  EXPECT_GE(IndexOf(lines, "wWinMain: Exiting with code: 0"), 0) << Dump(lines);

  EXPECT_EQ(ListTree(folders[0]), (std::vector<std::wstring>{L"sub", L"sub\\keep.txt"}));
  EXPECT_EQ(ListTree(folders[1]), std::vector<std::wstring>{L"b.txt"});
  EXPECT_TRUE(IsDirectory(folders[2]) && ListTree(folders[2]).empty());
  EXPECT_EQ(ListTree(folders[3]), std::vector<std::wstring>{L"b.txt"});
  EXPECT_TRUE(IsDirectory(folders[4]) && ListTree(folders[4]).empty());
  const auto entries = PendingOperationsGuard::Entries();
  for (size_t i = 0; i < std::size(folders); ++i) {
    EXPECT_EQ(FileSecurityText(folders[i]), security[i]) << WideToUtf8(folders[i]);
    EXPECT_FALSE(HasEntry(entries, folders[i])) << WideToUtf8(folders[i]);
  }
  EXPECT_EQ(ReadFileBytes(canary), "c");
}

// Wine shows a Unix symbolic link as a directory reparse point, as Windows shows a directory
// symbolic link. A mask removal neither lists the folder it is given when that is a link, nor
// enters one among its matches: the link's target keeps everything.
TEST(FilesRun, ALinkGivenToAMaskRemovalOrAmongItsMatchesIsNeverEntered) {
  PendingOperationsGuard pending;
  ScratchFolder base(L"files-links");
  const std::wstring target = base / L"target";
  base.Write(L"target\\a.txt", "a");
  base.Write(L"target\\sub\\b.txt", "b");
  base.Write(L"prod\\app.txt", "p");
  base.Write(L"prod\\data\\x.txt", "x");
  const std::wstring link = base / L"prod\\mlink";
  UnixSymbolicLink symbolicLink(link, target);
  ASSERT_TRUE(symbolicLink.IsMade());
  // A link among the matches to an empty folder: what a deletion through a handle of the link
  // would take along, if it reached past the link.
  const std::wstring empty = base / L"elsewhere\\empty";
  ASSERT_TRUE(CreateDirectoryRecursive(empty, nullptr));
  UnixSymbolicLink emptyLink(base / L"prod\\elink", empty);
  ASSERT_TRUE(emptyLink.IsMade());
  const std::string security = FileSecurityText(target);

  const FixtureRun run = RunFixture(L"links", base.Path());
  const auto& lines = run.lines;
  ASSERT_TRUE(run.run.result.started);
  EXPECT_EQ(run.run.result.exitCode, 0u) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[links.lua] mask in the link false"), 0) << Dump(lines);
  EXPECT_GE(
      IndexOf(lines, "FileOps::WipeEntriesByMask: Link '" + WideToUtf8(link) + "' not entered"), 0)
      << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[links.lua] mask beside the link"), 0) << Dump(lines);

  EXPECT_EQ(ListTree(target), (std::vector<std::wstring>{L"a.txt", L"sub", L"sub\\b.txt"}));
  EXPECT_EQ(ReadFileBytes(target + L"\\a.txt"), "a");
  EXPECT_EQ(ReadFileBytes(target + L"\\sub\\b.txt"), "b");
  EXPECT_EQ(FileSecurityText(target), security);
  EXPECT_TRUE(IsDirectory(empty));
  // The matches beside the link went; the link itself went as a link, or stays one.
  EXPECT_FALSE(PathExists(base / L"prod\\app.txt") || PathExists(base / L"prod\\data"));
  const DWORD linkAttributes = ::GetFileAttributesW(link.c_str());
  EXPECT_TRUE(linkAttributes == INVALID_FILE_ATTRIBUTES ||
              (linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
  const auto entries = PendingOperationsGuard::Entries();
  EXPECT_FALSE(HasEntry(entries, link) || HasEntry(entries, target) ||
               HasEntry(entries, base / L"prod"));
}

// Installers and malware make such names through the \\?\ form. The system strips a trailing
// dot or blank from a name it is given: a script naming one is refused (it would remove the
// look-alike without), and a walk that finds one removes it as itself.
TEST(FilesRun, NamesEndingInADotOrABlankAreRemovedAsThemselvesAndRefusedWhenNamed) {
  ScratchFolder base(L"files-odd");
  const auto writeExact = [&](const std::wstring& relative, const std::string& bytes) {
    ASSERT_TRUE(WriteFileBytes(ExtendedPath(base / relative), bytes)) << WideToUtf8(relative);
  };
  const auto makeExact = [&](const std::wstring& relative) {
    ASSERT_TRUE(::CreateDirectoryW(ExtendedPath(base / relative).c_str(), nullptr))
        << WideToUtf8(relative);
  };
  base.Write(L"look\\twin", "twin");
  writeExact(L"look\\twin.", "dot");
  makeExact(L"look\\dir ");
  writeExact(L"look\\dir \\in.txt", "in");
  base.Write(L"look\\dir\\in.txt", "plain");
  base.Write(L"odd\\twin", "t");
  writeExact(L"odd\\twin.", "d");
  writeExact(L"odd\\blank ", "b");
  makeExact(L"odd\\dir.");
  writeExact(L"odd\\dir.\\in.txt", "i");
  const std::vector<std::wstring> look = ListTree(base / L"look");
  ASSERT_EQ(look.size(), 6u);

  const FixtureRun run = RunFixture(L"odd", base.Path());
  const auto& lines = run.lines;
  ASSERT_TRUE(run.run.result.started);
  EXPECT_EQ(run.run.result.exitCode, 0u) << Dump(lines);
  for (const char* result : {"named with a dot false", "named with a blank false", "tree true"}) {
    EXPECT_GE(IndexOf(lines, std::string("[odd.lua] ") + result), 0) << result << Dump(lines);
  }
  EXPECT_GE(IndexOf(lines, "Lua::FileSystem::DeleteFile: Refused argument 1 '" +
                               WideToUtf8(base / L"look\\twin.") +
                               "': a component ending in a dot or a blank (it names another "
                               "object)"),
            0)
      << Dump(lines);

  EXPECT_EQ(ListTree(base / L"look"), look);
  EXPECT_EQ(ReadFileBytes(base / L"look\\twin"), "twin");
  EXPECT_EQ(ReadFileBytes(ExtendedPath(base / L"look\\twin.")), "dot");
  EXPECT_EQ(ReadFileBytes(ExtendedPath(base / L"look\\dir \\in.txt")), "in");
  EXPECT_EQ(ReadFileBytes(base / L"look\\dir\\in.txt"), "plain");
  EXPECT_FALSE(PathExists(base / L"odd"));
}

}  // namespace
