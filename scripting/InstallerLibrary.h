#pragma once

#include <windows.h>

#include <msi.h>

// The Windows Installer calls of the Msi module. msi.dll is bound on first use: the default
// object calls the library's delay-loaded imports, so the library is loaded when the first
// of them runs and never when a script does not uninstall anything.
//
// Tests put an object of their own in place for answers that Wine's installer never gives
// (a package that restarts the computer, error messages for the external handler).
class InstallerLibrary {
 public:
  virtual ~InstallerLibrary() = default;

  // MsiEnumRelatedProductsW: the index-th product code of the upgrade code into a buffer of
  // 39 units.
  virtual UINT EnumRelatedProducts(const wchar_t* upgradeCode, DWORD index, wchar_t* productCode);
  // MsiEnableLogW.
  virtual UINT EnableLog(DWORD mode, const wchar_t* path, DWORD attributes);
  // MsiSetInternalUI without a window.
  virtual void SetInternalUI(INSTALLUILEVEL level);
  // MsiSetExternalUIW without a context.
  virtual void SetExternalUI(INSTALLUI_HANDLERW handler, DWORD filter);
  // MsiConfigureProductExW with the default install level.
  virtual UINT ConfigureProduct(const wchar_t* productCode, INSTALLSTATE state,
                                const wchar_t* commandLine);

  // The object in use: the default one unless another has been put in place.
  static InstallerLibrary& Current();
  // Puts `library` in place; nullptr puts the default back. Not synchronized: scripts run
  // on the main thread only.
  static void Use(InstallerLibrary* library);
};
