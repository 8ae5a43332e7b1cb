#pragma once

#include <windows.h>

// Membership tests in the built-in domain (S-1-5-32-<rid>). A null token means the
// calling thread's effective token. Only enabled groups count, so an administrator
// whose token is filtered (not elevated) is not a member. Any failure answers false.
bool IsMemberOfBuiltinGroup(HANDLE token, DWORD relativeId);
// Member of BUILTIN\Administrators.
bool IsAdmin(HANDLE token);
