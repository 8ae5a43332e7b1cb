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
// (never one found there) at the first object that needs it. Walks also move what lies very
// deep there, to go on below a short path (Relocate).
class RestartStaging {
 public:
  static RestartStaging& Instance();

  // Moves the object the handle holds (opened with DELETE) into the folder of its volume and
  // schedules its deletion there, then the folder's. The Windows error code of the step that
  // failed, 0 when the object waits in the folder. `staged` is the path it has there once it
  // was moved (empty when it was not: it is where it was).
  DWORD StageAndSchedule(HANDLE object, std::wstring& staged);

  // Moves the folder the handle holds (opened with DELETE) into the folder of its volume, for a
  // walk that goes on there: a walk deep below a long path goes on at a short one. The path it
  // has there, empty where it was not moved, and the Windows error code.
  DWORD Relocate(HANDLE folder, std::wstring& moved);
  // Removes the folders made so far that hold nothing (what was moved there for a walk has
  // gone); a folder that holds what waits for the restart stays, scheduled after it.
  void RemoveEmptyFolders();

  // Test seam: the folders are made below this folder instead of a volume's root (empty: the
  // root again); the folders made so far are forgotten.
  void SetParentForTests(const std::wstring& parent);

 private:
  RestartStaging() = default;
  // The folder of the volume whose root is given (\\?\X:\), made on first use; empty, with
  // the error, where it can't be made.
  std::wstring FolderFor(const std::wstring& volumeRoot, DWORD& error);
  // Moves the object into the folder of its volume under a new name: the error, and the path.
  DWORD MoveIn(HANDLE object, std::wstring& moved);

  std::mutex mutex_;
  std::map<std::wstring, std::wstring> folders_;
  std::wstring parentForTests_;
  unsigned long long next_ = 0;
};
