#include "LuaCallContext.h"

#include "Log.h"
#include "PathUtils.h"
#include "RegOps.h"
#include "lauxlib.h"

bool LuaCallContext::ReadText(std::wstring& text, int& position) {
  size_t length = 0;
  const char* bytes = luaL_checklstring(state_, nextArgument_, &length);
  position = nextArgument_++;
  const std::string raw(bytes, length);
  text.clear();
  if (raw.find('\0') != std::string::npos) {
    Refuse(position, L"it holds a NUL character");
    return false;
  }
  if (!IsValidUtf8(raw)) {
    Refuse(position, L"it is not valid UTF-8");
    return false;
  }
  text = Utf8ToWide(raw);
  return true;
}

void LuaCallContext::Refuse(int position, const wchar_t* reason) {
  if (!refused_) {
    size_t length = 0;
    const char* bytes = lua_tolstring(state_, position, &length);
    const std::wstring shown = bytes == nullptr ? std::wstring() : EscapeForLog({bytes, length});
    KvTzkLogging::LogFuncW(KvTzkLogging::LogError, function_, L"Refused argument %d '%s': %s",
                           position, shown.c_str(), reason);
  }
  refused_ = true;
}

std::wstring LuaCallContext::NextString() {
  std::wstring text;
  int position = 0;
  ReadText(text, position);
  return text;
}

std::wstring LuaCallContext::NextPath(Access access, PathKind kind) {
  std::wstring path;
  int position = 0;
  if (!ReadText(path, position)) return path;
  const PathFault fault =
      access == Access::Change ? CheckChangeablePath(path, kind) : CheckPathKind(path, kind);
  if (fault == PathFault::None) return path;
  Refuse(position, PathFaultText(fault));
  return {};
}

std::wstring LuaCallContext::NextRegistryPath(Access access) {
  std::wstring key;
  int position = 0;
  if (!ReadText(key, position) || access == Access::Read) return key;
  if (key.empty()) {
    Refuse(position, L"an empty key path names the root");
    return {};
  }
  if (!RegOps::IsKeyPath(key)) {
    Refuse(position, L"an empty key path component");
    return {};
  }
  return key;
}

std::wstring LuaCallContext::NextName() { return NextString(); }

std::wstring LuaCallContext::NextServiceName() {
  std::wstring name;
  int position = 0;
  if (!ReadText(name, position)) return name;
  if (name.empty()) {
    Refuse(position, L"an empty service name");
    return {};
  }
  if (name.find_first_of(L"\\/") != std::wstring::npos) {
    Refuse(position, L"a service name holds no backslash or slash");
    return {};
  }
  return name;
}

std::wstring LuaCallContext::NextMask() { return NextString(); }

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

int LuaCallContext::ReturnBoolean(bool value) {
  PushBoolean(value);
  return resultCount_;
}

int LuaCallContext::ReturnInteger(lua_Integer value) {
  PushInteger(value);
  return resultCount_;
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
