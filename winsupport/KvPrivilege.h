#pragma once

#include <windows.h>

#include <memory>

#include "UniqueAny.h"

// Enables one privilege on the calling thread's token for the holder's lifetime and
// puts back the state it found. A thread without a token of its own impersonates its
// process for the duration, so the process token and other threads are never touched.
// Holders nest; each one must end on the thread that made it.
class KvPrivilege {
 public:
  explicit KvPrivilege(const wchar_t* privilegeName);
  virtual ~KvPrivilege();
  KvPrivilege(const KvPrivilege&) = delete;
  KvPrivilege& operator=(const KvPrivilege&) = delete;

  // True when the privilege is enabled while the holder lives (also when it already was
  // before); false when the token lacks it or the token could not be adjusted.
  bool IsEnabled() const noexcept;

 private:
  struct Record {
    // One privilege's previous attributes, as AdjustTokenPrivileges reported them;
    // a count of 0 means this holder changed nothing.
    TOKEN_PRIVILEGES previous;
    bool enabled;
    bool impersonated;
  };

  static UniqueHandle OpenToken(Record& record);

  std::unique_ptr<Record> record_;
};
