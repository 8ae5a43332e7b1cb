#pragma once

#include "lauxlib.h"
#include "lua.h"

// The module tables offered to every script state.
//
// Each module lives in a source file of its own and provides one registration function,
// declared below; `RegisterLuaModules` (LuaModules.cpp) calls them in the order in which
// every state gets its tables. Adding a module: its file, its declaration here, and its
// line in that list.

// Called once for every new state, before the script runs.
void RegisterLuaModules(lua_State* state);

// Binds a new plain table holding `functions` (ended by a {nullptr, nullptr} entry) to the
// global `name`.
void RegisterModuleTable(lua_State* state, const char* name, const luaL_Reg* functions);
// Integer constants are plain globals, never fields of a module table.
void RegisterIntegerConstant(lua_State* state, const char* name, lua_Integer value);

// Registration functions of the modules.
void RegisterRegModule(lua_State* state);
void RegisterLogModule(lua_State* state);
void RegisterFileSystemModule(lua_State* state);
void RegisterMetaModule(lua_State* state);
void RegisterProcessModule(lua_State* state);
void RegisterMsiModule(lua_State* state);
void RegisterServiceModule(lua_State* state);
void RegisterWin32DriverModule(lua_State* state);
void RegisterAtomModule(lua_State* state);
void RegisterPathModule(lua_State* state);
void RegisterSystemModule(lua_State* state);
