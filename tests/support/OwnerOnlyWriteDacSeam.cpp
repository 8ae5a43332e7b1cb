#include "OwnerOnlyWriteDacSeam.h"

#include <aclapi.h>

#include <cwctype>

#include "ImportHook.h"
#include "UniqueAny.h"

namespace {

OwnerOnlyWriteDacSeam* seam = nullptr;
decltype(&::RegOpenKeyExW) realRegOpenKeyEx = nullptr;
decltype(&::RegCreateKeyExW) realRegCreateKeyEx = nullptr;
decltype(&::RegCloseKey) realRegCloseKey = nullptr;
decltype(&::RegSetKeySecurity) realRegSetKeySecurity = nullptr;

// Whether the privilege is enabled in the token the calling thread acts with.
bool PrivilegeEnabled(const wchar_t* name) {
  UniqueHandle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) &&
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    return false;
  }
  PRIVILEGE_SET wanted{};
  wanted.PrivilegeCount = 1;
  wanted.Control = PRIVILEGE_SET_ALL_NECESSARY;
  if (!::LookupPrivilegeValueW(nullptr, name, &wanted.Privilege[0].Luid)) return false;
  BOOL held = FALSE;
  return ::PrivilegeCheck(token.get(), &wanted, &held) && held;
}

LSTATUS WINAPI SeamRegOpenKeyExW(HKEY base, LPCWSTR name, DWORD options, REGSAM rights,
                                 PHKEY opened) {
  if (seam == nullptr || !seam->Matches(name)) {
    return realRegOpenKeyEx(base, name, options, rights, opened);
  }
  if (!seam->Allows(rights)) {
    seam->Denied();
    if (opened != nullptr) *opened = nullptr;
    return ERROR_ACCESS_DENIED;
  }
  const LSTATUS result = realRegOpenKeyEx(base, name, options, rights, opened);
  if (result == ERROR_SUCCESS) seam->Opened(*opened);
  return result;
}

LSTATUS WINAPI SeamRegCreateKeyExW(HKEY base, LPCWSTR name, DWORD reserved, LPWSTR keyClass,
                                   DWORD options, REGSAM rights,
                                   const LPSECURITY_ATTRIBUTES attributes, PHKEY opened,
                                   LPDWORD disposition) {
  if (seam == nullptr || !seam->Matches(name)) {
    return realRegCreateKeyEx(base, name, reserved, keyClass, options, rights, attributes, opened,
                              disposition);
  }
  if (!seam->Allows(rights, (options & REG_OPTION_BACKUP_RESTORE) != 0)) {
    seam->Denied();
    if (opened != nullptr) *opened = nullptr;
    return ERROR_ACCESS_DENIED;
  }
  const LSTATUS result = realRegCreateKeyEx(base, name, reserved, keyClass, options, rights,
                                            attributes, opened, disposition);
  if (result == ERROR_SUCCESS) seam->Opened(*opened);
  return result;
}

LSTATUS WINAPI SeamRegCloseKey(HKEY key) {
  if (seam != nullptr) seam->Closed(key);
  return realRegCloseKey(key);
}

LONG WINAPI SeamRegSetKeySecurity(HKEY key, SECURITY_INFORMATION parts,
                                  PSECURITY_DESCRIPTOR descriptor) {
  const LONG result = realRegSetKeySecurity(key, parts, descriptor);
  if (result == ERROR_SUCCESS && seam != nullptr) seam->SecuritySet(key, parts);
  return result;
}

}  // namespace

OwnerOnlyWriteDacSeam::OwnerOnlyWriteDacSeam(std::wstring lastComponent, bool ownerRightsEntry)
    : lastComponent_(std::move(lastComponent)),
      ownerRightsEntry_(ownerRightsEntry),
      open_(std::make_unique<ImportHook>("advapi32.dll", "RegOpenKeyExW",
                                         reinterpret_cast<void*>(&SeamRegOpenKeyExW))),
      create_(std::make_unique<ImportHook>("advapi32.dll", "RegCreateKeyExW",
                                           reinterpret_cast<void*>(&SeamRegCreateKeyExW))),
      close_(std::make_unique<ImportHook>("advapi32.dll", "RegCloseKey",
                                          reinterpret_cast<void*>(&SeamRegCloseKey))),
      set_(std::make_unique<ImportHook>("advapi32.dll", "RegSetKeySecurity",
                                        reinterpret_cast<void*>(&SeamRegSetKeySecurity))) {
  realRegOpenKeyEx = reinterpret_cast<decltype(&::RegOpenKeyExW)>(open_->Original());
  realRegCreateKeyEx = reinterpret_cast<decltype(&::RegCreateKeyExW)>(create_->Original());
  realRegCloseKey = reinterpret_cast<decltype(&::RegCloseKey)>(close_->Original());
  realRegSetKeySecurity = reinterpret_cast<decltype(&::RegSetKeySecurity)>(set_->Original());
  seam = this;
}

OwnerOnlyWriteDacSeam::~OwnerOnlyWriteDacSeam() { seam = nullptr; }

bool OwnerOnlyWriteDacSeam::IsActive() const {
  return open_->IsActive() && create_->IsActive() && close_->IsActive() && set_->IsActive();
}

bool OwnerOnlyWriteDacSeam::Matches(const wchar_t* name) const {
  if (name == nullptr) return false;
  std::wstring text(name);
  const size_t last = text.rfind(L'\\');
  if (last != std::wstring::npos) text = text.substr(last + 1);
  if (text.size() != lastComponent_.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (std::towupper(text[i]) != std::towupper(lastComponent_[i])) return false;
  }
  return true;
}

bool OwnerOnlyWriteDacSeam::Allows(REGSAM rights, bool forRestore) const {
  rights &= ~static_cast<REGSAM>(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if (daclChanged_) return true;
  // With the OWNER RIGHTS entry the DACL grants the Administrators nothing, and the owner
  // READ_CONTROL only.
  REGSAM granted = ownerRightsEntry_ ? 0 : KEY_READ;
  if (PrivilegeEnabled(L"SeTakeOwnershipPrivilege")) granted |= WRITE_OWNER;
  if (ownerChanged_) granted |= ownerRightsEntry_ ? READ_CONTROL : WRITE_DAC | READ_CONTROL;
  if (forRestore && PrivilegeEnabled(L"SeBackupPrivilege")) granted |= KEY_READ;
  if (forRestore && PrivilegeEnabled(L"SeRestorePrivilege")) granted |= KEY_WRITE | DELETE;
  return (rights & ~granted) == 0;
}

void OwnerOnlyWriteDacSeam::SecuritySet(HKEY key, SECURITY_INFORMATION parts) {
  if (handles_.count(key) == 0) return;
  if (parts & OWNER_SECURITY_INFORMATION) ownerChanged_ = true;
  if (parts & DACL_SECURITY_INFORMATION) daclChanged_ = true;
}
