#pragma once

#include <windows.h>

// Points one import of the test program itself (its import address table entry) at a
// replacement while the holder lives, so a test can watch what the code under test
// hands to a system function. The code under test is linked into the test program, so
// its calls go through this table.
class ImportHook {
 public:
  ImportHook(const char* dllName, const char* functionName, void* replacement);
  ~ImportHook();
  ImportHook(const ImportHook&) = delete;
  ImportHook& operator=(const ImportHook&) = delete;

  bool IsActive() const { return slot_ != nullptr; }
  // The function the entry pointed at before.
  void* Original() const { return original_; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};
