#pragma once

#include <windows.h>

#include <memory>
#include <string>

// The process token as the logging library sees it, and the security given to an
// administrator's log directories and files.
namespace KvTzkLogging {

// The process token is a member of BUILTIN\Administrators; a failed check counts as not.
bool IsAdmin();
// The process token's integrity level is low (SECURITY_MANDATORY_LOW_RID); false on failure.
bool IsLowIntegrity();
// The token's integrity level (the last sub-authority of its label), 0 on failure.
DWORD GetIntegrityRid(HANDLE token);
// The SID of the process user as a string, or empty.
std::wstring GetUserSidString();

// New, not inheritable security attributes for log directories and files: SYSTEM and
// Administrators full access, and with inheritable also Authenticated Users read and execute,
// every entry inherited by files and subdirectories. The DACL is protected: nothing is
// inherited from the folders above. Null when the allocation fails; without a descriptor
// (default security) when the conversion fails. Released with FreeDirSecurity.
SECURITY_ATTRIBUTES* DirSecurity(bool inheritable);
void FreeDirSecurity(SECURITY_ATTRIBUTES* attributes);

// Whether someone other than SYSTEM, TrustedInstaller, the Administrators and the running user
// owns the folder the handle holds (opened with READ_CONTROL), or may add, delete or rename its
// entries, delete it, or change its security. True as well when its security can't be read.
bool OthersMayChange(HANDLE folder);
// Makes the folder the handle holds the Administrators' and gives it the DACL of DirSecurity
// (inheritable or not), protected; through handles reopened from the one given, without
// touching what is in the folder. The privileges it needs are enabled for the change and put
// back afterwards.
bool TakeOver(HANDLE folder, bool inheritable);

extern const char kInheritedDirSddl[];
extern const char kRestrictedDirSddl[];

struct DirSecurityDeleter {
  void operator()(SECURITY_ATTRIBUTES* attributes) const { FreeDirSecurity(attributes); }
};
using DirSecurityPtr = std::unique_ptr<SECURITY_ATTRIBUTES, DirSecurityDeleter>;

}  // namespace KvTzkLogging
