#include "LogSecurity.h"

#include <sddl.h>

#include <new>
#include <vector>

#include "UniqueAny.h"

namespace KvTzkLogging {

const char kInheritedDirSddl[] = "D:(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)(A;OICI;GRGX;;;AU)";
const char kRestrictedDirSddl[] = "D:(A;;GA;;;SY)(A;;GA;;;BA)";

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

}  // namespace

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
