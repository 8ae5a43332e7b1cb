#pragma once

#include <windows.h>

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
};

RunResult RunProgram(const std::wstring& exe, const std::wstring& arguments,
                     const RunOptions& options = {});

std::wstring PurgeKit64Path();
std::wstring PurgeKit32Path();
std::wstring FixturePath(const std::wstring& relative);

// Whether this Wine can run 32-bit programs; when it can't, a 32-bit program "exits" 0
// without having run, so tests that need one must skip with this reason.
bool Wine32Available();
extern const char* const kNoWine32Reason;
