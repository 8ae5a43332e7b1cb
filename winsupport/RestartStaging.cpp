#include "RestartStaging.h"

#include <cwctype>

#include "NtFile.h"
#include "PathUtils.h"
#include "SecurityAttributes.h"
#include "UniqueAny.h"

namespace {

// \\?\X:\ of a path in the \\?\X:\... form; empty for any other form (a share, a volume GUID).
std::wstring VolumeRootOf(const std::wstring& path) {
  if (path.size() < 7 || path.compare(0, 4, L"\\\\?\\") != 0 || !std::iswalpha(path[4]) ||
      path[5] != L':' || path[6] != L'\\') {
    return {};
  }
  return path.substr(0, 7);
}

}  // namespace

RestartStaging& RestartStaging::Instance() {
  static RestartStaging staging;
  return staging;
}

std::wstring RestartStaging::FolderFor(const std::wstring& volumeRoot, DWORD& error) {
  const auto known = folders_.find(volumeRoot);
  if (known != folders_.end()) return known->second;
  SecurityAttributes access;
  access.InitAdministratorsFullAccess();
  // A new folder: one that was there already may be anyone's.
  const std::wstring parent = parentForTests_.empty() ? volumeRoot : parentForTests_;
  const std::wstring folder = CreateUniqueTempDirectory(parent, access.Get());
  if (folder.empty()) {
    error = ::GetLastError();
    return {};
  }
  folders_.emplace(volumeRoot, folder);
  return folder;
}

void RestartStaging::SetParentForTests(const std::wstring& parent) {
  std::lock_guard<std::mutex> lock(mutex_);
  parentForTests_ = parent;
  folders_.clear();
}

DWORD RestartStaging::MoveIn(HANDLE object, std::wstring& moved) {
  moved.clear();
  std::wstring where;
  DWORD error = NtFile::FinalPath(object, where);
  if (error != ERROR_SUCCESS) return error;
  const std::wstring root = VolumeRootOf(where);
  if (root.empty()) return ERROR_NOT_SAME_DEVICE;
  const std::wstring folder = FolderFor(root, error);
  if (folder.empty()) return error != ERROR_SUCCESS ? error : ERROR_PATH_NOT_FOUND;
  const std::wstring target = CombinePath(folder, std::to_wstring(++next_));
  error = NtFile::MoveTo(object, target);
  if (error == ERROR_SUCCESS) moved = target;
  return error;
}

DWORD RestartStaging::StageAndSchedule(HANDLE object, std::wstring& staged) {
  std::lock_guard<std::mutex> lock(mutex_);
  const DWORD error = MoveIn(object, staged);
  if (error != ERROR_SUCCESS) return error;
  // The object first, then the folder: the restart takes them in that order. The folder's
  // entry goes after every object's, so the last one finds it empty.
  if (!::MoveFileExW(staged.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    return ::GetLastError();
  }
  std::wstring folder;
  std::wstring name;
  if (SplitPath(staged, folder, name)) {
    ::MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  return ERROR_SUCCESS;
}

DWORD RestartStaging::Relocate(HANDLE folder, std::wstring& moved) {
  std::lock_guard<std::mutex> lock(mutex_);
  return MoveIn(folder, moved);
}

void RestartStaging::RemoveEmptyFolders() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = folders_.begin(); it != folders_.end();) {
    UniqueFileHandle folder;
    if (NtFile::OpenPath(it->second, NtFile::kDeleteAccess, folder) == ERROR_SUCCESS &&
        NtFile::MarkForDeletion(folder.get()) == ERROR_SUCCESS) {
      it = folders_.erase(it);
    } else {
      ++it;
    }
  }
}
