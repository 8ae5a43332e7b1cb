#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "UniqueAny.h"

namespace KvTzkLogging::FileSystem {

// One open log file. Every operation but Open and IsAppendable does nothing and returns
// false or 0 while the file is closed.
class File {
 public:
  File() = default;
  virtual ~File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens or creates the file for reading and writing, shared with every other writer
  // (delete sharing lets another process rotate it while it is open here). Fails, leaving
  // the file closed, when Check refuses it. True at once when already open.
  virtual bool Open(const std::wstring& path, SECURITY_ATTRIBUTES* security);
  virtual bool Close();
  // One write of count bytes at the current position.
  virtual bool Write(const void* data, size_t count);
  // Moves to the end; the new position is the file size. 0 when closed or on failure.
  virtual uint64_t SeekEnd();
  virtual bool Flush();
  virtual bool IsOpen();
  // False once Check found a UTF-16 byte-order mark at the start.
  virtual bool IsAppendable();
  // False for a file with two or more hard links. A file that begins with FF FE is kept open
  // but marked as not appendable.
  virtual bool Check();

 private:
  bool appendable_ = true;
  UniqueFileHandle handle_;
};

}  // namespace KvTzkLogging::FileSystem
