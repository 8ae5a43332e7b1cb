#include "IsServerEdition.h"

#include <windows.h>

bool IsServerEdition() {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  version.wProductType = VER_NT_WORKSTATION;
  const DWORDLONG condition = ::VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL);
  return !::VerifyVersionInfoW(&version, VER_PRODUCT_TYPE, condition);
}
