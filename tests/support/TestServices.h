#pragma once

#include <windows.h>

#include <string>

#include "UniqueAny.h"

// A service installed for one test from the test service program (TEST_SERVICE_EXE), stopped
// and deleted afterwards. The program appends the service's name to the record file when it
// stops.
class InstalledService {
 public:
  InstalledService(const std::wstring& name, const std::wstring& mode, const std::wstring& record);
  ~InstalledService();
  InstalledService(const InstalledService&) = delete;
  InstalledService& operator=(const InstalledService&) = delete;

  bool IsInstalled() const { return service_.is_valid(); }
  // The current state; 0 when it can't be read.
  DWORD State() const;
  // Waits up to 10 s for the state.
  bool WaitFor(DWORD state) const;
  bool StartAndWait() const;
  const std::wstring& Name() const { return name_; }
  SC_HANDLE Handle() const { return service_.get(); }

 private:
  std::wstring name_;
  UniqueServiceHandle service_;
};

// A service name of this test process's own.
std::wstring UniqueName(const std::wstring& base);
