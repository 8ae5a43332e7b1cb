#pragma once

#include <windows.h>

#include <string>

#include "NtFile.h"
#include "StringUtils.h"

// Forced removal of a product's files and directory trees, and two read-only queries, for the
// FileSystem module. The escalation is always the same: delete; where security denies the open
// for deletion (or for a folder's listing), make the Administrators group the owner with a DACL
// granting full access to the Administrators and the system only, through a handle of that
// object, and open it again; where the deletion is denied still, or the object is in use,
// schedule the deletion for the next restart and set the run's reboot flag. What is not there
// counts as removed: ERROR_PATH_NOT_FOUND only when the object's folder is really missing. Any
// other failure (a directory that is not empty, a path the system can't take) ends the
// removal without either step, with a line that says what stayed.
//
// The walks act on what they checked: the path a caller names is resolved once, as Windows
// resolves it, and the object it ends in is opened as itself (a link as the link). Each folder
// is opened once; its attributes, its listing and every entry's open go through that handle,
// the entries opened relative to it, never following a link; deletions, new owners and moves
// go through each object's own handle. Nothing below a folder is reached by a path again, so a
// folder swapped for a link during the walk leads nowhere. The walks keep their own stack of
// folders: no depth of tree exhausts the thread's stack, and the cost grows with the entries.
//
// What the removals never do:
// - escalate on a directory not known to be empty: only one that the walk listed and found
//   empty, or whose every entry the walk deleted or scheduled, is taken over or scheduled; a
//   directory that stays only because entries of the walk wait for their deletion follows them
//   to the restart;
// - enter, take over or schedule a link (a reparse point that stands for another object:
//   junction, symbolic link, mount point; other reparse points, such as compressed or cloud
//   files, are the objects they are), or an object whose attributes can't be read: it is
//   removed as a link or left;
// - change the security of a file with more than one hard link (that security is shared with
//   its other names): where its deletion is denied, it waits for the restart;
// - take ownership of an object in use: an object that opens for deletion but can't be deleted
//   (another program's handle, a running program's image) waits for the restart as it is;
// - take a directory that can't be listed for empty.
// An object that waits for the restart is first moved, through its handle, into a folder of the
// tool's own that only the Administrators and the system can write (RestartStaging), so that
// no one can redirect the path the restart deletes; where it can't be moved, its own path is
// scheduled and a warning says so.
// Every path reaches the file system in its \\?\ form (ExtendedPath): no length limit, and a
// name ending in a dot or a blank is that name, not the one without it. Log lines show the path
// as given or as the walk built it.
namespace FileOps {

// The file; what it is (a link, read-only) is read from its own handle, so `attributes`, as the
// caller knows them, are not needed.
bool WipeFileInternal(const std::wstring& path, DWORD attributes);
// One plain removal of the directory: no new owner, no DACL, no restart. A directory that is
// not empty stays.
bool DoRemoveDirectory(const std::wstring& path);
// The empty directory, as far as deletion at restart; a directory that is not empty stays as
// it is and the result is false.
bool WipeDirectoryInternal(const std::wstring& path);
// The directory with everything in it; every entry is attempted. A missing directory is
// false; a directory that is a reparse point loses only the link. A directory that can't be
// listed is false, and only its plain removal is tried.
bool WipeRecursive(const std::wstring& path);
// The path's tree, and its parent with it when the path is the parent's only entry. A parent
// that is a file or a link is never touched; one that can't be listed stays, and the result is
// false.
bool WipeRecursiveAndParentIfEmpty(const std::wstring& path);
// Every entry of the directory whose name matches the mask (case-sensitive): a file as a file,
// a directory as a tree, a reparse point as a link. True when each went, also when nothing
// matched or the directory is missing; false when the directory can't be listed or is a link.
bool WipeEntriesByMask(const std::wstring& directory, const std::wstring& mask);

// Whether the directory (and with `recursive` its subdirectories, reparse points excepted)
// holds a file.
bool ContainsFiles(const std::wstring& path, bool recursive);
// The names of the directory's entries in enumeration order, never "." or "..".
StringList ListDirectory(const std::wstring& path, bool includeFiles, bool includeDirectories);

// Test seam: called with each entry of every directory these operations list, before the
// entry is used. Wine can't make junctions, so tests mark a real directory as a reparse point
// here. Null (the default) changes nothing.
using EntryHook = void (*)(const std::wstring& directory, NtFile::Entry& entry);
void SetEntryHookForTests(EntryHook hook);

}  // namespace FileOps
