#include "AdminCheck.h"

#include "UniqueAny.h"

bool IsMemberOfBuiltinGroup(HANDLE token, DWORD relativeId) {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  UniqueSid group;
  if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, relativeId, 0, 0, 0,
                                  0, 0, 0, group.put())) {
    return false;
  }
  BOOL member = FALSE;
  if (!::CheckTokenMembership(token, group.get(), &member)) return false;
  return member != FALSE;
}

bool IsAdmin(HANDLE token) { return IsMemberOfBuiltinGroup(token, DOMAIN_ALIAS_RID_ADMINS); }
