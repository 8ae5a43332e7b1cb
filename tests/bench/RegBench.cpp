// Measures the forced branch removal under Wine (not a test; see tools/regbench.sh): in each
// run a branch of keys with three values each is removed by RegOps::WipeBranch and an
// identical branch by "reg delete /f"; every run prints both times and their ratio, and the
// last line gives the median and the largest ratio. Arguments, all optional: the number of
// runs (5), "--keys N" (10000) and "--view32" (both removals in the 32-bit registry view).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "RegOps.h"
#include "UniqueAny.h"
#include "Win32Registry.h"

namespace {

constexpr wchar_t kBranch[] = L"SOFTWARE\\PurgeKitTests\\RegBench";
constexpr int kKeysPerGroup = 100;

struct Options {
  int runs = 5;
  int keys = 10000;
  REGSAM view = 0;
};

bool ReadOptions(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument == L"--view32") {
      options.view = KEY_WOW64_32KEY;
    } else if (argument == L"--keys" && i + 1 < argc) {
      options.keys = std::max(1, _wtoi(argv[++i]));
    } else if (!argument.empty() && iswdigit(argument[0])) {
      options.runs = std::max(1, _wtoi(argument.c_str()));
    } else {
      std::fwprintf(stderr, L"usage: reg_bench [runs] [--keys N] [--view32]\n");
      return false;
    }
  }
  return true;
}

// Groups of 100 keys below the branch, each key with a string, a number and a binary value.
bool BuildBranch(const Options& options) {
  Win32Registry registry;
  registry.SetAccess(options.view);
  for (int i = 0; i < options.keys; ++i) {
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

bool BranchExists(const Options& options) {
  Win32Registry registry;
  registry.SetAccess(options.view);
  return registry.KeyExists(std::wstring(kBranch));
}

// Seconds, or -1 on failure.
double RemoveWithWipeBranch(const Options& options) {
  const double start = Seconds();
  const bool wiped = RegOps::WipeBranch(HKEY_LOCAL_MACHINE, kBranch, options.view);
  const double seconds = Seconds() - start;
  return wiped && !BranchExists(options) ? seconds : -1;
}

double RemoveWithRegDelete(const Options& options) {
  const std::wstring view = options.view == KEY_WOW64_32KEY ? L" /reg:32" : L" /reg:64";
  const double seconds =
      TimeCommand(L"reg.exe delete \"HKLM\\" + std::wstring(kBranch) + L"\" /f" + view);
  return seconds >= 0 && !BranchExists(options) ? seconds : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ReadOptions(argc, argv, options)) return 2;
  std::wprintf(L"Branch of %d keys with 3 values each, %ls view, %d runs\n", options.keys,
               options.view == KEY_WOW64_32KEY ? L"32-bit" : L"64-bit", options.runs);

  std::vector<double> ratios;
  for (int run = 1; run <= options.runs; ++run) {
    // The two removals take turns at going first, so that neither always finds the
    // registry as the other one left it.
    double wipe = -1;
    double regDelete = -1;
    for (int turn = 0; turn < 2; ++turn) {
      if (!BuildBranch(options)) return 1;
      if ((turn == 0) == (run % 2 == 1)) {
        wipe = RemoveWithWipeBranch(options);
        if (wipe < 0) {
          std::wprintf(L"RegOps::WipeBranch failed\n");
          return 1;
        }
      } else {
        regDelete = RemoveWithRegDelete(options);
        if (regDelete < 0) {
          std::wprintf(L"reg delete failed\n");
          return 1;
        }
      }
    }
    ratios.push_back(wipe / regDelete);
    std::wprintf(L"run %d: RegOps::WipeBranch %.3f s, reg delete /f %.3f s, ratio %.2f\n", run,
                 wipe, regDelete, ratios.back());
    std::fflush(stdout);
  }
  std::wprintf(L"median ratio: %.2f, largest: %.2f\n", Median(ratios),
               *std::max_element(ratios.begin(), ratios.end()));
  return 0;
}
