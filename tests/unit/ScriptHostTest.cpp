// The script host with real Lua states over real script files: what the host takes from the
// entry functions, how load failures and script errors end, the module conventions and the
// lines that Log and Meta write.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ImportHook.h"
#include "LuaCallContext.h"
#include "LuaUninstallScript.h"
#include "Product.h"
#include "ScratchFolder.h"
#include "ScriptTestSupport.h"
#include "Status.h"
#include "StringUtils.h"
#include "lauxlib.h"
#include "lualib.h"

namespace {

bool StartsWithText(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWithText(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The entry starting with `prefix`, and the one after it; empty texts when there is none.
std::pair<std::string, std::string> EntryAndNext(const std::vector<std::string>& entries,
                                                 const std::string& prefix) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (StartsWithText(entries[i], prefix)) {
      return {entries[i], i + 1 < entries.size() ? entries[i + 1] : std::string()};
    }
  }
  return {};
}

std::string ProductScript(const std::string& id, const std::string& detect,
                          const std::string& extra = {}) {
  return "function GetProductId() return " + id + " end\n" + "function DetectProduct() return " +
         detect + " end\n" + "function CleanupProduct() return true end\n" + extra;
}

class ScriptHost : public ScriptTest {
 protected:
  ScratchFolder folder_{L"scripts"};
};

TEST_F(ScriptHost, TextResultsTakeStringsAndNumbersOnly) {
  struct Case {
    const char* result;
    std::wstring expected;
  };
  const Case cases[] = {
      {"'logs'", L"logs"},
      {"5", L"5"},
      {"nil", L""},
      {"{}", L""},
      {"", L""},
      {"true", L""},
      {"'\\xE6\\x97\\xA5'", L"\u65E5"},
      {"'\\xFF\\xFE'", L""},
      {"'first', 'second'", L"first"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const auto path = folder_.Write(L"text" + std::to_wstring(++n) + L".lua",
                                    ProductScript(c.result, "true",
                                                  "function GetProductDisplayName() return " +
                                                      std::string(c.result) + " end\n"));
    Product product;
    ASSERT_TRUE(product.Load(path)) << c.result;
    EXPECT_EQ(product.GetId(), c.expected) << c.result;
    EXPECT_EQ(product.GetDisplayName(), c.expected) << c.result;
  }
  EXPECT_FALSE(Status::Instance().IsFailed());
}

TEST_F(ScriptHost, NumbersReachTheToolInTheirLuaStringForm) {
  // The id is the host's conversion, the display name Lua's own tostring.
  const char* numbers[] = {"2.5",
                           "10 / 4 * 4",
                           "2^53",
                           "1e100",
                           "-0.0",
                           "1/0",
                           "-1/0",
                           "math.mininteger",
                           "0x7fffffffffffffff",
                           "1/3"};
  int n = 0;
  for (const char* number : numbers) {
    const auto path = folder_.Write(
        L"number" + std::to_wstring(++n) + L".lua",
        ProductScript(
            number, "true",
            std::string("function GetProductDisplayName() return tostring(") + number + ") end\n"));
    Product product;
    ASSERT_TRUE(product.Load(path)) << number;
    EXPECT_FALSE(product.GetId().empty()) << number;
    EXPECT_EQ(product.GetId(), product.GetDisplayName()) << number;
  }
}

TEST_F(ScriptHost, OnlyTheBooleanTrueCounts) {
  struct Case {
    const char* result;
    bool expected;
  };
  const Case cases[] = {{"true", true},        {"false", false},      {"1", false},   {"0", false},
                        {"'true'", false},     {"{}", false},         {"nil", false}, {"", false},
                        {"true, false", true}, {"false, true", false}};
  int n = 0;
  for (const auto& c : cases) {
    const auto path = folder_.Write(L"bool" + std::to_wstring(++n) + L".lua",
                                    "function GetProductId() return 'b' end\n"
                                    "function DetectProduct() return " +
                                        std::string(c.result) +
                                        " end\n"
                                        "function CleanupProduct() return " +
                                        c.result + " end\n");
    Product product;
    ASSERT_TRUE(product.Load(path)) << c.result;
    EXPECT_EQ(product.IsDetected(), c.expected) << c.result;
    EXPECT_EQ(product.Remove(), c.expected) << c.result;
  }
}

TEST_F(ScriptHost, PriorityComesOnlyFromAnInteger) {
  struct Case {
    const char* body;  // nullptr: no GetPriority at all
    int expected;
  };
  const Case cases[] = {
      {nullptr, 50},
      {"return 10", 10},
      {"return 10.0", 50},
      {"return '10'", 50},
      {"return -3", -3},
      {"return nil", 50},
      {"return", 50},
      {"return (1 << 32) + 7", 7},  // the low 32 bits
      {"return 0x7fffffff + 1", -2147483647 - 1},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string extra =
        c.body ? "function GetPriority() " + std::string(c.body) + " end\n" : std::string();
    const auto path = folder_.Write(L"priority" + std::to_wstring(++n) + L".lua",
                                    ProductScript("'p'", "true", extra));
    Product product;
    ASSERT_TRUE(product.Load(path)) << (c.body ? c.body : "none");
    EXPECT_EQ(product.GetPriority(), c.expected) << (c.body ? c.body : "none");
  }
  EXPECT_FALSE(Status::Instance().IsFailed());
}

TEST_F(ScriptHost, EntryFunctionsAreAskedInOrderAndOptionalOnesOnlyWhenFunctions) {
  // The sub-product id is asked after detection, so it can report what detection found.
  const auto traced = folder_.Write(L"traced.lua", R"(trace = "top"
function GetProductId() trace = trace .. ",id" return "traced" end
function GetProductDisplayName() trace = trace .. ",name" return "Traced" end
function DetectProduct() trace = trace .. ",detect" return true end
function GetSubProductIdDetected() trace = trace .. ",sub" return trace end
function CleanupProduct() return trace == "top,id,name,detect,sub" end
)");
  Product product;
  ASSERT_TRUE(product.Load(traced));
  EXPECT_EQ(product.GetSubProductId(), L"top,id,name,detect,sub");
  EXPECT_EQ(product.GetScriptName(), L"traced.lua");
  // Globals stored during detection are still there for the removal.
  EXPECT_TRUE(product.Remove());

  // Optional entries that are no functions are skipped without a word.
  const auto plain = folder_.Write(
      L"plain.lua", ProductScript("'plain'", "true",
                                  "GetProductDisplayName = 'not a function'\n"
                                  "GetSubProductIdDetected = 42\nGetPriority = {}\n"));
  Product other;
  ASSERT_TRUE(other.Load(plain));
  EXPECT_EQ(other.GetDisplayName(), L"");
  EXPECT_EQ(other.GetSubProductId(), L"");
  EXPECT_EQ(other.GetPriority(), 50);
  for (const auto& entry : TestLog().Entries()) {
    EXPECT_EQ(entry.find("Could not find"), std::string::npos) << entry;
  }
}

TEST_F(ScriptHost, FilesWithoutTheThreeEntryFunctionsAreLibraries) {
  const char* scripts[] = {
      "function GetProductId() return 'x' end\nfunction DetectProduct() return true end\n",
      "function DetectProduct() return true end\nfunction CleanupProduct() return true end\n",
      "function GetProductId() return 'x' end\nfunction CleanupProduct() return true end\n",
      "function GetProductId() return 'x' end\nfunction DetectProduct() return true end\n"
      "CleanupProduct = {}\n",
      "return { Helper = function() end }\n",
  };
  int n = 0;
  for (const char* text : scripts) {
    TestLog().Mark();
    const auto path = folder_.Write(L"library" + std::to_wstring(++n) + L".lua",
                                    std::string("Log.Info('ran')\n") + text);
    Product product;
    EXPECT_FALSE(product.Load(path)) << text;
    const std::string name = "library" + std::to_string(n) + ".lua";
    EXPECT_TRUE(TestLog().Has(" I: [" + name + "] ran")) << TestLog().Dump();
    EXPECT_TRUE(TestLog().Has(" D: LuaUninstallScript::IsValidScript: '" + WideToUtf8(path) +
                              "' is not a valid uninstall script, treating it as library"))
        << TestLog().Dump();
  }
  EXPECT_FALSE(Status::Instance().IsFailed());
}

TEST_F(ScriptHost, LoadFailuresAreLoggedWithTheStackAndLeaveTheRunAlone) {
  struct Case {
    const wchar_t* file;
    const char* text;  // nullptr: the file does not exist
    int status;
    const char* messagePart;
    const char* slots;  // nullptr: the error text in quotes
  };
  const Case cases[] = {
      {L"syntax.lua", "function GetProductId( return 'x' end", 3, "near 'return'", nullptr},
      {L"toplevel.lua", "error('boom at top')", 2, ":1: boom at top", nullptr},
      {L"runtime.lua", "local t = nil\nprint(t.x)", 2, ":2: attempt to index a nil value", nullptr},
      {L"require.lua", "require('no_such_library')", 2, "module 'no_such_library' not found",
       nullptr},
      {L"missing.lua", nullptr, 7, "cannot open", nullptr},
      {L"tableerror.lua", "error({})", 2, "", "table  "},
      // A precompiled chunk is refused before Lua reads any of it.
      {L"binary.lua", "\x1bLuaS and no more of a chunk", 3,
       "attempt to load a binary chunk (mode is 't')", nullptr},
  };
  for (const auto& c : cases) {
    TestLog().Mark();
    const std::wstring path =
        c.text ? folder_.Write(c.file, c.text) : folder_.Path() + L"\\" + c.file;
    Product product;
    EXPECT_FALSE(product.Load(path)) << WideToUtf8(c.file);
    EXPECT_FALSE(Status::Instance().IsFailed()) << WideToUtf8(c.file);

    const std::string prefix = "*E: LuaScript::Initialize: Load '" + WideToUtf8(path) +
                               "' failed with " + std::to_string(c.status) + ". Error: ";
    const auto [entry, next] = EntryAndNext(TestLog().Entries(), prefix);
    ASSERT_FALSE(entry.empty()) << prefix << "\n" << TestLog().Dump();
    const std::string message = entry.substr(prefix.size());
    EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
    EXPECT_EQ(next, StackEntry(c.slots ? c.slots : "'" + message + "'  "));
  }
}

TEST_F(ScriptHost, ErrorsInEntryFunctionsMarkTheRunFailedAndShowTheStack) {
  struct Case {
    const char* raise;
    const char* messageEnd;  // the error text ends with this
    const char* slots;       // nullptr: the error text in quotes
  };
  const Case cases[] = {
      {"error('bad detect')", ":3: bad detect", nullptr},
      {"error({})", "", "table  "},
      {"error(42)", "42", "42.000000  "},
      {"error(2.5)", "2.5", "2.500000  "},
      {"error(true)", "", "true  "},
      {"error()", "", "nil  "},
      {"Log.Info({})", "bad argument #1 to 'Info' (string expected, got table)", nullptr},
      {"Meta.SetFailed(print)", "bad argument #1 to 'SetFailed' (string expected, got function)",
       nullptr},
      {"local t = nil\nreturn t.x", ":4: attempt to index a nil value (local 't')", nullptr},
  };
  int n = 0;
  for (const auto& c : cases) {
    TestLog().Mark();
    Status::Instance().Clear();
    const auto path = folder_.Write(L"raise" + std::to_wstring(++n) + L".lua",
                                    "function GetProductId() return 'r' end\n"
                                    "function DetectProduct()\n"
                                    "  " +
                                        std::string(c.raise) +
                                        "\n"
                                        "end\n"
                                        "function CleanupProduct() return true end\n");
    Product product;
    ASSERT_TRUE(product.Load(path)) << c.raise;
    EXPECT_FALSE(product.IsDetected()) << c.raise;
    EXPECT_TRUE(Status::Instance().IsFailed()) << c.raise;

    const std::string prefix =
        "*E: LuaUninstallScript::CallLuaFunction: Error 2 calling 'DetectProduct'. Error: ";
    const auto [entry, next] = EntryAndNext(TestLog().Entries(), prefix);
    ASSERT_FALSE(entry.empty()) << c.raise << "\n" << TestLog().Dump();
    const std::string message = entry.substr(prefix.size());
    EXPECT_TRUE(EndsWithText(message, c.messageEnd)) << message;
    if (!*c.messageEnd) {
      EXPECT_EQ(message, "");
    }
    EXPECT_EQ(next, StackEntry(c.slots ? c.slots : "'" + message + "'  ")) << c.raise;
  }
}

TEST_F(ScriptHost, AnEntryFunctionThatIsGoneWhenCalledGivesFalse) {
  // Detection removes the cleanup function: the removal finds none and reports false, and
  // that alone does not fail the run.
  const auto path = folder_.Write(L"vanishing.lua", R"(
function GetProductId() return "vanishing" end
function DetectProduct() CleanupProduct = nil return true end
function CleanupProduct() return true end
)");
  Product product;
  ASSERT_TRUE(product.Load(path));
  EXPECT_FALSE(product.Remove());
  EXPECT_TRUE(TestLog().Has(
      "*E: LuaUninstallScript::CallLuaFunction: Could not find lua function 'CleanupProduct'"))
      << TestLog().Dump();
  EXPECT_FALSE(Status::Instance().IsFailed());
}

TEST_F(ScriptHost, StrictGlobalsAndFailingFinalizersNeverEndTheProgram) {
  // A script that turns every read of an unknown global into an error still loads: the host's
  // look-ups of the optional functions find nothing and raise nothing.
  const auto strict = folder_.Write(L"strict.lua", R"(
function GetProductId() return 7 end
function DetectProduct() return true end
function CleanupProduct() return true end
setmetatable(_G, {
  __index = function(_, name) error("undeclared global " .. tostring(name), 2) end,
  __newindex = function(_, name) error("assignment to undeclared " .. tostring(name), 2) end,
})
)");
  {
    Product product;
    ASSERT_TRUE(product.Load(strict));
    EXPECT_EQ(product.GetId(), L"7");
    EXPECT_EQ(product.GetDisplayName(), L"");
    EXPECT_EQ(product.GetPriority(), 50);
    EXPECT_TRUE(product.IsDetected());
    EXPECT_TRUE(product.Remove());
  }
  EXPECT_FALSE(Status::Instance().IsFailed());

  // Garbage whose finalizers raise errors whenever the host, not the script, is running, with
  // the collector working at every allocation: the host must not allocate in the state
  // outside a protected call.
  const auto finalizers = folder_.Write(L"finalizers.lua", R"(
collectgarbage("setpause", 0)
collectgarbage("setstepmul", 1000000)
armed = false
-- Leaves garbage behind that only the next collection step finds: the first allocation the
-- host makes outside a protected call would run the failing finalizers.
local function litter()
  armed = false
  for i = 1, 1000 do local t = {} end
  bombs = {}
  for i = 1, 100 do
    bombs[i] = setmetatable({}, { __gc = function() if armed then error("finalizer " .. i) end end })
  end
  armed = true
  bombs = nil
end
function GetProductId() litter() return 12345 end
function GetProductDisplayName() litter() return 1.5 end
function DetectProduct() litter() return true end
function GetSubProductIdDetected() litter() return 7 end
function GetPriority() litter() return 3 end
function CleanupProduct() litter() return true end
litter()
)");
  for (int round = 0; round < 3; ++round) {
    Product product;
    ASSERT_TRUE(product.Load(finalizers));
    EXPECT_EQ(product.GetId(), L"12345");
    EXPECT_EQ(product.GetDisplayName(), L"1.5");
    EXPECT_EQ(product.GetSubProductId(), L"7");
    EXPECT_EQ(product.GetPriority(), 3);
    EXPECT_TRUE(product.IsDetected());
    EXPECT_TRUE(product.Remove());
  }
  SUCCEED() << "the process is still running";
}

TEST_F(ScriptHost, StackDumpShowsEverySlotBottomFirst) {
  lua_State* state = luaL_newstate();
  ASSERT_NE(state, nullptr);
  LuaScript::DumpStack(state);
  lua_newtable(state);
  lua_pushinteger(state, 2);
  lua_pushstring(state, "a");
  LuaScript::DumpStack(state);
  lua_settop(state, 0);
  lua_pushboolean(state, 1);
  lua_pushboolean(state, 0);
  lua_pushnil(state);
  lua_pushcfunction(state, [](lua_State*) { return 0; });
  lua_newthread(state);
  lua_pushnumber(state, -0.25);
  LuaScript::DumpStack(state);
  lua_close(state);

  const auto entries = TestLog().Entries();
  ASSERT_EQ(entries.size(), 3u) << TestLog().Dump();
  EXPECT_EQ(entries[0], StackEntry(""));
  EXPECT_EQ(entries[1], StackEntry("table  2.000000  'a'  "));
  EXPECT_EQ(entries[2], StackEntry("true  false  nil  function  thread  -0.250000  "));
}

TEST_F(ScriptHost, SearchPathsAndScriptDirectoryFollowTheScriptPath) {
  // In-memory chunks named by the path: only the path decides the settings.
  struct Case {
    std::string path;
    std::string expected;
  };
  const Case cases[] = {
      {"C:\\Scripts\\Product X\\p.lua",
       "C:\\Scripts\\Product X\\?.lua|C:\\Scripts\\Product X\\?.dll|C:\\Scripts\\Product X"},
      {"bare.lua", "\\?.lua|\\?.dll|"},
      {"C:\\p.lua", "C:\\?.lua|C:\\?.dll|C:"},
      // No directory can be split off: Lua's own search paths stay, and there is no
      // CurrentScriptDir.
      {"\\p.lua", "default|default|nil"},
  };
  for (const auto& c : cases) {
    LuaUninstallScript script(c.path, R"(
local function shown(p) if p:find(";", 1, true) then return "default" end return p end
function GetProductId()
  return shown(package.path) .. "|" .. shown(package.cpath) .. "|" .. tostring(CurrentScriptDir)
end
function DetectProduct() return true end
function CleanupProduct() return true end
)");
    ASSERT_TRUE(script.Initialize()) << c.path;
    EXPECT_EQ(WideToUtf8(script.GetProductId()), c.expected) << c.path;
  }
}

// The program path that Lua takes for the folder in its default search paths, and the short
// form the volume gives for it (none: the path itself, as a volume without short names
// answers).
std::wstring g_programPath;
std::wstring g_shortPath;

DWORD WINAPI ProgramPath(HMODULE, LPWSTR buffer, DWORD size) {
  if (g_programPath.size() >= size) return 0;
  std::copy(g_programPath.begin(), g_programPath.end(), buffer);
  buffer[g_programPath.size()] = L'\0';
  return static_cast<DWORD>(g_programPath.size());
}

DWORD WINAPI ShortPath(LPCWSTR path, LPWSTR buffer, DWORD size) {
  const std::wstring answer = g_shortPath.empty() ? std::wstring(path) : g_shortPath;
  if (answer.size() >= size) return static_cast<DWORD>(answer.size() + 1);
  std::copy(answer.begin(), answer.end(), buffer);
  buffer[answer.size()] = L'\0';
  return static_cast<DWORD>(answer.size());
}

// Lua fills the program's folder into its default search paths from a buffer of MAX_PATH + 1
// bytes. A folder whose UTF-8 form does not fit there is given in its short form, and where the
// volume keeps no short names as the current directory: the libraries always open. Seam:
// import hooks on GetModuleFileNameW and GetShortPathNameW stand in for the program's folder
// and the volume.
TEST(LuaProgramPath, TheLibrariesOpenWhateverTheProgramFolderIsCalled) {
  std::wstring longFolder = L"D:\\";
  for (wchar_t i = 0; i < 98; ++i) longFolder += static_cast<wchar_t>(0x6f22 + i);
  struct Case {
    const char* what;
    std::wstring program;
    std::wstring shortForm;
    std::string firstPath;  // the first entry of package.path
  };
  const Case cases[] = {
      {"a UTF-8 form that fits", L"C:\\Tools \u00e9\\PurgeKit64.exe", L"",
       "C:\\Tools \xc3\xa9\\lua\\?.lua"},
      {"a long folder with a short form", longFolder + L"\\PurgeKit64.exe",
       L"D:\\6F22~1\\PURGEK~1.EXE", "D:\\6F22~1\\lua\\?.lua"},
      {"a long folder on a volume without short names", longFolder + L"\\PurgeKit64.exe", L"",
       ".\\lua\\?.lua"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_programPath = c.program;
    g_shortPath = c.shortForm;
    lua_State* state = luaL_newstate();
    ASSERT_NE(state, nullptr);
    int status = LUA_ERRRUN;
    {
      ImportHook path("kernel32.dll", "GetModuleFileNameW", reinterpret_cast<void*>(&ProgramPath));
      ImportHook shortPath("kernel32.dll", "GetShortPathNameW",
                           reinterpret_cast<void*>(&ShortPath));
      ASSERT_TRUE(path.IsActive() && shortPath.IsActive());
      lua_pushcfunction(state, [](lua_State* s) {
        luaL_openlibs(s);
        return 0;
      });
      status = lua_pcall(state, 0, 0, 0);
    }
    EXPECT_EQ(status, LUA_OK) << (status == LUA_OK ? "" : lua_tostring(state, -1));
    lua_getglobal(state, "package");
    lua_getfield(state, -1, "path");
    const std::string searchPath = lua_isstring(state, -1) ? lua_tostring(state, -1) : "";
    EXPECT_EQ(searchPath.substr(0, searchPath.find(';')), c.firstPath) << searchPath;
    lua_close(state);
  }
}

TEST_F(ScriptHost, RequireAndScriptNamesWorkInAFolderWithAnAccentedName) {
  // The loader opens files by their UTF-8 name, and CurrentScriptDir is UTF-8 too.
  ScratchFolder accented(L"Dossier \u00e9t\u00e9");
  accented.Write(L"helper.lua",
                 "return { Where = function() Log.Info('helper') "
                 "return CurrentScriptDir end }\n");
  const auto path = accented.Write(L"produit_\u00e9.lua", R"(
local helper = require("helper")
function GetProductId() Log.Info("product") return helper.Where() end
function DetectProduct() return true end
function CleanupProduct() return true end
)");
  Product product;
  ASSERT_TRUE(product.Load(path)) << TestLog().Dump();
  EXPECT_EQ(product.GetId(), accented.Path());
  EXPECT_TRUE(TestLog().Has(" I: [produit_\xc3\xa9.lua] product")) << TestLog().Dump();
  EXPECT_TRUE(TestLog().Has(" I: [helper.lua] helper")) << TestLog().Dump();
}

TEST_F(ScriptHost, PathWithoutAnExactUtf8FormIsRefused) {
  // A lone surrogate would reach Lua as U+FFFD and so name another file.
  folder_.Write(L"lone\uFFFD.lua", ProductScript("'replacement'", "true"));
  const std::wstring path = folder_.Path() + L"\\lone" + wchar_t(0xD800) + L".lua";
  Product product;
  EXPECT_FALSE(product.Load(path));
  EXPECT_TRUE(TestLog().Has("*E: Product::Load: Script path '" + WideToUtf8(path) +
                            "' has no UTF-8 form, skipping it"))
      << TestLog().Dump();
  // Nothing was loaded, not even the file that the replacement character names.
  EXPECT_EQ(TestLog().Entries().size(), 1u) << TestLog().Dump();
}

TEST_F(ScriptHost, FilesThatScriptsLoadAreTextOnly) {
  // A valid precompiled library: still refused, whichever way a script loads it and
  // whatever mode it asks for. A chunk a script dumps itself still loads from a string.
  folder_.Write(L"helper.lua", "return { Answer = 42 }\n");
  const auto path = folder_.Write(L"loader.lua", R"(
local dumped = string.dump(loadfile(CurrentScriptDir .. "\\helper.lua"))
local file = io.open(CurrentScriptDir .. "\\compiled.lua", "wb")
file:write(dumped)
file:close()
local results = {}
local function try(what, f)
  local ok, message = pcall(f)
  results[#results + 1] = what .. "=" .. (ok and "loaded" or
      (tostring(message):find("attempt to load a binary chunk", 1, true) and "refused" or
       tostring(message)))
end
try("require", function() return require("compiled").Answer end)
try("dofile", function() return dofile(CurrentScriptDir .. "\\compiled.lua") end)
try("loadfile", function() return assert(loadfile(CurrentScriptDir .. "\\compiled.lua", "b")) end)
try("load", function() return assert(load(dumped, "dumped", "b"))().Answer end)
function GetProductId() return table.concat(results, " ") end
function DetectProduct() return true end
function CleanupProduct() return true end
)");
  Product product;
  ASSERT_TRUE(product.Load(path)) << TestLog().Dump();
  EXPECT_EQ(product.GetId(), L"require=refused dofile=refused loadfile=refused load=loaded");
}

TEST_F(ScriptHost, StatesHoldLua53WithoutTheLeftoversOf52) {
  LuaUninstallScript script("C:\\p.lua", R"(
local found = {}
local function check(name, value) if value ~= nil then found[#found + 1] = name end end
check("bit32", bit32)
check("math.pow", math.pow) check("math.ldexp", math.ldexp) check("math.cosh", math.cosh)
check("math.log10", math.log10) check("unpack", unpack) check("loadstring", loadstring)
check("module", module) check("package.loaders", package.loaders) check("table.maxn", table.maxn)
-- __ipairs is not honoured in 5.3.
local proxy = setmetatable({}, { __ipairs = function() error("__ipairs used") end })
for _ in ipairs(proxy) do end
-- What 5.3 itself has is there.
check("utf8", utf8) check("math.type", math.type) check("string.pack", string.pack)
function GetProductId() return table.concat(found, ",") end
function DetectProduct() return true end
function CleanupProduct() return true end
)");
  ASSERT_TRUE(script.Initialize()) << TestLog().Dump();
  EXPECT_EQ(script.GetProductId(), L"utf8,math.type,string.pack");
}

TEST_F(ScriptHost, LogAndMetaWriteTheirLines) {
  const auto path = folder_.Write(L"lines.lua", R"(
function GetProductId()
  Log.Debug("d") Log.Info("i") Log.Warning("w") Log.Error("e")
  Log.Info(5) Log.Info(2.5) Log.Info("100% %s %d sure") Log.Info("")
  return "lines"
end
function DetectProduct() return true end
function CleanupProduct()
  Meta.SetRebootNeeded("driver in use")
  Meta.SetRebootNeeded()
  Meta.SetFailed()
  Meta.SetFailed("could not delete", "ignored")
  Meta.SetFailed(nil)
  return true
end
)");
  Product product;
  ASSERT_TRUE(product.Load(path));
  EXPECT_FALSE(Status::Instance().IsFailed());
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
  EXPECT_TRUE(product.Remove());
  EXPECT_TRUE(Status::Instance().IsFailed());
  EXPECT_TRUE(Status::Instance().IsRebootNeeded());

  std::vector<std::string> scriptLines;
  for (const auto& entry : TestLog().Entries()) {
    if (entry.find("[lines.lua]") != std::string::npos ||
        entry.find("Status::") != std::string::npos) {
      scriptLines.push_back(entry);
    }
  }
  const std::vector<std::string> expected = {
      " D: [lines.lua] d",
      " I: [lines.lua] i",
      ".W: [lines.lua] w",
      "*E: [lines.lua] e",
      " I: [lines.lua] 5",
      " I: [lines.lua] 2.5",
      " I: [lines.lua] 100% %s %d sure",
      " I: [lines.lua] ",
      " I: Status::SetRebootNeeded: Reboot is needed",
      " I: [lines.lua] Reboot needed: driver in use",
      " I: [lines.lua] Reboot needed: ",
      "*F: [lines.lua] ",
      "*F: [lines.lua] could not delete",
      "*F: [lines.lua] ",
  };
  EXPECT_EQ(scriptLines, expected) << TestLog().Dump();
}

TEST_F(ScriptHost, ModuleArgumentsOfTheWrongTypeRaiseTheArgumentError) {
  // Each call runs in pcall inside the script; the entry returns the error text.
  struct Case {
    const char* call;
    const char* error;  // the end of the error text; "" when the call succeeds
  };
  const Case cases[] = {
      {"Log.Info()", "bad argument #1 to 'Info' (string expected, got no value)"},
      {"Log.Debug({})", "bad argument #1 to 'Debug' (string expected, got table)"},
      {"Log.Warning(nil)", "bad argument #1 to 'Warning' (string expected, got nil)"},
      {"Log.Error(true)", "bad argument #1 to 'Error' (string expected, got boolean)"},
      {"Meta.SetRebootNeeded({})",
       "bad argument #1 to 'SetRebootNeeded' (string expected, got table)"},
      {"Log.Info(3)", ""},
      {"Meta.SetRebootNeeded(nil)", ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    const auto path = folder_.Write(L"args" + std::to_wstring(++n) + L".lua",
                                    "function GetProductId()\n"
                                    "  local ok, err = pcall(function() " +
                                        std::string(c.call) +
                                        " end)\n"
                                        "  if ok then return '' end\n"
                                        "  return err\n"
                                        "end\n"
                                        "function DetectProduct() return true end\n"
                                        "function CleanupProduct() return true end\n");
    Product product;
    ASSERT_TRUE(product.Load(path)) << c.call;
    const std::string error = WideToUtf8(product.GetId());
    if (*c.error) {
      EXPECT_TRUE(EndsWithText(error, c.error)) << c.call << ": " << error;
    } else {
      EXPECT_EQ(error, "") << c.call;
    }
  }
}

// A module function built on the call context: (text, [text], [integer], [text]) back as
// four results and a table of the two first texts.
int Probe(lua_State* state) {
  LuaCallContext context(state, "Probe");
  const std::wstring first = context.NextString();
  const std::wstring second = context.NextOptionalString(L"dflt");
  const lua_Integer number = context.NextOptionalInteger(30000);
  const std::wstring third = context.NextOptionalString(L"end");
  context.PushString(first);
  context.PushString(second);
  context.PushInteger(number);
  context.PushString(third);
  context.PushStringArray({first, second});
  return context.ResultCount();
}

TEST(LuaCallContextTest, ArgumentAndResultConventions) {
  struct Case {
    const char* arguments;
    const char* expected;  // the results joined by '|', or the end of the error text
  };
  const Case cases[] = {
      {"'a'", "a|dflt|30000|end|{a,dflt}"},
      {"'a', 'b', 7, 'c'", "a|b|7|c|{a,b}"},
      {"'a', 'b', '7', 'c'", "a|b|7|c|{a,b}"},
      {"'a', 'b', 7.0", "a|b|7|end|{a,b}"},
      // A nil ends the optional list, even when later positions hold values.
      {"'a', '', nil, 'x'", "a||30000|end|{a,}"},
      {"'a', nil, 5, 'x'", "a|dflt|30000|end|{a,dflt}"},
      {"5, 2.5", "5|2.5|30000|end|{5,2.5}"},
      {"'\\xFF', 'ok'", "|ok|30000|end|{,ok}"},
      // Refused texts read as the empty text.
      {"'cut\\0off'", "|dflt|30000|end|{,dflt}"},
      {"'\\xC3\\xA9'", "\xC3\xA9|dflt|30000|end|{\xC3\xA9,dflt}"},
      {"", "bad argument #1 to 'Probe' (string expected, got no value)"},
      {"{}", "bad argument #1 to 'Probe' (string expected, got table)"},
      {"'a', {}", "bad argument #2 to 'Probe' (string expected, got table)"},
      {"'a', 'b', 2.5", "bad argument #3 to 'Probe' (number has no integer representation)"},
      {"'a', 'b', 'x'", "bad argument #3 to 'Probe' (number expected, got string)"},
      {"'a', 'b', 1, false", "bad argument #4 to 'Probe' (string expected, got boolean)"},
  };
  for (const auto& c : cases) {
    lua_State* state = luaL_newstate();
    luaL_openlibs(state);
    lua_register(state, "Probe", Probe);
    const std::string code = std::string(R"(
local results = table.pack(pcall(function() return Probe()") +
                             c.arguments + R"() end))
if not results[1] then return results[2] end
local t = results[6]
return table.concat({results[2], results[3], results[4], results[5]}, "|") ..
       "|{" .. table.concat(t, ",") .. "}" .. (#t == 2 and results.n == 6 and "" or "?")
)";
    ASSERT_EQ(luaL_dostring(state, code.c_str()), LUA_OK) << lua_tostring(state, -1);
    const std::string result = lua_tostring(state, -1);
    EXPECT_TRUE(EndsWithText(result, c.expected)) << c.arguments << ": " << result;
    lua_close(state);
  }
}

TEST(LuaCallContextTest, ResultsCountWhatWasPushed) {
  lua_State* state = luaL_newstate();
  LuaCallContext context(state, "Probe", 2);
  EXPECT_EQ(context.NextArgument(), 2);
  EXPECT_EQ(context.ResultCount(), 0);
  context.PushStringArray({});
  context.PushBoolean(false);
  EXPECT_EQ(context.ResultCount(), 2);
  ASSERT_EQ(lua_type(state, 1), LUA_TTABLE);
  EXPECT_EQ(luaL_len(state, 1), 0);
  EXPECT_EQ(lua_type(state, 2), LUA_TBOOLEAN);
  lua_close(state);
}

// One reader of the call context: the text read and whether it was refused.
template <std::wstring (*Read)(LuaCallContext&)>
int ReaderProbe(lua_State* state) {
  LuaCallContext context(state, "Lua::Test::Reader");
  const std::wstring text = Read(context);
  context.PushString(text);
  context.PushBoolean(context.Refused());
  return context.ResultCount();
}

using Access = LuaCallContext::Access;
std::wstring ReadText(LuaCallContext& c) { return c.NextString(); }
std::wstring ReadPath(LuaCallContext& c) { return c.NextPath(Access::Read); }
std::wstring ReadTargetPath(LuaCallContext& c) { return c.NextPath(Access::Change); }
std::wstring ReadKey(LuaCallContext& c) { return c.NextRegistryPath(Access::Read); }
std::wstring ReadTargetKey(LuaCallContext& c) { return c.NextRegistryPath(Access::Change); }
std::wstring ReadService(LuaCallContext& c) { return c.NextServiceName(); }
std::wstring ReadMask(LuaCallContext& c) { return c.NextMask(); }
// Two paths: only the first refusal is logged.
std::wstring ReadTwoTargets(LuaCallContext& c) {
  return c.NextPath(Access::Change) + c.NextPath(Access::Change);
}

class LuaCallContextReaders : public ScriptTest {};

TEST_F(LuaCallContextReaders, RefuseWhatCanNameAnotherObjectWithOneLine) {
  struct Case {
    const char* call;
    const char* result;  // text|refused
    std::string line;    // the one line logged, "" for none
  };
  const std::string prefix = "*E: Lua::Test::Reader: Refused argument ";
  const Case cases[] = {
      {"Text('a\\0b')", "|true", prefix + "1 'a\\x00b': it holds a NUL character"},
      {"Text('\\255\\254\\253')", "|true", prefix + "1 '\\xFF\\xFE\\xFD': it is not valid UTF-8"},
      {"Text('')", "|false", ""},
      {"Path('x')", "x|false", ""},
      {"Path('D:\\\\a\\0\\\\x')", "|true", prefix + "1 'D:\\a\\x00\\x': it holds a NUL character"},
      {"TargetPath('D:\\\\canary\\\\a.txt')", "D:\\canary\\a.txt|false", ""},
      {"TargetPath('D:')", "|true",
       prefix + "1 'D:': not a fully qualified path (X:\\... or \\\\server\\share\\...)"},
      {"TargetPath('D:\\\\')", "|true", prefix + "1 'D:\\': a drive or share root"},
      {"TargetPath('\\\\\\\\?\\\\D:')", "|true",
       prefix + "1 '\\\\?\\D:': a path in the device namespace"},
      {"TargetPath('D:\\\\canary\\\\..')", "|true",
       prefix + "1 'D:\\canary\\..': a '.' or '..' component"},
      {"TargetPath('D:\\\\canary\\\\*')", "|true",
       prefix + "1 'D:\\canary\\*': a wildcard character"},
      {"TargetPath('D:\\\\canary\\\\NUL')", "|true",
       prefix + "1 'D:\\canary\\NUL': a reserved device name"},
      {"TargetPath('D:\\\\a\\nb')", "|true",
       prefix + "1 'D:\\a\\x0Ab': a character that no file name holds"},
      {"TwoTargets('x', 'y')", "|true",
       prefix + "1 'x': not a fully qualified path (X:\\... or \\\\server\\share\\...)"},
      {"Key('')", "|false", ""},
      {"TargetKey('SOFTWARE\\\\Canary')", "SOFTWARE\\Canary|false", ""},
      {"TargetKey('')", "|true", prefix + "1 '': an empty key path names the root"},
      {"TargetKey('SOFTWARE\\\\CanaryLeaf\\\\')", "|true",
       prefix + "1 'SOFTWARE\\CanaryLeaf\\': an empty key path component"},
      {"TargetKey('\\\\SOFTWARE')", "|true",
       prefix + "1 '\\SOFTWARE': an empty key path component"},
      {"TargetKey('SOFTWARE\\\\Canary\\0\\\\x')", "|true",
       prefix + "1 'SOFTWARE\\Canary\\x00\\x': it holds a NUL character"},
      {"Service('CanarySvc')", "CanarySvc|false", ""},
      {"Service('')", "|true", prefix + "1 '': an empty service name"},
      {"Service('a\\\\b')", "|true",
       prefix + "1 'a\\b': a service name holds no backslash or slash"},
      {"Service('a/b')", "|true", prefix + "1 'a/b': a service name holds no backslash or slash"},
      {"Mask('*a?')", "*a?|false", ""},
      {"Mask('*\\0')", "|true", prefix + "1 '*\\x00': it holds a NUL character"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    lua_State* state = luaL_newstate();
    luaL_openlibs(state);
    lua_register(state, "Text", ReaderProbe<ReadText>);
    lua_register(state, "Path", ReaderProbe<ReadPath>);
    lua_register(state, "TargetPath", ReaderProbe<ReadTargetPath>);
    lua_register(state, "TwoTargets", ReaderProbe<ReadTwoTargets>);
    lua_register(state, "Key", ReaderProbe<ReadKey>);
    lua_register(state, "TargetKey", ReaderProbe<ReadTargetKey>);
    lua_register(state, "Service", ReaderProbe<ReadService>);
    lua_register(state, "Mask", ReaderProbe<ReadMask>);
    TestLog().Mark();
    const std::string code =
        std::string("local t, r = ") + c.call + " return t .. '|' .. tostring(r)";
    ASSERT_EQ(luaL_dostring(state, code.c_str()), LUA_OK) << lua_tostring(state, -1);
    EXPECT_EQ(std::string(lua_tostring(state, -1)), c.result);
    lua_close(state);
    const auto entries = TestLog().Entries();
    if (c.line.empty()) {
      EXPECT_TRUE(entries.empty()) << TestLog().Dump();
    } else {
      EXPECT_EQ(entries, std::vector<std::string>{c.line});
    }
  }
}

}  // namespace
