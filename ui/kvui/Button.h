#pragma once

#include "Control.h"
#include "UniqueAny.h"

namespace KvUI {

// A rounded push button, filled or outlined, with a hover colour; a click sends BN_CLICKED.
class Button : public Control {
 public:
  void SetColours(COLORREF colour, COLORREF hoverColour, COLORREF hoverTextColour);
  void SetFilled(bool filled) { filled_ = filled; }
  // The button owns the icon.
  void SetIcon(HICON icon) { icon_.reset(icon); }

  void OnClick() override;
  void OnStateChanged(UINT changed) override;
  void Draw(HDC dc, RECT* rect) override;

 private:
  void DrawFocusCue(HDC dc, const RECT& rect);

  COLORREF colour_ = 0;
  COLORREF hoverColour_ = 0x777777;
  COLORREF hoverTextColour_ = 0xFFFFFF;
  bool filled_ = true;
  UniqueIcon icon_;
};

}  // namespace KvUI
