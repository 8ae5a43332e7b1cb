#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// What the display shows in a rectangle, read back from the screen, as 0x00RRGGBB pixels.
struct ScreenShot {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // How many pixels differ from the colour (0x00RRGGBB).
  size_t CountOtherThan(uint32_t colour) const;
  // The same, leaving out a border of that many pixels (where a placeholder's frame is).
  size_t CountInsideOtherThan(uint32_t colour, int border) const;
  bool operator==(const ScreenShot& other) const = default;
};

// The screen rectangle (screen coordinates) as it is shown now.
ScreenShot CaptureScreen(const RECT& rect);
// A window's whole rectangle on the screen.
ScreenShot CaptureWindow(HWND window);
// Writes the shot as a PNG file (GDI+ must be started); false when it can't.
bool SavePng(const ScreenShot& shot, const std::wstring& path);

// Where the tests leave their screenshots for a person to look at: a folder of the build
// tree, made when missing.
std::wstring ArtefactPath(const std::wstring& name);
