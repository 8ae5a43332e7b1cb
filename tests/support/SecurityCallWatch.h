#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class ImportHook;

// Watches every call by which the code under test changes an object's owner or DACL
// (SetKernelObjectSecurity on a handle, SetNamedSecurityInfoW on a name) while the holder
// lives; the calls still go through. One holder at a time.
class SecurityCallWatch {
 public:
  struct Call {
    SECURITY_INFORMATION parts;
    // The DACL set, as SDDL of the DACL alone; empty when the call set none.
    std::string dacl;
  };

  SecurityCallWatch();
  ~SecurityCallWatch();
  SecurityCallWatch(const SecurityCallWatch&) = delete;
  SecurityCallWatch& operator=(const SecurityCallWatch&) = delete;

  // Both functions are watched.
  bool IsActive() const;
  const std::vector<Call>& Calls() const { return calls_; }
  // The DACLs of the calls that set one, in call order.
  std::vector<std::string> Dacls() const;

  // For the hooks.
  void Record(SECURITY_INFORMATION parts, PACL dacl);

 private:
  std::unique_ptr<ImportHook> kernel_;
  std::unique_ptr<ImportHook> named_;
  std::vector<Call> calls_;
};
