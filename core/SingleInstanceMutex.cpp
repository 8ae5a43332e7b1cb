#include "SingleInstanceMutex.h"

#include "Ownership.h"
#include "SecurityAttributes.h"

SingleInstanceMutex::State SingleInstanceMutex::Create(const wchar_t* name) {
  handle_.reset();
  owner_.clear();
  error_ = ERROR_SUCCESS;
  SecurityAttributes attributes;
  attributes.InitAdministratorsOnlyObject(true);
  handle_.reset(::CreateMutexW(attributes.Get(), FALSE, name));
  DWORD error = ::GetLastError();
  if (!handle_ && error == ERROR_INVALID_OWNER) {
    attributes.InitAdministratorsOnlyObject(false);
    handle_.reset(::CreateMutexW(attributes.Get(), FALSE, name));
    error = ::GetLastError();
  }
  if (handle_ && error != ERROR_ALREADY_EXISTS) return State::Created;
  if (!handle_ && error == ERROR_ACCESS_DENIED) {
    // It exists with a descriptor that refuses full access; whose it is is all that counts.
    handle_.reset(::OpenMutexW(READ_CONTROL, FALSE, name));
    if (!handle_) {
      error_ = ::GetLastError();
      return State::ForeignOwner;
    }
  }
  if (!handle_) {
    error_ = error;
    return State::NotCreated;
  }
  error_ = ReadObjectOwner(handle_.get(), SE_KERNEL_OBJECT, owner_);
  if (error_ == ERROR_SUCCESS && IsSystemOrAdministratorsSid(owner_)) {
    return State::AnotherInstance;
  }
  return State::ForeignOwner;
}
