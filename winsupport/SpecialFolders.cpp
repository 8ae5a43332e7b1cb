#include "SpecialFolders.h"

#include <windows.h>

#include <userenv.h>

#include <cwchar>
#include <vector>

#include "PathUtils.h"
#include "StringUtils.h"
#include "UniqueAny.h"
#include "Win32Registry.h"

std::wstring GetPathFromApi(unsigned (*function)(wchar_t* buffer, unsigned size)) {
  std::vector<wchar_t> buffer(261);
  for (;;) {
    const unsigned size = static_cast<unsigned>(buffer.size());
    const unsigned result = function(buffer.data(), size);
    if (result == 0) return {};
    if (result <= size) {
      // Some functions count the terminating NUL when the text exactly fills the buffer.
      size_t length = result;
      while (length > 0 && buffer[length - 1] == L'\0') --length;
      return std::wstring(buffer.data(), length);
    }
    buffer.assign(result, L'\0');
  }
}

std::wstring GetWindowsDirectoryPath() {
  return GetPathFromApi([](wchar_t* buffer, unsigned size) {
    return static_cast<unsigned>(::GetWindowsDirectoryW(buffer, size));
  });
}

std::wstring GetSystemDirectoryPath() {
  return GetPathFromApi([](wchar_t* buffer, unsigned size) {
    return static_cast<unsigned>(::GetSystemDirectoryW(buffer, size));
  });
}

std::wstring GetTempDirectoryPath() {
  return GetPathFromApi([](wchar_t* buffer, unsigned size) {
    return static_cast<unsigned>(::GetTempPathW(size, buffer));
  });
}

namespace {

constexpr wchar_t kUserShellFolders[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr wchar_t kUserProfile[] = L"%USERPROFILE%";
constexpr int kNoCsidl = 255;

struct FolderRow {
  FolderKind kind;
  const wchar_t* value;  // the registry value, or null
  int csidl;
};

const FolderRow kFolders[] = {
    {FolderKind::CommonAppData, L"Common AppData", 0x23},
    {FolderKind::CommonDesktop, L"Common Desktop", 0x19},
    {FolderKind::CommonStartMenu, L"Common Start Menu", 0x16},
    {FolderKind::CommonPrograms, L"Common Programs", 0x17},
    {FolderKind::CommonStartup, L"Common Startup", 0x18},
    {FolderKind::ProgramFiles, L"ProgramFilesDir", 0x26},
    {FolderKind::ProgramFilesX86, L"ProgramFilesDir (x86)", 0x2A},
    {FolderKind::None, nullptr, kNoCsidl},
    {FolderKind::AppData, L"AppData", 0x1A},
    {FolderKind::LocalAppData, L"Local AppData", 0x1C},
    {FolderKind::Desktop, L"Desktop", 0x00},
    {FolderKind::Personal, L"Personal", 0x05},
    {FolderKind::MyPictures, L"My Pictures", 0x27},
    {FolderKind::MyMusic, L"My Music", 0x0D},
    {FolderKind::MyVideo, L"My Video", 0x0E},
    {FolderKind::Favorites, L"Favorites", 0x06},
    {FolderKind::StartMenu, L"Start Menu", 0x0B},
    {FolderKind::Programs, L"Programs", 0x02},
    {FolderKind::Startup, L"Startup", 0x07},
    {FolderKind::Cache, L"Cache", 0x20},
    {FolderKind::Profile, nullptr, 0x28},
};

const FolderRow* RowOf(FolderKind kind) {
  for (const auto& row : kFolders) {
    if (row.kind == kind) return &row;
  }
  return nullptr;
}

bool IsUserKind(FolderKind kind) {
  return static_cast<int>(kind) > static_cast<int>(FolderKind::None);
}

// A module of the system directory, by name.
UniqueModule LoadFromSystemDirectory(const wchar_t* name) {
  return UniqueModule(::LoadLibraryW(CombinePath(GetSystemDirectoryPath(), name).c_str()));
}

}  // namespace

void GetFolderLocation(Win32Registry& registry, const std::wstring& keyPath, FolderKind kind,
                       std::wstring& result) {
  const FolderRow* row = RowOf(kind);
  if (row == nullptr) return;
  if (kind == FolderKind::Profile) {
    result = kUserProfile;
  } else if (kind == FolderKind::ProgramFiles || kind == FolderKind::ProgramFilesX86) {
    Win32Registry machine;
    if (!machine.GetString(std::wstring(kCurrentVersion), row->value, result) &&
        kind == FolderKind::ProgramFilesX86) {
      machine.GetString(std::wstring(kCurrentVersion), L"ProgramFilesDir", result);
    }
  } else if (row->value != nullptr) {
    registry.GetString(keyPath, row->value, result);
  }
}

void GetProfileImagePath(std::wstring& text, const std::wstring& sid) {
  Win32Registry registry;
  std::wstring profile;
  if (!registry.GetString(std::wstring(kProfileList) + L"\\" + sid, L"ProfileImagePath", profile) ||
      profile.empty()) {
    text.clear();
    return;
  }
  text = ReplaceAll(text, kUserProfile, profile);
}

void GetFolderPathFromShell(FolderKind kind, std::wstring& path) {
  const FolderRow* row = RowOf(kind);
  if (row == nullptr || row->csidl == kNoCsidl) return;
  const UniqueModule shell = LoadFromSystemDirectory(L"shell32.dll");
  if (!shell) return;
  using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
  const auto function = reinterpret_cast<GetFolderPath>(
      reinterpret_cast<void*>(::GetProcAddress(shell.get(), "SHGetFolderPathW")));
  if (function == nullptr) return;
  wchar_t buffer[MAX_PATH] = {};
  if (function(nullptr, row->csidl, nullptr, 0, buffer) == S_OK) path = buffer;
}

std::wstring ResolveSpecialFolder(FolderKind kind, const std::wstring& sid) {
  Win32Registry registry;
  std::wstring keyPath = kUserShellFolders;
  const bool userKind = IsUserKind(kind);
  if (userKind) {
    if (!sid.empty()) {
      registry.SetRoot(HKEY_USERS);
      keyPath = sid + L"\\" + keyPath;
    } else {
      registry.SetRoot(HKEY_CURRENT_USER);
    }
    registry.SetAccess(KEY_WOW64_64KEY);
  }
  std::wstring result;
  GetFolderLocation(registry, keyPath, kind, result);
  if (!sid.empty() && userKind) GetProfileImagePath(result, sid);
  if (!result.empty()) ExpandEnvironmentStringsInPlace(result);
  if (result.empty() && sid.empty()) GetFolderPathFromShell(kind, result);
  return result;
}

std::wstring GetSpecialFolder(FolderKind kind) { return ResolveSpecialFolder(kind, {}); }

std::wstring GetUserSpecialFolder(FolderKind kind, const std::wstring& sid) {
  return ResolveSpecialFolder(kind, sid);
}

// USERENV.dll is bound on its first call, from the system directory (DelayLoadHelper.cpp).
std::wstring GetProfilesDirectoryPath() {
  DWORD size = 0;
  ::GetProfilesDirectoryW(nullptr, &size);
  if (size == 0) return {};
  // Windows reports the size with the terminator; Wine one unit less, and then writes the
  // terminator one unit past the size it was given. One unit more than reported, and the text
  // up to its first NUL, is right on both.
  std::vector<wchar_t> buffer(size + 1, L'\0');
  if (!::GetProfilesDirectoryW(buffer.data(), &size)) return {};
  return std::wstring(buffer.data(), ::wcsnlen(buffer.data(), buffer.size()));
}
