#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Error kinds of the registry operations: kept in the object after every operation and
// handed to the caller's integer when one is given.
namespace RegistryError {
enum Kind : int {
  Ok = 0,
  NotFound = 1,
  WrongType = 2,
  Failed = 3,
  AccessDenied = 5,
  InvalidParameter = 6,
};
}  // namespace RegistryError

using ByteList = std::vector<uint8_t>;

// Registry access on the Windows registry functions. A short-lived local object: set the
// root key and the extra access bits (the registry view) right after construction, call
// operations, let it go. No key handle is held between calls; every operation opens the
// key it needs, closes it on every path and records an error kind.
class Win32Registry {
 public:
  Win32Registry() = default;
  virtual ~Win32Registry() = default;

  virtual void SetRoot(HKEY root);
  // Rights ORed into every key open, e.g. KEY_WOW64_32KEY or KEY_WOW64_64KEY.
  virtual void SetAccess(REGSAM access);
  virtual int GetLastErrorKind();

  // The raw bytes of a REG_MULTI_SZ value; any other type gives WrongType.
  bool GetMultiStringRaw(const std::wstring& key, const std::wstring& name, ByteList& bytes,
                         int* kind = nullptr);

 protected:
  // Maps a Windows error code to an error kind.
  static int KindOfError(LONG error);
  // Stores the kind in the object and the caller's integer; true for Ok.
  bool Report(int kind, int* out);

  HKEY root_ = HKEY_LOCAL_MACHINE;
  REGSAM access_ = 0;
  int lastErrorKind_ = RegistryError::Ok;
};
