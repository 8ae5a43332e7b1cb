#include "RegOps.h"

#include "Log.h"
#include "Ownership.h"
#include "SecurityAttributes.h"
#include "UniqueAny.h"
#include "Win32Registry.h"

using KvTzkLogging::LogDebug;
using KvTzkLogging::LogError;
using KvTzkLogging::LogFuncW;
using KvTzkLogging::LogWarning;

namespace {

// A registry object for one call: its root and view set.
class CallRegistry : public Win32Registry {
 public:
  CallRegistry(HKEY root, REGSAM view) {
    SetRoot(root);
    SetAccess(view);
  }
};

// A branch path names a key below a parent: at least two parts, none of them empty.
bool IsBranchPath(const std::wstring& path) {
  if (path.find(L'\\') == std::wstring::npos) return false;
  for (const auto& part : Split(path, L'\\')) {
    if (part.empty()) return false;
  }
  return true;
}

using Listing = uint32_t (Win32Registry::*)(const std::wstring&, WideList&, int*);

// One listing, its failure logged unless the key is simply missing.
StringList ListNames(HKEY root, const std::wstring& key, REGSAM view, Listing list,
                     const char* function) {
  CallRegistry registry(root, view);
  int status = RegistryError::Failed;
  StringList names;
  (registry.*list)(key, names, &status);
  if (status > RegistryError::NotFound) {
    LogFuncW(LogDebug, function, L"Failed to get sub keys %d : '%s'", status, key.c_str());
  }
  if (status != RegistryError::Ok) names.clear();
  return names;
}

// The key's own deletion once its children are gone; on a denial, the ownership change and
// one more removal of the key with its children, when allowed.
bool RemoveKeyAndChildren(HKEY root, const std::wstring& path, REGSAM view, bool mayTakeOwnership) {
  bool all = true;
  for (const auto& child : RegOps::GetSubkeys(root, path, view)) {
    all = RegOps::RemoveByForce(root, path, child, view) && all;
  }
  if (!all) return false;

  CallRegistry registry(root, view);
  int status = RegistryError::Failed;
  if (registry.DeleteKey(path, &status)) return true;
  if (status == RegistryError::AccessDenied && mayTakeOwnership) {
    SecurityAttributes access;
    access.InitAdministratorsFullAccess();
    const UniqueSid administrators(CreateAdministratorsSid());
    const DWORD error = SetRegistryKeyOwnerAndDacl(root, path, administrators.get(), access.Get(),
                                                   (view & KEY_WOW64_32KEY) != 0);
    if (error == ERROR_SUCCESS) return RemoveKeyAndChildren(root, path, view, false);
    LogFuncW(LogWarning, "RegOps::RemoveByForce", L"TakeOwnership failed for '%s': %lu",
             path.c_str(), error);
  }
  if (status == RegistryError::NotFound) return true;
  LogFuncW(LogError, "RegOps::RemoveByForce", L"Failed to delete '%s': %d", path.c_str(), status);
  return false;
}

}  // namespace

namespace RegOps {

StringList GetSubkeys(HKEY root, const std::wstring& key, REGSAM view) {
  return ListNames(root, key, view, &Win32Registry::GetSubkeys, "RegOps::GetSubkeys");
}

StringList GetValueKeys(HKEY root, const std::wstring& key, REGSAM view) {
  return ListNames(root, key, view, &Win32Registry::GetValueNames, "RegOps::GetValueKeys");
}

bool DeleteKey(HKEY root, const std::wstring& key, const std::wstring& valueName, REGSAM view) {
  CallRegistry registry(root, view);
  int status = RegistryError::Failed;
  if (registry.DeleteValue(key, valueName, &status) || status == RegistryError::NotFound) {
    return true;
  }
  LogFuncW(LogError, "RegOps::DeleteKey", L"Failed to delete '%s:%s': %d", key.c_str(),
           valueName.c_str(), status);
  return false;
}

bool WipeBranch(HKEY root, const std::wstring& branch, REGSAM view) {
  if (!IsBranchPath(branch)) {
    LogFuncW(LogError, "RegOps::WipeBranch", L"Invalid branch: '%s'", branch.c_str());
    return false;
  }
  const size_t last = branch.rfind(L'\\');
  return RemoveByForce(root, branch.substr(0, last), branch.substr(last + 1), view);
}

bool WipeBranchesByMask(HKEY root, const std::wstring& key, const std::wstring& mask, REGSAM view) {
  // The key is the parent of the branches: one part at least, none empty.
  if (key.empty() || !IsBranchPath(key + L"\\x")) {
    LogFuncW(LogError, "RegOps::WipeBranchesByMask", L"Invalid branch: '%s'", key.c_str());
    return false;
  }
  bool result = true;
  for (const auto& name : GetSubkeys(root, key, view)) {
    if (WildcardMatch(name, mask, false))
      result = WipeBranch(root, key + L"\\" + name, view) && result;
  }
  return result;
}

bool RemoveByForce(HKEY root, const std::wstring& parent, const std::wstring& name, REGSAM view) {
  const std::wstring path = parent + L"\\" + name;
  if (!IsBranchPath(path)) {
    LogFuncW(LogError, "RegOps::RemoveByForce", L"Invalid branch: '%s'", path.c_str());
    return false;
  }
  return RemoveKeyAndChildren(root, path, view, true);
}

bool GetDWORD(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view,
              uint32_t& value) {
  CallRegistry registry(root, view);
  int status = RegistryError::Failed;
  if (registry.GetDWORD(key, name, value, &status)) return true;
  if (status != RegistryError::NotFound) {
    LogFuncW(LogWarning, "RegOps::GetDWORD", L"Failed to read '%s:%s': %d", key.c_str(),
             name.c_str(), status);
  }
  return false;
}

bool SetDWORD(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view,
              uint32_t value) {
  CallRegistry registry(root, view);
  int status = RegistryError::Failed;
  if (registry.SetDWORD(key, name, value, &status)) return true;
  LogFuncW(LogError, "RegOps::SetDWORD", L"Failed to write '%s:%s': %d", key.c_str(), name.c_str(),
           status);
  return false;
}

bool GetString(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view,
               std::wstring& text) {
  CallRegistry registry(root, view);
  int status = RegistryError::Failed;
  if (registry.GetString(key, name, text, &status)) return true;
  if (status != RegistryError::NotFound) {
    LogFuncW(LogWarning, "RegOps::GetString", L"Failed to read '%s:%s': %d", key.c_str(),
             name.c_str(), status);
  }
  return false;
}

bool SetString(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view,
               const std::wstring& text) {
  CallRegistry registry(root, view);
  int status = RegistryError::Failed;
  if (registry.SetString(key, name, text, &status)) return true;
  LogFuncW(LogError, "RegOps::SetString", L"Failed to write '%s:%s': %d", key.c_str(), name.c_str(),
           status);
  return false;
}

bool GetMultiString(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view,
                    StringList& list) {
  CallRegistry registry(root, view);
  int status = RegistryError::Failed;
  if (registry.GetMultiString(key, name, list, &status)) return true;
  if (status != RegistryError::NotFound) {
    LogFuncW(LogWarning, "RegOps::GetMultiString", L"Failed to read '%s:%s': %d", key.c_str(),
             name.c_str(), status);
  }
  return false;
}

}  // namespace RegOps
