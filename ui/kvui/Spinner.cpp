#include "Spinner.h"

#include <algorithm>

#include "GdiPlus.h"

namespace KvUI {

namespace {
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kFrameMs = 20;
}  // namespace

Spinner::~Spinner() {
  if (hwnd_ != nullptr) ::KillTimer(hwnd_, kTimerId);
}

void Spinner::Attach(HWND control) {
  Control::Attach(control);
  ::SetTimer(control, kTimerId, kFrameMs, nullptr);
}

void Spinner::OnDestroy() { ::KillTimer(hwnd_, kTimerId); }

LRESULT Spinner::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    if (wParam == kTimerId) ::InvalidateRect(hwnd, nullptr, TRUE);
    return 0;
  }
  return Control::WndProc(hwnd, message, wParam, lParam);
}

void Spinner::Draw(HDC dc, RECT* rect) {
  FillBackground(dc, rect);
  const int width = rect->right - rect->left;
  const int height = rect->bottom - rect->top;
  const int s = std::min(width, height);
  Gdiplus::Graphics graphics(dc);
  Gdiplus::Pen pen(Gdiplus::Color(255, GetRValue(colour_), GetGValue(colour_), GetBValue(colour_)),
                   static_cast<Gdiplus::REAL>(s / 8 + 1));
  const int w = static_cast<int>(pen.GetWidth());
  const int a = s - w;
  const int start = static_cast<int>((::GetTickCount() / 8) % 360);
  graphics.DrawArc(&pen, rect->left + (width - a) / 2, rect->top + (height - a) / 2, a, a,
                   static_cast<Gdiplus::REAL>(start), 270.0f);
}

}  // namespace KvUI
