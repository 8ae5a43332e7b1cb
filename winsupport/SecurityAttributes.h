#pragma once

#include <windows.h>

#include <memory>

// An owned SECURITY_ATTRIBUTES record whose self-relative descriptor is made from an SDDL
// string. Empty, or holding one record; moved, never copied. Destruction frees the
// descriptor and then the record.
class SecurityAttributes {
 public:
  SecurityAttributes() = default;
  ~SecurityAttributes() = default;
  SecurityAttributes(SecurityAttributes&&) noexcept = default;
  SecurityAttributes& operator=(SecurityAttributes&&) noexcept = default;
  SecurityAttributes(const SecurityAttributes&) = delete;
  SecurityAttributes& operator=(const SecurityAttributes&) = delete;

  // Frees what is held and starts a fresh record without a descriptor.
  void Reset();
  // Builds the descriptor from SDDL; unless leaveUnprotected, the DACL is marked
  // protected so the object inherits nothing from its parent. A failed conversion
  // leaves the holder empty.
  bool InitFromSddl(const wchar_t* sddl, bool leaveUnprotected);
  // The program's work directory: closed to anonymous, network and local-service
  // logons, read and execute for guests and users, full access for administrators,
  // the local administrator account and the system.
  void InitWorkDirectory();
  // Everyone gets full access; used when ownership of an object is taken.
  void InitEveryoneFullAccess();
  // Full access for the Administrators group and the system only; used by the forced
  // removals when ownership is taken.
  void InitAdministratorsFullAccess();
  // A kernel object (the program's mutexes) that only the system and the Administrators may
  // open, owned by the Administrators; without administratorsOwner the owner is left to the
  // creator's token, for a process that is not an administrator, which can't give the
  // Administrators an object.
  void InitAdministratorsOnlyObject(bool administratorsOwner);

  // The record to hand to CreateDirectoryW and the ownership operations; null when
  // the holder is empty.
  SECURITY_ATTRIBUTES* Get() const noexcept { return record_.get(); }
  bool IsEmpty() const noexcept { return !record_; }

 private:
  struct RecordDeleter {
    void operator()(SECURITY_ATTRIBUTES* record) const noexcept;
  };
  std::unique_ptr<SECURITY_ATTRIBUTES, RecordDeleter> record_;
};
