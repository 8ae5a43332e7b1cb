#include "Wnd.h"

#include <vector>

namespace KvUI {

namespace {
constexpr LONG_PTR kControlTypeField = 0x1F;
}

HWND Wnd::Item(int item) const {
  if (hwnd_ == nullptr) return nullptr;
  return item == 0 ? hwnd_ : ::GetDlgItem(hwnd_, item);
}

BOOL Wnd::EnableItem(bool enable, int item) {
  const HWND target = Item(item);
  return target ? ::EnableWindow(target, enable) : FALSE;
}

SIZE Wnd::GetClientSize() const {
  RECT rect{};
  if (hwnd_ == nullptr || !::GetClientRect(hwnd_, &rect)) return {0, 0};
  return {rect.right, rect.bottom};
}

HFONT Wnd::GetItemFont() const {
  if (hwnd_ == nullptr) return nullptr;
  return reinterpret_cast<HFONT>(::SendMessageW(hwnd_, WM_GETFONT, 0, 0));
}

LONG_PTR Wnd::GetStyle() const { return hwnd_ ? ::GetWindowLongPtrW(hwnd_, GWL_STYLE) : 0; }

std::wstring Wnd::GetItemText(int item) const {
  const HWND target = Item(item);
  if (target == nullptr) return {};
  const int length = ::GetWindowTextLengthW(target);
  if (length <= 0) return {};
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
  const int read = ::GetWindowTextW(target, buffer.data(), length + 1);
  return std::wstring(buffer.data(), read > 0 ? static_cast<size_t>(read) : 0);
}

bool Wnd::IsItemEnabled(int item) const {
  const HWND target = Item(item);
  return target && ::IsWindowEnabled(target);
}

bool Wnd::IsItemVisible(int item) const {
  const HWND target = Item(item);
  return target && ::IsWindowVisible(target);
}

bool Wnd::SetClientSize(SIZE size, bool hasMenu) {
  RECT rect{};
  if (hwnd_ == nullptr || !::GetClientRect(hwnd_, &rect)) return false;
  rect.right = rect.left + size.cx;
  rect.bottom = rect.top + size.cy;
  const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE));
  if (!::AdjustWindowRect(&rect, style, hasMenu)) return false;
  return ::SetWindowPos(hwnd_, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                        SWP_NOMOVE | SWP_NOZORDER) != FALSE;
}

bool Wnd::SetItemFont(HFONT font, int item) {
  const HWND target = Item(item);
  if (target == nullptr) return false;
  return ::SendMessageW(target, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE) != 0;
}

void Wnd::SetStyleBits(LONG_PTR bits, bool on) {
  if (hwnd_ == nullptr) return;
  LONG_PTR style = ::GetWindowLongPtrW(hwnd_, GWL_STYLE);
  if (bits & kControlTypeField) style &= ~kControlTypeField;
  style = on ? (style | bits) : (style & ~bits);
  ::SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
}

BOOL Wnd::SetItemText(const std::wstring& text, int item) {
  const HWND target = Item(item);
  return target ? ::SetWindowTextW(target, text.c_str()) : FALSE;
}

bool Wnd::ShowItem(int showCommand, int item) {
  const HWND target = Item(item);
  return target && ::ShowWindow(target, showCommand);
}

bool Wnd::BringToFront() {
  if (hwnd_ == nullptr || !IsItemVisible(0)) return false;
  const DWORD ownThread = ::GetCurrentThreadId();
  const DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
  if (::IsIconic(hwnd_)) ::SendMessageW(hwnd_, WM_SYSCOMMAND, SC_RESTORE, 0);
  ::AttachThreadInput(ownThread, foregroundThread, TRUE);
  ::SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetForegroundWindow(hwnd_);
  ::AttachThreadInput(ownThread, foregroundThread, FALSE);
  ::SetFocus(hwnd_);
  ::SetActiveWindow(hwnd_);
  return true;
}

}  // namespace KvUI
