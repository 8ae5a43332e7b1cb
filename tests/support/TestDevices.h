#pragma once

#include <windows.h>

#include <setupapi.h>
// The device installer's header names a macro after the logging library's severity type.
#undef LogSeverity

#include <string>
#include <vector>

#include "UniqueAny.h"

// Devices made with the device installer (SetupDiCreateDeviceInfoW and
// SetupDiRegisterDeviceInfo, with a manufacturer, SPDRP_MFG, and hardware ids,
// SPDRP_HARDWAREID), which Wine then lists as present. Machine-wide: tests that make them take
// the machine lock.

// How many present devices have exactly this manufacturer and these hardware ids ('|' between
// them).
int CountPresentDevices(const std::wstring& manufacturer, const std::wstring& hardwareIds);
// Removes every present device with exactly this manufacturer and these hardware ids.
void RemovePresentDevices(const std::wstring& manufacturer, const std::wstring& hardwareIds);

// A device registered for one test; whatever the test left of it is removed at the end, unless
// it is released.
class TestDevice {
 public:
  TestDevice(const std::wstring& manufacturer, const std::vector<std::wstring>& hardwareIds);
  ~TestDevice();
  TestDevice(const TestDevice&) = delete;
  TestDevice& operator=(const TestDevice&) = delete;

  bool Registered() const { return registered_; }
  // The device stays after the holder.
  void Release() { registered_ = false; }

 private:
  UniqueDevInfoList list_;
  SP_DEVINFO_DATA device_{};
  bool registered_ = false;
};
