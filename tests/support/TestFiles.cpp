#include "TestFiles.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>

#include "PathUtils.h"
#include "ProgramRunner.h"
#include "UniqueAny.h"

namespace {

// Calls `visit` with the find data of each entry of the folder that matches the mask, "."
// and ".." left out.
template <typename Visit>
void ForEachEntry(const std::wstring& folder, const std::wstring& mask, Visit visit) {
  WIN32_FIND_DATAW data{};
  // The exact form, so that a name ending in a dot or a blank is looked into as itself.
  const UniqueFindHandle find(
      ::FindFirstFileW((ExtendedPath(folder) + L"\\" + mask).c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") visit(name, data.dwFileAttributes);
  } while (::FindNextFileW(find.get(), &data));
}

bool IsFolderToEnter(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

void CollectTree(const std::wstring& folder, const std::wstring& prefix,
                 std::vector<std::wstring>& paths) {
  ForEachEntry(folder, L"*", [&](const std::wstring& name, DWORD attributes) {
    const std::wstring relative = prefix.empty() ? name : prefix + L"\\" + name;
    paths.push_back(relative);
    if (IsFolderToEnter(attributes)) CollectTree(folder + L"\\" + name, relative, paths);
  });
}

}  // namespace

std::string ReadToEnd(HANDLE handle) {
  std::string all;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(handle, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    all.append(buffer, got);
  }
  return all;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
  bytes.clear();
  const UniqueFileHandle file(::CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bytes = ReadToEnd(file.get());
  return true;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  ReadFileBytes(path, bytes);
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  const UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
         written == bytes.size();
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder, const std::wstring& mask) {
  std::vector<std::wstring> entries;
  ForEachEntry(folder, mask, [&](const std::wstring& name, DWORD) { entries.push_back(name); });
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::vector<std::wstring> ListTree(const std::wstring& folder) {
  std::vector<std::wstring> paths;
  CollectTree(folder, L"", paths);
  std::sort(paths.begin(), paths.end());
  return paths;
}

bool RemoveFolderTree(const std::wstring& path) {
  // The exact form: names ending in a dot or a blank, and long paths, go as themselves.
  const std::wstring exact = ExtendedPath(path);
  const DWORD attributes = ::GetFileAttributesW(exact.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::SetFileAttributesW(exact.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ::DeleteFileW(exact.c_str()) != FALSE;
  }
  // A reparse point is removed as the link it is; what it points at is left alone.
  if (IsFolderToEnter(attributes)) {
    for (const auto& entry : FolderEntries(path)) RemoveFolderTree(path + L"\\" + entry);
  }
  return ::RemoveDirectoryW(exact.c_str()) != FALSE;
}

namespace {

// Wine's own conversions between its Windows and Unix file names; null outside Wine.
using ToUnixName = char*(CDECL*)(LPCWSTR);
using ToDosName = WCHAR*(CDECL*)(LPCSTR);

// The Unix name of a Windows path as a wide string, for a command line; empty when Wine can't
// name it.
std::wstring UnixName(ToUnixName toUnix, const std::wstring& path) {
  char* name = toUnix(path.c_str());
  if (name == nullptr) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
  std::wstring wide(size > 0 ? size - 1 : 0, L'\0');
  if (size > 0) ::MultiByteToWideChar(CP_UTF8, 0, name, -1, wide.data(), size);
  ::HeapFree(::GetProcessHeap(), 0, name);
  return wide;
}

// Starts the Unix program (by its Unix path) with the arguments, each quoted, and waits until
// `done` says its work is there: Wine does not wait for a Unix program. False when it can't be
// started or `done` is not true within 10 s.
template <typename Done>
bool RunUnixProgram(const char* program, const std::vector<std::wstring>& arguments, Done done) {
  const auto toDos = reinterpret_cast<ToDosName>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (toDos == nullptr) return false;
  WCHAR* dosName = toDos(program);
  if (dosName == nullptr) return false;
  std::wstring commandLine = L"\"" + std::wstring(dosName) + L"\"";
  ::HeapFree(::GetProcessHeap(), 0, dosName);
  for (const auto& argument : arguments) commandLine += L" \"" + argument + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!StartRetried(commandLine, [&] {
        return ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &info) != FALSE;
      })) {
    return false;
  }
  const UniqueHandle process(info.hProcess);
  const UniqueHandle thread(info.hThread);
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (done()) return true;
    ::Sleep(100);
  }
  return false;
}

ToUnixName UnixNamer() {
  return reinterpret_cast<ToUnixName>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

}  // namespace

UnixSymbolicLink::UnixSymbolicLink(const std::wstring& link, const std::wstring& target, Kind kind)
    : link_(link) {
  const ToUnixName toUnix = UnixNamer();
  if (toUnix == nullptr) return;
  made_ =
      RunUnixProgram("/bin/ln", {L"-s", L"--", UnixName(toUnix, target), UnixName(toUnix, link)},
                     [&] { return ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
  const DWORD attributes = ::GetFileAttributesW(link.c_str());
  made_ = made_ && (kind == Kind::File ? (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0
                                       : (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
}

UnixSymbolicLink::~UnixSymbolicLink() {
  const ToUnixName toUnix = UnixNamer();
  if (toUnix == nullptr || ::GetFileAttributesW(link_.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  // Removed as the link, not through it: rm without -r takes the link alone.
  RunUnixProgram("/bin/rm", {L"-f", L"--", UnixName(toUnix, link_)},
                 [&] { return ::GetFileAttributesW(link_.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

std::string FileSecurityText(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
    return "(unreadable)";
  }
  const UniqueLocal held(descriptor);
  LPSTR text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, parts,
                                                              &text, nullptr)) {
    return "(unreadable)";
  }
  const UniqueLocal heldText(text);
  return text;
}
