#include "SystemDlls.h"

#include <windows.h>

#include <mutex>
#include <vector>

#include "PathUtils.h"
#include "SpecialFolders.h"
#include "UniqueAny.h"

namespace {

// The modules loaded by LoadSystemDll, freed in the order of loading at process exit.
class LoadedSystemDlls {
 public:
  // Created once, on first use (thread-safe static initialisation), destroyed at exit.
  static LoadedSystemDlls& Instance() {
    static LoadedSystemDlls instance;
    return instance;
  }

  void Add(UniqueModule module) {
    std::lock_guard<std::mutex> guard(lock_);
    modules_.push_back(std::move(module));
  }

  ~LoadedSystemDlls() {
    for (auto& module : modules_) module.reset();
  }

 private:
  LoadedSystemDlls() = default;

  std::mutex lock_;
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
