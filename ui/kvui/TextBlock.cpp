#include "TextBlock.h"

#include "Colours.h"
#include "TextDraw.h"

namespace KvUI {

void TextBlock::SetTextColour(COLORREF colour) {
  textColour_ = colour;
  Invalidate();
}

void TextBlock::Draw(HDC dc, RECT* rect) {
  FillBackground(dc, rect);
  const UINT format = StyleToDrawTextFormat(GetStyle());
  const COLORREF colour = IsItemEnabled() ? textColour_ : kGreyText;
  DrawTextAligned(dc, rect, GetItemText(), GetItemFont(), colour, format);
}

}  // namespace KvUI
