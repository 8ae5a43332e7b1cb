#include "FileSystemFile.h"

#include "LogHandles.h"

namespace KvTzkLogging::FileSystem {

namespace {

constexpr ACCESS_MASK kFileAccess = GENERIC_READ | GENERIC_WRITE;
// A name found missing and then taken by another process before it could be made here, or a
// link removed and made again: after so many turns the name is given up.
constexpr int kOpenTurns = 3;

}  // namespace

OpenResult File::Open(const Folder& folder, const std::wstring& name,
                      SECURITY_ATTRIBUTES* security) {
  if (IsOpen()) return OpenResult::Opened;
  if (!folder.handle) return OpenResult::Failed;
  appendable_ = true;
  PSECURITY_DESCRIPTOR descriptor = security != nullptr ? security->lpSecurityDescriptor : nullptr;
  for (int turn = 0; turn < kOpenTurns; ++turn) {
    UniqueFileHandle file;
    DWORD error = Handles::OpenEntry(folder.handle.get(), name, kFileAccess, Handles::Kind::File,
                                     false, nullptr, file);
    if (error == ERROR_FILE_NOT_FOUND) {
      // Made, never opened through a link: an existing name (a link to a missing file
      // among them) is taken for another turn.
      error = Handles::OpenEntry(folder.handle.get(), name, kFileAccess, Handles::Kind::File, true,
                                 descriptor, file);
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
    }
    if (error != ERROR_SUCCESS) return OpenResult::Failed;
    if (!Handles::IsEntryItself(file.get(), folder.name, name)) return OpenResult::Unsafe;
    const DWORD attributes = Attributes(file.get(), name);
    if (attributes == INVALID_FILE_ATTRIBUTES) return OpenResult::Failed;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // The link itself: it goes as the link, and the name is made again.
      if (!RemoveLink(file.get(), name)) return OpenResult::Unsafe;
      continue;
    }
    handle_ = std::move(file);
    if (!Check()) {
      Close();
      return OpenResult::Refused;
    }
    return OpenResult::Opened;
  }
  return OpenResult::Unsafe;
}

DWORD File::Attributes(HANDLE file, const std::wstring&) {
  DWORD attributes = 0;
  return Handles::QueryAttributes(file, attributes) == ERROR_SUCCESS ? attributes
                                                                     : INVALID_FILE_ATTRIBUTES;
}

bool File::RemoveLink(HANDLE link, const std::wstring&) {
  UniqueFileHandle deletable;
  return Handles::Reopen(link, DELETE, deletable) == ERROR_SUCCESS &&
         Handles::MarkForDeletion(deletable.get()) == ERROR_SUCCESS;
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
  DWORD links = 0;
  if (Handles::QueryLinkCount(handle_.get(), links) == ERROR_SUCCESS && links >= 2) return false;
  unsigned char mark[2] = {};
  DWORD read = 0;
  if (::ReadFile(handle_.get(), mark, sizeof(mark), &read, nullptr) && read == sizeof(mark) &&
      mark[0] == 0xFF && mark[1] == 0xFE) {
    appendable_ = false;
  }
  return true;
}

}  // namespace KvTzkLogging::FileSystem
