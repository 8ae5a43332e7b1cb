#include "FileOps.h"

#include <algorithm>
#include <vector>

#include "KvPrivilege.h"
#include "Log.h"
#include "NtFile.h"
#include "Ownership.h"
#include "PathUtils.h"
#include "RestartStaging.h"
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
constexpr wchar_t kTakeOwnershipPrivilege[] = L"SeTakeOwnershipPrivilege";

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

// How one removal ended.
enum class Outcome { Removed, AtRestart, Failed };

bool Succeeded(Outcome outcome) { return outcome != Outcome::Failed; }

bool IsInUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool IsDirectory(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Where an object is reached: by its path (what a caller named), or as an entry of a folder the
// walk holds open, relative to that folder's handle.
struct Place {
  Target target;
  HANDLE folder = nullptr;
  std::wstring name;
  // What the folder's listing said of the entry; by path, the object's own handle says it.
  bool listed = false;
  NtFile::Entry entry;
};

// The object the caller named, with what its folder's listing says of it: as much as its own
// handle, the listing tells a link (on Windows the handle holds the link itself, but a system
// that follows a link on the open shows it only there).
Place NamedPlace(const std::wstring& path) {
  Place place{TargetOf(path), nullptr, {}, false, {}};
  WIN32_FIND_DATAW data{};
  const UniqueFindHandle find(::FindFirstFileExW(place.target.system.c_str(), FindExInfoBasic,
                                                 &data, FindExSearchNameMatch, nullptr, 0));
  if (!find) return place;
  place.listed = true;
  const bool reparse = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  place.entry = {data.cFileName, data.dwFileAttributes, reparse ? data.dwReserved0 : 0, 0};
  std::wstring folder;
  std::wstring name;
  if (entryHook != nullptr && SplitPath(path, folder, name)) entryHook(folder, place.entry);
  return place;
}

Place EntryPlace(const Target& folderTarget, HANDLE folder, const NtFile::Entry& entry) {
  return {ChildOf(folderTarget, entry.name), folder, entry.name, true, entry};
}

bool ListedAsLink(const Place& place) {
  return place.listed && NtFile::IsLink(place.entry.attributes, place.entry.reparseTag);
}

DWORD Open(const Place& place, ACCESS_MASK access, UniqueFileHandle& object) {
  return place.folder != nullptr ? NtFile::OpenChild(place.folder, place.name, access, object)
                                 : NtFile::OpenPath(place.target.system, access, object);
}

// An entry of a folder the walk holds can only be missing itself: removed meanwhile.
bool IsGone(const Place& place, DWORD error) {
  if (error == ERROR_DELETE_PENDING) return true;
  if (place.folder != nullptr)
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  return IsGone(place.target.system, error);
}

// The entries of the folder the handle holds, each shown to the test hook first.
DWORD List(HANDLE folder, const Target& target, std::vector<NtFile::Entry>& entries) {
  const DWORD error = NtFile::ListFolder(folder, entries);
  if (error == ERROR_SUCCESS && entryHook != nullptr) {
    for (auto& entry : entries) entryHook(target.shown, entry);
  }
  return error;
}

void LogListingFailure(const char* function, const std::wstring& path, DWORD error) {
  LogFuncW(LogError, function, L"Cannot list '%s': %lu", path.c_str(), error);
}

void LogOwnershipRefused(const Target& target, const char* function, DWORD error) {
  LogFuncW(LogWarning, function, L"TakeOwnership failed for '%s': %lu", target.shown.c_str(),
           error);
}

// The Administrators group as owner, full access for it and the system only, on the object the
// handle holds (opened with WRITE_OWNER); the Windows error code, logged when not 0.
DWORD TakeOwnership(HANDLE object, const Target& target, const char* function) {
  SecurityAttributes access;
  access.InitAdministratorsFullAccess();
  const UniqueSid administrators(CreateAdministratorsSid());
  const DWORD error = SetFileOwnerAndDacl(object, administrators.get(), access.Get());
  if (error != ERROR_SUCCESS) LogOwnershipRefused(target, function, error);
  return error;
}

Outcome ScheduleByPath(const Target& target, const char* function) {
  if (::MoveFileExW(target.system.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    LogFuncW(LogDebug, function, L"Delay delete: '%s'", target.shown.c_str());
    Status::Instance().SetRebootNeeded();
    return Outcome::AtRestart;
  }
  LogFuncW(LogError, function, L"MoveFileEx('%s') failed: %lu", target.shown.c_str(),
           ::GetLastError());
  return Outcome::Failed;
}

// The deletion at the restart of an object that can't be moved out of reach first: its own
// path, which the system resolves again at boot, is what is scheduled.
Outcome ScheduleInPlace(const Target& target, const char* function, DWORD whyNotMoved) {
  LogFuncW(LogWarning, function,
           L"Delay delete names '%s' itself: it could not be moved out of reach first: %lu",
           target.shown.c_str(), whyNotMoved);
  return ScheduleByPath(target, function);
}

// The deletion at the restart of an object the walk holds open with DELETE: moved through the
// handle into the tool's own folder first, where no one else can redirect its path.
Outcome ScheduleHeld(HANDLE object, const Target& target, const char* function) {
  std::wstring staged;
  const DWORD error = RestartStaging::Instance().StageAndSchedule(object, staged);
  if (error == ERROR_SUCCESS) {
    LogFuncW(LogDebug, function, L"Delay delete: '%s'", target.shown.c_str());
    LogFuncW(LogDebug, function, L"'%s' waits for the restart as '%s'", target.shown.c_str(),
             staged.c_str());
    Status::Instance().SetRebootNeeded();
    return Outcome::AtRestart;
  }
  if (!staged.empty()) {
    LogFuncW(LogError, function, L"MoveFileEx('%s') failed: %lu", staged.c_str(), error);
    return Outcome::Failed;
  }
  return ScheduleInPlace(target, function, error);
}

// A link is removed as a link or left where it is: never taken over and never scheduled for
// the restart, since either could reach what it points to. It is deleted through the handle
// only where that handle reads as the link itself: a system that followed the link on the open
// (Wine does, for a Unix symbolic link) holds what it points to, and that stays.
Outcome RemoveLink(HANDLE link, const Target& target, const char* function) {
  NtFile::Identity identity;
  if (NtFile::QueryIdentity(link, identity) != ERROR_SUCCESS ||
      !NtFile::IsLink(identity.attributes, identity.reparseTag)) {
    LogFuncW(LogError, function,
             L"Link '%s' not removed: it could not be opened as the link itself",
             target.shown.c_str());
    return Outcome::Failed;
  }
  const DWORD error = NtFile::MarkForDeletion(link);
  if (error == ERROR_SUCCESS) return Outcome::Removed;
  LogFuncW(LogError, function, L"Link '%s' not removed: %lu", target.shown.c_str(), error);
  return Outcome::Failed;
}

// What the handle's own view says of the object: its identity, or that it counts as a link
// because its attributes can't be read.
bool ReadIdentity(HANDLE object, const Target& target, const char* function,
                  NtFile::Identity& identity) {
  const DWORD error = NtFile::QueryIdentity(object, identity);
  if (error == ERROR_SUCCESS) return true;
  LogFuncW(LogWarning, function, L"Cannot read the attributes of '%s': %lu; taken for a link",
           target.shown.c_str(), error);
  return false;
}

// The object reached at the place (or held already), taken over through a handle of its own:
// the owner first (the take-ownership privilege grants WRITE_OWNER), then the DACL, then the
// object opened again with `access`, its rights checked anew. Nothing that is a link, or can't
// be told from one, or has changed its kind since the walk looked, is taken over, and none of
// those may wait for the restart either (`mayRestart` false, the line logged here); nor is a
// file whose security it shares with names elsewhere (more than one hard link), which may.
// The error that stands in the way, 0 with `object` open.
DWORD TakeOver(const Place& place, HANDLE held, bool directory, ACCESS_MASK access,
               const char* function, UniqueFileHandle& object, bool& mayRestart) {
  mayRestart = true;
  KvPrivilege takeOwnership(kTakeOwnershipPrivilege);
  UniqueFileHandle owned;
  constexpr ACCESS_MASK kOwnerAccess = WRITE_OWNER | FILE_READ_ATTRIBUTES;
  DWORD error = held != nullptr ? NtFile::Reopen(held, kOwnerAccess, owned)
                                : Open(place, kOwnerAccess, owned);
  if (error != ERROR_SUCCESS) {
    LogOwnershipRefused(place.target, function, error);
    return error;
  }
  NtFile::Identity identity;
  const bool readable = ReadIdentity(owned.get(), place.target, function, identity);
  if (!readable || ListedAsLink(place) ||
      NtFile::IsLink(identity.attributes, identity.reparseTag)) {
    mayRestart = false;
    LogFuncW(LogError, function, L"Link '%s' not removed: %lu", place.target.shown.c_str(),
             static_cast<DWORD>(ERROR_ACCESS_DENIED));
    return ERROR_ACCESS_DENIED;
  }
  if (IsDirectory(identity.attributes) != directory) {
    mayRestart = false;
    LogFuncW(LogError, function, L"'%s' changed its kind during the removal, left alone",
             place.target.shown.c_str());
    return ERROR_ACCESS_DENIED;
  }
  if (!directory) {
    DWORD links = 1;
    if (NtFile::QueryLinkCount(owned.get(), links) == ERROR_SUCCESS && links > 1) {
      LogFuncW(LogWarning, function,
               L"'%s' has %lu names that share its security: it is not taken over",
               place.target.shown.c_str(), links);
      return ERROR_ACCESS_DENIED;
    }
  }
  error = TakeOwnership(owned.get(), place.target, function);
  if (error != ERROR_SUCCESS) return error;
  return NtFile::Reopen(owned.get(), access, object);
}

// Delete the file; where security denies the open for deletion, the Administrators group as
// owner (through the file's own handle) and delete again; where the deletion is denied still,
// or the file is in use, its deletion at the next restart. Any other failure ends the removal.
Outcome RemoveFile(const Place& place) {
  const Target& target = place.target;
  UniqueFileHandle file;
  DWORD error = Open(place, NtFile::kDeleteAccess, file);
  bool takenOver = false;
  if (error == ERROR_ACCESS_DENIED && !ListedAsLink(place)) {
    bool mayRestart = true;
    error = TakeOver(place, nullptr, false, NtFile::kDeleteAccess, kWipeFile, file, mayRestart);
    takenOver = true;
    if (error != ERROR_SUCCESS && !IsGone(place, error)) {
      // Denied still: only the restart gets past it.
      return mayRestart ? ScheduleInPlace(target, kWipeFile, error) : Outcome::Failed;
    }
  }
  if (error != ERROR_SUCCESS) {
    if (IsGone(place, error)) return Outcome::Removed;
    if (ListedAsLink(place)) {
      LogFuncW(LogError, kWipeFile, L"Link '%s' not removed: %lu", target.shown.c_str(), error);
      return Outcome::Failed;
    }
    // Another program's handle that allows no deletion: no owner gets past it, the restart
    // does, by the path.
    if (IsInUse(error)) return ScheduleInPlace(target, kWipeFile, error);
    LogFuncW(LogError, kWipeFile, L"DeleteFile('%s') failed: %lu", target.shown.c_str(), error);
    return Outcome::Failed;
  }

  // Most files go with one deletion through their handle. That handle holds the object the name
  // ends in now, a link as the link, so the plain deletion removes what the listing showed, or
  // a link as the link; everything beyond it is done only after the handle's own view agrees.
  if (!takenOver && !ListedAsLink(place) && NtFile::MarkForDeletion(file.get()) == ERROR_SUCCESS) {
    return Outcome::Removed;
  }
  NtFile::Identity identity;
  if (!ReadIdentity(file.get(), target, kWipeFile, identity) || ListedAsLink(place) ||
      NtFile::IsLink(identity.attributes, identity.reparseTag)) {
    return RemoveLink(file.get(), target, kWipeFile);
  }
  if (IsDirectory(identity.attributes)) {
    LogFuncW(LogError, kWipeFile, L"Not a file, left alone: '%s'", target.shown.c_str());
    return Outcome::Failed;
  }
  error = NtFile::ClearReadOnly(file.get(), identity.attributes);
  if (error == ERROR_ACCESS_DENIED && !takenOver) {
    // The bit stands in the way of the deletion, and the file's security keeps it: taken over,
    // and cleared again on the file opened anew.
    UniqueFileHandle reopened;
    bool mayRestart = true;
    if (TakeOver(place, file.get(), false, NtFile::kDeleteAccess, kWipeFile, reopened,
                 mayRestart) == ERROR_SUCCESS) {
      file = std::move(reopened);
      NtFile::ClearReadOnly(file.get(), identity.attributes);
    }
  }
  error = NtFile::MarkForDeletion(file.get());
  if (error == ERROR_SUCCESS || IsGone(place, error)) return Outcome::Removed;
  // Opened for deletion, and the deletion refused all the same: in use (a program's mapped
  // image answers ERROR_ACCESS_DENIED), and no owner changes that.
  if (error == ERROR_ACCESS_DENIED || IsInUse(error)) {
    return ScheduleHeld(file.get(), target, kWipeFile);
  }
  LogFuncW(LogError, kWipeFile, L"DeleteFile('%s') failed: %lu", target.shown.c_str(), error);
  return Outcome::Failed;
}

// One removal of the folder the handle holds, and nothing more: no new owner, no DACL, no
// restart. A read-only bit that stands in the way is cleared for the attempt and put back when
// the folder stays.
Outcome RemoveFolderOnce(HANDLE folder, const Target& target, DWORD attributes,
                         const char* function, int keptLevel) {
  const bool cleared =
      (attributes & FILE_ATTRIBUTE_READONLY) != 0 && NtFile::ClearReadOnly(folder, attributes) == 0;
  const DWORD error = NtFile::MarkForDeletion(folder);
  if (error == ERROR_SUCCESS) return Outcome::Removed;
  if (cleared) NtFile::ChangeAttributes(folder, attributes);
  if (error == ERROR_DIR_NOT_EMPTY) {
    LogFuncW(keptLevel, function, L"Directory '%s' kept: it is not empty", target.shown.c_str());
  } else {
    LogFuncW(LogError, function, L"RemoveDirectory('%s') failed: %lu", target.shown.c_str(), error);
  }
  return Outcome::Failed;
}

// The one removal of a folder reached at the place that nothing can be known of (it can't be
// opened for listing): it goes only if it is empty, and a link only as the link.
Outcome RemoveUnlistedOnce(const Place& place, const char* function, DWORD listingError) {
  UniqueFileHandle folder;
  const DWORD error = Open(place, NtFile::kDeleteAccess, folder);
  if (error == ERROR_SUCCESS) {
    NtFile::Identity identity;
    if (ReadIdentity(folder.get(), place.target, function, identity) &&
        NtFile::MarkForDeletion(folder.get()) == ERROR_SUCCESS) {
      return Outcome::Removed;
    }
  } else if (IsGone(place, error)) {
    return Outcome::Removed;
  }
  LogListingFailure(function, place.target.shown, listingError);
  return Outcome::Failed;
}

// A folder the walk holds open, with what it listed in it.
struct Folder {
  Place place;
  UniqueFileHandle handle;
  // Why the handle can't delete the folder (its security, another program's handle that allows
  // no deletion); 0 where it can.
  DWORD deleteRefused = ERROR_SUCCESS;
  DWORD attributes = 0;
  int64_t id = 0;
  std::vector<NtFile::Entry> entries;
  size_t next = 0;
  bool all = true;
  // The entries this walk deleted (their deletion may still be pending) or scheduled.
  std::vector<int64_t> walked;
};

// A folder that would not go while it still holds entries: it follows them to the restart
// when each of them is one that this walk deleted (its deletion still pending) or scheduled.
// It holds entries that wait by their paths, so it is not moved: its own path is scheduled.
Outcome FollowEntries(Folder& folder, const char* function) {
  // Listed anew, through a handle of its own: one that listed the folder before may answer
  // from what it read then.
  std::vector<NtFile::Entry> left;
  UniqueFileHandle listing;
  DWORD error = NtFile::Reopen(folder.handle.get(), FILE_LIST_DIRECTORY, listing);
  if (error == ERROR_SUCCESS) error = List(listing.get(), folder.place.target, left);
  if (error != ERROR_SUCCESS) {
    LogListingFailure(function, folder.place.target.shown, error);
    return Outcome::Failed;
  }
  std::sort(folder.walked.begin(), folder.walked.end());
  for (const auto& entry : left) {
    if (!std::binary_search(folder.walked.begin(), folder.walked.end(), entry.fileId)) {
      LogFuncW(LogError, function, L"Directory '%s' kept: it holds '%s', which was not removed",
               folder.place.target.shown.c_str(), entry.name.c_str());
      return Outcome::Failed;
    }
  }
  return ScheduleInPlace(folder.place.target, function, ERROR_DIR_NOT_EMPTY);
}

// The folder this walk listed and found empty, or whose every entry it deleted or scheduled:
// the read-only bit cleared, removed; when its security keeps the bit, the Administrators
// group as owner and the bit cleared again; when in use, or when it still holds entries of the
// walk whose deletion is pending, the deletion at the next restart.
Outcome ForceFolder(Folder& folder, const char* function) {
  const Target& target = folder.place.target;
  if (folder.deleteRefused == ERROR_ACCESS_DENIED) {
    // Its security refuses the deletion of a folder known to hold nothing of anyone else's.
    UniqueFileHandle reopened;
    bool mayRestart = true;
    if (TakeOver(folder.place, folder.handle.get(), true, NtFile::kFolderAccess, function, reopened,
                 mayRestart) == ERROR_SUCCESS) {
      folder.handle = std::move(reopened);
      folder.deleteRefused = ERROR_SUCCESS;
    } else if (!mayRestart) {
      return Outcome::Failed;
    }
  }
  if (folder.deleteRefused != ERROR_SUCCESS) {
    return ScheduleInPlace(target, function, folder.deleteRefused);
  }
  DWORD error = NtFile::ClearReadOnly(folder.handle.get(), folder.attributes);
  if (error == ERROR_ACCESS_DENIED) {
    UniqueFileHandle reopened;
    bool mayRestart = true;
    if (TakeOver(folder.place, folder.handle.get(), true, NtFile::kFolderAccess, function, reopened,
                 mayRestart) == ERROR_SUCCESS) {
      folder.handle = std::move(reopened);
      NtFile::ClearReadOnly(folder.handle.get(), folder.attributes);
    }
  }
  error = NtFile::MarkForDeletion(folder.handle.get());
  if (error == ERROR_SUCCESS) return Outcome::Removed;
  if (error == ERROR_DIR_NOT_EMPTY) return FollowEntries(folder, function);
  if (error == ERROR_ACCESS_DENIED || IsInUse(error)) {
    return ScheduleInPlace(target, function, error);
  }
  LogFuncW(LogError, function, L"RemoveDirectory('%s') failed: %lu", target.shown.c_str(), error);
  return Outcome::Failed;
}

// Opens the folder for its listing and its deletion; where its deletion is refused (by its
// security, or by another program's handle), for its listing alone, the refusal kept for the
// end of the walk. Where its listing is denied and `mayTakeOver`, the folder is taken over
// through a handle of its own and opened again (TakeOver; `mayRestart` as there).
DWORD OpenForWalk(Folder& folder, bool mayTakeOver, const char* function, bool& mayRestart) {
  mayRestart = true;
  folder.deleteRefused = ERROR_SUCCESS;
  DWORD error = Open(folder.place, NtFile::kFolderAccess, folder.handle);
  // A link is opened for nothing but its deletion.
  if ((error != ERROR_ACCESS_DENIED && !IsInUse(error)) || ListedAsLink(folder.place)) {
    return error;
  }
  const DWORD refused = error;
  error = Open(folder.place, NtFile::kListAccess, folder.handle);
  if (error == ERROR_SUCCESS) {
    folder.deleteRefused = refused;
    return ERROR_SUCCESS;
  }
  if (error != ERROR_ACCESS_DENIED || !mayTakeOver) return error;
  // Its listing is denied: a folder that a product protects against the Administrators.
  return TakeOver(folder.place, nullptr, true, NtFile::kFolderAccess, function, folder.handle,
                  mayRestart);
}

// Opens the folder reached at the place for the walk (OpenForWalk); where it stays unreadable,
// only its one plain removal is tried. A link (by the listing or by its own handle) is removed
// as the link. The outcome where the folder is done with, or true with the folder open.
bool OpenFolder(const Place& place, bool named, Folder& folder, Outcome& outcome) {
  const Target& target = place.target;
  folder.place = place;
  folder.id = place.entry.fileId;
  bool mayRestart = true;
  DWORD error = OpenForWalk(folder, true, kWipeDirectory, mayRestart);
  if (error != ERROR_SUCCESS) {
    if (IsGone(place, error)) {
      outcome = named ? Outcome::Failed : Outcome::Removed;
    } else if (!mayRestart) {
      outcome = Outcome::Failed;
    } else if (ListedAsLink(place)) {
      LogFuncW(LogError, kWipeDirectory, L"Link '%s' not removed: %lu", target.shown.c_str(),
               error);
      outcome = Outcome::Failed;
    } else {
      outcome = RemoveUnlistedOnce(place, kWipeRecursive, error);
    }
    return false;
  }
  NtFile::Identity identity;
  if (!ReadIdentity(folder.handle.get(), target, kWipeRecursive, identity) || ListedAsLink(place) ||
      NtFile::IsLink(identity.attributes, identity.reparseTag)) {
    outcome = RemoveLink(folder.handle.get(), target,
                         place.folder != nullptr ? kWipeDirectory : kWipeRecursive);
    return false;
  }
  if (!IsDirectory(identity.attributes)) {
    LogFuncW(LogError, kWipeRecursive, L"Not a directory, left alone: '%s'", target.shown.c_str());
    outcome = Outcome::Failed;
    return false;
  }
  folder.attributes = identity.attributes;
  error = List(folder.handle.get(), target, folder.entries);
  if (error != ERROR_SUCCESS) {
    // Nothing of what it holds is known, so nothing of it is touched: the folder itself goes
    // only when it is empty, and the tree counts as not removed.
    LogListingFailure(kWipeRecursive, target.shown, error);
    if (folder.deleteRefused == ERROR_SUCCESS) {
      RemoveFolderOnce(folder.handle.get(), target, folder.attributes, kWipeDirectory, LogWarning);
    }
    outcome = Outcome::Failed;
    return false;
  }
  return true;
}

// What stayed below holds the folder: its one plain removal, and its lines say why.
void KeepFolder(Folder& folder) {
  if (folder.deleteRefused == ERROR_SUCCESS) {
    RemoveFolderOnce(folder.handle.get(), folder.place.target, folder.attributes, kWipeDirectory,
                     LogWarning);
  } else {
    LogFuncW(LogError, kWipeDirectory, L"RemoveDirectory('%s') failed: %lu",
             folder.place.target.shown.c_str(), folder.deleteRefused);
  }
}

// The walk's last step on a folder whose every entry was tried.
Outcome FinishFolder(Folder& folder) {
  if (!folder.all) {
    KeepFolder(folder);
    return Outcome::Failed;
  }
  return ForceFolder(folder, kWipeDirectory);
}

// Every so many levels, a walk goes on below a short path: the folder it just opened is moved,
// through its handle, into the tool's own folder at the root of its volume, which only the
// Administrators and the system can write, and opened there again (the same object, by its file
// id). A system that resolves each open's whole path anew (Wine's server does) then never
// resolves more than a few dozen levels, and the walk's cost grows with the entries, not with
// the square of the depth. A folder that can't be moved is walked where it is.
constexpr size_t kRelocationDepth = 64;

bool Relocate(Folder& folder) {
  if (folder.deleteRefused != ERROR_SUCCESS) return false;
  std::wstring moved;
  if (RestartStaging::Instance().Relocate(folder.handle.get(), moved) != ERROR_SUCCESS) {
    return false;
  }
  UniqueFileHandle reopened;
  int64_t before = 0;
  int64_t after = -1;
  if (NtFile::QueryFileId(folder.handle.get(), before) != ERROR_SUCCESS ||
      NtFile::OpenPath(moved, NtFile::kFolderAccess, reopened) != ERROR_SUCCESS ||
      NtFile::QueryFileId(reopened.get(), after) != ERROR_SUCCESS || before != after) {
    // Where it is now is the tool's own folder: the walk goes on through the handle it has.
    return true;
  }
  LogFuncW(LogDebug, kWipeRecursive, L"'%s' moved to '%s' for its removal",
           folder.place.target.shown.c_str(), moved.c_str());
  folder.handle = std::move(reopened);
  folder.place.folder = nullptr;
  folder.place.name.clear();
  folder.place.target.system = moved;
  return true;
}

// The tree at the place with everything in it. `named`: the tree the caller named, which is
// false when it is missing; a folder that the walk found and that is gone by now counts as
// removed. The walk keeps its own stack of open folders: each folder is opened once, listed
// through its handle, and its entries are opened relative to that handle, never by a path
// through which a swapped-in link could lead elsewhere.
Outcome WipeTree(const Place& root, bool named) {
  std::vector<Folder> stack;
  Outcome outcome = Outcome::Failed;
  bool relocated = false;
  stack.emplace_back();
  if (!OpenFolder(root, named, stack.back(), outcome)) return outcome;
  for (;;) {
    Folder& top = stack.back();
    if (top.next < top.entries.size()) {
      const NtFile::Entry& entry = top.entries[top.next++];
      const Place place = EntryPlace(top.place.target, top.handle.get(), entry);
      if (IsDirectory(entry.attributes) && !ListedAsLink(place)) {
        Folder child;
        if (OpenFolder(place, false, child, outcome)) {
          if (stack.size() % kRelocationDepth == 0) relocated = Relocate(child) || relocated;
          stack.push_back(std::move(child));
          continue;
        }
      } else if (IsDirectory(entry.attributes)) {
        UniqueFileHandle link;
        const DWORD error = Open(place, NtFile::kDeleteAccess, link);
        if (error == ERROR_SUCCESS) {
          outcome = RemoveLink(link.get(), place.target, kWipeDirectory);
        } else if (IsGone(place, error)) {
          outcome = Outcome::Removed;
        } else {
          LogFuncW(LogError, kWipeDirectory, L"Link '%s' not removed: %lu",
                   place.target.shown.c_str(), error);
          outcome = Outcome::Failed;
        }
      } else {
        outcome = RemoveFile(place);
      }
      if (Succeeded(outcome)) {
        top.walked.push_back(entry.fileId);
      } else {
        top.all = false;
      }
      continue;
    }
    outcome = FinishFolder(top);
    const int64_t id = top.id;
    stack.pop_back();
    if (stack.empty()) {
      if (relocated) RestartStaging::Instance().RemoveEmptyFolders();
      return outcome;
    }
    Folder& parent = stack.back();
    if (Succeeded(outcome)) {
      parent.walked.push_back(id);
    } else {
      parent.all = false;
    }
  }
}

// One entry of a folder the caller holds: a file as a file, a link as a link, a folder as a
// tree.
Outcome WipeEntry(const Place& place) {
  if (!IsDirectory(place.entry.attributes)) return RemoveFile(place);
  return WipeTree(place, false);
}

}  // namespace

namespace FileOps {

void SetEntryHookForTests(EntryHook hook) { entryHook = hook; }

bool WipeFileInternal(const std::wstring& path, DWORD /*attributes*/) {
  // The file's own handle tells what it is: a link, a read-only file, a folder.
  return Succeeded(RemoveFile(NamedPlace(path)));
}

bool DoRemoveDirectory(const std::wstring& path) {
  const Place place = NamedPlace(path);
  UniqueFileHandle folder;
  const DWORD error = Open(place, NtFile::kDeleteAccess, folder);
  if (error != ERROR_SUCCESS) {
    if (IsGone(place, error)) return true;
    LogFuncW(LogError, kRemoveDirectory, L"RemoveDirectory('%s') failed: %lu", path.c_str(), error);
    return false;
  }
  NtFile::Identity identity;
  if (!ReadIdentity(folder.get(), place.target, kRemoveDirectory, identity) ||
      ListedAsLink(place) || NtFile::IsLink(identity.attributes, identity.reparseTag)) {
    return Succeeded(RemoveLink(folder.get(), place.target, kRemoveDirectory));
  }
  if (!IsDirectory(identity.attributes)) {
    LogFuncW(LogError, kRemoveDirectory, L"RemoveDirectory('%s') failed: %lu", path.c_str(),
             static_cast<DWORD>(ERROR_DIRECTORY));
    return false;
  }
  return Succeeded(
      RemoveFolderOnce(folder.get(), place.target, identity.attributes, kRemoveDirectory, LogInfo));
}

bool WipeDirectoryInternal(const std::wstring& path) {
  Folder folder;
  folder.place = NamedPlace(path);
  const Target& target = folder.place.target;
  // The folder named: where its listing is denied, taken over through its own handle, then
  // looked at again.
  bool mayRestart = true;
  DWORD error = OpenForWalk(folder, true, kWipeDirectory, mayRestart);
  if (error != ERROR_SUCCESS) {
    if (IsGone(folder.place, error)) return true;
    if (mayRestart) {
      LogFuncW(LogError, kWipeDirectory, L"RemoveDirectory('%s') failed: %lu", path.c_str(), error);
    }
    return false;
  }
  NtFile::Identity identity;
  if (!ReadIdentity(folder.handle.get(), target, kWipeDirectory, identity) ||
      ListedAsLink(folder.place) || NtFile::IsLink(identity.attributes, identity.reparseTag)) {
    return Succeeded(RemoveLink(folder.handle.get(), target, kWipeDirectory));
  }
  if (!IsDirectory(identity.attributes)) {
    LogFuncW(LogError, kWipeDirectory, L"RemoveDirectory('%s') failed: %lu", path.c_str(),
             static_cast<DWORD>(ERROR_DIRECTORY));
    return false;
  }
  folder.attributes = identity.attributes;
  error = List(folder.handle.get(), target, folder.entries);
  if (error != ERROR_SUCCESS) {
    LogListingFailure(kWipeDirectory, path, error);
    return folder.deleteRefused == ERROR_SUCCESS &&
           Succeeded(RemoveFolderOnce(folder.handle.get(), target, folder.attributes,
                                      kWipeDirectory, LogError));
  }
  if (!folder.entries.empty()) {
    LogFuncW(LogError, kWipeDirectory, L"Directory '%s' not removed: it is not empty",
             path.c_str());
    return false;
  }
  return Succeeded(ForceFolder(folder, kWipeDirectory));
}

bool WipeRecursive(const std::wstring& path) {
  if (path.empty()) return false;
  return Succeeded(WipeTree(NamedPlace(path), true));
}

bool WipeRecursiveAndParentIfEmpty(const std::wstring& path) {
  std::wstring directory;
  std::wstring name;
  if (!SplitPath(path, directory, name)) return WipeRecursive(path);
  Folder parent;
  parent.place = NamedPlace(directory);
  // Not what the call removes: a parent whose listing is denied is not taken over.
  bool mayRestart = true;
  DWORD error = OpenForWalk(parent, false, kWipeWithParent, mayRestart);
  if (error != ERROR_SUCCESS) {
    // Neither the parent nor the path is there.
    if (IsGone(parent.place, error)) return false;
    // A parent that can't be read is not empty: it stays, and the call can't say it did all.
    LogListingFailure(kWipeWithParent, directory, error);
    WipeRecursive(path);
    return false;
  }
  NtFile::Identity identity;
  if (!ReadIdentity(parent.handle.get(), parent.place.target, kWipeWithParent, identity) ||
      ListedAsLink(parent.place) || NtFile::IsLink(identity.attributes, identity.reparseTag)) {
    // The parent seen through a link is someone else's folder: only the path goes.
    LogFuncW(LogWarning, kWipeWithParent, L"Parent '%s' is a link, kept", directory.c_str());
    return WipeRecursive(path);
  }
  // Nothing can lie below a file, and the file is not what was named.
  if (!IsDirectory(identity.attributes)) {
    LogFuncW(LogError, kWipeWithParent, L"Not a directory, left alone: '%s'", directory.c_str());
    return false;
  }
  parent.attributes = identity.attributes;
  error = List(parent.handle.get(), parent.place.target, parent.entries);
  if (error != ERROR_SUCCESS) {
    LogListingFailure(kWipeWithParent, directory, error);
    WipeRecursive(path);
    return false;
  }
  if (parent.entries.empty()) return Succeeded(ForceFolder(parent, kWipeDirectory));
  if (parent.entries.size() == 1 && parent.entries.front().name == name) {
    // The path goes first, then the parent that held nothing else: after the path at the
    // restart when the path waits for it.
    const NtFile::Entry only = parent.entries.front();
    if (!Succeeded(WipeEntry(EntryPlace(parent.place.target, parent.handle.get(), only)))) {
      KeepFolder(parent);
      return false;
    }
    parent.walked.push_back(only.fileId);
    return Succeeded(ForceFolder(parent, kWipeDirectory));
  }
  return WipeRecursive(path);
}

bool WipeEntriesByMask(const std::wstring& directory, const std::wstring& mask) {
  const Place place = NamedPlace(directory);
  if (ListedAsLink(place)) {
    LogFuncW(LogError, kWipeByMask, L"Link '%s' not entered", directory.c_str());
    return false;
  }
  UniqueFileHandle folder;
  DWORD error = Open(place, NtFile::kListAccess, folder);
  if (error != ERROR_SUCCESS) {
    // A missing directory holds nothing to remove; one that can't be read may hold anything.
    if (IsGone(place, error)) return true;
    LogListingFailure(kWipeByMask, directory, error);
    return false;
  }
  NtFile::Identity identity;
  if (!ReadIdentity(folder.get(), place.target, kWipeByMask, identity) || ListedAsLink(place) ||
      NtFile::IsLink(identity.attributes, identity.reparseTag)) {
    // Its entries are another folder's.
    LogFuncW(LogError, kWipeByMask, L"Link '%s' not entered", directory.c_str());
    return false;
  }
  // A file holds nothing to remove.
  if (!IsDirectory(identity.attributes)) return true;
  std::vector<NtFile::Entry> entries;
  error = List(folder.get(), place.target, entries);
  if (error != ERROR_SUCCESS) {
    LogListingFailure(kWipeByMask, directory, error);
    return false;
  }
  bool all = true;
  for (const auto& entry : entries) {
    if (!WildcardMatch(entry.name, mask, false)) continue;
    all = Succeeded(WipeEntry(EntryPlace(place.target, folder.get(), entry))) && all;
  }
  return all;
}

bool ContainsFiles(const std::wstring& path, bool recursive) {
  if (path.empty()) return false;
  // The walk keeps its own stack of open folders, as the removal does.
  struct Held {
    Target target;
    UniqueFileHandle handle;
  };
  std::vector<Held> stack;
  stack.push_back({TargetOf(path), {}});
  if (NtFile::OpenPath(stack.back().target.system, NtFile::kListAccess, stack.back().handle) !=
      ERROR_SUCCESS) {
    return false;
  }
  while (!stack.empty()) {
    Held folder = std::move(stack.back());
    stack.pop_back();
    std::vector<NtFile::Entry> entries;
    if (List(folder.handle.get(), folder.target, entries) != ERROR_SUCCESS) continue;
    for (const auto& entry : entries) {
      if (!IsDirectory(entry.attributes)) return true;
      // A reparse point may lead anywhere, an ancestor of its own included.
      if (!recursive || NtFile::IsLink(entry.attributes, entry.reparseTag)) continue;
      Held child{ChildOf(folder.target, entry.name), {}};
      if (NtFile::OpenChild(folder.handle.get(), entry.name, NtFile::kListAccess, child.handle) ==
          ERROR_SUCCESS) {
        stack.push_back(std::move(child));
      }
    }
  }
  return false;
}

StringList ListDirectory(const std::wstring& path, bool includeFiles, bool includeDirectories) {
  StringList names;
  if (path.empty()) return names;
  const Target target = TargetOf(path);
  UniqueFileHandle folder;
  if (NtFile::OpenPath(target.system, NtFile::kListAccess, folder) != ERROR_SUCCESS) {
    return names;
  }
  std::vector<NtFile::Entry> entries;
  List(folder.get(), target, entries);
  for (const auto& entry : entries) {
    if (IsDirectory(entry.attributes) ? includeDirectories : includeFiles) {
      names.push_back(entry.name);
    }
  }
  return names;
}

}  // namespace FileOps
