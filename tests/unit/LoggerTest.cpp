#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "LogLineHeader.h"
#include "LoggerWin.h"
#include "UniqueAny.h"

using namespace KvTzkLogging;

namespace {

// What the logger handed to its file context, and the configuration it reads back.
struct Record {
  std::mutex mutex;
  std::vector<std::string> writes;
  int level = 4;
  bool debugOutput = false;
  int inits = 0;
  int contexts = 0;
  // Called with each line before it is recorded, under the logger's lock.
  std::function<void(const std::string&)> beforeWrite;

  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> guard(mutex);
    return writes;
  }
};

class MemoryFileContext : public FileContext {
 public:
  MemoryFileContext(std::shared_ptr<Record> record, int level, int flags)
      : FileContext(std::make_unique<FileSystem::Path>(), L"", L"", L"", level, flags),
        record_(std::move(record)) {}
  // Like the real context: true only the first time. Nothing on disk is touched.
  bool Init() override {
    ++record_->inits;
    return std::exchange(first_, false);
  }
  void Write(const char* data, size_t size) override {
    if (record_->beforeWrite) record_->beforeWrite(std::string(data, size));
    std::lock_guard<std::mutex> guard(record_->mutex);
    record_->writes.emplace_back(data, size);
  }
  int GetLogLevel() override { return record_->level; }
  bool GetDebugOutputLogging() override { return record_->debugOutput; }

 private:
  std::shared_ptr<Record> record_;
  bool first_ = true;
};

class TestLogger : public LoggerWin {
 public:
  std::shared_ptr<Record> record = std::make_shared<Record>();
  uint64_t tick = 1000;
  bool zoneKnown = true;
  long zoneMinutes = 0;
  bool sessionKnown = true;
  DWORD session = 1;
  std::wstring lastDirectory;

  std::unique_ptr<FileContext> CreateFileContext(const std::wstring&, const std::wstring& dir,
                                                 const std::wstring&, int level,
                                                 int flags) override {
    ++record->contexts;
    lastDirectory = dir;
    return std::make_unique<MemoryFileContext>(record, level, flags);
  }

  void Start(int flags = 0) { InitW(nullptr, L"PurgeKit", L"PurgeKit", 4, flags); }

  void Log(int level, const char* function, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    LogVW(level, function, format, args);
    va_end(args);
  }
  void LogNarrow(int level, const char* function, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogVA(level, function, format, args);
    va_end(args);
  }

 protected:
  uint64_t TickCount() override { return tick; }
  bool TimeZoneOffsetMinutes(long& minutes) override {
    minutes = zoneMinutes;
    return zoneKnown;
  }
  bool SessionId(DWORD& id) override {
    id = session;
    return sessionKnown;
  }
};

// Splits a written line into its tag/prefix/message part after the time and ids.
std::string Body(const std::string& line) {
  const auto header = ParseLogLineHeader(line);
  if (!header || line.size() < header->length + 2 ||
      line.compare(line.size() - 2, 2, "\r\n") != 0) {
    return "<malformed: " + line + ">";
  }
  return line.substr(header->length, line.size() - 2 - header->length);
}

std::vector<std::string> Bodies(Record& record) {
  std::vector<std::string> bodies;
  for (const auto& line : record.Lines()) {
    if (line != "\r\n") bodies.push_back(Body(line));
  }
  return bodies;
}

TEST(LoggerLine, TagsPrefixesAndLevelFilter) {
  TestLogger logger;
  logger.Start();
  logger.record->writes.clear();
  struct Case {
    int level;
    const char* function;
    const char* expected;  // nullptr: dropped
  };
  const Case cases[] = {
      {1, "A::B", "*F: A::B: m"}, {2, "A::B", "*E: A::B: m"}, {3, "A::B", ".W: A::B: m"},
      {4, "A::B", " I: A::B: m"}, {5, "A::B", nullptr},       {6, "A::B", nullptr},
      {0, "A::B", "  : A::B: m"}, {-7, nullptr, "  : m"},     {4, "", " I: m"},
      {4, nullptr, " I: m"},
  };
  for (const auto& c : cases) {
    logger.record->writes.clear();
    logger.Log(c.level, c.function, L"m");
    const auto bodies = Bodies(*logger.record);
    if (c.expected == nullptr) {
      EXPECT_TRUE(bodies.empty()) << "level " << c.level;
    } else {
      ASSERT_EQ(bodies.size(), 1u) << "level " << c.level;
      EXPECT_EQ(bodies[0], c.expected);
    }
  }
}

TEST(LoggerLine, TwoBlanksAfterTheBracketForInfoAndBelow) {
  TestLogger logger;
  logger.Start();
  logger.Log(4, "Run", L"Another instance is already running");
  const auto lines = logger.record->Lines();
  EXPECT_NE(lines.back().find("]  I: Run: Another instance is already running\r\n"),
            std::string::npos);
}

TEST(FunctionPrefix, Table) {
  const std::pair<const char*, std::string> cases[] = {
      {nullptr, ""},
      {"", ""},
      {"Run", "Run: "},
      {"`anonymous namespace'::RemoveByPrefix", "::RemoveByPrefix: "},
      {"`anonymous namespace'::ConfigureMSI", "::ConfigureMSI: "},
      {"GuiManager::Run::<lambda_b7a3a14af844229113840376f79c5830>::operator ()",
       "GuiManager::Run::<lambda>: "},
      {"Foo::operator ()", "Foo::operator (): "},
      {"<lambda_x>", "<lambda_x>: "},
      {"()", "(): "},
  };
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(FunctionPrefix(name), expected) << (name ? name : "(null)");
  }
}

TEST(LoggerFormat, WindowsRuntimeConventions) {
  TestLogger logger;
  logger.Start();
  logger.record->writes.clear();
  logger.Log(4, "T", L"[%s] [%S] [%hs] [%ls] %d %Iu %lu", L"wide \u00e9", "narrow", "hs", L"ls", -5,
             static_cast<size_t>(7), 9ul);
  logger.LogNarrow(4, "T", "[%ls] %hs [%S] [%s]", L"wide", "narrow", L"S", "s");
  const auto bodies = Bodies(*logger.record);
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[0], " I: T: [wide \xc3\xa9] [narrow] [hs] [ls] -5 7 9");
  EXPECT_EQ(bodies[1], " I: T: [wide] narrow [S] [s]");
}

TEST(LoggerFormat, MessageLengthPasses) {
  struct Case {
    size_t length;
    bool written;
  };
  const Case cases[] = {{2047, true}, {2048, true}, {65535, true}, {65536, false}, {70000, false}};
  for (const auto& c : cases) {
    TestLogger logger;
    logger.Start();
    logger.record->writes.clear();
    const std::wstring message(c.length, L'x');
    logger.Log(4, "Big", L"%s", message.c_str());
    const auto bodies = Bodies(*logger.record);
    ASSERT_EQ(bodies.size(), 1u) << c.length;
    if (c.written) {
      EXPECT_EQ(bodies[0], " I: Big: " + std::string(c.length, 'x')) << c.length;
    } else {
      EXPECT_EQ(bodies[0], "*E: KV_TZK_LOG failure: too large message. Format: %s") << c.length;
    }
  }
  // The narrow call names its format the same way.
  TestLogger logger;
  logger.Start();
  logger.record->writes.clear();
  const std::string huge(70000, 'y');
  logger.LogNarrow(4, "Big", "<%s>", huge.c_str());
  EXPECT_EQ(Bodies(*logger.record).at(0),
            "*E: KV_TZK_LOG failure: too large message. Format: <%s>");
}

TEST(LoggerFormat, LastErrorIsKept) {
  TestLogger logger;
  for (int step = 0; step < 4; ++step) {
    ::SetLastError(1234);
    switch (step) {
      case 0: logger.Start(); break;
      case 1: logger.Log(4, "X", L"%s", L"text"); break;
      case 2: logger.Flush(); break;
      case 3: logger.End(); break;
    }
    EXPECT_EQ(::GetLastError(), 1234u) << "step " << step;
  }
  ::SetLastError(77);
  logger.Log(5, "X", L"dropped");
  EXPECT_EQ(::GetLastError(), 77u);
}

TEST(LoggerLifecycle, HeaderStartAndEnd) {
  TestLogger logger;
  logger.Log(1, "X", L"before start");
  EXPECT_TRUE(logger.record->Lines().empty());
  logger.zoneMinutes = 120;
  logger.session = 0x1f;
  logger.Start();
  const auto lines = logger.record->Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "\r\n");
  EXPECT_EQ(Body(lines[1]), " I: ***  LOGGING STARTED  *** (UTC+2:00, session: 0x1f)");

  // A second start changes nothing.
  logger.InitW(nullptr, L"Other", L"Other", 6, 0);
  EXPECT_EQ(logger.record->contexts, 1);
  EXPECT_EQ(logger.lastDirectory, L"PurgeKit");
  logger.Log(5, "X", L"still level 4");
  EXPECT_EQ(logger.record->Lines().size(), 2u);

  logger.End();
  EXPECT_EQ(Body(logger.record->Lines().back()), " I: ***  LOGGING ENDED  ***");
  const size_t afterEnd = logger.record->Lines().size();
  logger.End();  // nothing reaches the file any more
  logger.Log(1, "X", L"after end");
  EXPECT_EQ(logger.record->Lines().size(), afterEnd);

  // A new start gets a new context and a new header.
  logger.Start();
  EXPECT_EQ(logger.record->contexts, 2);
  EXPECT_EQ(Body(logger.record->Lines().back()).substr(0, 28), " I: ***  LOGGING STARTED  **");
}

TEST(LoggerLifecycle, HeaderTimeZonesAndSession) {
  struct Case {
    bool zoneKnown;
    long minutes;
    bool sessionKnown;
    int flags;
    const char* expected;
  };
  const Case cases[] = {
      {true, 120, true, 0, " I: ***  LOGGING STARTED  *** (UTC+2:00, session: 0x1)"},
      {true, -210, true, 0, " I: ***  LOGGING STARTED  *** (UTC-3:30, session: 0x1)"},
      {true, 330, true, 0, " I: ***  LOGGING STARTED  *** (UTC+5:30, session: 0x1)"},
      {true, 0, true, 0, " I: ***  LOGGING STARTED  *** (UTC+0:00, session: 0x1)"},
      {false, 0, true, 0, " I: ***  LOGGING STARTED  *** (UTC+59:59, session: 0x1)"},
      {true, 60, false, 0, " I: ***  LOGGING STARTED  *** (UTC+1:00, session: 0xdeadbeef)"},
      {true, -330, true, UtcTime,
       " I: ***  LOGGING STARTED  *** (UTC+00:00, local:-5:30, session: 0x1)"},
      {true, 0, true, HeaderAtDebug, nullptr},  // level 4: the debug-level header is dropped
  };
  for (const auto& c : cases) {
    TestLogger logger;
    logger.zoneKnown = c.zoneKnown;
    logger.zoneMinutes = c.minutes;
    logger.sessionKnown = c.sessionKnown;
    logger.Start(c.flags);
    const auto lines = logger.record->Lines();
    if (c.expected == nullptr) {
      EXPECT_TRUE(lines.empty());
      continue;
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Body(lines[1]), c.expected);
  }
}

TEST(LoggerLifecycle, DeferredStartWaitsForTheFirstLevelTest) {
  TestLogger logger;
  logger.record->level = 5;
  logger.Start(DeferredStart);
  EXPECT_EQ(logger.record->inits, 0);
  EXPECT_EQ(logger.CurrentLevel(), 6);
  EXPECT_TRUE(logger.record->Lines().empty());
  logger.Log(5, "X", L"first");
  EXPECT_EQ(logger.record->inits, 1);
  EXPECT_EQ(logger.CurrentLevel(), 5);
  const auto bodies = Bodies(*logger.record);
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[1], " D: X: first");
}

TEST(LoggerRefresh, ConfigurationIsReadAgainOnlyAfterSixtySeconds) {
  TestLogger logger;
  logger.Start();
  EXPECT_EQ(logger.record->inits, 1);
  logger.record->level = 6;
  logger.tick += 60000;  // exactly 60 s: not yet
  logger.Log(5, "X", L"dropped");
  EXPECT_EQ(logger.record->inits, 1);
  logger.tick += 1;
  logger.Log(5, "X", L"written");
  EXPECT_EQ(logger.record->inits, 2);
  // A registry level of -1 silences everything.
  logger.record->level = -1;
  logger.tick += 60001;
  logger.Log(1, "X", L"dropped too");
  const auto bodies = Bodies(*logger.record);
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[1], " D: X: written");
}

TEST(LoggerLastLine, HasTheFormAndLevelsOfEveryOtherLine) {
  TestLogger logger;
  logger.Start();
  logger.record->writes.clear();
  logger.LogLastLine(1, "A::B", "fault 0x1");
  logger.LogLastLine(5, "A::B", "dropped at level 4");
  logger.LogLastLine(1, nullptr, "no name");
  EXPECT_EQ(Bodies(*logger.record),
            (std::vector<std::string>{"*F: A::B: fault 0x1", "*F: no name"}));
}

// A fault may come while the logger's lock is held: by the faulting thread itself, inside a
// write, or by another thread that never gives it back. The last line is written either way.
TEST(LoggerLastLine, IsWrittenWhileTheLockIsHeld) {
  TestLogger logger;
  logger.Start();
  logger.record->writes.clear();
  bool inside = false;
  logger.record->beforeWrite = [&](const std::string& line) {
    if (inside || line.find("outer") == std::string::npos) return;
    inside = true;
    logger.LogLastLine(1, "F", "inside a write");
  };
  logger.Log(4, "F", L"outer");
  EXPECT_EQ(Bodies(*logger.record),
            (std::vector<std::string>{"*F: F: inside a write", " I: F: outer"}));

  logger.record->writes.clear();
  const UniqueHandle holding(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  logger.record->beforeWrite = [&](const std::string& line) {
    if (line.find("holder") == std::string::npos) return;
    ::SetEvent(holding.get());
    ::WaitForSingleObject(release.get(), 60000);
  };
  std::thread holder([&] { logger.Log(4, "F", L"holder"); });
  ASSERT_EQ(::WaitForSingleObject(holding.get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  logger.LogLastLine(1, "F", "past the lock");
  EXPECT_EQ(Bodies(*logger.record), (std::vector<std::string>{"*F: F: past the lock"}));
  ::SetEvent(release.get());
  holder.join();
}

TEST(LoggerConcurrency, LinesFromManyThreadsArriveWhole) {
  TestLogger logger;
  logger.Start();
  constexpr int kThreads = 8;
  constexpr int kLines = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&logger, t] {
      for (int i = 0; i < kLines; ++i) logger.Log(4, "W::T", L"thread %d line %d end", t, i);
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<std::string> seen;
  for (const auto& body : Bodies(*logger.record)) {
    if (body.find("LOGGING STARTED") != std::string::npos) continue;
    ASSERT_EQ(body.find("<malformed"), std::string::npos) << body;
    seen.insert(body);
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

}  // namespace
