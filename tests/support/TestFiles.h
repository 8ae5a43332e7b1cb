#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Files and folders as the tests set them up and look at them afterwards.

// Everything a file or pipe handle still has to give, read up to its end.
std::string ReadToEnd(HANDLE handle);

// The bytes of a file, opened sharing everything so that a file another process holds open
// can be read; false (and `bytes` empty) when it can't be opened.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
// The bytes of a file; empty when it can't be read.
std::string ReadFileBytes(const std::wstring& path);
// Makes the file (or replaces it) with exactly these bytes.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Whether the path is an existing file (not a folder).
bool FileExists(const std::wstring& path);

// The names of the entries of a folder that match the mask (never "." and ".."), sorted.
std::vector<std::wstring> FolderEntries(const std::wstring& folder,
                                        const std::wstring& mask = L"*");
// Every path below the folder (files and folders, recursively, without following reparse
// points), relative to it, sorted.
std::vector<std::wstring> ListTree(const std::wstring& folder);
// Removes a file, or a folder with everything in it (read-only files included); true when
// nothing is left at the path.
bool RemoveFolderTree(const std::wstring& path);

// The owner and the DACL of a file or folder as SDDL (as the system reads them back, which under
// Wine follows the Unix mode); "(unreadable)" when they can't be read.
std::string FileSecurityText(const std::wstring& path);

// A Unix symbolic link at `link` (which must not exist) to the folder `target`, made and removed
// again (as the link, never through it) with /bin/ln and /bin/rm, which Wine starts like its own
// programs. Wine shows such a link as a directory reparse point, as Windows shows a directory
// symbolic link. A link to a file (Kind::File) Wine shows as the file it points to, and a link
// to a missing file not at all: one to a file that is still to be missing is made to an existing
// file, which the caller then deletes.
class UnixSymbolicLink {
 public:
  enum class Kind { Folder, File };
  UnixSymbolicLink(const std::wstring& link, const std::wstring& target, Kind kind = Kind::Folder);
  ~UnixSymbolicLink();
  UnixSymbolicLink(const UnixSymbolicLink&) = delete;
  UnixSymbolicLink& operator=(const UnixSymbolicLink&) = delete;

  // The link is there and reads as a reparse point (false outside Wine).
  bool IsMade() const { return made_; }

 private:
  std::wstring link_;
  bool made_ = false;
};
