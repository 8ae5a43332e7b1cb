// The Service table over a real service (the test service program under Wine's service
// control manager): state, start, stop and cleanup as a script sees them, with their lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ImportHook.h"
#include "LogCapture.h"
#include "ModuleChunk.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestServices.h"
#include "UniqueAny.h"

namespace {

LogCapture& TestLog() {
  static LogCapture capture(L"unit_service_module");
  return capture;
}

const std::wstring kServicesKey = L"SYSTEM\\CurrentControlSet\\Services\\";

std::string Call(const std::string& function, const std::wstring& name) {
  return RunLua("return Service." + function + "('" + WideToUtf8(name) + "')");
}

bool ServiceExists(const std::wstring& name) {
  const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
  const UniqueServiceHandle service(::OpenServiceW(manager.get(), name.c_str(), GENERIC_READ));
  return service || ::GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}

LONG OpenServiceKey(const std::wstring& name) {
  UniqueHKey key;
  return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kServicesKey + name).c_str(), 0, KEY_READ, key.put());
}

class ServiceModule : public testing::Test {
 protected:
  void SetUp() override { TestLog().Mark(); }

  ScratchFolder folder_;
  std::wstring record_ = folder_ / L"stops.txt";
};

TEST_F(ServiceModule, ACreatedServiceIsStartedStoppedAndCleanedUp) {
  const std::wstring name = UniqueName(L"Module");
  {
    InstalledService installed(name, L"normal", record_);
    ASSERT_TRUE(installed.IsInstalled());
    EXPECT_EQ(Call("State", name), "1");
    EXPECT_EQ(Call("Start", name), "true");
    EXPECT_EQ(Call("State", name), "4");
    EXPECT_EQ(RunLua("return Service.State('" + WideToUtf8(name) + "') == SERVICE_RUNNING"),
              "true");
    EXPECT_EQ(Call("Start", name), "true");
    EXPECT_EQ(Call("Stop", name), "true");
    EXPECT_EQ(Call("State", name), "1");
    EXPECT_EQ(Call("Cleanup", name), "true");
    EXPECT_EQ(TestLog().Entries(), std::vector<std::string>()) << TestLog().Dump();
  }
  // Gone once the last handle to it (the test's own) is closed; its key is gone already.
  EXPECT_FALSE(ServiceExists(name));
  EXPECT_EQ(OpenServiceKey(name), ERROR_FILE_NOT_FOUND);
}

TEST_F(ServiceModule, ASubkeyLeftInTheServicesKeyMakesCleanupFalse) {
  const std::wstring name = UniqueName(L"Leftover");
  const std::wstring key = kServicesKey + name;
  {
    InstalledService installed(name, L"normal", record_);
    ASSERT_TRUE(installed.IsInstalled());
    UniqueHKey leftover;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (key + L"\\Parameters").c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, leftover.put(), nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(Call("Cleanup", name), "false");
    EXPECT_EQ(OpenServiceKey(name + L"\\Parameters"), ERROR_SUCCESS);
  }
  bool logged = false;
  const std::string line =
      "*E: Lua::Service::Cleanup: Failed to remove '" + WideToUtf8(key) + "': ";
  for (const auto& entry : TestLog().Entries()) logged |= entry.rfind(line, 0) == 0;
  EXPECT_TRUE(logged) << TestLog().Dump();
  // Wine's service control manager removes the whole key itself once the service is gone.
  EXPECT_FALSE(ServiceExists(name));
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
}

TEST_F(ServiceModule, AMissingServiceIsInvalidStoppedNotStartableAndCleanedSilently) {
  const std::wstring name = UniqueName(L"Missing");
  EXPECT_EQ(Call("State", name), "-1");
  EXPECT_EQ(RunLua("return Service.State('" + WideToUtf8(name) + "') == SERVICE_INVALID_VALUE"),
            "true");
  EXPECT_EQ(Call("Stop", name), "true");
  EXPECT_EQ(Call("Cleanup", name), "true");
  EXPECT_EQ(TestLog().Entries(), std::vector<std::string>()) << TestLog().Dump();
  EXPECT_EQ(Call("Start", name), "false");
  EXPECT_TRUE(
      TestLog().Has("*E: Lua::Service::Start: Service '" + WideToUtf8(name) + "' is not valid"))
      << TestLog().Dump();
  EXPECT_EQ(RunLua("return SERVICE_STOPPED + SERVICE_START_PENDING + SERVICE_STOP_PENDING + "
                   "SERVICE_RUNNING + SERVICE_CONTINUE_PENDING + SERVICE_PAUSE_PENDING + "
                   "SERVICE_PAUSED"),
            "28");
}

TEST_F(ServiceModule, NamesThatCanNotBeKeyNamesAreRefusedAsMissingServicesAndTouchNothing) {
  const std::wstring name = UniqueName(L"Kept");
  InstalledService installed(name, L"normal", record_);
  ASSERT_TRUE(installed.StartAndWait());
  const std::string kept = WideToUtf8(name);
  // Lua source texts: empty, with separators, a NUL after or before the name, invalid UTF-8.
  const std::string names[] = {"",           kept + "\\\\x", "x/" + kept, kept + "\\0x",
                               "\\0" + kept, kept + "\\255"};
  for (const auto& argument : names) {
    SCOPED_TRACE(argument);
    TestLog().Mark();
    const std::string call = "('" + argument + "')";
    EXPECT_EQ(RunLua("return Service.State" + call), "-1");
    EXPECT_EQ(RunLua("return Service.Start" + call), "false");
    EXPECT_EQ(RunLua("return Service.Stop" + call), "true");
    EXPECT_EQ(RunLua("return Service.Cleanup" + call), "true");
    const auto entries = TestLog().Entries();
    ASSERT_EQ(entries.size(), 4u) << TestLog().Dump();
    for (const auto& entry : entries) {
      EXPECT_EQ(entry.rfind("*E: Lua::Service::", 0), 0u) << entry;
      EXPECT_NE(entry.find(": Refused argument 1 '"), std::string::npos) << entry;
    }
  }
  EXPECT_EQ(installed.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(OpenServiceKey(name), ERROR_SUCCESS);
}

// Wine's service control manager grants an administrator whatever access is asked for,
// whatever the service's DACL says (SetServiceObjectSecurity succeeds and changes nothing
// there); this stand-in for OpenServiceW answers as Windows does
// for a service whose DACL denies us.
SC_HANDLE WINAPI DenyOpenService(SC_HANDLE, const wchar_t*, DWORD) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

TEST_F(ServiceModule, AServiceWeMayNotOpenIsReportedAsAFailureNotAsMissing) {
  const std::wstring name = UniqueName(L"Denied");
  InstalledService installed(name, L"normal", record_);
  ASSERT_TRUE(installed.StartAndWait());
  {
    ImportHook hook("advapi32.dll", "OpenServiceW", reinterpret_cast<void*>(&DenyOpenService));
    ASSERT_TRUE(hook.IsActive());
    // Always an integer, so that a script's comparison with a state never raises.
    EXPECT_EQ(Call("State", name), "-1");
    EXPECT_EQ(Call("Stop", name), "false");
  }
  const std::string quoted = std::string("'").append(WideToUtf8(name)).append("': 5");
  EXPECT_TRUE(TestLog().Has("*E: Lua::Service::State: Failed to open service " + quoted))
      << TestLog().Dump();
  EXPECT_TRUE(TestLog().Has("*E: Lua::Service::Stop: Failed to open service " + quoted))
      << TestLog().Dump();
  EXPECT_EQ(installed.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

}  // namespace
