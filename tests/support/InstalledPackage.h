#pragma once

#include <windows.h>

#include <string>

#include "TestPackages.h"

// A Windows Installer package of the test build (tests/packages), installed with
// "msiexec /i <package> /qn" for one test. Whatever the test leaves installed is removed at
// the end, failing custom actions switched off (KV_FORCE_REMOVE=1), and whatever
// registration is left after that is cleaned from the registry.
class InstalledPackage {
 public:
  InstalledPackage(const std::wstring& name, const std::wstring& productCode);
  ~InstalledPackage();
  InstalledPackage(const InstalledPackage&) = delete;
  InstalledPackage& operator=(const InstalledPackage&) = delete;

  bool Installed() const { return installed_; }
  const std::wstring& ProductCode() const { return productCode_; }

 private:
  std::wstring productCode_;
  bool installed_ = false;
};

// Runs msiexec.exe with the arguments; its exit code, ERROR_INSTALL_FAILURE when it did not run
// to its end.
DWORD RunMsiexec(const std::wstring& arguments);
// Uninstalls the product (failing custom actions switched off) and cleans what registration
// is left after that.
void RemovePackage(const std::wstring& productCode);

// The installer's registration of the product: its key under Installer\Products.
bool IsProductRegistered(const std::wstring& bracedProductCode);
// The packed form of a braced code, as the installer's keys are named.
std::wstring Packed(const std::wstring& braced);
