#pragma once

#include "Control.h"

namespace KvUI {

// A static text in its own colour (grey when disabled), aligned by the control's style.
class TextBlock : public Control {
 public:
  void SetTextColour(COLORREF colour);
  void Draw(HDC dc, RECT* rect) override;

 private:
  COLORREF textColour_ = 0;
};

}  // namespace KvUI
