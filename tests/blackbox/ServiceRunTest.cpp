// Silent runs of the real PurgeKit64.exe whose product script stops and deletes real services
// (the test service program) through the Service module: as a bare test service, and as
// installers leave them, with the subkeys of real installations in their keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "TestServices.h"
#include "UniqueAny.h"

namespace {

TEST(ServiceRun, TheProductsRunningServiceIsStoppedAndDeleted) {
  ScratchFolder folder;
  const std::wstring record = folder / L"stops.txt";
  const std::wstring name = L"KvTestRunService";
  {
    InstalledService installed(name, L"normal", record);
    ASSERT_TRUE(installed.StartAndWait());

    ScopedLogRoot root;
    const LoggedRun run = RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" +
                                                          FixturePath(L"run\\service") + L"\"");
    const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
    ASSERT_TRUE(run.result.started);
    EXPECT_EQ(run.result.exitCode, 0u) << Dump(lines);
    EXPECT_GE(IndexOf(lines, "[service.lua] state before: 4"), 0) << Dump(lines);
    EXPECT_EQ(installed.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(ReadFileBytes(record), "KvTestRunService\n");
  }
  // Deleted once the test's own handle is closed too.
  const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
  EXPECT_FALSE(UniqueServiceHandle(::OpenServiceW(manager.get(), name.c_str(), GENERIC_READ)));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

// A file-system filter's altitude, for the Instances subkey.
constexpr wchar_t kAltitude[] = L"328010";

std::string Utf8(const std::wstring& text) { return WideToUtf8(text); }

// Runs the program on one product whose CleanupProduct logs the result of each call.
std::vector<LogLine> RunCalls(const ScratchFolder& scripts, const std::string& calls,
                              DWORD& exitCode) {
  scripts.Write(L"product.lua",
                "local function Report(what, result) Log.Info(what .. ': ' .. tostring(result)) "
                "end\n"
                "function GetProductId() return 'service-keys' end\n"
                "function DetectProduct() return true end\n"
                "function CleanupProduct()\n" +
                    calls + "return true\nend\n");
  ScopedLogRoot root;
  const LoggedRun run =
      RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" + scripts.Path() + L"\"");
  EXPECT_TRUE(run.result.started);
  exitCode = run.result.exitCode;
  return LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
}

std::string Call(const std::string& what, const std::string& function, const std::wstring& name) {
  return "Report('" + what + "', Service." + function + "('" + Utf8(name) + "'))\n";
}

bool KeyExists(const std::wstring& key) { return TestRegistry().KeyExists(key); }

// A service whose key holds Parameters, Security and a filter's Instances is removed with all
// of them: stopped, and running and stopped by the script first. The manager removes the key
// once the last handle is closed (the test holds none), and Cleanup reports that as done. A
// neighbour whose name begins with the same letters keeps its service and every subkey.
TEST(ServiceRun, ServicesWithTheSubkeysOfRealInstallationsAreRemovedWholeAndTheNeighbourStays) {
  ScratchFolder folder;
  ScratchFolder scripts(L"scripts");
  const std::wstring record = folder / L"stops.txt";
  const std::wstring stopped = UniqueName(L"Filter");
  const std::wstring running = UniqueName(L"Running");
  const std::wstring neighbour = stopped + L"Helper";
  InstalledService first(stopped, L"normal", record);
  InstalledService second(running, L"normal", record);
  InstalledService third(neighbour, L"normal", record);
  for (const InstalledService* service : {&first, &second, &third}) {
    ASSERT_TRUE(service->IsInstalled()) << Utf8(service->Name());
    ASSERT_TRUE(AddServiceSubkeys(service->Name(), kAltitude)) << Utf8(service->Name());
  }
  ASSERT_TRUE(second.StartAndWait());
  ASSERT_TRUE(third.StartAndWait());
  for (InstalledService* service : {&first, &second, &third}) service->CloseHandle();

  DWORD exitCode = 0;
  const auto lines = RunCalls(scripts,
                              Call("stopped", "Cleanup", stopped) + Call("stop", "Stop", running) +
                                  Call("running", "Cleanup", running),
                              exitCode);
  EXPECT_EQ(exitCode, 0u) << Dump(lines);
  for (const char* line : {"stopped: true", "stop: true", "running: true"}) {
    EXPECT_TRUE(HasLineContaining(lines, std::string("[product.lua] ") + line)) << Dump(lines);
  }
  EXPECT_FALSE(HasLineContaining(lines, "Lua::Service::Cleanup")) << Dump(lines);
  for (const std::wstring& name : {stopped, running}) {
    EXPECT_FALSE(ServiceKnown(name)) << Utf8(name);
    EXPECT_FALSE(KeyExists(ServiceKey(name))) << Utf8(name);
  }
  EXPECT_TRUE(ServiceKnown(neighbour));
  EXPECT_TRUE(HasServiceSubkeys(neighbour, kAltitude));
  EXPECT_EQ(ReadFileBytes(record), Utf8(running) + "\n");
}

// What Cleanup can't finish is reported and kept: a leftover key with a subkey and no service
// stays; a service that refuses to stop stays marked for deletion, and its key with every
// subkey stays until it ends.
TEST(ServiceRun, ALeftoverKeyAndTheKeyOfAServiceThatWouldNotStopAreKeptAndReported) {
  ScratchFolder folder;
  ScratchFolder scripts(L"scripts");
  const std::wstring leftover = UniqueName(L"Leftover");
  const std::wstring stubborn = UniqueName(L"Stubborn");
  ASSERT_TRUE(TestRegistry().CreateKey(ServiceKey(leftover) + L"\\Parameters"));
  InstalledService service(stubborn, L"nostop", folder / L"stops.txt");
  ASSERT_TRUE(service.IsInstalled());
  ASSERT_TRUE(AddServiceSubkeys(stubborn, kAltitude));
  ASSERT_TRUE(service.StartAndWait());
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  ASSERT_TRUE(::QueryServiceStatusEx(service.Handle(), SC_STATUS_PROCESS_INFO,
                                     reinterpret_cast<BYTE*>(&status), sizeof(status), &needed));
  const UniqueHandle process(
      ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId));
  ASSERT_TRUE(process);
  service.CloseHandle();

  DWORD exitCode = 0;
  const auto lines =
      RunCalls(scripts,
               Call("leftover", "Cleanup", leftover) + Call("stop", "Stop", stubborn) +
                   Call("stubborn", "Cleanup", stubborn),
               exitCode);
  EXPECT_EQ(exitCode, 0u) << Dump(lines);
  for (const char* line : {"leftover: false", "stop: false", "stubborn: false"}) {
    EXPECT_TRUE(HasLineContaining(lines, std::string("[product.lua] ") + line)) << Dump(lines);
  }
  for (const std::wstring& name : {leftover, stubborn}) {
    EXPECT_TRUE(HasLineContaining(
        lines, "Lua::Service::Cleanup: Failed to remove '" + Utf8(ServiceKey(name)) + "': 5"))
        << Dump(lines);
  }
  EXPECT_TRUE(KeyExists(ServiceKey(leftover) + L"\\Parameters"));
  EXPECT_TRUE(ServiceKnown(stubborn));
  EXPECT_TRUE(HasServiceSubkeys(stubborn, kAltitude));

  // Once it has ended, the manager takes the service with its key.
  ::TerminateProcess(process.get(), 1);
  ::WaitForSingleObject(process.get(), 10000);
  for (int i = 0; i < 50 && KeyExists(ServiceKey(stubborn)); ++i) ::Sleep(100);
  EXPECT_FALSE(KeyExists(ServiceKey(stubborn)));
  EXPECT_FALSE(ServiceKnown(stubborn));
  TestRegistry().DeleteTree(L"SYSTEM\\CurrentControlSet\\Services", leftover);
}

}  // namespace
