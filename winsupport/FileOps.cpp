#include "FileOps.h"

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
using KvTzkLogging::LogWarning;

namespace {

FileOps::EntryHook entryHook = nullptr;

constexpr char kWipeFile[] = "FileOps::WipeFileInternal";
constexpr char kRemoveDirectory[] = "FileOps::DoRemoveDirectory";
constexpr char kWipeDirectory[] = "FileOps::WipeDirectoryInternal";
constexpr char kWipeRecursive[] = "FileOps::WipeRecursive";
constexpr char kWipeWithParent[] = "FileOps::WipeRecursiveAndParentIfEmpty";
constexpr char kWipeByMask[] = "FileOps::WipeEntriesByMask";

// What a failed delete's error code leaves to do.
enum class Failure {
  // Not there, or its folder isn't: counts as removed.
  Gone,
  // Denied or in use: a new owner, or the restart, can get past it.
  Forcible,
  // Anything else (a name that can never exist, a directory that is not empty, a file where a
  // directory was meant, a device that is not ready...): no owner and no restart changes it.
  Final,
};

Failure FailureOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return Failure::Gone;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return Failure::Forcible;
    default: return Failure::Final;
  }
}

bool IsGone(DWORD error) { return FailureOf(error) == Failure::Gone; }

// How one removal ended.
enum class Outcome { Removed, AtRestart, Failed };

bool Succeeded(Outcome outcome) { return outcome != Outcome::Failed; }

bool IsDirectoryEntry(const WIN32_FIND_DATAW& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// The path exists and is a link (junction, symbolic link or another reparse point).
bool IsLink(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && IsReparsePoint(attributes);
}

// ForEachDirectoryEntry, with every entry shown to the test hook first.
template <typename Visit>
bool ForEachEntry(const std::wstring& path, Visit visit) {
  return ForEachDirectoryEntry(path, [&](WIN32_FIND_DATAW& entry) {
    if (entryHook != nullptr) entryHook(path, entry);
    return visit(entry);
  });
}

void LogListingFailure(const char* function, const std::wstring& path, DWORD error) {
  LogFuncW(LogError, function, L"Cannot list '%s': %lu", path.c_str(), error);
}

// The Administrators group as owner, full access for it and the system only; the Windows
// error code, logged when not 0.
DWORD TakeOwnership(const std::wstring& path, const char* function) {
  SecurityAttributes access;
  access.InitAdministratorsFullAccess();
  const UniqueSid administrators(CreateAdministratorsSid());
  const DWORD error = SetFileOwnerAndDacl(path, administrators.get(), access.Get());
  if (error != ERROR_SUCCESS) {
    LogFuncW(LogWarning, function, L"TakeOwnership failed for '%s': %lu", path.c_str(), error);
  }
  return error;
}

bool DeleteAtRestart(const std::wstring& path, const char* function) {
  if (::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    LogFuncW(LogDebug, function, L"Delay delete: '%s'", path.c_str());
    Status::Instance().SetRebootNeeded();
    return true;
  }
  LogFuncW(LogError, function, L"MoveFileEx('%s') failed: %lu", path.c_str(), ::GetLastError());
  return false;
}

// One removal and how far it may go.
struct Removal {
  const std::wstring& path;
  const char* function;
  bool directory = false;
  // A file's attributes as known, for its read-only bit.
  DWORD attributes = 0;
  // The deletion at the next restart as the last step.
  bool atRestart = true;
  // A directory whose every entry left waits for the restart itself: it may follow them
  // there, although it is not empty yet.
  bool entriesPending = false;
};

bool RemoveOnce(const Removal& removal) {
  if (removal.directory) return ::RemoveDirectoryW(removal.path.c_str()) != FALSE;
  ClearReadOnlyAttribute(removal.path, removal.attributes);
  return ::DeleteFileW(removal.path.c_str()) != FALSE;
}

// A link is removed as a link or left where it is: never taken over and never scheduled for
// the restart, since either could reach what it points to.
Outcome RemoveLink(const std::wstring& path, bool directory, const char* function) {
  const bool removed =
      directory ? ::RemoveDirectoryW(path.c_str()) != FALSE : ::DeleteFileW(path.c_str()) != FALSE;
  if (removed) return Outcome::Removed;
  const DWORD error = ::GetLastError();
  if (IsGone(error)) return Outcome::Removed;
  LogFuncW(LogError, function, L"Link '%s' not removed: %lu", path.c_str(), error);
  return Outcome::Failed;
}

// Delete; when denied or in use, the Administrators group as owner and delete again; then, if
// allowed, the deletion at the next restart. Any other failure ends the removal.
Outcome Force(const Removal& removal) {
  if (RemoveOnce(removal)) return Outcome::Removed;
  DWORD error = ::GetLastError();
  if (FailureOf(error) == Failure::Forcible &&
      TakeOwnership(removal.path, removal.function) == ERROR_SUCCESS) {
    if (RemoveOnce(removal)) return Outcome::Removed;
    error = ::GetLastError();
  }
  const bool followsEntries = removal.entriesPending && error == ERROR_DIR_NOT_EMPTY;
  switch (FailureOf(error)) {
    case Failure::Gone: return Outcome::Removed;
    case Failure::Forcible: break;
    case Failure::Final:
      if (followsEntries) break;
      // A directory that still holds something is an answer, not a fault: it stays.
      if (error != ERROR_DIR_NOT_EMPTY) {
        LogFuncW(LogError, removal.function,
                 removal.directory ? L"RemoveDirectory('%s') failed: %lu"
                                   : L"DeleteFile('%s') failed: %lu",
                 removal.path.c_str(), error);
      }
      return Outcome::Failed;
  }
  if (!removal.atRestart) return Outcome::Failed;
  return DeleteAtRestart(removal.path, removal.function) ? Outcome::AtRestart : Outcome::Failed;
}

Outcome WipeFile(const std::wstring& path, DWORD attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES && IsReparsePoint(attributes)) {
    return RemoveLink(path, false, kWipeFile);
  }
  Removal removal{path, kWipeFile};
  removal.attributes = attributes;
  return Force(removal);
}

// The directory itself, known not to be a link, with or without the restart, and after its
// entries when they wait for the restart.
Outcome ForceDirectory(const std::wstring& path, const char* function, bool atRestart,
                       bool entriesPending = false) {
  Removal removal{path, function, true};
  removal.atRestart = atRestart;
  removal.entriesPending = entriesPending;
  return Force(removal);
}

// The directory itself, or the link it turns out to be.
Outcome WipeDirectory(const std::wstring& path, const char* function, bool atRestart) {
  if (IsLink(path)) return RemoveLink(path, true, function);
  return ForceDirectory(path, function, atRestart);
}

Outcome WipeTree(const std::wstring& path);

// One entry of a tree: a file as a file, a reparse point as a link, a directory as a tree.
Outcome WipeEntry(const std::wstring& path, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return WipeFile(path, attributes);
  if (IsReparsePoint(attributes)) return RemoveLink(path, true, kWipeDirectory);
  return WipeTree(path);
}

Outcome WipeTree(const std::wstring& path) {
  if (path.empty()) return Outcome::Failed;
  // A link given as the tree itself is removed as a link too: what it points to belongs to
  // something else.
  if (IsLink(path)) return RemoveLink(path, true, kWipeRecursive);
  bool all = true;
  bool pending = false;
  const bool listed = ForEachEntry(path, [&](const WIN32_FIND_DATAW& entry) {
    const Outcome outcome = WipeEntry(CombinePath(path, entry.cFileName), entry.dwFileAttributes);
    all = Succeeded(outcome) && all;
    pending = pending || outcome == Outcome::AtRestart;
    return true;
  });
  if (!listed) {
    const DWORD error = ::GetLastError();
    if (IsGone(error)) return Outcome::Failed;
    // Nothing of what it holds is known, so nothing of it is touched: the folder itself is
    // removed only when it turns out empty, and the tree counts as not removed.
    LogListingFailure(kWipeRecursive, path, error);
    ForceDirectory(path, kWipeDirectory, true);
    return Outcome::Failed;
  }
  const Outcome self = ForceDirectory(path, kWipeDirectory, true, all && pending);
  return all ? self : Outcome::Failed;
}

// The names of the directory's entries; false, with the listing's error as the last error,
// when it can't be listed.
bool ListNames(const std::wstring& path, bool includeFiles, bool includeDirectories,
               StringList& names) {
  if (path.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return ForEachEntry(path, [&](const WIN32_FIND_DATAW& entry) {
    if (IsDirectoryEntry(entry) ? includeDirectories : includeFiles) {
      names.push_back(entry.cFileName);
    }
    return true;
  });
}

}  // namespace

namespace FileOps {

void SetEntryHookForTests(EntryHook hook) { entryHook = hook; }

bool WipeFileInternal(const std::wstring& path, DWORD attributes) {
  return Succeeded(WipeFile(path, attributes));
}

bool DoRemoveDirectory(const std::wstring& path) {
  return Succeeded(WipeDirectory(path, kRemoveDirectory, false));
}

bool WipeDirectoryInternal(const std::wstring& path) {
  return Succeeded(WipeDirectory(path, kWipeDirectory, true));
}

bool WipeRecursive(const std::wstring& path) { return Succeeded(WipeTree(path)); }

bool WipeRecursiveAndParentIfEmpty(const std::wstring& path) {
  std::wstring directory;
  std::wstring name;
  if (!SplitPath(path, directory, name)) return WipeRecursive(path);
  const DWORD attributes = ::GetFileAttributesW(directory.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    // Nothing can lie below a file, and the file is not what was named.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      LogFuncW(LogError, kWipeWithParent, L"Not a directory, left alone: '%s'", directory.c_str());
      return false;
    }
    // The parent seen through a link is someone else's folder: only the path goes.
    if (IsReparsePoint(attributes)) {
      LogFuncW(LogWarning, kWipeWithParent, L"Parent '%s' is a link, kept", directory.c_str());
      return WipeRecursive(path);
    }
  }
  StringList entries;
  if (!ListNames(directory, true, true, entries)) {
    const DWORD error = ::GetLastError();
    // Neither the parent nor the path is there.
    if (IsGone(error)) return false;
    // A parent that can't be read is not empty: it stays, and the call can't say it did all.
    LogListingFailure(kWipeWithParent, directory, error);
    WipeRecursive(path);
    return false;
  }
  if (entries.empty() || (entries.size() == 1 && entries.front() == name)) {
    return WipeRecursive(directory);
  }
  return WipeRecursive(path);
}

bool WipeEntriesByMask(const std::wstring& directory, const std::wstring& mask) {
  struct Match {
    std::wstring path;
    DWORD attributes;
  };
  std::vector<Match> matches;
  const bool listed = ForEachEntry(directory, [&](const WIN32_FIND_DATAW& entry) {
    if (WildcardMatch(entry.cFileName, mask, false)) {
      matches.push_back({CombinePath(directory, entry.cFileName), entry.dwFileAttributes});
    }
    return true;
  });
  if (!listed) {
    // A missing directory holds nothing to remove; one that can't be read may hold anything.
    const DWORD error = ::GetLastError();
    if (IsGone(error)) return true;
    LogListingFailure(kWipeByMask, directory, error);
    return false;
  }
  bool all = true;
  for (const auto& match : matches) {
    all = Succeeded(WipeEntry(match.path, match.attributes)) && all;
  }
  return all;
}

bool ContainsFiles(const std::wstring& path, bool recursive) {
  if (path.empty()) return false;
  bool found = false;
  ForEachEntry(path, [&](const WIN32_FIND_DATAW& entry) {
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
  ListNames(path, includeFiles, includeDirectories, names);
  return names;
}

}  // namespace FileOps
