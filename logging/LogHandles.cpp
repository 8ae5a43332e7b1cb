#include "LogHandles.h"

#include <winternl.h>

#include <cstring>
#include <cwctype>
#include <vector>

namespace KvTzkLogging::Handles {

namespace {

constexpr ULONG kOpenReparsePoint = 0x00200000;     // FILE_OPEN_REPARSE_POINT
constexpr ULONG kOpenForBackupIntent = 0x00004000;  // FILE_OPEN_FOR_BACKUP_INTENT
constexpr ULONG kSynchronousIo = 0x00000020;        // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kDirectoryFile = 0x00000001;        // FILE_DIRECTORY_FILE
constexpr ULONG kNonDirectoryFile = 0x00000040;     // FILE_NON_DIRECTORY_FILE
constexpr ULONG kOpenDisposition = 0x00000001;      // FILE_OPEN
constexpr ULONG kCreateDisposition = 0x00000002;    // FILE_CREATE
constexpr auto kNameInformation = static_cast<FILE_INFORMATION_CLASS>(9);
constexpr auto kInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);
constexpr auto kStandardInformation = static_cast<FILE_INFORMATION_CLASS>(5);
constexpr auto kAttributeTagInformation = static_cast<FILE_INFORMATION_CLASS>(35);
constexpr auto kDispositionInformation = static_cast<FILE_INFORMATION_CLASS>(13);
constexpr auto kRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct StandardInformation {
  LARGE_INTEGER allocationSize;
  LARGE_INTEGER endOfFile;
  ULONG numberOfLinks;
  BOOLEAN deletePending;
  BOOLEAN directory;
};

struct AttributeTagInformation {
  ULONG attributes;
  ULONG reparseTag;
};

struct RenameInformation {
  BOOLEAN replaceIfExists;
  HANDLE rootDirectory;
  ULONG fileNameLength;
  WCHAR fileName[1];
};

DWORD ErrorOf(NTSTATUS status) { return ::RtlNtStatusToDosError(status); }

template <typename Information>
DWORD Query(HANDLE object, FILE_INFORMATION_CLASS infoClass, Information& information) {
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      ::NtQueryInformationFile(object, &io, &information, sizeof information, infoClass);
  return NT_SUCCESS(status) ? static_cast<DWORD>(ERROR_SUCCESS) : ErrorOf(status);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  }
  return true;
}

}  // namespace

DWORD OpenEntry(HANDLE folder, const std::wstring& name, ACCESS_MASK access, Kind kind, bool create,
                PSECURITY_DESCRIPTOR descriptor, UniqueFileHandle& object) {
  object.reset();
  UNICODE_STRING text;
  text.Buffer = const_cast<PWSTR>(name.c_str());
  text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder,
                             create ? descriptor : nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE opened = nullptr;
  ULONG options = kOpenReparsePoint | kOpenForBackupIntent | kSynchronousIo;
  options |= kind == Kind::Directory ? kDirectoryFile : kNonDirectoryFile;
  const NTSTATUS status = ::NtCreateFile(
      &opened, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, kShareAll,
      create ? kCreateDisposition : kOpenDisposition, options, nullptr, 0);
  if (!NT_SUCCESS(status)) return ErrorOf(status);
  object.reset(opened);
  return ERROR_SUCCESS;
}

DWORD Reopen(HANDLE object, ACCESS_MASK access, UniqueFileHandle& reopened) {
  reopened.reset();
  UNICODE_STRING text{0, 0, nullptr};
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, object, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE opened = nullptr;
  const NTSTATUS status = ::NtCreateFile(
      &opened, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, kShareAll, kOpenDisposition,
      kOpenReparsePoint | kOpenForBackupIntent | kSynchronousIo, nullptr, 0);
  if (!NT_SUCCESS(status)) return ErrorOf(status);
  reopened.reset(opened);
  return ERROR_SUCCESS;
}

DWORD OpenFolderPath(const std::wstring& path, ACCESS_MASK access, UniqueFileHandle& folder) {
  folder.reset(::CreateFileW(path.c_str(), access | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return folder ? static_cast<DWORD>(ERROR_SUCCESS) : ::GetLastError();
}

DWORD QueryName(HANDLE object, std::wstring& name) {
  // FILE_NAME_INFORMATION: the length in bytes, then the name.
  std::vector<ULONG> buffer(2048);
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      ::NtQueryInformationFile(object, &io, buffer.data(),
                               static_cast<ULONG>(buffer.size() * sizeof(ULONG)), kNameInformation);
  if (!NT_SUCCESS(status)) return ErrorOf(status);
  const ULONG bytes = buffer[0];
  if (bytes > (buffer.size() - 1) * sizeof(ULONG)) return ERROR_INSUFFICIENT_BUFFER;
  name.assign(reinterpret_cast<const wchar_t*>(buffer.data() + 1), bytes / sizeof(wchar_t));
  return ERROR_SUCCESS;
}

DWORD QueryFileId(HANDLE object, int64_t& fileId) {
  LARGE_INTEGER id{};
  const DWORD error = Query(object, kInternalInformation, id);
  if (error == ERROR_SUCCESS) fileId = id.QuadPart;
  return error;
}

DWORD QueryAttributes(HANDLE object, DWORD& attributes) {
  AttributeTagInformation information{};
  const DWORD error = Query(object, kAttributeTagInformation, information);
  if (error == ERROR_SUCCESS) attributes = information.attributes;
  return error;
}

DWORD QueryLinkCount(HANDLE object, DWORD& links) {
  StandardInformation information{};
  const DWORD error = Query(object, kStandardInformation, information);
  if (error == ERROR_SUCCESS) links = information.numberOfLinks;
  return error;
}

std::wstring EntryName(const std::wstring& folderName, const std::wstring& name) {
  if (!folderName.empty() && folderName.back() == L'\\') return folderName + name;
  return folderName + L"\\" + name;
}

bool IsEntryItself(HANDLE object, const std::wstring& folderName, const std::wstring& name) {
  std::wstring held;
  return QueryName(object, held) == ERROR_SUCCESS && SameName(held, EntryName(folderName, name));
}

bool PathLeadsTo(const std::wstring& path, HANDLE object) {
  UniqueFileHandle byPath(::CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!byPath) return false;
  int64_t held = 0;
  int64_t found = -1;
  return QueryFileId(object, held) == ERROR_SUCCESS &&
         QueryFileId(byPath.get(), found) == ERROR_SUCCESS && held == found;
}

DWORD MarkForDeletion(HANDLE object) {
  BOOLEAN deleteFile = TRUE;
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      ::NtSetInformationFile(object, &io, &deleteFile, sizeof deleteFile, kDispositionInformation);
  return NT_SUCCESS(status) ? static_cast<DWORD>(ERROR_SUCCESS) : ErrorOf(status);
}

DWORD RenameInto(HANDLE object, HANDLE folder, const std::wstring& name) {
  const size_t bytes = name.size() * sizeof(wchar_t);
  std::vector<uint64_t> buffer((sizeof(RenameInformation) + bytes) / sizeof(uint64_t) + 1);
  auto* rename = reinterpret_cast<RenameInformation*>(buffer.data());
  rename->replaceIfExists = TRUE;
  rename->rootDirectory = folder;
  rename->fileNameLength = static_cast<ULONG>(bytes);
  std::memcpy(rename->fileName, name.data(), bytes);
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = ::NtSetInformationFile(
      object, &io, rename, static_cast<ULONG>(buffer.size() * sizeof(uint64_t)),
      kRenameInformation);
  return NT_SUCCESS(status) ? static_cast<DWORD>(ERROR_SUCCESS) : ErrorOf(status);
}

}  // namespace KvTzkLogging::Handles
