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
// every key is deleted through the handle of its parent. Every key is opened as itself
// (REG_OPTION_OPEN_LINK), so a registry link is deleted as the link: it is never listed,
// taken over or deleted through, and a loop of links can't make the walk recurse.
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

  // Every direct subkey of the key whose name matches the mask. The key itself is listed only
  // when it is known not to be a link.
  bool RemoveMatches(const std::wstring& key, const std::wstring& mask) {
    UniqueHKey opened;
    int status = RegistryError::Failed;
    if (!registry_.OpenKeyItself(nullptr, key, KEY_READ, opened, &status)) {
      LogListingFailure("RegOps::GetSubkeys", status, key);
      return true;
    }
    bool link = true;
    if (!registry_.IsLink(opened.get(), link, &status)) {
      LogFuncW(LogError, "RegOps::WipeBranchesByMask",
               L"Not listed '%s': it could not be checked for a registry link: %d", key.c_str(),
               status);
      return false;
    }
    if (link) {
      LogFuncW(LogError, "RegOps::WipeBranchesByMask",
               L"Not listed '%s': it is a registry link, whose target is not entered", key.c_str());
      return false;
    }
    WideList names;
    registry_.ListSubkeys(opened.get(), names, &status);
    LogListingFailure("RegOps::GetSubkeys", status, key);
    bool result = true;
    for (const auto& name : names) {
      if (WildcardMatch(name, mask, false)) {
        result = Remove(opened.get(), name, key + L"\\" + name) && result;
      }
    }
    return result;
  }

 private:
  // What the walk knows of a key before it lists or escalates it.
  enum class Kind { Key, Link, Unchecked, Gone };

  // The key `name` below `base` (null: the root), whose path from the root is `path`.
  // Most keys of a branch have no subkeys, and those go with one deletion (a link among them
  // as the link); a key that still has subkeys answers that deletion with access denied, so
  // only the answer of a deletion tried after its subkeys were removed counts as a denial.
  bool Remove(HKEY base, const std::wstring& name, const std::wstring& path) {
    int status = RegistryError::Failed;
    if (registry_.DeleteSubkey(base, name, &status) || status == RegistryError::NotFound) {
      return true;
    }
    return RemoveWithChildren(base, name, path, true);
  }

  // Whether the key is a link, read through `key` when the walk holds it open, else through
  // a handle for the value query alone. A key whose check can't be read counts as a link.
  Kind KindOf(HKEY base, const std::wstring& name, HKEY key, int& status) {
    UniqueHKey queried;
    if (key == nullptr) {
      if (!registry_.OpenKeyItself(base, name, KEY_QUERY_VALUE, queried, &status)) {
        return status == RegistryError::NotFound ? Kind::Gone : Kind::Unchecked;
      }
      key = queried.get();
    }
    bool link = true;
    if (!registry_.IsLink(key, link, &status)) return Kind::Unchecked;
    return link ? Kind::Link : Kind::Key;
  }

  // Every subkey first (each on its own, also after a failure), then the key itself. Where
  // the key's deletion is denied, the Administrators group is made its owner with a DACL
  // granting full access to the Administrators and the system only, and the removal is
  // tried once more, subkeys included (a key whose listing was denied shows them only then).
  // A link, or a key that could not be checked for one, is only ever deleted as it is.
  bool RemoveWithChildren(HKEY base, const std::wstring& name, const std::wstring& path,
                          bool mayTakeOwnership) {
    UniqueHKey key;
    int listStatus = RegistryError::Failed;
    registry_.OpenKeyItself(base, name, KEY_READ, key, &listStatus);
    int status = RegistryError::Failed;
    const Kind kind = KindOf(base, name, key.get(), status);
    if (kind == Kind::Gone) return true;
    if (kind != Kind::Key) {
      key.reset();
      if (registry_.DeleteSubkey(base, name, &status) || status == RegistryError::NotFound) {
        return true;
      }
      if (kind == Kind::Link) {
        LogFuncW(LogError, "RegOps::RemoveByForce",
                 L"Kept the registry link '%s': it could not be deleted as a link: %d",
                 path.c_str(), status);
      } else {
        LogFuncW(LogError, "RegOps::RemoveByForce",
                 L"Kept '%s': it could not be checked for a registry link, so it is neither "
                 L"listed nor taken over: %d",
                 path.c_str(), status);
      }
      return false;
    }

    WideList children;
    if (key) registry_.ListSubkeys(key.get(), children, &listStatus);
    LogListingFailure("RegOps::GetSubkeys", listStatus, path);
    bool all = true;
    for (const auto& child : children) {
      all = Remove(key.get(), child, path + L"\\" + child) && all;
    }
    if (!all) return false;
    key.reset();

    status = RegistryError::Failed;
    if (registry_.DeleteSubkey(base, name, &status)) return true;
    if (status == RegistryError::AccessDenied && mayTakeOwnership) {
      SecurityAttributes access;
      access.InitAdministratorsFullAccess();
      const UniqueSid administrators(CreateAdministratorsSid());
      const DWORD error = SetKeyOwnerAndDacl(base != nullptr ? base : root_, name, view_,
                                             administrators.get(), access.Get());
      if (error == ERROR_SUCCESS) return RemoveWithChildren(base, name, path, false);
      LogFuncW(LogWarning, "RegOps::RemoveByForce", L"TakeOwnership failed for '%s': %lu",
               path.c_str(), error);
    }
    if (status == RegistryError::NotFound) return true;
    LogFuncW(LogError, "RegOps::RemoveByForce", L"Failed to delete '%s': %d", path.c_str(), status);
    return false;
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
  return BranchRemoval(root, view).RemoveMatches(key, mask);
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
