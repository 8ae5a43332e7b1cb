// The log file of the real programs under Wine: where it lies, how it rotates, how the
// registry configures it, and several processes writing it at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "HeldFile.h"
#include "LogReader.h"
#include "LogRegistry.h"
#include "ProgramRunner.h"
#include "ScratchFolder.h"
#include "StringUtils.h"
#include "TestFiles.h"
#include "UniqueAny.h"

namespace {

// A run that writes a log and shows no window: help in console mode.
constexpr wchar_t kArguments[] = L"--silent --help";

constexpr char kStarted[] = "***  LOGGING STARTED  ***";
constexpr char kEnded[] = "***  LOGGING ENDED  ***";

std::vector<std::string> Texts(const std::vector<LogLine>& lines) {
  std::vector<std::string> texts;
  for (const auto& line : lines) texts.push_back(line.tag + ": " + line.text);
  return texts;
}

LoggedRun Run64() {
  LoggedRun run = RunForLog(PurgeKit64Path(), kArguments);
  EXPECT_TRUE(run.result.started);
  EXPECT_FALSE(run.result.timedOut);
  return run;
}

// One whole run in the log: a blank line, the start line, the version, and at the end the
// exit code and the end line, all from the run's process.
void ExpectWholeRun(const std::vector<LogLine>& lines, DWORD processId) {
  const auto mine = LinesOfProcess(lines, processId);
  ASSERT_GE(mine.size(), 4u) << Dump(lines);
  EXPECT_EQ(mine.front().text.rfind(kStarted, 0), 0u) << Dump(lines);
  EXPECT_EQ(mine[1].text.rfind("Binary version: ", 0), 0u) << Dump(lines);
  EXPECT_EQ(mine[mine.size() - 2].text.rfind("wWinMain: Exiting with code: ", 0), 0u);
  EXPECT_EQ(mine.back().text, kEnded);
  // The blank line comes right before the start line.
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].wellFormed && lines[i].processId == processId) {
      ASSERT_GT(i, 0u);
      EXPECT_TRUE(lines[i - 1].blank) << Dump(lines);
      break;
    }
  }
  for (const auto& line : lines) {
    EXPECT_TRUE(line.wellFormed || line.blank) << "malformed: " << line.raw;
  }
}

TEST(LogFileLocation, TheProgramWritesBelowRootPath) {
  ScopedLogRoot root;
  const LoggedRun run = Run64();
  EXPECT_EQ(FolderEntries(root.Root()), std::vector<std::wstring>{L"Korvane"});
  EXPECT_EQ(FolderEntries(root.Directory()), std::vector<std::wstring>{L"PurgeKit.log"});
  const auto lines = ReadLogLines(root.Directory());
  ExpectWholeRun(lines, run.processId);
  EXPECT_TRUE(lines.front().blank);
}

TEST(LogFileLocation, BothProgramsWriteTheSameFile) {
  if (!Wine32Available()) GTEST_SKIP() << kNoWine32Reason;
  ScopedLogRoot root;
  const LoggedRun first = Run64();
  const LoggedRun second = RunForLog(PurgeKit32Path(), kArguments);
  ASSERT_TRUE(second.result.started);
  ASSERT_FALSE(second.result.timedOut);
  const LoggedRun third = Run64();
  const auto lines = ReadLogLines(root.Directory());
  ExpectWholeRun(lines, first.processId);
  ExpectWholeRun(lines, second.processId);
  ExpectWholeRun(lines, third.processId);
  EXPECT_EQ(FolderEntries(root.Directory()), std::vector<std::wstring>{L"PurgeKit.log"});
}

TEST(LogFileLocation, WithoutRootPathTheLogIsInProgramData) {
  ScopedRegValue rootPath(HKEY_LOCAL_MACHINE, LoggingKey(), L"RootPath");
  ASSERT_TRUE(rootPath.Remove());
  const LoggedRun run = Run64();
  ExpectWholeRun(ReadLogLines(L"C:\\ProgramData\\Korvane\\Log\\PurgeKit"), run.processId);
}

// Started with a token in which the Administrators group is deny-only.
TEST(LogFileLocation, AProcessThatIsNotAnAdministratorUsesTheUsersRootPath) {
  ScopedLogRoot machineRoot;
  const ScratchFolder userScratch;
  const std::wstring& userFolder = userScratch.Path();
  ScopedRegValue userRoot(HKEY_CURRENT_USER, LoggingKey(), L"RootPath");
  ASSERT_TRUE(userRoot.SetString(userFolder));
  RunOptions options;
  options.withoutAdministrators = true;
  const LoggedRun run = RunForLog(PurgeKit64Path(), kArguments, options);
  ASSERT_TRUE(run.result.started);
  ASSERT_FALSE(run.result.timedOut);
  EXPECT_EQ(FolderEntries(machineRoot.Root()), std::vector<std::wstring>{});
  ExpectWholeRun(ReadLogLines(userFolder + L"\\Korvane\\Log\\PurgeKit"), run.processId);
}

TEST(LogFileLocation, RootPathIsTakenLiterallyUpToAZero) {
  struct Case {
    const char* label;
    std::wstring suffix;    // appended to the fresh folder to make RootPath
    std::wstring logBelow;  // where the log directory is expected, below the fresh folder
    bool makeRoot;          // the root exists before the run
  };
  const Case cases[] = {
      {"a trailing backslash", L"\\", L"", false},
      {"an environment variable, not expanded", L"\\%SystemRoot%", L"\\%SystemRoot%", true},
      {"a zero ends the value", std::wstring(L"\0C:\\Windows", 11), L"", false},
      {"a root that does not exist is not created", L"\\missing", L"", false},
  };
  DWORD exitWithLog = 0;
  for (const auto& c : cases) {
    const ScratchFolder scratch;
    const std::wstring& folder = scratch.Path();
    if (c.makeRoot) {
      ASSERT_TRUE(::CreateDirectoryW((folder + c.logBelow).c_str(), nullptr));
    }
    const std::wstring value = folder + c.suffix;
    ScopedRegValue rootPath(HKEY_LOCAL_MACHINE, LoggingKey(), L"RootPath");
    ASSERT_TRUE(rootPath.SetRaw(REG_SZ, value.c_str(),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
    const LoggedRun run = Run64();
    const std::wstring directory = folder + c.logBelow + L"\\Korvane\\Log\\PurgeKit";
    if (c.suffix == L"\\missing") {
      // No log at all, and the run goes on as it would with one.
      EXPECT_EQ(FolderEntries(folder), std::vector<std::wstring>{}) << c.label;
      EXPECT_EQ(run.result.exitCode, exitWithLog) << c.label;
    } else {
      ExpectWholeRun(ReadLogLines(directory), run.processId);
      exitWithLog = run.result.exitCode;
    }
    EXPECT_EQ(::GetFileAttributesW(L"C:\\Windows\\Korvane"), INVALID_FILE_ATTRIBUTES) << c.label;
  }
}

TEST(LogFileRotation, ZeroLimitGivesEachLineAfterTheHeaderAFileOfItsOwn) {
  ScopedLogRoot root;
  ScopedRegValue limit(HKEY_LOCAL_MACHINE, LoggingKey(L"PurgeKit"), L"LogMaxSizeKB");
  ASSERT_TRUE(limit.SetDword(0));
  for (int run = 0; run < 2; ++run) {
    const LoggedRun program = Run64();
    EXPECT_EQ(FolderEntries(root.Directory()),
              (std::vector<std::wstring>{L"PurgeKit.1.log", L"PurgeKit.2.log", L"PurgeKit.log"}));
    std::vector<std::vector<LogLine>> files;
    for (int generation = 0; generation < 3; ++generation) {
      files.push_back(ParseLogLines(ReadFileBytes(root.File(generation))));
      ASSERT_EQ(files.back().size(), 1u) << Dump(files.back());
      EXPECT_EQ(files.back()[0].processId, program.processId);
    }
    EXPECT_EQ(files[0][0].text, kEnded);
    EXPECT_EQ(files[1][0].text.rfind("wWinMain: Exiting with code: ", 0), 0u);
  }
}

void RunWriter(const std::wstring& dir, int lines, DWORD& processId) {
  const LoggedRun run = RunForLog(LOG_WRITER_EXE, dir + L" writer 1 " + std::to_wstring(lines));
  ASSERT_TRUE(run.result.started);
  ASSERT_EQ(run.result.exitCode, 0u);
  processId = run.processId;
}

TEST(LogFileRotation, ZeroLimitKeepsTheHeaderInTheFirstFile) {
  ScopedLogRoot root;
  ScopedRegValue limit(HKEY_LOCAL_MACHINE, LoggingKey(L"HeaderTest", L"writer"), L"LogMaxSizeKB");
  ASSERT_TRUE(limit.SetDword(0));
  DWORD processId = 0;
  RunWriter(L"HeaderTest", 0, processId);
  const auto file = [&](int generation) {
    return ParseLogLines(ReadFileBytes(root.File(generation, L"HeaderTest", L"writer")));
  };
  auto first = file(1);
  ASSERT_EQ(first.size(), 2u) << Dump(first);
  EXPECT_TRUE(first[0].blank);
  EXPECT_EQ(first[1].text.rfind(kStarted, 0), 0u);
  ASSERT_EQ(file(0).size(), 1u);
  EXPECT_EQ(file(0)[0].text, kEnded);

  RunWriter(L"HeaderTest", 3, processId);
  EXPECT_EQ(FolderEntries(root.Directory(L"HeaderTest")),
            (std::vector<std::wstring>{L"writer.1.log", L"writer.2.log", L"writer.log"}));
  EXPECT_EQ(Texts(file(2)), std::vector<std::string>{" I: LogWriter::Thread: thread 0 line 1 " +
                                                     std::string(40, '.') + " end"});
  EXPECT_EQ(Texts(file(1)), std::vector<std::string>{" I: LogWriter::Thread: thread 0 line 2 " +
                                                     std::string(40, '.') + " end"});
  EXPECT_EQ(Texts(file(0)), std::vector<std::string>{" I: " + std::string(kEnded)});
}

TEST(LogFileRotation, ARefusedCurrentFileIsMovedAsideNeverAppendedTo) {
  struct Case {
    const char* label;
    std::string content;
    bool hardLink;
    bool refused;
  };
  const std::string utf16(
      "\xFF\xFE"
      "o\0l\0d\0\r\0\n\0",
      12);
  const Case cases[] = {
      {"begins with a UTF-16 mark", utf16, false, true},
      {"has a second hard link", "linked\r\n", true, true},
      {"an ordinary file below the limit", "ordinary\r\n", false, false},
      {"FF alone is no mark",
       "\xFF"
       "x\r\n",
       false, false},
  };
  for (const auto& c : cases) {
    ScopedLogRoot root;
    ASSERT_TRUE(::CreateDirectoryW((root.Root() + L"\\Korvane").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root.Root() + L"\\Korvane\\Log").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(root.Directory().c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(root.File(0), c.content));
    ASSERT_TRUE(WriteFileBytes(root.File(1), "previous\r\n"));
    ASSERT_TRUE(WriteFileBytes(root.File(2), "oldest\r\n"));
    const std::wstring link = root.Root() + L"\\elsewhere.txt";
    if (c.hardLink) {
      ASSERT_TRUE(::CreateHardLinkW(link.c_str(), root.File(0).c_str(), nullptr));
    }

    const LoggedRun run = Run64();
    const std::string current = ReadFileBytes(root.File(0));
    if (c.refused) {
      EXPECT_EQ(ReadFileBytes(root.File(1)), c.content) << c.label;
      EXPECT_EQ(ReadFileBytes(root.File(2)), "previous\r\n") << c.label;
      EXPECT_EQ(current.substr(0, 2), "\r\n") << c.label;
      ExpectWholeRun(ParseLogLines(current), run.processId);
    } else {
      EXPECT_EQ(current.substr(0, c.content.size()), c.content) << c.label;
      EXPECT_EQ(current.substr(c.content.size(), 2), "\r\n") << c.label;
      EXPECT_EQ(ReadFileBytes(root.File(1)), "previous\r\n") << c.label;
      EXPECT_EQ(ReadFileBytes(root.File(2)), "oldest\r\n") << c.label;
      ExpectWholeRun(ParseLogLines(current.substr(c.content.size())), run.processId);
    }
    if (c.hardLink) {
      EXPECT_EQ(ReadFileBytes(link), c.content) << c.label;
    }
  }
}

TEST(LogFileConfiguration, LogLevelFromTheThreeKeys) {
  enum class Kind { Dword, String };
  struct Value {
    bool set = false;
    Kind kind = Kind::Dword;
    DWORD number = 0;
  };
  const Value none;
  const auto dword = [](DWORD n) { return Value{true, Kind::Dword, n}; };
  const auto text = [](DWORD n) { return Value{true, Kind::String, n}; };
  enum class Expect { Nothing, NoInfo, Info };
  struct Case {
    const char* label;
    Value key1, key2, key3;  // Logging\PurgeKit\PurgeKit, Logging\PurgeKit, Logging
    Expect expect;
  };
  const Case cases[] = {
      {"0xFFFFFFFF in the common key silences everything", none, none, dword(0xFFFFFFFF),
       Expect::Nothing},
      {"0xFFFFFFFF in the first key is skipped", dword(0xFFFFFFFF), none, dword(4), Expect::Info},
      {"0xFFFFFFFF in the first key: the second decides", dword(0xFFFFFFFF), dword(3), dword(4),
       Expect::NoInfo},
      {"the first key decides", dword(3), none, dword(6), Expect::NoInfo},
      {"the first key decides against -1", dword(5), none, dword(0xFFFFFFFF), Expect::Info},
      {"a string in the first key counts as absent", text(4), none, dword(0xFFFFFFFF),
       Expect::Nothing},
      {"a string in the common key counts as absent", none, none, text(0), Expect::Info},
      {"zero in the common key", none, none, dword(0), Expect::Nothing},
  };
  for (const auto& c : cases) {
    ScopedLogRoot root;
    ScopedRegValue key1(HKEY_LOCAL_MACHINE, LoggingKey(L"PurgeKit", L"PurgeKit"), L"LogLevel");
    ScopedRegValue key2(HKEY_LOCAL_MACHINE, LoggingKey(L"PurgeKit"), L"LogLevel");
    ScopedRegValue key3(HKEY_LOCAL_MACHINE, LoggingKey(), L"LogLevel");
    const auto apply = [](ScopedRegValue& target, const Value& value) {
      if (!value.set) return target.Remove();
      if (value.kind == Kind::String) return target.SetString(std::to_wstring(value.number));
      return target.SetDword(value.number);
    };
    ASSERT_TRUE(apply(key1, c.key1) && apply(key2, c.key2) && apply(key3, c.key3)) << c.label;
    const LoggedRun run = Run64();
    // The directories are made at the start whatever the level.
    EXPECT_NE(::GetFileAttributesW(root.Directory().c_str()), INVALID_FILE_ATTRIBUTES) << c.label;
    const auto lines = ReadLogLines(root.Directory());
    switch (c.expect) {
      case Expect::Nothing:
        EXPECT_FALSE(FileExists(root.File(0))) << c.label << "\n" << Dump(lines);
        break;
      case Expect::NoInfo:
        for (const auto& line : lines) {
          EXPECT_TRUE(line.wellFormed) << c.label << ": " << line.raw;
          EXPECT_TRUE(line.tag == "*F" || line.tag == "*E" || line.tag == ".W")
              << c.label << ": " << line.raw;
        }
        break;
      case Expect::Info: ExpectWholeRun(lines, run.processId); break;
    }
  }
}

// The log mutex's name is in the global namespace, where every user may make objects: one
// made and held there by another user is not waited for, so the run loses no line and no
// time to it, and says so once. The run is the product run of a fixture: a dozen lines, each of
// which would wait half a second for a mutex held elsewhere.
TEST(LogFileMutex, AnotherUsersMutexCostsNoLineAndNoWait) {
  struct Case {
    const char* label;
    std::wstring sddl;
    std::string notice;
  };
  const std::wstring other = L"S-1-5-21-0-0-0-1001";
  const Case cases[] = {
      {"open to all", L"O:" + other + L"D:(A;;GA;;;WD)",
       "' exists and is owned by S-1-5-21-0-0-0-1001, not by the system, the Administrators or "
       "this process's user: it is not waited for"},
      {"refusing SYNCHRONIZE", L"O:" + other + L"D:(A;;RC;;;WD)",
       "' exists but can't be opened for waiting (error 5): it is not waited for"},
  };
  const std::wstring arguments =
      L"--silent --language en --scripts \"" + FixturePath(L"run\\done") + L"\"";
  const auto timedRun = [&](DWORD& elapsed) {
    const DWORD start = ::GetTickCount();
    LoggedRun run = RunForLog(PurgeKit64Path(), arguments);
    elapsed = ::GetTickCount() - start;
    EXPECT_TRUE(run.result.started);
    EXPECT_EQ(run.result.exitCode, 0u);
    return run;
  };
  for (const auto& c : cases) {
    ScopedLogRoot root;
    DWORD alone = 0;
    const LoggedRun baseline = timedRun(alone);
    const size_t baselineLines =
        LinesOfProcess(ReadLogLines(root.Directory()), baseline.processId).size();
    ASSERT_GT(baselineLines, 10u);

    std::wstring name = L"Global\\KvTzkLogging_" + root.Directory() + L"\\PurgeKit";
    std::replace(name.begin() + 19, name.end(), L'\\', L'_');
    const HeldMutex held(name, c.sddl);
    ASSERT_TRUE(held.IsHeld()) << c.label;
    DWORD withMutex = 0;
    const LoggedRun run = timedRun(withMutex);
    // One notice right after the start line, then every line the run writes without it.
    const auto lines = ReadLogLines(root.Directory());
    const auto mine = LinesOfProcess(lines, run.processId);
    ASSERT_EQ(mine.size(), baselineLines + 1) << c.label << Dump(lines);
    const std::string notice = "LogMutex::Create: The log mutex '" + WideToUtf8(name) + c.notice +
                               ", and this process's lines are ordered by its own lock only";
    EXPECT_EQ(mine[1].tag, ".W") << c.label;
    EXPECT_EQ(mine[1].text, notice) << c.label;
    std::vector<LogLine> withoutNotice;
    for (const auto& line : lines) {
      if (line.text != notice) withoutNotice.push_back(line);
    }
    ExpectWholeRun(withoutNotice, run.processId);
    EXPECT_GE(IndexOf(mine, "cleanup halcyra"), 0) << c.label;
    EXPECT_LT(withMutex, alone + 3000) << c.label << ": " << alone << " ms alone";
  }
}

// Listens to the debugger output of other processes the way a debug-output viewer does:
// a shared buffer and two events.
class DebugOutputListener {
 public:
  DebugOutputListener() {
    bufferReady_.reset(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    dataReady_.reset(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    mapping_.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                        L"DBWIN_BUFFER"));
    if (!bufferReady_ || !dataReady_ || !mapping_) return;
    view_ = static_cast<const char*>(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 4096));
    if (view_ == nullptr) return;
    thread_ = std::thread([this] { Listen(); });
  }
  ~DebugOutputListener() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (view_ != nullptr) ::UnmapViewOfFile(view_);
  }
  DebugOutputListener(const DebugOutputListener&) = delete;
  DebugOutputListener& operator=(const DebugOutputListener&) = delete;

  bool Listening() const { return thread_.joinable(); }
  // The strings the process sent.
  std::vector<std::string> Of(DWORD processId) {
    ::Sleep(200);
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<std::string> result;
    for (const auto& [pid, text] : received_) {
      if (pid == processId) result.push_back(text);
    }
    return result;
  }

 private:
  void Listen() {
    // The buffer is offered again only once its string has been taken: offering it on every
    // idle turn would let a sender overwrite a string not yet read.
    ::SetEvent(bufferReady_.get());
    while (!stop_) {
      if (::WaitForSingleObject(dataReady_.get(), 100) != WAIT_OBJECT_0) continue;
      DWORD pid = 0;
      memcpy(&pid, view_, sizeof(pid));
      const char* text = view_ + sizeof(DWORD);
      std::lock_guard<std::mutex> guard(mutex_);
      received_.emplace_back(pid, std::string(text, strnlen(text, 4096 - sizeof(DWORD))));
      ::SetEvent(bufferReady_.get());
    }
  }

  UniqueHandle bufferReady_;
  UniqueHandle dataReady_;
  UniqueHandle mapping_;
  const char* view_ = nullptr;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::pair<DWORD, std::string>> received_;
  std::thread thread_;
};

TEST(LogFileConfiguration, DebugOutputLoggingSendsEveryLineToTheDebugger) {
  DebugOutputListener listener;
  if (!listener.Listening()) GTEST_SKIP() << "no debug-output buffer could be set up";
  for (const DWORD enabled : {0u, 1u}) {
    ScopedLogRoot root;
    ScopedRegValue value(HKEY_LOCAL_MACHINE, LoggingKey(L"PurgeKit"), L"DebugOutputLogging");
    ASSERT_TRUE(value.SetDword(enabled));
    const LoggedRun run = Run64();
    const auto sent = listener.Of(run.processId);
    const auto written = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
    if (enabled == 0) {
      EXPECT_TRUE(sent.empty());
      continue;
    }
    // Every line but the blank one, with its line end, in the order of the file; and after
    // the end of logging the logger's destruction, which reaches no file any more.
    std::string all;
    for (const auto& text : sent) all += text;
    ASSERT_EQ(sent.size(), written.size() + 1) << all;
    for (size_t i = 0; i < written.size(); ++i) EXPECT_EQ(sent[i], written[i].raw + "\r\n");
    EXPECT_NE(sent.back().find("]  I: ***  LOG AUTO-CLOSED ***\r\n"), std::string::npos);
  }
}

// Two processes with four threads each write numbered lines while the size limit forces
// rotations. Every line that is left must be whole and in order, and the only lines missing
// must be each thread's oldest: those of the generations deleted beyond .2.log.
TEST(LogFileConcurrency, TwoProcessesAndFourThreadsEachWhileRotating) {
  constexpr int kProcesses = 2;
  constexpr int kThreads = 4;
  constexpr int kLines = 1500;
  constexpr DWORD kLimitKB = 256;  // about a third of the lines is left
  ScopedLogRoot root;
  ScopedRegValue limit(HKEY_LOCAL_MACHINE, LoggingKey(L"Shared", L"writers"), L"LogMaxSizeKB");
  ASSERT_TRUE(limit.SetDword(kLimitKB));

  const std::wstring eventName =
      L"LogFileConcurrencyStart" + std::to_wstring(::GetCurrentProcessId());
  const UniqueHandle start(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
  ASSERT_TRUE(start);
  std::vector<UniqueHandle> processes;
  std::vector<DWORD> processIds;
  for (int p = 0; p < kProcesses; ++p) {
    std::wstring commandLine = L"\"" + std::wstring(LOG_WRITER_EXE) + L"\" Shared writers " +
                               std::to_wstring(kThreads) + L" " + std::to_wstring(kLines) + L" " +
                               eventName;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(StartRetried(LOG_WRITER_EXE, [&] {
      return ::CreateProcessW(LOG_WRITER_EXE, commandLine.data(), nullptr, nullptr, FALSE, 0,
                              nullptr, nullptr, &startup, &info) != FALSE;
    }));
    ::CloseHandle(info.hThread);
    processes.emplace_back(info.hProcess);
    processIds.push_back(info.dwProcessId);
  }
  ::Sleep(300);
  ::SetEvent(start.get());
  for (auto& process : processes) {
    ASSERT_EQ(::WaitForSingleObject(process.get(), 120000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
  }

  const std::wstring directory = root.Directory(L"Shared");
  EXPECT_EQ(FolderEntries(directory),
            (std::vector<std::wstring>{L"writers.1.log", L"writers.2.log", L"writers.log"}));
  // The older generations were moved aside at the limit, after the last line that still
  // fitted; no process wrote into them afterwards.
  for (int generation = 1; generation <= 2; ++generation) {
    const size_t size = ReadFileBytes(root.File(generation, L"Shared", L"writers")).size();
    EXPECT_GE(size, kLimitKB * 1024u) << generation;
    EXPECT_LT(size, kLimitKB * 1024u + 200) << generation;
  }

  static const std::regex written(R"(LogWriter::Thread: thread (\d+) line (\d+) \.{40} end)");
  std::map<std::pair<DWORD, int>, std::vector<int>> sequences;  // (process, thread) -> lines
  int ended = 0;
  int switches = 0;
  DWORD previous = 0;
  const auto lines = ReadLogLines(directory, L"writers");
  for (const auto& line : lines) {
    if (line.blank) continue;
    ASSERT_TRUE(line.wellFormed) << "torn or interleaved: " << line.raw;
    ASSERT_TRUE(line.processId == processIds[0] || line.processId == processIds[1]) << line.raw;
    ASSERT_EQ(line.tag, " I") << line.raw;
    if (line.text == kEnded) ++ended;
    if (line.text == kEnded || line.text.rfind(kStarted, 0) == 0) continue;
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line.text, match, written)) << line.raw;
    sequences[{line.processId, std::stoi(match[1])}].push_back(std::stoi(match[2]));
    if (previous != 0 && previous != line.processId) ++switches;
    previous = line.processId;
  }
  EXPECT_LE(ended, kProcesses);

  int missing = 0;
  int present = 0;
  for (const auto& [writer, numbers] : sequences) {
    // What is left of each thread is its newest lines, each once, in order, up to the last.
    ASSERT_FALSE(numbers.empty());
    EXPECT_EQ(numbers.back(), kLines - 1);
    const int first = numbers.front();
    for (size_t i = 0; i < numbers.size(); ++i) {
      ASSERT_EQ(numbers[i], first + static_cast<int>(i))
          << "process " << writer.first << " thread " << writer.second;
    }
    missing += first;
    present += static_cast<int>(numbers.size());
  }
  // A thread none of whose lines is left lost them all.
  missing += (kProcesses * kThreads - static_cast<int>(sequences.size())) * kLines;
  EXPECT_EQ(present + missing, kProcesses * kThreads * kLines);
  EXPECT_GT(missing, 0);
  EXPECT_GT(present, 0);
  EXPECT_GT(switches, 0) << "the two processes did not write at the same time";
  std::printf("lines left: %d, lost with the deleted generations: %d, process switches: %d\n",
              present, missing, switches);
  RecordProperty("LinesLeft", present);
  RecordProperty("LinesRotatedOut", missing);
}

// The log folder under the root of the run, made as the program would find it.
void MakeLogDirectory(const ScopedLogRoot& root) {
  ASSERT_TRUE(::CreateDirectoryW((root.Root() + L"\\Korvane").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((root.Root() + L"\\Korvane\\Log").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW(root.Directory().c_str(), nullptr));
}

constexpr char kNoFileLog[] = "KvTzkLogging: no log file is written: ";

// The exit code of a run like Run64's with a log written normally.
DWORD NormalExitCode() {
  ScopedLogRoot root;
  const LoggedRun run = Run64();
  ExpectWholeRun(ReadLogLines(root.Directory()), run.processId);
  return run.result.exitCode;
}

// Wine makes Unix symbolic links for the tests and follows them on every open, also where the
// open asks for the link itself: a link that can't be told from what it points to can't be
// removed as the link, and then no file log is written, with one line to the debugger output.
// Where the system opens the link itself, it is removed and the log written in a real folder.
TEST(LogFileLinks, ALinkPlantedInTheLogFolderLeavesWhatItPointsToUnchanged) {
  DebugOutputListener listener;
  const DWORD normalExit = NormalExitCode();
  enum class Plant { FileLink, MissingFileLink, FolderLink };
  struct Case {
    const char* label;
    Plant plant;
  };
  const Case cases[] = {
      {"the log file a link to a file elsewhere", Plant::FileLink},
      {"the log file a link to a missing file", Plant::MissingFileLink},
      {"the log folder a link", Plant::FolderLink},
  };
  for (const auto& c : cases) {
    ScopedLogRoot root;
    const std::wstring elsewhere = root.Root() + L"\\elsewhere";
    ASSERT_TRUE(::CreateDirectoryW(elsewhere.c_str(), nullptr));
    const std::wstring target = elsewhere + L"\\target.txt";
    ASSERT_TRUE(WriteFileBytes(target, "target\r\n"));
    ASSERT_TRUE(WriteFileBytes(elsewhere + L"\\PurgeKit.log", "other log\r\n"));
    ASSERT_TRUE(WriteFileBytes(elsewhere + L"\\PurgeKit.1.log", "other older\r\n"));
    std::unique_ptr<UnixSymbolicLink> link;
    if (c.plant == Plant::FolderLink) {
      ASSERT_TRUE(::CreateDirectoryW((root.Root() + L"\\Korvane").c_str(), nullptr));
      ASSERT_TRUE(::CreateDirectoryW((root.Root() + L"\\Korvane\\Log").c_str(), nullptr));
      link = std::make_unique<UnixSymbolicLink>(root.Directory(), elsewhere);
    } else {
      MakeLogDirectory(root);
      link = std::make_unique<UnixSymbolicLink>(root.File(0), target, UnixSymbolicLink::Kind::File);
    }
    ASSERT_TRUE(link->IsMade()) << c.label;
    if (c.plant == Plant::MissingFileLink) {
      ASSERT_TRUE(::DeleteFileW(target.c_str()));
    }
    const std::vector<std::wstring> before = ListTree(elsewhere);

    const LoggedRun run = Run64();
    EXPECT_EQ(run.result.exitCode, normalExit) << c.label;
    EXPECT_EQ(ListTree(elsewhere), before) << c.label;
    if (c.plant == Plant::MissingFileLink) {
      EXPECT_FALSE(FileExists(target)) << c.label;
    } else {
      EXPECT_EQ(ReadFileBytes(target), "target\r\n") << c.label;
    }
    EXPECT_EQ(ReadFileBytes(elsewhere + L"\\PurgeKit.log"), "other log\r\n") << c.label;
    EXPECT_EQ(ReadFileBytes(elsewhere + L"\\PurgeKit.1.log"), "other older\r\n") << c.label;
    // Either the link went and the log is in a real folder, or one line says why there is none.
    const auto lines = LinesOfProcess(ReadLogLines(root.Directory()), run.processId);
    if (lines.empty() && listener.Listening()) {
      int reasons = 0;
      for (const auto& text : listener.Of(run.processId)) {
        if (text.rfind(kNoFileLog, 0) == 0) ++reasons;
      }
      EXPECT_EQ(reasons, 1) << c.label;
    }
  }
}

// Under Wine a folder of mode 0777 reads as Everyone: full control (0x1301ff).
TEST(LogFileFolder, AFolderOthersMayChangeIsTakenOverBeforeTheLogIsWrittenThere) {
  ScopedLogRoot root;
  MakeLogDirectory(root);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  const UniqueLocal held(descriptor);
  ASSERT_TRUE(::SetFileSecurityW(root.Directory().c_str(), DACL_SECURITY_INFORMATION, descriptor));
  ASSERT_NE(FileSecurityText(root.Directory()).find("(A;OICI;0x1301ff;;;WD)"), std::string::npos)
      << FileSecurityText(root.Directory());

  const LoggedRun run = Run64();
  ExpectWholeRun(ReadLogLines(root.Directory()), run.processId);
  // Whatever Everyone is left, it is none of adding, deleting or renaming entries, deleting the
  // folder or changing its security.
  const std::string security = FileSecurityText(root.Directory());
  static const std::regex everyone(R"(\(A;[A-Z]*;(0x[0-9a-f]+|[A-Z]+);;;WD\))");
  for (std::sregex_iterator it(security.begin(), security.end(), everyone), end; it != end; ++it) {
    const std::string rights = (*it)[1];
    ASSERT_EQ(rights.rfind("0x", 0), 0u) << security;
    const unsigned long mask = std::stoul(rights, nullptr, 16);
    EXPECT_EQ(mask & (FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE |
                      WRITE_DAC | WRITE_OWNER),
              0u)
        << security;
  }
  // The folders above are not changed.
  EXPECT_EQ(FileSecurityText(root.Root() + L"\\Korvane"),
            FileSecurityText(root.Root() + L"\\Korvane\\Log"));
}

// Under Wine a rename through a handle acts by the paths kept at the open: after the log folder
// is moved away and a link to a victim folder put at its path, a rotation there would rename
// and delete the victim's files. The log goes on in the folder held.
TEST(LogFileFolder, TheLogFolderSwappedForALinkDuringTheRunLeavesTheVictimUnchanged) {
  ScopedLogRoot root;
  ScopedRegValue limit(HKEY_LOCAL_MACHINE, LoggingKey(L"PurgeKit"), L"LogMaxSizeKB");
  ASSERT_TRUE(limit.SetDword(1));
  const std::wstring victim = root.Root() + L"\\victim";
  ASSERT_TRUE(::CreateDirectoryW(victim.c_str(), nullptr));
  const std::map<std::wstring, std::string> victimFiles = {
      {L"PurgeKit.log", "victim current\r\n"},
      {L"PurgeKit.1.log", "victim previous\r\n"},
      {L"PurgeKit.2.log", "victim oldest\r\n"},
      {L"other.txt", "victim other\r\n"},
  };
  for (const auto& [name, content] : victimFiles) {
    ASSERT_TRUE(WriteFileBytes(victim + L"\\" + name, content));
  }
  const std::wstring signal = root.Root() + L"\\swapped";
  ASSERT_TRUE(::SetEnvironmentVariableW(L"PURGEKIT_TEST_LOGSWAP", signal.c_str()));
  LoggedRun run;
  std::thread program([&] {
    run = RunForLog(PurgeKit64Path(),
                    L"--silent --language en --scripts \"" + FixturePath(L"run\\logswap") + L"\"");
  });
  const auto waiting = [&] {
    for (int generation = 0; generation < 3; ++generation) {
      if (ReadFileBytes(root.File(generation)).find("waiting for the swap") != std::string::npos) {
        return true;
      }
    }
    return false;
  };
  bool ready = false;
  for (int attempt = 0; attempt < 600 && !ready; ++attempt) {
    ready = waiting();
    if (!ready) ::Sleep(50);
  }
  const std::wstring away = root.Directory() + L".away";
  bool moved = ready && ::MoveFileW(root.Directory().c_str(), away.c_str());
  std::unique_ptr<UnixSymbolicLink> link;
  if (moved) link = std::make_unique<UnixSymbolicLink>(root.Directory(), victim);
  // The run goes on whatever happened here.
  WriteFileBytes(signal, "");
  program.join();
  ::SetEnvironmentVariableW(L"PURGEKIT_TEST_LOGSWAP", nullptr);
  ASSERT_TRUE(ready) << "the run never wrote its first line";
  ASSERT_TRUE(moved) << ::GetLastError();
  ASSERT_TRUE(link->IsMade());
  ASSERT_TRUE(run.result.started);
  EXPECT_FALSE(run.result.timedOut);

  std::vector<std::wstring> names;
  for (const auto& entry : victimFiles) names.push_back(entry.first);
  EXPECT_EQ(FolderEntries(victim), names);
  for (const auto& [name, content] : victimFiles) {
    EXPECT_EQ(ReadFileBytes(victim + L"\\" + name), content) << WideToUtf8(name);
  }
  // The lines after the swap went on into the folder held, to the end of the run.
  const auto lines = LinesOfProcess(ReadLogLines(away), run.processId);
  EXPECT_TRUE(HasLineContaining(lines, "after the swap 300 ")) << Dump(lines);
  EXPECT_GE(IndexOf(lines, "wWinMain: Exiting with code: "), 0) << Dump(lines);
}

}  // namespace
