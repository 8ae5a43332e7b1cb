#pragma once

#include <string>
#include <vector>

#include "Control.h"
#include "UniqueAny.h"

namespace KvUI {

// A static text with at most one link: the part between two "[#]" markers is drawn
// underlined in the link colour, shows the hand cursor, is a tab stop and sends BN_CLICKED
// when clicked or when the space bar is pressed on it. The text is wrapped at spaces.
class StaticLink : public Control {
 public:
  StaticLink();
  ~StaticLink() override;

  // Splits the text at its markers and shows it without them.
  void SplitLinkText(const std::wstring& text);
  void SetLinkColours(COLORREF linkColour, COLORREF hoverColour);
  void SetTextColour(COLORREF colour);

  const std::wstring& GetBefore() const { return before_; }
  const std::wstring& GetLink() const { return link_; }
  const std::wstring& GetAfter() const { return after_; }
  // Where the link was drawn by the last paint, in client coordinates.
  const std::vector<RECT>& GetLinkRects() const { return linkRects_; }

  void OnClick() override;
  void OnStateChanged(UINT changed) override;
  void Draw(HDC dc, RECT* rect) override;
  LRESULT WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  struct Fit {
    std::wstring fitted;
    std::wstring remainder;
    SIZE size;
  };
  // The part of text that fits into room on one line, broken at the last space that fits;
  // a word that doesn't fit moves to the next line unless the line is empty.
  static Fit FitLine(HDC dc, const std::wstring& text, int room, bool lineNotEmpty);

 private:
  struct Run {
    RECT rect;
    std::wstring text;
    bool isLink;
    unsigned line;
  };
  struct Layout {
    HDC dc = nullptr;
    unsigned line = 0;
    std::vector<Run> runs;
    std::vector<int> lineWidths;
    int width = 0;
    int lineHeight = 0;
  };
  static void LayoutText(Layout& layout, const std::wstring& text, HFONT font, bool isLink);
  void DrawFocusCues(HDC dc);

  std::wstring before_;
  std::wstring link_;
  std::wstring after_;
  std::vector<RECT> linkRects_;
  HCURSOR handCursor_;
  HCURSOR arrowCursor_;
  COLORREF textColour_ = 0;
  COLORREF linkColour_ = 0xFF0000;
  COLORREF hoverColour_ = 0xFF6666;
  UniqueGdi<HFONT> linkFont_;
};

}  // namespace KvUI
