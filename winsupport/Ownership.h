#pragma once

#include <aclapi.h>
#include <windows.h>

#include <string>

// Taking ownership of files, directories and registry keys for the Administrators group
// together with a new protected DACL, for removals that were denied. Each operation
// returns a Windows error code (0 = success); none logs. The DACL is read from a record
// built by SecurityAttributes (a null record, a missing owner or a descriptor without a
// DACL answer ERROR_INVALID_PARAMETER).

// S-1-5-32-544, or null; the caller frees it with FreeSid (or holds it in a UniqueSid).
PSID CreateAdministratorsSid();

// The owner of the object the handle holds (opened with READ_CONTROL) as a SID string, read
// through that handle; ERROR_INVALID_SECURITY_DESCR where it has none.
DWORD ReadObjectOwner(HANDLE object, SE_OBJECT_TYPE objectType, std::wstring& ownerSid);
// The SID string is the local system's (S-1-5-18) or the Administrators' (S-1-5-32-544): an
// object such an owner has is the system's or an administrator's own.
bool IsSystemOrAdministratorsSid(const std::wstring& sid);

// On the file or directory the path names, never through a link: a link's own descriptor is
// the one changed. Only that object changes, nothing below a directory.
DWORD SetFileOwnerAndDacl(const std::wstring& path, PSID owner, const SECURITY_ATTRIBUTES* record);
// On the file or directory the handle holds, opened with WRITE_OWNER (which the take-ownership
// privilege grants): the owner through that handle, then the DACL through a handle reopened
// from it with WRITE_DAC, which being the owner grants (where an OWNER RIGHTS entry takes that
// away, the restore privilege gets past it). Only that object changes, nothing below a
// directory, and nothing is reached by a name.
DWORD SetFileOwnerAndDacl(HANDLE object, PSID owner, const SECURITY_ATTRIBUTES* record);

// SetNamedSecurityInfoW with the owner added to the given bits, under the
// take-ownership privilege.
DWORD SetNamedObjectOwnerAndDacl(const std::wstring& objectName, SE_OBJECT_TYPE objectType,
                                 PSID owner, PACL dacl, SECURITY_INFORMATION bits);

// The key `name` below the open key `base` (a path below it, or below a root key), in the
// registry view of the view bits (0, KEY_WOW64_32KEY or KEY_WOW64_64KEY), through handles of
// the key itself, never by name: a link is opened as the link, so nothing it points to is
// changed, and RegSetKeySecurity changes that key alone (no entry is carried down to its
// subkeys). Two steps, as Windows grants them: the owner through a handle opened with
// WRITE_OWNER alone (which the take-ownership privilege grants), then the DACL through a
// handle opened after the owner changed, with WRITE_DAC (which being the owner grants). Where
// an OWNER RIGHTS entry of the DACL takes that away, the answer is ERROR_ACCESS_DENIED with
// *ownerChanged set: no privilege grants WRITE_DAC then, but the backup and restore privileges
// still let the key be read and deleted (Win32Registry::OpenKeyForBackupRestore).
DWORD SetKeyOwnerAndDacl(HKEY base, const std::wstring& name, REGSAM view, PSID owner,
                         const SECURITY_ATTRIBUTES* record, bool* ownerChanged = nullptr);

// SetKeyOwnerAndDacl below the hive, in the 32-bit registry view when view32 is set, else in
// the process's own view.
DWORD SetRegistryKeyOwnerAndDacl(HKEY hive, const std::wstring& keyPath, PSID owner,
                                 const SECURITY_ATTRIBUTES* record, bool view32);

// The security API's name of a key: "MACHINE\", "CLASSES_ROOT\", "USERS\" or
// "CURRENT_USER\" ahead of the path; other hives get no prefix.
std::wstring RegistryKeyObjectName(HKEY hive, const std::wstring& keyPath);
