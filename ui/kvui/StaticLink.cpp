#include "StaticLink.h"

#include <algorithm>

#include "TextDraw.h"

namespace KvUI {

namespace {
constexpr wchar_t kMarker[] = L"[#]";
constexpr size_t kMarkerLength = 3;
constexpr UINT kRunFormat = DT_NOPREFIX | DT_SINGLELINE;
}  // namespace

StaticLink::StaticLink()
    : handCursor_(::LoadCursorW(nullptr, IDC_HAND)),
      arrowCursor_(::LoadCursorW(nullptr, IDC_ARROW)) {}

StaticLink::~StaticLink() { linkFont_.reset(); }

void StaticLink::SplitLinkText(const std::wstring& text) {
  const size_t i = text.find(kMarker);
  const size_t j = i == std::wstring::npos ? i : text.find(kMarker, i + kMarkerLength);
  if (j != std::wstring::npos) {
    before_ = text.substr(0, i);
    link_ = text.substr(i + kMarkerLength, j - i - kMarkerLength);
    after_ = text.substr(j + kMarkerLength);
  } else {
    before_ = text;
    link_.clear();
    after_.clear();
  }
  SetItemText(before_ + link_ + after_);
  SetStyleBits(WS_TABSTOP, !link_.empty());
  Invalidate();
}

void StaticLink::SetLinkColours(COLORREF linkColour, COLORREF hoverColour) {
  linkColour_ = linkColour;
  hoverColour_ = hoverColour;
  Invalidate();
}

void StaticLink::SetTextColour(COLORREF colour) {
  textColour_ = colour;
  Invalidate();
}

void StaticLink::OnClick() { NotifyParent(BN_CLICKED); }

StaticLink::Fit StaticLink::FitLine(HDC dc, const std::wstring& text, int room, bool lineNotEmpty) {
  const int length = static_cast<int>(text.size());
  int fit = 0;
  SIZE size{};
  ::GetTextExtentExPointW(dc, text.c_str(), length, std::max(room, 0), &fit, nullptr, &size);
  if (fit >= length) return {text, L"", size};

  auto extent = [dc](const std::wstring& part) {
    SIZE s{};
    ::GetTextExtentPoint32W(dc, part.c_str(), static_cast<int>(part.size()), &s);
    return s;
  };
  for (int k = std::min(length - 1, fit); k >= 0; --k) {
    if (text[k] == L' ') {
      std::wstring fitted = text.substr(0, k);
      return {fitted, text.substr(k + 1), extent(fitted)};
    }
  }
  if (lineNotEmpty) return {L"", text, SIZE{0, 0}};
  // An empty line narrower than one character still takes one, so the layout ends.
  const size_t cut = static_cast<size_t>(std::max(fit, 1));
  std::wstring fitted = text.substr(0, cut);
  return {fitted, text.substr(cut), extent(fitted)};
}

void StaticLink::LayoutText(Layout& layout, const std::wstring& text, HFONT font, bool isLink) {
  const HGDIOBJ previous = ::SelectObject(layout.dc, font);
  std::wstring rest = text;
  while (!rest.empty()) {
    if (layout.lineWidths.size() <= layout.line) layout.lineWidths.resize(layout.line + 1, 0);
    const int x = layout.lineWidths[layout.line];
    Fit fit = FitLine(layout.dc, rest, layout.width - x, x != 0);
    rest = std::move(fit.remainder);
    const LONG top = static_cast<LONG>(layout.line) * fit.size.cy;
    layout.runs.push_back({RECT{x, top, x + fit.size.cx, top + fit.size.cy}, std::move(fit.fitted),
                           isLink, layout.line});
    layout.lineWidths[layout.line] += fit.size.cx;
    layout.lineHeight = fit.size.cy;
    if (!rest.empty()) ++layout.line;
  }
  ::SelectObject(layout.dc, previous);
}

void StaticLink::Draw(HDC dc, RECT* rect) {
  FillBackground(dc, rect);
  linkRects_.clear();
  const HFONT font = GetItemFont();
  Layout layout;
  layout.dc = dc;
  layout.width = rect->right - rect->left;
  LayoutText(layout, before_, font, false);
  LayoutText(layout, link_, linkFont_.get(), true);
  LayoutText(layout, after_, font, false);
  const LONG_PTR style = GetStyle();
  const int lines = static_cast<int>(layout.line) + 1;
  const int dy =
      (style & SS_CENTERIMAGE) ? (rect->bottom - lines * layout.lineHeight - rect->top) / 2 : 0;
  for (auto& run : layout.runs) {
    const int lineWidth = run.line < layout.lineWidths.size() ? layout.lineWidths[run.line] : 0;
    int dx = 0;
    switch (style & 0x1F) {
      case SS_CENTER: dx = (layout.width - lineWidth) / 2; break;
      case SS_RIGHT: dx = layout.width - lineWidth; break;
      default: break;
    }
    RECT r = run.rect;
    ::OffsetRect(&r, dx, dy);
    if (run.isLink) {
      const COLORREF colour = HasState(hoverBit_) ? hoverColour_ : linkColour_;
      DrawTextAligned(dc, &r, run.text, linkFont_.get(), colour, kRunFormat);
      linkRects_.push_back(r);
    } else {
      DrawTextAligned(dc, &r, run.text, font, textColour_, kRunFormat);
    }
  }
  if (HasState(focusBit_)) DrawFocusCues(dc);
}

void StaticLink::DrawFocusCues(HDC dc) {
  ::SetTextColor(dc, 0);
  for (const RECT& r : linkRects_) ::DrawFocusRect(dc, &r);
}

void StaticLink::OnStateChanged(UINT changed) {
  if (changed & focusBit_) {
    const HDC dc = ::GetDC(hwnd_);
    DrawFocusCues(dc);
    ::ReleaseDC(hwnd_, dc);
  }
  if (changed & hoverBit_) Invalidate();
}

LRESULT StaticLink::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR:
      ::SetCursor(LOWORD(lParam) == HTCLIENT ? handCursor_ : arrowCursor_);
      return 0;
    case WM_SETFONT: {
      linkFont_.reset();
      LOGFONTW logFont{};
      if (::GetObjectW(reinterpret_cast<HFONT>(wParam), sizeof(logFont), &logFont)) {
        logFont.lfUnderline = 1;
        linkFont_.reset(::CreateFontIndirectW(&logFont));
      }
      if (lParam) Invalidate();
      break;
    }
    case WM_NCHITTEST: {
      if (link_.empty()) return HTNOWHERE;
      POINT cursor{};
      ::GetCursorPos(&cursor);
      ::ScreenToClient(hwnd, &cursor);
      for (const RECT& r : linkRects_) {
        if (::PtInRect(&r, cursor)) return HTCLIENT;
      }
      return HTNOWHERE;
    }
    case WM_GETDLGCODE: return DLGC_WANTCHARS;
    case WM_CHAR:
      if (wParam == L' ') {
        NotifyParent(BN_CLICKED);
        return 0;
      }
      break;
    default: break;
  }
  return Control::WndProc(hwnd, message, wParam, lParam);
}

}  // namespace KvUI
