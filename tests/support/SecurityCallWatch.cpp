#include "SecurityCallWatch.h"

#include <aclapi.h>

#include "ImportHook.h"
#include "SddlText.h"

namespace {

SecurityCallWatch* watch = nullptr;
decltype(&::SetKernelObjectSecurity) realSetKernelObjectSecurity = nullptr;
decltype(&::SetNamedSecurityInfoW) realSetNamedSecurityInfo = nullptr;
decltype(&::SetSecurityInfo) realSetSecurityInfo = nullptr;
decltype(&::RegSetKeySecurity) realRegSetKeySecurity = nullptr;

// The DACL a descriptor carries for a call that sets one, else null.
PACL DaclSet(SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if ((parts & DACL_SECURITY_INFORMATION) == 0 ||
      !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) {
    return nullptr;
  }
  return dacl;
}

BOOL WINAPI WatchingSetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION parts,
                                            PSECURITY_DESCRIPTOR descriptor) {
  if (watch != nullptr) watch->Record("SetKernelObjectSecurity", parts, DaclSet(parts, descriptor));
  return realSetKernelObjectSecurity(object, parts, descriptor);
}

LONG WINAPI WatchingRegSetKeySecurity(HKEY key, SECURITY_INFORMATION parts,
                                      PSECURITY_DESCRIPTOR descriptor) {
  if (watch != nullptr) watch->Record("RegSetKeySecurity", parts, DaclSet(parts, descriptor));
  return realRegSetKeySecurity(key, parts, descriptor);
}

DWORD WINAPI WatchingSetNamedSecurityInfoW(LPWSTR name, SE_OBJECT_TYPE type,
                                           SECURITY_INFORMATION parts, PSID owner, PSID group,
                                           PACL dacl, PACL sacl) {
  if (watch != nullptr) {
    watch->Record("SetNamedSecurityInfoW", parts,
                  (parts & DACL_SECURITY_INFORMATION) != 0 ? dacl : nullptr, true);
  }
  return realSetNamedSecurityInfo(name, type, parts, owner, group, dacl, sacl);
}

DWORD WINAPI WatchingSetSecurityInfo(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION parts,
                                     PSID owner, PSID group, PACL dacl, PACL sacl) {
  if (watch != nullptr) {
    watch->Record("SetSecurityInfo", parts,
                  (parts & DACL_SECURITY_INFORMATION) != 0 ? dacl : nullptr);
  }
  return realSetSecurityInfo(object, type, parts, owner, group, dacl, sacl);
}

}  // namespace

SecurityCallWatch::SecurityCallWatch()
    : kernel_(
          std::make_unique<ImportHook>("advapi32.dll", "SetKernelObjectSecurity",
                                       reinterpret_cast<void*>(&WatchingSetKernelObjectSecurity))),
      named_(std::make_unique<ImportHook>("advapi32.dll", "SetNamedSecurityInfoW",
                                          reinterpret_cast<void*>(&WatchingSetNamedSecurityInfoW))),
      handle_(std::make_unique<ImportHook>("advapi32.dll", "SetSecurityInfo",
                                           reinterpret_cast<void*>(&WatchingSetSecurityInfo))),
      key_(std::make_unique<ImportHook>("advapi32.dll", "RegSetKeySecurity",
                                        reinterpret_cast<void*>(&WatchingRegSetKeySecurity))) {
  realSetKernelObjectSecurity =
      reinterpret_cast<decltype(&::SetKernelObjectSecurity)>(kernel_->Original());
  realSetNamedSecurityInfo =
      reinterpret_cast<decltype(&::SetNamedSecurityInfoW)>(named_->Original());
  realSetSecurityInfo = reinterpret_cast<decltype(&::SetSecurityInfo)>(handle_->Original());
  realRegSetKeySecurity = reinterpret_cast<decltype(&::RegSetKeySecurity)>(key_->Original());
  watch = this;
}

SecurityCallWatch::~SecurityCallWatch() { watch = nullptr; }

bool SecurityCallWatch::IsActive() const { return kernel_->IsActive() && named_->IsActive(); }

bool SecurityCallWatch::WatchesKeyCalls() const { return key_->IsActive(); }

std::vector<std::string> SecurityCallWatch::Dacls() const {
  std::vector<std::string> dacls;
  for (const auto& call : calls_) {
    if ((call.parts & DACL_SECURITY_INFORMATION) != 0) dacls.push_back(call.dacl);
  }
  return dacls;
}

void SecurityCallWatch::Record(const char* function, SECURITY_INFORMATION parts, PACL dacl,
                               bool byName) {
  std::string text;
  if (dacl != nullptr) {
    // The DACL alone, without the control bits of the descriptor it came in.
    SECURITY_DESCRIPTOR descriptor{};
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE);
    text = DaclText(&descriptor);
  }
  calls_.push_back({parts, text, byName, function});
}
