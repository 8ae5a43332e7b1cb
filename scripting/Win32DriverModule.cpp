// The Win32Driver table: removal of the devices of one manufacturer and hardware id
// through the device installer.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>
// The device installer's header defines LogSeverity as a macro; the logger has a type of
// that name.
#undef LogSeverity

#include <algorithm>
#include <cwchar>
#include <vector>

#include "Log.h"
#include "LuaCallContext.h"
#include "LuaModules.h"
#include "StringUtils.h"
#include "UniqueAny.h"

namespace Lua::Win32Driver {

using KvTzkLogging::LogFuncW;

// The strings of a multi-string buffer of `count` units; every NUL ends one, and the empty
// ones are dropped.
StringList SplitMultiString(const wchar_t* units, size_t count) {
  StringList strings;
  for (auto& piece : Split(std::wstring(units, count), L'\0')) {
    if (!piece.empty()) strings.push_back(std::move(piece));
  }
  return strings;
}

// A device registry property of the expected type, with its NUL characters; empty when it
// can't be read or has another type (an empty value matches no argument).
std::vector<wchar_t> GetDeviceRegistryProperty(HDEVINFO list, SP_DEVINFO_DATA& device,
                                               DWORD property, DWORD expectedType) {
  std::vector<BYTE> buffer(8192);
  DWORD type = 0;
  DWORD required = 0;
  bool read = ::SetupDiGetDeviceRegistryPropertyW(list, &device, property, &type, buffer.data(),
                                                  static_cast<DWORD>(buffer.size()), &required);
  if (!read && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER && required > buffer.size() &&
      type == expectedType) {
    buffer.resize(required);
    read = ::SetupDiGetDeviceRegistryPropertyW(list, &device, property, &type, buffer.data(),
                                               static_cast<DWORD>(buffer.size()), &required);
  }
  if (!read || type != expectedType) return {};
  const size_t bytes = std::min<size_t>(required, buffer.size());
  const auto* units = reinterpret_cast<const wchar_t*>(buffer.data());
  return std::vector<wchar_t>(units, units + bytes / sizeof(wchar_t));
}

// The text of a property up to its first NUL.
std::wstring TextOf(const std::vector<wchar_t>& units) {
  return std::wstring(units.data(), wcsnlen(units.data(), units.size()));
}

bool UninstallDriver(HDEVINFO list, SP_DEVINFO_DATA& device) {
  SP_REMOVEDEVICE_PARAMS removal{};
  removal.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  removal.ClassInstallHeader.InstallFunction = DIF_REMOVE;
  removal.Scope = DI_REMOVEDEVICE_GLOBAL;
  removal.HwProfile = 0;
  if (::SetupDiSetClassInstallParamsW(list, &device, &removal.ClassInstallHeader,
                                      sizeof(removal)) &&
      ::SetupDiCallClassInstaller(DIF_REMOVE, list, &device)) {
    LogFuncW(KvTzkLogging::LogInfo, "Lua::Win32Driver::UninstallDriver",
             L"Driver uninstalled succesfully");
    return true;
  }
  LogFuncW(KvTzkLogging::LogError, "Lua::Win32Driver::UninstallDriver",
           L"Failed to invoke DIF_REMOVE : %lu", ::GetLastError());
  return false;
}

bool UninstallDriversWithManufacturerAndName(const std::wstring& manufacturer,
                                             const std::wstring& hardwareId) {
  static const char* const kName = "Lua::Win32Driver::UninstallDriversWithManufacturerAndName";
  if (manufacturer.empty() || hardwareId.empty()) {
    LogFuncW(KvTzkLogging::LogWarning, kName, L"Invalid arguments for driver uninstallation");
    return false;
  }
  LogFuncW(KvTzkLogging::LogDebug, kName,
           L"Uninstalling drivers of manufacturer: '%s' having name: '%s'", manufacturer.c_str(),
           hardwareId.c_str());
  UniqueDevInfoList list(::SetupDiGetClassDevsExW(
      nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES, nullptr, nullptr, nullptr));
  if (!list) {
    LogFuncW(KvTzkLogging::LogError, kName, L"No devices found : %lu", ::GetLastError());
    return false;
  }
  SP_DEVINFO_LIST_DETAIL_DATA_W details{};
  details.cbSize = sizeof(details);
  if (!::SetupDiGetDeviceInfoListDetailW(list.get(), &details)) {
    LogFuncW(KvTzkLogging::LogError, kName, L"Couldn't get device info list : %lu",
             ::GetLastError());
    return false;
  }
  bool result = true;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(list.get(), index, &device); ++index) {
    wchar_t deviceId[200] = {};
    if (::CM_Get_Device_ID_ExW(device.DevInst, deviceId, 200, 0, details.RemoteMachineHandle) !=
        CR_SUCCESS) {
      LogFuncW(KvTzkLogging::LogWarning, kName, L"Failed to read device id: %lu", ::GetLastError());
      continue;
    }
    const auto maker = GetDeviceRegistryProperty(list.get(), device, SPDRP_MFG, REG_SZ);
    if (maker.empty() || TextOf(maker) != manufacturer) continue;
    LogFuncW(KvTzkLogging::LogDebug, kName, L"Manufacturer match");
    const auto ids = GetDeviceRegistryProperty(list.get(), device, SPDRP_HARDWAREID, REG_MULTI_SZ);
    for (const auto& id : SplitMultiString(ids.data(), ids.size())) {
      LogFuncW(KvTzkLogging::LogDebug, kName, L"hwid : '%s'", id.c_str());
      if (id != hardwareId) continue;
      LogFuncW(KvTzkLogging::LogDebug, kName, L"Found matching driver, dev id : '%s'", deviceId);
      if (!UninstallDriver(list.get(), device)) result = false;
      break;
    }
  }
  return result;
}

}  // namespace Lua::Win32Driver

namespace {

int UninstallOemDriversByManufacturerAndName(lua_State* state) {
  LuaCallContext context(state, "Lua::Win32Driver::UninstallOemDriversByManufacturerAndName");
  const std::wstring manufacturer = context.NextName();
  const std::wstring hardwareId = context.NextName();
  if (context.Refused()) return context.ReturnBoolean(false);
  context.PushBoolean(
      Lua::Win32Driver::UninstallDriversWithManufacturerAndName(manufacturer, hardwareId));
  return context.ResultCount();
}

const luaL_Reg kFunctions[] = {
    {"UninstallOemDriversByManufacturerAndName", UninstallOemDriversByManufacturerAndName},
    {nullptr, nullptr},
};

}  // namespace

void RegisterWin32DriverModule(lua_State* state) {
  RegisterModuleTable(state, "Win32Driver", kFunctions);
}
