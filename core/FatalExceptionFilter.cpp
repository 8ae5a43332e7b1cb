#include "FatalExceptionFilter.h"

#include <cxxabi.h>

#include <atomic>
#include <cstdio>
#include <exception>

#include "ExitCode.h"
#include "Log.h"

namespace {

// How long a second faulting thread waits for the first one to write its line and end the
// process before it ends the process itself.
constexpr DWORD kOtherThreadWaitMs = 10000;

std::atomic<DWORD> endingThread{0};

}  // namespace

void FatalExceptionFilter::Install() {
  ULONG reserved = kReservedStackBytes;
  ::SetThreadStackGuarantee(&reserved);
  PlaceStackGuard();
  ::SetUnhandledExceptionFilter(Filter);
  std::set_terminate(OnTerminate);
}

// The guarantee takes effect where the stack grows page by page through its guard page. A
// stack that is committed in full from the start has its only guard page at the very bottom,
// below the guaranteed room, so the overflow would come with no room left: a guard page is
// placed just above that room, and the stack then grows through it as through the system's.
void FatalExceptionFilter::PlaceStackGuard() {
  MEMORY_BASIC_INFORMATION stack{};
  const char* here = reinterpret_cast<const char*>(&stack);
  if (::VirtualQuery(here, &stack, sizeof(stack)) == 0) return;
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  const size_t page = system.dwPageSize;
  char* guard = static_cast<char*>(stack.AllocationBase) + 2 * page + kReservedStackBytes;
  MEMORY_BASIC_INFORMATION below{};
  if (guard + page > here - page || ::VirtualQuery(guard, &below, sizeof(below)) == 0 ||
      below.State != MEM_COMMIT || (below.Protect & PAGE_GUARD) != 0) {
    return;
  }
  DWORD previous = 0;
  ::VirtualProtect(guard, page, PAGE_READWRITE | PAGE_GUARD, &previous);
}

void FatalExceptionFilter::EndProcess(const char* text) {
  const DWORD self = ::GetCurrentThreadId();
  DWORD first = 0;
  if (endingThread.compare_exchange_strong(first, self)) {
    KvTzkLogging::LogLastLineA(KvTzkLogging::LogFatal, "FatalExceptionFilter", text);
  } else if (first != self) {
    // Another thread came first and is ending the process.
    ::Sleep(kOtherThreadWaitMs);
  }
  // A fault while the line was written comes back here on the same thread and ends at once.
  ::TerminateProcess(::GetCurrentProcess(), ExitError);
  ::ExitProcess(ExitError);
}

LONG WINAPI FatalExceptionFilter::Filter(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers != nullptr ? pointers->ExceptionRecord : nullptr;
  char text[160] = "";
  ::_snprintf(text, sizeof(text) - 1,
              "Unhandled exception 0x%08lX at %p; the process ends with exit code %d",
              record != nullptr ? record->ExceptionCode : 0ul,
              record != nullptr ? record->ExceptionAddress : nullptr, ExitError);
  EndProcess(text);
  return EXCEPTION_CONTINUE_SEARCH;
}

// A C++ exception that nothing catches, or any other way into std::terminate.
void FatalExceptionFilter::OnTerminate() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  const char* what = "";
  if (type != nullptr) {
    try {
      throw;
    } catch (const std::exception& exception) {
      what = exception.what();
    } catch (...) {
    }
  }
  int status = -1;
  char* name =
      type != nullptr ? abi::__cxa_demangle(type->name(), nullptr, nullptr, &status) : nullptr;
  char text[400] = "";
  ::_snprintf(
      text, sizeof(text) - 1, "Unhandled C++ exception %s (%s); the process ends with exit code %d",
      name != nullptr ? name : (type != nullptr ? type->name() : "(none)"), what, ExitError);
  EndProcess(text);
}
