#include "TestRegistry.h"

#include <sddl.h>
#include <winternl.h>

#include "UniqueAny.h"

extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace {

constexpr wchar_t kTestsKey[] = L"SOFTWARE\\PurgeKitTests";

// Removes the key with everything below it, taking each key over first where that is allowed
// (a key the system owns that leaves the Administrators WRITE_OWNER), then opening its DACL.
// Every key is opened as itself, so a registry link left below is deleted as the link.
void RemoveTree(const std::wstring& path, REGSAM view) {
  SetKeySddl(path, view, L"O:BA", OWNER_SECURITY_INFORMATION);
  SetKeySddl(path, view, L"D:P(A;;KA;;;WD)", DACL_SECURITY_INFORMATION);
  UniqueHKey key;
  if (!IsLinkKey(path, view) &&
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | view,
                      key.put()) == ERROR_SUCCESS) {
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = 256;
      if (::RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      names.emplace_back(name, length);
    }
    key.reset();
    for (const auto& child : names) RemoveTree(path + L"\\" + child, view);
  }
  DeleteKeyItself(path, view);
}

}  // namespace

TestKey::TestKey(const std::wstring& name, bool isVolatile)
    : path_(std::wstring(kTestsKey) + L"\\" + name + L"-" +
            std::to_wstring(::GetCurrentProcessId())) {
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    RemoveTree(path_, view);
    UniqueHKey created;
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr,
                      isVolatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS | view, nullptr, created.put(), nullptr);
  }
}

TestKey::~TestKey() {
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) RemoveTree(path_, view);
}

std::wstring TestKey::operator/(const std::wstring& relative) const {
  return path_ + L"\\" + relative;
}

bool CreateVolatileKey(const std::wstring& key, REGSAM view) {
  UniqueHKey created;
  return ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                           KEY_ALL_ACCESS | view, nullptr, created.put(), nullptr) == ERROR_SUCCESS;
}

bool CreateLinkKey(const std::wstring& key, const std::wstring& target, REGSAM view) {
  UniqueHKey created;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr,
                        REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK | view, nullptr, created.put(),
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  // The target's path in the kernel's namespace, without a terminator.
  const std::wstring path = L"\\Registry\\Machine\\" + target;
  return ::RegSetValueExW(created.get(), L"SymbolicLinkValue", 0, REG_LINK,
                          reinterpret_cast<const BYTE*>(path.data()),
                          static_cast<DWORD>(path.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool IsLinkKey(const std::wstring& key, REGSAM view) {
  UniqueHKey opened;
  DWORD type = REG_NONE;
  return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), REG_OPTION_OPEN_LINK,
                         KEY_QUERY_VALUE | view, opened.put()) == ERROR_SUCCESS &&
         ::RegQueryValueExW(opened.get(), L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) ==
             ERROR_SUCCESS &&
         type == REG_LINK;
}

LONG DeleteKeyItself(const std::wstring& key, REGSAM view) {
  UniqueHKey opened;
  const LONG result = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), REG_OPTION_OPEN_LINK,
                                      DELETE | view, opened.put());
  if (result != ERROR_SUCCESS) return result;
  return static_cast<LONG>(::RtlNtStatusToDosError(::NtDeleteKey(opened.get())));
}

bool SetKeySddl(const std::wstring& key, REGSAM view, const wchar_t* sddl,
                SECURITY_INFORMATION parts) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
    return false;
  }
  UniqueLocal held(descriptor);
  REGSAM rights = 0;
  if (parts & OWNER_SECURITY_INFORMATION) rights |= WRITE_OWNER;
  if (parts & DACL_SECURITY_INFORMATION) rights |= WRITE_DAC;
  UniqueHKey opened;
  return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), REG_OPTION_OPEN_LINK, rights | view,
                         opened.put()) == ERROR_SUCCESS &&
         ::RegSetKeySecurity(opened.get(), parts, descriptor) == ERROR_SUCCESS;
}

std::wstring KeySddl(const std::wstring& key, REGSAM view) {
  UniqueHKey opened;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), REG_OPTION_OPEN_LINK, READ_CONTROL | view,
                      opened.put()) != ERROR_SUCCESS) {
    return {};
  }
  const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  ::RegGetKeySecurity(opened.get(), parts, nullptr, &size);
  std::vector<BYTE> descriptor(size);
  if (size == 0 ||
      ::RegGetKeySecurity(opened.get(), parts, descriptor.data(), &size) != ERROR_SUCCESS) {
    return {};
  }
  LPWSTR text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                              parts, &text, nullptr)) {
    return {};
  }
  UniqueLocal held(text);
  return text;
}

std::wstring KeyDaclEntries(const std::wstring& key, REGSAM view) {
  const std::wstring sddl = KeySddl(key, view);
  const size_t dacl = sddl.find(L"D:");
  if (dacl == std::wstring::npos) return {};
  const size_t entries = sddl.find(L'(', dacl);
  return entries == std::wstring::npos ? std::wstring() : sddl.substr(entries);
}

LONG OpenKeyError(const std::wstring& key, REGSAM view, REGSAM rights) {
  UniqueHKey opened;
  return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, rights | view, opened.put());
}
