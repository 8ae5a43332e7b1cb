#include "ScratchFolder.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "PathUtils.h"
#include "UniqueAny.h"

namespace {

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (find) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(find.get(), &entry));
  }
  find.reset();
  ::RemoveDirectoryW(folder.c_str());
}

void CollectTree(const std::wstring& folder, const std::wstring& prefix,
                 std::vector<std::wstring>& paths) {
  WIN32_FIND_DATAW entry{};
  UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!find) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring relative = prefix.empty() ? name : prefix + L"\\" + name;
    paths.push_back(relative);
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      CollectTree(folder + L"\\" + name, relative, paths);
    }
  } while (::FindNextFileW(find.get(), &entry));
}

}  // namespace

ScratchFolder::ScratchFolder(const std::wstring& name) {
  static std::atomic<unsigned> serial{0};
  path_ = std::wstring(TEST_SCRATCH_DIR) + L"\\" + name + L"-" +
          std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(serial++);
  RemoveTree(path_);
  CreateDirectoryRecursive(path_, nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

std::wstring ScratchFolder::operator/(const std::wstring& relative) const {
  return path_ + L"\\" + relative;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
         written == bytes.size();
}

bool ReadBytes(const std::wstring& path, std::string& bytes) {
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) return false;
  bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (bytes.empty()) return true;
  return ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
         read == bytes.size();
}

std::vector<std::wstring> ListTree(const std::wstring& folder) {
  std::vector<std::wstring> paths;
  CollectTree(folder, L"", paths);
  std::sort(paths.begin(), paths.end());
  return paths;
}
