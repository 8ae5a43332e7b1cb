#pragma once

// Included into every source of the Lua library (as its LUA_USER_H, from lua.h), never into
// the program's own code.
//
// Every text that crosses into a script is UTF-8, paths included. Lua itself opens files,
// removes and renames them, asks for temporary names, reads the environment, starts
// commands and loads libraries through the C runtime's and Windows' 8-bit calls, which take
// their names in the ANSI code page. The macros below route each of those calls to a wrapper
// that decodes the UTF-8 name and calls the wide form; a name that is not valid UTF-8 fails
// the call (errno EILSEQ), so no name is ever guessed or approximated.
//
// Files are also loaded as text only: `require`, `dofile` and `loadfile` refuse a
// precompiled chunk, which Lua does not verify and which could make the interpreter read
// and write anywhere. `load` of a string that a script made itself is left as it is.

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

FILE* LuaUtf8Fopen(const char* name, const char* mode);
FILE* LuaUtf8Freopen(const char* name, const char* mode, FILE* file);
int LuaUtf8Remove(const char* name);
int LuaUtf8Rename(const char* from, const char* to);
// The value of an environment variable as UTF-8, or null when it is not set. The text stays
// valid until the thread's next call.
char* LuaUtf8Getenv(const char* name);
int LuaUtf8System(const char* command);
FILE* LuaUtf8Popen(const char* command, const char* mode);
// Creates a new empty file in the temporary folder and writes its UTF-8 path into
// `buffer`; false when no file could be made or the path does not fit.
bool LuaUtf8TempName(char* buffer, size_t size);

#define fopen(name, mode) LuaUtf8Fopen(name, mode)
#define freopen(name, mode, file) LuaUtf8Freopen(name, mode, file)
#define remove(name) LuaUtf8Remove(name)
#define rename(from, to) LuaUtf8Rename(from, to)
#define getenv(name) LuaUtf8Getenv(name)
#define system(command) LuaUtf8System(command)

// io.popen: the runtime's own pipe, opened through the wide call.
#define l_popen(L, c, m) (LuaUtf8Popen(c, m))
#define l_pclose(L, file) (_pclose(file))

// os.tmpname: a file made in the temporary folder, as on POSIX systems (the runtime's
// tmpnam names a file in the root of the current drive and does not make it).
#define LUA_TMPNAMBUFSIZE 1024
#define lua_tmpnam(b, e) \
  { e = !LuaUtf8TempName(b, sizeof(b)); }

#if defined(loadlib_c)
// C libraries found through package.cpath, and the program's folder that Lua puts into its
// default search paths (which the script host replaces): in a form that always fits Lua's
// buffer, see LuaUtf8ModuleFileName.
#include <windows.h>
HMODULE LuaUtf8LoadLibraryEx(const char* path, HANDLE file, DWORD flags);
DWORD LuaUtf8ModuleFileName(HMODULE module, char* buffer, DWORD size);
#define LoadLibraryExA(path, file, flags) LuaUtf8LoadLibraryEx(path, file, flags)
#define GetModuleFileNameA(module, buffer, size) LuaUtf8ModuleFileName(module, buffer, size)
#endif

#if defined(loadlib_c) || defined(lbaselib_c)
// The searcher of `require`, `dofile` and `loadfile` load files as text only, whatever mode
// a script asks for. Lua declares its functions with parenthesised names, so the macro
// changes the calls only.
#define luaL_loadfilex(L, name, mode) ((void)(mode), (luaL_loadfilex)(L, name, "t"))
#endif
