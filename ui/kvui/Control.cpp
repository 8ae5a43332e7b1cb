#include "Control.h"

#include <windowsx.h>

namespace KvUI {

Control::~Control() {
  // A window that outlives its object (its page destroys it later) must not call into it.
  if (hwnd_ != nullptr) {
    ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  }
  // The back buffer can only be deleted once no DC holds it.
  memoryDc_.reset();
}

void Control::Attach(HWND control) {
  hwnd_ = control;
  ::SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  previousProc_ = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
      control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::SubclassProc)));
  const HDC dc = ::GetDC(control);
  memoryDc_.reset(::CreateCompatibleDC(dc));
  ::ReleaseDC(control, dc);
  const SIZE size = GetClientSize();
  NewBackBuffer(size.cx, size.cy);
}

void Control::NewBackBuffer(int width, int height) {
  const HDC dc = ::GetDC(hwnd_);
  HBITMAP bitmap = ::CreateCompatibleBitmap(dc, width, height);
  ::ReleaseDC(hwnd_, dc);
  if (memoryDc_) ::SelectObject(memoryDc_.get(), bitmap);
  // The previous bitmap is no longer selected, so it can go.
  backBuffer_.reset(bitmap);
}

void Control::Detach(HWND hwnd) {
  OnDestroy();
  memoryDc_.reset();
  backBuffer_.reset();
  ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
  ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
}

LRESULT CALLBACK Control::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* control = reinterpret_cast<Control*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (control == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_DESTROY) {
    control->Detach(hwnd);
    return 0;
  }
  if (message == WM_SIZE) control->NewBackBuffer(LOWORD(lParam), HIWORD(lParam));
  return control->WndProc(hwnd, message, wParam, lParam);
}

LRESULT Control::CallPrevious(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcW(previousProc_, hwnd, message, wParam, lParam);
}

void Control::Invalidate() {
  if (hwnd_) ::InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT Control::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_SETFOCUS: return OnFocus(true);
    case WM_KILLFOCUS: return OnFocus(false);
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_SETFONT:
      ::InvalidateRect(hwnd, nullptr, TRUE);
      return CallPrevious(hwnd, message, wParam, lParam);
    case WM_PAINT: return OnPaint();
    case WM_ERASEBKGND: return 1;
    case WM_MOUSEMOVE: return OnMouseMove(wParam, point);
    case WM_LBUTTONDOWN: return OnLButtonDown(wParam, point);
    case WM_LBUTTONUP: return OnLButtonUp(wParam, point);
    case WM_MOUSELEAVE: return OnMouseLeave();
    default: return CallPrevious(hwnd, message, wParam, lParam);
  }
}

LRESULT Control::NotifyParent(WORD code) {
  return ::SendMessageW(::GetParent(hwnd_), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hwnd_), code),
                        reinterpret_cast<LPARAM>(hwnd_));
}

void Control::FillBackground(HDC dc, const RECT* rect) {
  UniqueGdi<HBRUSH> brush(::CreateSolidBrush(::GetDCBrushColor(dc)));
  ::FillRect(dc, rect, brush.get());
}

LRESULT Control::OnPaint() {
  PAINTSTRUCT paint{};
  const HDC dc = ::BeginPaint(hwnd_, &paint);
  if (dc == nullptr) return 1;
  RECT client{};
  if (::GetClientRect(hwnd_, &client)) {
    Draw(memoryDc_.get(), &client);
    ::BitBlt(dc, 0, 0, client.right, client.bottom, memoryDc_.get(), 0, 0, SRCCOPY);
  }
  ::EndPaint(hwnd_, &paint);
  return 0;
}

LRESULT Control::OnFocus(bool gained) {
  bool focus = gained;
  if (gained) {
    const LRESULT uiState = ::SendMessageW(hwnd_, WM_QUERYUISTATE, 0, 0);
    if (uiState & UISF_HIDEFOCUS) focus = false;
  }
  if (HasState(focusBit_) != focus) {
    state_ = focus ? (state_ | focusBit_) : (state_ & ~focusBit_);
    OnStateChanged(focusBit_);
  }
  return 0;
}

LRESULT Control::OnLButtonDown(WPARAM, POINT) {
  state_ |= pressedBit_;
  OnStateChanged(pressedBit_);
  return 0;
}

LRESULT Control::OnLButtonUp(WPARAM, POINT) {
  if (HasState(pressedBit_)) {
    state_ &= ~pressedBit_;
    OnStateChanged(pressedBit_);
    OnClick();
  }
  return 0;
}

LRESULT Control::OnMouseMove(WPARAM, POINT) {
  if (HasState(hoverBit_)) return 0;
  TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd_, HOVER_DEFAULT};
  if (::TrackMouseEvent(&track)) {
    state_ |= hoverBit_;
    OnStateChanged(hoverBit_);
  }
  return 0;
}

LRESULT Control::OnMouseLeave() {
  state_ &= ~(hoverBit_ | pressedBit_);
  OnStateChanged(hoverBit_ | pressedBit_);
  return 0;
}

}  // namespace KvUI
