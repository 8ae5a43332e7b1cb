// A silent run of the real PurgeKit64.exe whose product script reads, counts and removes a
// product's registry branches in both views through the Reg module.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"
#include "TestRegistry.h"

namespace {

TEST(RegistryRun, TheProductsBranchesGoInBothViewsAndLookAlikesStay) {
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
  // A component whose key lets the Administrators read its values only: removed only after
  // ownership is taken.
  ASSERT_TRUE(SetKeySddl(base / L"Halcyra\\Components\\Firewall", KEY_WOW64_64KEY,
                         L"D:P(A;;0x1;;;BA)", DACL_SECURITY_INFORMATION));

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

}  // namespace
