#include "TestServices.h"

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
