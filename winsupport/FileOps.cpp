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

bool IsGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool IsDirectoryEntry(const WIN32_FIND_DATAW& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// ForEachDirectoryEntry, with every entry shown to the test hook first.
template <typename Visit>
bool ForEachEntry(const std::wstring& path, Visit visit) {
  return ForEachDirectoryEntry(path, [&](WIN32_FIND_DATAW& entry) {
    if (entryHook != nullptr) entryHook(path, entry);
    return visit(entry);
  });
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

// One entry of a tree: a file as a file, a reparse point as a link, a directory as a tree.
bool WipeEntry(const std::wstring& path, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return FileOps::WipeFileInternal(path, attributes);
  }
  if (IsReparsePoint(attributes)) return FileOps::WipeDirectoryInternal(path);
  return FileOps::WipeRecursive(path);
}

}  // namespace

namespace FileOps {

void SetEntryHookForTests(EntryHook hook) { entryHook = hook; }

bool WipeFileInternal(const std::wstring& path, DWORD attributes) {
  ClearReadOnlyAttribute(path, attributes);
  if (::DeleteFileW(path.c_str())) return true;
  // A file whose folder is missing is just as gone as a missing file.
  if (IsGone(::GetLastError())) return true;
  if (TakeOwnership(path, "FileOps::WipeFileInternal") == ERROR_SUCCESS) {
    ClearReadOnlyAttribute(path, attributes);
    if (::DeleteFileW(path.c_str())) return true;
  }
  return DeleteAtRestart(path, "FileOps::WipeFileInternal");
}

bool DoRemoveDirectory(const std::wstring& path) {
  if (::RemoveDirectoryW(path.c_str())) return true;
  if (IsGone(::GetLastError())) return true;
  if (TakeOwnership(path, "FileOps::DoRemoveDirectory") != ERROR_SUCCESS) return false;
  return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

bool WipeDirectoryInternal(const std::wstring& path) {
  if (DoRemoveDirectory(path)) return true;
  return DeleteAtRestart(path, "FileOps::WipeDirectoryInternal");
}

bool WipeRecursive(const std::wstring& path) {
  if (path.empty()) return false;
  // A link given as the tree itself is removed as a link too: what it points to belongs to
  // something else.
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && IsReparsePoint(attributes) &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return WipeDirectoryInternal(path);
  }
  bool all = true;
  const bool listed = ForEachEntry(path, [&](const WIN32_FIND_DATAW& entry) {
    all = WipeEntry(CombinePath(path, entry.cFileName), entry.dwFileAttributes) && all;
    return true;
  });
  if (!listed) {
    if (::GetLastError() != ERROR_PATH_NOT_FOUND) WipeDirectoryInternal(path);
    return false;
  }
  return WipeDirectoryInternal(path) && all;
}

bool WipeRecursiveAndParentIfEmpty(const std::wstring& path) {
  std::wstring directory;
  std::wstring name;
  if (!SplitPath(path, directory, name)) return WipeRecursive(path);
  const StringList entries = ListDirectory(directory, true, true);
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
  ForEachEntry(directory, [&](const WIN32_FIND_DATAW& entry) {
    if (WildcardMatch(entry.cFileName, mask, false)) {
      matches.push_back({CombinePath(directory, entry.cFileName), entry.dwFileAttributes});
    }
    return true;
  });
  bool all = true;
  for (const auto& match : matches) all = WipeEntry(match.path, match.attributes) && all;
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
  if (path.empty()) return names;
  ForEachEntry(path, [&](const WIN32_FIND_DATAW& entry) {
    if (IsDirectoryEntry(entry) ? includeDirectories : includeFiles) {
      names.push_back(entry.cFileName);
    }
    return true;
  });
  return names;
}

}  // namespace FileOps
