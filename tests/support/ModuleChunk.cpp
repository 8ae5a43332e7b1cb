#include "ModuleChunk.h"

#include "LuaModules.h"
#include "lauxlib.h"
#include "lualib.h"

std::string RunLua(const std::string& code) {
  lua_State* state = luaL_newstate();
  luaL_openlibs(state);
  RegisterLuaModules(state);
  std::string result;
  if (luaL_loadstring(state, code.c_str()) != LUA_OK || lua_pcall(state, 0, 1, 0) != LUA_OK) {
    result = std::string("error: ") + lua_tostring(state, -1);
  } else {
    result = luaL_tolstring(state, -1, nullptr);
  }
  lua_close(state);
  return result;
}
