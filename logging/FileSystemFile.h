#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "UniqueAny.h"

namespace KvTzkLogging::FileSystem {

// The log folder as the process holds it for its life: its handle (shared for reading, writing
// and deletion), its full path, and its name as the system keeps it for the handle.
struct Folder {
  UniqueFileHandle handle;
  std::wstring path;
  std::wstring name;
  // Passed the test of who may change it (or was taken over): what can't be deleted there may
  // be scheduled for the restart.
  bool trusted = false;
};

// How an open of the log file ended.
enum class OpenResult {
  Opened,
  // Open, and refused by Check (more than one name): left closed, to be moved aside.
  Refused,
  // Neither opened nor made (sharing, access, a folder in the way); nothing is to be moved.
  Failed,
  // What has the name can't be told from a link that the system followed on the open, or a
  // link in its place could not be removed: the name can't be used safely.
  Unsafe,
};

// One open log file. Every operation but Open and IsAppendable does nothing and returns
// false or 0 while the file is closed.
class File {
 public:
  File() = default;
  virtual ~File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens the entry `name` of the folder for reading and writing, shared with every other
  // writer (delete sharing lets another process rotate it while it is open here), or makes
  // it with the security given. A link in its place is removed as the link and a fresh file
  // made; what has more than one name is refused (Check). Opened at once when already open.
  virtual OpenResult Open(const Folder& folder, const std::wstring& name,
                          SECURITY_ATTRIBUTES* security);
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

 protected:
  // The attributes of what the open found at the name, and the removal of a link found there,
  // apart so that a test can present a link that the system opens as itself (Wine follows
  // every Unix symbolic link).
  virtual DWORD Attributes(HANDLE file, const std::wstring& name);
  virtual bool RemoveLink(HANDLE link, const std::wstring& name);

 private:
  bool appendable_ = true;
  UniqueFileHandle handle_;
};

}  // namespace KvTzkLogging::FileSystem
