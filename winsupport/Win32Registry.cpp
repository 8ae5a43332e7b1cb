#include "Win32Registry.h"

#include "UniqueAny.h"

void Win32Registry::SetRoot(HKEY root) { root_ = root; }

void Win32Registry::SetAccess(REGSAM access) { access_ = access; }

int Win32Registry::GetLastErrorKind() { return lastErrorKind_; }

int Win32Registry::KindOfError(LONG error) {
  switch (error) {
    case ERROR_SUCCESS: return RegistryError::Ok;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return RegistryError::NotFound;
    case ERROR_ACCESS_DENIED: return RegistryError::AccessDenied;
    case ERROR_INVALID_PARAMETER: return RegistryError::InvalidParameter;
    default: return RegistryError::Failed;
  }
}

bool Win32Registry::Report(int kind, int* out) {
  lastErrorKind_ = kind;
  if (out != nullptr) *out = kind;
  return kind == RegistryError::Ok;
}

bool Win32Registry::GetMultiStringRaw(const std::wstring& key, const std::wstring& name,
                                      ByteList& bytes, int* kind) {
  UniqueHKey opened;
  LONG result = ::RegOpenKeyExW(root_, key.c_str(), 0, KEY_READ | access_, opened.put());
  if (result != ERROR_SUCCESS) return Report(KindOfError(result), kind);

  DWORD type = REG_NONE;
  DWORD size = 0;
  result = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, &type, nullptr, &size);
  if (result != ERROR_SUCCESS) return Report(KindOfError(result), kind);
  if (type != REG_MULTI_SZ) return Report(RegistryError::WrongType, kind);

  bytes.resize(size);
  if (size != 0) {
    result = ::RegQueryValueExW(opened.get(), name.c_str(), nullptr, nullptr, bytes.data(), &size);
    if (result != ERROR_SUCCESS) {
      bytes.clear();
      return Report(KindOfError(result), kind);
    }
    bytes.resize(size);
  }
  return Report(RegistryError::Ok, kind);
}
