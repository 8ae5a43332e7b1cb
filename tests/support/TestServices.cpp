#include "TestServices.h"

#include <sddl.h>

#include "TestRegistry.h"

namespace {

// What an installer's SetServiceObjectSecurity leaves: the system and administrators may do
// everything, interactive and service users may query and start.
constexpr wchar_t kServiceSddl[] =
    L"O:SYG:SYD:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)"
    L"(A;;CCLCSWLOCRRC;;;IU)(A;;CCLCSWLOCRRC;;;SU)";
constexpr DWORD kLogLevel = 2;
constexpr wchar_t kChannel[] = L"stable";

std::wstring InstanceName(const std::wstring& name) { return name + L" Instance"; }

ByteList SecurityBytes() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ULONG size = 0;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kServiceSddl, SDDL_REVISION_1,
                                                              &descriptor, &size)) {
    return {};
  }
  const UniqueLocal holder(descriptor);
  const auto* bytes = static_cast<const uint8_t*>(descriptor);
  return ByteList(bytes, bytes + size);
}

}  // namespace

InstalledService::InstalledService(const std::wstring& name, const std::wstring& mode,
                                   const std::wstring& record)
    : name_(name) {
  const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  const std::wstring image = L"\"" TEST_SERVICE_EXE L"\" " + mode + L" \"" + record + L"\"";
  service_.reset(::CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                  SERVICE_ERROR_IGNORE, image.c_str(), nullptr, nullptr, nullptr,
                                  nullptr, nullptr));
}

InstalledService::~InstalledService() {
  if (!service_) {
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    service_.reset(::OpenServiceW(manager.get(), name_.c_str(), SERVICE_ALL_ACCESS));
  }
  if (!service_) return;
  SERVICE_STATUS status{};
  if (::ControlService(service_.get(), SERVICE_CONTROL_STOP, &status)) WaitFor(SERVICE_STOPPED);
  ::DeleteService(service_.get());
}

DWORD InstalledService::State() const {
  SERVICE_STATUS status{};
  return ::QueryServiceStatus(service_.get(), &status) ? status.dwCurrentState : 0;
}

bool InstalledService::WaitFor(DWORD state) const {
  for (int i = 0; i < 100; ++i) {
    if (State() == state) return true;
    ::Sleep(100);
  }
  return false;
}

bool InstalledService::StartAndWait() const {
  return ::StartServiceW(service_.get(), 0, nullptr) && WaitFor(SERVICE_RUNNING);
}

std::wstring UniqueName(const std::wstring& base) {
  return L"KvTest" + base + std::to_wstring(::GetCurrentProcessId());
}

std::wstring ServiceKey(const std::wstring& name) {
  return L"SYSTEM\\CurrentControlSet\\Services\\" + name;
}

bool AddServiceSubkeys(const std::wstring& name, const std::wstring& altitude) {
  TestRegistry registry;
  const std::wstring key = ServiceKey(name);
  const std::wstring parameters = key + L"\\Parameters";
  const std::wstring security = key + L"\\Security";
  const ByteList descriptor = SecurityBytes();
  bool ok =
      registry.CreateKey(parameters) && registry.SetDWORD(parameters, L"LogLevel", kLogLevel) &&
      registry.SetString(parameters, L"UpdateChannel", kChannel) && registry.CreateKey(security) &&
      !descriptor.empty() &&
      registry.SetRaw(security, L"Security", REG_BINARY, descriptor.data(), descriptor.size());
  if (ok && !altitude.empty()) {
    const std::wstring instances = key + L"\\Instances";
    const std::wstring instance = instances + L"\\" + InstanceName(name);
    ok = registry.CreateKey(instance) &&
         registry.SetString(instances, L"DefaultInstance", InstanceName(name)) &&
         registry.SetString(instance, L"Altitude", altitude) &&
         registry.SetDWORD(instance, L"Flags", 0);
  }
  return ok;
}

bool HasServiceSubkeys(const std::wstring& name, const std::wstring& altitude) {
  TestRegistry registry;
  const std::wstring key = ServiceKey(name);
  uint32_t level = 0;
  std::wstring channel;
  ByteList descriptor;
  uint32_t type = REG_NONE;
  if (!registry.GetDWORD(key + L"\\Parameters", L"LogLevel", level) || level != kLogLevel ||
      !registry.GetString(key + L"\\Parameters", L"UpdateChannel", channel) ||
      channel != kChannel ||
      !registry.GetRawValue(key + L"\\Security", L"Security", descriptor, type) ||
      type != REG_BINARY || descriptor != SecurityBytes()) {
    return false;
  }
  if (altitude.empty()) return true;
  const std::wstring instances = key + L"\\Instances";
  std::wstring instance, value;
  return registry.GetString(instances, L"DefaultInstance", instance) &&
         instance == InstanceName(name) &&
         registry.GetString(instances + L"\\" + instance, L"Altitude", value) && value == altitude;
}

bool ServiceKnown(const std::wstring& name) {
  const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, GENERIC_READ));
  const UniqueServiceHandle service(
      ::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  return service || ::GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
}
