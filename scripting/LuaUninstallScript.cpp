#include "LuaUninstallScript.h"

#include <utility>

#include "Log.h"
#include "Status.h"
#include "StringUtils.h"

using namespace KvTzkLogging;

LuaUninstallScript::LuaUninstallScript(std::string path, std::string text)
    : LuaScript(std::move(path), std::move(text)) {}

LuaUninstallScript::~LuaUninstallScript() = default;

bool LuaUninstallScript::Initialize() {
  const bool result = LuaScript::Initialize();
  // Also after a failed run: whatever the file defined before it failed is asked.
  if (state_ != nullptr && HasFunction("GetPriority") && CallLuaFunction("GetPriority")) {
    if (lua_isinteger(state_, -1)) {
      priority_ = static_cast<int>(static_cast<unsigned long long>(lua_tointeger(state_, -1)));
    }
    lua_pop(state_, 1);
  }
  return result;
}

bool LuaUninstallScript::IsValidScript() {
  const bool hasId = HasFunction("GetProductId");
  const bool hasDetect = HasFunction("DetectProduct");
  const bool hasCleanup = HasFunction("CleanupProduct");
  if (hasId && hasDetect && hasCleanup) return true;
  LogFuncW(LogDebug, "LuaUninstallScript::IsValidScript",
           L"'%s' is not a valid uninstall script, treating it as library",
           Utf8ToWide(Path()).c_str());
  return false;
}

std::wstring LuaUninstallScript::GetProductId() { return CallForText("GetProductId"); }

std::wstring LuaUninstallScript::GetSubProductIdDetected() {
  if (!HasFunction("GetSubProductIdDetected")) return {};
  return CallForText("GetSubProductIdDetected");
}

bool LuaUninstallScript::DetectProduct() { return CallForBoolean("DetectProduct"); }

bool LuaUninstallScript::CleanupProduct() { return CallForBoolean("CleanupProduct"); }

std::wstring LuaUninstallScript::GetProductDisplayName() {
  if (!HasFunction("GetProductDisplayName")) return {};
  return CallForText("GetProductDisplayName");
}

bool LuaUninstallScript::CallLuaFunction(const char* name) {
  if (!PushGlobalFunction(name)) {
    LogFuncW(LogError, "LuaUninstallScript::CallLuaFunction", L"Could not find lua function '%S'",
             name);
    return false;
  }
  const int status = lua_pcall(state_, 0, 1, 0);
  if (status == LUA_OK) return true;
  Status::Instance().SetFailed();
  LogFuncW(LogError, "LuaUninstallScript::CallLuaFunction", L"Error %d calling '%S'. Error: %s",
           status, name, ToLogText(GetTopString()).c_str());
  DumpStack(state_);
  lua_pop(state_, 1);
  return false;
}

std::wstring LuaUninstallScript::CallForText(const char* name) {
  if (state_ == nullptr || !CallLuaFunction(name)) return {};
  const int type = lua_type(state_, -1);
  const std::string text =
      (type == LUA_TSTRING || type == LUA_TNUMBER) ? GetTopString() : std::string();
  lua_pop(state_, 1);
  return Utf8ToWide(text);
}

bool LuaUninstallScript::CallForBoolean(const char* name) {
  if (state_ == nullptr || !CallLuaFunction(name)) return false;
  const bool result = lua_type(state_, -1) == LUA_TBOOLEAN && lua_toboolean(state_, -1) != 0;
  lua_pop(state_, 1);
  return result;
}

bool LuaUninstallScript::HasFunction(const char* name) {
  if (!PushGlobalFunction(name)) return false;
  lua_pop(state_, 1);
  return true;
}
