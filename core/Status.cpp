#include "Status.h"

#include "Log.h"

Status& Status::Instance() {
  static Status status;
  return status;
}

void Status::SetRebootNeeded() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!rebootNeeded_) {
    KvTzkLogging::LogFuncW(KvTzkLogging::LogInfo, "Status::SetRebootNeeded", L"Reboot is needed");
  }
  rebootNeeded_ = true;
}

void Status::SetFailed() {
  std::lock_guard<std::mutex> lock(mutex_);
  failed_ = true;
}

void Status::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  rebootNeeded_ = false;
  failed_ = false;
}

bool Status::IsRebootNeeded() {
  std::lock_guard<std::mutex> lock(mutex_);
  return rebootNeeded_;
}

bool Status::IsFailed() {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}
