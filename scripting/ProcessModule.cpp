// The Process table: ending a product's running programs, and starting programs (with
// their output captured into the log).
#include "ProcessModule.h"

#include <cstdint>

#include "LuaCallContext.h"
#include "LuaModules.h"

namespace {

using namespace Lua::Process;

// Time-outs and flags are taken as the low 32 bits of the script's integer, so -1 is the
// infinite wait and the sign-extended 0x80000000 flag arrives as itself.
DWORD Low32(lua_Integer value) { return static_cast<DWORD>(static_cast<uint64_t>(value)); }

constexpr lua_Integer kDefaultTimeoutMs = 30000;
constexpr lua_Integer kDefaultCreationFlags = DETACHED_PROCESS;

using Access = LuaCallContext::Access;

int Terminate(LuaCallContext& context, const std::wstring& text,
              bool (*rule)(const std::wstring&, const std::wstring&)) {
  context.PushBoolean(!context.Refused() && TerminateProcesses(text, rule));
  return context.ResultCount();
}

// Every program below a folder: a fully qualified folder below a root, never a whole drive.
int TerminateAllFromPath(lua_State* state) {
  LuaCallContext context(state, "Lua::Process::TerminateAllFromPath");
  const std::wstring folder = context.NextPath(Access::Change);
  return Terminate(context, folder, MatchPathPrefix);
}

int TerminateByPath(lua_State* state) {
  LuaCallContext context(state, "Lua::Process::TerminateByPath");
  const std::wstring path = context.NextPath(Access::Read);
  return Terminate(context, path, MatchPath);
}

int TerminateByName(lua_State* state) {
  LuaCallContext context(state, "Lua::Process::TerminateByName");
  const std::wstring name = context.NextName();
  return Terminate(context, name, MatchName);
}

int TerminateByNameMask(lua_State* state) {
  LuaCallContext context(state, "Lua::Process::TerminateByNameMask");
  const std::wstring mask = context.NextMask();
  return Terminate(context, mask, MatchNameMask);
}

int StartProcessAndWaitForCompletion(lua_State* state) {
  LuaCallContext context(state, "Lua::Process::StartProcessAndWaitForCompletion");
  const std::wstring application = context.NextPath(Access::Read);
  const std::wstring arguments = context.NextOptionalString();
  const DWORD timeoutMs = Low32(context.NextOptionalInteger(kDefaultTimeoutMs));
  const DWORD flags = Low32(context.NextOptionalInteger(kDefaultCreationFlags));
  const std::wstring workingDirectory = context.NextOptionalString();
  const std::wstring logName = context.NextOptionalString();
  const int codePage = static_cast<int>(Low32(context.NextOptionalInteger(CP_UTF8)));
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(StartProcessWithArgumentsAndWaitForCompletion(
      application, arguments, timeoutMs, flags, workingDirectory, logName, codePage));
  return context.ResultCount();
}

int StartProcess(lua_State* state) {
  LuaCallContext context(state, "Lua::Process::StartProcess");
  const std::wstring application = context.NextPath(Access::Read);
  const std::wstring arguments = context.NextOptionalString();
  const DWORD flags = Low32(context.NextOptionalInteger(kDefaultCreationFlags));
  const std::wstring workingDirectory = context.NextOptionalString();
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(StartProcessWithArguments(application, arguments, flags, workingDirectory));
  return context.ResultCount();
}

const luaL_Reg kFunctions[] = {
    {"TerminateAllFromPath", TerminateAllFromPath},
    {"TerminateByPath", TerminateByPath},
    {"TerminateByName", TerminateByName},
    {"TerminateByNameMask", TerminateByNameMask},
    {"StartProcessAndWaitForCompletion", StartProcessAndWaitForCompletion},
    {"StartProcess", StartProcess},
    {nullptr, nullptr},
};

struct Constant {
  const char* name;
  lua_Integer value;
};

// The process-creation flags and the code pages, as the system defines them.
const Constant kConstants[] = {
    {"CreationFlags_DEBUG_PROCESS", 0x1},
    {"CreationFlags_DEBUG_ONLY_THIS_PROCESS", 0x2},
    {"CreationFlags_CREATE_SUSPENDED", 0x4},
    {"CreationFlags_DETACHED_PROCESS", 0x8},
    {"CreationFlags_CREATE_NEW_CONSOLE", 0x10},
    {"CreationFlags_NORMAL_PRIORITY_CLASS", 0x20},
    {"CreationFlags_IDLE_PRIORITY_CLASS", 0x40},
    {"CreationFlags_HIGH_PRIORITY_CLASS", 0x80},
    {"CreationFlags_REALTIME_PRIORITY_CLASS", 0x100},
    {"CreationFlags_CREATE_NEW_PROCESS_GROUP", 0x200},
    {"CreationFlags_CREATE_UNICODE_ENVIRONMENT", 0x400},
    {"CreationFlags_CREATE_SEPARATE_WOW_VDM", 0x800},
    {"CreationFlags_CREATE_SHARED_WOW_VDM", 0x1000},
    {"CreationFlags_CREATE_FORCEDOS", 0x2000},
    {"CreationFlags_BELOW_NORMAL_PRIORITY_CLASS", 0x4000},
    {"CreationFlags_ABOVE_NORMAL_PRIORITY_CLASS", 0x8000},
    {"CreationFlags_INHERIT_PARENT_AFFINITY", 0x10000},
    {"CreationFlags_INHERIT_CALLER_PRIORITY", 0x20000},
    {"CreationFlags_CREATE_PROTECTED_PROCESS", 0x40000},
    {"CreationFlags_EXTENDED_STARTUPINFO_PRESENT", 0x80000},
    {"CreationFlags_PROCESS_MODE_BACKGROUND_BEGIN", 0x100000},
    {"CreationFlags_PROCESS_MODE_BACKGROUND_END", 0x200000},
    {"CreationFlags_CREATE_BREAKAWAY_FROM_JOB", 0x1000000},
    {"CreationFlags_CREATE_PRESERVE_CODE_AUTHZ_LEVEL", 0x2000000},
    {"CreationFlags_CREATE_DEFAULT_ERROR_MODE", 0x4000000},
    {"CreationFlags_CREATE_NO_WINDOW", 0x8000000},
    {"CreationFlags_PROFILE_USER", 0x10000000},
    {"CreationFlags_PROFILE_KERNEL", 0x20000000},
    {"CreationFlags_PROFILE_SERVER", 0x40000000},
    // 0x80000000 as a signed 32-bit value, sign-extended.
    {"CreationFlags_CREATE_IGNORE_SYSTEM_DEFAULT", static_cast<int32_t>(0x80000000u)},
    {"CP_UTF8", 65001},
    {"CP_ACP", 0},
    {"CP_OEMCP", 1},
};

}  // namespace

void RegisterProcessModule(lua_State* state) {
  for (const auto& constant : kConstants) {
    RegisterIntegerConstant(state, constant.name, constant.value);
  }
  RegisterModuleTable(state, "Process", kFunctions);
}
