#include "FileContext.h"

#include <utility>

namespace KvTzkLogging {

FileContext::FileContext(std::wstring nameSpace, std::wstring directory, std::wstring baseName,
                         int level, int flags)
    : nameSpace_(std::move(nameSpace)),
      directory_(std::move(directory)),
      baseName_(std::move(baseName)),
      level_(level),
      flags_(flags) {}

bool FileContext::Init() {
  if (initialized_) return false;
  initialized_ = true;
  return true;
}

// Lines have no file to go to yet; they reach the debugger output when it is enabled.
void FileContext::Write(const char*, size_t) {}

void FileContext::Flush() {}

int FileContext::GetLogLevel() { return level_; }

bool FileContext::GetDebugOutputLogging() { return false; }

}  // namespace KvTzkLogging
