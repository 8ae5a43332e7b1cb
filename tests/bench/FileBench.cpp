// Measures the forced tree removal under Wine (not a test; see tools/filebench.sh): a tree of
// 20,000 small files in 2,000 folders is removed by FileOps::WipeRecursive, then an identical
// tree by "cmd /c rmdir /s /q", and both times are printed with their ratio. Optional
// argument: the number of folders (2000), each with 10 files.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "BenchClock.h"
#include "FileOps.h"
#include "PathUtils.h"
#include "UniqueAny.h"

namespace {

constexpr int kFilesPerFolder = 10;
constexpr int kFoldersPerGroup = 100;

// Groups of 100 folders of 10 files each below the root.
bool BuildTree(const std::wstring& root, int folders) {
  for (int i = 0; i < folders; ++i) {
    const std::wstring folder = root + L"\\group" + std::to_wstring(i / kFoldersPerGroup) +
                                L"\\folder" + std::to_wstring(i);
    if (!CreateDirectoryRecursive(folder, nullptr)) return false;
    for (int j = 0; j < kFilesPerFolder; ++j) {
      const std::wstring file = folder + L"\\file" + std::to_wstring(j) + L".txt";
      UniqueFileHandle handle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
      DWORD written = 0;
      if (!handle || !::WriteFile(handle.get(), "small file\r\n", 12, &written, nullptr)) {
        std::fwprintf(stderr, L"could not write %ls\n", file.c_str());
        return false;
      }
    }
  }
  return true;
}

double RemoveWithRmdir(const std::wstring& root) {
  return TimeCommand(L"cmd.exe /c rmdir /s /q \"" + root + L"\"");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int folders = argc > 1 ? std::max(1, _wtoi(argv[1])) : 2000;
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring root = CombinePath(temp, L"PurgeKitFileBench");
  std::wprintf(L"Tree of %d files in %d folders below %ls\n", folders * kFilesPerFolder, folders,
               root.c_str());

  if (!BuildTree(root, folders)) return 1;
  double start = Seconds();
  const bool wiped = FileOps::WipeRecursive(root);
  const double wipe = Seconds() - start;
  if (!wiped || PathExists(root)) {
    std::wprintf(L"FileOps::WipeRecursive failed\n");
    return 1;
  }

  if (!BuildTree(root, folders)) return 1;
  const double rmdir = RemoveWithRmdir(root);
  if (rmdir < 0 || PathExists(root)) {
    std::wprintf(L"rmdir failed\n");
    return 1;
  }

  std::wprintf(L"FileOps::WipeRecursive: %.3f s\n", wipe);
  std::wprintf(L"cmd /c rmdir /s /q:     %.3f s\n", rmdir);
  std::wprintf(L"ratio:                  %.2f\n", wipe / rmdir);
  return 0;
}
