#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class ImportHook;

// Watches every call by which the code under test changes an object's owner or DACL
// (SetKernelObjectSecurity, SetSecurityInfo and RegSetKeySecurity on a handle,
// SetNamedSecurityInfoW on a name)
// while the holder lives; the calls still go through. One holder at a time.
class SecurityCallWatch {
 public:
  struct Call {
    SECURITY_INFORMATION parts;
    // The DACL set, as SDDL of the DACL alone; empty when the call set none.
    std::string dacl;
    // SetNamedSecurityInfoW: the object was named, not held.
    bool byName = false;
    // The function called.
    std::string function;
  };

  SecurityCallWatch();
  ~SecurityCallWatch();
  SecurityCallWatch(const SecurityCallWatch&) = delete;
  SecurityCallWatch& operator=(const SecurityCallWatch&) = delete;

  // SetKernelObjectSecurity and SetNamedSecurityInfoW are watched.
  bool IsActive() const;
  // RegSetKeySecurity is watched too, and SetSecurityInfo where the program imports it (one
  // that never imports a function has nothing to watch there).
  bool WatchesKeyCalls() const;
  const std::vector<Call>& Calls() const { return calls_; }
  // The DACLs of the calls that set one, in call order.
  std::vector<std::string> Dacls() const;

  // For the hooks.
  void Record(const char* function, SECURITY_INFORMATION parts, PACL dacl, bool byName = false);

 private:
  std::unique_ptr<ImportHook> kernel_;
  std::unique_ptr<ImportHook> named_;
  std::unique_ptr<ImportHook> handle_;
  std::unique_ptr<ImportHook> key_;
  std::vector<Call> calls_;
};
