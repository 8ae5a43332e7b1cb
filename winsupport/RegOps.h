#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "StringUtils.h"

// Listing and removing registry data for the script modules and the installer cleanup. Each
// function takes the root key and the registry view bits (0, KEY_WOW64_64KEY or
// KEY_WOW64_32KEY) with the call, works through a registry object of its own, logs its
// failures under its own name and reports them as its result. A key or value that is
// already gone counts as removed.
namespace RegOps {

// A key path below a root: not empty, and no part of it empty (no leading, trailing or
// doubled backslash), so that it never names the root or a parent of the key meant.
bool IsKeyPath(const std::wstring& key);

// The names of the direct subkeys; empty after any failure (a missing key is not logged).
StringList GetSubkeys(HKEY root, const std::wstring& key, REGSAM view);
// The names of the key's values; empty after any failure.
StringList GetValueKeys(HKEY root, const std::wstring& key, REGSAM view);
// Deletes the VALUE of that name, not a key.
bool DeleteKey(HKEY root, const std::wstring& key, const std::wstring& valueName, REGSAM view);

// The branch and everything below it (see RemoveByForce). A path without a backslash, or
// with an empty part anywhere (an empty name, "CLSID\", "\SOFTWARE"), is refused with
// nothing touched: it would name the parent, or a key at the top of the hive.
bool WipeBranch(HKEY root, const std::wstring& branch, REGSAM view);
// Whether the key holds neither values nor subkeys. A missing key is empty; a key that is
// there but can't be listed is not known to be empty, so it counts as not empty (logged).
bool IsBranchEmpty(HKEY root, const std::wstring& branch, REGSAM view);
// The branch (see WipeBranch) when it holds neither values nor subkeys; a missing branch
// counts as removed. A key whose listing fails for any other reason is not known to be
// empty: it is kept, the failure is logged and the result is false, as for a key that holds
// something.
bool WipeBranchIfEmpty(HKEY root, const std::wstring& branch, REGSAM view);
// Wipes every direct subkey of the key whose name matches the mask ('*', '?'; letter case
// counts), each as RemoveByForce does. True when every wipe succeeded, also when nothing
// matched or the key is missing. The key itself is no target: where it is a registry link, or
// can't be opened, checked for a link or listed, nothing is touched, a line says why and the
// result is false.
bool WipeBranchesByMask(HKEY root, const std::wstring& key, const std::wstring& mask, REGSAM view);
// Removes parent\name bottom up: every child first (each on its own, also after a failure),
// then the key itself. A key of the branch that denies its link check, its listing or its
// deletion is taken over once: the Administrators group is made its owner, then its DACL is
// set to grant full access to the Administrators and the system only, through handles of the
// key itself (opened as itself, in the view of the removal, relative to the handle of its
// parent), and the key is opened, checked and removed again, children included. Where an
// OWNER RIGHTS entry keeps the new owner from writing the DACL, the key is read and deleted
// under the backup and restore privileges instead. A key that fails keeps its ancestors.
// Every key is opened as itself: a registry link (the branch itself, or any key below it) is
// deleted as the link and never listed, so its target stays as it was. A key that still can't
// be checked for a link after it was taken over is only deleted as it is; where that fails, a
// line says so and the result is false. A key deleted by someone else meanwhile (also
// ERROR_KEY_DELETED) counts as removed.
bool RemoveByForce(HKEY root, const std::wstring& parent, const std::wstring& name, REGSAM view);

// The value reads and writes of the Reg module. Reads stay silent when the key or value is
// missing; writes open the key and never create it.
bool GetDWORD(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view,
              uint32_t& value);
bool SetDWORD(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view,
              uint32_t value);
bool GetString(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view,
               std::wstring& text);
bool SetString(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view,
               const std::wstring& text);
bool GetMultiString(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view,
                    StringList& list);

}  // namespace RegOps
