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
  // Closes the test's own handle, so that a deletion takes effect once the service has
  // stopped; the holder opens the service again by its name to remove it at the end.
  void CloseHandle() { service_.reset(); }
  const std::wstring& Name() const { return name_; }
  SC_HANDLE Handle() const { return service_.get(); }

 private:
  std::wstring name_;
  UniqueServiceHandle service_;
};

// A service name of this test process's own.
std::wstring UniqueName(const std::wstring& base);

// HKLM\SYSTEM\CurrentControlSet\Services\<name>.
std::wstring ServiceKey(const std::wstring& name);

// Gives the service's key the subkeys real installations leave in it: Parameters with two
// values, Security with the service's security descriptor and, for a file-system filter (an
// altitude given), Instances with its default instance "<name> Instance" holding Altitude and
// Flags. Machine-wide: tests that use it take the machine lock.
bool AddServiceSubkeys(const std::wstring& name, const std::wstring& altitude = L"");
// Whether every one of them is there with its values.
bool HasServiceSubkeys(const std::wstring& name, const std::wstring& altitude = L"");
// Whether the service manager knows the service; a failure other than "does not exist"
// counts as known.
bool ServiceKnown(const std::wstring& name);
