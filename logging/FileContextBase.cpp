#include "FileContextBase.h"

#include <utility>

#include "Logger.h"

namespace KvTzkLogging {

FileContextBase::FileContextBase(std::unique_ptr<FileSystem::Path> fileSystem,
                                 std::wstring nameSpace, std::wstring dir, std::wstring name,
                                 int flags)
    : fileSystem_(std::move(fileSystem)),
      ns_(std::move(nameSpace)),
      dir_(std::move(dir)),
      name_(std::move(name)),
      flags_(flags) {}

bool FileContextBase::IsNoNamespace(const std::wstring& nameSpace) {
  return nameSpace.empty() || nameSpace == L"default" || nameSpace == L"fl_default" ||
         nameSpace == L"ptw_default";
}

bool FileContextBase::Init() {
  if (initialised_) return false;
  isAdmin_ = ProcessIsAdmin();
  LogRootKind kind = UserRoot;
  if (isAdmin_) {
    dirSecurity_.reset(DirSecurity((flags_ & RestrictedDirectoryAcl) == 0));
    kind = AdminRoot;
  } else if (ProcessIsLowIntegrity()) {
    lowIntegrity_ = true;
    kind = LowIntegrityRoot;
  }
  initialised_ = true;
  return BuildPath(LogRoot(kind), isAdmin_);
}

bool FileContextBase::BuildPath(const std::wstring& root, bool isAdmin) {
  std::wstring path = root + L"\\Korvane";
  if (IsNoNamespace(ns_)) {
    path += L"\\Log\\" + dir_;
  } else {
    path += L"\\NS\\" + ns_ + L"\\Log\\" + dir_;
  }
  if (!fileSystem_->CreateDirs(path, root.size() + 1, dirSecurity_.get())) {
    basePath_.clear();
    return false;
  }
  basePath_ = path + L"\\" + name_;
  if (isAdmin && (flags_ & PerUserFile)) basePath_ += L"." + UserSidString();
  return true;
}

std::wstring FileContextBase::FileName(int index) const {
  if (index == 0) return basePath_ + L".log";
  return basePath_ + L"." + std::to_wstring(index) + L".log";
}

void FileContextBase::Rotate(int count) {
  for (int i = 0; i <= count; ++i) {
    if (i == 0) {
      fileSystem_->Delete(FileName(count));
    } else if (fileSystem_->IsFile(FileName(count - i))) {
      fileSystem_->Move(FileName(count - i), FileName(count - i + 1));
    }
  }
}

}  // namespace KvTzkLogging
