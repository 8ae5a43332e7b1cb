#include "SystemDlls.h"

#include <windows.h>

#include <atomic>
#include <vector>

#include "PathUtils.h"
#include "SpecialFolders.h"
#include "UniqueAny.h"

namespace {

// The modules loaded by LoadSystemDll, freed in the order of loading at process exit.
class LoadedSystemDlls {
 public:
  static LoadedSystemDlls& Instance() {
    static std::atomic<int> state{0};
    static LoadedSystemDlls* instance = nullptr;
    int expected = 0;
    if (state.compare_exchange_strong(expected, 1)) {
      instance = new LoadedSystemDlls();
      std::atexit([] { delete instance; });
      state.store(2);
    } else {
      while (state.load() != 2) ::SwitchToThread();
    }
    return *instance;
  }

  void Add(UniqueModule module) {
    ::EnterCriticalSection(&lock_);
    modules_.push_back(std::move(module));
    ::LeaveCriticalSection(&lock_);
  }

  ~LoadedSystemDlls() {
    for (auto& module : modules_) module.reset();
    ::DeleteCriticalSection(&lock_);
  }

 private:
  LoadedSystemDlls() { ::InitializeCriticalSection(&lock_); }

  CRITICAL_SECTION lock_;
  std::vector<UniqueModule> modules_;
};

}  // namespace

bool SetSafeDllSearchPaths() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault == nullptr) return false;
  return setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

bool LoadSystemDll(const std::wstring& fileName) {
  const std::wstring fullPath = CombinePath(GetSystemDirectoryPath(), fileName);
  UniqueModule module(::LoadLibraryW(fullPath.c_str()));
  if (!module) return false;
  LoadedSystemDlls::Instance().Add(std::move(module));
  return true;
}
