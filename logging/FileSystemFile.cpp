#include "FileSystemFile.h"

namespace KvTzkLogging::FileSystem {

bool File::Open(const std::wstring& path, SECURITY_ATTRIBUTES* security) {
  if (IsOpen()) return true;
  appendable_ = true;
  handle_.reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, security,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!IsOpen()) return false;
  if (!Check()) {
    Close();
    return false;
  }
  return true;
}

bool File::Close() {
  if (!IsOpen()) return false;
  handle_.reset();
  return true;
}

bool File::Write(const void* data, size_t count) {
  if (!IsOpen() || count > MAXDWORD) return false;
  DWORD written = 0;
  return ::WriteFile(handle_.get(), data, static_cast<DWORD>(count), &written, nullptr) &&
         written == count;
}

uint64_t File::SeekEnd() {
  if (!IsOpen()) return 0;
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(handle_.get(), LARGE_INTEGER{}, &position, FILE_END)) return 0;
  return static_cast<uint64_t>(position.QuadPart);
}

bool File::Flush() { return IsOpen() && ::FlushFileBuffers(handle_.get()); }

bool File::IsOpen() { return handle_.is_valid(); }

bool File::IsAppendable() { return appendable_; }

bool File::Check() {
  if (!IsOpen()) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileInformationByHandle(handle_.get(), &information) &&
      information.nNumberOfLinks >= 2) {
    return false;
  }
  unsigned char mark[2] = {};
  DWORD read = 0;
  if (::ReadFile(handle_.get(), mark, sizeof(mark), &read, nullptr) && read == sizeof(mark) &&
      mark[0] == 0xFF && mark[1] == 0xFE) {
    appendable_ = false;
  }
  return true;
}

}  // namespace KvTzkLogging::FileSystem
