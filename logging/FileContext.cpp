#include "FileContext.h"

#include <algorithm>
#include <utility>

#include "Logger.h"

namespace KvTzkLogging {

namespace {

constexpr uint64_t kSmallestLimit = 3;
constexpr int kOlderGenerations = 2;
constexpr size_t kMutexPrefixLength = 19;  // the backslashes of basePath begin here

}  // namespace

FileContext::FileContext(std::unique_ptr<FileSystem::Path> fileSystem, std::wstring nameSpace,
                         std::wstring dir, std::wstring name, int level, int flags)
    : FileContextBase(std::move(fileSystem), std::move(nameSpace), std::move(dir), std::move(name),
                      flags),
      defaultLevel_(level),
      file_(fileSystem_->NewFile()) {}

bool FileContext::Init() {
  maxSize_ = std::max(kSmallestLimit, ReadMaxSize(dir_, name_));
  if (!FileContextBase::Init()) return false;
  if (basePath_.empty()) return true;
  const std::wstring name = MutexName(lowIntegrity_);
  mutex_.Create((flags_ & NoNamedMutex) ? nullptr : name.c_str(), isAdmin_);
  return true;
}

int FileContext::GetLogLevel() { return ReadLogLevel(dir_, name_, defaultLevel_); }

bool FileContext::GetDebugOutputLogging() { return ReadDebugOutputLogging(dir_, name_); }

std::wstring FileContext::MutexName(bool lowIntegrity) const {
  std::wstring name = lowIntegrity ? L"Local\\KvTzkLogging_" : L"Global\\KvTzkLogging_";
  name += basePath_;
  for (size_t i = kMutexPrefixLength; i < name.size(); ++i) {
    if (name[i] == L'\\') name[i] = L'_';
  }
  return name;
}

bool FileContext::EnsureOpen() {
  if (file_->IsOpen()) {
    // Another process's rotation may have moved this file aside; it then is at or above
    // the limit too, so the open file is left for the new current one.
    if (file_->SeekEnd() < maxSize_) return true;
    file_->Close();
  }
  if (basePath_.empty()) return false;
  if (file_->Open(FileName(0), dirSecurity_.get())) {
    if (file_->IsAppendable() && file_->SeekEnd() < maxSize_) return true;
    file_->Close();
  }
  Rotate(kOlderGenerations);
  if (!file_->Open(FileName(0), dirSecurity_.get())) return false;
  // A file that could not be moved aside is appended to, never overwritten; but text of
  // another encoding is never added to a UTF-16 file, so then the line is dropped.
  if (!file_->IsAppendable()) {
    file_->Close();
    return false;
  }
  file_->SeekEnd();
  return true;
}

void FileContext::Write(const char* data, size_t size) {
  const LogMutex::Hold hold(mutex_);
  if (!hold.Acquired()) return;
  if (EnsureOpen()) file_->Write(data, size);
}

void FileContext::Flush() {
  const LogMutex::Hold hold(mutex_);
  if (!hold.Acquired()) return;
  file_->Flush();
}

void FileContext::DeleteByRename(const std::wstring& path) {
  const std::wstring renamed = path + L"__delete_" + std::to_wstring(::GetTickCount());
  if (fileSystem_->Move(path, renamed)) {
    fileSystem_->Delete(renamed);
  } else {
    fileSystem_->Delete(path);
  }
}

}  // namespace KvTzkLogging
