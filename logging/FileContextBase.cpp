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
  basePath_.clear();
  if (!fileSystem_->CreateDirs(path, root.size() + 1, dirSecurity_.get(), folder_)) {
    folder_ = FileSystem::Folder();
    TurnFileLogOff("its folders could not be opened and made as real folders, without links", path);
    return false;
  }
  if (isAdmin) {
    // Only the log folder itself: the folders above are not changed.
    if (FolderOthersMayChange(folder_.handle.get()) &&
        (!TakeFolderOver(folder_.handle.get(), (flags_ & RestrictedDirectoryAcl) == 0) ||
         FolderOthersMayChange(folder_.handle.get()))) {
      folder_ = FileSystem::Folder();
      TurnFileLogOff("its folder may be changed by other users and could not be taken over", path);
      return false;
    }
    folder_.trusted = true;
  }
  baseName_ = name_;
  if (isAdmin && (flags_ & PerUserFile)) baseName_ += L"." + UserSidString();
  basePath_ = path + L"\\" + baseName_;
  return true;
}

std::wstring FileContextBase::FileName(int index) const {
  if (index == 0) return basePath_ + L".log";
  return basePath_ + L"." + std::to_wstring(index) + L".log";
}

std::wstring FileContextBase::LeafName(int index) const {
  if (index == 0) return baseName_ + L".log";
  return baseName_ + L"." + std::to_wstring(index) + L".log";
}

void FileContextBase::Rotate(int count) {
  // After the folder was moved away and something else put at its path, nothing is moved:
  // a system that renames by paths (Wine) would act on what is there now.
  if (!fileSystem_->FolderStillThere(folder_)) return;
  for (int i = 0; i <= count; ++i) {
    if (i == 0) {
      fileSystem_->Delete(folder_, LeafName(count));
    } else if (fileSystem_->IsFile(folder_, LeafName(count - i))) {
      fileSystem_->Move(folder_, LeafName(count - i), LeafName(count - i + 1));
    }
  }
}

void FileContextBase::TurnFileLogOff(const char* why, const std::wstring& path) {
  if (fileLogOff_) return;
  fileLogOff_ = true;
  std::string narrow;
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()),
                                         nullptr, 0, nullptr, nullptr);
  if (size > 0) {
    narrow.resize(static_cast<size_t>(size));
    ::WideCharToMultiByte(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()), narrow.data(),
                          size, nullptr, nullptr);
  }
  const std::string line =
      "KvTzkLogging: no log file is written: " + std::string(why) + " ('" + narrow + "')\r\n";
  ::OutputDebugStringA(line.c_str());
}

}  // namespace KvTzkLogging
