#pragma once

#include <string>
#include <thread>
#include <vector>

#include "Log.h"

// Logs `lines` numbered lines from each of `threads` threads at once, each reading
//   "<function>: thread <t> line <i> <40 dots> end"
// and returns once every thread is done.
inline void WriteNumberedLines(const char* function, int threads, int lines) {
  const std::wstring padding(40, L'.');
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([function, t, lines, &padding] {
      for (int i = 0; i < lines; ++i) {
        KvTzkLogging::LogFuncW(KvTzkLogging::LogInfo, function, L"thread %d line %d %s end", t, i,
                               padding.c_str());
      }
    });
  }
  for (auto& worker : workers) worker.join();
}
