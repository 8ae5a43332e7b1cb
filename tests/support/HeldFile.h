#pragma once

#include <string>

#include "UniqueAny.h"

// A file held open by another process (file_holder.exe) without delete sharing, as a running
// program holds its own files, until the holder is destroyed.
class HeldFile {
 public:
  explicit HeldFile(const std::wstring& path);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // Whether the other process has the file open.
  bool IsHeld() const { return held_; }
  // Leaves the other process running, holding the file, after this object is gone.
  void Release() { process_.reset(); }

 private:
  UniqueHandle process_;
  bool held_ = false;
};
