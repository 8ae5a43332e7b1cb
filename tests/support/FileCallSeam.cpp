#include "FileCallSeam.h"

#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "ImportHook.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID,
                                               PIO_STATUS_BLOCK, PVOID, ULONG,
                                               FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING,
                                               BOOLEAN);

namespace {

using CreateFileWFn = decltype(&::CreateFileW);
using NtCreateFileFn = decltype(&::NtCreateFile);
using NtQueryInformationFileFn = decltype(&::NtQueryInformationFile);
using NtQueryDirectoryFileFn = decltype(&NtQueryDirectoryFile);
using SetFileInformationByHandleFn = decltype(&::SetFileInformationByHandle);
using SetKernelObjectSecurityFn = decltype(&::SetKernelObjectSecurity);

constexpr auto kAttributeTagInformation = static_cast<FILE_INFORMATION_CLASS>(35);
constexpr auto kIdFullDirectoryInformation = static_cast<FILE_INFORMATION_CLASS>(38);
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

struct Denial {
  std::wstring path;
  ACCESS_MASK rights;
  DWORD error;
  bool untilNewOwner;
};
struct Failure {
  std::wstring path;
  DWORD error;
};
struct Action {
  std::wstring path;
  std::function<void()> act;
};
struct Added {
  std::wstring path;
  DWORD attributes;
  DWORD reparseTag;
};

struct State {
  CreateFileWFn createFile = nullptr;
  NtCreateFileFn ntCreateFile = nullptr;
  NtQueryInformationFileFn queryInformation = nullptr;
  NtQueryDirectoryFileFn queryDirectory = nullptr;
  SetFileInformationByHandleFn setInformation = nullptr;
  SetKernelObjectSecurityFn setSecurity = nullptr;
  std::vector<Denial> denials;
  std::vector<Failure> deletions;
  std::vector<Failure> moves;
  std::vector<Failure> queries;
  std::vector<Added> added;
  std::vector<std::wstring> readOnly;
  std::vector<Action> actions;
  std::vector<std::wstring> owners;
  std::vector<std::wstring> deleted;
  std::vector<std::wstring> listed;
  std::vector<FileCallSeam::Move> moved;
} state;

// The \\?\ form of a test's path, or of a final path, for comparison.
std::wstring Normal(std::wstring path) {
  if (path.compare(0, 4, L"\\\\?\\") != 0 && path.compare(0, 4, L"\\??\\") != 0) {
    path = L"\\\\?\\" + path;
  }
  path[1] = L'\\';
  while (path.size() > 7 && path.back() == L'\\') path.pop_back();
  return path;
}

bool Same(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring PathOfHandle(HANDLE object) {
  wchar_t buffer[4096];
  const DWORD length = ::GetFinalPathNameByHandleW(object, buffer, 4096, VOLUME_NAME_DOS);
  if (length == 0 || length >= 4096) return {};
  return Normal(std::wstring(buffer, length));
}

bool Owned(const std::wstring& path) {
  return std::any_of(state.owners.begin(), state.owners.end(),
                     [&](const std::wstring& owner) { return Same(owner, path); });
}

// The error an open of the object asking for the rights answers, 0 where it goes through.
DWORD DenialOf(const std::wstring& path, ACCESS_MASK rights) {
  for (const auto& denial : state.denials) {
    if ((denial.rights & rights) == 0 || !Same(denial.path, path)) continue;
    if (denial.untilNewOwner && Owned(path)) continue;
    return denial.error;
  }
  return ERROR_SUCCESS;
}

template <typename List>
const typename List::value_type* Find(const List& list, const std::wstring& path) {
  for (const auto& item : list) {
    if (Same(item.path, path)) return &item;
  }
  return nullptr;
}

bool IsReadOnlyKept(const std::wstring& path) {
  return std::any_of(state.readOnly.begin(), state.readOnly.end(),
                     [&](const std::wstring& folder) { return Same(folder, path); });
}

NTSTATUS StatusOf(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED: return static_cast<NTSTATUS>(0xC0000022);
    case ERROR_SHARING_VIOLATION: return static_cast<NTSTATUS>(0xC0000043);
    case ERROR_LOCK_VIOLATION: return static_cast<NTSTATUS>(0xC0000054);
    case ERROR_FILE_NOT_FOUND: return static_cast<NTSTATUS>(0xC0000034);
    case ERROR_PATH_NOT_FOUND: return static_cast<NTSTATUS>(0xC000003A);
    case ERROR_INVALID_NAME: return static_cast<NTSTATUS>(0xC0000033);
    case ERROR_NOT_READY: return static_cast<NTSTATUS>(0xC00000A3);
    case ERROR_DIR_NOT_EMPTY: return static_cast<NTSTATUS>(0xC0000101);
    default: return static_cast<NTSTATUS>(0xC0000001);
  }
}

HANDLE WINAPI SeamCreateFileW(LPCWSTR path, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES attributes, DWORD disposition, DWORD flags,
                              HANDLE templateFile) {
  if (disposition == OPEN_EXISTING) {
    const DWORD error = DenialOf(Normal(path), access);
    if (error != ERROR_SUCCESS) {
      ::SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
  }
  return state.createFile(path, access, share, attributes, disposition, flags, templateFile);
}

NTSTATUS NTAPI SeamNtCreateFile(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                                PIO_STATUS_BLOCK io, PLARGE_INTEGER allocation,
                                ULONG fileAttributes, ULONG share, ULONG disposition, ULONG options,
                                PVOID ea, ULONG eaLength) {
  if (attributes != nullptr && attributes->RootDirectory != nullptr) {
    std::wstring path = PathOfHandle(attributes->RootDirectory);
    const UNICODE_STRING* name = attributes->ObjectName;
    if (name != nullptr && name->Length > 0) {
      path += L"\\" + std::wstring(name->Buffer, name->Length / sizeof(wchar_t));
    }
    const DWORD error = DenialOf(path, access);
    if (error != ERROR_SUCCESS) return StatusOf(error);
  }
  return state.ntCreateFile(handle, access, attributes, io, allocation, fileAttributes, share,
                            disposition, options, ea, eaLength);
}

NTSTATUS NTAPI SeamNtQueryInformationFile(HANDLE object, PIO_STATUS_BLOCK io, PVOID buffer,
                                          ULONG length, FILE_INFORMATION_CLASS infoClass) {
  if (infoClass == kAttributeTagInformation) {
    if (const Failure* failure = Find(state.queries, PathOfHandle(object))) {
      return StatusOf(failure->error);
    }
  }
  const NTSTATUS status = state.queryInformation(object, io, buffer, length, infoClass);
  if (status == 0 && infoClass == kAttributeTagInformation) {
    const std::wstring path = PathOfHandle(object);
    auto* tag = static_cast<ULONG*>(buffer);
    if (const Added* added = Find(state.added, path)) {
      tag[0] |= added->attributes;
      if (added->reparseTag != 0) tag[1] = added->reparseTag;
    }
    if (IsReadOnlyKept(path)) tag[0] |= FILE_ATTRIBUTE_READONLY;
  }
  return status;
}

NTSTATUS NTAPI SeamNtQueryDirectoryFile(HANDLE folder, HANDLE event, PIO_APC_ROUTINE apc,
                                        PVOID context, PIO_STATUS_BLOCK io, PVOID buffer,
                                        ULONG length, FILE_INFORMATION_CLASS infoClass,
                                        BOOLEAN single, PUNICODE_STRING mask, BOOLEAN restart) {
  const NTSTATUS status = state.queryDirectory(folder, event, apc, context, io, buffer, length,
                                               infoClass, single, mask, restart);
  const std::wstring path = PathOfHandle(folder);
  state.listed.push_back(path);
  if (status != 0 || infoClass != kIdFullDirectoryInformation) return status;
  auto* record = static_cast<unsigned char*>(buffer);
  for (;;) {
    auto* entry = reinterpret_cast<FILE_ID_FULL_DIR_INFORMATION*>(record);
    const std::wstring child =
        path + L"\\" + std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
    if (const Added* added = Find(state.added, child)) {
      entry->FileAttributes |= added->attributes;
      if (added->reparseTag != 0) entry->EaSize = added->reparseTag;
    }
    if (IsReadOnlyKept(child)) entry->FileAttributes |= FILE_ATTRIBUTE_READONLY;
    if (entry->NextEntryOffset == 0) break;
    record += entry->NextEntryOffset;
  }
  return status;
}

BOOL WINAPI SeamSetFileInformationByHandle(HANDLE object, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                           LPVOID buffer, DWORD size) {
  const std::wstring path = PathOfHandle(object);
  if (infoClass == FileDispositionInfo || infoClass == kDispositionInfoEx) {
    for (auto& action : state.actions) {
      if (action.act && Same(action.path, path)) std::exchange(action.act, nullptr)();
    }
    if (const Failure* failure = Find(state.deletions, path)) {
      ::SetLastError(failure->error);
      return FALSE;
    }
    if (IsReadOnlyKept(path)) {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  } else if (infoClass == FileRenameInfo) {
    if (const Failure* failure = Find(state.moves, path)) {
      ::SetLastError(failure->error);
      return FALSE;
    }
  } else if (infoClass == FileBasicInfo) {
    const auto* basic = static_cast<const FILE_BASIC_INFO*>(buffer);
    FILE_ATTRIBUTE_TAG_INFO now{};
    const bool folder =
        ::GetFileInformationByHandleEx(object, FileAttributeTagInfo, &now, sizeof now) &&
        (now.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((basic->FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) {
      std::erase_if(state.readOnly, [&](const std::wstring& kept) { return Same(kept, path); });
    } else if (folder && !IsReadOnlyKept(path)) {
      state.readOnly.push_back(path);
    }
  }
  const BOOL result = state.setInformation(object, infoClass, buffer, size);
  if (result && infoClass == FileRenameInfo) state.moved.push_back({path, PathOfHandle(object)});
  if (result && (infoClass == FileDispositionInfo || infoClass == kDispositionInfoEx)) {
    state.deleted.push_back(path);
  }
  return result;
}

BOOL WINAPI SeamSetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION parts,
                                        PSECURITY_DESCRIPTOR descriptor) {
  const BOOL result = state.setSecurity(object, parts, descriptor);
  if (result && (parts & OWNER_SECURITY_INFORMATION) != 0) {
    state.owners.push_back(PathOfHandle(object));
  }
  return result;
}

template <typename Fn>
void Hook(std::vector<std::unique_ptr<ImportHook>>& hooks, const char* dll, const char* name,
          Fn replacement, Fn& original) {
  hooks.push_back(std::make_unique<ImportHook>(dll, name, reinterpret_cast<void*>(replacement)));
  original = reinterpret_cast<Fn>(hooks.back()->Original());
}

}  // namespace

FileCallSeam::FileCallSeam() {
  state = State{};
  Hook(hooks_, "kernel32.dll", "CreateFileW", &SeamCreateFileW, state.createFile);
  Hook(hooks_, "ntdll.dll", "NtCreateFile", &SeamNtCreateFile, state.ntCreateFile);
  Hook(hooks_, "ntdll.dll", "NtQueryInformationFile", &SeamNtQueryInformationFile,
       state.queryInformation);
  Hook(hooks_, "ntdll.dll", "NtQueryDirectoryFile", &SeamNtQueryDirectoryFile,
       state.queryDirectory);
  Hook(hooks_, "kernel32.dll", "SetFileInformationByHandle", &SeamSetFileInformationByHandle,
       state.setInformation);
  Hook(hooks_, "advapi32.dll", "SetKernelObjectSecurity", &SeamSetKernelObjectSecurity,
       state.setSecurity);
}

FileCallSeam::~FileCallSeam() {
  while (!hooks_.empty()) hooks_.pop_back();
  state = State{};
}

bool FileCallSeam::IsActive() const {
  return std::all_of(hooks_.begin(), hooks_.end(),
                     [](const std::unique_ptr<ImportHook>& hook) { return hook->IsActive(); });
}

void FileCallSeam::DenyOpen(const std::wstring& path, ACCESS_MASK rights, DWORD error,
                            bool untilNewOwner) {
  state.denials.push_back({Normal(path), rights, error, untilNewOwner});
}

void FileCallSeam::FailDeletion(const std::wstring& path, DWORD error) {
  state.deletions.push_back({Normal(path), error});
}

void FileCallSeam::FailMove(const std::wstring& path, DWORD error) {
  state.moves.push_back({Normal(path), error});
}

void FileCallSeam::FailAttributeQuery(const std::wstring& path, DWORD error) {
  state.queries.push_back({Normal(path), error});
}

void FileCallSeam::AddAttributes(const std::wstring& path, DWORD attributes, DWORD reparseTag) {
  state.added.push_back({Normal(path), attributes, reparseTag});
}

void FileCallSeam::KeepReadOnly(const std::wstring& path) {
  state.readOnly.push_back(Normal(path));
}

void FileCallSeam::BeforeDeletion(const std::wstring& path, std::function<void()> act) {
  state.actions.push_back({Normal(path), std::move(act)});
}

bool FileCallSeam::IsReadOnly(const std::wstring& path) const {
  return IsReadOnlyKept(Normal(path));
}

std::vector<std::wstring> FileCallSeam::Deleted() const { return state.deleted; }

std::vector<std::wstring> FileCallSeam::Listed() const { return state.listed; }

std::vector<std::wstring> FileCallSeam::NewOwners() const { return state.owners; }

std::vector<FileCallSeam::Move> FileCallSeam::Moves() const { return state.moved; }
