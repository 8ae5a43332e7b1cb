// Runs the real programs under Wine and checks their exit codes. The runs are silent, so that
// a program that gets past the mutex ends at once instead of waiting in its wizard.
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <string>

#include "HeldFile.h"
#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"
#include "UniqueAny.h"

namespace {

constexpr wchar_t kMutex64[] = L"Global\\{91D7C0A1-4A48-4F19-8492-D22A1F91C4CE}";
constexpr wchar_t kMutex32[] = L"Global\\{9E18E678-002E-4F1A-A5E5-3F7A344403DF}";
// As the programs make it: owned by the Administrators, open to the system and them only.
constexpr wchar_t kAdministratorsMutex[] = L"O:BAD:(A;;GA;;;SY)(A;;GA;;;BA)";
constexpr wchar_t kOtherUser[] = L"S-1-5-21-0-0-0-1001";

// A mutex of this process that another instance of the program would have made.
UniqueHandle MakeInstanceMutex(const wchar_t* name) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsMutex, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    return UniqueHandle();
  }
  const UniqueLocal holder(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  return UniqueHandle(::CreateMutexW(&attributes, FALSE, name));
}

TEST(SingleInstance, SecondInstanceOf64BitProgramExits4AtOnce) {
  UniqueHandle held(MakeInstanceMutex(kMutex64));
  ASSERT_TRUE(held);
  const DWORD start = ::GetTickCount();
  const RunResult result = RunProgram(PurgeKit64Path(), L"--silent");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 4u);
  EXPECT_LT(::GetTickCount() - start, 20000u);
}

// The name is in the global namespace, where every user may make objects: a mutex of that
// name made and held by another process counts as another instance only where the system or
// the Administrators own it.
TEST(SingleInstance, OnlyAMutexOfTheSystemOrTheAdministratorsIsAnotherInstance) {
  struct Case {
    const char* label;
    std::wstring sddl;
    DWORD exitCode;
    std::string owner;  // named in the warning line; empty: no warning
  };
  const std::wstring other = kOtherUser;
  const Case cases[] = {
      {"the Administrators", kAdministratorsMutex, 4, ""},
      {"the system", L"O:SYD:(A;;GA;;;SY)(A;;GA;;;BA)", 4, ""},
      {"another user, open to all", L"O:" + other + L"D:(A;;GA;;;WD)", 0, "S-1-5-21-0-0-0-1001"},
      {"another user, open to nobody else", L"O:" + other + L"D:", 0, "unknown (error 5)"},
  };
  for (const auto& c : cases) {
    ScopedLogRoot root;
    const HeldMutex held(kMutex64, c.sddl);
    ASSERT_TRUE(held.IsHeld()) << c.label;
    const LoggedRun run = RunForLog(PurgeKit64Path(), L"--silent --language en --scripts \"" +
                                                          FixturePath(L"run\\done") + L"\"");
    ASSERT_TRUE(run.result.started) << c.label;
    EXPECT_EQ(run.result.exitCode, c.exitCode) << c.label;
    const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
    const std::string warning =
        "Run: The single-instance mutex 'Global\\{91D7C0A1-4A48-4F19-8492-D22A1F91C4CE}' exists "
        "with the owner ";
    if (c.owner.empty()) {
      EXPECT_TRUE(HasLineContaining(lines, "Run: Another instance is already running")) << c.label;
      EXPECT_LT(IndexOf(lines, "cleanup halcyra"), 0) << c.label << Dump(lines);
      EXPECT_FALSE(HasLineContaining(lines, warning)) << c.label;
    } else {
      EXPECT_EQ(CountContaining(lines, warning + c.owner +
                                           ", not the system or the "
                                           "Administrators: it is not taken "
                                           "for another instance"),
                1)
          << c.label << Dump(lines);
      EXPECT_GE(IndexOf(lines, "cleanup halcyra"), 0) << c.label << Dump(lines);
    }
  }
}

// A process that is not an administrator can't give the Administrators an object, nor open
// the mutex of an instance that runs: its run ends as such a run does, with 3.
TEST(SingleInstance, ARunThatIsNotAnAdministratorEndsWith3WithOrWithoutAnInstance) {
  RunOptions options;
  options.withoutAdministrators = true;
  for (const bool instance : {false, true}) {
    UniqueHandle held;
    if (instance) {
      held = MakeInstanceMutex(kMutex64);
      ASSERT_TRUE(held);
    }
    const RunResult result = RunProgram(PurgeKit64Path(), L"--silent --language en", options);
    ASSERT_TRUE(result.started) << instance;
    EXPECT_EQ(result.exitCode, 3u) << instance;
  }
}

TEST(SingleInstance, The32BitNameDoesNotStopThe64BitProgram) {
  UniqueHandle held(MakeInstanceMutex(kMutex32));
  ASSERT_TRUE(held);
  const RunResult result = RunProgram(PurgeKit64Path(), L"--silent");
  ASSERT_TRUE(result.started);
  EXPECT_NE(result.exitCode, 4u);
}

void CheckWow64(HANDLE process, void* context) {
  BOOL wow64 = FALSE;
  *static_cast<int*>(context) = ::IsWow64Process(process, &wow64) ? (wow64 ? 1 : 0) : -1;
}

TEST(SingleInstance, The32BitProgramRunsInWow64BesideA64BitInstance) {
  if (!Wine32Available()) GTEST_SKIP() << kNoWine32Reason;
  UniqueHandle held(MakeInstanceMutex(kMutex64));
  ASSERT_TRUE(held);
  int wow64 = -2;
  RunOptions options;
  options.onSuspended = CheckWow64;
  options.context = &wow64;
  // A scripts folder without the 64-bit program keeps the run in the 32-bit process (the
  // handed-over run would meet the held 64-bit name).
  const RunResult result = RunProgram(
      PurgeKit32Path(), L"--silent --scripts \"" + FixturePath(L"run\\done") + L"\"", options);
  ASSERT_TRUE(result.started);
  EXPECT_EQ(wow64, 1);
  EXPECT_NE(result.exitCode, 4u);
  // From its built-in archive it hands the run to the 64-bit program, which meets the held
  // name and exits 4; the 32-bit program passes that on.
  EXPECT_EQ(RunProgram(PurgeKit32Path(), L"--silent").exitCode, 4u);

  UniqueHandle held32(MakeInstanceMutex(kMutex32));
  EXPECT_EQ(RunProgram(PurgeKit32Path(), L"--silent").exitCode, 4u);
}

}  // namespace
