// The Msi table and the installer registration cleanup inside the test process: real
// packages where Wine's installer gives the answer, a stand-in installer library where it
// never does (a package that restarts the computer, messages for the external handler, a
// failing enumeration), and registry fixtures for the cleanup's refusals.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ImportHook.h"
#include "InstalledPackage.h"
#include "InstallerLibrary.h"
#include "KvService.h"
#include "LogCapture.h"
#include "ModuleChunk.h"
#include "MsiCleanup.h"
#include "ScratchFolder.h"
#include "Status.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "TestRegistry.h"

namespace {

LogCapture& TestLog() {
  static LogCapture capture(L"unit_msi");
  return capture;
}

std::string Utf8(const std::wstring& text) { return WideToUtf8(text); }

std::string Lua(const std::string& call) { return RunLua("return " + call); }

std::string Quoted(const std::wstring& text) {
  return std::string("'").append(Utf8(text)).append("'");
}

const std::wstring kFakeUpgrade = L"{0C0FFEE0-1111-4222-8333-944455556666}";
const std::wstring kFakeProductA = L"{0C0FFEE0-AAAA-4222-8333-944455556666}";
const std::wstring kFakeProductB = L"{0C0FFEE0-BBBB-4222-8333-944455556666}";
const std::wstring kProducts = L"SOFTWARE\\Classes\\Installer\\Products";

// An installer library that answers from tables and records what it was asked.
class FakeInstaller : public InstallerLibrary {
 public:
  FakeInstaller() { Use(this); }
  ~FakeInstaller() override { Use(nullptr); }

  UINT EnumRelatedProducts(const wchar_t* upgradeCode, DWORD index, wchar_t* productCode) override {
    if (upgradeCode != kFakeUpgrade) return ERROR_NO_MORE_ITEMS;
    if (index >= products.size()) return enumerationEnd;
    wcscpy(productCode, products[index].c_str());
    return ERROR_SUCCESS;
  }
  UINT EnableLog(DWORD mode, const wchar_t* path, DWORD attributes) override {
    logs.push_back(path);
    logMode = mode;
    logAttributes = attributes;
    return logAnswer;
  }
  void SetInternalUI(INSTALLUILEVEL level) override { uiLevel = level; }
  void SetExternalUI(INSTALLUI_HANDLERW h, DWORD f) override {
    handler = h;
    filter = f;
  }
  UINT ConfigureProduct(const wchar_t* productCode, INSTALLSTATE state,
                        const wchar_t* commandLine) override {
    configured.push_back(productCode);
    commandLines.push_back(commandLine != nullptr ? commandLine : L"(none)");
    states.push_back(state);
    for (const auto& [type, text] : messages) {
      handlerAnswers.push_back(handler != nullptr ? handler(nullptr, type, text.c_str()) : -1);
    }
    return answers[productCode];
  }

  std::vector<std::wstring> products;
  UINT enumerationEnd = ERROR_NO_MORE_ITEMS;
  std::map<std::wstring, UINT> answers;
  std::vector<std::pair<UINT, std::wstring>> messages;
  UINT logAnswer = ERROR_SUCCESS;

  std::vector<std::wstring> logs;
  DWORD logMode = 0;
  DWORD logAttributes = 0;
  INSTALLUILEVEL uiLevel = INSTALLUILEVEL_NOCHANGE;
  INSTALLUI_HANDLERW handler = nullptr;
  DWORD filter = 0;
  std::vector<std::wstring> configured;
  std::vector<std::wstring> commandLines;
  std::vector<INSTALLSTATE> states;
  std::vector<int> handlerAnswers;
};

class MsiModule : public testing::Test {
 protected:
  void SetUp() override {
    TestLog().Mark();
    Status::Instance().Clear();
  }
  static bool LoggedStartingWith(const std::string& start) {
    for (const auto& entry : TestLog().Entries()) {
      if (entry.rfind(start, 0) == 0) return true;
    }
    return false;
  }
  static const std::string& Uninstall() {
    static const std::string prefix = " I: Lua::Msi::UninstallProduct: ";
    return prefix;
  }
};

TEST(GuidForms, PackedAndBracedFormsAreEachOthersInverse) {
  const std::pair<std::wstring, std::wstring> pairs[] = {
      {L"{12345678-ABCD-EF01-2345-6789ABCDEF01}", L"87654321DCBA10FE32547698BADCFE10"},
      {L"{12345678-abcd-ef01-2345-6789abcdef01}", L"87654321dcba10fe32547698badcfe10"},
  };
  for (const auto& [braced, packed] : pairs) {
    EXPECT_EQ(TransformGuid(braced), packed);
    EXPECT_EQ(UntransformGuid(packed), braced);
    EXPECT_TRUE(IsPackedGuid(packed));
  }
  for (const wchar_t* refused :
       {L"12345678-ABCD-EF01-2345-6789ABCDEF01", L"{12345678-ABCD-EF01-2345-6789ABCDEF0}",
        L"{12345678-ABCD-EF01-2345-6789ABCDEF012}", L"{1234567-8ABCD-EF01-2345-6789ABCDEF01}",
        L"{12345678-ABCD-EF01-2345-6789ABCDEF01)", L""}) {
    EXPECT_EQ(TransformGuid(refused), L"") << Utf8(refused);
  }
  EXPECT_EQ(UntransformGuid(L"87654321DCBA10FE32547698BADCFE1"), L"");
  EXPECT_FALSE(IsPackedGuid(L"87654321DCBA10FE32547698BADCFE1"));
  EXPECT_FALSE(IsPackedGuid(L"87654321DCBA10FE32547698BADCFE1G"));
  EXPECT_FALSE(IsPackedGuid(L""));
}

// Wine's installer never starts a restart itself (1641); on Windows a package may, and the
// uninstallation asks it not to.
TEST_F(MsiModule, ARestartStartedByAPackageIsSuppressedAndAsksForAReboot) {
  FakeInstaller installer;
  installer.products = {kFakeProductA};
  installer.answers[kFakeProductA] = ERROR_SUCCESS_REBOOT_INITIATED;

  EXPECT_EQ(Lua("Msi.UninstallProduct(" + Quoted(kFakeUpgrade) + ")"), "true");
  EXPECT_TRUE(Status::Instance().IsRebootNeeded());
  EXPECT_EQ(installer.commandLines, std::vector<std::wstring>{L"REBOOT=ReallySuppress"});
  EXPECT_EQ(installer.states, std::vector<INSTALLSTATE>{INSTALLSTATE_ABSENT});
  EXPECT_EQ(installer.uiLevel, 0x102);
  EXPECT_EQ(installer.filter, 199u);
  EXPECT_TRUE(installer.logs.empty());
  EXPECT_TRUE(TestLog().Has(Uninstall() + "Uninstalling 1 products from upgrade code " +
                            Quoted(kFakeUpgrade)))
      << TestLog().Dump();
  EXPECT_TRUE(TestLog().Has(Uninstall() + "Uninstalling " + Quoted(kFakeProductA) +
                            " succeeded with reboot required"))
      << TestLog().Dump();
}

// Wine's installer sends no error or warning messages to the external handler; the stand-in
// sends one of every kind while it uninstalls.
TEST_F(MsiModule, InstallerMessagesReachTheLogAndTheInstallerLogIsEnabled) {
  FakeInstaller installer;
  installer.products = {kFakeProductA, kFakeProductB};
  installer.answers[kFakeProductB] = ERROR_UNKNOWN_PRODUCT;
  installer.messages = {{0x01000000 | MB_OK, L"boom"},
                        {0x02000000, L"careful"},
                        {0x00000000, L"fatal"},
                        {0x07000000, L"no room"},
                        {0x06000000, L"where is the source"},
                        {0x0B000000, L"progress"}};

  EXPECT_EQ(Lua("Msi.UninstallProduct(" + Quoted(kFakeUpgrade) + ", 'C:\\\\logs\\\\msi.log')"),
            "false");
  EXPECT_EQ(installer.logs, std::vector<std::wstring>{L"C:\\logs\\msi.log"});
  EXPECT_EQ(installer.logMode, static_cast<DWORD>(INSTALLLOGMODE_VERBOSE));
  EXPECT_EQ(installer.logAttributes, static_cast<DWORD>(INSTALLLOGATTRIBUTES_APPEND));
  EXPECT_EQ(installer.configured, (std::vector<std::wstring>{kFakeProductA, kFakeProductB}));
  EXPECT_EQ(installer.handlerAnswers, (std::vector<int>{1, 1, 1, 3, 1, 0, 1, 1, 1, 3, 1, 0}));
  // Each product's uninstallation brings every message once.
  for (const char* line :
       {"*E: ::MsiMessageCallback: MSI: boom", ".W: ::MsiMessageCallback: MSI: careful",
        "*F: ::MsiMessageCallback: MSI: fatal",
        "*E: ::MsiMessageCallback: MSI reports out of disk space",
        " D: ::MsiMessageCallback: 1000000", " D: ::MsiMessageCallback: b000000"}) {
    EXPECT_EQ(TestLog().Count(line), 2u) << line << "\n" << TestLog().Dump();
  }
  EXPECT_FALSE(TestLog().Has("*E: ::MsiMessageCallback: MSI: no room")) << TestLog().Dump();
  EXPECT_EQ(TestLog().Count(" I: ::ConfigureMSI: MSI configured"), 1u) << TestLog().Dump();
  EXPECT_TRUE(TestLog().Has(Uninstall() + "Enabled msi log into 'C:\\logs\\msi.log'"))
      << TestLog().Dump();
  EXPECT_TRUE(TestLog().Has("*E: Lua::Msi::UninstallProduct: Uninstalling " +
                            Quoted(kFakeProductB) + " failed: 1605"))
      << TestLog().Dump();
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());

  // A log that can't be enabled is logged and the uninstallation goes on; an empty path
  // enables none.
  installer.logAnswer = ERROR_INVALID_PARAMETER;
  installer.answers[kFakeProductB] = ERROR_SUCCESS;
  installer.messages.clear();
  EXPECT_EQ(Lua("Msi.UninstallProduct(" + Quoted(kFakeUpgrade) + ", 'Q:\\\\x.log')"), "true");
  EXPECT_TRUE(
      TestLog().Has("*E: Lua::Msi::UninstallProduct: Failed enabling msi log into "
                    "'Q:\\x.log': 87"))
      << TestLog().Dump();
  EXPECT_EQ(Lua("Msi.UninstallProduct(" + Quoted(kFakeUpgrade) + ", '')"), "true");
  EXPECT_EQ(installer.logs.size(), 2u);
}

TEST_F(MsiModule, AFailedEnumerationIsLoggedAndNothingIsUninstalled) {
  FakeInstaller installer;
  installer.enumerationEnd = ERROR_BAD_CONFIGURATION;
  EXPECT_EQ(Lua("Msi.UninstallProduct(" + Quoted(kFakeUpgrade) + ")"), "true");
  EXPECT_EQ(Lua("Msi.DetectUpgradeCode(" + Quoted(kFakeUpgrade) + ")"), "false");
  EXPECT_EQ(TestLog().Count("*E: Lua::Msi::GetProductCodesFromUpgradeCode: Failed to enumerate "
                            "products for " +
                            Quoted(kFakeUpgrade) + ": 1610"),
            2u)
      << TestLog().Dump();
  EXPECT_TRUE(installer.configured.empty());
  EXPECT_EQ(installer.uiLevel, INSTALLUILEVEL_NOCHANGE);
  EXPECT_FALSE(LoggedStartingWith(Uninstall())) << TestLog().Dump();
}

// Wine's installer answers a malformed upgrade code with 259 (no more items), so nothing is
// logged for it here; Windows reports an error, which the enumeration logs.
TEST_F(MsiModule, UnknownAndMalformedUpgradeCodesAreNotDetectedAndLeaveNothingToDo) {
  for (const char* code : {"'{8C1D3E5F-1A2B-4C3D-9E8F-0A1B2C3D4E99}'", "'not a code'"}) {
    EXPECT_EQ(Lua(std::string("Msi.UninstallProduct(") + code + ")"), "true") << code;
    EXPECT_EQ(Lua(std::string("Msi.DetectUpgradeCode(") + code + ")"), "false") << code;
  }
  EXPECT_FALSE(LoggedStartingWith(Uninstall())) << TestLog().Dump();
  EXPECT_EQ(Lua("Msi.CleanupRegistryUpgradeCode('not a code')"), "false");
  EXPECT_EQ(Lua("Msi.CleanupRegistryProductCode('{12345678-ABCD-EF01-2345-6789ABCDEF01')"),
            "false");
  EXPECT_TRUE(
      TestLog().Has("*E: MsiCleanup::CleanupUpgradeCode: Invalid upgrade code : not a code"))
      << TestLog().Dump();
  EXPECT_TRUE(
      TestLog().Has("*E: MsiCleanup::CleanupProductCode: Invalid product code : "
                    "{12345678-ABCD-EF01-2345-6789ABCDEF01"))
      << TestLog().Dump();
  EXPECT_EQ(RunLua("return pcall(Msi.UninstallProduct, {})"), "false");
}

TEST_F(MsiModule, ARealPackageGoesWithTheInstallersOwnLog) {
  InstalledPackage keeper(L"Keeper", PRODUCT_KEEPER);
  ASSERT_TRUE(keeper.Installed());
  ScratchFolder folder;
  const std::wstring log = folder / L"msi.log";
  EXPECT_EQ(Lua("Msi.DetectUpgradeCode(" + Quoted(UPGRADE_KEEPER) + ")"), "true");
  EXPECT_EQ(Lua("Msi.UninstallProduct(" + Quoted(UPGRADE_KEEPER) + ", " +
                Quoted(ReplaceAll(log, L"\\", L"\\\\")) + ")"),
            "true");
  EXPECT_FALSE(IsProductRegistered(PRODUCT_KEEPER));
  EXPECT_FALSE(ReadFileBytes(log).empty());
  EXPECT_TRUE(TestLog().Has(Uninstall() + "Enabled msi log into " + Quoted(log)))
      << TestLog().Dump();
  EXPECT_TRUE(TestLog().Has(Uninstall() + "Uninstalling " + Quoted(PRODUCT_KEEPER) + " succeeded"))
      << TestLog().Dump();
  EXPECT_FALSE(Status::Instance().IsRebootNeeded());
}

TEST_F(MsiModule, AProductIsFoundByFeatureOrByNameAndPublisher) {
  for (const char* call : {"Msi.CleanupRegistryProductFeature('FeatureKeeper')",
                           "Msi.CleanupRegistryProductNameAndPublisher('Korvane Test Kee*', "
                           "'Korvane Test')"}) {
    InstalledPackage keeper(L"Keeper", PRODUCT_KEEPER);
    ASSERT_TRUE(keeper.Installed());
    // Letter case counts in feature names, masks and publishers; an empty feature is refused.
    EXPECT_EQ(Lua("Msi.CleanupRegistryProductFeature('featurekeeper')"), "true");
    EXPECT_EQ(Lua("Msi.CleanupRegistryProductFeature('')"), "false");
    EXPECT_EQ(Lua("Msi.CleanupRegistryProductNameAndPublisher('korvane test kee*', "
                  "'Korvane Test')"),
              "true");
    EXPECT_EQ(Lua("Msi.CleanupRegistryProductNameAndPublisher('Korvane Test Kee*', '')"), "true");
    EXPECT_TRUE(IsProductRegistered(PRODUCT_KEEPER)) << call;
    EXPECT_EQ(Lua(call), "true");
    EXPECT_FALSE(IsProductRegistered(PRODUCT_KEEPER)) << call;
  }
  EXPECT_TRUE(
      TestLog().Has(" I: MsiCleanup::CleanupProductBasedOnFeature: Resolved feature "
                    "'FeatureKeeper' to product code '" +
                    Utf8(Packed(PRODUCT_KEEPER)) + "'"))
      << TestLog().Dump();
  EXPECT_TRUE(
      TestLog().Has(" I: MsiCleanup::CleanupProductBasedOnNameAndPublisher: Resolved "
                    "name 'Korvane Test Kee*', publisher 'Korvane Test' to product code '" +
                    Utf8(Packed(PRODUCT_KEEPER)) + "' with name 'Korvane Test Keeper'"))
      << TestLog().Dump();
}

// Codes found in the registry name keys below every store: an empty value name (the
// default value) or a code one digit short must never name the store itself.
TEST_F(MsiModule, EmptyAndShortCodesAreRefusedAndTheProductStoreStays) {
  InstalledPackage keeper(L"Keeper", PRODUCT_KEEPER);
  ASSERT_TRUE(keeper.Installed());
  TestRegistry registry(KEY_WOW64_64KEY);
  WideList before;
  ASSERT_GT(registry.GetSubkeys(kProducts, before), 0u);
  const std::wstring upgradeKey =
      L"SOFTWARE\\Classes\\Installer\\UpgradeCodes\\" + Packed(kFakeUpgrade);
  const std::wstring shortCode = Packed(PRODUCT_KEEPER).substr(0, 31);
  ASSERT_TRUE(registry.CreateKey(upgradeKey));
  ASSERT_TRUE(registry.SetString(upgradeKey, L"", std::wstring()));
  ASSERT_TRUE(registry.SetString(upgradeKey, shortCode, std::wstring()));

  EXPECT_EQ(Lua("Msi.CleanupRegistryUpgradeCode(" + Quoted(kFakeUpgrade) + ")"), "true");
  EXPECT_FALSE(registry.KeyExists(upgradeKey));
  const std::string refused =
      "*E: MsiCleanup::CleanupTransformedProductCode: Invalid product code : ";
  EXPECT_TRUE(TestLog().Has(refused)) << TestLog().Dump();
  EXPECT_TRUE(TestLog().Has(refused + Utf8(shortCode))) << TestLog().Dump();

  EXPECT_FALSE(MsiCleanup::CleanupTransformedUpgradeCode(L""));
  EXPECT_FALSE(MsiCleanup::CleanupTransformedProductCode(shortCode));
  EXPECT_FALSE(MsiCleanup::CleanupTransformedProductCode(Packed(PRODUCT_KEEPER) + L"0"));
  EXPECT_FALSE(MsiCleanup::CleanupComponents(MsiCleanup::kSystemComponentsKey, L""));
  EXPECT_FALSE(MsiCleanup::CleanupComponents(L"", Packed(PRODUCT_KEEPER)));
  EXPECT_TRUE(
      TestLog().Has("*E: MsiCleanup::CleanupTransformedUpgradeCode: Invalid upgrade code : "))
      << TestLog().Dump();

  WideList after;
  registry.GetSubkeys(kProducts, after);
  EXPECT_EQ(after, before);
  EXPECT_TRUE(IsProductRegistered(PRODUCT_KEEPER));
}

// The registry compares value names without regard to case, and so does the cleanup.
TEST_F(MsiModule, ComponentsLoseTheProductWhateverTheLetterCaseOfItsValue) {
  TestKey base(L"MsiComponents");
  TestRegistry registry(KEY_WOW64_64KEY);
  const std::wstring product = Packed(kFakeProductA);  // upper case
  std::wstring value = product;
  for (auto& c : value) c = static_cast<wchar_t>(towlower(c));
  const std::wstring other = Packed(kFakeProductB);
  const std::wstring shared = base / L"Shared";
  const std::wstring alone = base / L"Alone";
  const std::wstring unrelated = base / L"Unrelated";
  for (const auto& [key, names] : std::vector<std::pair<std::wstring, WideList>>{
           {shared, {value, other}}, {alone, {value}}, {unrelated, {other}}}) {
    ASSERT_TRUE(registry.CreateKey(key));
    for (const auto& name : names) ASSERT_TRUE(registry.SetString(key, name, L"C:\\file.txt"));
  }
  ASSERT_NE(value, product);

  EXPECT_TRUE(MsiCleanup::CleanupComponents(base.Path(), product));
  WideList names;
  registry.GetValueNames(shared, names);
  EXPECT_EQ(names, WideList{other});
  EXPECT_FALSE(registry.KeyExists(alone));
  names.clear();
  registry.GetValueNames(unrelated, names);
  EXPECT_EQ(names, WideList{other});
}

// What the stand-in for GetSystemMetrics reports for SM_CLEANBOOT.
int g_cleanBoot = 0;

int WINAPI SafeBootMetrics(int index) {
  return index == SM_CLEANBOOT ? g_cleanBoot : ::GetSystemMetrics(index);
}

// Wine always starts normally (SM_CLEANBOOT is 0); the stand-in for GetSystemMetrics
// reports the safe modes.
TEST_F(MsiModule, InSafeModeTheInstallerServiceIsRegisteredForSafeBootAndStarted) {
  const std::pair<int, std::wstring> modes[] = {{1, L"Minimal"}, {2, L"Network"}};
  for (const auto& [mode, name] : modes) {
    const std::wstring safeBoot = L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot";
    const std::wstring key = safeBoot + L"\\" + name + L"\\MSIServer";
    TestRegistry registry;
    const bool existed = registry.KeyExists(key);
    // The highest key the run makes, removed afterwards.
    std::wstring made;
    for (const auto& k : {safeBoot, safeBoot + L"\\" + name, key}) {
      if (made.empty() && !registry.KeyExists(k)) made = k;
    }
    {
      KvService service(L"msiserver", false);
      ASSERT_TRUE(service.Stop(10000));
    }
    TestLog().Mark();
    g_cleanBoot = mode;
    {
      ImportHook hook("user32.dll", "GetSystemMetrics", reinterpret_cast<void*>(&SafeBootMetrics));
      ASSERT_TRUE(hook.IsActive());
      EXPECT_EQ(Lua("Msi.DetectUpgradeCode(" + Quoted(kFakeUpgrade) + ")"), "false");
    }
    ByteList bytes;
    uint32_t type = 0;
    EXPECT_TRUE(registry.GetRawValue(key, L"", bytes, type)) << Utf8(name);
    EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
    const wchar_t expected[] = L"Service";
    EXPECT_EQ(bytes, ByteList(reinterpret_cast<const BYTE*>(expected),
                              reinterpret_cast<const BYTE*>(expected) + sizeof(expected)));
    EXPECT_TRUE(TestLog().Has(" I: ::StartMSIServiceIfNeeded: Starting msi service"))
        << TestLog().Dump();
    EXPECT_EQ(KvService(L"msiserver", true).QueryState(), static_cast<DWORD>(SERVICE_RUNNING));
    if (!made.empty()) ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, made.c_str());

    // A running service is left as it is.
    TestLog().Mark();
    {
      ImportHook hook("user32.dll", "GetSystemMetrics", reinterpret_cast<void*>(&SafeBootMetrics));
      EXPECT_EQ(Lua("Msi.DetectUpgradeCode(" + Quoted(kFakeUpgrade) + ")"), "false");
    }
    if (!existed) {
      EXPECT_FALSE(registry.KeyExists(key));
    }
    EXPECT_FALSE(TestLog().Has(" I: ::StartMSIServiceIfNeeded: Starting msi service"));
  }
  g_cleanBoot = 0;
}

}  // namespace
