#include "InstallerLibrary.h"

namespace {

InstallerLibrary*& Replacement() {
  static InstallerLibrary* replacement = nullptr;
  return replacement;
}

}  // namespace

UINT InstallerLibrary::EnumRelatedProducts(const wchar_t* upgradeCode, DWORD index,
                                           wchar_t* productCode) {
  return ::MsiEnumRelatedProductsW(upgradeCode, 0, index, productCode);
}

UINT InstallerLibrary::EnableLog(DWORD mode, const wchar_t* path, DWORD attributes) {
  return ::MsiEnableLogW(mode, path, attributes);
}

void InstallerLibrary::SetInternalUI(INSTALLUILEVEL level) { ::MsiSetInternalUI(level, nullptr); }

void InstallerLibrary::SetExternalUI(INSTALLUI_HANDLERW handler, DWORD filter) {
  ::MsiSetExternalUIW(handler, filter, nullptr);
}

UINT InstallerLibrary::ConfigureProduct(const wchar_t* productCode, INSTALLSTATE state,
                                        const wchar_t* commandLine) {
  return ::MsiConfigureProductExW(productCode, INSTALLLEVEL_DEFAULT, state, commandLine);
}

InstallerLibrary& InstallerLibrary::Current() {
  static InstallerLibrary standard;
  InstallerLibrary* replacement = Replacement();
  return replacement != nullptr ? *replacement : standard;
}

void InstallerLibrary::Use(InstallerLibrary* library) { Replacement() = library; }
