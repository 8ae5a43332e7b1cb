#pragma once

#include <windows.h>

#include <string>

namespace KvUI {

// A window handle with the operations the dialogs and controls use. Operations with an item
// argument act on that child control (item 0: the window itself) and do nothing, answering
// 0 or false, when the target window does not exist. The object does not own the window.
class Wnd {
 public:
  HWND GetHwnd() const { return hwnd_; }

  BOOL EnableItem(bool enable, int item = 0);
  SIZE GetClientSize() const;
  HFONT GetItemFont() const;
  LONG_PTR GetStyle() const;
  std::wstring GetItemText(int item = 0) const;
  bool IsItemEnabled(int item = 0) const;
  bool IsItemVisible(int item = 0) const;
  // Resizes the window so that its client area gets this size; the position stays.
  bool SetClientSize(SIZE size, bool hasMenu);
  bool SetItemFont(HFONT font, int item = 0);
  // Sets or clears style bits. A value in the control-type field (0x1F) replaces the field.
  void SetStyleBits(LONG_PTR bits, bool on);
  BOOL SetItemText(const std::wstring& text, int item = 0);
  bool ShowItem(int showCommand, int item = 0);
  // Restores, raises and activates a visible window, also from a background thread.
  bool BringToFront();

 protected:
  Wnd() = default;
  ~Wnd() = default;
  Wnd(const Wnd&) = delete;
  Wnd& operator=(const Wnd&) = delete;

  HWND Item(int item) const;

  HWND hwnd_ = nullptr;
};

}  // namespace KvUI
