#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class ImportHook;

// Makes chosen files and folders answer as Windows would where Wine can't: import hooks on the
// calls by which the file walks open objects (CreateFileW by path, NtCreateFile relative to a
// folder's handle or reopening a handle), read their attributes (NtQueryInformationFile), list
// folders (NtQueryDirectoryFile), delete, change and move them (SetFileInformationByHandle) and
// change their owner (SetKernelObjectSecurity). Objects are named by their paths as the tests
// give them; a handle's object is known by its final path. Every other object goes through as
// usual. One seam at a time.
class FileCallSeam {
 public:
  FileCallSeam();
  ~FileCallSeam();
  FileCallSeam(const FileCallSeam&) = delete;
  FileCallSeam& operator=(const FileCallSeam&) = delete;

  bool IsActive() const;

  // Opens of the object that ask for any of `rights` answer `error`, as a DACL that denies
  // them does (or another program's handle, with ERROR_SHARING_VIOLATION); with
  // `untilNewOwner`, only until the object's owner was changed, as a DACL that grants the
  // Administrators nothing does on Windows, where the take-ownership privilege gets past it.
  void DenyOpen(const std::wstring& path, ACCESS_MASK rights, DWORD error = ERROR_ACCESS_DENIED,
                bool untilNewOwner = false);
  // The object's deletion through its handle answers `error` (a running program's image:
  // ERROR_ACCESS_DENIED after an open that was granted).
  void FailDeletion(const std::wstring& path, DWORD error);
  // Reading the object's attributes through a handle answers `error`.
  void FailAttributeQuery(const std::wstring& path, DWORD error);
  // Moving the object answers `error`.
  void FailMove(const std::wstring& path, DWORD error);
  // The object's own attributes read with these added, and the reparse tag given (a compressed
  // file's, say), as the system reports them for its handle and in its folder's listing.
  void AddAttributes(const std::wstring& path, DWORD attributes, DWORD reparseTag = 0);
  // A folder that keeps its read-only bit (Wine drops it) and can't be deleted while it has it,
  // as Windows does; clearing the bit through a handle ends that.
  void KeepReadOnly(const std::wstring& path);

  // Calls `act` once, just before the object's first deletion through its handle.
  void BeforeDeletion(const std::wstring& path, std::function<void()> act);
  // Whether the seam keeps the folder's read-only bit now.
  bool IsReadOnly(const std::wstring& path) const;

  // The objects deleted through a handle, and the folders listed, in order.
  std::vector<std::wstring> Deleted() const;
  std::vector<std::wstring> Listed() const;
  // The objects whose owner was changed, in order.
  std::vector<std::wstring> NewOwners() const;
  // The objects moved, with where they went.
  struct Move {
    std::wstring from;
    std::wstring to;
  };
  std::vector<Move> Moves() const;

 private:
  std::vector<std::unique_ptr<ImportHook>> hooks_;
};
