#include "LoggerWin.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

namespace KvTzkLogging {

namespace {

constexpr int kFirstPassChars = 2048;
constexpr int kSecondPassChars = 0x10000;
constexpr uint64_t kRefreshIntervalMs = 60000;
constexpr uint64_t kLastLineLockWaitMs = 2000;
constexpr size_t kLastLinePrefixChars = 128;
constexpr size_t kLastLineChars = 512;
constexpr char kAnonymousNamespace[] = "`anonymous namespace'";
constexpr size_t kAnonymousNamespaceLength = sizeof(kAnonymousNamespace) - 1;

// Keeps the thread's last-error code as the caller left it.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : error_(::GetLastError()) {}
  ~LastErrorKeeper() { ::SetLastError(error_); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  DWORD error_;
};

class Lock {
 public:
  explicit Lock(CRITICAL_SECTION& section) : section_(section) {
    ::EnterCriticalSection(&section_);
  }
  ~Lock() { ::LeaveCriticalSection(&section_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

// The C runtime's printf family in truncation mode: at most capacity - 1 characters and
// a terminating zero; a text that does not fit, or a bad format, gives -1.
int FormatInto(wchar_t* buffer, int capacity, const wchar_t* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int result = ::_vsnwprintf(buffer, static_cast<size_t>(capacity - 1), format, copy);
  va_end(copy);
  buffer[result >= 0 ? result : 0] = L'\0';
  return result;
}

int FormatInto(char* buffer, int capacity, const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int result = ::_vsnprintf(buffer, static_cast<size_t>(capacity - 1), format, copy);
  va_end(copy);
  buffer[result >= 0 ? result : 0] = '\0';
  return result;
}

std::string ToUtf8(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string result(static_cast<size_t>(bytes), '\0');
  if (::WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), bytes, nullptr, nullptr) ==
      0) {
    return {};
  }
  return result;
}

std::wstring FromUtf8(const char* text) {
  if (text == nullptr || *text == '\0') return {};
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (units <= 0) return {};
  std::wstring result(static_cast<size_t>(units), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, 0, text, -1, result.data(), units) == 0) return {};
  result.resize(static_cast<size_t>(units) - 1);
  return result;
}

// Formats a message in two passes (2048, then 65536 characters). Returns false when it
// does not fit either.
template <typename Char>
bool FormatMessageText(const Char* format, va_list args, std::basic_string<Char>& text) {
  Char small[kFirstPassChars];
  int length = FormatInto(small, kFirstPassChars, format, args);
  if (length >= 0) {
    text.assign(small, static_cast<size_t>(length));
    return true;
  }
  std::vector<Char> large(kSecondPassChars);
  length = FormatInto(large.data(), kSecondPassChars, format, args);
  if (length < 0) return false;
  text.assign(large.data(), static_cast<size_t>(length));
  return true;
}

}  // namespace

std::string FunctionPrefix(const char* function) {
  if (function == nullptr || *function == '\0') return {};
  std::string name = function;
  if (name.size() >= kAnonymousNamespaceLength &&
      name.compare(0, kAnonymousNamespaceLength, kAnonymousNamespace) == 0) {
    name.erase(0, kAnonymousNamespaceLength);
  }
  if (name.size() > 2 && name.compare(name.size() - 2, 2, "()") == 0 && name.size() >= 8) {
    const size_t lambda = name.find("<lambda_");
    if (lambda != std::string::npos) {
      name.resize(lambda + 7);
      name += '>';
    }
  }
  name += ": ";
  return name;
}

LoggerWin::LoggerWin() { ::InitializeCriticalSection(&lock_); }

LoggerWin::~LoggerWin() {
  LastErrorKeeper keeper;
  LogFA(HeaderLevel(flags_), "***  LOG AUTO-CLOSED ***");
  {
    Lock lock(lock_);
    fileContext_.reset();
  }
  ::DeleteCriticalSection(&lock_);
}

std::unique_ptr<FileContext> LoggerWin::CreateFileContext(const std::wstring& nameSpace,
                                                          const std::wstring& directory,
                                                          const std::wstring& baseName, int level,
                                                          int flags) {
  return std::make_unique<FileContext>(std::make_unique<FileSystem::Path>(), nameSpace, directory,
                                       baseName, level, flags);
}

void LoggerWin::InitA(const char* nameSpace, const char* directory, const char* baseName, int level,
                      int flags) {
  LastErrorKeeper keeper;
  const std::wstring ns = FromUtf8(nameSpace);
  const std::wstring dir = FromUtf8(directory);
  const std::wstring base = FromUtf8(baseName);
  InitW(ns.c_str(), dir.c_str(), base.c_str(), level, flags);
}

void LoggerWin::InitW(const wchar_t* nameSpace, const wchar_t* directory, const wchar_t* baseName,
                      int level, int flags) {
  LastErrorKeeper keeper;
  Lock lock(lock_);
  if (fileContext_) return;
  flags_ = flags;
  fileContext_ = CreateFileContext(nameSpace ? nameSpace : L"", directory ? directory : L"",
                                   baseName ? baseName : L"", level, flags);
  if (flags & DeferredStart) {
    level_.exchange(LogVerbose);
    debugOutput_ = false;
    return;
  }
  level_.exchange(level);
  Refresh();
}

void LoggerWin::Refresh() {
  bool first = false;
  std::wstring mutexNotice;
  if (fileContext_) {
    first = fileContext_->Init();
    if (first) mutexNotice = fileContext_->MutexNotice();
    debugOutput_ = fileContext_->GetDebugOutputLogging();
    level_.exchange(fileContext_->GetLogLevel());
  }
  lastRefreshTick_.exchange(TickCount());
  if (first) {
    ::LeaveCriticalSection(&lock_);
    WriteHeader(HeaderLevel(flags_));
    // A log mutex that is not waited for is said once, right after the start.
    if (!mutexNotice.empty()) LogNotice(LogWarning, "LogMutex::Create", L"%s", mutexNotice.c_str());
    ::EnterCriticalSection(&lock_);
  }
}

void LoggerWin::LogNotice(int level, const char* function, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  LogVW(level, function, format, args);
  va_end(args);
}

bool LoggerWin::IsDisabled(int level) {
  const uint64_t now = TickCount();
  const auto refreshDue = [&] {
    const uint64_t last = lastRefreshTick_.load();
    return last == 0 || now - last > kRefreshIntervalMs;
  };
  if (refreshDue()) {
    // A refresh reads the registry and may create the log directories; the caller's
    // last-error code must survive that, whether the message is then written or dropped.
    LastErrorKeeper keeper;
    Lock lock(lock_);
    if (refreshDue()) Refresh();
  }
  return level > level_.load();
}

void LoggerWin::TakeTime(SYSTEMTIME& time) const {
  if (flags_ & UtcTime) {
    ::GetSystemTime(&time);
  } else {
    ::GetLocalTime(&time);
  }
}

void LoggerWin::LogVW(int level, const char* function, const wchar_t* format, va_list args) {
  if (IsDisabled(level)) return;
  SYSTEMTIME time;
  TakeTime(time);
  LastErrorKeeper keeper;
  std::wstring text;
  if (!FormatMessageText(format, args, text)) {
    LogFA(LogError, "KV_TZK_LOG failure: too large message. Format: %ls", format);
    return;
  }
  WriteLine(level, time, FunctionPrefix(function),
            ToUtf8(text.data(), static_cast<int>(text.size())));
}

void LoggerWin::LogVA(int level, const char* function, const char* format, va_list args) {
  if (IsDisabled(level)) return;
  SYSTEMTIME time;
  TakeTime(time);
  LastErrorKeeper keeper;
  std::string text;
  if (!FormatMessageText(format, args, text)) {
    LogFA(LogError, "KV_TZK_LOG failure: too large message. Format: %hs", format);
    return;
  }
  WriteLine(level, time, FunctionPrefix(function), text);
}

int LoggerWin::FormatLine(char* line, size_t capacity, int level, const SYSTEMTIME& time,
                          const char* prefix, const char* message) {
  const int length =
      ::_snprintf(line, capacity - 1, "%04d-%02d-%02d %02d:%02d:%02d.%03d [%04x.%04x] %s: %s%s\r\n",
                  time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                  time.wMilliseconds, static_cast<unsigned>(::GetCurrentProcessId()),
                  static_cast<unsigned>(::GetCurrentThreadId()), LevelName(level), prefix, message);
  if (length > 0) line[static_cast<size_t>(length)] = '\0';
  return length;
}

void LoggerWin::WriteLine(int level, const SYSTEMTIME& time, const std::string& prefix,
                          const std::string& message) {
  const size_t capacity = prefix.size() + message.size() + 50;
  std::vector<char> line(capacity);
  const int length =
      FormatLine(line.data(), capacity, level, time, prefix.c_str(), message.c_str());
  if (length <= 0) return;
  if (debugOutput_) ::OutputDebugStringA(line.data());
  Lock lock(lock_);
  if (fileContext_) fileContext_->Write(line.data(), static_cast<size_t>(length));
}

void LoggerWin::LogLastLine(int level, const char* function, const char* text) {
  LastErrorKeeper keeper;
  if (level > level_.load()) return;
  SYSTEMTIME time;
  TakeTime(time);
  char prefix[kLastLinePrefixChars] = "";
  if (function != nullptr && *function != '\0') {
    ::_snprintf(prefix, sizeof(prefix) - 1, "%s: ", function);
  }
  char line[kLastLineChars];
  const int length = FormatLine(line, sizeof(line), level, time, prefix, text);
  if (length <= 0) return;
  // The thread that faulted inside a write holds the lock already and enters it again.
  // Another thread that holds it may never give it back now (it may wait for something the
  // faulted thread held): after a while the line is written without it.
  const uint64_t start = ::GetTickCount64();
  bool locked = ::TryEnterCriticalSection(&lock_) != FALSE;
  while (!locked && ::GetTickCount64() - start < kLastLineLockWaitMs) {
    ::Sleep(1);
    locked = ::TryEnterCriticalSection(&lock_) != FALSE;
  }
  if (fileContext_) fileContext_->Write(line, static_cast<size_t>(length));
  if (locked) ::LeaveCriticalSection(&lock_);
}

bool LoggerWin::TimeZoneOffsetMinutes(long& minutes) {
  TIME_ZONE_INFORMATION zone{};
  const DWORD result = ::GetTimeZoneInformation(&zone);
  if (result == TIME_ZONE_ID_INVALID) return false;
  minutes = result == TIME_ZONE_ID_DAYLIGHT ? -(zone.Bias + zone.DaylightBias)
                                            : -(zone.Bias + zone.StandardBias);
  return true;
}

bool LoggerWin::SessionId(DWORD& session) {
  return ::ProcessIdToSessionId(::GetCurrentProcessId(), &session) != FALSE;
}

void LoggerWin::WriteHeader(int level) {
  if (IsDisabled(level)) return;
  DWORD session = 0;
  if (!SessionId(session)) session = 0xDEADBEEF;
  long offset = 0;
  if (!TimeZoneOffsetMinutes(offset)) offset = 3599;
  const int hours = static_cast<int>(offset / 60);
  const int minutes = static_cast<int>(offset < 0 ? -(offset % 60) : offset % 60);
  {
    Lock lock(lock_);
    if (fileContext_) fileContext_->Write("\r\n", 2);
  }
  if (flags_ & UtcTime) {
    LogFA(level, "***  LOGGING STARTED  *** (UTC+00:00, local:%+02d:%02d, session: 0x%x)", hours,
          minutes, static_cast<unsigned>(session));
  } else {
    LogFA(level, "***  LOGGING STARTED  *** (UTC%+02d:%02d, session: 0x%x)", hours, minutes,
          static_cast<unsigned>(session));
  }
}

void LoggerWin::End() {
  LastErrorKeeper keeper;
  LogFA(HeaderLevel(flags_), "***  LOGGING ENDED  ***");
  {
    Lock lock(lock_);
    fileContext_.reset();
  }
  lastRefreshTick_.exchange(0);
}

void LoggerWin::Flush() {
  LastErrorKeeper keeper;
  Lock lock(lock_);
  if (fileContext_) fileContext_->Flush();
}

}  // namespace KvTzkLogging
