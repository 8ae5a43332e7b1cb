#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "UniqueAny.h"

// One Windows service, opened through the service control manager for the object's
// lifetime. Nothing here logs: every operation reports through its result and keeps the
// Win32 error of the last failed call for LastError.
class KvService {
 public:
  // The state QueryState answers when the state can't be read.
  static constexpr DWORD kInvalidState = 0xFFFFFFFF;

  // readOnly asks the manager and the service for GENERIC_READ, else for GENERIC_ALL.
  KvService(const std::wstring& name, bool readOnly);
  virtual ~KvService() = default;
  KvService(const KvService&) = delete;
  KvService& operator=(const KvService&) = delete;

  bool IsOpen() const { return service_.is_valid(); }
  // 0 until a call fails.
  DWORD LastError() const { return lastError_; }

  // The current SERVICE_* state, kInvalidState on failure.
  DWORD QueryState();
  // Starts the service and polls every 200 ms until it runs or the time-out has passed.
  // A service that already runs counts as started.
  bool Start(const std::vector<std::wstring>& arguments, DWORD timeoutMs);
  // Stops the active dependents (each with their own dependents first), then the service,
  // and polls every 500 ms until it has stopped or the time-out has passed.
  bool Stop(DWORD timeoutMs);
  // Stops every active dependent; the first failure ends the walk with its error.
  bool StopDependents();
  // Marks the service for deletion; the manager removes it once every handle is closed.
  bool Delete();

 private:
  bool Fail();

  UniqueServiceHandle service_;
  DWORD lastError_ = 0;
};
