// Products found in fixture folders of real scripts: the detection order, what is read back,
// and the outcome of a removal as the scripts report it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Product.h"
#include "ScratchFolder.h"
#include "ScriptTestSupport.h"
#include "Status.h"
#include "StringUtils.h"
#include "UiToolLib.h"
#include "UniqueAny.h"
#include "lauxlib.h"

namespace {

class Products : public ScriptTest {
 protected:
  static ProductList Detect(const std::wstring& folder) {
    UiToolLib lib(folder);
    ProductList products;
    lib.DetectProducts(products);
    return products;
  }

  static std::vector<std::wstring> Ids(const ProductList& products) {
    std::vector<std::wstring> ids;
    for (const auto& product : products) ids.push_back(product->GetId());
    return ids;
  }

  static void Select(const ProductList& products, const std::set<std::wstring>& ids) {
    for (const auto& product : products) product->SetSelected(ids.count(product->GetId()) > 0);
  }

  // The script lines "[name] text" logged since the mark, in order.
  static std::vector<std::string> ScriptLines() {
    std::vector<std::string> lines;
    for (const auto& entry : TestLog().Entries()) {
      if (entry.compare(0, 5, " I: [") == 0) lines.push_back(entry.substr(4));
    }
    return lines;
  }
};

std::wstring FileName(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

TEST_F(Products, FoundScriptsAreTheLuaFilesOfTheFolderItself) {
  UiToolLib lib(ScriptFixture(L"order"));
  StringList paths;
  lib.FindScripts(paths);
  std::vector<std::wstring> names;
  for (const auto& path : paths) {
    EXPECT_EQ(path, ScriptFixture(L"order") + L"\\" + FileName(path));
    names.push_back(FileName(path));
  }
  std::sort(names.begin(), names.end());
  // Not the folder nested.lua, nor the script inside it, nor readme.txt.
  const std::vector<std::wstring> expected = {L"alpha.lua",  L"bravo.lua", L"charlie.lua",
                                              L"common.lua", L"delta.lua", L"echo.lua"};
  EXPECT_EQ(names, expected);
}

TEST_F(Products, DetectedInPriorityOrderWithEqualPrioritiesInListingOrder) {
  UiToolLib lib(ScriptFixture(L"order"));
  StringList paths;
  lib.FindScripts(paths);
  ProductList products;
  lib.DetectProducts(products);

  // alpha has no priority, charlie's is a float and delta's a string: all three keep the
  // default 50 and follow the directory listing among themselves.
  std::vector<std::wstring> expected = {L"bravo"};
  for (const auto& path : paths) {
    const std::wstring name = FileName(path);
    if (name == L"alpha.lua" || name == L"charlie.lua" || name == L"delta.lua") {
      expected.push_back(name.substr(0, name.size() - 4));
    }
  }
  expected.push_back(L"echo");
  EXPECT_EQ(Ids(products), expected);

  struct Expected {
    std::wstring id;
    std::wstring displayName;
    std::wstring subProductId;
    bool detected;
    int priority;
  };
  const Expected values[] = {
      {L"alpha", L"Alpha Product", L"alpha-pro", true, 50},
      {L"bravo", L"", L"", false, 10},
      {L"charlie", L"", L"", true, 50},
      {L"delta", L"", L"", true, 50},
      {L"echo", L"", L"", true, 70},
  };
  for (const auto& value : values) {
    const auto found = std::find_if(products.begin(), products.end(),
                                    [&](const auto& p) { return p->GetId() == value.id; });
    ASSERT_NE(found, products.end()) << WideToUtf8(value.id);
    const auto& product = **found;
    EXPECT_EQ(product.GetDisplayName(), value.displayName) << WideToUtf8(value.id);
    EXPECT_EQ(product.GetSubProductId(), value.subProductId) << WideToUtf8(value.id);
    EXPECT_EQ(product.IsDetected(), value.detected) << WideToUtf8(value.id);
    EXPECT_EQ(product.GetPriority(), value.priority) << WideToUtf8(value.id);
    EXPECT_FALSE(product.IsSelected()) << WideToUtf8(value.id);
    EXPECT_EQ(dynamic_cast<const Product&>(product).GetScriptName(), value.id + L".lua");
  }

  // The library ran once at load and was dropped, its state closed at once.
  const auto entries = TestLog().Entries();
  const std::string libraryLine = " D: LuaUninstallScript::IsValidScript: '" +
                                  WideToUtf8(ScriptFixture(L"order") + L"\\common.lua") +
                                  "' is not a valid uninstall script, treating it as library";
  const auto library = std::find(entries.begin(), entries.end(), libraryLine);
  ASSERT_NE(library, entries.end()) << TestLog().Dump();
  ASSERT_NE(library + 1, entries.end());
  EXPECT_EQ(*(library + 1), " D: LuaScript::~LuaScript: Closing lua");
  EXPECT_EQ(std::count(entries.begin(), entries.end(), " I: [common.lua] library ran"), 1);
}

TEST_F(Products, NoProductsWithoutScripts) {
  ScratchFolder onlyLibrary(L"library only");
  onlyLibrary.Write(L"lib.lua", "return {}\n");
  ScratchFolder empty(L"empty");
  struct Case {
    std::wstring folder;
    bool warned;
  };
  const Case cases[] = {
      {empty.Path(), true},
      {empty.Path() + L"\\missing", true},
      {L"", true},
      {onlyLibrary.Path(), false},
  };
  for (const auto& c : cases) {
    TestLog().Mark();
    EXPECT_TRUE(Detect(c.folder).empty()) << WideToUtf8(c.folder);
    const std::string warning =
        ".W: UiToolLib::DetectProducts: Could not find any scripts from " + WideToUtf8(c.folder);
    EXPECT_EQ(TestLog().Has(warning), c.warned) << TestLog().Dump();
  }
}

TEST_F(Products, ProductRequiresItsLibraryFromAFolderWithABlank) {
  const std::wstring folder = ScriptFixture(L"with blank");
  const ProductList products = Detect(folder);
  ASSERT_EQ(Ids(products), std::vector<std::wstring>{L"blank"}) << TestLog().Dump();
  EXPECT_EQ(products[0]->GetDisplayName(), L"Product from " + folder);
  EXPECT_EQ(products[0]->GetSubProductId(), folder);

  TestLog().Mark();
  Select(products, {L"blank"});
  EXPECT_EQ(UiToolLib(folder).RemoveProducts(products), RemovalResult::Removed);
  // A library function's line carries the library's own file name.
  EXPECT_EQ(ScriptLines(), std::vector<std::string>{"[shared_lib.lua] reported by the library"});
}

TEST_F(Products, SelectedProductsAreRemovedInListOrderDetectedOrNot) {
  const std::wstring folder = ScriptFixture(L"order");
  const ProductList products = Detect(folder);
  Select(products, {L"bravo", L"charlie", L"delta", L"echo"});
  TestLog().Mark();
  EXPECT_EQ(UiToolLib(folder).RemoveProducts(products), RemovalResult::Removed);

  std::vector<std::string> expected;
  std::vector<std::string> removing;
  for (const auto& product : products) {
    if (!product->IsSelected()) continue;
    const std::string id = WideToUtf8(product->GetId());
    expected.push_back(std::string("[").append(id).append(".lua] cleanup ").append(id));
  }
  for (const auto& entry : TestLog().Entries()) {
    if (entry.find("Removing product:") != std::string::npos) removing.push_back(entry);
  }
  // bravo was not detected and is removed all the same; alpha was not selected: no line.
  EXPECT_EQ(ScriptLines(), expected);
  ASSERT_EQ(removing.size(), 4u) << TestLog().Dump();
  EXPECT_EQ(removing[0], " I: UiToolLib::RemoveProducts: Removing product: bravo  ()");
  for (const auto& line : removing) EXPECT_EQ(line.find("alpha"), std::string::npos);

  // With a display name and a sub-product id.
  TestLog().Mark();
  Select(products, {L"alpha"});
  UiToolLib(folder).RemoveProducts(products);
  EXPECT_TRUE(TestLog().Has(
      " I: UiToolLib::RemoveProducts: Removing product: alpha alpha-pro (Alpha Product)"))
      << TestLog().Dump();
}

TEST_F(Products, WhatTheScriptsReportDuringRemovalDecidesTheOutcome) {
  struct Case {
    std::set<std::wstring> selected;
    RemovalResult expected;
  };
  const Case cases[] = {
      {{}, RemovalResult::Removed},
      {{L"plain"}, RemovalResult::Removed},
      // Marks set while loading and detecting don't count.
      {{L"early"}, RemovalResult::Removed},
      {{L"reboot"}, RemovalResult::RemovedRebootNeeded},
      {{L"reboot", L"plain"}, RemovalResult::RemovedRebootNeeded},
      {{L"fail"}, RemovalResult::Failed},
      {{L"error"}, RemovalResult::Failed},
      {{L"argument"}, RemovalResult::Failed},
      // A failure wins over a needed reboot, whichever comes first.
      {{L"reboot", L"fail"}, RemovalResult::Failed},
      {{L"reboot", L"error", L"plain"}, RemovalResult::Failed},
  };
  const std::wstring folder = ScriptFixture(L"outcome");
  for (const auto& c : cases) {
    std::string name;
    for (const auto& id : c.selected) name += WideToUtf8(id) + " ";
    const ProductList products = Detect(folder);
    ASSERT_EQ(products.size(), 7u) << TestLog().Dump();
    // early.lua marked the run failed and needing a reboot while it was detected.
    EXPECT_TRUE(Status::Instance().IsFailed());
    Select(products, c.selected);
    EXPECT_EQ(UiToolLib(folder).RemoveProducts(products), c.expected) << name;
  }
}

TEST_F(Products, OutcomeLinesOfMetaAndOfAScriptError) {
  const std::wstring folder = ScriptFixture(L"outcome");
  const ProductList products = Detect(folder);
  Select(products, {L"reboot", L"reboot2", L"fail", L"error"});
  TestLog().Mark();
  EXPECT_EQ(UiToolLib(folder).RemoveProducts(products), RemovalResult::Failed);

  const auto entries = TestLog().Entries();
  // The flag's own line once, however many scripts ask for a reboot.
  EXPECT_EQ(
      std::count(entries.begin(), entries.end(), " I: Status::SetRebootNeeded: Reboot is needed"),
      1);
  EXPECT_TRUE(TestLog().Has(" I: [reboot.lua] Reboot needed: driver in use"));
  EXPECT_TRUE(TestLog().Has(" I: [reboot2.lua] Reboot needed: "));
  EXPECT_TRUE(TestLog().Has("*F: [fail.lua] service could not be deleted"));

  const std::string message =
      WideToUtf8(folder) + "\\error.lua:5: attempt to index a nil value (local 'missing')";
  const std::string errorLine =
      "*E: LuaUninstallScript::CallLuaFunction: Error 2 calling 'CleanupProduct'. Error: ";
  const auto error = std::find_if(entries.begin(), entries.end(), [&](const std::string& e) {
    return e.compare(0, errorLine.size(), errorLine) == 0;
  });
  ASSERT_NE(error, entries.end()) << TestLog().Dump();
  // Lua shortens long chunk names from the front; the end of the text is always there.
  const std::string text = error->substr(errorLine.size());
  const std::string tail = "error.lua:5: attempt to index a nil value (local 'missing')";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  if (message.size() < 60) {
    EXPECT_EQ(text, message);
  }
  ASSERT_NE(error + 1, entries.end());
  EXPECT_EQ(*(error + 1), StackEntry("'" + text + "'  "));
}

// Reports whether the calling thread's token holds both privileges enabled.
int ProbePrivileges(lua_State* state) {
  bool enabled = false;
  UniqueHandle token;
  if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
    PRIVILEGE_SET set{};
    set.PrivilegeCount = 1;
    set.Control = PRIVILEGE_SET_ALL_NECESSARY;
    enabled = true;
    for (const wchar_t* name : {L"SeTakeOwnershipPrivilege", L"SeRestorePrivilege"}) {
      BOOL held = FALSE;
      ::LookupPrivilegeValueW(nullptr, name, &set.Privilege[0].Luid);
      enabled = enabled && ::PrivilegeCheck(token.get(), &set, &held) && held;
    }
  }
  lua_pushboolean(state, enabled ? 1 : 0);
  return 1;
}

TEST_F(Products, CleanupRunsWithTakeOwnershipAndRestorePrivileges) {
  ScratchFolder folder(L"privileges");
  const auto path = folder.Write(L"privileged.lua", R"(
function GetProductId() return "privileged" end
function DetectProduct() return true end
function CleanupProduct() return ProbePrivileges() end
)");
  Product product;
  ASSERT_TRUE(product.Load(path));
  // The probe is the test's seam into the script's state.
  lua_register(product.Script()->State(), "ProbePrivileges", ProbePrivileges);
  EXPECT_TRUE(product.Remove()) << TestLog().Dump();
  EXPECT_FALSE(TestLog().Has("*E: Product::Remove: Failed to get TakeOnwerShip privilege"));
  EXPECT_FALSE(TestLog().Has("*E: Product::Remove: Failed to get Restore privilege"));

  // Afterwards the thread is back to the state it had: no token of its own.
  UniqueHandle token;
  EXPECT_FALSE(::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
}

// A product the list may hold that no script backs.
class FixedProduct : public ProductConfig {
 public:
  std::wstring GetId() const override { return L"fixed"; }
  std::wstring GetSubProductId() const override { return {}; }
  std::wstring GetDisplayName() const override { return L"Fixed"; }
  bool IsDetected() const override { return true; }
  bool IsSelected() const override { return selected_; }
  void SetSelected(bool selected) override { selected_ = selected; }
  int GetPriority() const override { return 50; }

 private:
  bool selected_ = false;
};

TEST_F(Products, ASelectedProductWithoutAScriptFailsTheRemovalAndTheOthersGoOn) {
  const std::wstring folder = ScriptFixture(L"outcome");
  ProductList products = Detect(folder);
  products.insert(products.begin(), std::make_shared<FixedProduct>());
  Select(products, {L"fixed", L"plain"});
  TestLog().Mark();
  EXPECT_EQ(UiToolLib(folder).RemoveProducts(products), RemovalResult::Failed);
  EXPECT_TRUE(TestLog().Has("*E: UiToolLib::RemoveProducts: 'fixed' has no script to remove it"))
      << TestLog().Dump();
  EXPECT_EQ(ScriptLines(), std::vector<std::string>{"[plain.lua] cleanup plain"});
}

}  // namespace
