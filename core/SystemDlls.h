#pragma once

#include <string>

// Restricts the process's default DLL search to the system directory. False where the
// system lacks SetDefaultDllDirectories or the call fails.
bool SetSafeDllSearchPaths();

// Loads a library of that name from the system directory and keeps it loaded until the
// process exits.
bool LoadSystemDll(const std::wstring& fileName);
