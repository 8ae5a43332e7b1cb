#include "LogMutex.h"

#include <aclapi.h>
#include <sddl.h>

#include <utility>

#include "LogSecurity.h"

namespace KvTzkLogging {

namespace {

// Owned by the Administrators; only the system and the Administrators may open it.
constexpr char kAdministratorsMutexSddl[] = "O:BAD:(A;;GA;;;SY)(A;;GA;;;BA)";
constexpr wchar_t kSystemSid[] = L"S-1-5-18";
constexpr wchar_t kAdministratorsSid[] = L"S-1-5-32-544";
constexpr wchar_t kNotWaited[] =
    L": it is not waited for, and this process's lines are ordered by its own lock only";

std::wstring Quoted(const wchar_t* name) { return L"'" + std::wstring(name) + L"'"; }

}  // namespace

std::wstring KernelObjectOwner(HANDLE object, DWORD* error) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD result = ::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION,
                                         &owner, nullptr, nullptr, nullptr, &descriptor);
  const UniqueLocal descriptorHolder(descriptor);
  *error = result;
  if (result != ERROR_SUCCESS) return {};
  LPWSTR text = nullptr;
  if (owner == nullptr || !::ConvertSidToStringSidW(owner, &text)) {
    *error = owner == nullptr ? ERROR_INVALID_SECURITY_DESCR : ::GetLastError();
    return {};
  }
  const UniqueLocal textHolder(text);
  return text;
}

void LogMutex::Create(const wchar_t* name, bool isAdmin) {
  handle_.reset();
  bypassed_ = false;
  notice_.clear();
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  UniqueLocal descriptor;
  if (isAdmin && name != nullptr) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorA(kAdministratorsMutexSddl,
                                                               SDDL_REVISION_1, &raw, nullptr)) {
      descriptor.reset(raw);
      attributes.lpSecurityDescriptor = raw;
    }
  }
  UniqueHandle mutex(::CreateMutexW(&attributes, FALSE, name));
  DWORD error = ::GetLastError();
  if (name == nullptr) {
    // Nobody else can reach an unnamed mutex; without one the lines still have the lock.
    if (!mutex) Bypass(L"The log mutex can't be created (error " + std::to_wstring(error) + L")");
    handle_ = std::move(mutex);
    return;
  }
  if (mutex && error != ERROR_ALREADY_EXISTS) {
    handle_ = std::move(mutex);
    return;
  }
  if (!mutex && error == ERROR_ACCESS_DENIED) {
    // It exists with a descriptor that refuses full access: waiting needs SYNCHRONIZE, and
    // telling whose it is needs READ_CONTROL.
    mutex.reset(::OpenMutexW(SYNCHRONIZE | READ_CONTROL, FALSE, name));
    if (!mutex) error = ::GetLastError();
  }
  if (!mutex) {
    Bypass(L"The log mutex " + Quoted(name) + L" exists but can't be opened for waiting (error " +
           std::to_wstring(error) + L")");
    return;
  }
  DWORD ownerError = ERROR_SUCCESS;
  const std::wstring owner = KernelObjectOwner(mutex.get(), &ownerError);
  if (owner.empty()) {
    Bypass(L"The log mutex " + Quoted(name) + L" exists and its owner can't be read (error " +
           std::to_wstring(ownerError) + L")");
    return;
  }
  if (owner != kSystemSid && owner != kAdministratorsSid && owner != GetUserSidString()) {
    Bypass(L"The log mutex " + Quoted(name) + L" exists and is owned by " + owner +
           L", not by the system, the Administrators or this process's user");
    return;
  }
  handle_ = std::move(mutex);
}

void LogMutex::Bypass(std::wstring notice) {
  handle_.reset();
  bypassed_ = true;
  notice_ = std::move(notice) + kNotWaited;
}

LogMutex::Hold::Hold(const LogMutex& mutex) {
  if (mutex.Bypassed()) {
    acquired_ = true;
    return;
  }
  waited_ = mutex.Handle();
  const DWORD result = ::WaitForSingleObject(waited_, kWaitMs);
  acquired_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

LogMutex::Hold::~Hold() {
  if (acquired_ && waited_ != nullptr) ::ReleaseMutex(waited_);
}

}  // namespace KvTzkLogging
