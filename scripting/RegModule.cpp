// The Reg table: registry reads, writes, listings and forced branch removal for scripts. Every
// function reads its root first (an integer: 1 HKEY_CLASSES_ROOT, 2 HKEY_USERS, anything else
// HKEY_LOCAL_MACHINE), then its texts, then the optional view bits (KEY_WOW64_32KEY or
// KEY_WOW64_64KEY, ORed into every key open of the call), and returns exactly one value. A
// refused key, name or mask (LuaCallContext) gives the failure value and opens no key; a
// write or removal takes no empty key and no key with an empty component.
#include <cstdint>

#include "LuaCallContext.h"
#include "LuaModules.h"
#include "RegOps.h"
#include "Win32Registry.h"

namespace {

constexpr lua_Integer kRootClasses = 1;
constexpr lua_Integer kRootUsers = 2;

HKEY RootOfId(lua_Integer id) {
  if (id == kRootClasses) return HKEY_CLASSES_ROOT;
  if (id == kRootUsers) return HKEY_USERS;
  return HKEY_LOCAL_MACHINE;
}

REGSAM NextView(LuaCallContext& context) {
  return static_cast<REGSAM>(context.NextOptionalInteger(0));
}

// The arguments root, key [, view] of most functions.
struct KeyArguments {
  HKEY root;
  std::wstring key;
  REGSAM view;
};

using Access = LuaCallContext::Access;

KeyArguments ReadKey(LuaCallContext& context, Access access) {
  const HKEY root = RootOfId(context.NextInteger());
  std::wstring key = context.NextRegistryPath(access);
  return {root, std::move(key), NextView(context)};
}

// root, key, name [, view]: value functions and (with a mask for the name) the mask removal.
struct ValueArguments {
  HKEY root;
  std::wstring key;
  std::wstring name;
  REGSAM view;
};

ValueArguments ReadValue(LuaCallContext& context, Access access) {
  const HKEY root = RootOfId(context.NextInteger());
  std::wstring key = context.NextRegistryPath(access);
  std::wstring name = context.NextName();
  return {root, std::move(key), std::move(name), NextView(context)};
}

ValueArguments ReadMask(LuaCallContext& context) {
  const HKEY root = RootOfId(context.NextInteger());
  std::wstring key = context.NextRegistryPath(Access::Change);
  std::wstring mask = context.NextMask();
  return {root, std::move(key), std::move(mask), NextView(context)};
}

int BranchExists(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::BranchExists");
  const KeyArguments args = ReadKey(context, Access::Read);
  if (context.Refused()) return context.ReturnBoolean(false);
  Win32Registry registry;
  registry.SetRoot(args.root);
  registry.SetAccess(args.view);
  context.PushBoolean(registry.KeyExists(args.key));
  return context.ResultCount();
}

int KeyExists(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::KeyExists");
  const ValueArguments args = ReadValue(context, Access::Read);
  if (context.Refused()) return context.ReturnBoolean(false);
  Win32Registry registry;
  registry.SetRoot(args.root);
  registry.SetAccess(args.view);
  context.PushBoolean(registry.GetValueType(args.key, args.name) != REG_NONE);
  return context.ResultCount();
}

int GetNumber(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::GetNumber");
  const ValueArguments args = ReadValue(context, Access::Read);
  if (context.Refused()) return context.ReturnInteger(0);
  uint32_t value = 0;
  if (!RegOps::GetDWORD(args.root, args.key, args.name, args.view, value)) value = 0;
  context.PushInteger(static_cast<lua_Integer>(value));
  return context.ResultCount();
}

int SetNumber(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::SetNumber");
  const auto number = static_cast<uint32_t>(context.NextInteger());
  const ValueArguments args = ReadValue(context, Access::Change);
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(RegOps::SetDWORD(args.root, args.key, args.name, args.view, number));
  return context.ResultCount();
}

int GetString(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::GetString");
  const ValueArguments args = ReadValue(context, Access::Read);
  std::wstring text;
  if (context.Refused() || !RegOps::GetString(args.root, args.key, args.name, args.view, text)) {
    text.clear();
  }
  context.PushString(text);
  return context.ResultCount();
}

int SetString(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::SetString");
  const std::wstring text = context.NextString();
  const ValueArguments args = ReadValue(context, Access::Change);
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(RegOps::SetString(args.root, args.key, args.name, args.view, text));
  return context.ResultCount();
}

int GetMultiString(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::GetMultiString");
  const ValueArguments args = ReadValue(context, Access::Read);
  StringList list;
  if (context.Refused() ||
      !RegOps::GetMultiString(args.root, args.key, args.name, args.view, list)) {
    list.clear();
  }
  context.PushStringArray(list);
  return context.ResultCount();
}

int DeleteBranch(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::DeleteBranch");
  const KeyArguments args = ReadKey(context, Access::Change);
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(RegOps::WipeBranch(args.root, args.key, args.view));
  return context.ResultCount();
}

int DeleteBranchByMask(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::DeleteBranchByMask");
  const ValueArguments args = ReadMask(context);
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(RegOps::WipeBranchesByMask(args.root, args.key, args.name, args.view));
  return context.ResultCount();
}

int DeleteKey(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::DeleteKey");
  const ValueArguments args = ReadValue(context, Access::Change);
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(RegOps::DeleteKey(args.root, args.key, args.name, args.view));
  return context.ResultCount();
}

int DeleteBranchIfEmpty(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::DeleteBranchIfEmpty");
  const KeyArguments args = ReadKey(context, Access::Change);
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(RegOps::WipeBranchIfEmpty(args.root, args.key, args.view));
  return context.ResultCount();
}

int IsBranchEmpty(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::IsBranchEmpty");
  const KeyArguments args = ReadKey(context, Access::Read);
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(RegOps::IsBranchEmpty(args.root, args.key, args.view));
  return context.ResultCount();
}

int GetSubKeys(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::GetSubKeys");
  const KeyArguments args = ReadKey(context, Access::Read);
  context.PushStringArray(context.Refused() ? StringList{}
                                            : RegOps::GetSubkeys(args.root, args.key, args.view));
  return context.ResultCount();
}

int GetValueNames(lua_State* state) {
  LuaCallContext context(state, "Lua::Reg::GetValueNames");
  const KeyArguments args = ReadKey(context, Access::Read);
  context.PushStringArray(context.Refused() ? StringList{}
                                            : RegOps::GetValueKeys(args.root, args.key, args.view));
  return context.ResultCount();
}

const luaL_Reg kFunctions[] = {
    {"BranchExists", BranchExists},
    {"KeyExists", KeyExists},
    {"GetNumber", GetNumber},
    {"SetNumber", SetNumber},
    {"GetString", GetString},
    {"SetString", SetString},
    {"GetMultiString", GetMultiString},
    {"DeleteBranch", DeleteBranch},
    {"DeleteBranchByMask", DeleteBranchByMask},
    {"DeleteKey", DeleteKey},
    {"DeleteBranchIfEmpty", DeleteBranchIfEmpty},
    {"IsBranchEmpty", IsBranchEmpty},
    {"GetSubKeys", GetSubKeys},
    {"GetValueNames", GetValueNames},
    {nullptr, nullptr},
};

}  // namespace

void RegisterRegModule(lua_State* state) {
  RegisterIntegerConstant(state, "HKLM", 0);
  RegisterIntegerConstant(state, "HKCR", kRootClasses);
  RegisterIntegerConstant(state, "HKU", kRootUsers);
  RegisterIntegerConstant(state, "KEY_WOW64_32KEY", KEY_WOW64_32KEY);
  RegisterIntegerConstant(state, "KEY_WOW64_64KEY", KEY_WOW64_64KEY);
  RegisterModuleTable(state, "Reg", kFunctions);
}
