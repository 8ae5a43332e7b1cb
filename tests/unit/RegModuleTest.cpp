// The Reg table as scripts call it: results and log lines of every function over keys of the
// test's own, the root and view arguments, and the argument errors.
#include <gtest/gtest.h>

#include <string>

#include "LuaModules.h"
#include "ScriptTestSupport.h"
#include "StringUtils.h"
#include "TestRegistry.h"
#include "lauxlib.h"
#include "lualib.h"

namespace {

class RegModule : public ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    const std::wstring key = root_.Path();
    ASSERT_TRUE(registry_.SetString(key, L"sz", std::wstring(L"hello \u00e9")));
    ASSERT_TRUE(registry_.SetDWORD(key, L"all", 0xFFFFFFFFu));
    const uint8_t four[] = {1, 0, 0, 0};
    ASSERT_TRUE(registry_.SetRaw(key, L"none", REG_NONE, four, 4));
    ASSERT_TRUE(registry_.SetMultiString(key, L"multi", WideList{L"a", L"b"}));
    ASSERT_TRUE(registry_.CreateKey(key + L"\\Sub1\\Deep"));
    ASSERT_TRUE(registry_.CreateKey(key + L"\\Sub2"));
    ASSERT_TRUE(registry_.CreateKey(key + L"\\Empty"));
    TestRegistry(KEY_WOW64_32KEY).CreateKey(key + L"\\Only32");
  }

  // Runs the chunk with K bound to the test key and returns what it returns, as text; an
  // error gives "error: " and the message.
  std::string Run(const std::string& chunk) {
    lua_State* state = luaL_newstate();
    luaL_openlibs(state);
    RegisterLuaModules(state);
    const std::string code =
        "local K = [[" + WideToUtf8(root_.Path()) + "]]\n" + "local ok, v = pcall(function() " +
        chunk + " end)\n" +
        "if not ok then return 'error: ' .. (tostring(v):gsub('^.-:%d+: ', '')) end\n" +
        "if type(v) == 'table' then return '{' .. table.concat(v, ',') .. "
        "'}' end\n" +
        "return math.type(v) == 'integer' and string.format('%d', v) or "
        "tostring(v)";
    std::string result = "(no result)";
    if (luaL_dostring(state, code.c_str()) == LUA_OK) result = lua_tostring(state, -1);
    lua_close(state);
    return result;
  }

  TestKey root_{L"regmodule"};
  TestRegistry registry_;
};

TEST_F(RegModule, FunctionsGiveTheirResultsAndLines) {
  const std::string key = WideToUtf8(root_.Path());
  struct Case {
    std::string chunk;
    std::string result;
    std::string line;  // the one line logged, "" for none
  };
  const Case cases[] = {
      {"return Reg.BranchExists(HKLM, K)", "true", ""},
      {"return Reg.BranchExists(7, K)", "true", ""},
      {"return Reg.BranchExists(-1, K .. '\\\\Sub2')", "true", ""},
      {"return Reg.BranchExists('1', K)", "false", ""},
      {"return Reg.BranchExists(HKLM, K .. '\\\\Only32')", "false", ""},
      {"return Reg.BranchExists(HKLM, K .. '\\\\Only32', KEY_WOW64_32KEY)", "true", ""},
      {"return Reg.BranchExists(HKLM, K .. '\\\\Only32', nil)", "false", ""},
      {"return Reg.KeyExists(HKLM, K, 'sz')", "true", ""},
      {"return Reg.KeyExists(HKLM, K, 'none')", "false", ""},
      {"return Reg.KeyExists(HKLM, K, 'missing')", "false", ""},
      {"return Reg.GetNumber(HKLM, K, 'all')", "4294967295", ""},
      {"return Reg.GetNumber(HKLM, K, 'none')", "1", ""},
      {"return Reg.GetNumber(HKLM, K, 'missing')", "0", ""},
      {"return Reg.GetNumber(HKLM, K, 'sz')", "0",
       ".W: RegOps::GetDWORD: Failed to read '" + key + ":sz': 2"},
      {"return Reg.SetNumber(-1, HKLM, K, 'n') and Reg.GetNumber(HKLM, K, 'n')", "4294967295", ""},
      {"return Reg.SetNumber(5, HKLM, K .. '\\\\Missing', 'n')", "false",
       "*E: RegOps::SetDWORD: Failed to write '" + key + "\\Missing:n': 1"},
      {"return Reg.GetString(HKLM, K, 'sz')", "hello \xC3\xA9", ""},
      {"return Reg.GetString(HKLM, K, 'all')", "",
       ".W: RegOps::GetString: Failed to read '" + key + ":all': 2"},
      {"return Reg.SetString('x', HKLM, K, 's') and Reg.GetString(HKLM, K, 's')", "x", ""},
      {"return Reg.SetString('x', HKLM, K .. '\\\\Missing', 's')", "false",
       "*E: RegOps::SetString: Failed to write '" + key + "\\Missing:s': 1"},
      {"return Reg.GetMultiString(HKLM, K, 'multi')", "{a,b}", ""},
      {"return Reg.GetMultiString(HKLM, K, 'sz')", "{}",
       ".W: RegOps::GetMultiString: Failed to read '" + key + ":sz': 2"},
      {"return Reg.DeleteKey(HKLM, K, 'missing')", "true", ""},
      {"return Reg.DeleteKey(HKLM, K, 'sz') and Reg.KeyExists(HKLM, K, 'sz')", "false", ""},
      {"return Reg.GetSubKeys(HKLM, K)", "{Empty,Sub1,Sub2}", ""},
      {"return Reg.GetSubKeys(HKLM, K .. '\\\\Missing')", "{}", ""},
      {"return #Reg.GetValueNames(HKLM, K)", "5", ""},  // sz went, n and s came
      {"return Reg.IsBranchEmpty(HKLM, K .. '\\\\Missing')", "true", ""},
      {"return Reg.IsBranchEmpty(HKLM, K .. '\\\\Sub1')", "false", ""},
      {"return Reg.DeleteBranchIfEmpty(HKLM, K .. '\\\\Sub1')", "false", ""},
      {"return Reg.DeleteBranchIfEmpty(HKLM, K .. '\\\\Empty')", "true", ""},
      {"return Reg.DeleteBranch(HKLM, 'SOFTWARE')", "false",
       "*E: RegOps::WipeBranch: Invalid branch: 'SOFTWARE'"},
      {"return Reg.DeleteBranchByMask(HKLM, K, 'sub*')", "true", ""},
      {"return Reg.DeleteBranchByMask(HKLM, K, 'Sub?') and Reg.GetSubKeys(HKLM, K)", "{}", ""},
      // Refused before any key is opened: the root is never written, no other value named.
      {"return Reg.SetString('x', HKLM, '', 'KvRootValue')", "false",
       "*E: Lua::Reg::SetString: Refused argument 3 '': an empty key path names the root"},
      {"return Reg.SetNumber(1, HKU, '', 'KvRootValue')", "false",
       "*E: Lua::Reg::SetNumber: Refused argument 3 '': an empty key path names the root"},
      {"return Reg.SetString('x', HKLM, K, '\\255\\254\\253')", "false",
       "*E: Lua::Reg::SetString: Refused argument 4 '\\xFF\\xFE\\xFD': it is not valid UTF-8"},
      {"return Reg.DeleteKey(HKLM, K, 's\\0x') or Reg.GetString(HKLM, K, 's')", "x",
       "*E: Lua::Reg::DeleteKey: Refused argument 3 's\\x00x': it holds a NUL character"},
      {"return Reg.DeleteBranch(HKLM, K .. '\\\\') or Reg.BranchExists(HKLM, K)", "true",
       "*E: Lua::Reg::DeleteBranch: Refused argument 2 '" + key +
           "\\': an empty key path component"},
      {"return Reg.BranchExists('x', K)",
       "error: bad argument #1 to 'BranchExists' (number expected, "
       "got string)",
       ""},
      {"return Reg.SetNumber(nil, HKLM, K, 'n')",
       "error: bad argument #1 to 'SetNumber' (number expected, got "
       "nil)",
       ""},
      {"return Reg.GetString(HKLM, K, {})",
       "error: bad argument #3 to 'GetString' (string expected, got "
       "table)",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chunk);
    TestLog().Mark();
    EXPECT_EQ(Run(c.chunk), c.result);
    const auto entries = TestLog().Entries();
    if (c.line.empty()) {
      EXPECT_TRUE(entries.empty()) << TestLog().Dump();
    } else {
      EXPECT_EQ(entries, std::vector<std::string>{c.line});
    }
  }
}

// Wine enforces a key's DACL on listing (KEY_ENUMERATE_SUB_KEYS, KEY_QUERY_VALUE) but grants
// DELETE whatever it says, and it accepts a subkey name of 256 characters, which no listing
// can return: both are keys whose contents can't be known, so they stay as they are.
TEST_F(RegModule, DeleteBranchIfEmptyKeepsAKeyItCannotList) {
  const std::wstring longName(256, L'x');
  struct LongKey {  // TestKey's own clean-up can't list it either
    std::wstring path;
    ~LongKey() { ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0); }
  } longKey{root_ / L"Long\\" + longName};
  ASSERT_TRUE(registry_.CreateKey(root_ / L"Closed"));
  ASSERT_TRUE(registry_.CreateKey(root_ / L"ClosedParent\\Child"));
  ASSERT_TRUE(registry_.CreateKey(longKey.path));
  ASSERT_TRUE(registry_.CreateKey(root_ / L"Canary"));
  for (const wchar_t* closed : {L"Closed", L"ClosedParent"}) {
    ASSERT_TRUE(SetKeySddl(root_ / closed, 0, L"D:P", DACL_SECURITY_INFORMATION));
  }

  struct Case {
    const wchar_t* key;
    const char* listing;  // the listing that fails
    int kind;
  };
  const Case cases[] = {
      {L"Closed", "GetValueKeys", 5},
      {L"ClosedParent", "GetValueKeys", 5},
      {L"Long", "GetSubkeys", 3},
  };
  for (const auto& c : cases) {
    const std::string key = WideToUtf8(root_ / c.key);
    SCOPED_TRACE(key);
    const std::wstring before = KeySddl(root_ / c.key, 0);
    TestLog().Mark();
    EXPECT_EQ(Run("return Reg.DeleteBranchIfEmpty(HKLM, [[" + key + "]])"), "false");
    const std::vector<std::string> lines = {
        " D: RegOps::" + std::string(c.listing) + ": Failed to get sub keys " +
            std::to_string(c.kind) + " : '" + key + "'",
        "*E: RegOps::WipeBranchIfEmpty: Kept '" + key +
            "': it could not be listed: " + std::to_string(c.kind),
    };
    EXPECT_EQ(TestLog().Entries(), lines) << TestLog().Dump();
    EXPECT_EQ(KeySddl(root_ / c.key, 0), before);
  }
  EXPECT_TRUE(registry_.KeyExists(root_ / L"Closed"));
  EXPECT_TRUE(registry_.KeyExists(root_ / L"ClosedParent\\Child"));
  EXPECT_TRUE(registry_.KeyExists(longKey.path));
  EXPECT_TRUE(registry_.KeyExists(root_ / L"Canary"));

  // The readable empty neighbour still goes.
  EXPECT_EQ(Run("return Reg.DeleteBranchIfEmpty(HKLM, K .. '\\\\Canary')"), "true");
  EXPECT_FALSE(registry_.KeyExists(root_ / L"Canary"));
}

// A key the system owns that leaves the Administrators nothing but WRITE_OWNER (under Wine the
// stand-in for what the take-ownership privilege grants on Windows): it is there, it is not
// known to be empty, and a mask removal given it lists nothing and changes nothing of it. A
// missing key keeps its answers.
TEST_F(RegModule, AKeyThatDeniesEverythingIsThereAndNotEmpty) {
  const std::wstring guarded = root_ / L"Guarded";
  ASSERT_TRUE(registry_.CreateKey(guarded + L"\\Child"));
  ASSERT_TRUE(SetKeySddl(guarded, 0, L"O:SYD:P(A;;0x80000;;;BA)(A;;KA;;;SY)",
                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION));
  const std::string key = WideToUtf8(guarded);
  struct Case {
    std::string chunk;
    std::string result;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"return Reg.BranchExists(HKLM, K .. '\\\\Guarded')", "true", {}},
      {"return Reg.BranchExists(HKLM, K .. '\\\\Missing')", "false", {}},
      {"return Reg.IsBranchEmpty(HKLM, K .. '\\\\Guarded')",
       "false",
       {" D: RegOps::GetValueKeys: Failed to get sub keys 5 : '" + key + "'",
        ".W: RegOps::IsBranchEmpty: '" + key + "' counts as not empty: it could not be listed: 5"}},
      {"return Reg.IsBranchEmpty(HKLM, K .. '\\\\Missing')", "true", {}},
      {"return Reg.DeleteBranchByMask(HKLM, K .. '\\\\Guarded', '*')",
       "false",
       {" D: RegOps::GetSubkeys: Failed to get sub keys 5 : '" + key + "'",
        "*E: RegOps::WipeBranchesByMask: Not listed '" + key +
            "': it could not be opened, so no subkey of it is removed: 5"}},
      {"return Reg.DeleteBranchByMask(HKLM, K .. '\\\\Missing', '*')", "true", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chunk);
    TestLog().Mark();
    EXPECT_EQ(Run(c.chunk), c.result);
    EXPECT_EQ(TestLog().Entries(), c.lines) << TestLog().Dump();
  }
  // Still closed to the Administrators: neither its owner nor its DACL changed.
  EXPECT_EQ(KeySddl(guarded, 0), L"");
  ASSERT_TRUE(SetKeySddl(guarded, 0, L"O:BA", OWNER_SECURITY_INFORMATION));
  EXPECT_EQ(KeyDaclEntries(guarded, 0), L"(A;;WO;;;BA)(A;;KA;;;SY)");
  EXPECT_EQ(OpenKeyError(guarded + L"\\Child", 0, KEY_READ), ERROR_SUCCESS);
}

TEST_F(RegModule, ConstantsArePlainGlobals) {
  EXPECT_EQ(Run("return string.format('%d %d %d %d %d', HKLM, HKCR, HKU, KEY_WOW64_32KEY, "
                "KEY_WOW64_64KEY)"),
            "0 1 2 512 256");
  EXPECT_EQ(Run("return Reg.HKLM == nil and type(Reg.DeleteBranch) == 'function'"), "true");
}

}  // namespace
