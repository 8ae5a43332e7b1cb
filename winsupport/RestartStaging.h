#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>

// A deletion at the next restart names a path, and the system resolves that path only at boot,
// after anything a user may have swapped in on the way. So an object that has to wait for the
// restart is first moved, through the handle the removal holds, into a folder of the tool's own
// at the root of its volume, which only the Administrators and the system can write; the path
// it has there is scheduled, and the folder after it. One folder a volume and a run, made new
// (never one found there) at the first object that needs it.
class RestartStaging {
 public:
  static RestartStaging& Instance();

  // Moves the object the handle holds (opened with DELETE) into the folder of its volume and
  // schedules its deletion there, then the folder's. The Windows error code of the step that
  // failed, 0 when the object waits in the folder. `staged` is the path it has there once it
  // was moved (empty when it was not: it is where it was).
  DWORD StageAndSchedule(HANDLE object, std::wstring& staged);

  // Test seam: the folders are made below this folder instead of a volume's root (empty: the
  // root again); the folders made so far are forgotten.
  void SetParentForTests(const std::wstring& parent);

 private:
  RestartStaging() = default;
  // The folder of the volume whose root is given (\\?\X:\), made on first use; empty, with
  // the error, where it can't be made.
  std::wstring FolderFor(const std::wstring& volumeRoot, DWORD& error);

  std::mutex mutex_;
  std::map<std::wstring, std::wstring> folders_;
  std::wstring parentForTests_;
  unsigned long long next_ = 0;
};
