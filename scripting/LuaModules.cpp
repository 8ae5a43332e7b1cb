#include "LuaModules.h"

void RegisterLuaModules(lua_State* state) {
  // Scripts see the tables in this order: Reg, Msi, Log, FileSystem, Process, Service,
  // Win32Driver, Atom, Path, Meta, System.
  RegisterRegModule(state);
  RegisterMsiModule(state);
  RegisterLogModule(state);
  RegisterFileSystemModule(state);
  RegisterProcessModule(state);
  RegisterServiceModule(state);
  RegisterWin32DriverModule(state);
  RegisterAtomModule(state);
  RegisterPathModule(state);
  RegisterMetaModule(state);
  RegisterSystemModule(state);
}

void RegisterModuleTable(lua_State* state, const char* name, const luaL_Reg* functions) {
  lua_newtable(state);
  luaL_setfuncs(state, functions, 0);
  lua_setglobal(state, name);
}

void RegisterIntegerConstant(lua_State* state, const char* name, lua_Integer value) {
  lua_pushinteger(state, value);
  lua_setglobal(state, name);
}
