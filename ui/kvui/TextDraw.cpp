#include "TextDraw.h"

#include <algorithm>

namespace KvUI {

namespace {

// Flags the drawing functions never pass on: tab stops, no clipping, external leading,
// measuring, internal font, changing the text, prefix only.
constexpr UINT kRemovedFlags = 0x00211780;

UINT EffectiveFormat(UINT format) {
  if (format & DT_SINGLELINE) {
    format |= DT_NOPREFIX;
  } else {
    format |= DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_NOFULLWIDTHCHARBREAK;
  }
  return format & ~kRemovedFlags;
}

class SelectedFont {
 public:
  SelectedFont(HDC dc, HFONT font) : dc_(dc), previous_(::SelectObject(dc, font)) {}
  ~SelectedFont() { ::SelectObject(dc_, previous_); }
  SelectedFont(const SelectedFont&) = delete;
  SelectedFont& operator=(const SelectedFont&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace

UINT StyleToDrawTextFormat(LONG_PTR style) {
  UINT format = 0;
  if (style & SS_CENTERIMAGE) format |= DT_VCENTER;
  if (style & 0x4000) format |= DT_END_ELLIPSIS;
  if (style & 0x8000) format |= DT_PATH_ELLIPSIS;
  switch (style & 0x1F) {
    case SS_CENTER: format |= DT_CENTER; break;
    case SS_RIGHT: format |= DT_RIGHT; break;
    case SS_SIMPLE:
    case SS_LEFTNOWORDWRAP: format |= DT_SINGLELINE; break;
    default: break;
  }
  return format;
}

void MeasureText(HDC dc, RECT* rect, const std::wstring& text, HFONT font, UINT format) {
  SelectedFont selected(dc, font);
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), rect,
              EffectiveFormat(format) | DT_CALCRECT);
}

void DrawTextAligned(HDC dc, RECT* rect, const std::wstring& text, HFONT font, COLORREF colour,
                     UINT format) {
  if (text.empty()) return;
  SelectedFont selected(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, colour);
  const UINT effective = EffectiveFormat(format);
  if (!(format & DT_SINGLELINE)) {
    RECT measured = *rect;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured,
                effective | DT_CALCRECT);
    const LONG height = rect->bottom - rect->top;
    const LONG h = std::min(measured.bottom - measured.top, height);
    const LONG extra = height - h;
    if (format & DT_VCENTER) {
      rect->top += extra / 2;
      rect->bottom = rect->top + h;
    } else if (format & DT_BOTTOM) {
      rect->top = rect->bottom - h;
    } else {
      rect->bottom = rect->top + h;
    }
  }
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), rect, effective);
}

}  // namespace KvUI
