#pragma once

#include "Control.h"

namespace KvUI {

// A 270-degree arc that turns one degree every 8 ms, repainted every 20 ms.
class Spinner : public Control {
 public:
  ~Spinner() override;
  void SetColour(COLORREF colour) { colour_ = colour; }

  void Attach(HWND control) override;
  void Draw(HDC dc, RECT* rect) override;
  void OnDestroy() override;
  LRESULT WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  COLORREF colour_ = 0;
};

}  // namespace KvUI
