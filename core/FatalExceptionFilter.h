#pragma once

#include <windows.h>

// The last resort of the process: an exception that no handler takes (a stack overflow
// included) or a C++ exception that nothing catches ends the process with ExitError after one
// level-1 log line naming the exception, never with whatever code the system or the runtime
// would give it.
class FatalExceptionFilter {
 public:
  // What a guarded thread keeps back of its stack, so that the filter still has room to log
  // when the stack has overflowed.
  static constexpr ULONG kReservedStackBytes = 64 * 1024;

  // Sets the filter and the terminate handler for the whole process and reserves the stack on
  // the calling thread. Call it first thing on the main thread.
  static void Install();

 private:
  static void PlaceStackGuard();
  [[noreturn]] static void EndProcess(const char* text);
  static LONG WINAPI Filter(EXCEPTION_POINTERS* pointers);
  [[noreturn]] static void OnTerminate();
};
