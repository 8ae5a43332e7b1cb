#include "RegOps.h"

#include "KvPrivilege.h"
#include "Log.h"
#include "Ownership.h"
#include "SecurityAttributes.h"
#include "UniqueAny.h"
#include "Win32Registry.h"

using KvTzkLogging::LogDebug;
using KvTzkLogging::LogError;
using KvTzkLogging::LogFuncW;
using KvTzkLogging::LogInfo;
using KvTzkLogging::LogWarning;

namespace {

constexpr wchar_t kBackupPrivilege[] = L"SeBackupPrivilege";
constexpr wchar_t kRestorePrivilege[] = L"SeRestorePrivilege";

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
// (REG_OPTION_OPEN_LINK), so a registry link is deleted as the link: it is never listed or
// deleted through, and a loop of links can't make the walk recurse. A key of the branch that
// denies the walk (its link check, its listing or its deletion) is taken over once: the
// Administrators group is made its owner with a DACL granting full access to the
// Administrators and the system only, through handles of the key itself (a link's own
// security, never its target's), and the key is then opened, checked and removed again.
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

  // Every direct subkey of the key whose name matches the mask. The key itself is no target:
  // it is listed only when it is known not to be a link, and one that can't be opened, checked
  // or listed is left as it is (a missing key holds no match).
  bool RemoveMatches(const std::wstring& key, const std::wstring& mask) {
    UniqueHKey opened;
    int status = RegistryError::Failed;
    if (!registry_.OpenKeyItself(nullptr, key, KEY_READ, opened, &status)) {
      LogListingFailure("RegOps::GetSubkeys", status, key);
      return status == RegistryError::NotFound || NotListed(key, L"it could not be opened", status);
    }
    bool link = true;
    if (!registry_.IsLink(opened.get(), link, &status)) {
      return status == RegistryError::NotFound ||
             NotListed(key, L"it could not be checked for a registry link", status);
    }
    if (link) {
      LogFuncW(LogError, "RegOps::WipeBranchesByMask",
               L"Not listed '%s': it is a registry link, whose target is not entered", key.c_str());
      return false;
    }
    WideList names;
    registry_.ListSubkeys(opened.get(), names, &status);
    LogListingFailure("RegOps::GetSubkeys", status, key);
    if (status > RegistryError::NotFound) return NotListed(key, L"its listing failed", status);
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

  static bool NotListed(const std::wstring& key, const wchar_t* why, int status) {
    LogFuncW(LogError, "RegOps::WipeBranchesByMask",
             L"Not listed '%s': %s, so no subkey of it is removed: %d", key.c_str(), why, status);
    return false;
  }

  // The key `name` below `base` (null: the root), whose path from the root is `path`.
  // Most keys of a branch have no subkeys, and those go with one deletion (a link among them
  // as the link); a key that still has subkeys answers that deletion with access denied, so
  // only the answer of a deletion tried after its subkeys were removed counts as a denial.
  bool Remove(HKEY base, const std::wstring& name, const std::wstring& path) {
    int status = RegistryError::Failed;
    if (registry_.DeleteSubkey(base, name, &status) || status == RegistryError::NotFound) {
      return true;
    }
    return RemoveWithChildren(base, name, path, false);
  }

  // The key itself with the rights. Once the key is owned, an open its DACL still denies (an
  // OWNER RIGHTS entry that kept the owner from writing it) is made with backup-and-restore
  // intent, under the backup privilege (reading) and the restore privilege (DELETE).
  bool OpenKey(HKEY base, const std::wstring& name, REGSAM rights, bool owned, UniqueHKey& key,
               int& status) {
    if (registry_.OpenKeyItself(base, name, rights, key, &status)) return true;
    if (!owned || status != RegistryError::AccessDenied) return false;
    const KvPrivilege backup(kBackupPrivilege);
    const KvPrivilege restore(kRestorePrivilege);
    return registry_.OpenKeyForBackupRestore(base, name, rights, key, &status);
  }

  // The deletion of the key itself, the same way.
  bool DeleteKey(HKEY base, const std::wstring& name, bool owned, int& status) {
    if (registry_.DeleteSubkey(base, name, &status)) return true;
    if (!owned || status != RegistryError::AccessDenied) return false;
    const KvPrivilege backup(kBackupPrivilege);
    const KvPrivilege restore(kRestorePrivilege);
    return registry_.DeleteSubkeyForRestore(base, name, &status);
  }

  // Whether the key is a link, read through `key` when the walk holds it open, else through
  // a handle for the value query alone. A key whose check can't be read counts as a link.
  Kind KindOf(HKEY base, const std::wstring& name, HKEY key, bool owned, int& status) {
    UniqueHKey queried;
    if (key == nullptr) {
      if (!OpenKey(base, name, KEY_QUERY_VALUE, owned, queried, status)) {
        return status == RegistryError::NotFound ? Kind::Gone : Kind::Unchecked;
      }
      key = queried.get();
    }
    bool link = true;
    if (registry_.IsLink(key, link, &status)) return link ? Kind::Link : Kind::Key;
    return status == RegistryError::NotFound ? Kind::Gone : Kind::Unchecked;
  }

  // Every subkey first (each on its own, also after a failure), then the key itself. A key
  // that is not owned yet and denies its link check or its deletion (or, through that, its
  // listing) is taken over and looked at again. A link is only ever deleted as the link, and a
  // key that can't be checked for one only as it is.
  bool RemoveWithChildren(HKEY base, const std::wstring& name, const std::wstring& path,
                          bool owned) {
    UniqueHKey key;
    int listStatus = RegistryError::Failed;
    OpenKey(base, name, KEY_READ, owned, key, listStatus);
    int status = RegistryError::Failed;
    const Kind kind = KindOf(base, name, key.get(), owned, status);
    if (kind == Kind::Gone) return true;
    if (kind != Kind::Key) {
      key.reset();
      if (!owned && status == RegistryError::AccessDenied) return TakeOver(base, name, path);
      if (DeleteKey(base, name, owned, status) || status == RegistryError::NotFound) return true;
      if (!owned && status == RegistryError::AccessDenied) return TakeOver(base, name, path);
      if (kind == Kind::Link) {
        LogFuncW(LogError, "RegOps::RemoveByForce",
                 L"Kept the registry link '%s': it could not be deleted as a link: %d",
                 path.c_str(), status);
      } else if (owned) {
        LogFuncW(LogError, "RegOps::RemoveByForce",
                 L"Kept '%s': it could not be checked for a registry link even after it was "
                 L"taken over, so it is not listed: %d",
                 path.c_str(), status);
      } else {
        LogFuncW(LogError, "RegOps::RemoveByForce",
                 L"Kept '%s': it could not be checked for a registry link, so it is not "
                 L"listed: %d",
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
    if (DeleteKey(base, name, owned, status)) return true;
    if (status == RegistryError::AccessDenied && !owned) return TakeOver(base, name, path);
    if (status == RegistryError::NotFound) return true;
    LogFuncW(LogError, "RegOps::RemoveByForce", L"Failed to delete '%s': %d", path.c_str(), status);
    return false;
  }

  // The ownership change of one key, then its removal once more. Where the owner changed but an
  // OWNER RIGHTS entry keeps the DACL as it is, the key is read and deleted under the backup
  // and restore privileges.
  bool TakeOver(HKEY base, const std::wstring& name, const std::wstring& path) {
    SecurityAttributes access;
    access.InitAdministratorsFullAccess();
    const UniqueSid administrators(CreateAdministratorsSid());
    bool ownerChanged = false;
    const DWORD error = SetKeyOwnerAndDacl(base != nullptr ? base : root_, name, view_,
                                           administrators.get(), access.Get(), &ownerChanged);
    if (error == ERROR_SUCCESS) return RemoveWithChildren(base, name, path, true);
    if (ownerChanged && error == ERROR_ACCESS_DENIED) {
      LogFuncW(LogInfo, "RegOps::RemoveByForce",
               L"Took ownership of '%s', but its DACL bars the owner from writing it: %lu; it "
               L"is read and deleted under the backup and restore privileges",
               path.c_str(), error);
      return RemoveWithChildren(base, name, path, true);
    }
    LogFuncW(LogWarning, "RegOps::RemoveByForce", L"TakeOwnership failed for '%s': %lu",
             path.c_str(), error);
    LogFuncW(LogError, "RegOps::RemoveByForce", L"Failed to delete '%s': %d", path.c_str(),
             RegistryError::AccessDenied);
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

// The emptiness test of IsBranchEmpty and WipeBranchIfEmpty: the status is the kind of the
// listing that failed, or of the last one.
bool ListsEmpty(HKEY root, const std::wstring& branch, REGSAM view, int& status) {
  status = RegistryError::Failed;
  bool empty =
      ListNames(root, branch, view, &Win32Registry::GetValueNames, "RegOps::GetValueKeys", status)
          .empty();
  if (empty && status <= RegistryError::NotFound) {
    empty = ListNames(root, branch, view, &Win32Registry::GetSubkeys, "RegOps::GetSubkeys", status)
                .empty();
  }
  return empty && status <= RegistryError::NotFound;
}

bool IsBranchEmpty(HKEY root, const std::wstring& branch, REGSAM view) {
  int status = RegistryError::Failed;
  if (ListsEmpty(root, branch, view, status)) return true;
  if (status > RegistryError::NotFound) {
    LogFuncW(LogWarning, "RegOps::IsBranchEmpty",
             L"'%s' counts as not empty: it could not be listed: %d", branch.c_str(), status);
  }
  return false;
}

bool WipeBranchIfEmpty(HKEY root, const std::wstring& branch, REGSAM view) {
  int status = RegistryError::Failed;
  const bool empty = ListsEmpty(root, branch, view, status);
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
