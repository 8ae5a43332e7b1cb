#include "FileSystemPath.h"

#include "UniqueAny.h"

namespace KvTzkLogging::FileSystem {

std::unique_ptr<File> Path::NewFile() { return std::make_unique<File>(); }

bool Path::IsFile(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  const UniqueFindHandle find(::FindFirstFileW(path.c_str(), &data));
  return find && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Path::CreateDirs(const std::wstring& path, size_t start, SECURITY_ATTRIBUTES* security) {
  size_t position = path.find(L'\\', start);
  for (;;) {
    const bool last = position == std::wstring::npos;
    const std::wstring prefix = last ? path : path.substr(0, position);
    const DWORD attributes = Attributes(prefix);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (!MakeDirectory(prefix, security)) {
        // Another process may have made it since we looked: a real directory is as good.
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
        const DWORD now = Attributes(prefix);
        if (now == INVALID_FILE_ATTRIBUTES || (now & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (now & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
          return false;
        }
      }
    } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      if (!RemoveDir(prefix) || !MakeDirectory(prefix, security)) return false;
    }
    if (last) return true;
    position = path.find(L'\\', position + 1);
  }
}

bool Path::Move(const std::wstring& from, const std::wstring& to) {
  return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

void Path::Delete(const std::wstring& path) {
  if (::DeleteFileW(path.c_str())) return;
  const DWORD error = ::GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
  ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

DWORD Path::Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

bool Path::MakeDirectory(const std::wstring& path, SECURITY_ATTRIBUTES* security) {
  return ::CreateDirectoryW(path.c_str(), security) != FALSE;
}

bool Path::RemoveDir(const std::wstring& path) { return ::RemoveDirectoryW(path.c_str()) != FALSE; }

}  // namespace KvTzkLogging::FileSystem
