#pragma once

#include <windows.h>

#include <string>

// Finding the libraries that are bound on first use (see DelayLoadHelper.cpp).
namespace DelayLoad {

// Loads the library named as the import names it (ANSI code page), trying in order: the
// configured directory, the program's own directory (flag kSearchOwnDirectory), the
// profile's namespace key, the profile's id key, the library's id key (profile "default"),
// the configured profile id's key (mode 1) and last the system directory. Null when none
// loads, with the last error of the last step, or of the step before the system directory
// when that one only found nothing.
HMODULE ResolveLibrary(const char* libraryName);

// The string data of a REG_SZ, REG_EXPAND_SZ (not expanded) or REG_MULTI_SZ value (up to its
// first NUL) under the hive; empty on failure, with the last error ERROR_BADKEY (the key
// does not open), ERROR_INVALID_NAME (no such value or another type) or ERROR_INVALID_DATA.
std::wstring ReadRegistryString(HKEY hive, const std::wstring& key, const std::wstring& name,
                                REGSAM view);

// Loads the library whose path the value named after it holds under the key of
// HKEY_LOCAL_MACHINE, from the default registry view, else from the 32-bit view. Null when
// neither holds a path or the path does not load.
HMODULE LoadFromRegistryValue(const std::wstring& key, const std::wstring& libraryName);

}  // namespace DelayLoad
