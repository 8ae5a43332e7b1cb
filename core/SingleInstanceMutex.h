#pragma once

#include <windows.h>

#include <string>

#include "UniqueAny.h"

// The program's single-instance mutex, held from the start of the run to its end. The name
// is fixed, so that instances find each other; every user may create objects by that name,
// so an existing one is taken for another instance only where the system or the
// Administrators own it.
class SingleInstanceMutex {
 public:
  enum class State {
    Created,          // made here: this is the only instance
    AnotherInstance,  // it existed, owned by the system or the Administrators
    ForeignOwner,     // it existed with another owner, or one that can't be read
    NotCreated,       // it could be neither made nor opened (Error says why)
  };

  // A new mutex is owned by the Administrators and opens to the system and the
  // Administrators only; a process that is not an administrator, which can't give the
  // Administrators an object, owns its own.
  State Create(const wchar_t* name);

  // The owner of an existing mutex as a SID string; empty where it can't be read.
  const std::wstring& Owner() const { return owner_; }
  // Why the owner can't be read, or why the mutex was not made; 0 otherwise.
  DWORD Error() const { return error_; }

 private:
  UniqueHandle handle_;
  std::wstring owner_;
  DWORD error_ = ERROR_SUCCESS;
};
