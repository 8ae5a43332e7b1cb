// Services, process start and the OS edition: a real service program under Wine's service
// control manager, real child processes and the real version check (which changes a
// machine-wide value for a moment, hence the machine lock).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ChildPrograms.h"
#include "ImportHook.h"
#include "IsServerEdition.h"
#include "KvService.h"
#include "LaunchProcess.h"
#include "LogRegistry.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "TestServices.h"
#include "UniqueAny.h"

namespace {

class Services : public testing::Test {
 protected:
  // The names of the services in the order in which they stopped.
  std::string Stops() { return ReadFileBytes(record_); }
  static std::string Line(const std::wstring& name) { return WideToUtf8(name) + "\n"; }

  ScratchFolder folder_;
  std::wstring record_ = folder_ / L"stops.txt";
};

TEST_F(Services, StartStopAndDeleteARealService) {
  const std::wstring name = UniqueName(L"Life");
  InstalledService installed(name, L"normal", record_);
  ASSERT_TRUE(installed.IsInstalled());

  KvService reader(name, true);
  ASSERT_TRUE(reader.IsOpen());
  EXPECT_EQ(reader.QueryState(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(reader.LastError(), 0u);

  KvService service(name, false);
  ASSERT_TRUE(service.IsOpen());
  EXPECT_TRUE(service.Start({}, 10000));
  EXPECT_EQ(reader.QueryState(), static_cast<DWORD>(SERVICE_RUNNING));
  // Already running: started, without polling.
  const DWORD before = ::GetTickCount();
  EXPECT_TRUE(service.Start({L"ignored"}, 10000));
  EXPECT_LT(::GetTickCount() - before, 150u);
  EXPECT_EQ(service.LastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));

  EXPECT_TRUE(service.Stop(10000));
  EXPECT_EQ(reader.QueryState(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(Stops(), Line(name));
  // Already stopped: true at once, nothing is stopped again.
  EXPECT_TRUE(service.Stop(10000));
  EXPECT_EQ(Stops(), Line(name));

  EXPECT_TRUE(service.Delete());
  // Marked for deletion; once every handle is closed, the service is gone.
  EXPECT_FALSE(service.Delete());
  EXPECT_EQ(service.LastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
}

TEST_F(Services, AMissingServiceFailsEveryOperation) {
  KvService service(UniqueName(L"Missing"), false);
  EXPECT_FALSE(service.IsOpen());
  EXPECT_EQ(service.LastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(service.QueryState(), KvService::kInvalidState);
  EXPECT_EQ(service.LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(service.Start({}, 1000));
  EXPECT_FALSE(service.Stop(1000));
  EXPECT_FALSE(service.Delete());
  EXPECT_EQ(service.LastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  KvService reader(UniqueName(L"Missing"), true);
  EXPECT_EQ(reader.QueryState(), KvService::kInvalidState);
}

TEST_F(Services, StartPollsUntilTheServiceRunsOrTheTimeOutHasPassed) {
  InstalledService slow(UniqueName(L"SlowStart"), L"slowstart", record_);
  ASSERT_TRUE(slow.IsInstalled());
  KvService service(slow.Name(), false);
  // A time-out of 0 still sleeps and asks once; the service is left starting.
  const DWORD before = ::GetTickCount();
  EXPECT_FALSE(service.Start({}, 0));
  EXPECT_GE(::GetTickCount() - before, 190u);
  EXPECT_EQ(slow.State(), static_cast<DWORD>(SERVICE_START_PENDING));
  ASSERT_TRUE(slow.WaitFor(SERVICE_RUNNING));
  ASSERT_TRUE(service.Stop(10000));

  EXPECT_TRUE(service.Start({}, 10000));
  EXPECT_EQ(slow.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

// Wine's service manager never reports dependent services, so the dependents are fed to
// KvService through its imports: OpenServiceW is watched to know which handle names which
// service, and EnumDependentServicesW answers from a table. Every service is real.
std::map<SC_HANDLE, std::wstring> g_openedNames;
std::map<std::wstring, std::vector<std::wstring>> g_dependents;
std::vector<std::wstring> g_enumerated;
decltype(&::OpenServiceW) g_realOpenService = nullptr;
decltype(&::EnumDependentServicesW) g_realEnumDependents = nullptr;

SC_HANDLE WINAPI WatchingOpenServiceW(SC_HANDLE manager, const wchar_t* name, DWORD access) {
  const SC_HANDLE service = g_realOpenService(manager, name, access);
  if (service != nullptr) g_openedNames[service] = name;
  return service;
}

BOOL WINAPI TableEnumDependentServicesW(SC_HANDLE service, DWORD state,
                                        ENUM_SERVICE_STATUSW* buffer, DWORD size, DWORD* needed,
                                        DWORD* count) {
  const auto opened = g_openedNames.find(service);
  if (opened == g_openedNames.end()) {
    return g_realEnumDependents(service, state, buffer, size, needed, count);
  }
  g_enumerated.push_back(opened->second);
  const std::vector<std::wstring>& names = g_dependents[opened->second];
  *count = 0;
  DWORD bytes = static_cast<DWORD>(names.size() * sizeof(ENUM_SERVICE_STATUSW));
  for (const auto& name : names) bytes += static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t));
  *needed = bytes;
  if (names.empty()) return TRUE;
  if (size < bytes) {
    ::SetLastError(ERROR_MORE_DATA);
    return FALSE;
  }
  auto* text = reinterpret_cast<wchar_t*>(buffer + names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    buffer[i] = ENUM_SERVICE_STATUSW{};
    buffer[i].lpServiceName = text;
    buffer[i].lpDisplayName = text;
    buffer[i].ServiceStatus.dwCurrentState = SERVICE_RUNNING;
    text = std::copy(names[i].begin(), names[i].end(), text);
    *text++ = L'\0';
  }
  *count = static_cast<DWORD>(names.size());
  return TRUE;
}

class DependentsThroughImports : public Services {
 protected:
  void SetUp() override {
    ASSERT_TRUE(open_.IsActive());
    ASSERT_TRUE(enumerate_.IsActive());
    g_realOpenService = reinterpret_cast<decltype(&::OpenServiceW)>(open_.Original());
    g_realEnumDependents =
        reinterpret_cast<decltype(&::EnumDependentServicesW)>(enumerate_.Original());
    g_openedNames.clear();
    g_dependents.clear();
    g_enumerated.clear();
  }
  void TearDown() override { g_openedNames.clear(); }

  ImportHook open_{"advapi32.dll", "OpenServiceW", reinterpret_cast<void*>(&WatchingOpenServiceW)};
  ImportHook enumerate_{"advapi32.dll", "EnumDependentServicesW",
                        reinterpret_cast<void*>(&TableEnumDependentServicesW)};
};

TEST_F(DependentsThroughImports, DependentsStopFirstDepthFirst) {
  InstalledService a(UniqueName(L"DepA"), L"normal", record_);
  InstalledService b(UniqueName(L"DepB"), L"normal", record_);
  InstalledService c(UniqueName(L"DepC"), L"normal", record_);
  InstalledService d(UniqueName(L"DepD"), L"normal", record_);
  for (const InstalledService* s : {&a, &b, &c, &d}) ASSERT_TRUE(s->StartAndWait());
  g_dependents[a.Name()] = {b.Name(), c.Name()};
  g_dependents[b.Name()] = {d.Name()};

  KvService service(a.Name(), false);
  EXPECT_TRUE(service.Stop(10000));
  EXPECT_EQ(Stops(), Line(d.Name()) + Line(b.Name()) + Line(c.Name()) + Line(a.Name()));
}

TEST_F(DependentsThroughImports, TheFirstDependentThatWontStopEndsTheStopWithItsError) {
  InstalledService a(UniqueName(L"FailA"), L"normal", record_);
  InstalledService b(UniqueName(L"FailB"), L"normal", record_);
  InstalledService stubborn(UniqueName(L"FailN"), L"nostop", record_);
  InstalledService c(UniqueName(L"FailC"), L"normal", record_);
  for (const InstalledService* s : {&a, &b, &stubborn, &c}) ASSERT_TRUE(s->StartAndWait());
  g_dependents[a.Name()] = {b.Name(), stubborn.Name(), c.Name()};

  DWORD refusal = 0;
  {
    KvService direct(stubborn.Name(), false);
    EXPECT_FALSE(direct.Stop(1000));
    refusal = direct.LastError();
    EXPECT_NE(refusal, 0u);
  }
  KvService service(a.Name(), false);
  EXPECT_FALSE(service.Stop(10000));
  EXPECT_EQ(service.LastError(), refusal);
  // The dependent before it stays stopped; the one after it and the service itself run.
  EXPECT_EQ(Stops(), Line(b.Name()));
  EXPECT_EQ(c.State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(a.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(DependentsThroughImports, AStopPendingServiceIsOnlyPolled) {
  InstalledService slow(UniqueName(L"SlowStop"), L"slowstop", record_);
  InstalledService dependent(UniqueName(L"SlowDep"), L"normal", record_);
  ASSERT_TRUE(slow.StartAndWait());
  ASSERT_TRUE(dependent.StartAndWait());

  KvService service(slow.Name(), false);
  EXPECT_FALSE(service.Stop(0));
  EXPECT_EQ(slow.State(), static_cast<DWORD>(SERVICE_STOP_PENDING));
  // Listed only now: a pending stop asks for no dependents and sends no second stop.
  g_dependents[slow.Name()] = {dependent.Name()};
  g_enumerated.clear();
  EXPECT_TRUE(service.Stop(10000));
  EXPECT_TRUE(g_enumerated.empty());
  EXPECT_EQ(Stops(), Line(slow.Name()));
  EXPECT_EQ(dependent.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(BuildQuotedCommandLine, QuotesThePathAndAppendsTheArgumentsUnchanged) {
  struct Case {
    const wchar_t* path;
    const wchar_t* arguments;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"C:\\Program Files\\a.exe", nullptr, L"\"C:\\Program Files\\a.exe\""},
      {L"C:\\a.exe", L"/x /y", L"\"C:\\a.exe\" /x /y"},
      {L"C:\\a.exe", L" lead", L"\"C:\\a.exe\"  lead"},
      {L"C:\\a.exe", L"", L"\"C:\\a.exe\" "},
      {L"C:\\with \"quote\".exe", L"%s %d", L"\"C:\\with \"quote\".exe\" %s %d"},
      {L"", nullptr, L"\"\""},
  };
  for (const auto& c : cases) {
    const auto line = BuildQuotedCommandLine(c.path, c.arguments);
    ASSERT_NE(line, nullptr) << c.path;
    EXPECT_EQ(std::wstring(line.get()), c.expected);
  }
  EXPECT_EQ(BuildQuotedCommandLine(nullptr, nullptr), nullptr);
}

// A pipe whose write end we close at once: its read ends while no child holds a copy.
struct Pipe {
  Pipe() {
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    ::CreatePipe(read.put(), write.put(), &inheritable, 0);
    ::SetHandleInformation(read.get(), HANDLE_FLAG_INHERIT, 0);
  }
  UniqueHandle read;
  UniqueHandle write;
};

TEST(LaunchProcess, InheritsHandlesOnlyWithStandardHandlesInTheStartupRecord) {
  {
    // Default startup record: the inheritable write end stays ours alone, so the pipe
    // breaks as soon as we close it, while the child still runs.
    Pipe pipe;
    const UniqueHandle child(
        LaunchProcess(TEST_CHILD_EXE, L"keep 3000", 0, nullptr, nullptr, nullptr));
    ASSERT_TRUE(child);
    pipe.write.reset();
    EXPECT_EQ(ReadToEnd(pipe.read.get()), "");
    EXPECT_EQ(::WaitForSingleObject(child.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    ::TerminateProcess(child.get(), 0);
  }
  {
    Pipe pipe;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = pipe.write.get();
    startup.hStdError = pipe.write.get();
    ScratchFolder folder;
    const UniqueHandle child(LaunchProcess(TEST_CHILD_EXE, L"write \"out \\n\"", 0,
                                           folder.Path().c_str(), nullptr, &startup));
    ASSERT_TRUE(child);
    pipe.write.reset();
    EXPECT_EQ(ReadToEnd(pipe.read.get()), "out \n");
    EXPECT_EQ(::WaitForSingleObject(child.get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  }
}

TEST(LaunchProcess, AMissingProgramGivesNullAndLeavesTheError) {
  ScratchFolder folder;
  const std::wstring missing = folder / L"missing.exe";
  ::SetLastError(0);
  EXPECT_EQ(LaunchProcess(missing.c_str(), nullptr, 0, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// The extended startup flag would make CreateProcessW read past the plain record, and a name
// of MAX_PATH units or more is beyond what the program handles: refused before any try. One
// unit shorter, the program starts.
TEST(LaunchProcess, RefusesTheExtendedStartupFlagAndNamesOfMaxPathUnits) {
  ScratchFolder folder;
  const auto copyNamed = [&](size_t units) {
    std::wstring path = folder / L"";
    path.append(units - path.size() - 4, L'x');
    return CopyProgram(TEST_CHILD_EXE, path + L".exe");
  };
  struct Case {
    std::wstring path;
    DWORD flags;
    DWORD error;  // 0: started
  };
  const Case cases[] = {
      {TEST_CHILD_EXE, EXTENDED_STARTUPINFO_PRESENT, ERROR_INVALID_PARAMETER},
      {TEST_CHILD_EXE, EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW, ERROR_INVALID_PARAMETER},
      {copyNamed(MAX_PATH - 1), 0, 0},
      {copyNamed(MAX_PATH), 0, ERROR_FILENAME_EXCED_RANGE},
      {std::wstring(1040, L'x'), 0, ERROR_FILENAME_EXCED_RANGE},
  };
  for (const auto& c : cases) {
    ::SetLastError(0);
    const UniqueHandle child(
        LaunchProcess(c.path.c_str(), L"exit 0", c.flags, nullptr, nullptr, nullptr));
    const DWORD error = ::GetLastError();
    EXPECT_EQ(static_cast<bool>(child), c.error == 0) << c.path.size() << " units";
    if (child) {
      EXPECT_EQ(::WaitForSingleObject(child.get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    } else {
      EXPECT_EQ(error, c.error) << c.path.size() << " units";
    }
  }
}

// Wine takes a process's product type from HKLM ProductOptions when the process starts, so a
// child started while it reads ServerNT runs as a server edition.
TEST(IsServerEdition, FollowsTheProductTypeTheSystemReports) {
  EXPECT_FALSE(IsServerEdition());
  DWORD code = 99;
  {
    ScopedRegValue productType(HKEY_LOCAL_MACHINE,
                               L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                               L"ProductType", KEY_WOW64_64KEY);
    ASSERT_TRUE(productType.SetString(L"ServerNT"));
    const UniqueHandle child(
        LaunchProcess(TEST_CHILD_EXE, L"edition", 0, nullptr, nullptr, nullptr));
    ASSERT_TRUE(child);
    ::WaitForSingleObject(child.get(), 30000);
    ::GetExitCodeProcess(child.get(), &code);
  }
  EXPECT_EQ(code, 1u) << "exit code 1: a server edition";
  const UniqueHandle child(LaunchProcess(TEST_CHILD_EXE, L"edition", 0, nullptr, nullptr, nullptr));
  ASSERT_TRUE(child);
  ::WaitForSingleObject(child.get(), 30000);
  ::GetExitCodeProcess(child.get(), &code);
  EXPECT_EQ(code, 0u);
}

}  // namespace
