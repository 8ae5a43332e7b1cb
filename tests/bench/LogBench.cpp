// Measures the logger under Wine (not a test; see tools/bench.sh):
//  - the cost of a call whose level is disabled,
//  - lines per second written into the log file from 1 thread and from 4 threads,
//  - lines per second from 2 processes writing the same file at once (log_writer.exe).
// The lines go to <log root>\Korvane\Log\LogBench\LogBench.log with the configured size
// limit, so rotations are part of the figures.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "Log.h"
#include "LogConfiguration.h"
#include "NumberedLines.h"

using namespace KvTzkLogging;

namespace {

constexpr wchar_t kDir[] = L"LogBench";
constexpr wchar_t kName[] = L"LogBench";

double WriteLines(int threads, int linesPerThread) {
  const double start = Seconds();
  WriteNumberedLines("LogBench::Thread", threads, linesPerThread);
  return threads * linesPerThread / (Seconds() - start);
}

std::wstring WriterPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring self(path, length);
  return self.substr(0, self.rfind(L'\\') + 1) + L"log_writer.exe";
}

// Two writer processes, released together by an event; -1 when they can't be started.
double TwoProcesses(int linesPerProcess) {
  const std::wstring eventName = L"LogBenchStart" + std::to_wstring(::GetCurrentProcessId());
  HANDLE start = ::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
  const std::wstring exe = WriterPath();
  std::vector<HANDLE> processes;
  for (int p = 0; p < 2; ++p) {
    std::wstring commandLine = L"\"" + exe + L"\" " + kDir + L" " + kName + L" 1 " +
                               std::to_wstring(linesPerProcess) + L" " + eventName;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info)) {
      break;
    }
    ::CloseHandle(info.hThread);
    processes.push_back(info.hProcess);
  }
  double rate = -1;
  if (processes.size() == 2) {
    ::Sleep(500);  // both are waiting for the event by now
    const double begin = Seconds();
    ::SetEvent(start);
    ::WaitForMultipleObjects(2, processes.data(), TRUE, INFINITE);
    rate = 2.0 * linesPerProcess / (Seconds() - begin);
  }
  ::SetEvent(start);
  for (HANDLE process : processes) {
    ::WaitForSingleObject(process, INFINITE);
    ::CloseHandle(process);
  }
  ::CloseHandle(start);
  return rate;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int lines = argc > 1 ? _wtoi(argv[1]) : 20000;
  InitNsW(nullptr, kDir, kName, LogInfo, 0);
  std::printf("log file: %ls\\Korvane\\Log\\%ls\\%ls.log, size limit %llu bytes\n",
              GetLogRoot(AdminRoot).c_str(), kDir, kName,
              static_cast<unsigned long long>(ReadMaxSize(kDir, kName)));

  constexpr int kDisabledCalls = 5000000;
  double start = Seconds();
  for (int i = 0; i < kDisabledCalls; ++i) {
    LogFuncW(LogVerbose, "LogBench::Disabled", L"disabled %d", i);
  }
  std::printf("disabled call:        %8.1f ns per call\n",
              (Seconds() - start) * 1e9 / kDisabledCalls);
  std::printf("1 thread:             %8.0f lines/s\n", WriteLines(1, lines));
  std::printf("4 threads:            %8.0f lines/s\n", WriteLines(4, lines / 4));
  const double two = TwoProcesses(lines / 2);
  if (two < 0) {
    std::printf("2 processes:          log_writer.exe could not be started\n");
  } else {
    std::printf("2 processes at once:  %8.0f lines/s\n", two);
  }
  End();
  return 0;
}
