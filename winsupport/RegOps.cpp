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
  return path.find(L'\\') != std::wstring::npos && RegOps::IsKeyPath(path);
}

using Listing = uint32_t (Win32Registry::*)(const std::wstring&, WideList&, int*);

void LogListingFailure(const char* function, int status, const std::wstring& key) {
  if (status > RegistryError::NotFound) {
    LogFuncW(LogDebug, function, L"Failed to get sub keys %d : '%s'", status, key.c_str());
  }
}

// One listing, its failure logged unless the key is simply missing; the status is the
// listing's kind.
StringList ListNames(HKEY root, const std::wstring& key, REGSAM view, Listing list,
                     const char* function, int& status) {
  CallRegistry registry(root, view);
  status = RegistryError::Failed;
  StringList names;
  (registry.*list)(key, names, &status);
  LogListingFailure(function, status, key);
  if (status != RegistryError::Ok) names.clear();
  return names;
}

StringList ListNames(HKEY root, const std::wstring& key, REGSAM view, Listing list,
                     const char* function) {
  int status = RegistryError::Failed;
  return ListNames(root, key, view, list, function, status);
}

// The removal of one branch, key by key, on the handles the walk holds: each key with
// subkeys is opened once, its subkeys are listed and removed relative to that handle, and
// every key is deleted through the handle of its parent.
class BranchRemoval {
 public:
  BranchRemoval(HKEY root, REGSAM view) : registry_(root, view), root_(root), view_(view) {}

  // parent\name. The parent is opened with no rights at all, only to reach the branch
  // through it: it may be a key that grants nothing, and it is never changed. Where even
  // that open fails, the branch is reached by its path from the root.
  bool RemoveBranch(const std::wstring& parent, const std::wstring& name) {
    const std::wstring path = parent + L"\\" + name;
    UniqueHKey base;
    if (registry_.OpenSubkey(nullptr, parent, 0, base)) return Remove(base.get(), name, path);
    return Remove(nullptr, path, path);
  }

 private:
  // The key `name` below `base` (null: the root), whose path from the root is `path`.
  // Most keys of a branch have no subkeys, and those go with one deletion; a key that still
  // has subkeys answers that deletion with access denied, so only the answer of a deletion
  // tried after its subkeys were removed counts as a denial.
  bool Remove(HKEY base, const std::wstring& name, const std::wstring& path) {
    int status = RegistryError::Failed;
    if (registry_.DeleteSubkey(base, name, &status) || status == RegistryError::NotFound) {
      return true;
    }
    return RemoveWithChildren(base, name, path, true);
  }

  // Every subkey first (each on its own, also after a failure), then the key itself. Where
  // the key's deletion is denied, the Administrators group is made its owner with a DACL
  // granting full access to the Administrators and the system only, and the removal is
  // tried once more, subkeys included (a key whose listing was denied shows them only then).
  bool RemoveWithChildren(HKEY base, const std::wstring& name, const std::wstring& path,
                          bool mayTakeOwnership) {
    if (!RemoveChildren(base, name, path)) return false;

    int status = RegistryError::Failed;
    if (registry_.DeleteSubkey(base, name, &status)) return true;
    if (status == RegistryError::AccessDenied && mayTakeOwnership) {
      SecurityAttributes access;
      access.InitAdministratorsFullAccess();
      const UniqueSid administrators(CreateAdministratorsSid());
      const DWORD error = SetRegistryKeyOwnerAndDacl(root_, path, administrators.get(),
                                                     access.Get(), (view_ & KEY_WOW64_32KEY) != 0);
      if (error == ERROR_SUCCESS) return RemoveWithChildren(base, name, path, false);
      LogFuncW(LogWarning, "RegOps::RemoveByForce", L"TakeOwnership failed for '%s': %lu",
               path.c_str(), error);
    }
    if (status == RegistryError::NotFound) return true;
    LogFuncW(LogError, "RegOps::RemoveByForce", L"Failed to delete '%s': %d", path.c_str(), status);
    return false;
  }

  // A key that can't be opened or listed counts as childless here: its own deletion then
  // tells whether anything is left below it.
  bool RemoveChildren(HKEY base, const std::wstring& name, const std::wstring& path) {
    UniqueHKey key;
    WideList children;
    int status = RegistryError::Failed;
    if (registry_.OpenSubkey(base, name, KEY_READ, key, &status)) {
      registry_.ListSubkeys(key.get(), children, &status);
    }
    LogListingFailure("RegOps::GetSubkeys", status, path);
    bool all = true;
    for (const auto& child : children) {
      all = Remove(key.get(), child, path + L"\\" + child) && all;
    }
    return all;
  }

  CallRegistry registry_;
  HKEY root_;
  REGSAM view_;
};

}  // namespace

namespace RegOps {

bool IsKeyPath(const std::wstring& key) {
  if (key.empty()) return false;
  for (const auto& part : Split(key, L'\\')) {
    if (part.empty()) return false;
  }
  return true;
}

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

bool WipeBranchIfEmpty(HKEY root, const std::wstring& branch, REGSAM view) {
  int status = RegistryError::Failed;
  bool empty =
      ListNames(root, branch, view, &Win32Registry::GetValueNames, "RegOps::GetValueKeys", status)
          .empty();
  if (empty && status <= RegistryError::NotFound) {
    empty = ListNames(root, branch, view, &Win32Registry::GetSubkeys, "RegOps::GetSubkeys", status)
                .empty();
  }
  if (status > RegistryError::NotFound) {
    LogFuncW(LogError, "RegOps::WipeBranchIfEmpty", L"Kept '%s': it could not be listed: %d",
             branch.c_str(), status);
    return false;
  }
  return empty && WipeBranch(root, branch, view);
}

bool WipeBranchesByMask(HKEY root, const std::wstring& key, const std::wstring& mask, REGSAM view) {
  // The key is the parent of the branches: one part at least, none empty.
  if (!IsKeyPath(key)) {
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
  return BranchRemoval(root, view).RemoveBranch(parent, name);
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
