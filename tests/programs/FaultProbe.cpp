// A program that faults on purpose, for the tests of the last-resort exception filter. It
// starts like the real programs (the filter, then the logger with the programs' log name) and
// then, by mode:
//
//   fault_probe.exe access    writes through a null pointer
//   fault_probe.exe overflow  recurses until the stack runs out, logging at every level (the
//                             deepest point of each level lies inside the log call)
//   fault_probe.exe thread    a second thread writes through a null pointer while the main
//                             thread keeps logging
//   fault_probe.exe throw     throws a C++ exception that nothing catches
//   fault_probe.exe throw-thread  the same on a second thread
//   fault_probe.exe none      logs one line and ends normally
//
// Exit code 0 for "none", 2 on bad arguments, 3 when a fault did not end the program.
#include <windows.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "FatalExceptionFilter.h"
#include "Log.h"
#include "UniqueAny.h"

using namespace KvTzkLogging;

namespace {

int* volatile nowhere = nullptr;
// Deeper than any stack goes.
volatile int deepest = 1 << 30;

void WriteNowhere() { *nowhere = 1; }

__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[2048];
  frame[0] = static_cast<char>(depth);
  LogFuncW(LogInfo, "Recurse", L"depth %d", depth);
  return depth < deepest ? Recurse(depth + 1) + frame[0] : 0;
}

DWORD WINAPI FaultingThread(void*) {
  ::Sleep(200);
  WriteNowhere();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  FatalExceptionFilter::Install();
  InitNsW(nullptr, L"PurgeKit", L"PurgeKit", LogInfo, 0);
  if (argc < 2) return 2;
  const std::wstring mode = argv[1];
  LogFuncW(LogInfo, "wmain", L"mode %s", mode.c_str());
  if (mode == L"access") {
    WriteNowhere();
  } else if (mode == L"overflow") {
    Recurse(0);
  } else if (mode == L"thread") {
    const UniqueHandle thread(::CreateThread(nullptr, 0, FaultingThread, nullptr, 0, nullptr));
    for (int i = 0; i < 20000; ++i) LogFuncW(LogInfo, "wmain", L"busy %d", i);
    ::WaitForSingleObject(thread.get(), INFINITE);
  } else if (mode == L"throw") {
    throw std::runtime_error("nobody catches this");
  } else if (mode == L"throw-thread") {
    std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
  } else if (mode == L"none") {
    End();
    return 0;
  } else {
    return 2;
  }
  return 3;
}
