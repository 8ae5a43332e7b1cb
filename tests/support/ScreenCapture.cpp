#include "ScreenCapture.h"

#include <algorithm>

#include "GdiPlus.h"

#include "UniqueAny.h"

size_t ScreenShot::CountOtherThan(uint32_t colour) const {
  return static_cast<size_t>(
      std::count_if(pixels.begin(), pixels.end(), [colour](uint32_t p) { return p != colour; }));
}

size_t ScreenShot::CountInsideOtherThan(uint32_t colour, int border) const {
  size_t count = 0;
  for (int y = border; y < height - border; ++y) {
    for (int x = border; x < width - border; ++x) count += At(x, y) != colour;
  }
  return count;
}

ScreenShot CaptureScreen(const RECT& rect) {
  ScreenShot shot;
  shot.width = rect.right - rect.left;
  shot.height = rect.bottom - rect.top;
  if (shot.width <= 0 || shot.height <= 0) return {};
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = shot.width;
  info.bmiHeader.biHeight = -shot.height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HDC screen = ::GetDC(nullptr);
  UniqueGdi<HBITMAP> bitmap(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  UniqueMemoryDc memory(::CreateCompatibleDC(screen));
  if (bitmap && memory) {
    const HGDIOBJ previous = ::SelectObject(memory.get(), bitmap.get());
    ::BitBlt(memory.get(), 0, 0, shot.width, shot.height, screen, rect.left, rect.top, SRCCOPY);
    ::GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    shot.pixels.assign(p, p + static_cast<size_t>(shot.width) * shot.height);
    for (auto& pixel : shot.pixels) pixel &= 0x00FFFFFF;
    ::SelectObject(memory.get(), previous);
  }
  ::ReleaseDC(nullptr, screen);
  return shot;
}

ScreenShot CaptureWindow(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return CaptureScreen(rect);
}

bool SavePng(const ScreenShot& shot, const std::wstring& path) {
  if (shot.pixels.empty()) return false;
  // {557CF406-1A04-11D3-9A73-0000F81EF32E}: the PNG encoder.
  const CLSID png = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
  std::vector<uint32_t> opaque(shot.pixels);
  for (auto& pixel : opaque) pixel |= 0xFF000000;
  Gdiplus::Bitmap bitmap(shot.width, shot.height, shot.width * 4, PixelFormat32bppARGB,
                         reinterpret_cast<BYTE*>(opaque.data()));
  return bitmap.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

std::wstring ArtefactPath(const std::wstring& name) {
  const std::wstring folder = TEST_ARTEFACTS_DIR;
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\" + name;
}
