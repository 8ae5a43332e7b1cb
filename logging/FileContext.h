#pragma once

#include <cstddef>
#include <string>

namespace KvTzkLogging {

// The logger's view of its output file: where lines go, and the configuration read
// with every refresh (level, debugger output).
class FileContext {
 public:
  FileContext(std::wstring nameSpace, std::wstring directory, std::wstring baseName, int level,
              int flags);
  virtual ~FileContext() = default;
  FileContext(const FileContext&) = delete;
  FileContext& operator=(const FileContext&) = delete;

  // True only on the first successful initialisation: the start header is then due.
  virtual bool Init();
  virtual void Write(const char* data, size_t size);
  virtual void Flush();
  virtual int GetLogLevel();
  virtual bool GetDebugOutputLogging();

 protected:
  std::wstring nameSpace_;
  std::wstring directory_;
  std::wstring baseName_;
  int level_;
  int flags_;
  bool initialized_ = false;
};

}  // namespace KvTzkLogging
