// Measures the forced tree removal under Wine (not a test; see tools/filebench.sh): a tree of
// 20,000 small files in 2,000 folders is removed by FileOps::WipeRecursive, then an identical
// tree by "cmd /c rmdir /s /q", and both times are printed with their ratio. Optional
// argument: the number of folders (2000), each with 10 files. With --depth N..., chains of
// folders N levels deep are removed instead, each timed.
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

// A chain of one-letter folders `depth` levels deep below the root, a file in the deepest.
bool BuildChain(const std::wstring& root, int depth) {
  std::wstring folder = ExtendedPath(root);
  if (!::CreateDirectoryW(folder.c_str(), nullptr)) return false;
  for (int level = 0; level < depth; ++level) {
    folder += L"\\d";
    if (!::CreateDirectoryW(folder.c_str(), nullptr)) {
      std::fwprintf(stderr, L"could not make level %d: %lu\n", level + 1, ::GetLastError());
      return false;
    }
  }
  return UniqueFileHandle(::CreateFileW((folder + L"\\f.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
      .is_valid();
}

// The removal of chains of the given depths, one after the other, each timed.
int MeasureDepths(const std::wstring& root, int argc, wchar_t** argv) {
  for (int i = 2; i < argc; ++i) {
    const int depth = std::max(1, _wtoi(argv[i]));
    if (!BuildChain(root, depth)) return 1;
    const double start = Seconds();
    const bool wiped = FileOps::WipeRecursive(root);
    const double seconds = Seconds() - start;
    if (!wiped || PathExists(ExtendedPath(root))) {
      std::wprintf(L"FileOps::WipeRecursive failed at depth %d\n", depth);
      return 1;
    }
    std::wprintf(L"depth %5d: %.3f s\n", depth, seconds);
  }
  return 0;
}

double RemoveWithRmdir(const std::wstring& root) {
  return TimeCommand(L"cmd.exe /c rmdir /s /q \"" + root + L"\"");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  // --depth N...: chains of folders N levels deep, on the C: drive's root so that the deepest
  // fits Wine's Unix paths.
  if (argc > 2 && std::wstring(argv[1]) == L"--depth") {
    return MeasureDepths(L"C:\\PurgeKitDepthBench", argc, argv);
  }
  const int folders = argc > 1 ? std::max(1, _wtoi(argv[1])) : 2000;
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
