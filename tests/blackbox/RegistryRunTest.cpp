// Silent runs of the real PurgeKit64.exe (and PurgeKit32.exe running the scripts itself) whose
// product scripts read, count and remove a product's registry branches in both views through
// the Reg module, also where the branches hold registry links.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"
#include "RegOps.h"
#include "StringUtils.h"
#include "TestRegistry.h"

namespace {

// A key that lets the Administrators read its values only, and one that grants them nothing
// but the owner change (under Wine the stand-in for what the take-ownership privilege grants
// on Windows).
constexpr wchar_t kValuesOnly[] = L"D:P(A;;0x1;;;BA)";
constexpr wchar_t kOwnerChangeOnly[] = L"O:SYD:P(A;;0x80000;;;BA)(A;;KA;;;SY)";

bool Protect(const std::wstring& key, REGSAM view, const wchar_t* sddl = kOwnerChangeOnly) {
  const SECURITY_INFORMATION parts = sddl[0] == L'O'
                                         ? OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION
                                         : DACL_SECURITY_INFORMATION;
  return SetKeySddl(key, view, sddl, parts);
}

// The product's removal with one of its components protected.
void RunTheProductsRemoval(const wchar_t* protection) {
  TestKey base(L"RegRun");
  ScopedRegValue baseValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\PurgeKitTests", L"RegRunBase",
                           KEY_WOW64_64KEY);
  ASSERT_TRUE(baseValue.SetString(base.Path()));
  TestRegistry view32(KEY_WOW64_32KEY);
  TestRegistry view64(KEY_WOW64_64KEY);
  for (TestRegistry* view : {&view32, &view64}) {
    ASSERT_TRUE(view->CreateKey(base / L"Halcyra\\Components\\Agent"));
    ASSERT_TRUE(view->CreateKey(base / L"Halcyra\\Components\\Firewall\\Rules"));
    ASSERT_TRUE(view->CreateKey(base / L"Halcyra\\Components\\Updater"));
    ASSERT_TRUE(view->CreateKey(base / L"HalcyraAgent\\Settings"));
    ASSERT_TRUE(view->CreateKey(base / L"HALCYRA Shared\\Settings"));
  }
  ASSERT_TRUE(view32.SetString(base / L"Halcyra", L"InstallDir",
                               std::wstring(L"C:\\Program Files (x86)\\Halcyra")));
  ASSERT_TRUE(view64.CreateKey(base / L"Shared"));
  ASSERT_TRUE(view64.SetDWORD(base / L"Shared", L"Users", 1));
  // A protected component: removed only after ownership is taken.
  ASSERT_TRUE(Protect(base / L"Halcyra\\Components\\Firewall", KEY_WOW64_64KEY, protection));

  ScopedLogRoot root;
  const LoggedRun run = RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" +
                                                        FixturePath(L"run\\registry") + L"\"");
  const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.exitCode, 0u) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[registry.lua] install dir C:\\Program Files (x86)\\Halcyra"), 0)
      << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[registry.lua] components 3"), 0) << Dump(lines);

  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    SCOPED_TRACE(view);
    EXPECT_EQ(OpenKeyError(base / L"Halcyra", view, KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenKeyError(base / L"HalcyraAgent", view, KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenKeyError(base / L"HALCYRA Shared\\Settings", view, KEY_READ), ERROR_SUCCESS);
  }
  EXPECT_EQ(OpenKeyError(base / L"Shared", KEY_WOW64_64KEY, KEY_READ), ERROR_FILE_NOT_FOUND);
}

TEST(RegistryRun, TheProductsBranchesGoInBothViewsAndLookAlikesStay) {
  for (const wchar_t* protection : {kValuesOnly, kOwnerChangeOnly}) {
    SCOPED_TRACE(WideToUtf8(protection));
    RunTheProductsRemoval(protection);
  }
}

// What a test compares of a key it must not change: its subkeys, a value and its security.
struct KeyState {
  StringList subkeys;
  std::wstring value;
  std::wstring sddl;
  bool operator==(const KeyState&) const = default;
};

KeyState StateOf(const std::wstring& key, REGSAM view) {
  TestRegistry registry(view);
  KeyState state;
  WideList names;
  registry.GetSubkeys(key, names);
  state.subkeys.assign(names.begin(), names.end());
  registry.GetString(key, L"Keep", state.value);
  state.sddl = KeySddl(key, view);
  return state;
}

// Registry links inside a branch and among the matches of a mask: one to a key outside
// everything named, one to its own parent. The links go as links, their target stays as it
// was, and the product after them is removed as usual.
TEST(RegistryRun, LinksInABranchAndAMaskGoAsLinksAndTheirTargetStays) {
  constexpr REGSAM kView = KEY_WOW64_64KEY;
  TestKey base(L"RegLinks");
  ScopedRegValue baseValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\PurgeKitTests", L"RegLinksBase", kView);
  ASSERT_TRUE(baseValue.SetString(base.Path()));
  TestRegistry registry(kView);
  const std::wstring victim = base / L"Victim";
  ASSERT_TRUE(registry.CreateKey(victim + L"\\Child\\Deep"));
  ASSERT_TRUE(registry.CreateKey(victim + L"\\Other"));
  ASSERT_TRUE(registry.SetString(victim, L"Keep", std::wstring(L"victim")));
  ASSERT_TRUE(SetKeySddl(victim, kView, L"D:P(A;;KA;;;BA)(A;;KA;;;SY)(A;;KR;;;BU)",
                         DACL_SECURITY_INFORMATION));
  ASSERT_TRUE(registry.SetString(victim + L"\\Child", L"Keep", std::wstring(L"child")));

  const std::wstring linked = base / L"Linked";
  ASSERT_TRUE(registry.CreateKey(linked + L"\\Components\\Agent"));
  ASSERT_TRUE(CreateLinkKey(linked + L"\\Components\\Shared", victim, kView));
  ASSERT_TRUE(CreateLinkKey(linked + L"\\Loop", linked, kView));
  ASSERT_TRUE(registry.CreateKey(linked + L"\\Deeper"));
  ASSERT_TRUE(CreateLinkKey(linked + L"\\Deeper\\Back", linked + L"\\Deeper", kView));

  const std::wstring shared = base / L"Shared";
  ASSERT_TRUE(registry.CreateKey(shared + L"\\LinkedReal\\Inner"));
  ASSERT_TRUE(registry.CreateKey(shared + L"\\Other"));
  ASSERT_TRUE(CreateLinkKey(shared + L"\\LinkedToVictim", victim, kView));
  ASSERT_TRUE(CreateLinkKey(shared + L"\\LinkedLoop", shared, kView));
  ASSERT_TRUE(registry.CreateKey(base / L"After\\Sub"));

  const KeyState victimBefore = StateOf(victim, kView);
  const KeyState childBefore = StateOf(victim + L"\\Child", kView);
  ASSERT_EQ(victimBefore.subkeys, (StringList{L"Child", L"Other"}));

  ScopedLogRoot root;
  const LoggedRun run = RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" +
                                                        FixturePath(L"run\\registrylinks") + L"\"");
  const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.exitCode, 0u) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[links.lua] linked: branch true, mask true"), 0) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[after.lua] after: branch true"), 0) << Dump(lines);

  EXPECT_EQ(OpenKeyError(linked, kView, 0), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenKeyError(base / L"After", kView, 0), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOps::GetSubkeys(HKEY_LOCAL_MACHINE, shared, kView), StringList{L"Other"});
  EXPECT_TRUE(StateOf(victim, kView) == victimBefore) << WideToUtf8(KeySddl(victim, kView));
  EXPECT_TRUE(StateOf(victim + L"\\Child", kView) == childBefore);
  EXPECT_EQ(OpenKeyError(victim + L"\\Child\\Deep", kView, KEY_READ), ERROR_SUCCESS);
}

// Keys that grant the Administrators nothing but the owner change, inside what the script
// names: a leaf, a key with such subkeys three deep, the branch key itself, a match of a mask, a
// key of the 32-bit view (its 64-bit twin stays as it was) and a registry link (gone as the
// link; its target keeps its keys, values and security). Each is taken over and removed. Such a
// key asked about is there and not empty, and a mask removal given it gives false and leaves it
// closed as it was.
TEST(RegistryRun, ProtectedKeysInsideWhatIsNamedAreTakenOverAndRemoved) {
  constexpr REGSAM kView = KEY_WOW64_64KEY;
  TestKey base(L"RegProtected");
  ScopedRegValue baseValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\PurgeKitTests", L"RegProtectedBase",
                           kView);
  ASSERT_TRUE(baseValue.SetString(base.Path()));
  TestRegistry registry(kView);
  TestRegistry registry32(KEY_WOW64_32KEY);
  std::vector<std::pair<std::wstring, REGSAM>> protectedKeys;  // children before parents
  const auto make = [&](TestRegistry& in, const std::wstring& key, bool guarded) {
    if (!in.CreateKey(base / key) || !in.SetString(base / key, L"Keep", key)) return false;
    if (guarded)
      protectedKeys.emplace_back(base / key, &in == &registry32 ? KEY_WOW64_32KEY : kView);
    return true;
  };
  ASSERT_TRUE(make(registry, L"Leafy\\Guard", true));
  ASSERT_TRUE(make(registry, L"Leafy\\Plain", false));
  ASSERT_TRUE(make(registry, L"Nested\\Guard\\Inner\\Deep", true));
  ASSERT_TRUE(make(registry, L"Nested\\Guard\\Inner", true));
  ASSERT_TRUE(make(registry, L"Nested\\Guard", true));
  ASSERT_TRUE(make(registry, L"Named\\Sub", false));
  ASSERT_TRUE(make(registry, L"Named", true));
  ASSERT_TRUE(make(registry, L"Masked\\KvGuard\\Sub", false));
  ASSERT_TRUE(make(registry, L"Masked\\KvGuard", true));
  ASSERT_TRUE(make(registry, L"Masked\\Other", false));
  ASSERT_TRUE(make(registry32, L"Wow\\Guard\\Sub", false));
  ASSERT_TRUE(make(registry32, L"Wow\\Guard", true));
  ASSERT_TRUE(make(registry, L"Wow\\Guard\\Sub", false));
  ASSERT_TRUE(make(registry, L"Victim\\Child", false));
  ASSERT_TRUE(make(registry, L"Closed\\Child", false));
  ASSERT_TRUE(make(registry, L"Closed", true));
  ASSERT_TRUE(make(registry, L"Canary", false));
  ASSERT_TRUE(CreateLinkKey(base / L"Linked\\Guard", base / L"Victim", kView));
  protectedKeys.emplace_back(base / L"Linked\\Guard", kView);
  for (const auto& [key, view] : protectedKeys) {
    ASSERT_TRUE(Protect(key, view)) << WideToUtf8(key);
    ASSERT_EQ(KeySddl(key, view), L"") << WideToUtf8(key);  // not even READ_CONTROL
  }
  const KeyState victimBefore = StateOf(base / L"Victim", kView);
  const KeyState twinBefore = StateOf(base / L"Wow\\Guard", kView);

  ScopedLogRoot root;
  const LoggedRun run =
      RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" +
                                      FixturePath(L"run\\registryprotected") + L"\"");
  const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.exitCode, 0u) << Dump(lines);
  for (const char* said : {"leaf true", "nested true", "named true", "mask true", "view32 true",
                           "link true", "exists true", "empty false", "listed false"}) {
    EXPECT_GE(IndexOf(lines, std::string("[protected.lua] protected: ") + said), 0) << said << "\n"
                                                                                    << Dump(lines);
  }

  for (const wchar_t* gone : {L"Leafy", L"Nested", L"Named", L"Masked\\KvGuard", L"Linked"}) {
    EXPECT_EQ(OpenKeyError(base / gone, kView, 0), ERROR_FILE_NOT_FOUND) << WideToUtf8(gone);
  }
  EXPECT_EQ(OpenKeyError(base / L"Wow", KEY_WOW64_32KEY, 0), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(StateOf(base / L"Wow\\Guard", kView) == twinBefore);
  EXPECT_TRUE(StateOf(base / L"Victim", kView) == victimBefore);
  EXPECT_EQ(OpenKeyError(base / L"Masked\\Other", kView, KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(OpenKeyError(base / L"Canary", kView, KEY_READ), ERROR_SUCCESS);
  // The key asked about is still closed to the Administrators: neither its owner nor its DACL
  // changed, and it keeps its subkey.
  const std::wstring closed = base / L"Closed";
  EXPECT_EQ(KeySddl(closed, kView), L"");
  ASSERT_TRUE(SetKeySddl(closed, kView, L"O:BA", OWNER_SECURITY_INFORMATION));
  EXPECT_EQ(KeyDaclEntries(closed, kView), L"(A;;WO;;;BA)(A;;KA;;;SY)");
  EXPECT_EQ(OpenKeyError(closed + L"\\Child", kView, KEY_READ), ERROR_SUCCESS);
}

// The 32-bit program running the scripts itself (no 64-bit program beside them) removes a
// 64-bit-view branch whose key must be taken over: the ownership change stays in that view,
// and the 32-bit twin keeps its keys and its security.
TEST(RegistryRun, The32BitProgramTakesOverA64BitKeyAndLeavesItsTwinAlone) {
  if (!Wine32Available()) GTEST_SKIP() << kNoWine32Reason;
  TestKey base(L"RegWow64");
  ScopedRegValue baseValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\PurgeKitTests", L"RegWow64Base",
                           KEY_WOW64_64KEY);
  ASSERT_TRUE(baseValue.SetString(base.Path()));
  const std::wstring closed = base / L"Halcyra\\Closed";
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    ASSERT_TRUE(TestRegistry(view).CreateKey(closed + L"\\Hidden"));
  }
  // The 64-bit key lets the Administrators read its values only, so that its subkey is hidden
  // and its deletion denied until it is taken over; its 32-bit twin grants the users reading.
  ASSERT_TRUE(SetKeySddl(closed, KEY_WOW64_64KEY, L"D:P(A;;0x1;;;BA)", DACL_SECURITY_INFORMATION));
  ASSERT_TRUE(SetKeySddl(closed, KEY_WOW64_32KEY, L"D:P(A;;KA;;;BA)(A;;KA;;;SY)(A;;KR;;;BU)",
                         DACL_SECURITY_INFORMATION));
  const KeyState twinBefore = StateOf(closed, KEY_WOW64_32KEY);

  ScopedLogRoot root;
  const LoggedRun run = RunForLog(PurgeKit32Path(), L"--silent --language en --scripts \"" +
                                                        FixturePath(L"run\\registrywow64") + L"\"");
  const auto lines = ReadLogLines(root.Directory());
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.exitCode, 0u) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "[wow64.lua] wow64: branch true"), 0) << Dump(lines);
  EXPECT_EQ(OpenKeyError(base / L"Halcyra", KEY_WOW64_64KEY, 0), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(StateOf(closed, KEY_WOW64_32KEY) == twinBefore)
      << WideToUtf8(KeySddl(closed, KEY_WOW64_32KEY));
  EXPECT_EQ(OpenKeyError(closed + L"\\Hidden", KEY_WOW64_32KEY, KEY_READ), ERROR_SUCCESS);
}

}  // namespace
