#pragma once

#include <string>

#include "UniqueAny.h"

// A file or folder held open by another process (file_holder.exe) until the holder is
// destroyed: without delete sharing, as a running program holds its own files and a process
// its current directory, or with it, as a program that lets others delete what it reads (the
// deletion then waits until the handle is closed).
class HeldFile {
 public:
  enum class Sharing { NoDelete, Delete };

  explicit HeldFile(const std::wstring& path, Sharing sharing = Sharing::NoDelete);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // Whether the other process has the file open.
  bool IsHeld() const { return held_; }
  // Leaves the other process running, holding the file, after this object is gone.
  void Release() { process_.reset(); }
  // Ends the other process now, which closes its handle.
  void End();

 private:
  UniqueHandle process_;
  bool held_ = false;
};

// A named mutex made with the descriptor of an SDDL string and held by another process
// (file_holder.exe) until the holder is destroyed, as another user's program would make and
// hold it. Under Wine the owner stays as the SDDL gives it.
class HeldMutex {
 public:
  HeldMutex(const std::wstring& name, const std::wstring& sddl);
  ~HeldMutex();
  HeldMutex(const HeldMutex&) = delete;
  HeldMutex& operator=(const HeldMutex&) = delete;

  // Whether the other process made the mutex and holds it.
  bool IsHeld() const { return held_; }

 private:
  UniqueHandle process_;
  bool held_ = false;
};
