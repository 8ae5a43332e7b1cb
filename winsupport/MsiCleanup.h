#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "StringUtils.h"

// Removes the Windows Installer's registration of a product straight from the registry,
// without the installer service: the product and feature stores, the per-component
// registrations, the entries in the list of installed programs (both registry views) and
// the upgrade-code keys. Keys are removed through RegOps::WipeBranch (ownership taken where
// access is denied, a missing key counts as removed); every step is attempted whatever the
// earlier ones gave, and any failure makes the result false.
//
// Codes come in two forms: braced ("{12345678-ABCD-EF01-2345-6789ABCDEF01}", as scripts and
// the Uninstall keys write them) and packed (32 characters, as the installer's own keys
// name them). A packed code that is not exactly 32 hexadecimal digits is refused before a
// key name is built from it, so that no argument can name a whole store.
namespace MsiCleanup {

// One registry place: root key, path, registry view bits.
struct RegistryLocation {
  HKEY root;
  std::wstring path;
  REGSAM view;
};

// Searched and wiped by upgrade code, in this order.
extern const std::vector<RegistryLocation> UpgradeCodeRoots;
// A product's keys, wiped in this order.
extern const std::vector<RegistryLocation> ProductRoots;
// The lists of installed programs: the 32-bit view first, then the 64-bit view.
extern const std::vector<RegistryLocation> UninstallRoots;

// The installed products and the components of the local system account.
extern const wchar_t kSystemProductsKey[];
extern const wchar_t kSystemComponentsKey[];

bool CleanupUpgradeCode(const std::wstring& bracedUpgradeCode);
bool CleanupProductCode(const std::wstring& bracedProductCode);
// The first product of the local system account that lists the feature (exact name).
bool CleanupProductBasedOnFeature(const std::wstring& feature);
// The first product whose display name matches the mask ('*', '?', letter case counts) and
// whose publisher is exactly `publisher`.
bool CleanupProductBasedOnNameAndPublisher(const std::wstring& nameMask,
                                           const std::wstring& publisher);
// Every product of the upgrade code, then the upgrade code's own keys.
bool CleanupTransformedUpgradeCode(const std::wstring& packedUpgradeCode);
bool CleanupTransformedProductCode(const std::wstring& packedProductCode);
// Takes the product out of every component below `componentsKey` (HKLM, 64-bit view): a
// component used by the product alone is removed, another loses the product's value only.
// Value names are compared without regard to case, as the registry compares them.
bool CleanupComponents(const std::wstring& componentsKey, const std::wstring& packedProductCode);
// The packed product codes of the first upgrade-code root that lists any.
StringList GetProductsOfUpgradeCode(const std::wstring& packedUpgradeCode);

}  // namespace MsiCleanup

// Braced to packed; empty unless the input has the braced shape (38 characters, braces and
// dashes in place). Other characters are taken as they come and keep their case.
std::wstring TransformGuid(const std::wstring& braced);
// Packed to braced; empty unless the input is 32 characters long.
std::wstring UntransformGuid(const std::wstring& packed);
// Exactly 32 hexadecimal digits.
bool IsPackedGuid(const std::wstring& packed);
