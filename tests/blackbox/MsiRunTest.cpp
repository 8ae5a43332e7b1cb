// Silent runs of the real PurgeKit64.exe whose product scripts uninstall real Windows
// Installer packages (made by the test build with wixl, installed with msiexec) and clean
// the registration that a failed uninstallation leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstalledPackage.h"
#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"
#include "StringUtils.h"
#include "TestRegistry.h"

namespace {

const std::wstring kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kUserData =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\";

std::string Utf8(const std::wstring& text) { return WideToUtf8(text); }

struct MsiRunResult {
  DWORD exitCode = 0;
  std::vector<LogLine> lines;
};

MsiRunResult RunScripts(const std::wstring& fixture) {
  ScopedLogRoot root;
  const LoggedRun run =
      RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" +
                                      FixturePath(L"run\\msi\\" + fixture) + L"\"");
  EXPECT_TRUE(run.result.started);
  return {run.result.exitCode, LinesOfProcess(ReadLogLines(root.Directory()), run.processId)};
}

std::string UninstallLine(const std::wstring& text) {
  return "Lua::Msi::UninstallProduct: " + Utf8(text);
}

bool KeyExists(const std::wstring& key, REGSAM view = KEY_WOW64_64KEY) {
  return OpenKeyError(key, view, KEY_READ) == ERROR_SUCCESS;
}

WideList ValueNames(const std::wstring& key) {
  TestRegistry registry(KEY_WOW64_64KEY);
  WideList names;
  registry.GetValueNames(key, names);
  return names;
}

TEST(MsiRun, BothProductsOfAnUpgradeCodeGoAndAScheduledRestartIsAsked) {
  InstalledPackage plain(L"PairPlain", PRODUCT_PAIR_PLAIN);
  InstalledPackage reboot(L"PairReboot", PRODUCT_PAIR_REBOOT);
  ASSERT_TRUE(plain.Installed() && reboot.Installed());

  const MsiRunResult run = RunScripts(L"pair");
  EXPECT_EQ(run.exitCode, 99u) << Dump(run.lines);
  EXPECT_FALSE(IsProductRegistered(PRODUCT_PAIR_PLAIN));
  EXPECT_FALSE(IsProductRegistered(PRODUCT_PAIR_REBOOT));
  for (const wchar_t* line :
       {L"Uninstalling 2 products from upgrade code '" UPGRADE_PAIR L"'",
        L"Uninstalling '" PRODUCT_PAIR_PLAIN L"' succeeded",
        L"Uninstalling '" PRODUCT_PAIR_REBOOT L"' succeeded with reboot required"}) {
    EXPECT_GE(IndexOf(run.lines, UninstallLine(line)), 0) << Utf8(line) << Dump(run.lines);
  }
  EXPECT_GE(IndexOf(run.lines, "::ConfigureMSI: MSI configured"), 0) << Dump(run.lines);
  EXPECT_GE(IndexOf(run.lines, "[pair.lua] still detected: false"), 0) << Dump(run.lines);
}

TEST(MsiRun, AFailingProductMakesTheResultFalseWhileTheOtherStillGoes) {
  InstalledPackage reboot(L"MixedReboot", PRODUCT_MIXED_REBOOT);
  InstalledPackage fail(L"MixedFail", PRODUCT_MIXED_FAIL);
  ASSERT_TRUE(reboot.Installed() && fail.Installed());

  const MsiRunResult run = RunScripts(L"mixed");
  EXPECT_EQ(run.exitCode, 1u) << Dump(run.lines);
  EXPECT_FALSE(IsProductRegistered(PRODUCT_MIXED_REBOOT));
  EXPECT_TRUE(IsProductRegistered(PRODUCT_MIXED_FAIL));
  EXPECT_GE(
      IndexOf(run.lines,
              UninstallLine(
                  L"Uninstalling '" PRODUCT_MIXED_REBOOT L"' succeeded with reboot required")),
      0)
      << Dump(run.lines);
  EXPECT_GE(
      IndexOf(run.lines, UninstallLine(L"Uninstalling '" PRODUCT_MIXED_FAIL L"' failed: 1603")), 0)
      << Dump(run.lines);
  EXPECT_GE(IndexOf(run.lines, "Status::SetRebootNeeded: Reboot is needed"), 0) << Dump(run.lines);
}

// The package registers its Uninstall entry in the 32-bit view (a 32-bit package); the
// test adds the 64-bit view's twin, which a product of the other kind would have.
TEST(MsiRun, RegistrationCleanupLeavesNoTraceAndKeepsTheSharedComponentsOtherUser) {
  InstalledPackage keeper(L"Keeper", PRODUCT_KEEPER);
  InstalledPackage broken(L"BrokenFail", PRODUCT_BROKEN_FAIL);
  ASSERT_TRUE(keeper.Installed() && broken.Installed());
  const std::wstring product = Packed(PRODUCT_BROKEN_FAIL);
  const std::wstring upgrade = Packed(UPGRADE_BROKEN);
  const std::wstring keeperProduct = Packed(PRODUCT_KEEPER);
  const std::wstring ownComponent = kUserData + L"Components\\" + Packed(COMPONENT_BROKEN_FAIL);
  const std::wstring sharedComponent = kUserData + L"Components\\" + Packed(SHARED_COMPONENT);
  ASSERT_TRUE(KeyExists(kUninstall + PRODUCT_BROKEN_FAIL, KEY_WOW64_32KEY));
  TestRegistry view64(KEY_WOW64_64KEY);
  ASSERT_TRUE(view64.CreateKey(kUninstall + PRODUCT_BROKEN_FAIL));
  const std::vector<std::wstring> traces = {
      L"SOFTWARE\\Classes\\Installer\\UpgradeCodes\\" + upgrade,
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes\\" + upgrade,
      L"SOFTWARE\\Classes\\Installer\\Products\\" + product,
      L"SOFTWARE\\Classes\\Installer\\Features\\" + product,
      kUserData + L"Products\\" + product,
      ownComponent,
  };
  for (const auto& key : traces) ASSERT_TRUE(KeyExists(key)) << Utf8(key);
  ASSERT_TRUE(Contains(ValueNames(sharedComponent), product));
  ASSERT_TRUE(Contains(ValueNames(sharedComponent), keeperProduct));

  const MsiRunResult run = RunScripts(L"broken");
  EXPECT_EQ(run.exitCode, 0u) << Dump(run.lines);
  EXPECT_GE(IndexOf(run.lines, "[broken.lua] uninstalled: false"), 0) << Dump(run.lines);
  EXPECT_GE(IndexOf(run.lines, "[broken.lua] cleaned: true"), 0) << Dump(run.lines);
  EXPECT_GE(IndexOf(run.lines, "[broken.lua] still detected: false"), 0) << Dump(run.lines);

  for (const auto& key : traces) EXPECT_FALSE(KeyExists(key)) << Utf8(key);
  EXPECT_FALSE(KeyExists(kUninstall + PRODUCT_BROKEN_FAIL, KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(kUninstall + PRODUCT_BROKEN_FAIL, KEY_WOW64_64KEY));
  EXPECT_EQ(ValueNames(sharedComponent), WideList{keeperProduct});

  EXPECT_TRUE(IsProductRegistered(PRODUCT_KEEPER));
  for (const auto& key :
       {L"SOFTWARE\\Classes\\Installer\\Features\\" + keeperProduct,
        kUserData + L"Products\\" + keeperProduct,
        kUserData + L"Components\\" + Packed(COMPONENT_KEEPER),
        L"SOFTWARE\\Classes\\Installer\\UpgradeCodes\\" + Packed(UPGRADE_KEEPER)}) {
    EXPECT_TRUE(KeyExists(key)) << Utf8(key);
  }
  EXPECT_TRUE(KeyExists(kUninstall + PRODUCT_KEEPER, KEY_WOW64_32KEY));
}

}  // namespace
