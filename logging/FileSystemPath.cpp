#include "FileSystemPath.h"

#include <vector>

#include "LogHandles.h"
#include "UniqueAny.h"

namespace KvTzkLogging::FileSystem {

namespace {

// A folder's listing, attributes and security, and a way through it to what it holds.
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;
// A folder missing, then made by another process before it could be made here; a link
// removed and made again: after so many turns the folder is given up.
constexpr int kFolderTurns = 3;

std::vector<std::wstring> Components(const std::wstring& relative) {
  std::vector<std::wstring> names;
  size_t begin = 0;
  for (;;) {
    const size_t end = relative.find(L'\\', begin);
    const std::wstring name = relative.substr(begin, end == std::wstring::npos ? end : end - begin);
    if (!name.empty()) names.push_back(name);
    if (end == std::wstring::npos) return names;
    begin = end + 1;
  }
}

}  // namespace

std::unique_ptr<File> Path::NewFile() { return std::make_unique<File>(); }

DWORD Path::OpenFolder(HANDLE parent, const std::wstring& name, const std::wstring&,
                       UniqueFileHandle& folder) {
  return Handles::OpenEntry(parent, name, kFolderAccess, Handles::Kind::Directory, false, nullptr,
                            folder);
}

DWORD Path::Attributes(HANDLE folder, const std::wstring&) {
  DWORD attributes = 0;
  return Handles::QueryAttributes(folder, attributes) == ERROR_SUCCESS ? attributes
                                                                       : INVALID_FILE_ATTRIBUTES;
}

bool Path::MakeDirectory(HANDLE parent, const std::wstring& name, const std::wstring&,
                         SECURITY_ATTRIBUTES* security, UniqueFileHandle& folder) {
  const DWORD error =
      Handles::OpenEntry(parent, name, kFolderAccess, Handles::Kind::Directory, true,
                         security != nullptr ? security->lpSecurityDescriptor : nullptr, folder);
  ::SetLastError(error);
  return error == ERROR_SUCCESS;
}

bool Path::RemoveLink(HANDLE link, const std::wstring&) {
  UniqueFileHandle deletable;
  return Handles::Reopen(link, DELETE, deletable) == ERROR_SUCCESS &&
         Handles::MarkForDeletion(deletable.get()) == ERROR_SUCCESS;
}

bool Path::CreateDirs(const std::wstring& path, size_t start, SECURITY_ATTRIBUTES* security,
                      Folder& folder) {
  folder = Folder();
  // The root as it is, whatever it is; an empty one is the root of the current drive.
  std::wstring current = start > 0 ? path.substr(0, start - 1) : std::wstring();
  UniqueFileHandle parent;
  if (Handles::OpenFolderPath(current.empty() ? L"\\" : current, kFolderAccess, parent) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::wstring parentName;
  if (Handles::QueryName(parent.get(), parentName) != ERROR_SUCCESS) return false;
  const std::vector<std::wstring> names =
      Components(start <= path.size() ? path.substr(start) : L"");
  if (names.empty()) return false;
  for (const auto& name : names) {
    // A root given with a trailing backslash gets no second one.
    if (current.empty() || current.back() != L'\\') current += L'\\';
    current += name;
    UniqueFileHandle opened;
    for (int turn = 0;; ++turn) {
      if (turn == kFolderTurns) return false;
      DWORD error = OpenFolder(parent.get(), name, current, opened);
      if (error == ERROR_FILE_NOT_FOUND) {
        if (!MakeDirectory(parent.get(), name, current, security, opened)) {
          error = ::GetLastError();
          // Another process may have made it since we looked: it is looked at once more.
          if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) continue;
          return false;
        }
      } else if (error != ERROR_SUCCESS) {
        return false;  // a plain file in the way, among others
      }
      if (!Handles::IsEntryItself(opened.get(), parentName, name)) return false;
      const DWORD attributes = Attributes(opened.get(), current);
      if (attributes == INVALID_FILE_ATTRIBUTES) return false;
      if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) break;
      if (!RemoveLink(opened.get(), current)) return false;
      opened.reset();
    }
    parent = std::move(opened);
    parentName = Handles::EntryName(parentName, name);
  }
  folder.handle = std::move(parent);
  folder.path = current;
  folder.name = parentName;
  return true;
}

DWORD Path::OpenOwnEntry(const Folder& folder, const std::wstring& name, ACCESS_MASK access,
                         UniqueFileHandle& entry) {
  const DWORD error = Handles::OpenEntry(folder.handle.get(), name, access | FILE_READ_ATTRIBUTES,
                                         Handles::Kind::File, false, nullptr, entry);
  if (error != ERROR_SUCCESS) return error;
  if (!Handles::IsEntryItself(entry.get(), folder.name, name)) {
    entry.reset();
    return ERROR_REPARSE_TAG_MISMATCH;
  }
  return ERROR_SUCCESS;
}

bool Path::FolderStillThere(const Folder& folder) {
  return Handles::PathLeadsTo(folder.path, folder.handle.get());
}

bool Path::IsFile(const Folder& folder, const std::wstring& name) {
  UniqueFileHandle entry;
  return folder.handle && OpenOwnEntry(folder, name, 0, entry) == ERROR_SUCCESS;
}

bool Path::Move(const Folder& folder, const std::wstring& from, const std::wstring& to) {
  UniqueFileHandle entry;
  if (!folder.handle || OpenOwnEntry(folder, from, DELETE, entry) != ERROR_SUCCESS) return false;
  if (!FolderStillThere(folder)) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  const DWORD error = Handles::RenameInto(entry.get(), folder.handle.get(), to);
  ::SetLastError(error);
  return error == ERROR_SUCCESS;
}

void Path::Delete(const Folder& folder, const std::wstring& name) {
  if (!folder.handle) return;
  UniqueFileHandle entry;
  DWORD error = OpenOwnEntry(folder, name, DELETE, entry);
  // Only a file that is there as itself and in use is left for the restart: held by another
  // program without delete sharing, or refused its deletion while open.
  bool inUse = error == ERROR_SHARING_VIOLATION;
  if (error == ERROR_SUCCESS) {
    error = Handles::MarkForDeletion(entry.get());
    inUse = error != ERROR_SUCCESS;
  }
  if (!inUse) return;
  // By its path, so only where no one but the trusted may change what the path leads to, and
  // only while it leads to the folder held.
  if (folder.trusted && FolderStillThere(folder)) {
    ::MoveFileExW((folder.path + L"\\" + name).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}

}  // namespace KvTzkLogging::FileSystem
