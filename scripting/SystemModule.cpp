// The System table: what the scripts may ask about the operating system.
#include "IsServerEdition.h"
#include "LuaCallContext.h"
#include "LuaModules.h"

namespace {

int IsWindowsServer(lua_State* state) {
  LuaCallContext context(state, "Lua::System::IsWindowsServer");
  context.PushBoolean(IsServerEdition());
  return context.ResultCount();
}

const luaL_Reg kFunctions[] = {
    {"IsWindowsServer", IsWindowsServer},
    {nullptr, nullptr},
};

}  // namespace

void RegisterSystemModule(lua_State* state) { RegisterModuleTable(state, "System", kFunctions); }
