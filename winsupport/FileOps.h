#pragma once

#include <windows.h>

#include <string>

#include "StringUtils.h"

// Forced removal of a product's files and directory trees, and two read-only queries, for the
// FileSystem module. The escalation is always the same: delete; when that is denied or the
// object is in use, make the Administrators group the owner with a DACL granting full access to
// the Administrators and the system only, and delete again; on failure schedule the deletion
// for the next restart and set the run's reboot flag. What is not there (its folder included)
// counts as removed; any other failure (a directory that is not empty, a name that can never
// exist) ends the removal without either step. A reparse point (junction, symbolic link) is
// removed as a link or left, never entered, taken over or scheduled; a directory that can't be
// listed is never taken for empty.
namespace FileOps {

// The file; `attributes` as known to the caller (the read-only bit is cleared first).
bool WipeFileInternal(const std::wstring& path, DWORD attributes);
// The empty directory, taking ownership when needed; no delete at restart. A directory that is
// not empty stays, silently.
bool DoRemoveDirectory(const std::wstring& path);
// The empty directory, as far as deletion at restart.
bool WipeDirectoryInternal(const std::wstring& path);
// The directory with everything in it; every entry is attempted. A missing directory is
// false; a directory that is a reparse point loses only the link. A directory that can't be
// listed is false, and only its own removal is tried. A directory whose entries left all wait
// for the restart is scheduled after them.
bool WipeRecursive(const std::wstring& path);
// The path's tree, and its parent with it when the path is the parent's only entry. A parent
// that is a file or a link is never touched; one that can't be listed stays, and the result is
// false.
bool WipeRecursiveAndParentIfEmpty(const std::wstring& path);
// Every entry of the directory whose name matches the mask (case-sensitive): a file as a file,
// a directory as a tree, a reparse point as a link. True when each went, also when nothing
// matched or the directory is missing; false when the directory can't be listed.
bool WipeEntriesByMask(const std::wstring& directory, const std::wstring& mask);

// Whether the directory (and with `recursive` its subdirectories, reparse points excepted)
// holds a file.
bool ContainsFiles(const std::wstring& path, bool recursive);
// The names of the directory's entries in enumeration order, never "." or "..".
StringList ListDirectory(const std::wstring& path, bool includeFiles, bool includeDirectories);

// Test seam: called with each entry of every directory these operations enumerate, before the
// entry is used. Wine can't make junctions, so tests mark a real directory as a reparse point
// here. Null (the default) changes nothing.
using EntryHook = void (*)(const std::wstring& directory, WIN32_FIND_DATAW& entry);
void SetEntryHookForTests(EntryHook hook);

}  // namespace FileOps
