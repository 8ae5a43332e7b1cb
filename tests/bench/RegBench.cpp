// Measures the forced branch removal under Wine (not a test; see tools/regbench.sh): a branch
// of 10,000 keys with three values each is removed by RegOps::WipeBranch, then an identical
// branch by "reg delete /f", and both times are printed with their ratio. Optional argument:
// the number of keys (10000).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "BenchClock.h"
#include "RegOps.h"
#include "UniqueAny.h"
#include "Win32Registry.h"

namespace {

constexpr wchar_t kBranch[] = L"SOFTWARE\\PurgeKitTests\\RegBench";
constexpr int kKeysPerGroup = 100;

// Groups of 100 keys below the branch, each key with a string, a number and a binary value.
bool BuildBranch(int keys) {
  Win32Registry registry;
  for (int i = 0; i < keys; ++i) {
    const std::wstring key = std::wstring(kBranch) + L"\\Group" +
                             std::to_wstring(i / kKeysPerGroup) + L"\\Key" + std::to_wstring(i);
    if (!registry.CreateKey(key) ||
        !registry.SetString(key, L"Name", L"Component " + std::to_wstring(i)) ||
        !registry.SetDWORD(key, L"Version", static_cast<uint32_t>(i)) ||
        !registry.SetBinary(key, L"Data", ByteList(16, static_cast<uint8_t>(i)))) {
      std::fwprintf(stderr, L"could not build %ls\n", key.c_str());
      return false;
    }
  }
  return true;
}

bool BranchExists() {
  Win32Registry registry;
  return registry.KeyExists(std::wstring(kBranch));
}

double RemoveWithRegDelete() {
  return TimeCommand(L"reg.exe delete \"HKLM\\" + std::wstring(kBranch) + L"\" /f");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int keys = argc > 1 ? std::max(1, _wtoi(argv[1])) : 10000;
  std::wprintf(L"Branch of %d keys with 3 values each\n", keys);

  if (!BuildBranch(keys)) return 1;
  double start = Seconds();
  const bool wiped = RegOps::WipeBranch(HKEY_LOCAL_MACHINE, kBranch, 0);
  const double wipe = Seconds() - start;
  if (!wiped || BranchExists()) {
    std::wprintf(L"RegOps::WipeBranch failed\n");
    return 1;
  }

  if (!BuildBranch(keys)) return 1;
  const double regDelete = RemoveWithRegDelete();
  if (regDelete < 0 || BranchExists()) {
    std::wprintf(L"reg delete failed\n");
    return 1;
  }

  std::wprintf(L"RegOps::WipeBranch: %.3f s\n", wipe);
  std::wprintf(L"reg delete /f:      %.3f s\n", regDelete);
  std::wprintf(L"ratio:              %.2f\n", wipe / regDelete);
  return 0;
}
