#include "MsiCleanup.h"

#include <algorithm>
#include <cwctype>

#include "Log.h"
#include "RegOps.h"

using KvTzkLogging::LogError;
using KvTzkLogging::LogFuncW;

namespace MsiCleanup {

const std::vector<RegistryLocation> UpgradeCodeRoots = {
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\Installer\\UpgradeCodes", KEY_WOW64_64KEY},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes",
     KEY_WOW64_64KEY},
    {HKEY_CLASSES_ROOT, L"Installer\\UpgradeCodes", KEY_WOW64_64KEY},
};

const std::vector<RegistryLocation> ProductRoots = {
    {HKEY_CLASSES_ROOT, L"Installer\\Features", KEY_WOW64_64KEY},
    {HKEY_CLASSES_ROOT, L"Installer\\Products", KEY_WOW64_64KEY},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\Installer\\Features", KEY_WOW64_64KEY},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\Installer\\Products", KEY_WOW64_64KEY},
    {HKEY_LOCAL_MACHINE,
     L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products",
     KEY_WOW64_64KEY},
};

const std::vector<RegistryLocation> UninstallRoots = {
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
     KEY_WOW64_32KEY},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
     KEY_WOW64_64KEY},
};

const wchar_t kSystemProductsKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products";
const wchar_t kSystemComponentsKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components";

namespace {

// Always a separator and the name: an empty name must never collapse into the parent's path
// (as CombinePath would make it), so that the removal refuses it instead of taking the parent.
std::wstring Below(const std::wstring& key, const std::wstring& name) { return key + L"\\" + name; }

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// A packed code names a key below every store; anything but 32 hexadecimal digits (an empty
// text, the default value's name, a shorter code) would name another key, or the store.
bool CheckPackedCode(const std::wstring& code, const char* function, const wchar_t* kind) {
  if (IsPackedGuid(code)) return true;
  LogFuncW(LogError, function, L"Invalid %s code : %s", kind, code.c_str());
  return false;
}

// A braced code's cleanup: the packed form, or a refusal when the code has the wrong shape.
bool CleanupBraced(const std::wstring& braced, const char* function, const wchar_t* kind,
                   bool (*cleanup)(const std::wstring&)) {
  const std::wstring packed = TransformGuid(braced);
  if (packed.empty()) {
    LogFuncW(LogError, function, L"Invalid %s code : %s", kind, braced.c_str());
    return false;
  }
  return cleanup(packed);
}

}  // namespace

bool CleanupUpgradeCode(const std::wstring& bracedUpgradeCode) {
  return CleanupBraced(bracedUpgradeCode, "MsiCleanup::CleanupUpgradeCode", L"upgrade",
                       CleanupTransformedUpgradeCode);
}

bool CleanupProductCode(const std::wstring& bracedProductCode) {
  return CleanupBraced(bracedProductCode, "MsiCleanup::CleanupProductCode", L"product",
                       CleanupTransformedProductCode);
}

StringList GetProductsOfUpgradeCode(const std::wstring& packedUpgradeCode) {
  for (const auto& row : UpgradeCodeRoots) {
    StringList products =
        RegOps::GetValueKeys(row.root, Below(row.path, packedUpgradeCode), row.view);
    if (!products.empty()) return products;
  }
  return {};
}

bool CleanupTransformedUpgradeCode(const std::wstring& packedUpgradeCode) {
  if (!CheckPackedCode(packedUpgradeCode, "MsiCleanup::CleanupTransformedUpgradeCode",
                       L"upgrade")) {
    return false;
  }
  for (const auto& product : GetProductsOfUpgradeCode(packedUpgradeCode)) {
    LogFuncW(KvTzkLogging::LogDebug, "MsiCleanup::CleanupTransformedUpgradeCode",
             L"Removing product '%s', based on upgrade code '%s'", product.c_str(),
             packedUpgradeCode.c_str());
    CleanupTransformedProductCode(product);
  }
  bool result = true;
  for (const auto& row : UpgradeCodeRoots) {
    if (!RegOps::WipeBranch(row.root, Below(row.path, packedUpgradeCode), row.view)) result = false;
  }
  return result;
}

bool CleanupTransformedProductCode(const std::wstring& packedProductCode) {
  if (!CheckPackedCode(packedProductCode, "MsiCleanup::CleanupTransformedProductCode",
                       L"product")) {
    return false;
  }
  bool result = true;
  for (const auto& row : ProductRoots) {
    if (!RegOps::WipeBranch(row.root, Below(row.path, packedProductCode), row.view)) result = false;
  }
  if (!CleanupComponents(kSystemComponentsKey, packedProductCode)) result = false;
  const std::wstring braced = UntransformGuid(packedProductCode);
  for (const auto& row : UninstallRoots) {
    if (!RegOps::WipeBranch(row.root, Below(row.path, braced), row.view)) result = false;
  }
  return result;
}

bool CleanupComponents(const std::wstring& componentsKey, const std::wstring& packedProductCode) {
  if (componentsKey.empty()) {
    LogFuncW(LogError, "MsiCleanup::CleanupComponents", L"Invalid components key");
    return false;
  }
  if (!CheckPackedCode(packedProductCode, "MsiCleanup::CleanupComponents", L"product")) {
    return false;
  }
  bool result = true;
  for (const auto& name : RegOps::GetSubkeys(HKEY_LOCAL_MACHINE, componentsKey, KEY_WOW64_64KEY)) {
    const std::wstring component = Below(componentsKey, name);
    const StringList products =
        RegOps::GetValueKeys(HKEY_LOCAL_MACHINE, component, KEY_WOW64_64KEY);
    const auto found = std::find_if(products.begin(), products.end(), [&](const std::wstring& p) {
      return EqualNoCase(p, packedProductCode);
    });
    if (found == products.end()) continue;
    const bool removed =
        products.size() == 1
            ? RegOps::WipeBranch(HKEY_LOCAL_MACHINE, component, KEY_WOW64_64KEY)
            : RegOps::DeleteKey(HKEY_LOCAL_MACHINE, component, *found, KEY_WOW64_64KEY);
    if (!removed) result = false;
  }
  return result;
}

bool CleanupProductBasedOnFeature(const std::wstring& feature) {
  if (feature.empty()) return false;
  for (const auto& product :
       RegOps::GetSubkeys(HKEY_LOCAL_MACHINE, kSystemProductsKey, KEY_WOW64_64KEY)) {
    const StringList features = RegOps::GetValueKeys(
        HKEY_LOCAL_MACHINE, Below(Below(kSystemProductsKey, product), L"Features"),
        KEY_WOW64_64KEY);
    if (!Contains(features, feature)) continue;
    LogFuncW(KvTzkLogging::LogInfo, "MsiCleanup::CleanupProductBasedOnFeature",
             L"Resolved feature '%s' to product code '%s'", feature.c_str(), product.c_str());
    return CleanupTransformedProductCode(product);
  }
  return true;
}

bool CleanupProductBasedOnNameAndPublisher(const std::wstring& nameMask,
                                           const std::wstring& publisher) {
  for (const auto& product :
       RegOps::GetSubkeys(HKEY_LOCAL_MACHINE, kSystemProductsKey, KEY_WOW64_64KEY)) {
    const std::wstring properties = Below(Below(kSystemProductsKey, product), L"InstallProperties");
    std::wstring displayName;
    std::wstring productPublisher;
    if (!RegOps::GetString(HKEY_LOCAL_MACHINE, properties, L"DisplayName", KEY_WOW64_64KEY,
                           displayName)) {
      displayName.clear();
    }
    if (!RegOps::GetString(HKEY_LOCAL_MACHINE, properties, L"Publisher", KEY_WOW64_64KEY,
                           productPublisher)) {
      productPublisher.clear();
    }
    if (productPublisher != publisher || !WildcardMatch(displayName, nameMask, false)) continue;
    LogFuncW(KvTzkLogging::LogInfo, "MsiCleanup::CleanupProductBasedOnNameAndPublisher",
             L"Resolved name '%s', publisher '%s' to product code '%s' with name '%s'",
             nameMask.c_str(), publisher.c_str(), product.c_str(), displayName.c_str());
    return CleanupTransformedProductCode(product);
  }
  return true;
}

}  // namespace MsiCleanup

std::wstring TransformGuid(const std::wstring& braced) {
  if (braced.size() != 38 || braced[0] != L'{' || braced[37] != L'}' || braced[9] != L'-' ||
      braced[14] != L'-' || braced[19] != L'-' || braced[24] != L'-') {
    return {};
  }
  std::wstring packed;
  packed.reserve(32);
  packed.append(braced.rbegin() + 29, braced.rbegin() + 37);  // 8..1
  packed.append(braced.rbegin() + 24, braced.rbegin() + 28);  // 13..10
  packed.append(braced.rbegin() + 19, braced.rbegin() + 23);  // 18..15
  for (size_t i = 20; i < 37; i += 2) {
    if (i == 24) i = 25;
    packed.push_back(braced[i + 1]);
    packed.push_back(braced[i]);
  }
  return packed;
}

std::wstring UntransformGuid(const std::wstring& packed) {
  if (packed.size() != 32) return {};
  std::wstring braced = L"{";
  braced.append(packed.rbegin() + 24, packed.rend());  // 7..0
  braced += L'-';
  braced.append(packed.rbegin() + 20, packed.rbegin() + 24);  // 11..8
  braced += L'-';
  braced.append(packed.rbegin() + 16, packed.rbegin() + 20);  // 15..12
  braced += L'-';
  for (size_t i = 16; i < 32; i += 2) {
    if (i == 20) braced += L'-';
    braced.push_back(packed[i + 1]);
    braced.push_back(packed[i]);
  }
  braced += L'}';
  return braced;
}

bool IsPackedGuid(const std::wstring& packed) {
  return packed.size() == 32 && std::all_of(packed.begin(), packed.end(),
                                            [](wchar_t c) { return std::iswxdigit(c) != 0; });
}
