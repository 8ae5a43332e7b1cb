#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "StringUtils.h"
#include "UniqueAny.h"

// Paths are wide strings whose only separator is the backslash. None of these functions
// logs or throws; each reports failure through its result and leaves the last-error code
// as the failing Windows call set it.

std::wstring RemoveTrailingBackslash(const std::wstring& path);
// Joins two parts with exactly one backslash between them, unless one part is empty.
std::wstring CombinePath(const std::wstring& first, const std::wstring& second);
// Splits at the last backslash after dropping one trailing backslash: C:\dir\file gives
// C:\dir and file, C:\dir\ gives C: and dir, a bare name gives an empty directory part.
// An empty path, a path starting with its only backslash (\file) or one ending in two
// backslashes fail; the outputs are written only on success.
bool SplitPath(const std::wstring& path, std::wstring& directory, std::wstring& name);

// A name that Windows takes for a device in every folder: CON, PRN, AUX, NUL, COM0 to COM9
// and LPT0 to LPT9 (also with the superscript digits 1 to 3), in any letter case, alone or
// followed by an extension or by blanks.
bool IsReservedDeviceName(const std::wstring& component);

// Why a path may not be acted on by an operation that changes the machine (or, for the kind
// of path alone, by one that reads).
enum class PathFault {
  None,
  NotFullyQualified,   // empty, relative or drive-relative: x, .\x, \x, D:, D:x
  DeviceNamespace,     // \\?\, \\.\ or \??\: no normalisation, devices and volumes
  Root,                // a drive or share root, which no script names for removal
  EmptyComponent,      // two backslashes in a row
  DotComponent,        // ., .. or a component of nothing but dots and blanks
  TrailingDotOrBlank,  // a component ending in a dot or a blank, which the system strips
  Wildcard,            // * ? < > " (the last three are wildcards of the find functions)
  BadCharacter,        // a control character, |, :, or / (backslashes only)
  ReservedName,        // a device name as a component
  TrailingBackslash,   // a file's path ending in a backslash, which \\?\ takes for the file
};
// What a path is given for: any object, or a file, whose path never ends in a backslash.
enum class PathKind { Any, File };
// None for a fully qualified path below a root: X:\ or \\server\share\ followed by at
// least one component (one trailing backslash allowed, but not in a file's path).
PathFault CheckChangeablePath(const std::wstring& path, PathKind kind = PathKind::Any);
// The fault that a path has for its kind alone, whether it is read or changed.
PathFault CheckPathKind(const std::wstring& path, PathKind kind);
// A short description of the fault for a log line.
const wchar_t* PathFaultText(PathFault fault);

// The form of a fully qualified path that the file system takes exactly as it is written:
// X:\... becomes \\?\X:\..., \\server\share\... becomes \\?\UNC\server\share\..., and one
// trailing backslash below a root is dropped. In that form no length limit applies, and a
// name ending in a dot or a blank, or spelled like a device, names the entry of that name. A
// path already in the device namespace is returned as it is, and so is every path that only
// the normal form can resolve: relative and drive-relative paths, empty, "." or ".."
// components, forward slashes.
std::wstring ExtendedPath(const std::wstring& path);

// The path names anything at all.
bool PathExists(const std::wstring& path);
// The path exists and is a directory (a reparse point to a directory counts).
bool IsDirectory(const std::wstring& path);
// The path exists and is not a directory.
bool IsFile(const std::wstring& path);

// Creates the directory and every missing parent, each with the given attributes (or
// default security for null). True for an empty path or an existing directory.
bool CreateDirectoryRecursive(const std::wstring& path, SECURITY_ATTRIBUTES* attributes);

// Creates a new directory "kv<tick count><attempt>.tmp" under the parent with the given
// attributes and returns its full path; empty when the parent is empty, after an error
// other than "already exists", or after 10000 collisions.
std::wstring CreateUniqueTempDirectory(const std::wstring& parent, SECURITY_ATTRIBUTES* attributes);

// Removes a directory with everything in it. Every entry is attempted; what can't go
// now is scheduled for the next restart when allowDelayed is set. A reparse point is
// removed as a link and never entered. Each folder is opened once and its entries through
// its handle (NtFile), with a stack of the walk's own. True when every entry and the directory
// itself went (or were scheduled). A path that is no directory fails and removes nothing.
bool DeleteDirectoryTree(const std::wstring& path, bool allowDelayed);

// Whether the system holds a pending rename or delete operation (PendingFileRenameOperations)
// for a path starting with the given one (ignoring case), unless one of the exclusions
// is a prefix of that path too.
bool HasPendingFileOperation(const std::wstring& path, const StringList& exclusions);
// The same test on a multi-string of `count` UTF-16 units. Each entry carries four
// characters (\??\ or similar) ahead of the path; a last entry without its NUL inside
// `count` is not examined.
bool MatchPendingFileOperation(const wchar_t* units, size_t count, const std::wstring& path,
                               const StringList& exclusions);

// The C runtime's secure wide formatting with truncation (count may be _TRUNCATE):
// characters written, or -1 (also when the text was cut).
int FormatWide(wchar_t* buffer, size_t size, size_t count, const wchar_t* format, ...);
