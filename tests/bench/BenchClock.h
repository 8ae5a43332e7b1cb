#pragma once

#include <windows.h>

#include <string>

// Seconds from the performance counter, for the benchmarks.
inline double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The seconds a command line takes from its start to its end, or -1 when it can't start.
inline double TimeCommand(std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const double start = Seconds();
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return -1;
  }
  ::WaitForSingleObject(info.hProcess, INFINITE);
  const double seconds = Seconds() - start;
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return seconds;
}
