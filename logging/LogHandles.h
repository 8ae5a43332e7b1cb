#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "UniqueAny.h"

// The handle steps of the log file context: objects opened relative to the folder that holds
// them, never following a link in the last component, and acted on through those handles.
// Every function answers a Windows error code, 0 for success.
namespace KvTzkLogging::Handles {

enum class Kind { Directory, File };

// The entry `name` of the folder, as itself (FILE_OPEN_REPARSE_POINT). With `create` it is
// made, and must not exist yet; `descriptor` (may be null) is then its security.
DWORD OpenEntry(HANDLE folder, const std::wstring& name, ACCESS_MASK access, Kind kind, bool create,
                PSECURITY_DESCRIPTOR descriptor, UniqueFileHandle& object);
// The same object once more, with other rights.
DWORD Reopen(HANDLE object, ACCESS_MASK access, UniqueFileHandle& reopened);
// A folder by its full path, following whatever the path leads through.
DWORD OpenFolderPath(const std::wstring& path, ACCESS_MASK access, UniqueFileHandle& folder);

// The object's name on its volume as the system keeps it for the handle (\a\b, no drive).
DWORD QueryName(HANDLE object, std::wstring& name);
DWORD QueryFileId(HANDLE object, int64_t& fileId);
DWORD QueryAttributes(HANDLE object, DWORD& attributes);
DWORD QueryLinkCount(HANDLE object, DWORD& links);

// The name of the entry `name` of a folder whose own name is `folderName`.
std::wstring EntryName(const std::wstring& folderName, const std::wstring& name);
// The handle holds the entry itself: the system keeps for it the folder's name and the
// entry's. A system that followed a link on the open (Wine does, for a Unix symbolic link)
// keeps the name of what the link points to.
bool IsEntryItself(HANDLE object, const std::wstring& folderName, const std::wstring& name);
// The full path leads, now, to the object held (the same file id); the last component is
// taken as itself.
bool PathLeadsTo(const std::wstring& path, HANDLE object);

DWORD MarkForDeletion(HANDLE object);
// Renames the object (opened with DELETE) to `name` in the folder held by `folder`,
// replacing what has that name.
DWORD RenameInto(HANDLE object, HANDLE folder, const std::wstring& name);

}  // namespace KvTzkLogging::Handles
