#pragma once

#include <windows.h>

#include <memory>
#include <set>
#include <string>

class ImportHook;

// Makes one registry key answer the opens of the code under test as Windows answers them for
// a key owned by the system whose DACL grants the Administrators read access only (Wine grants
// an administrator DELETE and, through the DACL the test gives the key, everything else):
// WRITE_OWNER only while the take-ownership privilege is enabled on the calling thread,
// WRITE_DAC only once the owner was changed through a handle it opened, and DELETE or any
// other write only once the DACL was changed so. The key is the one whose name (as the code
// passes it, below a handle or a root) ends in the given last component. A seam on
// RegOpenKeyExW, RegCreateKeyExW and RegSetKeySecurity of the test program; one holder at a
// time. With ownerRightsEntry the DACL grants the Administrators nothing and holds an OWNER
// RIGHTS entry granting READ_CONTROL only, which takes the owner's implied WRITE_DAC away: the
// owner changes, the DACL never does, and only an open with backup-and-restore intent
// (RegCreateKeyExW with REG_OPTION_BACKUP_RESTORE) gets further, with what the privileges
// enabled on the thread grant: KEY_READ for the backup privilege, KEY_WRITE and DELETE for the
// restore privilege, never WRITE_DAC.
class OwnerOnlyWriteDacSeam {
 public:
  explicit OwnerOnlyWriteDacSeam(std::wstring lastComponent, bool ownerRightsEntry = false);
  ~OwnerOnlyWriteDacSeam();
  OwnerOnlyWriteDacSeam(const OwnerOnlyWriteDacSeam&) = delete;
  OwnerOnlyWriteDacSeam& operator=(const OwnerOnlyWriteDacSeam&) = delete;

  bool IsActive() const;
  // Opens of the key that the seam answered with ERROR_ACCESS_DENIED.
  int Denials() const { return denials_; }
  bool OwnerChanged() const { return ownerChanged_; }
  bool DaclChanged() const { return daclChanged_; }

  // For the hooks.
  bool Matches(const wchar_t* name) const;
  bool Allows(REGSAM rights, bool forRestore = false) const;
  void Opened(HKEY key) { handles_.insert(key); }
  void Denied() { ++denials_; }
  void Closed(HKEY key) { handles_.erase(key); }
  void SecuritySet(HKEY key, SECURITY_INFORMATION parts);

 private:
  std::wstring lastComponent_;
  bool ownerRightsEntry_;
  std::set<HKEY> handles_;
  int denials_ = 0;
  bool ownerChanged_ = false;
  bool daclChanged_ = false;
  std::unique_ptr<ImportHook> open_;
  std::unique_ptr<ImportHook> create_;
  std::unique_ptr<ImportHook> close_;
  std::unique_ptr<ImportHook> set_;
};
