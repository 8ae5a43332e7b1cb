// The Reg table: registry reads, writes, listings and forced branch removal for scripts. Every
// function reads its root first (an integer: 1 HKEY_CLASSES_ROOT, 2 HKEY_USERS, anything else
// HKEY_LOCAL_MACHINE), then its texts, then the optional view bits (KEY_WOW64_32KEY or
// KEY_WOW64_64KEY, ORed into every key open of the call), and returns exactly one value.
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

KeyArguments ReadKey(LuaCallContext& context) {
  const HKEY root = RootOfId(context.NextInteger());
  std::wstring key = context.NextString();
  return {root, std::move(key), NextView(context)};
}

// root, key, name [, view]: value functions and the mask removal.
struct ValueArguments {
  HKEY root;
  std::wstring key;
  std::wstring name;
  REGSAM view;
};

ValueArguments ReadValue(LuaCallContext& context) {
  const HKEY root = RootOfId(context.NextInteger());
  std::wstring key = context.NextString();
  std::wstring name = context.NextString();
  return {root, std::move(key), std::move(name), NextView(context)};
}

int BranchExists(lua_State* state) {
  LuaCallContext context(state);
  const KeyArguments args = ReadKey(context);
  Win32Registry registry;
  registry.SetRoot(args.root);
  registry.SetAccess(args.view);
  context.PushBoolean(registry.KeyExists(args.key));
  return context.ResultCount();
}

int KeyExists(lua_State* state) {
  LuaCallContext context(state);
  const ValueArguments args = ReadValue(context);
  Win32Registry registry;
  registry.SetRoot(args.root);
  registry.SetAccess(args.view);
  context.PushBoolean(registry.GetValueType(args.key, args.name) != REG_NONE);
  return context.ResultCount();
}

int GetNumber(lua_State* state) {
  LuaCallContext context(state);
  const ValueArguments args = ReadValue(context);
  uint32_t value = 0;
  if (!RegOps::GetDWORD(args.root, args.key, args.name, args.view, value)) value = 0;
  context.PushInteger(static_cast<lua_Integer>(value));
  return context.ResultCount();
}

int SetNumber(lua_State* state) {
  LuaCallContext context(state);
  const auto number = static_cast<uint32_t>(context.NextInteger());
  const ValueArguments args = ReadValue(context);
  context.PushBoolean(RegOps::SetDWORD(args.root, args.key, args.name, args.view, number));
  return context.ResultCount();
}

int GetString(lua_State* state) {
  LuaCallContext context(state);
  const ValueArguments args = ReadValue(context);
  std::wstring text;
  if (!RegOps::GetString(args.root, args.key, args.name, args.view, text)) text.clear();
  context.PushString(text);
  return context.ResultCount();
}

int SetString(lua_State* state) {
  LuaCallContext context(state);
  const std::wstring text = context.NextString();
  const ValueArguments args = ReadValue(context);
  context.PushBoolean(RegOps::SetString(args.root, args.key, args.name, args.view, text));
  return context.ResultCount();
}

int GetMultiString(lua_State* state) {
  LuaCallContext context(state);
  const ValueArguments args = ReadValue(context);
  StringList list;
  if (!RegOps::GetMultiString(args.root, args.key, args.name, args.view, list)) list.clear();
  context.PushStringArray(list);
  return context.ResultCount();
}

int DeleteBranch(lua_State* state) {
  LuaCallContext context(state);
  const KeyArguments args = ReadKey(context);
  context.PushBoolean(RegOps::WipeBranch(args.root, args.key, args.view));
  return context.ResultCount();
}

int DeleteBranchByMask(lua_State* state) {
  LuaCallContext context(state);
  const ValueArguments args = ReadValue(context);
  context.PushBoolean(RegOps::WipeBranchesByMask(args.root, args.key, args.name, args.view));
  return context.ResultCount();
}

int DeleteKey(lua_State* state) {
  LuaCallContext context(state);
  const ValueArguments args = ReadValue(context);
  context.PushBoolean(RegOps::DeleteKey(args.root, args.key, args.name, args.view));
  return context.ResultCount();
}

// No values and no subkeys; a key that is missing or can't be read counts as empty.
bool IsEmptyBranch(const KeyArguments& args) {
  return RegOps::GetValueKeys(args.root, args.key, args.view).empty() &&
         RegOps::GetSubkeys(args.root, args.key, args.view).empty();
}

int DeleteBranchIfEmpty(lua_State* state) {
  LuaCallContext context(state);
  const KeyArguments args = ReadKey(context);
  context.PushBoolean(RegOps::WipeBranchIfEmpty(args.root, args.key, args.view));
  return context.ResultCount();
}

int IsBranchEmpty(lua_State* state) {
  LuaCallContext context(state);
  context.PushBoolean(IsEmptyBranch(ReadKey(context)));
  return context.ResultCount();
}

int GetSubKeys(lua_State* state) {
  LuaCallContext context(state);
  const KeyArguments args = ReadKey(context);
  context.PushStringArray(RegOps::GetSubkeys(args.root, args.key, args.view));
  return context.ResultCount();
}

int GetValueNames(lua_State* state) {
  LuaCallContext context(state);
  const KeyArguments args = ReadKey(context);
  context.PushStringArray(RegOps::GetValueKeys(args.root, args.key, args.view));
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
