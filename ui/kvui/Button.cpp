#include "Button.h"

#include "Colours.h"
#include "TextDraw.h"

namespace KvUI {

void Button::SetColours(COLORREF colour, COLORREF hoverColour, COLORREF hoverTextColour) {
  colour_ = colour;
  hoverColour_ = hoverColour;
  hoverTextColour_ = hoverTextColour;
}

void Button::OnClick() { NotifyParent(BN_CLICKED); }

void Button::DrawFocusCue(HDC dc, const RECT& rect) {
  const int c = ::MulDiv(2, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
  RECT cue{rect.left + c, rect.top + c, rect.right - c - 1, rect.bottom - c - 1};
  ::SetTextColor(dc, 0);
  ::DrawFocusRect(dc, &cue);
}

void Button::OnStateChanged(UINT changed) {
  if (changed & focusBit_) {
    // DrawFocusRect inverts: drawing it again removes it.
    const HDC dc = ::GetDC(hwnd_);
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    DrawFocusCue(dc, client);
    ::ReleaseDC(hwnd_, dc);
  }
  if (changed & hoverBit_) Invalidate();
}

void Button::Draw(HDC dc, RECT* rect) {
  FillBackground(dc, rect);
  const bool hover = HasState(hoverBit_);
  COLORREF fill = 0;
  COLORREF text = 0;
  bool framed = false;
  if (!IsItemEnabled()) {
    fill = kDisabledFill;
    text = kGreyText;
  } else if (filled_) {
    fill = hover ? hoverColour_ : colour_;
    text = hover ? hoverTextColour_ : kWhite;
  } else {
    framed = true;
    text = colour_;
    fill = hover ? kOutlineHoverFill : kWhite;
  }

  const int d = ::MulDiv(4, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
  UniqueGdi<HRGN> region(
      ::CreateRoundRectRgn(rect->left, rect->top, rect->right, rect->bottom, d, d));
  {
    UniqueGdi<HBRUSH> brush(::CreateSolidBrush(fill));
    ::FillRgn(dc, region.get(), brush.get());
  }
  if (framed) {
    UniqueGdi<HBRUSH> frame(::CreateSolidBrush(colour_));
    ::FrameRgn(dc, region.get(), frame.get(), 2, 2);
  }
  if (HasState(focusBit_)) DrawFocusCue(dc, *rect);

  const std::wstring caption = GetItemText();
  const HFONT font = GetItemFont();
  constexpr UINT kFormat = DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER;
  RECT measured{};
  MeasureText(dc, &measured, caption, font, kFormat);
  const LONG width = rect->right - rect->left;
  const LONG textWidth = measured.right - measured.left;
  LONG left = rect->left;
  if (textWidth < width) left += (width - textWidth) / 2;

  if (icon_) {
    TEXTMETRICW metrics{};
    const HGDIOBJ previous = ::SelectObject(dc, font);
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, previous);
    const int size = metrics.tmAscent;
    if (size > 0) {
      const int margin = size / 4;
      int iconX = 0;
      if (left < margin * 2 + size) {
        left = margin * 2 + size;
        iconX = margin;
      } else {
        iconX = left - margin - size;
      }
      const int iconY = (rect->bottom - rect->top - size) / 2;
      ::DrawIconEx(dc, iconX, iconY, icon_.get(), size, size, 0, nullptr, DI_NORMAL | DI_COMPAT);
    }
  }

  RECT textRect{left, rect->top, rect->right, rect->bottom - 1};
  UINT format = kFormat;
  if (textWidth > rect->right - left) format |= DT_END_ELLIPSIS;
  DrawTextAligned(dc, &textRect, caption, font, text, format);
}

}  // namespace KvUI
