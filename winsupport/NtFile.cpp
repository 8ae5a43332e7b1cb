#include "NtFile.h"

#include <winternl.h>

#include <atomic>
#include <cstring>

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc,
                                               PVOID apcContext, PIO_STATUS_BLOCK status,
                                               PVOID buffer, ULONG length,
                                               FILE_INFORMATION_CLASS infoClass,
                                               BOOLEAN singleEntry, PUNICODE_STRING fileName,
                                               BOOLEAN restartScan);

extern "C" NTSTATUS NTAPI RtlGetLastNtStatus();

namespace {

constexpr ULONG kOpenReparsePoint = 0x00200000;     // FILE_OPEN_REPARSE_POINT
constexpr ULONG kOpenForBackupIntent = 0x00004000;  // FILE_OPEN_FOR_BACKUP_INTENT
constexpr ULONG kSynchronousIo = 0x00000020;        // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kOpenDisposition = 0x00000001;      // FILE_OPEN
constexpr auto kIdFullDirectoryInformation = static_cast<FILE_INFORMATION_CLASS>(38);
constexpr auto kStandardInformation = static_cast<FILE_INFORMATION_CLASS>(5);
constexpr auto kAttributeTagInformation = static_cast<FILE_INFORMATION_CLASS>(35);
constexpr auto kInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether the system knows the extended disposition (POSIX semantics) at all; cleared at the
// first answer that it does not.
std::atomic<bool> extendedDisposition{true};

constexpr NTSTATUS kDeletePending = static_cast<NTSTATUS>(0xC0000056);

// The Windows error of a status; an object whose deletion is pending is told apart from one
// that denies access, which the system answers for both.
DWORD ErrorOf(NTSTATUS status) {
  return status == kDeletePending ? ERROR_DELETE_PENDING : ::RtlNtStatusToDosError(status);
}

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

// One record of the object's information of that class.
template <typename Information>
DWORD Query(HANDLE object, FILE_INFORMATION_CLASS infoClass, Information& information) {
  IO_STATUS_BLOCK io{};
  const NTSTATUS status =
      ::NtQueryInformationFile(object, &io, &information, sizeof information, infoClass);
  return NT_SUCCESS(status) ? static_cast<DWORD>(ERROR_SUCCESS) : ErrorOf(status);
}

DWORD OpenRelative(HANDLE root, const std::wstring& name, ACCESS_MASK access,
                   UniqueFileHandle& object) {
  UNICODE_STRING text;
  text.Buffer = const_cast<PWSTR>(name.c_str());
  text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE opened = nullptr;
  const NTSTATUS status = ::NtCreateFile(
      &opened, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, kShareAll, kOpenDisposition,
      kOpenReparsePoint | kOpenForBackupIntent | kSynchronousIo, nullptr, 0);
  if (!NT_SUCCESS(status)) {
    object.reset();
    return ErrorOf(status);
  }
  object.reset(opened);
  return ERROR_SUCCESS;
}

}  // namespace

namespace NtFile {

DWORD OpenPath(const std::wstring& path, ACCESS_MASK access, UniqueFileHandle& object) {
  object.reset(::CreateFileW(path.c_str(), access | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (object) return ERROR_SUCCESS;
  const DWORD error = ::GetLastError();
  return error == ERROR_ACCESS_DENIED && RtlGetLastNtStatus() == kDeletePending
             ? static_cast<DWORD>(ERROR_DELETE_PENDING)
             : error;
}

DWORD OpenChild(HANDLE folder, const std::wstring& name, ACCESS_MASK access,
                UniqueFileHandle& object) {
  // An empty name, or one that climbs or descends, would name another object than the entry.
  if (name.empty() || name.find(L'\\') != std::wstring::npos) {
    object.reset();
    return ERROR_INVALID_NAME;
  }
  return OpenRelative(folder, name, access, object);
}

DWORD Reopen(HANDLE object, ACCESS_MASK access, UniqueFileHandle& reopened) {
  return OpenRelative(object, std::wstring(), access, reopened);
}

DWORD QueryIdentity(HANDLE object, Identity& identity) {
  AttributeTagInformation information{};
  const DWORD error = Query(object, kAttributeTagInformation, information);
  if (error != ERROR_SUCCESS) return error;
  identity.attributes = information.attributes;
  identity.reparseTag =
      (information.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? information.reparseTag : 0;
  return ERROR_SUCCESS;
}

DWORD QueryFileId(HANDLE object, int64_t& fileId) {
  LARGE_INTEGER id{};
  const DWORD error = Query(object, kInternalInformation, id);
  if (error == ERROR_SUCCESS) fileId = id.QuadPart;
  return error;
}

DWORD QueryLinkCount(HANDLE object, DWORD& links) {
  StandardInformation information{};
  const DWORD error = Query(object, kStandardInformation, information);
  if (error == ERROR_SUCCESS) links = information.numberOfLinks;
  return error;
}

bool IsLink(DWORD attributes, DWORD reparseTag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  // A listing or a system that gives no tag leaves nothing to tell the kinds apart by: what
  // can't be told from a link is taken for one.
  return reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag);
}

DWORD ListFolder(HANDLE folder, std::vector<Entry>& entries) {
  entries.clear();
  // Large enough for a few hundred entries a call; 8-byte aligned, as the records are.
  std::vector<uint64_t> buffer(64 * 1024 / sizeof(uint64_t));
  for (bool first = true;; first = false) {
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, buffer.data(),
                             static_cast<ULONG>(buffer.size() * sizeof(uint64_t)),
                             kIdFullDirectoryInformation, FALSE, nullptr, first ? TRUE : FALSE);
    if (status == kNoMoreFiles) return ERROR_SUCCESS;
    if (!NT_SUCCESS(status)) {
      entries.clear();
      return ErrorOf(status);
    }
    const auto* record = reinterpret_cast<const unsigned char*>(buffer.data());
    for (;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_FULL_DIR_INFORMATION*>(record);
      const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        // A reparse point's tag stands where the extended attributes' size would.
        const bool reparse = (entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries.push_back({std::wstring(name), entry->FileAttributes,
                           reparse ? static_cast<DWORD>(entry->EaSize) : 0,
                           entry->FileId.QuadPart});
      }
      if (entry->NextEntryOffset == 0) break;
      record += entry->NextEntryOffset;
    }
  }
}

DWORD MarkForDeletion(HANDLE object) {
  if (extendedDisposition.load(std::memory_order_relaxed)) {
    FILE_DISPOSITION_INFO_EX extended{FILE_DISPOSITION_FLAG_DELETE |
                                      FILE_DISPOSITION_FLAG_POSIX_SEMANTICS};
    if (::SetFileInformationByHandle(object, kDispositionInfoEx, &extended, sizeof extended)) {
      return ERROR_SUCCESS;
    }
    const DWORD error = ::GetLastError();
    switch (error) {
      // A system, or a file system, without the extended form: the plain one from now on,
      // without a second call for every object.
      case ERROR_SUCCESS:
      case ERROR_INVALID_FUNCTION:
      case ERROR_CALL_NOT_IMPLEMENTED:
      case ERROR_NOT_SUPPORTED:
      case ERROR_INVALID_PARAMETER: extendedDisposition = false; break;
      default: return error;
    }
  }
  FILE_DISPOSITION_INFO plain{TRUE};
  if (::SetFileInformationByHandle(object, FileDispositionInfo, &plain, sizeof plain)) {
    return ERROR_SUCCESS;
  }
  return ::GetLastError();
}

DWORD SetAttributes(HANDLE object, DWORD attributes) {
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = attributes;
  if (::SetFileInformationByHandle(object, FileBasicInfo, &basic, sizeof basic)) {
    return ERROR_SUCCESS;
  }
  return ::GetLastError();
}

DWORD ChangeAttributes(HANDLE object, DWORD attributes) {
  UniqueFileHandle writable;
  const DWORD error = Reopen(object, FILE_WRITE_ATTRIBUTES, writable);
  if (error != ERROR_SUCCESS) return error;
  const DWORD kept = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
  return SetAttributes(writable.get(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
}

DWORD ClearReadOnly(HANDLE object, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return ERROR_SUCCESS;
  return ChangeAttributes(object, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

DWORD MoveTo(HANDLE object, const std::wstring& path) {
  // The system's own name of the path: \\?\X:\... is \??\X:\....
  std::wstring target = path;
  if (target.compare(0, 4, L"\\\\?\\") == 0) target[1] = L'?';
  const size_t size = sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t);
  std::vector<uint64_t> buffer(size / sizeof(uint64_t) + 1);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(rename->FileName, target.data(), rename->FileNameLength);
  if (::SetFileInformationByHandle(object, FileRenameInfo, rename, static_cast<DWORD>(size))) {
    return ERROR_SUCCESS;
  }
  return ::GetLastError();
}

DWORD FinalPath(HANDLE object, std::wstring& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetFinalPathNameByHandleW(object, buffer.data(), static_cast<DWORD>(buffer.size()),
                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return ::GetLastError();
    if (length < buffer.size()) {
      buffer.resize(length);
      path = buffer;
      return ERROR_SUCCESS;
    }
    buffer.resize(length + 1);
  }
}

}  // namespace NtFile
