#include "LogSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include <initializer_list>
#include <new>
#include <vector>

#include "LogHandles.h"
#include "UniqueAny.h"

namespace KvTzkLogging {

const char kInheritedDirSddl[] = "D:P(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)(A;OICI;GRGX;;;AU)";
const char kRestrictedDirSddl[] = "D:P(A;;GA;;;SY)(A;;GA;;;BA)";

namespace {

UniqueHandle OpenProcessTokenForQuery() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return UniqueHandle();
  return UniqueHandle(token);
}

// One variable-sized token information class: the size first, then the data.
std::vector<BYTE> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  if (::GetTokenInformation(token, kind, nullptr, 0, &size) ||
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
    return {};
  }
  std::vector<BYTE> data(size);
  if (!::GetTokenInformation(token, kind, data.data(), size, &size)) return {};
  return data;
}

// What lets another user redirect or replace what the folder holds: adding, deleting or
// renaming its entries, deleting the folder itself, changing its security.
constexpr ACCESS_MASK kChangeRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD |
                                      DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL;
constexpr wchar_t kTrustedInstallerSid[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

// SYSTEM, TrustedInstaller, the Administrators and the user the process runs as.
class TrustedSids {
 public:
  TrustedSids() {
    sids_.push_back(WellKnownSid(WinLocalSystemSid));
    sids_.push_back(WellKnownSid(WinBuiltinAdministratorsSid));
    PSID installer = nullptr;
    if (::ConvertStringSidToSidW(kTrustedInstallerSid, &installer)) {
      const UniqueLocal held(installer);
      const auto* bytes = static_cast<const BYTE*>(installer);
      sids_.emplace_back(bytes, bytes + ::GetLengthSid(installer));
    }
    const UniqueHandle token = OpenProcessTokenForQuery();
    if (token) {
      const std::vector<BYTE> data = TokenInformation(token.get(), TokenUser);
      if (!data.empty()) {
        PSID user = reinterpret_cast<const TOKEN_USER*>(data.data())->User.Sid;
        const auto* bytes = static_cast<const BYTE*>(user);
        sids_.emplace_back(bytes, bytes + ::GetLengthSid(user));
      }
    }
  }
  bool Has(PSID sid) const {
    for (const auto& trusted : sids_) {
      if (!trusted.empty() && ::EqualSid(const_cast<BYTE*>(trusted.data()), sid)) return true;
    }
    return false;
  }

 private:
  std::vector<std::vector<BYTE>> sids_;
};

// Enables privileges of the process token for its lifetime and puts the earlier state back.
class ScopedPrivileges {
 public:
  explicit ScopedPrivileges(std::initializer_list<const wchar_t*> names) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
      return;
    }
    token_.reset(token);
    std::vector<BYTE> buffer(sizeof(TOKEN_PRIVILEGES) + names.size() * sizeof(LUID_AND_ATTRIBUTES));
    auto* wanted = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    wanted->PrivilegeCount = 0;
    for (const wchar_t* name : names) {
      LUID luid{};
      if (!::LookupPrivilegeValueW(nullptr, name, &luid)) continue;
      wanted->Privileges[wanted->PrivilegeCount++] = {luid, SE_PRIVILEGE_ENABLED};
    }
    previous_.resize(buffer.size());
    DWORD size = 0;
    if (!::AdjustTokenPrivileges(token_.get(), FALSE, wanted, static_cast<DWORD>(previous_.size()),
                                 reinterpret_cast<TOKEN_PRIVILEGES*>(previous_.data()), &size)) {
      previous_.clear();
    }
  }
  ~ScopedPrivileges() {
    if (!token_ || previous_.empty()) return;
    ::AdjustTokenPrivileges(token_.get(), FALSE,
                            reinterpret_cast<TOKEN_PRIVILEGES*>(previous_.data()), 0, nullptr,
                            nullptr);
  }
  ScopedPrivileges(const ScopedPrivileges&) = delete;
  ScopedPrivileges& operator=(const ScopedPrivileges&) = delete;

 private:
  UniqueHandle token_;
  std::vector<BYTE> previous_;
};

}  // namespace

bool OthersMayChange(HANDLE folder) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(folder, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return true;
  }
  const UniqueLocal held(descriptor);
  const TrustedSids trusted;
  if (owner == nullptr || !trusted.Has(owner)) return true;
  if (dacl == nullptr) return true;  // no DACL: everyone may do everything
  const std::vector<BYTE> creatorOwner = WellKnownSid(WinCreatorOwnerSid);
  const std::vector<BYTE> ownerRights = WellKnownSid(WinCreatorOwnerRightsSid);
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) return true;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // only for what is made below
    switch (header->AceType) {
      case ACCESS_DENIED_ACE_TYPE:
      case ACCESS_DENIED_OBJECT_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: continue;
      case ACCESS_ALLOWED_ACE_TYPE: break;
      default: return true;  // a grant of a kind not looked into
    }
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & kChangeRights) == 0) continue;
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if (trusted.Has(sid)) continue;
    // Replaced by the creator's own SID on what is made below; the owner, who is trusted.
    if (!creatorOwner.empty() && ::EqualSid(const_cast<BYTE*>(creatorOwner.data()), sid)) continue;
    if (!ownerRights.empty() && ::EqualSid(const_cast<BYTE*>(ownerRights.data()), sid)) continue;
    return true;
  }
  return false;
}

bool TakeOver(HANDLE folder, bool inheritable) {
  const ScopedPrivileges privileges({SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME});
  std::vector<BYTE> administrators = WellKnownSid(WinBuiltinAdministratorsSid);
  if (administrators.empty()) return false;
  SECURITY_DESCRIPTOR owning{};
  if (!::InitializeSecurityDescriptor(&owning, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorOwner(&owning, administrators.data(), FALSE)) {
    return false;
  }
  UniqueFileHandle forOwner;
  if (Handles::Reopen(folder, WRITE_OWNER, forOwner) != ERROR_SUCCESS ||
      !::SetKernelObjectSecurity(forOwner.get(), OWNER_SECURITY_INFORMATION, &owning)) {
    return false;
  }
  // As the owner now, the folder's DACL may be written whatever it says.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(
          inheritable ? kInheritedDirSddl : kRestrictedDirSddl, SDDL_REVISION_1, &descriptor,
          nullptr)) {
    return false;
  }
  const UniqueLocal held(descriptor);
  UniqueFileHandle forDacl;
  // Set on the object alone: nothing of what the folder holds is walked or changed.
  return Handles::Reopen(folder, WRITE_DAC, forDacl) == ERROR_SUCCESS &&
         ::SetKernelObjectSecurity(forDacl.get(),
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                   descriptor);
}

bool IsAdmin() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  if (!::CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  ::FreeSid(administrators);
  return member != FALSE;
}

DWORD GetIntegrityRid(HANDLE token) {
  const std::vector<BYTE> data = TokenInformation(token, TokenIntegrityLevel);
  if (data.empty()) return 0;
  const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(data.data());
  PSID sid = label->Label.Sid;
  if (sid == nullptr || !::IsValidSid(sid)) return 0;
  const UCHAR count = *::GetSidSubAuthorityCount(sid);
  if (count == 0) return 0;
  return *::GetSidSubAuthority(sid, count - 1u);
}

bool IsLowIntegrity() {
  const UniqueHandle token = OpenProcessTokenForQuery();
  if (!token) return false;
  return GetIntegrityRid(token.get()) == SECURITY_MANDATORY_LOW_RID;
}

std::wstring GetUserSidString() {
  const UniqueHandle token = OpenProcessTokenForQuery();
  if (!token) return {};
  const std::vector<BYTE> data = TokenInformation(token.get(), TokenUser);
  if (data.empty()) return {};
  const auto* user = reinterpret_cast<const TOKEN_USER*>(data.data());
  LPWSTR raw = nullptr;
  if (!::ConvertSidToStringSidW(user->User.Sid, &raw)) return {};
  const UniqueLocal holder(raw);
  return std::wstring(raw);
}

SECURITY_ATTRIBUTES* DirSecurity(bool inheritable) {
  auto* attributes = new (std::nothrow) SECURITY_ATTRIBUTES{};
  if (attributes == nullptr) return nullptr;
  attributes->nLength = sizeof(SECURITY_ATTRIBUTES);
  attributes->bInheritHandle = FALSE;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::ConvertStringSecurityDescriptorToSecurityDescriptorA(
          inheritable ? kInheritedDirSddl : kRestrictedDirSddl, SDDL_REVISION_1, &descriptor,
          nullptr)) {
    attributes->lpSecurityDescriptor = descriptor;
  }
  return attributes;
}

void FreeDirSecurity(SECURITY_ATTRIBUTES* attributes) {
  if (attributes == nullptr) return;
  if (attributes->lpSecurityDescriptor != nullptr) ::LocalFree(attributes->lpSecurityDescriptor);
  delete attributes;
}

}  // namespace KvTzkLogging
