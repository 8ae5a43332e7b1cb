#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FileContextBase.h"
#include "FileSystemFile.h"
#include "LogMutex.h"

namespace KvTzkLogging {

// The logger's connection to its log file: the file itself, kept below a size limit by
// rotation, the named mutex that serialises every process writing the same file, and the
// configuration read at every refresh (level, debugger output, size limit). Every operation
// runs under the logger's lock.
class FileContext : public FileContextBase {
 public:
  FileContext(std::unique_ptr<FileSystem::Path> fileSystem, std::wstring nameSpace,
              std::wstring dir, std::wstring name, int level, int flags);
  ~FileContext() override = default;

  // Reads the size limit again and, the first time, decides the location and creates the
  // mutex. True only for the first successful initialisation: the start header is then due.
  bool Init() override;
  // Appends one line, rotating first when the current file has reached the limit. A line
  // that cannot be written is dropped.
  virtual void Write(const char* data, size_t size);
  virtual void Flush();
  virtual int GetLogLevel();
  virtual bool GetDebugOutputLogging();
  // Leaves the current file open with its position at the end, rotating when it is at or
  // above the limit, refused, or begins with a UTF-16 mark. Called with the mutex held.
  virtual bool EnsureOpen();
  // Moves a file of the log folder to a unique name first, so that its name is free at once.
  // A path outside the log folder is left alone.
  virtual void DeleteByRename(const std::wstring& path);
  // "Global\KvTzkLogging_" (or "Local\..." at low integrity) and basePath with every
  // backslash replaced by an underscore.
  virtual std::wstring MutexName(bool lowIntegrity) const;

  uint64_t MaxSize() const { return maxSize_; }
  HANDLE Mutex() const { return mutex_.Handle(); }
  // The line to log once about a log mutex that is not waited for; empty otherwise.
  const std::wstring& MutexNotice() const { return mutex_.Notice(); }

 protected:
  // Opens or makes the current file; a name that can't be used safely turns the file log off.
  FileSystem::OpenResult OpenCurrent();

  int defaultLevel_;
  LogMutex mutex_;
  uint64_t maxSize_ = 50;
  std::unique_ptr<FileSystem::File> file_;
};

}  // namespace KvTzkLogging
