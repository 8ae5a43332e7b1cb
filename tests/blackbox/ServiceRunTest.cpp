// A silent run of the real PurgeKit64.exe whose product script stops and deletes a real
// service (the test service program) through the Service module.
#include <gtest/gtest.h>

#include <string>

#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "TestFiles.h"
#include "TestServices.h"

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

}  // namespace
