// Runs the real programs under Wine and checks their exit codes. The runs are silent, so that
// a program that gets past the mutex ends at once instead of waiting in its wizard.
#include <gtest/gtest.h>

#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"
#include "UniqueAny.h"

namespace {

constexpr wchar_t kMutex64[] = L"Global\\{91D7C0A1-4A48-4F19-8492-D22A1F91C4CE}";
constexpr wchar_t kMutex32[] = L"Global\\{9E18E678-002E-4F1A-A5E5-3F7A344403DF}";

TEST(SingleInstance, SecondInstanceOf64BitProgramExits4AtOnce) {
  UniqueHandle held(::CreateMutexW(nullptr, FALSE, kMutex64));
  ASSERT_TRUE(held);
  const DWORD start = ::GetTickCount();
  const RunResult result = RunProgram(PurgeKit64Path(), L"--silent");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 4u);
  EXPECT_LT(::GetTickCount() - start, 20000u);
}

TEST(SingleInstance, The32BitNameDoesNotStopThe64BitProgram) {
  UniqueHandle held(::CreateMutexW(nullptr, FALSE, kMutex32));
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
  UniqueHandle held(::CreateMutexW(nullptr, FALSE, kMutex64));
  ASSERT_TRUE(held);
  int wow64 = -2;
  RunOptions options;
  options.onSuspended = CheckWow64;
  options.context = &wow64;
  ScopedLogRoot root;
  const RunResult result = RunProgram(PurgeKit32Path(), L"--silent", options);
  ASSERT_TRUE(result.started);
  EXPECT_EQ(wow64, 1);
  // Past its own mutex it hands the run to the 64-bit program, which then meets the held one.
  EXPECT_TRUE(HasLineContaining(ReadLogLines(root.Directory()),
                                "UiTool::RunNative: Executing 64-bit version"));

  UniqueHandle held32(::CreateMutexW(nullptr, FALSE, kMutex32));
  EXPECT_EQ(RunProgram(PurgeKit32Path(), L"--silent").exitCode, 4u);
}

}  // namespace
