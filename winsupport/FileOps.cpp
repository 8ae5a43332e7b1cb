#include "FileOps.h"

#include <algorithm>
#include <vector>

#include "Log.h"
#include "Ownership.h"
#include "PathUtils.h"
#include "SecurityAttributes.h"
#include "Status.h"
#include "UniqueAny.h"

using KvTzkLogging::LogDebug;
using KvTzkLogging::LogError;
using KvTzkLogging::LogFuncW;
using KvTzkLogging::LogInfo;
using KvTzkLogging::LogWarning;

namespace {

FileOps::EntryHook entryHook = nullptr;

constexpr char kWipeFile[] = "FileOps::WipeFileInternal";
constexpr char kRemoveDirectory[] = "FileOps::DoRemoveDirectory";
constexpr char kWipeDirectory[] = "FileOps::WipeDirectoryInternal";
constexpr char kWipeRecursive[] = "FileOps::WipeRecursive";
constexpr char kWipeWithParent[] = "FileOps::WipeRecursiveAndParentIfEmpty";
constexpr char kWipeByMask[] = "FileOps::WipeEntriesByMask";

// One object as the log names it and as the file system is handed it.
struct Target {
  // As the caller gave it or the walk built it.
  std::wstring shown;
  // Its \\?\ form: no length limit, and a name ending in a dot or a blank is that name.
  std::wstring system;
};

Target TargetOf(const std::wstring& path) { return {path, ExtendedPath(path)}; }

Target ChildOf(const Target& folder, const std::wstring& name) {
  return {CombinePath(folder.shown, name), CombinePath(folder.system, name)};
}

// Whether an error of a call on the path (its \\?\ form) means that nothing is there:
// ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND while the folder it lies in is really missing.
// Windows answers ERROR_PATH_NOT_FOUND also for paths it can't take (too long, a file taken
// for a folder), and what stays there then has not gone.
bool IsGone(const std::wstring& systemPath, DWORD error) {
  std::wstring path = systemPath;
  while (error == ERROR_PATH_NOT_FOUND) {
    std::wstring folder;
    std::wstring name;
    if (!SplitPath(path, folder, name) || folder.empty() || folder == L"\\\\?" ||
        folder == L"\\\\?\\UNC") {
      return false;
    }
    // A drive is looked at through its root, and nothing lies above it.
    const bool drive = folder.back() == L':';
    if (drive) folder.push_back(L'\\');
    if (::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    error = ::GetLastError();
    if (drive) return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    path = folder;
  }
  return error == ERROR_FILE_NOT_FOUND;
}

// What a failed removal's error code leaves to do.
enum class Failure {
  // Not there: counts as removed.
  Gone,
  // Denied: a new owner can get past it, else the restart.
  Denied,
  // In use by another program: no owner changes that, the restart does.
  InUse,
  // Anything else (a name or path the system can't take, a directory that is not empty, a
  // file where a directory was meant, a device that is not ready...): no owner and no restart
  // changes it.
  Final,
};

Failure FailureOf(const std::wstring& systemPath, DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED: return Failure::Denied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return Failure::InUse;
    default: return IsGone(systemPath, error) ? Failure::Gone : Failure::Final;
  }
}

// How one removal ended.
enum class Outcome { Removed, AtRestart, Failed };

bool Succeeded(Outcome outcome) { return outcome != Outcome::Failed; }

bool IsDirectoryEntry(const WIN32_FIND_DATAW& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// What a path names, by its attributes.
enum class Kind { Missing, Link, Directory, File };

struct Object {
  Kind kind;
  DWORD attributes;
};

// An object whose attributes can't be read for any reason but its absence counts as a link:
// nothing is entered, taken over or scheduled through it.
Object Examine(const Target& target, const char* function) {
  const DWORD attributes = ::GetFileAttributesW(target.system.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (IsGone(target.system, error)) return {Kind::Missing, attributes};
    LogFuncW(LogWarning, function, L"Cannot read the attributes of '%s': %lu; taken for a link",
             target.shown.c_str(), error);
    return {Kind::Link, attributes};
  }
  if (IsReparsePoint(attributes)) return {Kind::Link, attributes};
  return {(attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::Directory : Kind::File, attributes};
}

// ForEachDirectoryEntry on the folder's \\?\ form, with every entry shown to the test hook
// first.
template <typename Visit>
bool ForEachEntry(const Target& folder, Visit visit) {
  return ForEachDirectoryEntry(folder.system, [&](WIN32_FIND_DATAW& entry) {
    if (entryHook != nullptr) entryHook(folder.shown, entry);
    return visit(entry);
  });
}

// Whether the error of a listing that failed means that the folder is not there.
bool IsListingGone(const Target& folder, DWORD error) {
  return IsGone(CombinePath(folder.system, L"*"), error);
}

void LogListingFailure(const char* function, const std::wstring& path, DWORD error) {
  LogFuncW(LogError, function, L"Cannot list '%s': %lu", path.c_str(), error);
}

// The Administrators group as owner, full access for it and the system only; the Windows
// error code, logged when not 0.
DWORD TakeOwnership(const Target& target, const char* function) {
  SecurityAttributes access;
  access.InitAdministratorsFullAccess();
  const UniqueSid administrators(CreateAdministratorsSid());
  const DWORD error = SetFileOwnerAndDacl(target.system, administrators.get(), access.Get());
  if (error != ERROR_SUCCESS) {
    LogFuncW(LogWarning, function, L"TakeOwnership failed for '%s': %lu", target.shown.c_str(),
             error);
  }
  return error;
}

Outcome DeleteAtRestart(const Target& target, const char* function) {
  if (::MoveFileExW(target.system.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    LogFuncW(LogDebug, function, L"Delay delete: '%s'", target.shown.c_str());
    Status::Instance().SetRebootNeeded();
    return Outcome::AtRestart;
  }
  LogFuncW(LogError, function, L"MoveFileEx('%s') failed: %lu", target.shown.c_str(),
           ::GetLastError());
  return Outcome::Failed;
}

// A link is removed as a link or left where it is: never taken over and never scheduled for
// the restart, since either could reach what it points to.
Outcome RemoveLink(const Target& link, bool directory, const char* function) {
  const bool removed = directory ? ::RemoveDirectoryW(link.system.c_str()) != FALSE
                                 : ::DeleteFileW(link.system.c_str()) != FALSE;
  if (removed) return Outcome::Removed;
  const DWORD error = ::GetLastError();
  if (IsGone(link.system, error)) return Outcome::Removed;
  LogFuncW(LogError, function, L"Link '%s' not removed: %lu", link.shown.c_str(), error);
  return Outcome::Failed;
}

bool DeleteFileNow(const Target& file, DWORD attributes) {
  ClearReadOnlyAttribute(file.system, attributes);
  return ::DeleteFileW(file.system.c_str()) != FALSE;
}

// Delete; when denied, the Administrators group as owner and delete again; when denied or in
// use, the deletion at the next restart. Any other failure ends the removal.
Outcome ForceFile(const Target& file, DWORD attributes) {
  if (DeleteFileNow(file, attributes)) return Outcome::Removed;
  DWORD error = ::GetLastError();
  Failure failure = FailureOf(file.system, error);
  if (failure == Failure::Denied && TakeOwnership(file, kWipeFile) == ERROR_SUCCESS) {
    if (DeleteFileNow(file, attributes)) return Outcome::Removed;
    error = ::GetLastError();
    failure = FailureOf(file.system, error);
  }
  switch (failure) {
    case Failure::Gone: return Outcome::Removed;
    case Failure::Denied:
    case Failure::InUse: return DeleteAtRestart(file, kWipeFile);
    case Failure::Final: break;
  }
  LogFuncW(LogError, kWipeFile, L"DeleteFile('%s') failed: %lu", file.shown.c_str(), error);
  return Outcome::Failed;
}

Outcome WipeFile(const Target& file, DWORD attributes) {
  if (IsReparsePoint(attributes)) return RemoveLink(file, false, kWipeFile);
  return ForceFile(file, attributes);
}

// One removal of a directory that is not known to be empty, and nothing more: no new owner,
// no DACL, no restart. A read-only bit that stands in the way is cleared for the attempt and
// put back when the directory stays.
Outcome RemoveDirectoryOnce(const Target& directory, const char* function, int keptLevel) {
  if (::RemoveDirectoryW(directory.system.c_str())) return Outcome::Removed;
  DWORD error = ::GetLastError();
  if (error == ERROR_ACCESS_DENIED) {
    const DWORD attributes = ::GetFileAttributesW(directory.system.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        !IsReparsePoint(attributes)) {
      ClearReadOnlyAttribute(directory.system, attributes);
      if (::RemoveDirectoryW(directory.system.c_str())) return Outcome::Removed;
      error = ::GetLastError();
      ::SetFileAttributesW(directory.system.c_str(), attributes & ~FILE_ATTRIBUTE_DIRECTORY);
    }
  }
  if (IsGone(directory.system, error)) return Outcome::Removed;
  if (error == ERROR_DIR_NOT_EMPTY) {
    LogFuncW(keptLevel, function, L"Directory '%s' kept: it is not empty", directory.shown.c_str());
  } else {
    LogFuncW(LogError, function, L"RemoveDirectory('%s') failed: %lu", directory.shown.c_str(),
             error);
  }
  return Outcome::Failed;
}

// A directory that would not go while it still holds entries: it follows them to the restart
// when each of them is one that this walk deleted (its deletion still pending) or scheduled.
Outcome FollowEntries(const Target& directory, const char* function,
                      const StringList& walkedEntries) {
  std::wstring stranger;
  const bool listed = ForEachEntry(directory, [&](const WIN32_FIND_DATAW& entry) {
    if (std::find(walkedEntries.begin(), walkedEntries.end(), entry.cFileName) !=
        walkedEntries.end()) {
      return true;
    }
    stranger = entry.cFileName;
    return false;
  });
  if (!listed) {
    LogListingFailure(function, directory.shown, ::GetLastError());
    return Outcome::Failed;
  }
  if (stranger.empty()) return DeleteAtRestart(directory, function);
  LogFuncW(LogError, function, L"Directory '%s' kept: it holds '%s', which was not removed",
           directory.shown.c_str(), stranger.c_str());
  return Outcome::Failed;
}

// The directory this walk listed and found empty, or whose every entry (walkedEntries, by
// name) it deleted or scheduled: the read-only bit cleared, removed; when denied, the
// Administrators group as owner and removed again; when denied or in use, or when it still
// holds entries of the walk whose deletion is pending, the deletion at the next restart.
Outcome ForceDirectory(const Target& directory, DWORD attributes, const char* function,
                       const StringList& walkedEntries) {
  ClearReadOnlyAttribute(directory.system, attributes);
  if (::RemoveDirectoryW(directory.system.c_str())) return Outcome::Removed;
  DWORD error = ::GetLastError();
  if (error == ERROR_DIR_NOT_EMPTY) return FollowEntries(directory, function, walkedEntries);
  Failure failure = FailureOf(directory.system, error);
  if (failure == Failure::Denied && TakeOwnership(directory, function) == ERROR_SUCCESS) {
    if (::RemoveDirectoryW(directory.system.c_str())) return Outcome::Removed;
    error = ::GetLastError();
    if (error == ERROR_DIR_NOT_EMPTY) return FollowEntries(directory, function, walkedEntries);
    failure = FailureOf(directory.system, error);
  }
  switch (failure) {
    case Failure::Gone: return Outcome::Removed;
    case Failure::Denied:
    case Failure::InUse: return DeleteAtRestart(directory, function);
    case Failure::Final: break;
  }
  LogFuncW(LogError, function, L"RemoveDirectory('%s') failed: %lu", directory.shown.c_str(),
           error);
  return Outcome::Failed;
}

Outcome WipeTree(const Target& directory, bool named);

// One entry of a tree: a file as a file, a reparse point as a link, a directory as a tree.
Outcome WipeEntry(const Target& entry, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return WipeFile(entry, attributes);
  if (IsReparsePoint(attributes)) return RemoveLink(entry, true, kWipeDirectory);
  return WipeTree(entry, false);
}

// The directory with everything in it. `named`: the tree the caller named, which is false when
// it is missing; a folder that the walk found and that is gone by now counts as removed.
Outcome WipeTree(const Target& directory, bool named) {
  if (directory.shown.empty()) return Outcome::Failed;
  // A second look at what the listing above showed as a folder: a link by now, or one given as
  // the tree itself, is removed as a link. What it points to belongs to something else.
  const Object object = Examine(directory, kWipeRecursive);
  switch (object.kind) {
    case Kind::Missing: return named ? Outcome::Failed : Outcome::Removed;
    case Kind::Link: return RemoveLink(directory, true, kWipeRecursive);
    case Kind::File:
      LogFuncW(LogError, kWipeRecursive, L"Not a directory, left alone: '%s'",
               directory.shown.c_str());
      return Outcome::Failed;
    case Kind::Directory: break;
  }
  bool all = true;
  StringList walked;
  const bool listed = ForEachEntry(directory, [&](const WIN32_FIND_DATAW& entry) {
    const Outcome outcome = WipeEntry(ChildOf(directory, entry.cFileName), entry.dwFileAttributes);
    if (Succeeded(outcome)) {
      walked.emplace_back(entry.cFileName);
    } else {
      all = false;
    }
    return true;
  });
  if (!listed) {
    const DWORD error = ::GetLastError();
    if (IsListingGone(directory, error)) return named ? Outcome::Failed : Outcome::Removed;
    // Nothing of what it holds is known, so nothing of it is touched: the folder itself goes
    // only when it is empty, and the tree counts as not removed.
    LogListingFailure(kWipeRecursive, directory.shown, error);
    RemoveDirectoryOnce(directory, kWipeDirectory, LogWarning);
    return Outcome::Failed;
  }
  if (!all) {
    // What stayed below holds the folder; its lines say why.
    RemoveDirectoryOnce(directory, kWipeDirectory, LogWarning);
    return Outcome::Failed;
  }
  return ForceDirectory(directory, object.attributes, kWipeDirectory, walked);
}

// The entries of a directory, by name and attributes, in enumeration order.
struct Entry {
  std::wstring name;
  DWORD attributes;
};

// False, with the listing's error as the last error, when the directory can't be listed.
bool ListEntries(const Target& directory, std::vector<Entry>& entries) {
  if (directory.shown.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return ForEachEntry(directory, [&](const WIN32_FIND_DATAW& entry) {
    entries.push_back({entry.cFileName, entry.dwFileAttributes});
    return true;
  });
}

}  // namespace

namespace FileOps {

void SetEntryHookForTests(EntryHook hook) { entryHook = hook; }

bool WipeFileInternal(const std::wstring& path, DWORD attributes) {
  return Succeeded(WipeFile(TargetOf(path), attributes));
}

bool DoRemoveDirectory(const std::wstring& path) {
  const Target directory = TargetOf(path);
  switch (Examine(directory, kRemoveDirectory).kind) {
    case Kind::Missing: return true;
    case Kind::Link: return Succeeded(RemoveLink(directory, true, kRemoveDirectory));
    case Kind::Directory:
    case Kind::File: break;
  }
  return Succeeded(RemoveDirectoryOnce(directory, kRemoveDirectory, LogInfo));
}

bool WipeDirectoryInternal(const std::wstring& path) {
  const Target directory = TargetOf(path);
  const Object object = Examine(directory, kWipeDirectory);
  switch (object.kind) {
    case Kind::Missing: return true;
    case Kind::Link: return Succeeded(RemoveLink(directory, true, kWipeDirectory));
    case Kind::File: return Succeeded(RemoveDirectoryOnce(directory, kWipeDirectory, LogError));
    case Kind::Directory: break;
  }
  bool empty = true;
  const bool listed = ForEachEntry(directory, [&](const WIN32_FIND_DATAW&) {
    empty = false;
    return false;
  });
  if (!listed) {
    const DWORD error = ::GetLastError();
    if (IsListingGone(directory, error)) return true;
    LogListingFailure(kWipeDirectory, path, error);
    return Succeeded(RemoveDirectoryOnce(directory, kWipeDirectory, LogError));
  }
  if (!empty) {
    LogFuncW(LogError, kWipeDirectory, L"Directory '%s' not removed: it is not empty",
             path.c_str());
    return false;
  }
  return Succeeded(ForceDirectory(directory, object.attributes, kWipeDirectory, {}));
}

bool WipeRecursive(const std::wstring& path) { return Succeeded(WipeTree(TargetOf(path), true)); }

bool WipeRecursiveAndParentIfEmpty(const std::wstring& path) {
  std::wstring directory;
  std::wstring name;
  if (!SplitPath(path, directory, name)) return WipeRecursive(path);
  const Target parent = TargetOf(directory);
  const Object object = Examine(parent, kWipeWithParent);
  switch (object.kind) {
    // Neither the parent nor the path is there.
    case Kind::Missing: return false;
    // Nothing can lie below a file, and the file is not what was named.
    case Kind::File:
      LogFuncW(LogError, kWipeWithParent, L"Not a directory, left alone: '%s'", directory.c_str());
      return false;
    // The parent seen through a link is someone else's folder: only the path goes.
    case Kind::Link:
      LogFuncW(LogWarning, kWipeWithParent, L"Parent '%s' is a link, kept", directory.c_str());
      return WipeRecursive(path);
    case Kind::Directory: break;
  }
  std::vector<Entry> entries;
  if (!ListEntries(parent, entries)) {
    const DWORD error = ::GetLastError();
    if (IsListingGone(parent, error)) return false;
    // A parent that can't be read is not empty: it stays, and the call can't say it did all.
    LogListingFailure(kWipeWithParent, directory, error);
    WipeRecursive(path);
    return false;
  }
  if (entries.empty()) {
    return Succeeded(ForceDirectory(parent, object.attributes, kWipeDirectory, {}));
  }
  if (entries.size() == 1 && entries.front().name == name) {
    // The path goes first, then the parent that held nothing else: after the path at the
    // restart when the path waits for it.
    if (!Succeeded(WipeEntry(ChildOf(parent, name), entries.front().attributes))) {
      RemoveDirectoryOnce(parent, kWipeDirectory, LogWarning);
      return false;
    }
    return Succeeded(ForceDirectory(parent, object.attributes, kWipeDirectory, {name}));
  }
  return WipeRecursive(path);
}

bool WipeEntriesByMask(const std::wstring& directory, const std::wstring& mask) {
  const Target folder = TargetOf(directory);
  switch (Examine(folder, kWipeByMask).kind) {
    // A missing directory, or a file, holds nothing to remove.
    case Kind::Missing:
    case Kind::File: return true;
    // Its entries are another folder's.
    case Kind::Link:
      LogFuncW(LogError, kWipeByMask, L"Link '%s' not entered", directory.c_str());
      return false;
    case Kind::Directory: break;
  }
  std::vector<Entry> matches;
  const bool listed = ForEachEntry(folder, [&](const WIN32_FIND_DATAW& entry) {
    if (WildcardMatch(entry.cFileName, mask, false)) {
      matches.push_back({entry.cFileName, entry.dwFileAttributes});
    }
    return true;
  });
  if (!listed) {
    // A directory gone meanwhile holds nothing to remove; one that can't be read may hold
    // anything.
    const DWORD error = ::GetLastError();
    if (IsListingGone(folder, error)) return true;
    LogListingFailure(kWipeByMask, directory, error);
    return false;
  }
  bool all = true;
  for (const auto& match : matches) {
    all = Succeeded(WipeEntry(ChildOf(folder, match.name), match.attributes)) && all;
  }
  return all;
}

bool ContainsFiles(const std::wstring& path, bool recursive) {
  if (path.empty()) return false;
  const Target directory = TargetOf(path);
  bool found = false;
  ForEachEntry(directory, [&](const WIN32_FIND_DATAW& entry) {
    if (!IsDirectoryEntry(entry)) {
      found = true;
    } else if (recursive && !IsReparsePoint(entry.dwFileAttributes)) {
      // A reparse point may lead anywhere, an ancestor of its own included.
      found = ContainsFiles(CombinePath(path, entry.cFileName), true);
    }
    return !found;
  });
  return found;
}

StringList ListDirectory(const std::wstring& path, bool includeFiles, bool includeDirectories) {
  StringList names;
  std::vector<Entry> entries;
  ListEntries(TargetOf(path), entries);
  for (const auto& entry : entries) {
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? includeDirectories : includeFiles) {
      names.push_back(entry.name);
    }
  }
  return names;
}

}  // namespace FileOps
