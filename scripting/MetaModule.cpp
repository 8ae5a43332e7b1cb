// The Meta table: a script's verdict on the run. Both flags stay set for the rest of it.
#include "Log.h"
#include "LuaCallContext.h"
#include "LuaModules.h"
#include "Status.h"

namespace {

// A refused reason is logged as such and reads as the empty text: the verdict still counts.
int SetFailed(lua_State* state) {
  LuaCallContext context(state, "Lua::Meta::SetFailed");
  const std::wstring reason = context.NextOptionalString();
  Status::Instance().SetFailed();
  KvTzkLogging::LogW(KvTzkLogging::LogFatal, L"[%s] %s", GetCallerScriptName(state).c_str(),
                     reason.c_str());
  return context.ResultCount();
}

int SetRebootNeeded(lua_State* state) {
  LuaCallContext context(state, "Lua::Meta::SetRebootNeeded");
  const std::wstring reason = context.NextOptionalString();
  Status::Instance().SetRebootNeeded();
  KvTzkLogging::LogW(KvTzkLogging::LogInfo, L"[%s] Reboot needed: %s",
                     GetCallerScriptName(state).c_str(), reason.c_str());
  return context.ResultCount();
}

const luaL_Reg kFunctions[] = {
    {"SetFailed", SetFailed},
    {"SetRebootNeeded", SetRebootNeeded},
    {nullptr, nullptr},
};

}  // namespace

void RegisterMetaModule(lua_State* state) { RegisterModuleTable(state, "Meta", kFunctions); }
