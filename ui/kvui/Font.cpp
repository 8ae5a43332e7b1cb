#include "Font.h"

namespace KvUI {

namespace {

bool IsWindows8OrLater() {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  version.dwMajorVersion = 6;
  version.dwMinorVersion = 2;
  version.wServicePackMajor = 0;
  DWORDLONG mask = 0;
  mask = ::VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = ::VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = ::VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return ::VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              mask) != FALSE;
}

const wchar_t* FaceForWeight(int weight) {
  if (weight <= 200) return L"Segoe UI Light";
  if (weight <= 300) return IsWindows8OrLater() ? L"Segoe UI Semilight" : L"Segoe UI";
  if (weight < 600) return L"Segoe UI";
  return L"Segoe UI Semibold";
}

}  // namespace

GdiObject CreateFont(int pointSize, int weight, unsigned flags) {
  const HDC screen = ::GetDC(nullptr);
  const int pixels = ::MulDiv(pointSize, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
  ::ReleaseDC(nullptr, screen);
  return GdiObject(::CreateFontW(
      -pixels, 0, 0, 0, weight, (flags & FontItalic) != 0, (flags & FontUnderline) != 0,
      (flags & FontStrikeOut) != 0, DEFAULT_CHARSET, OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS,
      CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, FaceForWeight(weight)));
}

}  // namespace KvUI
