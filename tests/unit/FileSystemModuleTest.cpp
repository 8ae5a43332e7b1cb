// The FileSystem table as scripts call it: the special paths, the single-object removals and
// their refusals, paths, listings and the argument errors, over a scratch folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileCallSeam.h"
#include "ImportHook.h"
#include "LuaModules.h"
#include "PathUtils.h"
#include "PendingOperations.h"
#include "ScratchFolder.h"
#include "ScriptTestSupport.h"
#include "SecurityCallWatch.h"
#include "SpecialFolders.h"
#include "Status.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "lauxlib.h"
#include "lualib.h"

namespace {

class FileSystemModule : public ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    folder_.Write(L"app\\one.txt", "1");
    folder_.Write(L"app\\two.txt", "2");
    folder_.Write(L"app\\sub\\deep.txt", "d");
    folder_.Write(L"lone\\only.txt", "o");
    ASSERT_TRUE(CreateDirectoryRecursive(folder_ / L"empty", nullptr));
  }

  // Runs the chunk with D bound to the scratch folder and returns what it returns, as text;
  // an error gives "error: " and the message.
  std::string Run(const std::string& chunk) {
    lua_State* state = luaL_newstate();
    luaL_openlibs(state);
    RegisterLuaModules(state);
    const std::string code = "local D = [[" + WideToUtf8(folder_.Path()) + "]]\n" +
                             "local ok, v = pcall(function() " + chunk + " end)\n" +
                             "if not ok then return 'error: ' .. (tostring(v):gsub('^.-:%d+: ', "
                             "'')) end\n" +
                             "if type(v) == 'table' then return '{' .. table.concat(v, ',') .. "
                             "'}' end\n" +
                             "return tostring(v)";
    std::string result = "(no result)";
    if (luaL_dostring(state, code.c_str()) == LUA_OK) result = lua_tostring(state, -1);
    lua_close(state);
    return result;
  }

  ScratchFolder folder_{L"fsmodule"};
};

TEST_F(FileSystemModule, FunctionsGiveTheirResults) {
  const std::string windows = WideToUtf8(GetWindowsDirectoryPath());
  const std::string system = WideToUtf8(GetSystemDirectoryPath());
  const std::string localAppData = WideToUtf8(GetSpecialFolder(FolderKind::LocalAppData));
  const std::string dir = WideToUtf8(folder_.Path());
  struct Case {
    std::string chunk;
    std::string result;
  };
  const Case cases[] = {
      {"return FileSystem.GetSpecialPath(SpecialPath_Windows, 'S-1-5-18')", windows},
      {"return FileSystem.GetSpecialPath(SpecialPath_System32)", system},
      {"return FileSystem.GetSpecialPath(SpecialPath_Sysnative)", system},
      {"return FileSystem.GetSpecialPath(SpecialPath_UserAppDataLocal)", localAppData},
      {"return FileSystem.GetSpecialPath(SpecialPath_UserAppDataLocal, '')", localAppData},
      {"return FileSystem.GetSpecialPath(12)", ""},
      {"return FileSystem.GetSpecialPath(-1)", ""},
      {"return FileSystem.GetSpecialPath('x')",
       "error: bad argument #1 to 'GetSpecialPath' (number expected, got string)"},
      {"return FileSystem.Exists(D .. '\\\\app') and FileSystem.IsDirectory(D .. '\\\\app')",
       "true"},
      {"return FileSystem.IsFile(D .. '\\\\app\\\\one.txt')", "true"},
      {"return FileSystem.DeleteFile(D .. '\\\\app')", "false"},
      {"return FileSystem.DeleteFile(D .. '\\\\missing.txt')", "false"},
      {"return FileSystem.RemoveDirectory(D .. '\\\\app\\\\one.txt')", "false"},
      {"return FileSystem.DeleteFileAndParent(D .. '\\\\app\\\\one.txt')", "true"},
      {"return FileSystem.IsDirectory(D .. '\\\\app')", "true"},
      {"return FileSystem.DeleteFileAndParent(D .. '\\\\lone\\\\only.txt')", "true"},
      {"return FileSystem.Exists(D .. '\\\\lone')", "false"},
      {"return FileSystem.RemoveDirectory(D .. '\\\\nowhere\\\\x')", "true"},
      {"return FileSystem.RemoveDirectoryIfEmpty(D .. '\\\\app')", "false"},
      {"return FileSystem.RemoveDirectoryIfEmpty(D .. '\\\\empty')", "true"},
      {"return FileSystem.ListDirectory(D .. '\\\\app')", "{sub,two.txt}"},
      {"return FileSystem.ListDirectory(D .. '\\\\app', ListDir_Files)", "{two.txt}"},
      {"return FileSystem.ListDirectory(D .. '\\\\app', ListDir_Directories)", "{sub}"},
      {"return FileSystem.ListDirectory(D .. '\\\\app', 3)", "{}"},
      {"return FileSystem.ListDirectory(D .. '\\\\app', -1)", "{}"},
      {"return FileSystem.ContainsFiles(D)", "true"},
      {"return FileSystem.ContainsFiles(D, 0)", "false"},
      {"return FileSystem.SplitPath('C:\\\\dir\\\\')", "{C:,dir}"},
      {"return FileSystem.SplitPath('name')", "{,name}"},
      {"return FileSystem.SplitPath('\\\\name')", "{,}"},
      {"return FileSystem.MakePath('C:\\\\a\\\\', 'b')", "C:\\a\\b"},
      {"return FileSystem.MakePath('', 'b')", "b"},
      {"return FileSystem.MakePath('C:\\\\a\\\\', '')", "C:\\a"},
      {"return FileSystem.MkDir(D .. '\\\\new\\\\deeper') and FileSystem.MkDir(D .. '\\\\new')",
       "true"},
      {"return FileSystem.CopyFile(D .. '\\\\app\\\\two.txt', D .. '\\\\app\\\\sub\\\\deep.txt')",
       "true"},
      {"return FileSystem.RemoveRecursiveByMask(D, 'ne*') and FileSystem.Exists(D .. '\\\\new')",
       "false"},
      {"return FileSystem.RemoveRecursive(D .. '\\\\missing')", "false"},
      {"return FileSystem.RemoveRecursive(D .. '\\\\app')", "true"},
      {"return FileSystem.HasPendingFileOperation(D)", "false"},
      {"return FileSystem.DeleteFile({})",
       "error: bad argument #1 to 'DeleteFile' (string expected, got table)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chunk);
    EXPECT_EQ(Run(c.chunk), c.result);
  }
  EXPECT_EQ(ReadFileBytes(folder_ / L"app\\sub\\deep.txt"), "");
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
  // Every false that left something says what and why: the wrong kind of object, and what the
  // if-empty removals kept (once for the parent step, once when named). A missing file left
  // nothing.
  const std::string kept =
      " I: FileOps::DoRemoveDirectory: Directory '" + dir + "\\app' kept: it is not empty";
  EXPECT_EQ(TestLog().Entries(),
            (std::vector<std::string>{
                "*E: Lua::FileSystem::DeleteFile: Not a file, left alone: '" + dir + "\\app'",
                "*E: Lua::FileSystem::RemoveDirectory: Not a directory, left alone: '" + dir +
                    "\\app\\one.txt'",
                kept, kept}))
      << TestLog().Dump();
}

// What stays is left as it was: no new owner or DACL (watched on their way to the system) and
// nothing scheduled for the restart.
TEST_F(FileSystemModule, AFolderThatStillHoldsFilesAndAFileTakenForAParentStay) {
  PendingOperationsGuard pending;
  SecurityCallWatch security;
  ASSERT_TRUE(security.IsActive());
  EXPECT_EQ(Run("return FileSystem.DeleteFileAndParent(D .. '\\\\app\\\\one.txt')"), "true");
  EXPECT_EQ(Run("return FileSystem.RemoveDirectoryIfEmpty(D .. '\\\\app')"), "false");
  EXPECT_EQ(Run("return FileSystem.RemoveDirectoryRecursiveAndParentIfEmpty(D .. "
                "'\\\\lone\\\\only.txt\\\\x')"),
            "false");
  EXPECT_EQ(ListTree(folder_ / L"app"),
            (std::vector<std::wstring>{L"sub", L"sub\\deep.txt", L"two.txt"}));
  EXPECT_EQ(ReadFileBytes(folder_ / L"lone\\only.txt"), "o");
  EXPECT_TRUE(security.Calls().empty());
  const auto entries = PendingOperationsGuard::Entries();
  EXPECT_FALSE(HasEntry(entries, folder_ / L"app") || HasEntry(entries, folder_ / L"lone") ||
               HasEntry(entries, folder_ / L"lone\\only.txt"));
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
}

// The system strips a trailing dot or blank from every component of a name it is given: such a
// path names another object, and no function that changes the machine takes it.
TEST_F(FileSystemModule, ChangingFunctionsRefuseAComponentEndingInADotOrABlank) {
  folder_.Write(L"twin", "twin");
  folder_.Write(L"dir\\in.txt", "in");
  struct Case {
    const char* call;  // with the path at %s
    const char* refused;
  };
  const Case cases[] = {
      {"FileSystem.DeleteFile(%s)", "twin."},
      {"FileSystem.DeleteFileAndParent(%s)", "twin "},
      {"FileSystem.RemoveDirectory(%s)", "dir."},
      {"FileSystem.RemoveDirectoryIfEmpty(%s)", "dir "},
      {"FileSystem.RemoveRecursive(%s)", "dir."},
      {"FileSystem.RemoveDirectoryRecursiveAndParentIfEmpty(%s)", "dir.\\\\in.txt"},
      {"FileSystem.RemoveRecursiveByMask(%s, '*')", "dir "},
      {"FileSystem.MkDir(%s)", "new."},
      {"FileSystem.CopyFile(D .. '\\\\twin', %s)", "dir \\\\copy.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    std::string call = c.call;
    call.replace(call.find("%s"), 2, std::string("D .. '\\\\") + c.refused + "'");
    TestLog().Mark();
    EXPECT_EQ(Run("return " + call), "false");
    const auto entries = TestLog().Entries();
    ASSERT_EQ(entries.size(), 1u) << TestLog().Dump();
    EXPECT_NE(entries[0].find("a component ending in a dot or a blank (it names another object)"),
              std::string::npos)
        << entries[0];
  }
  EXPECT_EQ(ReadFileBytes(folder_ / L"twin"), "twin");
  EXPECT_EQ(ListTree(folder_ / L"dir"), std::vector<std::wstring>{L"in.txt"});
  EXPECT_FALSE(PathExists(folder_ / L"new"));
  // Reading is not changing: the system's own reading of the name stands.
  EXPECT_EQ(Run("return FileSystem.Exists(D .. '\\\\twin.')"), "true");
}

// A file's path that ends in a backslash names no file, yet its \\?\ form names the file: the
// functions that take a file refuse it, with one line, and touch nothing. The folder functions
// take one trailing backslash as before.
TEST_F(FileSystemModule, OnlyFolderFunctionsTakeAPathEndingInABackslash) {
  const std::string dir = WideToUtf8(folder_.Path());
  const std::string line = "*E: Lua::FileSystem::%s: Refused argument %d '" + dir +
                           "\\%s\\': a file path ending in a backslash";
  struct Refusal {
    const char* call;
    const char* function;
    int position;
    const char* path;
  };
  const Refusal refusals[] = {
      {"DeleteFile(D .. '\\\\app\\\\one.txt\\\\')", "DeleteFile", 1, "app\\one.txt"},
      {"DeleteFileAndParent(D .. '\\\\lone\\\\only.txt\\\\')", "DeleteFileAndParent", 1,
       "lone\\only.txt"},
      {"CopyFile(D .. '\\\\app\\\\one.txt\\\\', D .. '\\\\app\\\\two.txt')", "CopyFile", 1,
       "app\\one.txt"},
      {"CopyFile(D .. '\\\\app\\\\one.txt', D .. '\\\\app\\\\two.txt\\\\')", "CopyFile", 2,
       "app\\two.txt"},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.call);
    TestLog().Mark();
    EXPECT_EQ(Run(std::string("return FileSystem.") + r.call), "false");
    std::string expected = line;
    expected.replace(expected.find("%s"), 2, r.function);
    expected.replace(expected.find("%d"), 2, std::to_string(r.position));
    expected.replace(expected.find("%s"), 2, r.path);
    EXPECT_EQ(TestLog().Entries(), std::vector<std::string>{expected});
  }
  EXPECT_EQ(ReadFileBytes(folder_ / L"app\\one.txt"), "1");
  EXPECT_EQ(ReadFileBytes(folder_ / L"app\\two.txt"), "2");
  EXPECT_EQ(ReadFileBytes(folder_ / L"lone\\only.txt"), "o");

  const char* folderCalls[] = {
      "FileSystem.MkDir(D .. '\\\\new\\\\') and FileSystem.IsDirectory(D .. '\\\\new')",
      "FileSystem.RemoveDirectory(D .. '\\\\new\\\\') and not FileSystem.Exists(D .. '\\\\new')",
      "FileSystem.RemoveDirectoryIfEmpty(D .. '\\\\empty\\\\') and "
      "not FileSystem.Exists(D .. '\\\\empty')",
      "FileSystem.RemoveRecursiveByMask(D .. '\\\\lone\\\\', '*') and "
      "not FileSystem.Exists(D .. '\\\\lone\\\\only.txt')",
      "FileSystem.RemoveRecursive(D .. '\\\\app\\\\') and not FileSystem.Exists(D .. '\\\\app')",
  };
  for (const char* call : folderCalls) {
    SCOPED_TRACE(call);
    EXPECT_EQ(Run(std::string("return ") + call), "true");
  }
}

TEST_F(FileSystemModule, ConstantsArePlainGlobals) {
  EXPECT_EQ(Run("return string.format('%d %d %d %d %d %d', SpecialPath_CommonAppData, "
                "SpecialPath_CommonProgramFilesX86, SpecialPath_Sysnative, "
                "SpecialPath_UserAppDataLocal, ListDir_Files, ListDir_Directories)"),
            "0 6 9 11 1 2");
  EXPECT_EQ(Run("return FileSystem.ListDir_All == nil and #FileSystem == 0"), "true");
}

// What lies right below a drive's root takes no parent along: the root is neither removed
// nor listed for it. Seen through the file-call seam, which records every deletion through a
// handle and every listing, on the C: drive of the build's own Wine prefix.
TEST_F(FileSystemModule, ARootIsNeverTheParentThatIsRemoved_FileCallSeam) {
  const std::wstring tag = std::to_wstring(::GetCurrentProcessId());
  const std::wstring file = L"C:\\kvroot-" + tag + L".txt";
  const std::wstring tree = L"C:\\kvroottree-" + tag;
  ASSERT_TRUE(WriteFileBytes(file, "f"));
  ASSERT_TRUE(CreateDirectoryRecursive(tree, nullptr));
  ASSERT_TRUE(WriteFileBytes(tree + L"\\x.txt", "x"));
  std::vector<std::wstring> deleted;
  std::vector<std::wstring> listed;
  {
    FileCallSeam seam;
    ASSERT_TRUE(seam.IsActive());
    EXPECT_EQ(Run("return FileSystem.DeleteFileAndParent([[" + WideToUtf8(file) + "]])"), "true");
    EXPECT_EQ(Run("return FileSystem.RemoveDirectoryRecursiveAndParentIfEmpty([[" +
                  WideToUtf8(tree) + "]])"),
              "true");
    deleted = seam.Deleted();
    listed = seam.Listed();
  }
  EXPECT_FALSE(PathExists(file));
  EXPECT_FALSE(PathExists(tree));
  EXPECT_EQ(deleted, (std::vector<std::wstring>{ExtendedPath(file), ExtendedPath(tree) + L"\\x.txt",
                                                ExtendedPath(tree)}));
  for (const auto& folder : listed) {
    EXPECT_TRUE(folder.size() == ExtendedPath(tree).size() &&
                StartsWith(folder, ExtendedPath(tree), true))
        << WideToUtf8(folder);
  }
}

}  // namespace
