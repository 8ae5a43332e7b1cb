#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "UniqueAny.h"

// File system steps on handles, for walks that must act on what they checked: an object is
// opened once, by its path or relative to the handle of the folder it was listed in, never
// following a link in its last component, and everything after that (its attributes, its
// listing, its deletion, its move, a new owner) goes through that handle or one reopened from
// it. Every function answers a Windows error code, 0 for success, and logs nothing.
namespace NtFile {

// What the walks ask an object for: its attributes, and its deletion.
constexpr ACCESS_MASK kDeleteAccess = DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// A folder's attributes and listing, for a look that changes nothing.
constexpr ACCESS_MASK kListAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// A folder's listing and its deletion.
constexpr ACCESS_MASK kFolderAccess = kDeleteAccess | kListAccess;

// The object the path names, with the intermediate components resolved as Windows resolves
// them and the last one opened as itself (a link as the link). Every kind of sharing is
// allowed, so that only another program's handle that allows none stands in the way.
DWORD OpenPath(const std::wstring& path, ACCESS_MASK access, UniqueFileHandle& object);
// The entry `name` of the folder the handle holds open, as itself (a link as the link).
DWORD OpenChild(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                UniqueFileHandle& object);
// The same object once more, with other rights: access is checked again, against the
// object's security as it is now.
DWORD Reopen(HANDLE object, ACCESS_MASK access, UniqueFileHandle& reopened);

struct Identity {
  DWORD attributes = 0;
  // The reparse tag, where the attributes hold FILE_ATTRIBUTE_REPARSE_POINT.
  DWORD reparseTag = 0;
};
DWORD QueryIdentity(HANDLE object, Identity& identity);
// The object's file id (what tells it from every other object of its volume).
DWORD QueryFileId(HANDLE object, int64_t& fileId);
// How many names (hard links) the file has.
DWORD QueryLinkCount(HANDLE object, DWORD& links);

// A reparse point that stands for another object (a junction, a symbolic link, a mount point
// and their kin). Other reparse points (compressed, deduplicated or cloud files) are the
// object they are.
bool IsLink(DWORD attributes, DWORD reparseTag);

struct Entry {
  std::wstring name;
  DWORD attributes = 0;
  DWORD reparseTag = 0;
  int64_t fileId = 0;
};
// Every entry of the folder but "." and "..", as the handle sees it now.
DWORD ListFolder(HANDLE folder, std::vector<Entry>& entries);

// Marks the object for deletion (with POSIX semantics where the system has them: the name goes
// at once, even while another program's handle stays open); the object goes when the last
// handle closes.
DWORD MarkForDeletion(HANDLE object);
// Sets the attributes through a handle opened with FILE_WRITE_ATTRIBUTES.
DWORD SetAttributes(HANDLE object, DWORD attributes);
// Sets the attributes (the directory bit is what the object is, and is not set) through a
// handle reopened for that; none left gives FILE_ATTRIBUTE_NORMAL. The error of the reopen or
// of the change.
DWORD ChangeAttributes(HANDLE object, DWORD attributes);
// Clears the read-only bit, where the attributes given (the object's own) hold it, through
// ChangeAttributes.
DWORD ClearReadOnly(HANDLE object, DWORD attributes);
// Renames the object the handle holds (opened with DELETE) to the full path given.
DWORD MoveTo(HANDLE object, const std::wstring& path);
// The object's full path as the system has it now, in the \\?\ form.
DWORD FinalPath(HANDLE object, std::wstring& path);

}  // namespace NtFile
