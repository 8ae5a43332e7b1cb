#pragma once

#include <windows.h>

#include <string>

#include "UniqueAny.h"

namespace KvTzkLogging {

// The mutex that serialises every process writing one log file. It is waited for only where
// it is the program's own: made here, or found owned by the system, the Administrators or
// this process's user. Another user's object of that name, or one that can't be opened for
// waiting, is left alone: the lines are then ordered by the logger's lock alone, and Notice
// says so. No line is lost because of someone else's mutex.
class LogMutex {
 public:
  // The longest wait for the mutex per line; a line that would wait longer is dropped.
  static constexpr DWORD kWaitMs = 500;

  LogMutex() = default;
  LogMutex(const LogMutex&) = delete;
  LogMutex& operator=(const LogMutex&) = delete;

  // Named, or unnamed when name is null. An administrator's new named mutex is owned by the
  // Administrators and opens to the system and the Administrators only; a process that is not
  // an administrator can't give the Administrators an object, so its own has the default
  // security, which opens to its user. Before Create every Hold fails.
  void Create(const wchar_t* name, bool isAdmin);

  // The mutex waited for; null before Create and where the mutex is not waited for.
  HANDLE Handle() const { return handle_.get(); }
  // Create was called and its mutex is not waited for.
  bool Bypassed() const { return bypassed_; }
  // The one line to log about a mutex that is not waited for; empty otherwise.
  const std::wstring& Notice() const { return notice_; }

  // Holds the mutex for one operation. Acquired is false when the wait failed or timed out,
  // and then nothing is to be done; where the mutex is not waited for, it is true at once.
  class Hold {
   public:
    explicit Hold(const LogMutex& mutex);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    bool Acquired() const { return acquired_; }

   private:
    HANDLE waited_ = nullptr;
    bool acquired_ = false;
  };

 private:
  void Bypass(std::wstring notice);

  UniqueHandle handle_;
  bool bypassed_ = false;
  std::wstring notice_;
};

// The owner of the kernel object as a SID string, read through the handle (which needs
// READ_CONTROL); empty with *error set when it can't be read or there is none.
std::wstring KernelObjectOwner(HANDLE object, DWORD* error);

}  // namespace KvTzkLogging
