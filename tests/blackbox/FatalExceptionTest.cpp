// The last-resort exception filter, in a program that faults on purpose and starts the way
// the real programs do: every fault ends it with exit code 1 after one fatal line with the
// exception code, also a stack overflow that hits inside a log call and a fault on a second
// thread while the first one logs; so does a C++ exception that nothing catches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LogReader.h"
#include "LogRegistry.h"
#include "StringUtils.h"

namespace {

TEST(FatalExceptionFilter, AFaultEndsTheProcessWithExitCodeOneAfterAFatalLine) {
  struct Case {
    const wchar_t* mode;
    DWORD exitCode;
    const char* line;  // null: no fatal line
  };
  const Case cases[] = {
      {L"access", 1, "Unhandled exception 0xC0000005 at "},
      {L"overflow", 1, "Unhandled exception 0xC00000FD at "},
      {L"thread", 1, "Unhandled exception 0xC0000005 at "},
      {L"throw", 1, "Unhandled C++ exception std::runtime_error (nobody catches this)"},
      {L"throw-thread", 1, "Unhandled C++ exception std::runtime_error (nobody catches this)"},
      {L"none", 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.mode)));
    ScopedLogRoot root;
    RunOptions options;
    options.timeoutMs = 60000;
    const LoggedRun run = RunForLog(FAULT_PROBE_EXE, c.mode, options);
    ASSERT_TRUE(run.result.started);
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_EQ(run.result.exitCode, c.exitCode);
    const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
    std::vector<std::string> fatal;
    for (const LogLine& line : lines) {
      if (line.tag == "*F") fatal.push_back(line.text);
    }
    if (c.line == nullptr) {
      EXPECT_TRUE(fatal.empty()) << Dump(lines);
      continue;
    }
    ASSERT_EQ(fatal.size(), 1u) << Dump(lines);
    EXPECT_EQ(fatal[0].rfind(std::string("FatalExceptionFilter: ") + c.line, 0), 0u) << fatal[0];
    EXPECT_TRUE(EndsWith(Utf8ToWide(fatal[0]), L"; the process ends with exit code 1", false))
        << fatal[0];
  }
}

}  // namespace
