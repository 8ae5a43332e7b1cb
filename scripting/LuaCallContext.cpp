#include "LuaCallContext.h"

#include "PathUtils.h"
#include "lauxlib.h"

std::wstring LuaCallContext::NextString() {
  size_t length = 0;
  const char* text = luaL_checklstring(state_, nextArgument_, &length);
  ++nextArgument_;
  return Utf8ToWide(std::string(text, length));
}

lua_Integer LuaCallContext::NextInteger() {
  const lua_Integer value = luaL_checkinteger(state_, nextArgument_);
  ++nextArgument_;
  return value;
}

bool LuaCallContext::HasOptional() {
  if (!optionalEnded_ && lua_type(state_, nextArgument_) <= LUA_TNIL) optionalEnded_ = true;
  return !optionalEnded_;
}

std::wstring LuaCallContext::NextOptionalString(const std::wstring& fallback) {
  return HasOptional() ? NextString() : fallback;
}

lua_Integer LuaCallContext::NextOptionalInteger(lua_Integer fallback) {
  return HasOptional() ? NextInteger() : fallback;
}

void LuaCallContext::PushBoolean(bool value) {
  lua_pushboolean(state_, value ? 1 : 0);
  ++resultCount_;
}

void LuaCallContext::PushInteger(lua_Integer value) {
  lua_pushinteger(state_, value);
  ++resultCount_;
}

void LuaCallContext::PushString(const std::wstring& text) {
  lua_pushstring(state_, WideToUtf8(text).c_str());
  ++resultCount_;
}

void LuaCallContext::PushStringArray(const StringList& list) {
  lua_createtable(state_, static_cast<int>(list.size()), 0);
  lua_Integer index = 0;
  for (const auto& item : list) {
    lua_pushstring(state_, WideToUtf8(item).c_str());
    lua_rawseti(state_, -2, ++index);
  }
  ++resultCount_;
}

std::wstring GetCallerScriptName(lua_State* state) {
  lua_Debug record{};
  if (lua_getstack(state, 1, &record) == 0 || lua_getinfo(state, "S", &record) == 0 ||
      record.source == nullptr) {
    return {};
  }
  std::string source = record.source;
  // A file chunk: "@" and the UTF-8 path under which the loader opened the file.
  if (!source.empty() && source[0] == '@') source.erase(0, 1);
  const std::wstring text = Utf8ToWide(source);
  std::wstring directory;
  std::wstring name;
  if (!SplitPath(text, directory, name)) return {};
  return name;
}
