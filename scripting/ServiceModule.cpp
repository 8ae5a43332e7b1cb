// The Service table: the state of a Windows service, starting, stopping and deleting it. A
// name that can't be a service's key name (empty, with a backslash or slash, or refused by
// LuaCallContext) gives what a missing service gives, touches nothing and is logged.
#include <windows.h>

#include "KvService.h"
#include "Log.h"
#include "LuaCallContext.h"
#include "LuaModules.h"
#include "Win32Registry.h"

using KvTzkLogging::LogError;
using KvTzkLogging::LogFuncW;

namespace {

constexpr lua_Integer kInvalidValue = -1;

// Only a service that does not exist is missing. Any other failure to open it (access
// denied, a manager that can't be reached) is logged, so that a service we may not touch is
// never reported gone.
bool IsMissing(const KvService& service) {
  return service.LastError() == ERROR_SERVICE_DOES_NOT_EXIST;
}

void LogOpenFailure(const char* function, const std::wstring& name, const KvService& service) {
  LogFuncW(LogError, function, L"Failed to open service '%s': %lu", name.c_str(),
           service.LastError());
}

int State(lua_State* state) {
  static const char* const kName = "Lua::Service::State";
  LuaCallContext context(state, kName);
  const std::wstring name = context.NextServiceName();
  if (context.Refused()) return context.ReturnInteger(kInvalidValue);
  KvService service(name, true);
  if (!service.IsOpen()) {
    if (!IsMissing(service)) LogOpenFailure(kName, name, service);
    return context.ReturnInteger(kInvalidValue);
  }
  const DWORD current = service.QueryState();
  if (current == KvService::kInvalidState) {
    LogFuncW(LogError, kName, L"Service '%s' getting state failed: %lu", name.c_str(),
             service.LastError());
    context.PushInteger(kInvalidValue);
  } else {
    context.PushInteger(current);
  }
  return context.ResultCount();
}

int Start(lua_State* state) {
  static const char* const kName = "Lua::Service::Start";
  LuaCallContext context(state, kName);
  const std::wstring name = context.NextServiceName();
  if (context.Refused()) return context.ReturnBoolean(false);
  KvService service(name, false);
  bool result = false;
  if (!service.IsOpen()) {
    LogFuncW(LogError, kName, L"Service '%s' is not valid", name.c_str());
  } else if (!(result = service.Start({}, 10000))) {
    LogFuncW(LogError, kName, L"Service '%s' start failed: %lu", name.c_str(), service.LastError());
  }
  context.PushBoolean(result);
  return context.ResultCount();
}

int Stop(lua_State* state) {
  static const char* const kName = "Lua::Service::Stop";
  LuaCallContext context(state, kName);
  const std::wstring name = context.NextServiceName();
  if (context.Refused()) return context.ReturnBoolean(true);
  KvService service(name, false);
  bool result = true;
  if (!service.IsOpen()) {
    if (!IsMissing(service)) {
      LogOpenFailure(kName, name, service);
      result = false;
    }
  } else if (!service.Stop(120000)) {
    LogFuncW(LogError, kName, L"Service '%s' stop failed: %lu", name.c_str(), service.LastError());
    result = false;
  }
  context.PushBoolean(result);
  return context.ResultCount();
}

// The manager removes a service marked for deletion, with its whole key, once it has stopped
// and the last handle to it is closed; that may take a moment after our own handle is closed.
constexpr DWORD kKeyRemovalWaitMs = 3000;
constexpr DWORD kKeyRemovalPollMs = 100;

void WaitWhileKeyExists(Win32Registry& registry, const std::wstring& key) {
  const DWORD start = ::GetTickCount();
  while (registry.KeyExists(key) && ::GetTickCount() - start < kKeyRemovalWaitMs) {
    ::Sleep(kKeyRemovalPollMs);
  }
}

int Cleanup(lua_State* state) {
  static const char* const kName = "Lua::Service::Cleanup";
  LuaCallContext context(state, kName);
  const std::wstring name = context.NextServiceName();
  if (context.Refused()) return context.ReturnBoolean(true);
  bool result = true;
  bool deleted = false;
  // Our handle is closed before the key is looked at: while we hold it, the manager keeps the
  // deleted service and its key with every subkey.
  {
    KvService service(name, false);
    if (service.IsOpen()) {
      deleted = result = service.Delete();
      if (!result) {
        LogFuncW(LogError, kName, L"Service '%s' delete failed: %lu", name.c_str(),
                 service.LastError());
      }
    } else if (!IsMissing(service)) {
      LogOpenFailure(kName, name, service);
    }
  }
  if (!name.empty()) {
    // What is left of the service's own key: the key alone. A key that still has subkeys
    // (a service that could not be stopped, a leftover of one that is gone) is kept.
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
    Win32Registry registry;
    registry.SetRoot(HKEY_LOCAL_MACHINE);
    if (deleted) WaitWhileKeyExists(registry, key);
    int kind = RegistryError::Ok;
    if (!registry.DeleteKey(key, &kind) && kind != RegistryError::NotFound) {
      LogFuncW(LogError, kName, L"Failed to remove '%s': %d", key.c_str(), kind);
      result = false;
    }
  }
  context.PushBoolean(result);
  return context.ResultCount();
}

const luaL_Reg kFunctions[] = {
    {"State", State}, {"Start", Start}, {"Stop", Stop}, {"Cleanup", Cleanup}, {nullptr, nullptr},
};

}  // namespace

void RegisterServiceModule(lua_State* state) {
  static const struct {
    const char* name;
    lua_Integer value;
  } kConstants[] = {
      {"SERVICE_INVALID_VALUE", kInvalidValue},
      {"SERVICE_STOPPED", 1},
      {"SERVICE_START_PENDING", 2},
      {"SERVICE_STOP_PENDING", 3},
      {"SERVICE_RUNNING", 4},
      {"SERVICE_CONTINUE_PENDING", 5},
      {"SERVICE_PAUSE_PENDING", 6},
      {"SERVICE_PAUSED", 7},
  };
  for (const auto& constant : kConstants)
    RegisterIntegerConstant(state, constant.name, constant.value);
  RegisterModuleTable(state, "Service", kFunctions);
}
