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

FileSystem::OpenResult FileContext::OpenCurrent() {
  const FileSystem::OpenResult result = file_->Open(folder_, LeafName(0), dirSecurity_.get());
  if (result == FileSystem::OpenResult::Unsafe) {
    TurnFileLogOff("a link stands in place of the log file and could not be removed as the link",
                   FileName(0));
  }
  return result;
}

bool FileContext::EnsureOpen() {
  if (fileLogOff_) return false;
  if (file_->IsOpen()) {
    // Another process's rotation may have moved this file aside; it then is at or above
    // the limit too, so the open file is left for the new current one.
    if (file_->SeekEnd() < maxSize_) return true;
    // The log folder moved away and something else at its path: nothing there is moved or
    // deleted, and the lines go on into the file held.
    if (!fileSystem_->FolderStillThere(folder_)) return true;
    file_->Close();
  }
  if (basePath_.empty()) return false;
  // Only a file that is there and full, of another encoding or with a second name is moved
  // aside: a name that could not be opened at all moves and deletes nothing.
  const FileSystem::OpenResult first = OpenCurrent();
  if (first == FileSystem::OpenResult::Failed || first == FileSystem::OpenResult::Unsafe) {
    return false;
  }
  if (first == FileSystem::OpenResult::Opened) {
    if (file_->IsAppendable() && file_->SeekEnd() < maxSize_) return true;
    file_->Close();
  }
  Rotate(kOlderGenerations);
  if (OpenCurrent() != FileSystem::OpenResult::Opened) return false;
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
  // Only a file of the log folder, by its name there.
  const std::wstring folder = folder_.path + L"\\";
  if (!folder_.handle || path.size() <= folder.size() ||
      path.compare(0, folder.size(), folder) != 0 ||
      path.find(L'\\', folder.size()) != std::wstring::npos) {
    return;
  }
  const std::wstring name = path.substr(folder.size());
  const std::wstring renamed = name + L"__delete_" + std::to_wstring(::GetTickCount());
  if (fileSystem_->Move(folder_, name, renamed)) {
    fileSystem_->Delete(folder_, renamed);
  } else {
    fileSystem_->Delete(folder_, name);
  }
}

}  // namespace KvTzkLogging
