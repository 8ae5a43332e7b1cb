#include "LuaScript.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <utility>

#include "Log.h"
#include "LuaModules.h"
#include "PathUtils.h"
#include "StringUtils.h"
#include "lauxlib.h"
#include "lualib.h"

using namespace KvTzkLogging;

namespace {

// The C function behind `LuaScript::Protected`: its last argument is the body to run.
int RunBody(lua_State* state) {
  const auto* body = static_cast<const std::function<int(lua_State*)>*>(lua_touserdata(state, -1));
  lua_pop(state, 1);
  return (*body)(state);
}

// The Lua string form of the number at `index`, made without touching the state, so it
// can't start a collection step (the same form lua_tolstring would give).
std::string NumberText(lua_State* state, int index) {
  char buffer[64] = {};
  if (lua_isinteger(state, index)) {
    lua_integer2str(buffer, sizeof(buffer), lua_tointeger(state, index));
    return buffer;
  }
  const int length = lua_number2str(buffer, sizeof(buffer) - 3, lua_tonumber(state, index));
  if (length > 0 && buffer[std::strspn(buffer, "-0123456789")] == '\0') {
    // Looks like an integer: Lua adds ".0" to tell the float apart.
    buffer[length] = lua_getlocaledecpoint();
    buffer[length + 1] = '0';
    buffer[length + 2] = '\0';
  }
  return buffer;
}

}  // namespace

LuaScript::LuaScript(std::string path, std::string text)
    : path_(std::move(path)), text_(std::move(text)) {}

LuaScript::~LuaScript() {
  if (state_ != nullptr) {
    LogFuncW(LogDebug, "LuaScript::~LuaScript", L"Closing lua");
    lua_close(state_);
    state_ = nullptr;
  }
}

bool LuaScript::InitializeLuaState() {
  if (state_ != nullptr) {
    // A state is never reused: a second initialisation starts afresh.
    lua_close(state_);
    state_ = nullptr;
  }
  lua_State* state = luaL_newstate();
  if (state == nullptr) {
    LogFuncW(LogError, "LuaScript::InitializeLuaState", L"Failed to initialize lua");
    return false;
  }
  state_ = state;

  // The search paths and the directory handed to the script are UTF-8, as the path is.
  std::wstring directory;
  std::wstring name;
  const bool split = SplitPath(Utf8ToWide(path_), directory, name);
  const std::string directoryUtf8 = WideToUtf8(directory);

  const int status = Protected(
      [&](lua_State* L) {
        luaL_openlibs(L);
        if (split) {
          lua_getglobal(L, "package");
          lua_pushstring(L, (directoryUtf8 + "\\?.lua").c_str());
          lua_setfield(L, -2, "path");
          lua_pushstring(L, (directoryUtf8 + "\\?.dll").c_str());
          lua_setfield(L, -2, "cpath");
          lua_pop(L, 1);
          lua_pushstring(L, directoryUtf8.c_str());
          lua_setglobal(L, "CurrentScriptDir");
        }
        RegisterLuaModules(L);
        return 0;
      },
      0);
  if (status != LUA_OK) {
    LogFuncW(LogError, "LuaScript::InitializeLuaState", L"Failed to initialize lua");
    lua_close(state_);
    state_ = nullptr;
    return false;
  }
  return true;
}

bool LuaScript::Initialize() {
  if (!InitializeLuaState()) {
    LogFuncW(LogError, "LuaScript::Initialize", L"Lua state is not valid");
    return false;
  }
  // Text only: Lua does not verify precompiled chunks, and a damaged one can make the
  // interpreter read and write anywhere.
  int status = text_.empty()
                   ? luaL_loadfilex(state_, path_.c_str(), "t")
                   : luaL_loadbufferx(state_, text_.data(), text_.size(), path_.c_str(), "t");
  if (status == LUA_OK) status = lua_pcall(state_, 0, 0, 0);
  if (status != LUA_OK) {
    LogFuncW(LogError, "LuaScript::Initialize", L"Load '%s' failed with %d. Error: %s",
             ToLogText(path_).c_str(), status, ToLogText(GetTopString()).c_str());
    DumpStack(state_);
    lua_settop(state_, 0);
    return false;
  }
  return true;
}

bool LuaScript::RunString(const std::string& code, const std::string& chunkName) {
  if (state_ == nullptr) return false;
  const int top = lua_gettop(state_);
  int status = luaL_loadbufferx(state_, code.data(), code.size(), chunkName.c_str(), nullptr);
  if (status == LUA_OK) status = lua_pcall(state_, 0, 0, 0);
  lua_settop(state_, top);
  return status == LUA_OK;
}

std::string LuaScript::GetTopString() {
  if (state_ == nullptr || lua_gettop(state_) == 0) return {};
  switch (lua_type(state_, -1)) {
    case LUA_TSTRING: {
      size_t length = 0;
      const char* text = lua_tolstring(state_, -1, &length);
      return std::string(text, length);
    }
    case LUA_TNUMBER: return NumberText(state_, -1);
    default: return {};
  }
}

void LuaScript::DumpStack(lua_State* state) {
  // Reads the values without converting them, so the dump never allocates in the state.
  std::string text;
  const int top = state != nullptr ? lua_gettop(state) : 0;
  for (int index = 1; index <= top; ++index) {
    const int type = lua_type(state, index);
    switch (type) {
      case LUA_TBOOLEAN: text += lua_toboolean(state, index) ? "true" : "false"; break;
      case LUA_TNUMBER: {
        char buffer[512];
        std::snprintf(buffer, sizeof(buffer), "%f",
                      static_cast<double>(lua_tonumber(state, index)));
        text += buffer;
        break;
      }
      case LUA_TSTRING: {
        size_t length = 0;
        const char* value = lua_tolstring(state, index, &length);
        text += '\'';
        text.append(value, length);
        text += '\'';
        break;
      }
      default: text += lua_typename(state, type); break;
    }
    text += "  ";
  }
  LogW(LogError, L"*** LUA STACK: ***\r\n%s", ToLogText(text).c_str());
}

int LuaScript::Protected(const std::function<int(lua_State*)>& body, int results) {
  if (state_ == nullptr) return LUA_ERRRUN;
  lua_pushcfunction(state_, RunBody);
  lua_pushlightuserdata(state_, const_cast<std::function<int(lua_State*)>*>(&body));
  return lua_pcall(state_, 1, results, 0);
}

bool LuaScript::PushGlobalFunction(const char* name) {
  if (state_ == nullptr) return false;
  bool found = false;
  const int status = Protected(
      [&](lua_State* L) {
        lua_getglobal(L, name);
        found = lua_type(L, -1) == LUA_TFUNCTION;
        return 1;
      },
      1);
  if (status != LUA_OK || !found) {
    lua_pop(state_, 1);
    return false;
  }
  return true;
}

std::wstring LuaScript::ToLogText(const std::string& text) {
  if (text.empty()) return {};
  std::wstring wide = Utf8ToWide(text);
  if (wide.empty()) wide = AcpToWide(text);
  return wide;
}
