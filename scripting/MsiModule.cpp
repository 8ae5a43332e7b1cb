// The Msi table: uninstalling Windows Installer products by upgrade code and cleaning the
// installer's registration of them.
#include <windows.h>

#include <msi.h>

#include <string>

#include "InstallerLibrary.h"
#include "KvService.h"
#include "Log.h"
#include "LuaCallContext.h"
#include "LuaModules.h"
#include "MsiCleanup.h"
#include "Status.h"
#include "Win32Registry.h"

using KvTzkLogging::LogError;
using KvTzkLogging::LogFuncW;
using KvTzkLogging::LogInfo;

namespace Lua::Msi {

// The product codes registered under the upgrade code, in enumeration order.
StringList GetProductCodesFromUpgradeCode(const std::wstring& upgradeCode) {
  StringList codes;
  for (DWORD index = 0;; ++index) {
    wchar_t productCode[39] = {};
    const UINT status =
        InstallerLibrary::Current().EnumRelatedProducts(upgradeCode.c_str(), index, productCode);
    if (status == ERROR_SUCCESS) {
      codes.emplace_back(productCode);
      continue;
    }
    if (status != ERROR_NO_MORE_ITEMS) {
      LogFuncW(LogError, "Lua::Msi::GetProductCodesFromUpgradeCode",
               L"Failed to enumerate products for '%s': %u", upgradeCode.c_str(), status);
    }
    return codes;
  }
}

}  // namespace Lua::Msi

namespace {

// The installer's messages in the tool's log.
int WINAPI MsiMessageCallback(void* /*context*/, UINT type, const wchar_t* text) {
  static const char* const kName = "`anonymous namespace'::MsiMessageCallback";
  const UINT kind = type & 0xFF000000;
  LogFuncW(KvTzkLogging::LogDebug, kName, L"%x", kind);
  if (text == nullptr) text = L"";
  switch (kind) {
    case INSTALLMESSAGE_FATALEXIT:
      LogFuncW(KvTzkLogging::LogFatal, kName, L"MSI: %s", text);
      return IDOK;
    case INSTALLMESSAGE_ERROR: LogFuncW(LogError, kName, L"MSI: %s", text); return IDOK;
    case INSTALLMESSAGE_WARNING:
      LogFuncW(KvTzkLogging::LogWarning, kName, L"MSI: %s", text);
      return IDOK;
    case INSTALLMESSAGE_RESOLVESOURCE: return IDOK;
    case INSTALLMESSAGE_OUTOFDISKSPACE:
      LogFuncW(LogError, kName, L"MSI reports out of disk space");
      return IDABORT;
    default: return 0;
  }
}

void ConfigureMSI() {
  InstallerLibrary& installer = InstallerLibrary::Current();
  installer.SetInternalUI(
      static_cast<INSTALLUILEVEL>(INSTALLUILEVEL_NONE | INSTALLUILEVEL_SOURCERESONLY));
  installer.SetExternalUI(MsiMessageCallback,
                          INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR | INSTALLLOGMODE_WARNING |
                              INSTALLLOGMODE_RESOLVESOURCE | INSTALLLOGMODE_OUTOFDISKSPACE);
  LogFuncW(LogInfo, "`anonymous namespace'::ConfigureMSI", L"MSI configured");
}

void StartMSIServiceIfNeeded() {
  static const char* const kName = "`anonymous namespace'::StartMSIServiceIfNeeded";
  LogFuncW(LogInfo, kName, L"Starting msi service");
  KvService service(L"msiserver", false);
  if (!service.Start({}, 10000)) LogFuncW(LogError, kName, L"Failed to start msi service");
}

// In safe mode the installer service runs only when it is registered for safe boot; it is
// registered and started here when it is not running. False only when the registration
// can't be written.
bool EnableMSIServiceIfNeeded() {
  static const char* const kName = "`anonymous namespace'::EnableMSIServiceIfNeeded";
  DWORD state = KvService::kInvalidState;
  {
    KvService service(L"msiserver", true);
    state = service.QueryState();
  }
  if (state == SERVICE_RUNNING || ::GetSystemMetrics(SM_CLEANBOOT) == 0) return true;
  const wchar_t* safeBootKey = nullptr;
  switch (::GetSystemMetrics(SM_CLEANBOOT)) {
    case 1:
      safeBootKey = L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\MSIServer";
      break;
    case 2:
      safeBootKey = L"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Network\\MSIServer";
      break;
    default: break;
  }
  if (safeBootKey != nullptr) {
    Win32Registry registry;
    registry.SetRoot(HKEY_LOCAL_MACHINE);
    int kind = RegistryError::Ok;
    if (!registry.CreateKey(std::wstring(safeBootKey), &kind)) {
      LogFuncW(LogError, kName, L"Failed to create key : %ld", static_cast<long>(kind));
      return false;
    }
    if (!registry.SetString(std::wstring(safeBootKey), std::wstring(), std::wstring(L"Service"),
                            &kind)) {
      LogFuncW(LogError, kName, L"Failed to set value %ld", static_cast<long>(kind));
      return false;
    }
  }
  StartMSIServiceIfNeeded();
  return true;
}

// A product whose uninstallation needs a restart, or wanted to restart the computer itself
// (the restart is suppressed, so the run goes on and asks for it at the end).
bool IsRebootAnswer(UINT status) {
  return status == ERROR_SUCCESS_REBOOT_REQUIRED || status == ERROR_SUCCESS_REBOOT_INITIATED;
}

int UninstallProduct(lua_State* state) {
  static const char* const kName = "Lua::Msi::UninstallProduct";
  LuaCallContext context(state, kName);
  const std::wstring upgradeCode = context.NextName();
  const std::wstring logPath =
      context.HasOptional() ? context.NextPath(LuaCallContext::Access::Read) : std::wstring();
  if (context.Refused()) return context.ReturnBoolean(false);
  if (!EnableMSIServiceIfNeeded()) {
    context.PushBoolean(false);
    return context.ResultCount();
  }
  const StringList products = Lua::Msi::GetProductCodesFromUpgradeCode(upgradeCode);
  if (products.empty()) {
    context.PushBoolean(true);
    return context.ResultCount();
  }
  LogFuncW(LogInfo, kName, L"Uninstalling %Iu products from upgrade code '%s'", products.size(),
           upgradeCode.c_str());
  InstallerLibrary& installer = InstallerLibrary::Current();
  if (!logPath.empty()) {
    const UINT status =
        installer.EnableLog(INSTALLLOGMODE_VERBOSE, logPath.c_str(), INSTALLLOGATTRIBUTES_APPEND);
    if (status != ERROR_SUCCESS) {
      LogFuncW(LogError, kName, L"Failed enabling msi log into '%s': %u", logPath.c_str(), status);
    } else {
      LogFuncW(LogInfo, kName, L"Enabled msi log into '%s'", logPath.c_str());
    }
  }
  ConfigureMSI();
  bool result = true;
  for (const auto& product : products) {
    const UINT status =
        installer.ConfigureProduct(product.c_str(), INSTALLSTATE_ABSENT, L"REBOOT=ReallySuppress");
    if (status == ERROR_SUCCESS) {
      LogFuncW(LogInfo, kName, L"Uninstalling '%s' succeeded", product.c_str());
    } else if (IsRebootAnswer(status)) {
      LogFuncW(LogInfo, kName, L"Uninstalling '%s' succeeded with reboot required",
               product.c_str());
      Status::Instance().SetRebootNeeded();
    } else {
      LogFuncW(LogError, kName, L"Uninstalling '%s' failed: %u", product.c_str(), status);
      result = false;
    }
  }
  context.PushBoolean(result);
  return context.ResultCount();
}

int CleanupRegistryUpgradeCode(lua_State* state) {
  LuaCallContext context(state, "Lua::Msi::CleanupRegistryUpgradeCode");
  const std::wstring upgradeCode = context.NextName();
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(MsiCleanup::CleanupUpgradeCode(upgradeCode));
  return context.ResultCount();
}

int CleanupRegistryProductCode(lua_State* state) {
  LuaCallContext context(state, "Lua::Msi::CleanupRegistryProductCode");
  const std::wstring productCode = context.NextName();
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(MsiCleanup::CleanupProductCode(productCode));
  return context.ResultCount();
}

int CleanupRegistryProductFeature(lua_State* state) {
  LuaCallContext context(state, "Lua::Msi::CleanupRegistryProductFeature");
  const std::wstring feature = context.NextName();
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(MsiCleanup::CleanupProductBasedOnFeature(feature));
  return context.ResultCount();
}

int CleanupRegistryProductNameAndPublisher(lua_State* state) {
  LuaCallContext context(state, "Lua::Msi::CleanupRegistryProductNameAndPublisher");
  const std::wstring nameMask = context.NextMask();
  const std::wstring publisher = context.NextName();
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(MsiCleanup::CleanupProductBasedOnNameAndPublisher(nameMask, publisher));
  return context.ResultCount();
}

int DetectUpgradeCode(lua_State* state) {
  LuaCallContext context(state, "Lua::Msi::DetectUpgradeCode");
  const std::wstring upgradeCode = context.NextName();
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(EnableMSIServiceIfNeeded() &&
                      !Lua::Msi::GetProductCodesFromUpgradeCode(upgradeCode).empty());
  return context.ResultCount();
}

const luaL_Reg kFunctions[] = {
    {"UninstallProduct", UninstallProduct},
    {"CleanupRegistryUpgradeCode", CleanupRegistryUpgradeCode},
    {"CleanupRegistryProductCode", CleanupRegistryProductCode},
    {"CleanupRegistryProductFeature", CleanupRegistryProductFeature},
    {"CleanupRegistryProductNameAndPublisher", CleanupRegistryProductNameAndPublisher},
    {"DetectUpgradeCode", DetectUpgradeCode},
    {nullptr, nullptr},
};

}  // namespace

void RegisterMsiModule(lua_State* state) { RegisterModuleTable(state, "Msi", kFunctions); }
