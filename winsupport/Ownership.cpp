#include "Ownership.h"

#include <sddl.h>

#include "KvPrivilege.h"
#include "NtFile.h"
#include "UniqueAny.h"

namespace {

constexpr wchar_t kTakeOwnershipPrivilege[] = L"SeTakeOwnershipPrivilege";
constexpr wchar_t kRestorePrivilege[] = L"SeRestorePrivilege";

// The DACL of the record's descriptor, or the error code to answer.
DWORD DaclOfRecord(const SECURITY_ATTRIBUTES* record, PACL& dacl) {
  if (record == nullptr || record->lpSecurityDescriptor == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  ::SetLastError(ERROR_SUCCESS);
  if (!::GetSecurityDescriptorDacl(record->lpSecurityDescriptor, &present, &dacl, &defaulted) ||
      !present) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

struct HivePrefix {
  HKEY hive;
  const wchar_t* prefix;
};

const HivePrefix kHivePrefixes[] = {
    {HKEY_LOCAL_MACHINE, L"MACHINE\\"},
    {HKEY_CLASSES_ROOT, L"CLASSES_ROOT\\"},
    {HKEY_USERS, L"USERS\\"},
    {HKEY_CURRENT_USER, L"CURRENT_USER\\"},
    {nullptr, nullptr},
};

// An absolute descriptor that carries the owner and the DACL, protected from inheritance; the
// two stay the caller's.
DWORD BuildOwnerAndDacl(SECURITY_DESCRIPTOR& descriptor, PSID owner, PACL dacl) {
  if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorOwner(&descriptor, owner, FALSE) ||
      !::SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE) ||
      !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return ::GetLastError();
  }
  return ERROR_SUCCESS;
}

// The key itself, a link as the link, with the given rights only.
LONG OpenKeyItself(HKEY base, const std::wstring& name, REGSAM rights, UniqueHKey& key) {
  return ::RegOpenKeyExW(base, name.c_str(), REG_OPTION_OPEN_LINK, rights, key.put());
}

// One part of the descriptor set on the key itself through a handle opened with `access`
// alone, a link as the link. RegSetKeySecurity changes that key only: nothing below it is
// rewritten with inheritable entries, nor looked up again by name.
DWORD SetKeyObjectSecurity(HKEY base, const std::wstring& name, REGSAM access,
                           SECURITY_INFORMATION part, SECURITY_DESCRIPTOR& descriptor) {
  UniqueHKey key;
  const LONG result = OpenKeyItself(base, name, access, key);
  if (result != ERROR_SUCCESS) return static_cast<DWORD>(result);
  return static_cast<DWORD>(::RegSetKeySecurity(key.get(), part, &descriptor));
}

}  // namespace

PSID CreateAdministratorsSid() {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid)) {
    return nullptr;
  }
  return sid;
}

DWORD ReadObjectOwner(HANDLE object, SE_OBJECT_TYPE objectType, std::wstring& ownerSid) {
  ownerSid.clear();
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = ::GetSecurityInfo(object, objectType, OWNER_SECURITY_INFORMATION, &owner,
                                        nullptr, nullptr, nullptr, &descriptor);
  const UniqueLocal descriptorHolder(descriptor);
  if (error != ERROR_SUCCESS) return error;
  if (owner == nullptr) return ERROR_INVALID_SECURITY_DESCR;
  LPWSTR text = nullptr;
  if (!::ConvertSidToStringSidW(owner, &text)) return ::GetLastError();
  const UniqueLocal textHolder(text);
  ownerSid = text;
  return ERROR_SUCCESS;
}

bool IsSystemOrAdministratorsSid(const std::wstring& sid) {
  return sid == L"S-1-5-18" || sid == L"S-1-5-32-544";
}

DWORD SetNamedObjectOwnerAndDacl(const std::wstring& objectName, SE_OBJECT_TYPE objectType,
                                 PSID owner, PACL dacl, SECURITY_INFORMATION bits) {
  if (owner == nullptr) return ERROR_INVALID_PARAMETER;
  KvPrivilege takeOwnership(kTakeOwnershipPrivilege);
  std::wstring name = objectName;
  return ::SetNamedSecurityInfoW(name.data(), objectType, bits | OWNER_SECURITY_INFORMATION, owner,
                                 nullptr, dacl, nullptr);
}

DWORD SetFileOwnerAndDacl(const std::wstring& path, PSID owner, const SECURITY_ATTRIBUTES* record) {
  KvPrivilege takeOwnership(kTakeOwnershipPrivilege);
  UniqueFileHandle object;
  const DWORD error = NtFile::OpenPath(path, WRITE_OWNER, object);
  if (error != ERROR_SUCCESS) return error;
  return SetFileOwnerAndDacl(object.get(), owner, record);
}

DWORD SetFileOwnerAndDacl(HANDLE object, PSID owner, const SECURITY_ATTRIBUTES* record) {
  PACL dacl = nullptr;
  DWORD error = DaclOfRecord(record, dacl);
  if (error != ERROR_SUCCESS) return error;
  if (owner == nullptr) return ERROR_INVALID_PARAMETER;
  SECURITY_DESCRIPTOR descriptor{};
  error = BuildOwnerAndDacl(descriptor, owner, dacl);
  if (error != ERROR_SUCCESS) return error;
  KvPrivilege takeOwnership(kTakeOwnershipPrivilege);
  // The owner first, which the privilege allows whatever the DACL says; as the owner the
  // Administrators may then write the DACL, through a handle whose rights are checked anew.
  if (!::SetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, &descriptor)) {
    return ::GetLastError();
  }
  UniqueFileHandle writeDac;
  error = NtFile::Reopen(object, WRITE_DAC, writeDac);
  if (error == ERROR_ACCESS_DENIED) {
    KvPrivilege restore(kRestorePrivilege);
    error = NtFile::Reopen(object, WRITE_DAC, writeDac);
  }
  if (error != ERROR_SUCCESS) return error;
  if (!::SetKernelObjectSecurity(writeDac.get(),
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 &descriptor)) {
    return ::GetLastError();
  }
  return ERROR_SUCCESS;
}

std::wstring RegistryKeyObjectName(HKEY hive, const std::wstring& keyPath) {
  for (const HivePrefix* entry = kHivePrefixes; entry->prefix != nullptr; ++entry) {
    if (entry->hive == hive) return entry->prefix + keyPath;
  }
  return keyPath;
}

DWORD SetKeyOwnerAndDacl(HKEY base, const std::wstring& name, REGSAM view, PSID owner,
                         const SECURITY_ATTRIBUTES* record, bool* ownerChanged) {
  if (ownerChanged != nullptr) *ownerChanged = false;
  PACL dacl = nullptr;
  DWORD error = DaclOfRecord(record, dacl);
  if (error != ERROR_SUCCESS) return error;
  if (owner == nullptr) return ERROR_INVALID_PARAMETER;
  SECURITY_DESCRIPTOR descriptor{};
  error = BuildOwnerAndDacl(descriptor, owner, dacl);
  if (error != ERROR_SUCCESS) return error;
  view &= KEY_WOW64_32KEY | KEY_WOW64_64KEY;
  KvPrivilege takeOwnership(kTakeOwnershipPrivilege);
  error =
      SetKeyObjectSecurity(base, name, WRITE_OWNER | view, OWNER_SECURITY_INFORMATION, descriptor);
  if (error != ERROR_SUCCESS) return error;
  if (ownerChanged != nullptr) *ownerChanged = true;
  return SetKeyObjectSecurity(base, name, WRITE_DAC | view,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              descriptor);
}

DWORD SetRegistryKeyOwnerAndDacl(HKEY hive, const std::wstring& keyPath, PSID owner,
                                 const SECURITY_ATTRIBUTES* record, bool view32) {
  return SetKeyOwnerAndDacl(hive, keyPath, view32 ? KEY_WOW64_32KEY : 0, owner, record);
}
