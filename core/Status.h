#pragma once

#include <mutex>

// The process-wide outcome flags of a run: a reboot is needed, the run failed. Scripts and
// support operations raise them during removal; they decide the exit code. Safe to use
// from any thread.
class Status {
 public:
  static Status& Instance();

  // Logs "Reboot is needed" when the flag was not yet set.
  void SetRebootNeeded();
  void SetFailed();
  // Clears both flags together.
  void Clear();
  bool IsRebootNeeded();
  bool IsFailed();

 private:
  Status() = default;
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;

  bool rebootNeeded_ = false;
  bool failed_ = false;
  std::mutex mutex_;
};
