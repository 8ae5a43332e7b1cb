// The Atom table: the system's global atom table (add, test, delete a named atom). A refused
// name (LuaCallContext) gives the single value false.
#include <windows.h>

#include "LuaCallContext.h"
#include "LuaModules.h"

namespace {

int GlobalDelete(lua_State* state) {
  LuaCallContext context(state, "Lua::Atom::GlobalDelete");
  const std::wstring name = context.NextName();
  if (context.Refused()) return context.ReturnBoolean(false);
  const ATOM atom = ::GlobalFindAtomW(name.c_str());
  if (atom == 0) {
    context.PushBoolean(false);
    return context.ResultCount();
  }
  ::SetLastError(ERROR_SUCCESS);
  ::GlobalDeleteAtom(atom);
  const DWORD error = ::GetLastError();
  context.PushBoolean(error == ERROR_SUCCESS);
  if (error != ERROR_SUCCESS) context.PushInteger(error);
  return context.ResultCount();
}

int GlobalExists(lua_State* state) {
  LuaCallContext context(state, "Lua::Atom::GlobalExists");
  const std::wstring name = context.NextName();
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(::GlobalFindAtomW(name.c_str()) != 0);
  return context.ResultCount();
}

int GlobalAdd(lua_State* state) {
  LuaCallContext context(state, "Lua::Atom::GlobalAdd");
  const std::wstring name = context.NextName();
  if (context.Refused()) return context.ReturnBoolean(false);
  const bool added = ::GlobalAddAtomW(name.c_str()) != 0;
  const DWORD error = ::GetLastError();
  context.PushBoolean(added);
  if (!added) context.PushInteger(error);
  return context.ResultCount();
}

const luaL_Reg kFunctions[] = {
    {"GlobalDelete", GlobalDelete},
    {"GlobalExists", GlobalExists},
    {"GlobalAdd", GlobalAdd},
    {nullptr, nullptr},
};

}  // namespace

void RegisterAtomModule(lua_State* state) { RegisterModuleTable(state, "Atom", kFunctions); }
