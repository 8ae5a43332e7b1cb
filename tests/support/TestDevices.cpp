#include "TestDevices.h"

#include <cwchar>

namespace {

// The class of devices without a driver of their own.
constexpr GUID kUnknownClass = {
    0x4d36e97e, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::vector<BYTE> MultiString(const std::vector<std::wstring>& strings) {
  std::wstring units;
  for (const auto& s : strings) units += s + L'\0';
  units += L'\0';
  const auto* bytes = reinterpret_cast<const BYTE*>(units.data());
  return std::vector<BYTE>(bytes, bytes + units.size() * sizeof(wchar_t));
}

// A string property; multi-strings with their strings joined with '|'.
std::wstring Property(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t buffer[1024] = {};
  if (!::SetupDiGetDeviceRegistryPropertyW(list, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(buffer), sizeof(buffer) - 4,
                                           nullptr)) {
    return {};
  }
  std::wstring text;
  for (const wchar_t* p = buffer; *p != L'\0'; p += std::wcslen(p) + 1) {
    if (!text.empty()) text += L'|';
    text += p;
  }
  return text;
}

// Calls found(list, device) for every present device with exactly these properties; the
// number of them.
template <typename Found>
int ForEachPresent(const std::wstring& manufacturer, const std::wstring& hardwareIds, Found found) {
  UniqueDevInfoList list(
      ::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
  int count = 0;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  for (DWORD i = 0; list && ::SetupDiEnumDeviceInfo(list.get(), i, &device); ++i) {
    if (Property(list.get(), device, SPDRP_MFG) == manufacturer &&
        Property(list.get(), device, SPDRP_HARDWAREID) == hardwareIds) {
      ++count;
      found(list.get(), device);
    }
  }
  return count;
}

}  // namespace

int CountPresentDevices(const std::wstring& manufacturer, const std::wstring& hardwareIds) {
  return ForEachPresent(manufacturer, hardwareIds, [](HDEVINFO, SP_DEVINFO_DATA&) {});
}

void RemovePresentDevices(const std::wstring& manufacturer, const std::wstring& hardwareIds) {
  ForEachPresent(manufacturer, hardwareIds, [](HDEVINFO list, SP_DEVINFO_DATA& device) {
    ::SetupDiRemoveDevice(list, &device);
  });
}

TestDevice::TestDevice(const std::wstring& manufacturer,
                       const std::vector<std::wstring>& hardwareIds)
    : list_(::SetupDiCreateDeviceInfoList(&kUnknownClass, nullptr)) {
  device_.cbSize = sizeof(device_);
  const auto ids = MultiString(hardwareIds);
  const auto* maker = reinterpret_cast<const BYTE*>(manufacturer.c_str());
  registered_ = list_ &&
                ::SetupDiCreateDeviceInfoW(list_.get(), L"KorvaneTestDevice", &kUnknownClass,
                                           nullptr, nullptr, DICD_GENERATE_ID, &device_) &&
                ::SetupDiSetDeviceRegistryPropertyW(list_.get(), &device_, SPDRP_HARDWAREID,
                                                    ids.data(), static_cast<DWORD>(ids.size())) &&
                ::SetupDiSetDeviceRegistryPropertyW(
                    list_.get(), &device_, SPDRP_MFG, maker,
                    static_cast<DWORD>((manufacturer.size() + 1) * sizeof(wchar_t))) &&
                ::SetupDiRegisterDeviceInfo(list_.get(), &device_, 0, nullptr, nullptr, nullptr);
}

TestDevice::~TestDevice() {
  if (registered_) ::SetupDiRemoveDevice(list_.get(), &device_);
}
