#pragma once

#include <string>

class Win32Registry;

// The well-known folders of the machine, of the current user and of any user given by the
// string form of the user's SID, read from the shell's folder settings in the registry, with
// the shell itself as the fallback for the machine and the current user. Nothing here logs;
// a folder that can't be found is an empty path.

enum class FolderKind : int {
  CommonAppData = 0,
  CommonDesktop = 1,
  CommonStartMenu = 2,
  CommonPrograms = 3,
  CommonStartup = 4,
  ProgramFiles = 5,
  ProgramFilesX86 = 6,
  None = 7,
  AppData = 8,
  LocalAppData = 9,
  Desktop = 10,
  Personal = 11,
  MyPictures = 12,
  MyMusic = 13,
  MyVideo = 14,
  Favorites = 15,
  StartMenu = 16,
  Programs = 17,
  Startup = 18,
  Cache = 19,
  Profile = 20,
};

// The machine's folder, or the current user's for a user kind (AppData and after).
std::wstring GetSpecialFolder(FolderKind kind);
// The folder of the user with that SID: the user's own settings (HKEY_USERS\<SID>), with
// %USERPROFILE% standing for the user's profile folder from the profile list. Never the
// shell's answer, which would be the current user's folder.
std::wstring GetUserSpecialFolder(FolderKind kind, const std::wstring& sid);
// Both of the above; an empty SID means the machine or the current user.
std::wstring ResolveSpecialFolder(FolderKind kind, const std::wstring& sid);
// The kind's registry text as stored (not expanded) from the key path of the registry object,
// or "%USERPROFILE%" for the profile; the program files kinds read the machine's version key.
void GetFolderLocation(Win32Registry& registry, const std::wstring& keyPath, FolderKind kind,
                       std::wstring& result);
// Replaces every %USERPROFILE% in the text by the user's ProfileImagePath as stored; empties
// the text when that can't be read.
void GetProfileImagePath(std::wstring& text, const std::wstring& sid);
// SHGetFolderPathW of the kind's CSIDL, from the system directory's shell32.dll; the output
// is left as it was on any failure.
void GetFolderPathFromShell(FolderKind kind, std::wstring& path);

// The root directory of the user profiles (GetProfilesDirectoryW); empty on failure.
std::wstring GetProfilesDirectoryPath();

// Calls a Windows function that writes a path into a caller buffer and returns its
// length (or the size it needs); empty on failure. Long paths are returned whole.
std::wstring GetPathFromApi(unsigned (*function)(wchar_t* buffer, unsigned size));

std::wstring GetWindowsDirectoryPath();
// The system directory (System32 for a 64-bit process).
std::wstring GetSystemDirectoryPath();
// The temporary directory, with its trailing backslash.
std::wstring GetTempDirectoryPath();
