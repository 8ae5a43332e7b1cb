#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "FileSystemPath.h"
#include "LogConfiguration.h"
#include "LogSecurity.h"

namespace KvTzkLogging {

// Where one log file lies: root\Korvane[\NS\<namespace>]\Log\<dir>\<name>, with the current
// file <name>.log and the older generations <name>.1.log and <name>.2.log beside it. The
// location is decided once, at the first Init, and the log folder is held open from then on:
// the files are opened, moved and deleted relative to it. An administrator's log folder that
// other users may change is taken over, or the log is not written.
class FileContextBase {
 public:
  FileContextBase(std::unique_ptr<FileSystem::Path> fileSystem, std::wstring nameSpace,
                  std::wstring dir, std::wstring name, int flags);
  virtual ~FileContextBase() = default;
  FileContextBase(const FileContextBase&) = delete;
  FileContextBase& operator=(const FileContextBase&) = delete;

  // Decides the location and creates the directories. True when they exist; false when they
  // could not be created, and at every call after the first.
  virtual bool Init();
  // Deletes the oldest of count older generations and moves each younger one up by one.
  virtual void Rotate(int count);
  virtual bool BuildPath(const std::wstring& root, bool isAdmin);
  // 0: the current file; n: the n-th older generation.
  virtual std::wstring FileName(int index) const;
  // The same file's name in the log folder.
  std::wstring LeafName(int index) const;

  const std::wstring& BasePath() const { return basePath_; }
  bool IsAdminProcess() const { return isAdmin_; }
  bool IsLowIntegrityProcess() const { return lowIntegrity_; }
  SECURITY_ATTRIBUTES* DirSecurityAttributes() const { return dirSecurity_.get(); }
  // The log folder, held from the first successful Init on.
  const FileSystem::Folder& LogFolder() const { return folder_; }
  // Set once the log could not be made safe: no line reaches a file any more.
  bool FileLogOff() const { return fileLogOff_; }

  // An empty namespace and the default ones give the path without a namespace folder.
  static bool IsNoNamespace(const std::wstring& nameSpace);

 protected:
  // The token and root look-ups of Init, apart so that a test can act as a process that
  // Wine does not produce (low integrity, not an administrator).
  virtual bool ProcessIsAdmin() { return IsAdmin(); }
  virtual bool ProcessIsLowIntegrity() { return IsLowIntegrity(); }
  virtual std::wstring LogRoot(LogRootKind kind) { return GetLogRoot(kind); }
  virtual std::wstring UserSidString() { return GetUserSidString(); }
  // The test of an administrator's log folder and its taking over, apart so that a test can
  // present what Wine does not keep (owners, DACLs).
  virtual bool FolderOthersMayChange(HANDLE folder) { return OthersMayChange(folder); }
  virtual bool TakeFolderOver(HANDLE folder, bool inheritable) {
    return TakeOver(folder, inheritable);
  }
  // Stops the file log for the life of this context, with one line to the debugger output.
  void TurnFileLogOff(const char* why, const std::wstring& path);

  std::unique_ptr<FileSystem::Path> fileSystem_;
  std::wstring ns_;
  std::wstring dir_;
  std::wstring name_;
  int flags_;
  bool initialised_ = false;
  std::wstring basePath_;
  std::wstring baseName_;  // basePath_ below the log folder
  FileSystem::Folder folder_;
  bool fileLogOff_ = false;
  DirSecurityPtr dirSecurity_;
  bool isAdmin_ = false;
  bool lowIntegrity_ = false;
};

}  // namespace KvTzkLogging
