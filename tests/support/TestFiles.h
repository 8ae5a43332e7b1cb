#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Files and folders as the tests set them up and look at them afterwards.

// Everything a file or pipe handle still has to give, read up to its end.
std::string ReadToEnd(HANDLE handle);

// The bytes of a file, opened sharing everything so that a file another process holds open
// can be read; false (and `bytes` empty) when it can't be opened.
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
// The bytes of a file; empty when it can't be read.
std::string ReadFileBytes(const std::wstring& path);
// Makes the file (or replaces it) with exactly these bytes.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Whether the path is an existing file (not a folder).
bool FileExists(const std::wstring& path);

// The names of the entries of a folder that match the mask (never "." and ".."), sorted.
std::vector<std::wstring> FolderEntries(const std::wstring& folder,
                                        const std::wstring& mask = L"*");
// Every path below the folder (files and folders, recursively, without following reparse
// points), relative to it, sorted.
std::vector<std::wstring> ListTree(const std::wstring& folder);
// Removes a file, or a folder with everything in it (read-only files included); true when
// nothing is left at the path.
bool RemoveFolderTree(const std::wstring& path);

// Makes a Unix symbolic link at `link` (which must not exist) to the folder `target`, with
// /bin/ln started through Wine, which starts Unix programs too; Wine shows such a link as a
// directory reparse point (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), a symbolic
// link as Windows makes them. False when it can't be made (not under Wine, or no link after
// 10 s).
bool MakeUnixSymbolicLink(const std::wstring& link, const std::wstring& target);
