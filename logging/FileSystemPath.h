#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

#include "FileSystemFile.h"

namespace KvTzkLogging::FileSystem {

// The folder operations of the log file context. Every entry is reached relative to the handle
// of the folder that holds it, and acted on as itself, never through a link.
class Path {
 public:
  Path() = default;
  virtual ~Path() = default;
  Path(const Path&) = delete;
  Path& operator=(const Path&) = delete;

  // A closed file.
  virtual std::unique_ptr<File> NewFile();
  // Opens every folder of path from the first backslash at or after start on, one at a time
  // relative to the one before, so that what lies before (the root) is never created or
  // changed; a missing one is made with the security given. A link on the way (junction,
  // mount point, symbolic link) is removed as the link and replaced by a real folder; what
  // can't be told from a link that the system followed fails the whole path. On success the
  // last folder is held in `folder`.
  virtual bool CreateDirs(const std::wstring& path, size_t start, SECURITY_ATTRIBUTES* security,
                          Folder& folder);
  // An existing entry of the folder that is not a folder.
  virtual bool IsFile(const Folder& folder, const std::wstring& name);
  // Renames the entry `from` of the folder to `to` there, replacing what has that name.
  virtual bool Move(const Folder& folder, const std::wstring& from, const std::wstring& to);
  // Deletes the entry; one that is in use is scheduled for deletion at the next restart, in a
  // folder that is trusted only.
  virtual void Delete(const Folder& folder, const std::wstring& name);
  // The folder's path still leads to the folder held. Under Wine a rename through a handle
  // acts by the paths kept at the open, so nothing is moved in a folder that fails this.
  virtual bool FolderStillThere(const Folder& folder);

 protected:
  // The folder primitives of CreateDirs, apart so that a test can present states that Wine
  // cannot create (it makes no junctions). `path` is the folder's full path.
  virtual DWORD OpenFolder(HANDLE parent, const std::wstring& name, const std::wstring& path,
                           UniqueFileHandle& folder);
  virtual DWORD Attributes(HANDLE folder, const std::wstring& path);
  virtual bool MakeDirectory(HANDLE parent, const std::wstring& name, const std::wstring& path,
                             SECURITY_ATTRIBUTES* security, UniqueFileHandle& folder);
  virtual bool RemoveLink(HANDLE link, const std::wstring& path);
  // The entry as itself, opened with `access`, or an error; a link that the system followed
  // answers ERROR_REPARSE_TAG_MISMATCH and leaves `entry` closed.
  DWORD OpenOwnEntry(const Folder& folder, const std::wstring& name, ACCESS_MASK access,
                     UniqueFileHandle& entry);
};

}  // namespace KvTzkLogging::FileSystem
