// Runs of the real PurgeKit64.exe over scripts whose folders and names hold characters
// outside the ANSI code page, and over a damaged precompiled chunk: each run loads exactly
// the scripts that are there, under their own names, and ends in order.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramCopy.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "lauxlib.h"

namespace {

struct Outcome {
  RunResult result;
  std::vector<LogLine> lines;
};

Outcome RunLogged(const std::wstring& exe, const std::wstring& arguments) {
  ScopedLogRoot root;
  RunOptions options;
  options.timeoutMs = 60000;
  const LoggedRun run = RunForLog(exe, arguments, options);
  return {run.result, LinesOfProcess(ReadLogLines(root.Directory()), run.processId)};
}

Outcome RunScripts(const std::wstring& folder, const std::wstring& options = L"") {
  return RunLogged(PurgeKit64Path(),
                   L"--silent --language en " + options + L" --scripts \"" + folder + L"\"");
}

// A product script whose cleanup logs "cleanup <id>".
std::string Product(const std::string& id, int priority = 50) {
  return "function GetProductId() return '" + id + "' end\n" + "function GetPriority() return " +
         std::to_string(priority) + " end\n" + "function DetectProduct() return true end\n" +
         "function CleanupProduct() Log.Info('cleanup " + id + "') return true end\n";
}

// Writes the file at the relative path, making the folders on the way.
void Place(const ScratchFolder& scratch, const std::wstring& relative, const std::string& bytes) {
  for (size_t at = relative.find(L'\\'); at != std::wstring::npos;
       at = relative.find(L'\\', at + 1)) {
    ::CreateDirectoryW((scratch / relative.substr(0, at)).c_str(), nullptr);
  }
  scratch.Write(relative, bytes);
}

// The help's line of product ids.
std::string HelpIds(const std::string& ids) {
  return "\t                             " + ids + ".\n";
}

TEST(ScriptPathsRun, FoldersAndNamesOutsideTheCodePageRunExactlyTheirOwnScripts) {
  struct Script {
    std::wstring file;  // relative to the scratch folder
    std::string id;
    int priority;
  };
  struct Case {
    const char* what;
    std::vector<Script> scripts;
    std::wstring folder;  // the scripts folder, relative to the scratch folder
    std::wstring options;
    std::string ids;                        // as the help lists them
    std::vector<std::string> removed;       // "[file] cleanup id", each exactly once
    std::vector<std::string> neverRemoved;  // ids
  };
  const Case cases[] = {
      {"full-width backslashes in a name (best-fit made them a way up to the parent)",
       {{L"escape.lua", "escaped", 10},
        {L"inner\\a\uff3c..\uff3c..\uff3cescape.lua", "fullwidth", 20}},
       L"inner",
       L"",
       "fullwidth",
       {"[a\xef\xbc\xbc..\xef\xbc\xbc..\xef\xbc\xbc"
        "escape.lua] cleanup fullwidth"},
       {"escaped"}},
      {"an omega beside an O (best-fit made both Omega.lua)",
       {{L"omega\\\u03a9mega.lua", "omega", 10}, {L"omega\\Omega.lua", "plain_o", 20}},
       L"omega",
       L"",
       "omega|plain_o",
       {"[\xce\xa9mega.lua] cleanup omega", "[Omega.lua] cleanup plain_o"},
       {}},
      {"an omega product chosen by its id",
       {{L"chosen\\\u03a9mega.lua", "omega", 10}, {L"chosen\\Omega.lua", "plain_o", 20}},
       L"chosen",
       L"-p omega",
       "omega|plain_o",
       {"[\xce\xa9mega.lua] cleanup omega"},
       {"plain_o"}},
      {"a folder named omega beside a folder named O",
       {{L"sibling\\\u03a9\\greek.lua", "greek", 10}, {L"sibling\\O\\latin.lua", "latin", 10}},
       L"sibling\\\u03a9",
       L"",
       "greek",
       {"[greek.lua] cleanup greek"},
       {"latin"}},
      {"a product name and a folder name in Japanese",
       {{L"\u65e5\u672c\\prod\u00fc\u65e5.lua", "mixed", 10},
        {L"\u65e5\u672c\\plain.lua", "plain", 20}},
       L"\u65e5\u672c",
       L"",
       "mixed|plain",
       {"[prod\xc3\xbc\xe6\x97\xa5.lua] cleanup mixed", "[plain.lua] cleanup plain"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ScratchFolder scratch(L"names");
    for (const Script& script : c.scripts) {
      Place(scratch, script.file, Product(script.id, script.priority));
    }
    const std::wstring folder = scratch / c.folder;

    const Outcome help = RunScripts(folder, L"--help");
    EXPECT_EQ(help.result.exitCode, 0u) << Dump(help.lines);
    EXPECT_NE(help.result.output.find(HelpIds(c.ids)), std::string::npos) << help.result.output;
    EXPECT_LT(IndexOf(help.lines, "LuaScript::Initialize"), 0) << Dump(help.lines);

    const Outcome run = RunScripts(folder, c.options);
    EXPECT_EQ(run.result.exitCode, 0u) << Dump(run.lines);
    for (const std::string& line : c.removed) {
      EXPECT_EQ(CountContaining(run.lines, line), 1) << line << "\n" << Dump(run.lines);
    }
    for (const std::string& id : c.neverRemoved) {
      EXPECT_EQ(CountContaining(run.lines, "cleanup " + id), 0) << id << "\n" << Dump(run.lines);
    }
    EXPECT_GE(IndexOf(run.lines, "wWinMain: Exiting with code: 0"), 0) << Dump(run.lines);
  }
}

TEST(ScriptPathsRun, ScriptsInGreekAndJapaneseFoldersUseLibrariesAndFilesThere) {
  const ScratchFolder scratch(L"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac \u65e5\u672c");
  const std::wstring folder = scratch.Path();
  // A library with a Greek name, a file run with dofile, and files that the script makes,
  // reads back, renames and removes, all named outside the code page.
  scratch.Write(L"\u03b2\u03bf\u03b7\u03b8\u03cc\u03c2.lua", R"(
local helper = {}
function helper.Where() Log.Info("library in " .. CurrentScriptDir) return "helper" end
return helper
)");
  scratch.Write(L"\u03c1\u03c5\u03b8\u03bc\u03af\u03c3\u03b5\u03b9\u03c2.lua",
                "Setting = 'from dofile'\n");
  scratch.Write(L"\u03c0\u03b1\u03bb\u03b9\u03cc.txt", "old\r\n");
  scratch.Write(L"\u03c0\u03c1\u03bf\u03ca\u03cc\u03bd.lua", R"(
local helper = require("βοηθός")
function GetProductId() return "greek" end
function DetectProduct() return true end
function CleanupProduct()
  local dir = CurrentScriptDir
  local name = dir .. "\\σημείωμα 日.txt"
  local file = assert(io.open(name, "w"))
  file:write("γειά 日本")
  file:close()
  file = assert(io.open(name, "r"))
  local back = file:read("a")
  file:close()
  assert(os.rename(name, dir .. "\\μετονομασία.txt"))
  assert(os.remove(dir .. "\\παλιό.txt"))
  assert(os.execute('mkdir "' .. dir .. '\\κατάλογος"'))
  local pipe = assert(io.popen('mkdir "' .. dir .. '\\σωλήνας" && echo made'))
  local said = pipe:read("l")
  pipe:close()
  Log.Info("popen said " .. said)
  dofile(dir .. "\\ρυθμίσεις.lua")
  assert(loadfile(dir .. "\\ρυθμίσεις.lua"))
  Log.Info("cleanup greek: " .. helper.Where() .. ", read back " .. back .. ", " .. Setting)
  return true
end
)");
  const Outcome run = RunScripts(folder);
  EXPECT_EQ(run.result.exitCode, 0u) << Dump(run.lines);
  const std::string dir = WideToUtf8(folder);
  EXPECT_GE(IndexOf(run.lines,
                    "[\xce\xb2\xce\xbf\xce\xb7\xce\xb8\xcf\x8c\xcf\x82.lua] library in " + dir),
            0)
      << Dump(run.lines);
  EXPECT_GE(
      IndexOf(run.lines,
              "[\xcf\x80\xcf\x81\xce\xbf\xcf\x8a\xcf\x8c\xce\xbd.lua] cleanup greek: helper, "
              "read back \xce\xb3\xce\xb5\xce\xb9\xce\xac \xe6\x97\xa5\xe6\x9c\xac, from dofile"),
      0)
      << Dump(run.lines);
  // What the script did is on disk under the same names.
  EXPECT_EQ(
      ReadFileBytes(scratch /
                    L"\u03bc\u03b5\u03c4\u03bf\u03bd\u03bf\u03bc\u03b1\u03c3\u03af\u03b1.txt"),
      "\xce\xb3\xce\xb5\xce\xb9\xce\xac \xe6\x97\xa5\xe6\x9c\xac");
  EXPECT_FALSE(
      FileExists(scratch / L"\u03c3\u03b7\u03bc\u03b5\u03af\u03c9\u03bc\u03b1 \u65e5.txt"));
  EXPECT_FALSE(FileExists(scratch / L"\u03c0\u03b1\u03bb\u03b9\u03cc.txt"));
  // Commands, through os.execute and io.popen, get the names as they are.
  EXPECT_GE(IndexOf(run.lines, "popen said made"), 0) << Dump(run.lines);
  for (const wchar_t* made : {L"\u03ba\u03b1\u03c4\u03ac\u03bb\u03bf\u03b3\u03bf\u03c2",
                              L"\u03c3\u03c9\u03bb\u03ae\u03bd\u03b1\u03c2"}) {
    const DWORD attributes = ::GetFileAttributesW((scratch / made).c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        << WideToUtf8(made);
  }
}

// A program folder of 98 CJK characters (two folders: the host holds at most 255 bytes in one
// name) is 294 bytes in UTF-8, more than the 8-bit program path Lua asks for can hold, and
// far less than MAX_PATH in UTF-16. The program copy there loads every script of its
// archive, and scripts in a folder below it get their paths in UTF-8.
TEST(ScriptPathsRun, AProgramFolderWhoseUtf8PathIsLongerThanMaxPathRunsItsScripts) {
  const ScratchFolder scratch(L"long");
  std::wstring first, second;
  for (wchar_t i = 0; i < 49; ++i) {
    first += static_cast<wchar_t>(0x6f22 + i);
    second += static_cast<wchar_t>(0x5b57 + i);
  }
  const std::wstring folder = scratch / (first + L"\\" + second);
  ASSERT_TRUE(::CreateDirectoryW((scratch / first).c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring copy = MakeProgramCopy(folder + L"\\PurgeKit64.exe", nullptr);
  ASSERT_FALSE(copy.empty());
  ASSERT_GT(WideToUtf8(folder).size(), static_cast<size_t>(MAX_PATH));
  ASSERT_LT(copy.size(), static_cast<size_t>(MAX_PATH));

  const Outcome help = RunLogged(copy, L"--silent --language en --help");
  EXPECT_EQ(help.result.exitCode, 0u) << Dump(help.lines);
  EXPECT_NE(help.result.output.find(HelpIds("halcyra|tunlora|kzr|vaultine|ptwsensor|"
                                            "featherlyn_av|quarantine|wbx_quarantine|logs")),
            std::string::npos)
      << help.result.output;
  EXPECT_LT(IndexOf(help.lines, "Failed to initialize lua"), 0) << Dump(help.lines);

  const std::wstring scripts = folder + L"\\scripts";
  Place(scratch, scripts.substr(scratch.Path().size() + 1) + L"\\helper.lua",
        "return {Where = function() return CurrentScriptDir end}\n");
  Place(scratch, scripts.substr(scratch.Path().size() + 1) + L"\\product.lua", R"(
local helper = require("helper")
function GetProductId() return "long" end
function DetectProduct() return true end
function CleanupProduct() Log.Info("cleanup long in " .. helper.Where()) return true end
)");
  const Outcome run =
      RunLogged(copy, L"--silent --language en --scripts \"" + scripts + L"\" -p long");
  EXPECT_EQ(run.result.exitCode, 0u) << Dump(run.lines);
  EXPECT_GE(IndexOf(run.lines, "[product.lua] cleanup long in " + WideToUtf8(scripts)), 0)
      << Dump(run.lines);
}

// Sets TMP and TEMP (TMP comes first for GetTempPathW) for the programs this process starts.
class ScopedTempFolder {
 public:
  explicit ScopedTempFolder(const std::wstring& folder) : tmp_(Read(L"TMP")), temp_(Read(L"TEMP")) {
    ::SetEnvironmentVariableW(L"TMP", folder.c_str());
    ::SetEnvironmentVariableW(L"TEMP", folder.c_str());
  }
  ~ScopedTempFolder() {
    ::SetEnvironmentVariableW(L"TMP", tmp_ ? tmp_->c_str() : nullptr);
    ::SetEnvironmentVariableW(L"TEMP", temp_ ? temp_->c_str() : nullptr);
  }
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

 private:
  static std::optional<std::wstring> Read(const wchar_t* name) {
    std::wstring value(32768, L'\0');
    const DWORD length =
        ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) return std::nullopt;
    value.resize(length);
    return value;
  }
  std::optional<std::wstring> tmp_;
  std::optional<std::wstring> temp_;
};

TEST(ScriptPathsRun, ArchiveUnpackedBelowATemporaryFolderOutsideTheCodePageRuns) {
  // An administrator whose profile (and so whose temporary folder) is named outside the
  // code page. The program's own archive holds no product yet, so a copy carries a fixture.
  const ScratchFolder scratch(L"temp \u0141 \u65e5");
  const std::string archive = ReadFileBytes(TEST_ARCHIVE_UNICODE_TEMP);
  ASSERT_FALSE(archive.empty());
  const ResourceChange change{RT_RCDATA, 103, archive};
  const std::wstring copy = MakeProgramCopy(scratch / L"PurgeKit64.exe", &change);
  ASSERT_FALSE(copy.empty());

  const std::wstring temp = scratch / L"Temp";
  ASSERT_TRUE(::CreateDirectoryW(temp.c_str(), nullptr));
  Outcome run;
  {
    const ScopedTempFolder folder(temp);
    run = RunLogged(copy, L"--silent --language en");
  }
  EXPECT_EQ(run.result.exitCode, 0u) << Dump(run.lines);
  // The script's directory is the work directory below the temporary folder, and
  // os.tmpname names a file in that folder; both were written and read back, and the
  // script reads the variable as it is.
  const std::wstring expected = L"*[unpacked.lua] cleanup unpacked in " + temp +
                                L"\\kv*.tmp (written by the helper), temp " + temp +
                                L"\\lua*.tmp (written by the helper), TEMP=" + temp;
  const int at = IndexOf(run.lines, "[unpacked.lua] cleanup unpacked in ");
  ASSERT_GE(at, 0) << Dump(run.lines);
  EXPECT_TRUE(WildcardMatch(Utf8ToWide(run.lines[at].text), expected, false)) << run.lines[at].text;
  EXPECT_GE(IndexOf(run.lines, "wWinMain: Exiting with code: 0"), 0) << Dump(run.lines);
  // The work directory and the temporary file are gone again.
  EXPECT_EQ(FolderEntries(temp), std::vector<std::wstring>{}) << Dump(run.lines);
}

int AppendChunk(lua_State*, const void* bytes, size_t size, void* chunk) {
  static_cast<std::string*>(chunk)->append(static_cast<const char*>(bytes), size);
  return 0;
}

// A precompiled product script, as string.dump makes it, with the operand of its first
// instruction pointed far past the functions it holds: run, it reads memory at random.
std::string DamagedChunk() {
  lua_State* state = luaL_newstate();
  if (state == nullptr) return {};
  std::string chunk;
  if (luaL_loadstring(state, Product("damaged").c_str()) == LUA_OK) {
    lua_dump(state, AppendChunk, &chunk, 1);
  }
  lua_close(state);
  // Header (33 bytes), upvalue count, stripped source, two line numbers, three counts,
  // then the number of instructions and the instructions.
  constexpr size_t kFirstInstruction = 33 + 1 + 1 + 4 + 4 + 3 + 4;
  constexpr unsigned kClosure = 44;
  if (chunk.size() < kFirstInstruction + 4) return {};
  unsigned instruction = 0;
  std::memcpy(&instruction, chunk.data() + kFirstInstruction, 4);
  if ((instruction & 0x3F) != kClosure) return {};
  instruction |= 0x3FFFFu << 14;  // Bx: the last of 262,144 functions
  std::memcpy(chunk.data() + kFirstInstruction, &instruction, 4);
  return chunk;
}

TEST(ScriptPathsRun, DamagedPrecompiledChunkIsRefusedAndTheOthersAreRemoved) {
  const std::string chunk = DamagedChunk();
  ASSERT_FALSE(chunk.empty());
  ASSERT_EQ(chunk[0], '\x1b');
  const ScratchFolder scratch(L"damaged");
  const std::wstring damaged = scratch.Write(L"damaged.lua", chunk);
  scratch.Write(L"good.lua", Product("good"));
  const Outcome run = RunScripts(scratch.Path());
  EXPECT_EQ(run.result.exitCode, 0u) << Dump(run.lines);
  EXPECT_TRUE(HasLineContaining(run.lines, "LuaScript::Initialize: Load '" + WideToUtf8(damaged) +
                                               "' failed with 3. Error: attempt to load a binary "
                                               "chunk (mode is 't')"))
      << Dump(run.lines);
  EXPECT_EQ(CountContaining(run.lines, "[good.lua] cleanup good"), 1) << Dump(run.lines);
  EXPECT_EQ(CountContaining(run.lines, "cleanup damaged"), 0) << Dump(run.lines);
  EXPECT_GE(IndexOf(run.lines, "wWinMain: Exiting with code: 0"), 0) << Dump(run.lines);
}

}  // namespace
