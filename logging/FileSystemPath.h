#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

#include "FileSystemFile.h"

namespace KvTzkLogging::FileSystem {

// The path operations of the log file context. Stateless.
class Path {
 public:
  Path() = default;
  virtual ~Path() = default;
  Path(const Path&) = delete;
  Path& operator=(const Path&) = delete;

  // A closed file.
  virtual std::unique_ptr<File> NewFile();
  // An existing entry that is not a directory.
  virtual bool IsFile(const std::wstring& path);
  // Creates every directory of path from the first backslash at or after start on, so that
  // what lies before (the root) is never created or changed. A reparse point on the way
  // (junction, mount point, symbolic link) is removed and replaced by a real directory.
  virtual bool CreateDirs(const std::wstring& path, size_t start, SECURITY_ATTRIBUTES* security);
  virtual bool Move(const std::wstring& from, const std::wstring& to);
  // Deletes a file; one that is in use is scheduled for deletion at the next restart.
  virtual void Delete(const std::wstring& path);

 protected:
  // The directory primitives of CreateDirs, apart so that a test can present states that Wine
  // cannot create (it makes no junctions).
  virtual DWORD Attributes(const std::wstring& path);
  virtual bool MakeDirectory(const std::wstring& path, SECURITY_ATTRIBUTES* security);
  virtual bool RemoveDir(const std::wstring& path);
};

}  // namespace KvTzkLogging::FileSystem
