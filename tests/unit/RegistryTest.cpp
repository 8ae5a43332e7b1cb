// The registry layer and the forced removal on the real (Wine) registry: values of every type
// byte for byte, keys and trees, both registry views, and removals that are denied.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ImportHook.h"
#include "LogCapture.h"
#include "OwnerOnlyWriteDacSeam.h"
#include "RegOps.h"
#include "SecurityCallWatch.h"
#include "TestRegistry.h"
#include "UniqueAny.h"
#include "Win32Registry.h"

namespace {

constexpr REGSAM kView32 = KEY_WOW64_32KEY;
constexpr REGSAM kView64 = KEY_WOW64_64KEY;
// A DACL that lets the Administrators read a key's values and nothing else: the walk can
// tell the key is no link, but can't list it.
constexpr wchar_t kValuesOnly[] = L"D:P(A;;0x1;;;BA)";
// A key the system owns that leaves the Administrators WRITE_OWNER alone: under Wine it stands
// in for what the take-ownership privilege grants on Windows.
constexpr wchar_t kOwnerChangeOnly[] = L"O:SYD:P(A;;0x80000;;;BA)(A;;KA;;;SY)";

ByteList Bytes(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  return ByteList(bytes, bytes + size);
}

ByteList RawValue(const std::wstring& key, const std::wstring& name, uint32_t& type) {
  TestRegistry registry;
  ByteList bytes;
  type = 0xDEAD;
  registry.GetRawValue(key, name, bytes, type);
  return bytes;
}

bool Exists(const std::wstring& key, REGSAM view) {
  return OpenKeyError(key, view, KEY_READ) == ERROR_SUCCESS;
}

TEST(Win32Registry, ValuesRoundTripWithTheirTypeAndBytes) {
  TestKey root(L"values");
  TestRegistry registry;
  const std::wstring key = root.Path();
  int kind = -1;

  EXPECT_EQ(registry.GetLastErrorKind(), RegistryError::Ok);
  ASSERT_TRUE(registry.SetString(key, L"sz", std::wstring(L"text \u00e9"), &kind));
  ASSERT_TRUE(registry.SetDWORD(key, L"dword", 0xFFFFFFFFu));
  ASSERT_TRUE(registry.SetQWORD(key, L"qword", 0x1122334455667788ull));
  ASSERT_TRUE(registry.SetBinary(key, L"binary", ByteList{1, 0, 2}));
  ASSERT_TRUE(registry.SetBinary(key, L"emptybinary", ByteList{}));
  ASSERT_TRUE(registry.SetMultiString(key, L"multi", WideList{L"a", L"bc"}));
  ASSERT_TRUE(registry.SetMultiString(key, L"emptymulti", WideList{}));

  uint32_t type = 0;
  const wchar_t sz[] = L"text \u00e9";
  EXPECT_EQ(RawValue(key, L"sz", type), Bytes(sz, sizeof(sz)));
  EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
  const wchar_t multi[] = {L'a', 0, L'b', L'c', 0, 0};
  EXPECT_EQ(RawValue(key, L"multi", type), Bytes(multi, sizeof(multi)));
  const wchar_t empty[] = {0, 0};
  EXPECT_EQ(RawValue(key, L"emptymulti", type), Bytes(empty, sizeof(empty)));
  EXPECT_EQ(type, static_cast<uint32_t>(REG_MULTI_SZ));

  std::wstring text;
  EXPECT_TRUE(registry.GetString(key, L"sz", text));
  EXPECT_EQ(text, L"text \u00e9");
  std::string utf8;
  EXPECT_TRUE(registry.GetString(key, L"sz", utf8));
  EXPECT_EQ(utf8, "text \xC3\xA9");
  uint32_t dword = 0;
  EXPECT_TRUE(registry.GetDWORD(key, L"dword", dword));
  EXPECT_EQ(dword, 0xFFFFFFFFu);
  uint64_t qword = 0;
  EXPECT_TRUE(registry.GetQWORD(key, L"qword", qword));
  EXPECT_EQ(qword, 0x1122334455667788ull);
  ByteList binary;
  EXPECT_TRUE(registry.GetBinary(key, L"binary", binary));
  EXPECT_EQ(binary, (ByteList{1, 0, 2}));
  binary = {9};
  EXPECT_TRUE(registry.GetBinary(key, L"emptybinary", binary));
  EXPECT_TRUE(binary.empty());
  WideList list;
  EXPECT_TRUE(registry.GetMultiString(key, L"multi", list));
  EXPECT_EQ(list, (WideList{L"a", L"bc"}));
  Utf8List utf8List;
  EXPECT_TRUE(registry.GetMultiString(WideToUtf8(key), "multi", utf8List));
  EXPECT_EQ(utf8List, (Utf8List{"a", "bc"}));

  EXPECT_EQ(registry.GetValueType(key, L"qword"), static_cast<uint32_t>(REG_QWORD));
  EXPECT_TRUE(registry.DeleteValue(key, L"qword"));
  EXPECT_FALSE(registry.DeleteValue(key, L"qword", &kind));
  EXPECT_EQ(kind, RegistryError::NotFound);
  EXPECT_EQ(registry.GetValueType(key, L"qword", &kind), 0u);
  EXPECT_EQ(kind, RegistryError::NotFound);
}

TEST(Win32Registry, ReadsTakeTheStoredBytesAsTheyAre) {
  TestKey root(L"edges");
  TestRegistry registry;
  const std::wstring key = root.Path();
  // Wine (like Windows) adds a terminator to REG_SZ data when the unit after it is NUL, so
  // byte-exact strings are cut from a longer buffer.
  const wchar_t noTerminator[] = L"abX";
  const wchar_t twoTerminators[] = {L'a', L'b', 0, 0, L'X'};
  const wchar_t skipped[] = {L'a', 0, 0, L'b', 0, 0};
  const uint8_t four[] = {1, 2, 3, 4};
  const uint8_t eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
  const wchar_t expand[] = L"%SystemRoot%\\x";
  ASSERT_TRUE(registry.SetRaw(key, L"noterm", REG_SZ, noTerminator, 4));
  ASSERT_TRUE(registry.SetRaw(key, L"twoterm", REG_SZ, twoTerminators, 8));
  ASSERT_TRUE(registry.SetRaw(key, L"odd", REG_SZ, noTerminator, 5));
  ASSERT_TRUE(registry.SetRaw(key, L"expand", REG_EXPAND_SZ, expand, sizeof(expand)));
  ASSERT_TRUE(registry.SetRaw(key, L"none4", REG_NONE, four, 4));
  ASSERT_TRUE(registry.SetRaw(key, L"none8", REG_NONE, eight, 8));
  ASSERT_TRUE(registry.SetRaw(key, L"multiskip", REG_MULTI_SZ, skipped, sizeof(skipped)));
  ASSERT_TRUE(registry.SetRaw(key, L"multi0", REG_MULTI_SZ, skipped, 0));
  ASSERT_TRUE(registry.SetDWORD(key, L"dword", 7));
  ASSERT_TRUE(registry.SetString(key, L"sz", std::wstring(L"s")));

  struct StringCase {
    const wchar_t* name;
    bool ok;
    int kind;
    std::wstring text;
  };
  const StringCase strings[] = {
      {L"noterm", true, RegistryError::Ok, L"ab"},
      {L"twoterm", true, RegistryError::Ok, std::wstring(L"ab\0", 3)},
      {L"odd", true, RegistryError::Ok, L"ab"},
      {L"expand", true, RegistryError::Ok, L"%SystemRoot%\\x"},
      {L"dword", false, RegistryError::WrongType, L""},
      {L"missing", false, RegistryError::NotFound, L""},
  };
  for (const auto& c : strings) {
    SCOPED_TRACE(testing::Message() << WideToUtf8(c.name));
    std::wstring text = L"before";
    int kind = -1;
    EXPECT_EQ(registry.GetString(key, c.name, text, &kind), c.ok);
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(text, c.text);
  }
  std::wstring untouched = L"before";
  EXPECT_FALSE(registry.GetString(key + L"\\nokey", L"sz", untouched));
  EXPECT_EQ(untouched, L"before");

  struct NumberCase {
    const wchar_t* name;
    int dwordKind;
    int qwordKind;
  };
  const NumberCase numbers[] = {
      {L"none4", RegistryError::Ok, RegistryError::Ok},
      {L"none8", RegistryError::Failed, RegistryError::Ok},  // too long for the DWORD
      {L"dword", RegistryError::Ok, RegistryError::WrongType},
      {L"sz", RegistryError::WrongType, RegistryError::WrongType},
      {L"missing", RegistryError::NotFound, RegistryError::NotFound},
  };
  for (const auto& c : numbers) {
    SCOPED_TRACE(testing::Message() << WideToUtf8(c.name));
    uint32_t dword = 0;
    uint64_t qword = 0;
    int kind = -1;
    registry.GetDWORD(key, c.name, dword, &kind);
    EXPECT_EQ(kind, c.dwordKind);
    registry.GetQWORD(key, c.name, qword, &kind);
    EXPECT_EQ(kind, c.qwordKind);
  }
  uint32_t dword = 0;
  ASSERT_TRUE(registry.GetDWORD(key, L"none4", dword));
  EXPECT_EQ(dword, 0x04030201u);
  uint64_t qword = 0;
  ASSERT_TRUE(registry.GetQWORD(key, L"none8", qword));
  EXPECT_EQ(qword, 0x0807060504030201ull);
  int kind = -1;
  EXPECT_EQ(registry.GetValueType(key, L"none4", &kind), 0u);
  EXPECT_EQ(kind, RegistryError::Ok);

  WideList list = {L"kept"};
  EXPECT_TRUE(registry.GetMultiString(key, L"multi0", list));
  EXPECT_EQ(list, WideList{L"kept"});
  EXPECT_TRUE(registry.GetMultiString(key, L"multiskip", list));
  EXPECT_EQ(list, WideList{L"a"});
  EXPECT_FALSE(registry.GetMultiString(key, L"sz", list, &kind));
  EXPECT_EQ(kind, RegistryError::WrongType);

  // An empty element is refused and the stored value stays as it was.
  EXPECT_FALSE(registry.SetMultiString(key, L"multiskip", WideList{L"x", L""}, &kind));
  EXPECT_EQ(kind, RegistryError::InvalidParameter);
  uint32_t type = 0;
  EXPECT_EQ(RawValue(key, L"multiskip", type), Bytes(skipped, sizeof(skipped)));

  // Setters never create their key.
  const std::wstring missing = key + L"\\missing";
  EXPECT_FALSE(registry.SetDWORD(missing, L"v", 1, &kind));
  EXPECT_EQ(kind, RegistryError::NotFound);
  EXPECT_FALSE(registry.SetString(missing, L"v", std::wstring(L"x"), &kind));
  EXPECT_EQ(kind, RegistryError::NotFound);
  EXPECT_FALSE(Exists(missing, 0));
}

TEST(Win32Registry, KeysAreCreatedCopiedAndDeletedAsPathsAndTrees) {
  TestKey root(L"keys");
  TestRegistry registry;
  const std::wstring key = root.Path();
  int kind = -1;

  EXPECT_TRUE(registry.CreateKey(key + L"\\a\\b\\c", &kind));
  EXPECT_TRUE(Exists(key + L"\\a\\b\\c", 0));
  EXPECT_TRUE(registry.CreateKey(std::wstring(L"OnlyOnePart"), &kind));
  EXPECT_FALSE(Exists(L"OnlyOnePart", 0));
  EXPECT_FALSE(registry.CreateKey(key + L"\\x\\", &kind));
  EXPECT_EQ(kind, RegistryError::InvalidParameter);
  EXPECT_TRUE(registry.DeleteKey(key + L"\\x"));
  EXPECT_FALSE(registry.CreateKey(key, std::wstring(), &kind));
  EXPECT_EQ(kind, RegistryError::InvalidParameter);

  EXPECT_TRUE(registry.KeyExists(key + L"\\a\\b"));
  EXPECT_FALSE(registry.KeyExists(key + L"\\nothere", &kind));
  EXPECT_EQ(kind, RegistryError::NotFound);
  EXPECT_FALSE(registry.DeleteKey(std::wstring(L"NoBackslash"), &kind));
  EXPECT_EQ(kind, RegistryError::InvalidParameter);
  EXPECT_FALSE(registry.DeleteKey(key + L"\\a", &kind));  // still has subkeys
  EXPECT_NE(kind, RegistryError::Ok);

  // Copies: values first, then subkeys; a target inside the source is refused in any case.
  ASSERT_TRUE(registry.SetDWORD(key + L"\\a", L"n", 5));
  ASSERT_TRUE(registry.SetString(key + L"\\a\\b\\c", L"s", std::wstring(L"deep")));
  EXPECT_TRUE(registry.CopyTree(key + L"\\a", key + L"\\copy", &kind));
  std::wstring text;
  EXPECT_TRUE(registry.GetString(key + L"\\copy\\b\\c", L"s", text));
  EXPECT_EQ(text, L"deep");
  EXPECT_FALSE(registry.CopyTree(key + L"\\a", key + L"\\a\\inner", &kind));
  EXPECT_EQ(kind, RegistryError::InvalidParameter);
  EXPECT_FALSE(registry.CopyTree(key + L"\\a", key + L"\\A\\inner", &kind));
  EXPECT_FALSE(Exists(key + L"\\a\\inner", 0));
  const uint8_t none[] = {1};
  ASSERT_TRUE(registry.SetRaw(key + L"\\a", L"none", REG_NONE, none, 1));
  EXPECT_FALSE(registry.CopyValue(key + L"\\a", L"none", key, L"none", &kind));
  EXPECT_EQ(kind, RegistryError::WrongType);
  EXPECT_FALSE(registry.CopyValue(key + L"\\a", L"n", key + L"\\nothere", L"n", &kind));
  EXPECT_EQ(kind, RegistryError::NotFound);
  EXPECT_FALSE(registry.CopyValue(L"", L"n", key, L"n", &kind));
  EXPECT_EQ(kind, RegistryError::InvalidParameter);

  // Listings and their UTF-8 forms.
  WideList names{L"stale"};
  EXPECT_EQ(registry.GetSubkeys(key, names), 2u);
  EXPECT_EQ(names, (WideList{L"a", L"copy"}));
  names = {L"stale"};
  EXPECT_EQ(registry.GetSubkeys(key + L"\\nothere", names, &kind), 0u);
  EXPECT_EQ(kind, RegistryError::NotFound);
  EXPECT_EQ(names, WideList{L"stale"});
  const std::string utf8Key = WideToUtf8(key);
  EXPECT_EQ(registry.GetSubkeyCount(utf8Key), 2u);
  EXPECT_EQ(registry.GetValueCount(utf8Key + "\\a"), 2u);
  EXPECT_EQ(registry.GetSubkeyPath(utf8Key, 1), utf8Key + "\\copy");
  EXPECT_EQ(registry.GetSubkeyPath(utf8Key, 2, &kind), "");
  EXPECT_EQ(kind, RegistryError::InvalidParameter);

  EXPECT_TRUE(registry.DeleteTree(key, L"copy"));
  EXPECT_FALSE(Exists(key + L"\\copy", 0));
  EXPECT_FALSE(registry.DeleteTree(key, L"copy", &kind));
  EXPECT_EQ(kind, RegistryError::NotFound);

  // A registry link in a tree goes as the link; the key it points to keeps its subkeys.
  ASSERT_TRUE(registry.CreateKey(key + L"\\tree\\inner"));
  ASSERT_TRUE(CreateLinkKey(key + L"\\tree\\link", key + L"\\a"));
  EXPECT_TRUE(registry.DeleteTree(key, L"tree", &kind));
  EXPECT_FALSE(Exists(key + L"\\tree", 0));
  EXPECT_TRUE(Exists(key + L"\\a\\b\\c", 0));
}

TEST(Win32Registry, EachViewSeesAndDeletesOnlyItsOwnTwin) {
  TestKey root(L"views");
  const std::wstring twin = root / L"Twin";
  TestRegistry view32(kView32);
  TestRegistry view64(kView64);

  ASSERT_TRUE(view32.CreateKey(twin));
  ASSERT_TRUE(view32.SetDWORD(twin, L"bits", 32));
  // In the 32-bit view, SOFTWARE is redirected to SOFTWARE\Wow6432Node.
  const std::wstring redirected =
      L"SOFTWARE\\Wow6432Node" + twin.substr(std::wstring(L"SOFTWARE").size());
  EXPECT_TRUE(Exists(redirected, kView64));
  EXPECT_FALSE(view64.KeyExists(twin));

  ASSERT_TRUE(view64.CreateKey(twin));
  ASSERT_TRUE(view64.SetDWORD(twin, L"bits", 64));
  uint32_t bits = 0;
  EXPECT_TRUE(view32.GetDWORD(twin, L"bits", bits));
  EXPECT_EQ(bits, 32u);

  // Deleting through one view removes that view's twin only.
  EXPECT_TRUE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, twin, kView32));
  EXPECT_FALSE(Exists(twin, kView32));
  EXPECT_TRUE(Exists(twin, kView64));
  ASSERT_TRUE(view32.CreateKey(twin));
  EXPECT_TRUE(view64.DeleteKey(twin));
  EXPECT_FALSE(Exists(twin, kView64));
  EXPECT_TRUE(Exists(twin, kView32));
}

// Right below SOFTWARE, where the 32-bit view is redirected: the walk's handles, opened in
// the view, keep every step in it.
TEST(RegOpsViews, ABranchRightBelowSoftwareGoesInItsOwnViewOnly) {
  const std::wstring name = L"PurgeKitTestsTop-" + std::to_wstring(::GetCurrentProcessId());
  struct Cleanup {
    std::wstring name;
    ~Cleanup() {
      for (REGSAM view : {kView32, kView64}) {
        UniqueHKey software;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | view,
                            software.put()) == ERROR_SUCCESS) {
          ::RegDeleteTreeW(software.get(), name.c_str());
        }
      }
    }
  } cleanup{name};
  const std::wstring branch = L"SOFTWARE\\" + name;
  for (REGSAM view : {kView32, kView64}) {
    ASSERT_TRUE(TestRegistry(view).CreateKey(branch + L"\\Components\\Agent"));
    ASSERT_TRUE(TestRegistry(view).CreateKey(branch + L"\\Updater"));
  }
  EXPECT_TRUE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, branch, kView32));
  EXPECT_FALSE(Exists(branch, kView32));
  EXPECT_TRUE(Exists(branch + L"\\Components\\Agent", kView64));
  EXPECT_TRUE(Exists(branch + L"\\Updater", kView64));
  ASSERT_TRUE(TestRegistry(kView32).CreateKey(branch + L"\\Updater"));
  EXPECT_TRUE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, branch, kView64));
  EXPECT_FALSE(Exists(branch, kView64));
  EXPECT_TRUE(Exists(branch + L"\\Updater", kView32));
}

TEST(Win32Registry, AKeyNameOfTheFullLengthIsListedAndRemoved) {
  TestKey root(L"longname");
  TestRegistry registry;
  const std::wstring name(255, L'n');
  ASSERT_TRUE(registry.CreateKey(root / name + L"\\child"));
  ASSERT_TRUE(registry.CreateKey(root / L"short"));
  WideList names;
  int kind = -1;
  EXPECT_EQ(registry.GetSubkeys(root.Path(), names, &kind), 2u);
  EXPECT_EQ(kind, RegistryError::Ok);
  EXPECT_TRUE(RegOps::WipeBranchesByMask(HKEY_LOCAL_MACHINE, root.Path(), L"nn*", 0));
  EXPECT_EQ(RegOps::GetSubkeys(HKEY_LOCAL_MACHINE, root.Path(), 0), StringList{L"short"});
}

class RegOpsTest : public testing::Test {
 protected:
  LogCapture log_{L"regops"};
  TestKey root_{L"regops"};
  TestRegistry registry_;
};

TEST_F(RegOpsTest, BranchesWithoutAFullNameAreRefusedAndTouchNothing) {
  const std::wstring parent = root_ / L"CLSID";
  ASSERT_TRUE(registry_.CreateKey(parent + L"\\{class}"));
  const std::wstring cases[] = {
      parent + L"\\", L"", L"CLSID", L"\\" + parent, root_.Path() + L"\\\\CLSID",
  };
  for (const auto& branch : cases) {
    SCOPED_TRACE(WideToUtf8(branch));
    log_.Mark();
    EXPECT_FALSE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, branch, 0));
    EXPECT_TRUE(log_.Has("*E: RegOps::WipeBranch: Invalid branch: '" + WideToUtf8(branch) + "'"))
        << log_.Dump();
    EXPECT_TRUE(Exists(parent + L"\\{class}", 0));
  }
  EXPECT_FALSE(RegOps::RemoveByForce(HKEY_LOCAL_MACHINE, parent, L"", 0));
  EXPECT_FALSE(RegOps::WipeBranchesByMask(HKEY_LOCAL_MACHINE, parent + L"\\", L"*", 0));
  EXPECT_FALSE(RegOps::WipeBranchesByMask(HKEY_LOCAL_MACHINE, L"", L"*", 0));
  EXPECT_TRUE(Exists(parent + L"\\{class}", 0));

  // A branch that is not there is removed already, silently.
  log_.Mark();
  EXPECT_TRUE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, parent + L"\\nothere", 0));
  EXPECT_TRUE(log_.Entries().empty()) << log_.Dump();
}

TEST_F(RegOpsTest, MasksCompareWithLetterCase) {
  for (const wchar_t* name : {L"abc1", L"abc2\\deep", L"ABC3", L"xabc"}) {
    ASSERT_TRUE(registry_.CreateKey(root_ / name));
  }
  EXPECT_TRUE(RegOps::WipeBranchesByMask(HKEY_LOCAL_MACHINE, root_.Path(), L"abc*", 0));
  EXPECT_EQ(RegOps::GetSubkeys(HKEY_LOCAL_MACHINE, root_.Path(), 0),
            (StringList{L"ABC3", L"xabc"}));
  EXPECT_TRUE(RegOps::WipeBranchesByMask(HKEY_LOCAL_MACHINE, root_.Path(), L"nothing?", 0));
}

// Wine grants DELETE whatever a key's DACL says, but enforces KEY_ENUMERATE_SUB_KEYS, and a
// key that still has subkeys can't be deleted. So a key whose DACL lets the Administrators
// read its values only (which tells the walk it is no link) hides its children, and its
// deletion is denied until ownership is taken: through handles of the key, the owner alone
// first, then the DACL.
TEST_F(RegOpsTest, ADeniedKeyIsOwnedAndRemovedWithItsChildren) {
  const std::wstring closed = root_ / L"Product\\Closed";
  ASSERT_TRUE(registry_.CreateKey(closed + L"\\Child\\Grandchild"));
  ASSERT_TRUE(SetKeySddl(closed, 0, kValuesOnly, DACL_SECURITY_INFORMATION));
  ASSERT_EQ(OpenKeyError(closed, 0, KEY_ENUMERATE_SUB_KEYS), ERROR_ACCESS_DENIED);
  ASSERT_EQ(::RegDeleteKeyW(HKEY_LOCAL_MACHINE, closed.c_str()), ERROR_ACCESS_DENIED);

  log_.Mark();
  SecurityCallWatch security;
  ASSERT_TRUE(security.IsActive() && security.WatchesKeyCalls());
  EXPECT_TRUE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, root_ / L"Product", 0)) << log_.Dump();
  EXPECT_FALSE(Exists(root_ / L"Product", 0));
  EXPECT_TRUE(
      log_.Has(" D: RegOps::GetSubkeys: Failed to get sub keys 5 : '" + WideToUtf8(closed) + "'"))
      << log_.Dump();
  ASSERT_EQ(security.Calls().size(), 2u);
  EXPECT_EQ(security.Calls()[0].parts,
            static_cast<SECURITY_INFORMATION>(OWNER_SECURITY_INFORMATION));
  EXPECT_EQ(security.Calls()[1].parts,
            static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION |
                                              PROTECTED_DACL_SECURITY_INFORMATION));
  EXPECT_EQ(security.Calls()[1].dacl, "D:(A;OICI;GA;;;BA)(A;OICI;GA;;;SY)");
  // On the key's own handle: SetSecurityInfo would carry the inheritable entries down to the
  // subkeys, opening them again by name.
  for (const auto& call : security.Calls()) EXPECT_EQ(call.function, "RegSetKeySecurity");
}

// The stand-in for what the take-ownership privilege grants on Windows: a key the system owns
// whose DACL leaves the Administrators WRITE_OWNER alone, so that its link check, its listing and
// its deletion are denied. Such keys (a leaf, one with such subkeys, a link) are taken over one
// by one through their own handles, looked at again and removed; nothing is logged.
TEST_F(RegOpsTest, KeysThatGrantOnlyTheOwnerChangeAreTakenOverAndRemoved) {
  const std::wstring product = root_ / L"Product";
  const std::wstring guard = product + L"\\Guard";
  const std::wstring target = root_ / L"Target";
  ASSERT_TRUE(registry_.CreateKey(guard + L"\\Inner\\Deep"));
  ASSERT_TRUE(registry_.CreateKey(product + L"\\Leaf"));
  ASSERT_TRUE(registry_.SetDWORD(product + L"\\Leaf", L"Keep", 1));
  ASSERT_TRUE(registry_.CreateKey(target + L"\\Child"));
  ASSERT_TRUE(CreateLinkKey(product + L"\\Link", target));
  const std::wstring targetBefore = KeySddl(target, 0);
  for (const wchar_t* key : {L"Guard\\Inner\\Deep", L"Guard\\Inner", L"Guard", L"Leaf", L"Link"}) {
    ASSERT_TRUE(SetKeySddl(product + L"\\" + key, 0, kOwnerChangeOnly,
                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION));
    ASSERT_EQ(KeySddl(product + L"\\" + key, 0), L"");  // not even READ_CONTROL
  }

  log_.Mark();
  SecurityCallWatch security;
  ASSERT_TRUE(security.IsActive() && security.WatchesKeyCalls());
  EXPECT_TRUE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, product, 0)) << log_.Dump();
  EXPECT_TRUE(log_.Entries().empty()) << log_.Dump();
  EXPECT_EQ(OpenKeyError(product, 0, 0), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(KeySddl(target, 0), targetBefore);
  EXPECT_TRUE(Exists(target + L"\\Child", 0));
  // Each of the five once, the owner, then the DACL (Wine denies such a key's deletion too).
  ASSERT_EQ(security.Calls().size(), 10u);
  for (size_t i = 0; i < security.Calls().size(); ++i) {
    EXPECT_EQ(security.Calls()[i].parts & OWNER_SECURITY_INFORMATION,
              i % 2 == 0 ? static_cast<SECURITY_INFORMATION>(OWNER_SECURITY_INFORMATION) : 0u);
  }
  for (const auto& call : security.Calls()) EXPECT_EQ(call.function, "RegSetKeySecurity");
}

// The seam answers as Windows does for a key the system owns that lets the Administrators read
// it only: the take-ownership privilege grants WRITE_OWNER and nothing else, WRITE_DAC comes from
// being the owner, DELETE from the new DACL. Opening the key for both at once is denied. With an
// OWNER RIGHTS entry in a DACL that grants the Administrators nothing, being the owner grants no
// WRITE_DAC either, and no privilege does: the key is listed under the backup privilege and
// deleted under the restore privilege, through opens with backup-and-restore intent.
TEST_F(RegOpsTest, AKeyTheSystemOwnsIsTakenInTwoSteps_OwnerOnlyWriteDacSeam) {
  for (bool ownerRightsEntry : {false, true}) {
    SCOPED_TRACE(ownerRightsEntry ? "with an OWNER RIGHTS entry" : "owner gets WRITE_DAC");
    const std::wstring product = root_ / L"Product";
    const std::wstring owned = product + L"\\OwnedBySystem";
    ASSERT_TRUE(registry_.CreateKey(owned + L"\\Settings\\Deep"));
    ASSERT_TRUE(registry_.SetDWORD(owned, L"Version", 3));
    // What Wine itself then grants comes from the DACL; the seam says what Windows would.
    ASSERT_TRUE(SetKeySddl(owned, 0, L"D:P(A;;KA;;;BA)(A;;KA;;;SY)", DACL_SECURITY_INFORMATION));
    ASSERT_TRUE(SetKeySddl(owned, 0, L"O:SY", OWNER_SECURITY_INFORMATION));

    log_.Mark();
    bool removed = false;
    {
      OwnerOnlyWriteDacSeam seam(L"OwnedBySystem", ownerRightsEntry);
      ASSERT_TRUE(seam.IsActive());
      removed = RegOps::WipeBranch(HKEY_LOCAL_MACHINE, product, 0);
      EXPECT_TRUE(seam.OwnerChanged());
      EXPECT_EQ(seam.DaclChanged(), !ownerRightsEntry);
      EXPECT_GE(seam.Denials(), ownerRightsEntry ? 3 : 1);
    }
    EXPECT_TRUE(removed) << log_.Dump();
    std::vector<std::string> expected;
    if (ownerRightsEntry) {
      expected.push_back(" I: RegOps::RemoveByForce: Took ownership of '" + WideToUtf8(owned) +
                         "', but its DACL bars the owner from writing it: 5; it is read and "
                         "deleted under the backup and restore privileges");
    }
    EXPECT_EQ(log_.Entries(), expected) << log_.Dump();
    EXPECT_FALSE(Exists(product, 0));
  }
}

// Another program deletes the branch while the walk holds its handles: every step on them then
// answers ERROR_KEY_DELETED (Wine's own answer for a deleted key's handle). What is gone counts
// as removed. The seam deletes the branch when the walk first opens the key named Trigger.
TEST_F(RegOpsTest, ABranchDeletedDuringTheWalkCountsAsRemoved_KeyDeletedSeam) {
  static std::wstring branch;
  static decltype(&::RegOpenKeyExW) realOpen = nullptr;
  struct Hook {
    static LSTATUS WINAPI Open(HKEY base, LPCWSTR name, DWORD options, REGSAM rights,
                               PHKEY opened) {
      const std::wstring text = name != nullptr ? name : L"";
      if (!branch.empty() && text.size() >= 7 && text.substr(text.size() - 7) == L"Trigger") {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, branch.c_str());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, branch.c_str());
        branch.clear();
      }
      return realOpen(base, name, options, rights, opened);
    }
  };
  const std::wstring product = root_ / L"Product";
  ASSERT_TRUE(registry_.CreateKey(product + L"\\A\\Trigger"));
  ASSERT_TRUE(registry_.CreateKey(product + L"\\A\\Zulu\\Deep"));
  ASSERT_TRUE(registry_.CreateKey(product + L"\\B\\Inner"));
  branch = product;

  log_.Mark();
  bool removed = false;
  {
    ImportHook hook("advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&Hook::Open));
    ASSERT_TRUE(hook.IsActive());
    realOpen = reinterpret_cast<decltype(&::RegOpenKeyExW)>(hook.Original());
    removed = RegOps::WipeBranch(HKEY_LOCAL_MACHINE, product, 0);
  }
  EXPECT_TRUE(branch.empty());
  EXPECT_TRUE(removed) << log_.Dump();
  EXPECT_TRUE(log_.Entries().empty()) << log_.Dump();
  EXPECT_FALSE(Exists(product, 0));
}

// Registry links (keys made with REG_OPTION_CREATE_LINK) inside a branch, as the branch, among
// the matches of a mask and as the key a mask is given: each link goes as the link, and its
// target (outside everything named) keeps its keys, values and security. (Loops of links are
// shown by the black-box run: under Wine a test program whose stack overflows ends with exit
// code 0, which would hide the fault here.)
TEST_F(RegOpsTest, ALinkGoesAsTheLinkAndItsTargetStaysAsItWas) {
  const std::wstring victim = root_ / L"Victim";
  ASSERT_TRUE(registry_.CreateKey(victim + L"\\Child\\Deep"));
  ASSERT_TRUE(registry_.SetString(victim, L"Keep", std::wstring(L"me")));
  ASSERT_TRUE(
      SetKeySddl(victim, 0, L"D:P(A;;KA;;;BA)(A;;KA;;;SY)(A;;KR;;;BU)", DACL_SECURITY_INFORMATION));
  const std::wstring victimSddl = KeySddl(victim, 0);
  const auto victimIsIntact = [&] {
    std::wstring text;
    return Exists(victim + L"\\Child\\Deep", 0) && KeySddl(victim, 0) == victimSddl &&
           registry_.GetString(victim, L"Keep", text) && text == L"me";
  };

  // A branch holding a link and plain keys.
  const std::wstring product = root_ / L"Product";
  ASSERT_TRUE(registry_.CreateKey(product + L"\\Components\\Agent"));
  ASSERT_TRUE(CreateLinkKey(product + L"\\Components\\Shared", victim));
  ASSERT_TRUE(IsLinkKey(product + L"\\Components\\Shared"));
  log_.Mark();
  EXPECT_TRUE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, product, 0)) << log_.Dump();
  EXPECT_TRUE(log_.Entries().empty()) << log_.Dump();
  EXPECT_EQ(OpenKeyError(product, 0, 0), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(victimIsIntact());

  // The branch named is itself a link.
  const std::wstring named = root_ / L"NamedLink";
  ASSERT_TRUE(CreateLinkKey(named, victim));
  EXPECT_TRUE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, named, 0)) << log_.Dump();
  EXPECT_FALSE(IsLinkKey(named));
  EXPECT_TRUE(victimIsIntact());

  // A mask's matches: the link among them goes as the link, the look-alike stays.
  const std::wstring shared = root_ / L"Shared";
  ASSERT_TRUE(registry_.CreateKey(shared + L"\\KvReal\\Inner"));
  ASSERT_TRUE(registry_.CreateKey(shared + L"\\Other"));
  ASSERT_TRUE(CreateLinkKey(shared + L"\\KvLink", victim));
  EXPECT_TRUE(RegOps::WipeBranchesByMask(HKEY_LOCAL_MACHINE, shared, L"Kv*", 0)) << log_.Dump();
  EXPECT_EQ(RegOps::GetSubkeys(HKEY_LOCAL_MACHINE, shared, 0), StringList{L"Other"});
  EXPECT_TRUE(victimIsIntact());

  // The key given to a mask removal is a link: it is not listed, and nothing changes.
  const std::wstring maskLink = root_ / L"MaskLink";
  ASSERT_TRUE(CreateLinkKey(maskLink, victim));
  log_.Mark();
  EXPECT_FALSE(RegOps::WipeBranchesByMask(HKEY_LOCAL_MACHINE, maskLink, L"*", 0));
  const std::vector<std::string> expected = {
      "*E: RegOps::WipeBranchesByMask: Not listed '" + WideToUtf8(maskLink) +
          "': it is a registry link, whose target is not entered",
  };
  EXPECT_EQ(log_.Entries(), expected) << log_.Dump();
  EXPECT_TRUE(IsLinkKey(maskLink));
  EXPECT_TRUE(victimIsIntact());
}

// A key owned by the system that grants no write right can't be owned by an administrator
// under Wine (the take-ownership privilege is ignored for keys), nor deleted, nor opened up:
// the keys of this test are volatile, so that they are gone when the Wine server ends.
TEST(RegOpsForeignKey, AKeyThatCannotBeOwnedKeepsItsAncestorsClosedToEveryone) {
  LogCapture log(L"regops-foreign");
  TestKey root(L"regops-foreign", true);
  TestRegistry registry;
  const std::wstring product = root / L"Product";
  const std::wstring closed = product + L"\\Closed";   // ours, its values readable only
  const std::wstring foreign = closed + L"\\Foreign";  // the system's, the same
  ASSERT_TRUE(CreateVolatileKey(foreign + L"\\Inner"));
  ASSERT_TRUE(CreateVolatileKey(closed + L"\\Sibling\\Deep"));
  ASSERT_TRUE(CreateVolatileKey(product + L"\\Other"));
  ASSERT_TRUE(SetKeySddl(foreign, 0, L"O:SY", OWNER_SECURITY_INFORMATION));
  ASSERT_TRUE(SetKeySddl(foreign, 0, kValuesOnly, DACL_SECURITY_INFORMATION));
  ASSERT_TRUE(SetKeySddl(closed, 0, kValuesOnly, DACL_SECURITY_INFORMATION));

  log.Mark();
  EXPECT_FALSE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, product, 0));
  const std::string foreignText = WideToUtf8(foreign);
  const std::vector<std::string> expected = {
      " D: RegOps::GetSubkeys: Failed to get sub keys 5 : '" + WideToUtf8(closed) + "'",
      " D: RegOps::GetSubkeys: Failed to get sub keys 5 : '" + foreignText + "'",
      ".W: RegOps::RemoveByForce: TakeOwnership failed for '" + foreignText + "': 5",
      "*E: RegOps::RemoveByForce: Failed to delete '" + foreignText + "': 5",
  };
  EXPECT_EQ(log.Entries(), expected) << log.Dump();
  EXPECT_FALSE(Exists(closed + L"\\Sibling", 0));
  EXPECT_FALSE(Exists(product + L"\\Other", 0));
  EXPECT_TRUE(registry.KeyExists(closed));
  EXPECT_TRUE(registry.KeyExists(product));

  // The key that was owned on the way grants the administrators and the system only.
  const std::wstring sddl = KeySddl(closed, 0);
  EXPECT_EQ(sddl.substr(0, 5), L"O:BAD") << WideToUtf8(sddl);
  EXPECT_EQ(sddl.find(L";WD)"), std::wstring::npos) << WideToUtf8(sddl);
  EXPECT_EQ(sddl.find(L";BU)"), std::wstring::npos) << WideToUtf8(sddl);
  EXPECT_NE(sddl.find(L";BA)"), std::wstring::npos) << WideToUtf8(sddl);
}

TEST_F(RegOpsTest, OwnershipIsTakenInTheViewOfTheRemoval) {
  const std::wstring product = root_ / L"Product";
  TestRegistry view32(kView32);
  ASSERT_TRUE(view32.CreateKey(product + L"\\Closed\\Child"));
  ASSERT_TRUE(registry_.CreateKey(product + L"\\Closed\\Child"));
  ASSERT_TRUE(SetKeySddl(product + L"\\Closed", kView32, kValuesOnly, DACL_SECURITY_INFORMATION));
  ASSERT_EQ(OpenKeyError(product + L"\\Closed", kView32, KEY_ENUMERATE_SUB_KEYS),
            ERROR_ACCESS_DENIED);

  EXPECT_TRUE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, product, kView32)) << log_.Dump();
  EXPECT_FALSE(Exists(product, kView32));
  EXPECT_TRUE(Exists(product + L"\\Closed\\Child", kView64));
}

// The key above the branch is opened with no rights, only to reach the branch through it:
// one that grants nothing (another product's, say) neither stops the removal nor is changed
// by it. (In the 32-bit view Wine opens a path key by key, and an open with KEY_READ through
// such a key is denied; one without rights is not, which is how the test looks below it.)
TEST_F(RegOpsTest, ABranchBelowAKeyThatGrantsNothingGoesAndThatKeyStaysAsItWas) {
  for (REGSAM view : {kView64, kView32}) {
    SCOPED_TRACE(view);
    const std::wstring vendor = root_ / L"Vendor";
    TestRegistry registry(view);
    ASSERT_TRUE(registry.CreateKey(vendor + L"\\Product\\Components\\Agent"));
    ASSERT_TRUE(registry.SetDWORD(vendor + L"\\Product\\Components", L"Count", 1));
    ASSERT_TRUE(registry.CreateKey(vendor + L"\\Product\\Updater"));
    ASSERT_TRUE(registry.CreateKey(vendor + L"\\Other"));
    ASSERT_TRUE(SetKeySddl(vendor, view, L"D:P", DACL_SECURITY_INFORMATION));
    ASSERT_EQ(OpenKeyError(vendor, view, KEY_READ), ERROR_ACCESS_DENIED);
    const std::wstring before = KeySddl(vendor, view);

    log_.Mark();
    EXPECT_TRUE(RegOps::WipeBranch(HKEY_LOCAL_MACHINE, vendor + L"\\Product", view));
    EXPECT_TRUE(log_.Entries().empty()) << log_.Dump();
    EXPECT_EQ(OpenKeyError(vendor + L"\\Product", view, 0), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenKeyError(vendor + L"\\Other", view, 0), ERROR_SUCCESS);
    EXPECT_EQ(KeySddl(vendor, view), before);
  }
}

TEST_F(RegOpsTest, ValueDeletionCountsWhatIsMissingAsDeleted) {
  ASSERT_TRUE(registry_.SetDWORD(root_.Path(), L"v", 1));
  log_.Mark();
  EXPECT_TRUE(RegOps::DeleteKey(HKEY_LOCAL_MACHINE, root_.Path(), L"v", 0));
  EXPECT_TRUE(RegOps::DeleteKey(HKEY_LOCAL_MACHINE, root_.Path(), L"v", 0));
  EXPECT_TRUE(RegOps::DeleteKey(HKEY_LOCAL_MACHINE, root_ / L"nokey", L"v", 0));
  EXPECT_TRUE(log_.Entries().empty()) << log_.Dump();
  EXPECT_EQ(registry_.GetValueType(root_.Path(), L"v"), 0u);
}

}  // namespace
