// The Log table: script lines in the tool's log, tagged with the calling script's file name.
#include "Log.h"
#include "LuaCallContext.h"
#include "LuaModules.h"

namespace {

int WriteScriptLine(lua_State* state, const char* function, int level) {
  LuaCallContext context(state, function);
  const std::wstring message = context.NextString();
  if (!context.Refused() && KvTzkLogging::IsEnabled(level)) {
    KvTzkLogging::LogW(level, L"[%s] %s", GetCallerScriptName(state).c_str(), message.c_str());
  }
  return context.ResultCount();
}

int Debug(lua_State* state) {
  return WriteScriptLine(state, "Lua::Log::Debug", KvTzkLogging::LogDebug);
}
int Info(lua_State* state) {
  return WriteScriptLine(state, "Lua::Log::Info", KvTzkLogging::LogInfo);
}
int Warning(lua_State* state) {
  return WriteScriptLine(state, "Lua::Log::Warning", KvTzkLogging::LogWarning);
}
int Error(lua_State* state) {
  return WriteScriptLine(state, "Lua::Log::Error", KvTzkLogging::LogError);
}

const luaL_Reg kFunctions[] = {
    {"Debug", Debug}, {"Info", Info}, {"Warning", Warning}, {"Error", Error}, {nullptr, nullptr},
};

}  // namespace

void RegisterLogModule(lua_State* state) { RegisterModuleTable(state, "Log", kFunctions); }
