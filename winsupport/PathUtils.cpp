#include "PathUtils.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "NtFile.h"
#include "UniqueAny.h"
#include "Win32Registry.h"

namespace KvPath {

// The registry reader of the pending-operation test: HKEY_LOCAL_MACHINE, default view.
class Win32RegistryForPath : public Win32Registry {
 public:
  ~Win32RegistryForPath() override = default;
};

}  // namespace KvPath

namespace {

constexpr wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingOperationsValue[] = L"PendingFileRenameOperations";
// Every path in the pending operations starts with a prefix such as \??\.
constexpr size_t kPendingPrefixLength = 4;
constexpr size_t kMaxTempDirectoryAttempts = 10000;

}  // namespace

std::wstring RemoveTrailingBackslash(const std::wstring& path) {
  if (!path.empty() && path.back() == L'\\') return path.substr(0, path.size() - 1);
  return path;
}

std::wstring CombinePath(const std::wstring& first, const std::wstring& second) {
  if (first.empty()) return second;
  if (second.empty()) return RemoveTrailingBackslash(first);
  std::wstring result = first;
  if (result.back() != L'\\') result.push_back(L'\\');
  result += second;
  return result;
}

bool SplitPath(const std::wstring& path, std::wstring& directory, std::wstring& name) {
  const std::wstring copy = RemoveTrailingBackslash(path);
  if (copy.empty()) return false;
  const size_t slash = copy.rfind(L'\\');
  if (slash == std::wstring::npos) {
    directory.clear();
    name = copy;
    return true;
  }
  if (slash == 0 || slash == copy.size() - 1) return false;
  directory = copy.substr(0, slash);
  name = copy.substr(slash + 1);
  return true;
}

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c; }

// The fault of one component between two backslashes.
PathFault CheckComponent(const std::wstring& component) {
  if (component.empty()) return PathFault::EmptyComponent;
  if (component.find_first_not_of(L". ") == std::wstring::npos) return PathFault::DotComponent;
  if (component.back() == L'.' || component.back() == L' ') return PathFault::TrailingDotOrBlank;
  for (const wchar_t c : component) {
    if (c == L'*' || c == L'?' || c == L'<' || c == L'>' || c == L'"') return PathFault::Wildcard;
    if (c < 0x20 || c == L'|' || c == L':' || c == L'/') return PathFault::BadCharacter;
  }
  if (IsReservedDeviceName(component)) return PathFault::ReservedName;
  return PathFault::None;
}

// The components after `start`, one trailing backslash allowed; Root when there are none.
PathFault CheckComponents(const std::wstring& path, size_t start) {
  std::wstring rest = path.substr(start);
  if (!rest.empty() && rest.back() == L'\\') rest.pop_back();
  if (rest.empty()) return PathFault::Root;
  for (const std::wstring& component : Split(rest, L'\\')) {
    const PathFault fault = CheckComponent(component);
    if (fault != PathFault::None) return fault;
  }
  return PathFault::None;
}

}  // namespace

bool IsReservedDeviceName(const std::wstring& component) {
  std::wstring base = component.substr(0, component.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) c = AsciiUpper(c);
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL") return true;
  if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) {
    return false;
  }
  const wchar_t digit = base[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' ||
         digit == L'\u00b3';
}

namespace {

// The faults of CheckChangeablePath that every kind of path has.
PathFault CheckQualifiedPath(const std::wstring& path) {
  if (path.size() >= 3 && IsSeparator(path[0]) && (IsSeparator(path[1]) || path[1] == L'?') &&
      (path[2] == L'?' || path[2] == L'.') && (path.size() == 3 || IsSeparator(path[3]))) {
    return PathFault::DeviceNamespace;
  }
  if (path.find(L'/') != std::wstring::npos) return PathFault::BadCharacter;
  if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == L':') {
    if (path.size() == 2 || path[2] != L'\\') return PathFault::NotFullyQualified;
    return CheckComponents(path, 3);
  }
  if (path.size() < 2 || path[0] != L'\\' || path[1] != L'\\') return PathFault::NotFullyQualified;
  // \\server\share\ is the root of a share.
  const size_t serverEnd = path.find(L'\\', 2);
  if (serverEnd == std::wstring::npos) return PathFault::Root;
  const size_t shareEnd = path.find(L'\\', serverEnd + 1);
  for (const std::wstring& part :
       {path.substr(2, serverEnd - 2), path.substr(serverEnd + 1, shareEnd - serverEnd - 1)}) {
    if (part.empty()) return PathFault::Root;
    const PathFault fault = CheckComponent(part);
    if (fault != PathFault::None) return fault;
  }
  if (shareEnd == std::wstring::npos) return PathFault::Root;
  return CheckComponents(path, shareEnd + 1);
}

}  // namespace

PathFault CheckPathKind(const std::wstring& path, PathKind kind) {
  if (kind == PathKind::File && !path.empty() && path.back() == L'\\') {
    return PathFault::TrailingBackslash;
  }
  return PathFault::None;
}

PathFault CheckChangeablePath(const std::wstring& path, PathKind kind) {
  const PathFault fault = CheckQualifiedPath(path);
  return fault != PathFault::None ? fault : CheckPathKind(path, kind);
}

const wchar_t* PathFaultText(PathFault fault) {
  switch (fault) {
    case PathFault::None: return L"a fully qualified path";
    case PathFault::NotFullyQualified:
      return L"not a fully qualified path (X:\\... or \\\\server\\share\\...)";
    case PathFault::DeviceNamespace: return L"a path in the device namespace";
    case PathFault::Root: return L"a drive or share root";
    case PathFault::EmptyComponent: return L"an empty path component";
    case PathFault::DotComponent: return L"a '.' or '..' component";
    case PathFault::TrailingDotOrBlank:
      return L"a component ending in a dot or a blank (it names another object)";
    case PathFault::Wildcard: return L"a wildcard character";
    case PathFault::BadCharacter: return L"a character that no file name holds";
    case PathFault::ReservedName: return L"a reserved device name";
    case PathFault::TrailingBackslash: return L"a file path ending in a backslash";
  }
  return L"";
}

namespace {

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";

// Whether the components from `start` on are all names: none empty, "." or "..".
bool HasOnlyNamedComponents(const std::wstring& path, size_t start) {
  while (start < path.size()) {
    const size_t end = std::min(path.find(L'\\', start), path.size());
    const std::wstring_view component(path.data() + start, end - start);
    if (component.empty() || component == L"." || component == L"..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::wstring ExtendedPath(const std::wstring& path) {
  if (path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' &&
      (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\') {
    return path;
  }
  if (path.find(L'/') != std::wstring::npos) return path;
  if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && path[2] == L'\\') {
    if (path.size() == 3) return kExtendedPrefix + path;
    const std::wstring trimmed = RemoveTrailingBackslash(path);
    if (!HasOnlyNamedComponents(trimmed, 3)) return path;
    return kExtendedPrefix + trimmed;
  }
  if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\\') {
    const std::wstring trimmed = RemoveTrailingBackslash(path);
    if (!HasOnlyNamedComponents(trimmed, 2)) return path;
    return kExtendedUncPrefix + trimmed.substr(2);
  }
  return path;
}

bool PathExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CreateDirectoryRecursive(const std::wstring& path, SECURITY_ATTRIBUTES* attributes) {
  if (path.empty()) return true;
  if (IsDirectory(path)) return true;
  std::wstring directory;
  std::wstring name;
  if (!SplitPath(path, directory, name)) return false;
  if (!CreateDirectoryRecursive(directory, attributes)) return false;
  return ::CreateDirectoryW(path.c_str(), attributes) != FALSE;
}

int FormatWide(wchar_t* buffer, size_t size, size_t count, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = ::_vsnwprintf_s(buffer, size, count, format, args);
  va_end(args);
  return written;
}

std::wstring CreateUniqueTempDirectory(const std::wstring& parent,
                                       SECURITY_ATTRIBUTES* attributes) {
  if (parent.empty()) return {};
  for (size_t attempt = 0; attempt < kMaxTempDirectoryAttempts; ++attempt) {
    wchar_t name[128] = {};
    const unsigned long tick = ::GetTickCount();
    FormatWide(name, 128, _TRUNCATE, L"kv%lu%Iu.tmp", tick, attempt);
    const std::wstring path = CombinePath(parent, name);
    if (::CreateDirectoryW(path.c_str(), attributes)) return path;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

bool DeleteDirectoryTree(const std::wstring& path, bool allowDelayed) {
  if (path.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return false;
  }
  // What can't go now waits for the restart, where that is allowed.
  const auto scheduled = [&](const std::wstring& objectPath) {
    return allowDelayed &&
           ::MoveFileExW(objectPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
  };
  const auto remove = [&](HANDLE object, DWORD objectAttributes, const std::wstring& objectPath) {
    NtFile::ClearReadOnly(object, objectAttributes);
    return NtFile::MarkForDeletion(object) == ERROR_SUCCESS || scheduled(objectPath);
  };
  // Each folder is opened once and its entries relative to it, with a stack of its own: no
  // depth of tree exhausts the thread's stack, and no swapped-in link leads elsewhere.
  struct Level {
    std::wstring path;
    UniqueFileHandle handle;
    DWORD attributes = 0;
    std::vector<NtFile::Entry> entries;
    size_t next = 0;
    bool all = true;
  };
  // A folder another program holds without allowing its deletion is walked all the same, and
  // its own deletion then fails on the handle.
  const auto openFolder = [](HANDLE parent, const std::wstring& name, UniqueFileHandle& folder) {
    for (const ACCESS_MASK access : {NtFile::kFolderAccess, NtFile::kListAccess}) {
      const DWORD error = parent != nullptr ? NtFile::OpenChild(parent, name, access, folder)
                                            : NtFile::OpenPath(name, access, folder);
      if (error == ERROR_SUCCESS) return true;
    }
    return false;
  };
  std::vector<Level> stack;
  stack.push_back({path, {}, attributes, {}, 0, true});
  if (!openFolder(nullptr, ExtendedPath(path), stack.back().handle)) return false;
  // A reparse point is removed as a link; what it points to is never entered.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return NtFile::MarkForDeletion(stack.back().handle.get()) == ERROR_SUCCESS || scheduled(path);
  }
  if (NtFile::ListFolder(stack.back().handle.get(), stack.back().entries) != ERROR_SUCCESS) {
    return false;
  }
  for (;;) {
    Level& top = stack.back();
    if (top.next == top.entries.size()) {
      const bool removed = remove(top.handle.get(), top.attributes, top.path) && top.all;
      stack.pop_back();
      if (stack.empty()) return removed;
      stack.back().all = stack.back().all && removed;
      continue;
    }
    const NtFile::Entry& entry = top.entries[top.next++];
    const std::wstring child = CombinePath(top.path, entry.name);
    const bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        !NtFile::IsLink(entry.attributes, entry.reparseTag);
    Level level{child, {}, entry.attributes, {}, 0, true};
    if (!folder) {
      const DWORD error =
          NtFile::OpenChild(top.handle.get(), entry.name, NtFile::kDeleteAccess, level.handle);
      if (error == ERROR_FILE_NOT_FOUND) continue;
      top.all = (error == ERROR_SUCCESS ? remove(level.handle.get(), entry.attributes, child)
                                        : scheduled(child)) &&
                top.all;
      continue;
    }
    if (!openFolder(top.handle.get(), entry.name, level.handle) ||
        NtFile::ListFolder(level.handle.get(), level.entries) != ERROR_SUCCESS) {
      top.all = false;
      continue;
    }
    stack.push_back(std::move(level));
  }
}

bool MatchPendingFileOperation(const wchar_t* units, size_t count, const std::wstring& path,
                               const StringList& exclusions) {
  if (path.empty() || units == nullptr) return false;
  size_t start = 0;
  for (size_t i = 0; i < count; ++i) {
    if (units[i] != L'\0') continue;
    const size_t length = i - start;
    if (length >= path.size() + kPendingPrefixLength) {
      const std::wstring rest(units + start + kPendingPrefixLength, length - kPendingPrefixLength);
      if (StartsWith(rest, path, true)) {
        bool excluded = false;
        for (const auto& exclusion : exclusions) {
          if (StartsWith(rest, exclusion, true)) {
            excluded = true;
            break;
          }
        }
        if (!excluded) return true;
      }
    }
    start = i + 1;
  }
  return false;
}

bool HasPendingFileOperation(const std::wstring& path, const StringList& exclusions) {
  if (path.empty()) return false;
  KvPath::Win32RegistryForPath registry;
  ByteList bytes;
  if (!registry.GetMultiStringRaw(kSessionManagerKey, kPendingOperationsValue, bytes) ||
      bytes.empty()) {
    return false;
  }
  std::wstring units(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * sizeof(wchar_t));
  return MatchPendingFileOperation(units.data(), units.size(), path, exclusions);
}
