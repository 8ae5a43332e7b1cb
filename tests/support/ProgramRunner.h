#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Starts programs the way an administrator's script would and reports what they did.
struct RunResult {
  bool started = false;
  bool timedOut = false;
  DWORD exitCode = 0;
  // What the program wrote to its standard output (when captured).
  std::string output;
};

enum class OutputCapture {
  None,  // standard handles are not redirected
  Pipe,  // standard output and error go to a pipe, read into RunResult::output
  File,  // standard output goes to a file, read back into RunResult::output
};

struct RunOptions {
  DWORD timeoutMs = 120000;
  OutputCapture capture = OutputCapture::Pipe;
  // Start the program with a token in which the Administrators group is deny-only.
  bool withoutAdministrators = false;
  // Called with the child created suspended, before it runs.
  void (*onSuspended)(HANDLE process, void* context) = nullptr;
  void* context = nullptr;
  // Start again where Wine failed the start (StartRetried); off where that failure is the
  // expected answer.
  bool retryFailedStart = true;
};

RunResult RunProgram(const std::wstring& exe, const std::wstring& arguments,
                     const RunOptions& options = {});

// Under load Wine now and then fails to create a process for reasons of its own: the new
// process dies while Wine sets it up (CreateProcess fails with ERROR_INTERNAL_ERROR), or Wine
// runs out of resources for it. Calls `start` (one CreateProcess call, true when it made the
// process) again after such a failure, at most twice, and prints a line holding
// kStartRetriedMarker for each retry; tools/test.sh lists the tests whose output holds one.
// Any other failure is returned at once, with its error code as the last error.
bool StartRetried(const std::wstring& exe, const std::function<bool()>& start);
// The same marker as the CTest launcher's (PURGEKIT_START_RETRIED in tools/wine-env.sh).
extern const char* const kStartRetriedMarker;

std::wstring PurgeKit64Path();
std::wstring PurgeKit32Path();
std::wstring FixturePath(const std::wstring& relative);

// Whether this Wine can run 32-bit programs; when it can't, a 32-bit program "exits" 0
// without having run, so tests that need one must skip with this reason.
bool Wine32Available();
extern const char* const kNoWine32Reason;
