#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Win32Registry.h"

// The system's pending file operations of the next restart (PendingFileRenameOperations).
// Machine-wide: use only in tests that take the machine lock.

// Keeps the pending operations as they were before the test and puts them back after it,
// so that the next start of the Wine server carries out nothing of ours.
class PendingOperationsGuard {
 public:
  PendingOperationsGuard();
  ~PendingOperationsGuard();
  PendingOperationsGuard(const PendingOperationsGuard&) = delete;
  PendingOperationsGuard& operator=(const PendingOperationsGuard&) = delete;

  // The entries of the value now, one string each.
  static std::vector<std::wstring> Entries();

 private:
  bool existed_ = false;
  uint32_t type_ = REG_MULTI_SZ;
  ByteList saved_;
};

// Whether one of the entries names the path (after its four-character prefix such as \??\),
// ignoring case.
bool HasEntry(const std::vector<std::wstring>& entries, const std::wstring& path);
