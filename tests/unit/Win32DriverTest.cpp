// The Win32Driver table over real devices: each test makes its devices with the device
// installer (TestDevices.h), which Wine then lists as present, and removes what is left of
// them afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ImportHook.h"
#include "LogCapture.h"
#include "ModuleChunk.h"
#include "TestDevices.h"

namespace {

LogCapture& TestLog() {
  static LogCapture capture(L"unit_drivers");
  return capture;
}

// Wine's SetupDiSetClassInstallParamsW is a stub that answers FALSE, so no removal request
// can be set there. This stand-in checks the request it is given and accepts it; the
// class installer that follows (SetupDiCallClassInstaller with DIF_REMOVE) is Wine's own.
struct RemovalRequests {
  int count = 0;
  bool wellFormed = true;
};
RemovalRequests g_requests;

BOOL WINAPI AcceptRemovalRequest(HDEVINFO, PSP_DEVINFO_DATA device, PSP_CLASSINSTALL_HEADER header,
                                 DWORD size) {
  const auto* removal = reinterpret_cast<const SP_REMOVEDEVICE_PARAMS*>(header);
  ++g_requests.count;
  if (device == nullptr || size != 16 || sizeof(SP_REMOVEDEVICE_PARAMS) != 16 ||
      header->cbSize != 8 || header->InstallFunction != DIF_REMOVE ||
      removal->Scope != DI_REMOVEDEVICE_GLOBAL || removal->HwProfile != 0) {
    g_requests.wellFormed = false;
  }
  return TRUE;
}

std::string Uninstall(const std::string& manufacturer, const std::string& hardwareId) {
  return RunLua("return Win32Driver.UninstallOemDriversByManufacturerAndName('" + manufacturer +
                "', '" + hardwareId + "')");
}

class Win32Driver : public testing::Test {
 protected:
  void SetUp() override {
    TestLog().Mark();
    g_requests = {};
  }
};

TEST_F(Win32Driver, RemovesEveryDeviceOfTheManufacturerWithTheHardwareIdAndNoOther) {
  TestDevice first(L"Korvane Test", {L"KV_TEST_OTHER", L"KV_TEST_DEV"});
  TestDevice second(L"Korvane Test", {L"KV_TEST_DEV"});
  TestDevice otherCase(L"korvane test", {L"KV_TEST_DEV"});
  TestDevice longerName(L"Korvane Test", {L"KV_TEST_DEVX"});
  TestDevice otherMaker(L"Korvane Test Two", {L"KV_TEST_DEV"});
  ASSERT_TRUE(first.Registered() && second.Registered() && otherCase.Registered() &&
              longerName.Registered() && otherMaker.Registered());
  ASSERT_EQ(CountPresentDevices(L"Korvane Test", L"KV_TEST_DEV"), 1);

  ImportHook hook("setupapi.dll", "SetupDiSetClassInstallParamsW",
                  reinterpret_cast<void*>(&AcceptRemovalRequest));
  ASSERT_TRUE(hook.IsActive());
  EXPECT_EQ(Uninstall("Korvane Test", "KV_TEST_DEV"), "true");

  EXPECT_EQ(g_requests.count, 2);
  EXPECT_TRUE(g_requests.wellFormed);
  EXPECT_EQ(CountPresentDevices(L"Korvane Test", L"KV_TEST_OTHER|KV_TEST_DEV"), 0);
  EXPECT_EQ(CountPresentDevices(L"Korvane Test", L"KV_TEST_DEV"), 0);
  EXPECT_EQ(CountPresentDevices(L"korvane test", L"KV_TEST_DEV"), 1);
  EXPECT_EQ(CountPresentDevices(L"Korvane Test", L"KV_TEST_DEVX"), 1);
  EXPECT_EQ(CountPresentDevices(L"Korvane Test Two", L"KV_TEST_DEV"), 1);

  const std::string function = ": Lua::Win32Driver::UninstallDriversWithManufacturerAndName: ";
  EXPECT_TRUE(TestLog().Has(" D" + function +
                            "Uninstalling drivers of manufacturer: 'Korvane Test' having name: "
                            "'KV_TEST_DEV'"))
      << TestLog().Dump();
  EXPECT_EQ(TestLog().Count(" D" + function + "hwid : 'KV_TEST_OTHER'"), 1u);
  EXPECT_EQ(TestLog().Count(" D" + function + "hwid : 'KV_TEST_DEVX'"), 1u);
  EXPECT_EQ(
      TestLog().Count(" I: Lua::Win32Driver::UninstallDriver: Driver uninstalled succesfully"), 2u);
  size_t found = 0;
  for (const auto& entry : TestLog().Entries()) {
    if (entry.rfind(" D" + function + "Found matching driver, dev id : '", 0) == 0) ++found;
  }
  EXPECT_EQ(found, 2u) << TestLog().Dump();
}

// Without the stand-in, Wine's stub refuses every removal request: each matching device is
// still attempted, each failure logged, and the result is false.
TEST_F(Win32Driver, AFailedRemovalMakesTheResultFalseAndTheWalkGoesOn) {
  TestDevice first(L"Korvane Test", {L"KV_TEST_STUB"});
  TestDevice second(L"Korvane Test", {L"KV_TEST_STUB"});
  ASSERT_TRUE(first.Registered() && second.Registered());

  EXPECT_EQ(Uninstall("Korvane Test", "KV_TEST_STUB"), "false");
  EXPECT_EQ(CountPresentDevices(L"Korvane Test", L"KV_TEST_STUB"), 2);
  size_t failures = 0;
  for (const auto& entry : TestLog().Entries()) {
    if (entry.rfind("*E: Lua::Win32Driver::UninstallDriver: Failed to invoke DIF_REMOVE : ", 0) ==
        0) {
      ++failures;
    }
  }
  EXPECT_EQ(failures, 2u) << TestLog().Dump();
}

TEST_F(Win32Driver, EmptyArgumentsAreRefusedAndNoMatchIsSuccess) {
  TestDevice device(L"Korvane Test", {L"KV_TEST_KEEP"});
  ASSERT_TRUE(device.Registered());
  ImportHook hook("setupapi.dll", "SetupDiSetClassInstallParamsW",
                  reinterpret_cast<void*>(&AcceptRemovalRequest));
  const std::string refused =
      ".W: Lua::Win32Driver::UninstallDriversWithManufacturerAndName: Invalid arguments for driver "
      "uninstallation";
  EXPECT_EQ(Uninstall("", "KV_TEST_KEEP"), "false");
  EXPECT_EQ(Uninstall("Korvane Test", ""), "false");
  EXPECT_EQ(TestLog().Count(refused), 2u) << TestLog().Dump();
  EXPECT_EQ(Uninstall("Korvane Test", "KV_TEST_NONE"), "true");
  EXPECT_EQ(Uninstall("Korvane Test", "kv_test_keep"), "true");
  EXPECT_EQ(g_requests.count, 0);
  EXPECT_EQ(CountPresentDevices(L"Korvane Test", L"KV_TEST_KEEP"), 1);
  EXPECT_EQ(RunLua("return pcall(Win32Driver.UninstallOemDriversByManufacturerAndName, 'x')"),
            "false");
}

}  // namespace
