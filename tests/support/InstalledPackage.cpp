#include "InstalledPackage.h"

#include <windows.h>

#include "MsiCleanup.h"
#include "PathUtils.h"
#include "ProgramRunner.h"
#include "SpecialFolders.h"
#include "Win32Registry.h"

InstalledPackage::InstalledPackage(const std::wstring& name, const std::wstring& productCode)
    : productCode_(productCode) {
  const DWORD status =
      RunMsiexec(L"/i \"" + CombinePath(TEST_PACKAGES_DIR, name + L".msi") + L"\" /qn");
  installed_ = status == ERROR_SUCCESS && IsProductRegistered(productCode);
}

InstalledPackage::~InstalledPackage() { RemovePackage(productCode_); }

DWORD RunMsiexec(const std::wstring& arguments) {
  const RunResult result =
      RunProgram(CombinePath(GetSystemDirectoryPath(), L"msiexec.exe"), arguments);
  return result.started && !result.timedOut ? result.exitCode : ERROR_INSTALL_FAILURE;
}

void RemovePackage(const std::wstring& productCode) {
  if (IsProductRegistered(productCode)) {
    RunMsiexec(L"/x " + productCode + L" /qn KV_FORCE_REMOVE=1 REBOOT=ReallySuppress");
  }
  if (IsProductRegistered(productCode)) MsiCleanup::CleanupProductCode(productCode);
}

bool IsProductRegistered(const std::wstring& bracedProductCode) {
  Win32Registry registry;
  registry.SetAccess(KEY_WOW64_64KEY);
  return registry.KeyExists(L"SOFTWARE\\Classes\\Installer\\Products\\" +
                            Packed(bracedProductCode));
}

std::wstring Packed(const std::wstring& braced) { return TransformGuid(braced); }
