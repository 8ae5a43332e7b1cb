#pragma once

#include <windows.h>

#include "UniqueAny.h"
#include "Wnd.h"

namespace KvUI {

// An existing control window, subclassed and painted by us through a memory bitmap of its
// client size. Mouse and focus messages become state bits (focus, hover, pressed); a
// button-down followed by a button-up over the control is a click.
class Control : public Wnd {
 public:
  Control() = default;
  // A window still bound gets its own procedure back; it is not destroyed.
  virtual ~Control();

  // Binds the object to the control window and subclasses it; once, before the first paint.
  virtual void Attach(HWND control);
  virtual void OnClick() {}
  virtual void OnStateChanged(UINT /*changed*/) {}
  // Paints the whole client rectangle.
  virtual void Draw(HDC dc, RECT* rect) = 0;
  // WM_COMMAND with code to the parent, from this control.
  virtual LRESULT NotifyParent(WORD code);
  virtual LRESULT OnPaint();
  virtual LRESULT OnFocus(bool gained);
  virtual LRESULT OnLButtonDown(WPARAM keys, POINT point);
  virtual LRESULT OnLButtonUp(WPARAM keys, POINT point);
  virtual LRESULT OnMouseMove(WPARAM keys, POINT point);
  virtual LRESULT OnMouseLeave();
  virtual void OnDestroy() {}
  virtual LRESULT WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  UINT GetState() const { return state_; }
  bool HasState(UINT bit) const { return (state_ & bit) != 0; }

  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  // Fills rect with the memory DC's brush colour (white): the start of every Draw.
  void FillBackground(HDC dc, const RECT* rect);
  LRESULT CallPrevious(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void Invalidate();

  UINT focusBit_ = 1;
  UINT hoverBit_ = 2;
  UINT pressedBit_ = 4;
  UINT state_ = 0;
  UniqueMemoryDc memoryDc_;
  UniqueGdi<HBITMAP> backBuffer_;
  WNDPROC previousProc_ = nullptr;

 private:
  void NewBackBuffer(int width, int height);
  void Detach(HWND hwnd);
};

}  // namespace KvUI
