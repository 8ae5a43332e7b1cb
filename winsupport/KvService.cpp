#include "KvService.h"

namespace {

constexpr DWORD kStartPollMs = 200;
constexpr DWORD kStopPollMs = 500;
constexpr DWORD kDependentStopTimeoutMs = 120000;

// Whether less than the time-out has passed since `startTick`; the tick count may wrap.
bool WithinTimeout(DWORD startTick, DWORD timeoutMs) {
  return ::GetTickCount() - startTick <= timeoutMs;
}

}  // namespace

KvService::KvService(const std::wstring& name, bool readOnly) {
  const DWORD access = readOnly ? GENERIC_READ : GENERIC_ALL;
  const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, access));
  if (!manager) {
    Fail();
    return;
  }
  service_.reset(::OpenServiceW(manager.get(), name.c_str(), access));
  if (!service_) Fail();
}

bool KvService::Fail() {
  lastError_ = ::GetLastError();
  return false;
}

DWORD KvService::QueryState() {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service_.get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof(status), &needed)) {
    Fail();
    return kInvalidState;
  }
  return status.dwCurrentState;
}

bool KvService::Start(const std::vector<std::wstring>& arguments, DWORD timeoutMs) {
  std::vector<const wchar_t*> pointers;
  pointers.reserve(arguments.size());
  for (const auto& argument : arguments) pointers.push_back(argument.c_str());
  if (!::StartServiceW(service_.get(), static_cast<DWORD>(pointers.size()),
                       pointers.empty() ? nullptr : pointers.data())) {
    Fail();
    return lastError_ == ERROR_SERVICE_ALREADY_RUNNING;
  }
  const DWORD startTick = ::GetTickCount();
  DWORD state = SERVICE_START_PENDING;
  while (WithinTimeout(startTick, timeoutMs)) {
    ::Sleep(kStartPollMs);
    state = QueryState();
    if (state == SERVICE_RUNNING) break;
  }
  return state == SERVICE_RUNNING;
}

bool KvService::Stop(DWORD timeoutMs) {
  DWORD state = QueryState();
  if (state == SERVICE_STOPPED) return true;
  if (state != SERVICE_STOP_PENDING) {
    if (!StopDependents()) return false;
    SERVICE_STATUS status{};
    if (!::ControlService(service_.get(), SERVICE_CONTROL_STOP, &status)) return Fail();
    state = status.dwCurrentState;
  }
  const DWORD startTick = ::GetTickCount();
  if (state == SERVICE_STOPPED) return true;
  while (WithinTimeout(startTick, timeoutMs)) {
    ::Sleep(kStopPollMs);
    if (QueryState() == SERVICE_STOPPED) return true;
  }
  return false;
}

bool KvService::StopDependents() {
  DWORD needed = 0;
  DWORD count = 0;
  if (::EnumDependentServicesW(service_.get(), SERVICE_ACTIVE, nullptr, 0, &needed, &count)) {
    return true;
  }
  Fail();
  if (lastError_ != ERROR_MORE_DATA) return false;
  const UniqueHeapBlock buffer(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
  if (!buffer) return false;
  auto* dependents = static_cast<ENUM_SERVICE_STATUSW*>(buffer.get());
  if (!::EnumDependentServicesW(service_.get(), SERVICE_ACTIVE, dependents, needed, &needed,
                                &count)) {
    return Fail();
  }
  for (DWORD i = 0; i < count; ++i) {
    KvService dependent(dependents[i].lpServiceName, false);
    if (!dependent.Stop(kDependentStopTimeoutMs)) {
      lastError_ = dependent.LastError();
      return false;
    }
  }
  return true;
}

bool KvService::Delete() {
  if (!::DeleteService(service_.get())) return Fail();
  return true;
}
